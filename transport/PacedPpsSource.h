#pragma once

#include <QtGlobal>

// The link's view of a paced byte source that also drives the 1PPS line: each second raises
// the simulated DCD level for a short pulse and delivers that second's bytes just after it,
// the way a receiver sends its messages after the pulse they belong to. Shared by the
// simulated receiver and the capture replay.
class PacedPpsSource
{
public:
    static constexpr int PulseWidthMs = 200;    // DCD stays high this long (simulated time)
    static constexpr int MessageDelayMs = 20;   // the second's first byte follows the edge

    // Edge bookkeeping. A rising edge is always seen by a reader, however its polls fall: the
    // first read after an edge is high, after a low read if the last one was high.
    void edge(qint64 atMs)
    {
        m_lastEdgeMs = atMs;
        m_edgePending = true;
    }
    bool readLevel(qint64 nowMs)
    {
        bool level;
        if (m_edgePending) {
            level = !m_lastReadHigh;
            if (level)
                m_edgePending = false;
        } else {
            level = m_lastEdgeMs >= 0 && nowMs >= m_lastEdgeMs && nowMs < m_lastEdgeMs + PulseWidthMs;
        }
        m_lastReadHigh = level;
        return level;
    }
    void reset()
    {
        m_lastEdgeMs = -1;
        m_edgePending = false;
        m_lastReadHigh = false;
    }

private:
    qint64 m_lastEdgeMs = -1;
    bool m_edgePending = false;
    bool m_lastReadHigh = false;
};
