#include "timescale/TimeScales.h"

#include <QTime>
#include <cstddef>
#include <utility>

namespace TimeScales {

namespace {

constexpr qint64 kMsPerDay = 86400000;

double dayFraction(const QTime &t)
{
    return t.hour() / 24.0 + t.minute() / 1440.0 + t.second() / 86400.0;
}

// Whole days and the day fraction cut (never rounded) to the given number of decimals, so a
// tag can never name a later instant than the one it stands for, nor the next day.
QString dayTag(const char *integerFormat, qint64 days, qint64 msOfDay, int decimals)
{
    qint64 scale = 1;
    for (int i = 0; i < decimals; ++i)
        scale *= 10;
    const qint64 fraction = msOfDay * scale / kMsPerDay;
    return QString::asprintf(integerFormat, days) + QLatin1Char('.')
        + QStringLiteral("%1").arg(fraction, decimals, 10, QLatin1Char('0'));
}

// Days between the given epoch date at 00:00 UTC and the instant, and the milliseconds of
// the instant's day.
std::pair<qint64, qint64> daysSince(const QDate &epoch, const QDateTime &utc)
{
    const QDateTime u = utc.toUTC();
    if (!u.isValid())
        return { 0, 0 };
    return { epoch.daysTo(u.date()), u.time().msecsSinceStartOfDay() };
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
    return mjdTagText(time.dateTime());
}

QString mjdTagText(const QDateTime &utc)
{
    const QDateTime u = utc.toUTC();
    if (!u.isValid())
        return QStringLiteral("00000.00000");
    // Whole seconds, as the receiver time is counted.
    return dayTag("%05lld", mjdOf(u.date()), u.time().msecsSinceStartOfDay() / 1000 * 1000, 5);
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
    const auto [days, ms] = daysSince(QDate(1900, 1, 1), utc);
    return dayTag("%05lld", days, ms, 6);
}

QString dayNumberSince1900()
{
    return dayNumberSince1900(QDateTime::currentDateTimeUtc());
}

double excelDayNumber(const QDateTime &utc)
{
    // The spreadsheets count 1900-01-01 as day 1 and keep a 29 February 1900 that never
    // was, so from March 1900 on their serial is the day count from 1899-12-30.
    const auto [days, ms] = daysSince(QDate(1899, 12, 30), utc);
    return static_cast<double>(days) + static_cast<double>(ms) / kMsPerDay;
}

QString excelDayNumberText(const QDateTime &utc)
{
    const auto [days, ms] = daysSince(QDate(1899, 12, 30), utc);
    return dayTag("%lld", days, ms, 6);
}

QString yearAndDayText(const QDateTime &utc)
{
    const QDateTime u = utc.toUTC();
    const QDate d = u.date();
    // Two-digit year, then the day of year always with three integer digits so that
    // days 5, 45 and 123 cannot be confused.
    const int yy = ((d.year() % 100) + 100) % 100;
    if (!u.isValid())
        return QStringLiteral("00000.000000");
    // Whole seconds: the tag of a second is the same whichever millisecond it is taken at.
    return QString::asprintf("%02d", yy)
        + dayTag("%03lld", d.dayOfYear(), u.time().msecsSinceStartOfDay() / 1000 * 1000, 6);
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
