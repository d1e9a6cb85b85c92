#pragma once

#include "app/StationHooks.h"
#include "clock/PcClockSync.h"

class Station;

// The PC clock synchronisation installed in a station: the one-second cycle and the time
// messages drive its step, and its log lines go to the station's GPS log.
class StationPcClock : public PcClockHooks, public PcClockLogLines
{
public:
    explicit StationPcClock(Station &station);
    ~StationPcClock() override;

    PcClockSync &sync() { return m_sync; }

    void startUp() override { m_sync.startUp(); }
    void clockStep(ReceiverState &state, bool atPpsEdge) override { m_sync.clockStep(state, atPpsEdge); }

    bool writeNow(const ReceiverState &state) override;
    bool nmeaLogOpen() const override;
    void writeNmeaLine(const QString &line) override;

private:
    Station &m_station;
    PcClockSync m_sync;
};
