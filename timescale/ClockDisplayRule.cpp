#include "timescale/ClockDisplayRule.h"

void ClockDisplayRule::setPpsConfigured(bool configured)
{
    m_ppsConfigured = configured;
    if (!configured) {
        m_lastEdgeMs = -1;
        m_firstMessageMs = -1;
    }
}

bool ClockDisplayRule::ppsWorking(qint64 nowMs) const
{
    if (!m_ppsConfigured)
        return false;
    // Before the first edge, the pulse is given EdgeLostMs from the first time message.
    const qint64 since = m_lastEdgeMs >= 0 ? m_lastEdgeMs : m_firstMessageMs;
    return since < 0 || nowMs - since <= EdgeLostMs;
}

bool ClockDisplayRule::edge(qint64 nowMs, const QDateTime &receiverUtc, bool timeSinceLastEdge)
{
    const bool wasWorking = m_lastEdgeMs >= 0 && ppsWorking(nowMs);
    m_lastEdgeMs = nowMs;
    if (timeSinceLastEdge && receiverUtc.isValid()) {
        m_shown = { true, receiverUtc, false };
    } else if (m_shown.known && wasWorking) {
        // No word from the receiver in this second: count it.
        m_shown.utc = m_shown.utc.addSecs(1);
        m_shown.flywheel = true;
    }
    // Pulses that come back after a pause start anew from the next time message: nothing is
    // counted across a gap whose length is unknown.
    return true;
}

bool ClockDisplayRule::timeMessage(qint64 nowMs, const QDateTime &receiverUtc, QString *note)
{
    if (!receiverUtc.isValid())
        return false;
    if (m_firstMessageMs < 0)
        m_firstMessageMs = nowMs;
    if (ppsWorking(nowMs)) {
        // The message announces the coming edge; a counted clock expects the next second.
        if (m_shown.flywheel && note) {
            const QDateTime expected = m_shown.utc.addSecs(1);
            if (receiverUtc.toSecsSinceEpoch() != expected.toSecsSinceEpoch())
                *note = QStringLiteral("Clock: receiver time %1 differs from the counted %2")
                            .arg(receiverUtc.toString(QStringLiteral("hh:mm:ss")),
                                 expected.toString(QStringLiteral("hh:mm:ss")));
        }
        return false;
    }
    m_shown = { true, receiverUtc, false };
    return true;
}
