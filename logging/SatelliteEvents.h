#pragma once

#include <QStringList>
#include <bitset>

struct ReceiverState;

// The satellites entering and leaving the position fix, second by second, as lines for the
// counters' configuration log ("Save Satellite Events in Config Log"). A satellite counts as in
// the fix when the receiver says so, or, from receivers that do not say, when it is tracked.
class SatelliteEvents
{
public:
    // Compares the satellite table with the previous call; returns one line per change, those
    // that joined first, in satellite order. The first call reports every satellite in the fix.
    QStringList update(const ReceiverState &state);
    void reset() { m_inFix.reset(); }

private:
    std::bitset<256> m_inFix;
};
