#include "core/ReceiverTime.h"

#include <cmath>

ReceiverTime::ReceiverTime()
    : m_dateTime(QDateTime::fromMSecsSinceEpoch(0, Qt::UTC))
{
}

ReceiverTime::ReceiverTime(const QDateTime &utc)
{
    setDateTime(utc);
}

int32_t ReceiverTime::mjdOf(const QDate &date)
{
    return date.dayOfYear() + static_cast<int32_t>(std::floor((date.year() - 1901) * 365.25)) + 15384;
}

void ReceiverTime::setDateTime(const QDateTime &utc)
{
    m_dateTime = utc.toUTC();
    m_mjd = mjdOf(m_dateTime.date());
}

ReceiverTime ReceiverTime::addTimes(const ReceiverTime &a, const ReceiverTime &b)
{
    ReceiverTime r = a;
    r.setDateTime(QDateTime::fromMSecsSinceEpoch(
        a.m_dateTime.toMSecsSinceEpoch() + b.m_dateTime.toMSecsSinceEpoch(), Qt::UTC));
    return r;
}

ReceiverTime ReceiverTime::subtractTimes(const ReceiverTime &a, const ReceiverTime &b)
{
    ReceiverTime r = a;
    r.setDateTime(QDateTime::fromMSecsSinceEpoch(
        a.m_dateTime.toMSecsSinceEpoch() - b.m_dateTime.toMSecsSinceEpoch(), Qt::UTC));
    return r;
}

void ReceiverTime::setMilliseconds(int32_t ms)
{
    m_milliseconds = ms;
    recomputeCorrection();
}

void ReceiverTime::setPpsOffsetNs(int32_t ns)
{
    m_ppsOffsetNs = ns;
    recomputeCorrection();
}

void ReceiverTime::setCableDelayNs(int32_t ns)
{
    m_cableDelayNs = ns;
    recomputeCorrection();
}

void ReceiverTime::recomputeCorrection()
{
    const double v = m_milliseconds + m_ppsOffsetNs / 1e6 - m_cableDelayNs / 1e6 + 0.5;
    const auto truncated = static_cast<int64_t>(std::trunc(v));
    m_correctedMilliseconds = static_cast<int32_t>(truncated % 1000);
}

int32_t ReceiverTime::signedCorrection() const
{
    return m_correctedMilliseconds < 500 ? m_correctedMilliseconds : m_correctedMilliseconds - 1000;
}

int32_t ReceiverTime::gpsWeek() const
{
    // Integer division truncates toward zero, as the receiver's own arithmetic does.
    return (m_mjd - 4) / 7 - 6320;
}

double ReceiverTime::fractionalMjd() const
{
    const QTime t = m_dateTime.time();
    return m_mjd + t.hour() / 24.0 + t.minute() / 1440.0 + t.second() / 86400.0;
}

void ReceiverTime::setStation(double latitudeDeg, double longitudeDeg)
{
    m_latitude = latitudeDeg;
    m_longitude = longitudeDeg;
}

int ReceiverTime::year() const { return m_dateTime.date().year(); }
int ReceiverTime::month() const { return m_dateTime.date().month(); }
int ReceiverTime::day() const { return m_dateTime.date().day(); }
int ReceiverTime::hour() const { return m_dateTime.time().hour(); }
int ReceiverTime::minute() const { return m_dateTime.time().minute(); }
int ReceiverTime::second() const { return m_dateTime.time().second(); }
int ReceiverTime::dayOfWeek() const { return m_dateTime.date().dayOfWeek(); }
int ReceiverTime::dayOfYear() const { return m_dateTime.date().dayOfYear(); }

bool ReceiverTime::operator==(const ReceiverTime &o) const
{
    return m_dateTime == o.m_dateTime && m_mjd == o.m_mjd && m_latitude == o.m_latitude
        && m_longitude == o.m_longitude && m_milliseconds == o.m_milliseconds
        && m_ppsOffsetNs == o.m_ppsOffsetNs && m_cableDelayNs == o.m_cableDelayNs
        && m_correctedMilliseconds == o.m_correctedMilliseconds;
}
