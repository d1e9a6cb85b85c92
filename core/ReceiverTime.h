#pragma once

#include <QDateTime>
#include <cstdint>

// One receiver time value: the UTC date-time of a time message plus the pieces the display
// and the 1PPS bookkeeping need. Two of these live in the station state: the time of the last
// decoded time message and the copy the clock panel made at its last refresh.
class ReceiverTime
{
public:
    ReceiverTime();
    explicit ReceiverTime(const QDateTime &utc);

    // Stores the date-time (taken as UTC, millisecond resolution) and recomputes mjd.
    void setDateTime(const QDateTime &utc);
    const QDateTime &dateTime() const { return m_dateTime; }

    static ReceiverTime addTimes(const ReceiverTime &a, const ReceiverTime &b);
    static ReceiverTime subtractTimes(const ReceiverTime &a, const ReceiverTime &b);

    void setMilliseconds(int32_t ms);
    void setPpsOffsetNs(int32_t ns);
    void setCableDelayNs(int32_t ns);
    int32_t milliseconds() const { return m_milliseconds; }
    int32_t ppsOffsetNs() const { return m_ppsOffsetNs; }
    int32_t cableDelayNs() const { return m_cableDelayNs; }
    int32_t correctedMilliseconds() const { return m_correctedMilliseconds; }
    // correctedMilliseconds folded into -999 ... 499.
    int32_t signedCorrection() const;

    int32_t mjd() const { return m_mjd; }
    int32_t gpsWeek() const;
    double fractionalMjd() const;

    void setStation(double latitudeDeg, double longitudeDeg);
    double latitude() const { return m_latitude; }
    double longitude() const { return m_longitude; }

    int year() const;
    int month() const;
    int day() const;
    int hour() const;
    int minute() const;
    int second() const;
    int dayOfWeek() const;   // 1 = Monday ... 7 = Sunday
    int dayOfYear() const;   // 1 ... 366

    // mjd of a date by the receiver's rule: day of year + floor((year - 1901) * 365.25) + 15384
    // (valid 1901 ... 2099).
    static int32_t mjdOf(const QDate &date);

    bool operator==(const ReceiverTime &o) const;

private:
    void recomputeCorrection();

    QDateTime m_dateTime;
    int32_t m_mjd = 0;
    double m_latitude = 0.0;
    double m_longitude = 0.0;
    int32_t m_milliseconds = 0;
    int32_t m_ppsOffsetNs = 0;
    int32_t m_cableDelayNs = 0;
    int32_t m_correctedMilliseconds = 0;
};
