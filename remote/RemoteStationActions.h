#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// What remote commands ask of the station. The interpreter parses and answers; the station's
// own subsystems (reference location, GPS data log, counter log set, counter processing) carry
// the commands out behind this interface. Nothing here may open a window or a message box.
class RemoteStationActions
{
public:
    virtual ~RemoteStationActions() = default;

    // The dotted program version.
    virtual QString versionText() const = 0;

    // The reference location as "%.8f,%.8f,%.2f,%.2f": latitude, longitude (degrees), ellipsoid
    // height and MSL height (metres).
    virtual QString referenceLocationText() const = 0;
    // Parses the texts with the reference location's own parsers (height above mean sea
    // level), sets and stores the location and the observer position; false when a text is
    // refused, leaving everything as it was.
    virtual bool setReferenceLocation(const QString &latitude, const QString &longitude, const QString &heightMsl) = 0;

    enum class OpenMode { Create, Replace, Append };

    // GPS data log. Types: 0 Raw, 1 Binary, 2 PVT, 3 NMEA, 4 RINEX.
    struct GpsLogStatus
    {
        bool open = false;
        int type = 0;
        QString fileName;   // full name of the open file
    };
    virtual GpsLogStatus gpsLogStatus() const = 0;
    // The type the next open uses; not stored in the settings.
    virtual void setGpsLogType(int type) = 0;
    // Opens the log of the current day named with `prefix` (a bare name) in the configured
    // log directory; the stored directory and prefix stay as they are.
    virtual bool openGpsLog(const QString &prefix, OpenMode mode) = 0;
    // Closes without asking; true when a log was open.
    virtual bool closeGpsLog() = 0;

    // Counter log set. Options left empty keep their stored value.
    struct CounterLogRequest
    {
        QString prefix;
        OpenMode mode = OpenMode::Create;
        std::optional<int> style;            // 0 blanks (.prn), 1 commas (.csv), 2 tabs (.txt)
        std::optional<int> timeTagFormat;    // 0 calendar, 1 MJD, 2 Excel
        std::optional<bool> autoRestart;
        std::optional<bool> saveSatelliteEvents;
        std::optional<int> timeLogEveryIndex;   // index of the "Log Every" choice; enables the time log
        std::optional<bool> counterAveraging;   // averaging by the counter (true) or internal
        std::optional<int> averagingPeriod;     // seconds
    };
    virtual bool counterLogOpen() const = 0;
    // The open set's name reduced to directory and prefix.
    virtual QString counterLogName() const = 0;
    // Writes the request's options to the stored counter-log options, then opens the set; a
    // failed open leaves the set closed and "LogFiles/TicLogOpen" false.
    virtual bool openCounterLogs(const CounterLogRequest &request) = 0;
    // Closes without asking; true when a set was open.
    virtual bool closeCounterLogs() = 0;

    // Counter data lines for the client: 0 none, -1 every new line.
    enum class CounterData { Time, Average };
    virtual void setCounterSubscription(CounterData data, int lines) = 0;
    virtual QString latestCounterLine(CounterData data) const = 0;
};
