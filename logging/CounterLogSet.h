#pragma once

#include "logging/LogTypes.h"

#include <QFile>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <memory>

#include <QSettings>

struct ReceiverState;

// The stored options of the counter logs ("LogFiles/..."), read and repaired in one place.
struct CounterLogSettings
{
    QString directory;            // "LogFiles/TicLogFileDirectory"
    QString prefix = QStringLiteral("VORA");
    int style = 1;                // "LogFiles/TicLogStyle": 0 ".prn" blanks, 1 ".csv" commas, 2 ".txt" tabs
    int timeTagFormat = 0;        // 0 calendar, 1 MJD, 2 Excel
    bool timeLogEnabled = true;   // "LogFiles/TimeIntervalLogButtonGroup" 0
    int everyIndex = 0;           // "LogFiles/TicTimeLogEvery", 0..12
    bool counterAveraging = false;   // "LogFiles/AveragingLogButtonGroup" 1 ("TIC Data")
    int averagingPeriod = 300;    // "LogFiles/AveragingLogPeriod"
    bool saveSatelliteEvents = false;
    bool autoRestart = true;      // "LogFiles/TicTimeLogAutorestart"

    // 0 when the time log is disabled.
    int timeLogInterval() const;
    static int intervalForIndex(int index);   // 1, 2, ... 60, 3600; -1 outside 0..12
    static CounterLogSettings load(QSettings &settings);
    void save(QSettings &settings) const;
};

// One day's counter log set: a time file and an average file per port 1..8 and the
// configuration log. The set counts as open while the configuration log is open. Headless;
// the menus, the file dialog and the remote commands come through open()/close()/status().
class CounterLogSet
{
public:
    static constexpr int Ports = 8;
    static constexpr int ConfigBufferLimit = 20000;
    using Clock = std::function<qint64()>;   // PC UTC time, ms since the epoch

    CounterLogSet(const ReceiverState *state, Clock clock);
    ~CounterLogSet();
    CounterLogSet(const CounterLogSet &) = delete;
    CounterLogSet &operator=(const CounterLogSet &) = delete;

    const CounterLogSettings &options() const { return m_options; }
    void setOptions(const CounterLogSettings &options) { m_options = options; }
    void reload(QSettings &settings);
    // The time tag of a UTC second in the chosen format (the counter processing's own tags).
    void setTimeTag(std::function<QString(qint64 utcSecond)> tag) { m_timeTag = std::move(tag); }
    // Software sawtooth correction off (for the averaging description of the header).
    void setSawtoothOff(std::function<bool()> off) { m_sawtoothOff = std::move(off); }
    // Asked before mode 1 replaces an existing set (argument: the bare configuration log
    // name); true = replace. Without one, mode 1 refuses.
    void setConfirmReplace(std::function<bool(const QString &)> confirm) { m_confirm = std::move(confirm); }

    // Opens the set of the current day in the configured directory with the stored prefix.
    // Mode 0 (daily restart) creates the day's files or appends to those already there.
    LogResult open(int mode);
    // The same with a new bare prefix (a remote command); the prefix is cut and stored.
    LogResult openWithPrefix(const QString &prefix, int mode);
    // Flushes and closes with the footer; empty time and average files are removed.
    // `remember` false (shutdown) leaves "LogFiles/TicLogOpen" as it is.
    LogResult close(bool remember = true);
    // Start-up: reopens the day's set when "LogFiles/TicLogOpen" says it was open (the old
    // key "LogFiles/Tic Log Open" is read once and moved to it).
    bool resumeAtStart();

    bool isOpen() const;
    bool flushAll();
    void closeQuiet() { close(); }
    bool reopenForToday() { return open(LogOpenMode::Create) == LogResult::Ok; }

    // Records of the counter processing (already tagged, blanks collapsed).
    void writeTimeRecord(int port, const QString &line);
    void writeAverageRecord(int port, const QString &line);
    // A configuration event of utcMs: tagged with that time and written, or buffered while
    // the set is closed (up to ConfigBufferLimit characters, then one overflow marker).
    void writeConfigLog(const QString &text, qint64 utcMs);
    const QString &configBuffer() const { return m_buffer; }

    struct Status
    {
        bool open = false;
        QString configFile;    // the open configuration log, or the one open() would use now
        QStringList files;     // all seventeen names
        int style = 1;
        int timeLogInterval = 0;
        int averagingPeriod = 0;
    };
    Status status() const;

    // A record in the style: runs of blanks collapse to one, then each blank becomes the
    // style's separator (comma or tab).
    static QString styled(const QString &record, int style);

private:
    QSettings &store();
    QDate logDate() const;
    QString base() const;
    void writeHeader(int mode);
    void writeLine(QFile *file, const QString &text);
    void closeFiles(bool removeEmpty);

    std::unique_ptr<QSettings> m_store;
    const ReceiverState *m_state;
    Clock m_clock;
    CounterLogSettings m_options;
    std::function<QString(qint64)> m_timeTag;
    std::function<bool()> m_sawtoothOff;
    std::function<bool(const QString &)> m_confirm;
    std::unique_ptr<QFile> m_config;
    std::array<std::unique_ptr<QFile>, Ports> m_time;
    std::array<std::unique_ptr<QFile>, Ports> m_average;
    QString m_buffer;
    bool m_overflowed = false;
    int m_openStyle = 1;
};
