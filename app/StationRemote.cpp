#include "app/StationRemote.h"

#include "averaging/AveragingEngine.h"
#include "core/ReceiverState.h"
#include "averaging/ReferenceLocation.h"
#include "logging/LogNaming.h"
#include "logging/LogRecorder.h"
#include "tic/CounterProcessing.h"

#include <QFile>
#include <QSettings>

namespace {

int logMode(RemoteStationActions::OpenMode mode)
{
    switch (mode) {
    case RemoteStationActions::OpenMode::Create: return LogOpenMode::Create;
    case RemoteStationActions::OpenMode::Replace: return LogOpenMode::Replace;
    case RemoteStationActions::OpenMode::Append: return LogOpenMode::Append;
    }
    return LogOpenMode::Create;
}

} // namespace

QString StationRemoteActions::versionText() const
{
    return QStringLiteral(CHRONODE_VERSION);
}

QString StationRemoteActions::referenceLocationText() const
{
    return ReferenceLocation::remoteText(m_parts.averaging.referencePosition());
}

bool StationRemoteActions::setReferenceLocation(const QString &latitude, const QString &longitude,
                                                const QString &heightMsl)
{
    if (!ReferenceLocation::applyRemote(m_parts.averaging, latitude, longitude, heightMsl))
        return false;
    const StationPosition ref = m_parts.averaging.referencePosition();
    m_parts.state.receiverUtcDateTime.setStation(ref.lat, ref.lon);
    m_parts.state.displayedUtcDateTime.setStation(ref.lat, ref.lon);
    return true;
}

RemoteStationActions::GpsLogStatus StationRemoteActions::gpsLogStatus() const
{
    const GpsDataLog::Status s = m_parts.logs.gps().status();
    return { s.open, s.type, s.fileName };
}

void StationRemoteActions::setGpsLogType(int type)
{
    GpsDataLog &log = m_parts.logs.gps();
    GpsLogSettings options = log.options();
    options.type = type;
    log.setOptions(options);
}

bool StationRemoteActions::openGpsLog(const QString &prefix, OpenMode mode)
{
    GpsDataLog &log = m_parts.logs.gps();
    GpsLogSettings options = log.options();
    options.prefix = prefix;
    log.setOptions(options);
    if (mode == OpenMode::Replace && !keepBackups({ log.currentFileName() }))
        return false;
    return log.open(logMode(mode)) == LogResult::Ok;
}

bool StationRemoteActions::closeGpsLog()
{
    GpsDataLog &log = m_parts.logs.gps();
    return log.isOpen() && log.close() == LogResult::Ok;
}

bool StationRemoteActions::counterLogOpen() const
{
    return m_parts.logs.counters().isOpen();
}

QString StationRemoteActions::counterLogName() const
{
    return LogNaming::cutBase(m_parts.logs.counters().status().configFile);
}

bool StationRemoteActions::openCounterLogs(const CounterLogRequest &request)
{
    CounterLogSet &set = m_parts.logs.counters();
    QSettings settings;
    CounterLogSettings options = CounterLogSettings::load(settings);
    if (request.style)
        options.style = *request.style;
    if (request.timeTagFormat)
        options.timeTagFormat = *request.timeTagFormat;
    if (request.autoRestart)
        options.autoRestart = *request.autoRestart;
    if (request.saveSatelliteEvents)
        options.saveSatelliteEvents = *request.saveSatelliteEvents;
    if (request.timeLogEveryIndex) {
        options.timeLogEnabled = true;
        options.everyIndex = *request.timeLogEveryIndex;
    }
    if (request.counterAveraging)
        options.counterAveraging = *request.counterAveraging;
    if (request.averagingPeriod)
        options.averagingPeriod = *request.averagingPeriod;
    options.save(settings);   // directory and prefix as they were read
    if (m_parts.rereadCounterSettings)
        m_parts.rereadCounterSettings();
    options.prefix = request.prefix;
    set.setOptions(options);
    bool ok = true;
    if (request.mode == OpenMode::Replace) {
        // Every name of the three styles may be removed by the replace.
        if (set.isOpen())
            set.close(false);
        QStringList files;
        for (int style = 0; style < 3; ++style) {
            CounterLogSettings probe = options;
            probe.style = style;
            set.setOptions(probe);
            files += set.status().files;
        }
        set.setOptions(options);
        ok = keepBackups(files);
    }
    ok = ok && set.open(logMode(request.mode)) == LogResult::Ok;
    if (!ok) {
        if (set.isOpen())
            set.close();
        settings.setValue(QStringLiteral("LogFiles/TicLogOpen"), false);
    }
    return ok;
}

bool StationRemoteActions::closeCounterLogs()
{
    CounterLogSet &set = m_parts.logs.counters();
    return set.isOpen() && set.close() == LogResult::Ok;
}

void StationRemoteActions::setCounterSubscription(CounterData data, int lines)
{
    if (data == CounterData::Time)
        m_parts.processing.setRemoteTimeLines(lines);
    else
        m_parts.processing.setRemoteAverageLines(lines);
}

QString StationRemoteActions::latestCounterLine(CounterData data) const
{
    const CounterProcessing &p = m_parts.processing;
    return data == CounterData::Time ? p.lastTimeLine() : p.lastAverageLine();
}

bool StationRemoteActions::keepBackups(const QStringList &files)
{
    for (const QString &name : files) {
        if (!QFile::exists(name))
            continue;
        const QString backup = name + QStringLiteral(".bak");
        QFile::remove(backup);
        if (!QFile::copy(name, backup))
            return false;
    }
    return true;
}

StationRemote::StationRemote(StationRemoteActions::Parts parts)
    : actions(parts)
    , control(actions)
{
    QObject::connect(&parts.processing, &CounterProcessing::remoteLine, &control,
                     &RemoteControl::sendDataLine);
}
