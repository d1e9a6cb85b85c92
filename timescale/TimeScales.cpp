#include "timescale/TimeScales.h"

#include <QTime>
#include <cstddef>

namespace TimeScales {

namespace {

constexpr double kHalfMicroDay = 0.0000005;

double dayFraction(const QTime &t)
{
    return t.hour() / 24.0 + t.minute() / 1440.0 + t.second() / 86400.0;
}

// Days (with fraction, milliseconds included) between the given epoch date at 00:00 UTC
// and the instant.
double daysSince(const QDate &epoch, const QDateTime &utc)
{
    const QDateTime u = utc.toUTC();
    if (!u.isValid())
        return 0.0;
    const qint64 days = epoch.daysTo(u.date());
    return static_cast<double>(days) + u.time().msecsSinceStartOfDay() / 86400000.0;
}

// names[index], or names[0] (the "Illegal ..." text) for an index outside 1..N-1.
template<std::size_t N>
QString nameAt(const char *const (&names)[N], int index)
{
    if (index < 1 || index >= int(N))
        index = 0;
    return QString::fromLatin1(names[index]);
}

} // namespace

int32_t mjdOf(const QDate &date)
{
    return ReceiverTime::mjdOf(date);
}

double fractionalMjd(const ReceiverTime &time)
{
    return time.mjd() + dayFraction(time.dateTime().time());
}

QString mjdText(const ReceiverTime &time)
{
    return QString::asprintf("%08.5f", fractionalMjd(time) + kHalfMicroDay);
}

QString fractionalMjdText(const ReceiverTime &time)
{
    return QString::asprintf("%08.5f", fractionalMjd(time));
}

int32_t gpsWeek(const ReceiverTime &time)
{
    return time.gpsWeek();
}

QString dayNumberSince1900(const QDateTime &utc)
{
    return QString::asprintf("%012.6f", daysSince(QDate(1900, 1, 1), utc));
}

QString dayNumberSince1900()
{
    return dayNumberSince1900(QDateTime::currentDateTimeUtc());
}

double excelDayNumber(const QDateTime &utc)
{
    // The spreadsheets count 1900-01-01 as day 1 and keep a 29 February 1900 that never
    // was, so from March 1900 on their serial is the day count from 1899-12-30.
    return daysSince(QDate(1899, 12, 30), utc);
}

QString excelDayNumberText(const QDateTime &utc)
{
    return QString::asprintf("%.6f", excelDayNumber(utc));
}

QString yearAndDayText(const QDateTime &utc)
{
    const QDateTime u = utc.toUTC();
    const QDate d = u.date();
    // Two-digit year, then the day of year always with three integer digits so that
    // days 5, 45 and 123 cannot be confused.
    const int yy = ((d.year() % 100) + 100) % 100;
    const double day = d.dayOfYear() + dayFraction(u.time()) + kHalfMicroDay;
    return QString::asprintf("%02d%010.6f", yy, day);
}

QString yearAndDayText(const ReceiverTime &time)
{
    return yearAndDayText(time.dateTime());
}

QString monthName(int month)
{
    static const char *const names[] = {
        "Illegal month", "January", "February", "March", "April", "May", "June",
        "July", "August", "September", "October", "November", "December",
    };
    return nameAt(names, month);
}

QString shortMonthName(int month)
{
    static const char *const names[] = {
        "Illegal month", "Jan", "Feb", "Mar", "Apr", "May", "Jun",
        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec",
    };
    return nameAt(names, month);
}

QString dayName(int day)
{
    static const char *const names[] = {
        "Illegal day", "Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday",
        "Saturday",
    };
    return nameAt(names, day);
}

QString shortDayName(int day)
{
    static const char *const names[] = {
        "Illegal day", "Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat",
    };
    return nameAt(names, day);
}

int sundayFirstDayOfWeek(const QDate &date)
{
    if (!date.isValid())
        return 0;
    return date.dayOfWeek() % 7 + 1;
}

} // namespace TimeScales
