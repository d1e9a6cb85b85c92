#pragma once

#include "app/StationHooks.h"
#include "logging/LogRecorder.h"
#include "logging/SatelliteEvents.h"

// The recorder's two log families as the one-second cycle and the dispatcher see them.
class RecorderGpsLog : public GpsLogHooks
{
public:
    explicit RecorderGpsLog(GpsDataLog &log) : m_log(log) {}
    bool isOpen() const override { return m_log.isOpen(); }
    int intervalSeconds() const override { return m_log.intervalSeconds(); }
    bool useGpsSeconds() const override { return m_log.useGpsSeconds(); }
    void flush() override { m_log.flush(); }
    bool closeQuiet() override { return m_log.closeQuiet(); }
    bool openNew() override { return m_log.openNew(); }
    void writeRawText(const QString &text) override { m_log.writeRawText(text); }
    int logType() const override { return m_log.logType(); }
    void writeLogLine(const QString &text) override { m_log.writeLogLine(text); }
    void writeBinaryRecord(const QByteArray &message) override { m_log.writeBinaryRecord(message); }
    void writePvtRecord(const QString &row) override { m_log.writePvtRecord(row); }
    void writeNmeaFixLine(const QString &line) override { m_log.writeNmeaFixLine(line); }
    void writeRawEpoch(const UbxRawEpoch &epoch) override { m_log.writeRawEpoch(epoch); }
    bool wantsRawEpochs() const override { return m_log.wantsRawEpochs(); }

private:
    GpsDataLog &m_log;
};

class RecorderCounterLogs : public CounterLogHooks
{
public:
    explicit RecorderCounterLogs(CounterLogSet &set) : m_set(set) {}
    bool isOpen() const override { return m_set.isOpen(); }
    bool flushAll() override { return m_set.flushAll(); }
    void closeQuiet() override { m_set.closeQuiet(); }
    bool reopenForToday() override { return m_set.reopenForToday(); }
    void writeConfigLog(const QString &text, qint64 utcMs) override { m_set.writeConfigLog(text, utcMs); }

private:
    CounterLogSet &m_set;
};

// The station's logs: the recorder and its two faces.
struct StationLogs
{
    StationLogs(const ReceiverState *state, LogRecorder::Clock clock)
        : recorder(state, std::move(clock))
    {
    }
    LogRecorder recorder;
    SatelliteEvents satellites;   // for the configuration log
    RecorderGpsLog gps { recorder.gps() };
    RecorderCounterLogs counters { recorder.counters() };
};
