#pragma once

#include "core/ReceiverTime.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <cstdint>

// Time-scale and calendar arithmetic shared by the clock panel, the counter logs and the
// decoders' texts. Everything here is a pure function of its arguments.
namespace TimeScales {

// Modified Julian Day of a date: day of year + floor((year - 1901) * 365.25) + 15384.
// Exact for 1901 ... 2099.
int32_t mjdOf(const QDate &date);

// mjd + hour / 24 + minute / 1440 + second / 86400 (milliseconds not included).
double fractionalMjd(const ReceiverTime &time);

// Calendar time tags cut their day fraction to the digits they print and never round up:
// 23:59:59.999 stays on its day and 00:00:00 prints all zeros.

// Five-decimal MJD of the whole second, e.g. "51544.50000". Used by the clock panel's MJD
// mode and the counter logs' MJD time tag.
QString mjdText(const ReceiverTime &time);
QString mjdTagText(const QDateTime &utc);

// "%08.5f" of fractionalMjd with no rounding half added (the sidereal label's MJD).
QString fractionalMjdText(const ReceiverTime &time);

// (mjd - 4) / 7 - 6320 in integer arithmetic; 0 for the week starting 1980-01-06, -1 before.
int32_t gpsWeek(const ReceiverTime &time);

// Days since 1900-01-01 00:00 UTC of the given instant as a 12-character text with six
// decimals, zero padded ("00000.000000").
QString dayNumberSince1900(const QDateTime &utc);
// The same for the PC clock's current time.
QString dayNumberSince1900();

// Spreadsheet serial day number of a UTC instant with its day fraction: days since
// 1899-12-30 00:00, so that 1900-03-01 is day 61 as the spreadsheets count it.
double excelDayNumber(const QDateTime &utc);
// excelDayNumber with six decimals, e.g. "45296.500000" for 2024-01-05 12:00 UTC.
QString excelDayNumberText(const QDateTime &utc);

// Two-digit year followed by the three-digit day of year with its day fraction and six
// decimals: "24005.500000" for 2024-01-05 12:00:00 (milliseconds not counted).
QString yearAndDayText(const ReceiverTime &time);
QString yearAndDayText(const QDateTime &utc);

// Calendar names. Any index outside the table yields the table's "Illegal month" or
// "Illegal day" entry.
QString monthName(int month);        // 1 "January" ... 12 "December"
QString shortMonthName(int month);   // 1 "Jan" ... 12 "Dec"
QString dayName(int day);            // 1 "Sunday" ... 7 "Saturday"
QString shortDayName(int day);       // 1 "Sun" ... 7 "Sat"
// Index for dayName of a date (1 = Sunday ... 7 = Saturday); Qt counts Monday as 1.
int sundayFirstDayOfWeek(const QDate &date);

} // namespace TimeScales
