#include "logging/LogRecorder.h"

#include "core/TimingDelays.h"
#include "tic/CounterProcessing.h"

#include <QSettings>

LogRecorder::LogRecorder(const ReceiverState *state, Clock clock, QObject *parent)
    : QObject(parent)
    , m_gps(state, clock)
    , m_counters(state, clock)
{
    m_counters.setSawtoothOff([] {
        QSettings settings;
        return TimingDelays::load(settings).sawtoothMode == TimingDelays::Off;
    });
}

void LogRecorder::attach(CounterProcessing &processing)
{
    connect(&processing, &CounterProcessing::timeRecord, this,
            [this](int port, const QString &line) { m_counters.writeTimeRecord(port, line); });
    connect(&processing, &CounterProcessing::averageRecord, this,
            [this](int port, const QString &line) { m_counters.writeAverageRecord(port, line); });
    m_counters.setTimeTag([&processing](qint64 second) { return processing.timeTag(second); });
}

void LogRecorder::reload(QSettings &settings)
{
    m_gps.reload(settings);
    m_counters.reload(settings);
}

void LogRecorder::resumeAtStart()
{
    m_counters.resumeAtStart();
    m_gps.resumeAtStart();
}

void LogRecorder::shutdown()
{
    m_counters.close(false);
    m_gps.close(false);
}
