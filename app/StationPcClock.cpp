#include "app/StationPcClock.h"

#include "app/Station.h"
#include "logging/LogTypes.h"

StationPcClock::StationPcClock(Station &station)
    : m_station(station)
{
    m_sync.setLog(this);
    m_sync.setAveraging(&station.averaging());
    station.setPcClock(this);
}

StationPcClock::~StationPcClock()
{
    if (m_station.pcClock() == this)
        m_station.setPcClock(nullptr);
}

bool StationPcClock::writeNow(const ReceiverState &state)
{
    GpsLogHooks &log = m_station.gpsLog();
    return gpsLogWriteNowFor(log.isOpen(), log.intervalSeconds(), state.receiverUtcDateTime.second(),
                             log.useGpsSeconds(), state.leapSeconds);
}

bool StationPcClock::nmeaLogOpen() const
{
    GpsLogHooks &log = m_station.gpsLog();
    return log.isOpen() && log.logType() == int(GpsLogType::Nmea);
}

void StationPcClock::writeNmeaLine(const QString &line)
{
    m_station.gpsLog().writeLogLine(line);
}
