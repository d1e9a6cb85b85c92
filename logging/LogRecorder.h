#pragma once

#include "logging/CounterLogSet.h"
#include "logging/GpsDataLog.h"

#include <QObject>

class QSettings;
class CounterProcessing;
struct ReceiverState;

// The station's logs: the GPS data log and the counter log set, fed by the counter processing
// and the decoders, flushed and restarted by the one-second cycle, and driven by the menus and
// the remote commands through gps() and counters().
class LogRecorder : public QObject
{
    Q_OBJECT
public:
    using Clock = std::function<qint64()>;

    LogRecorder(const ReceiverState *state, Clock clock, QObject *parent = nullptr);

    GpsDataLog &gps() { return m_gps; }
    CounterLogSet &counters() { return m_counters; }

    // Time and average records of the processing go to the set; its time tags are used for
    // the configuration log.
    void attach(CounterProcessing &processing);
    // Reads (and repairs) both families' stored options.
    void reload(QSettings &settings);
    // Start-up: both families reopen when their open flag says they were open.
    void resumeAtStart();
    // Program end: flush and close both with their footers, keeping the open flags.
    void shutdown();

private:
    GpsDataLog m_gps;
    CounterLogSet m_counters;
};
