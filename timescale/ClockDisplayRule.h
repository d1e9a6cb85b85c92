#pragma once

#include <QDateTime>
#include <QString>

// When the clock panel changes and what it shows.
//
// The receiver's 1PPS is the second's boundary: while pulses come, the panel changes exactly
// once per rising edge and shows the UTC second that begins there, which the receiver
// announced in its time messages of the second before. Without a working pulse (none
// configured, or no edge for EdgeLostMs) each time message redraws the panel, until edges come
// back.
//
// When an edge finds no time message since the previous one (the receiver is being set up and
// has stopped its output), the panel keeps counting one second per edge from the last shown
// time and marks the result as counted, not received ("flywheel"), until a time message
// confirms it. Before the first receiver time the panel shows no time at all: the computer's
// clock is never passed off as the receiver's.
class ClockDisplayRule
{
public:
    static constexpr qint64 EdgeLostMs = 2000;

    struct Shown
    {
        bool known = false;      // false: no receiver time yet, the panel shows dashes
        QDateTime utc;           // the second shown
        bool flywheel = false;   // counted from the last receiver time, not yet confirmed
    };

    // PPS interface configured (0 = none).
    void setPpsConfigured(bool configured);
    // A rising 1PPS edge at nowMs (computer clock); `receiverUtc` is the latest receiver time
    // and `timeSinceLastEdge` whether a time message arrived since the previous edge. Returns
    // true: the panel is to be redrawn now.
    bool edge(qint64 nowMs, const QDateTime &receiverUtc, bool timeSinceLastEdge);
    // A decoded time message. Returns true when the panel is to be redrawn now (no working
    // 1PPS). `note` receives a text for the raw-data window when the message disagrees with
    // the second counted for the coming edge.
    bool timeMessage(qint64 nowMs, const QDateTime &receiverUtc, QString *note = nullptr);

    // True while edges come: configured, and one seen within EdgeLostMs (before the first
    // edge: within EdgeLostMs of the first time message).
    bool ppsWorking(qint64 nowMs) const;
    const Shown &shown() const { return m_shown; }

    // The clock text of the panel before the first receiver time.
    static QString unknownClockText() { return QStringLiteral("--:--.--.---"); }

private:
    Shown m_shown;
    bool m_ppsConfigured = false;
    qint64 m_lastEdgeMs = -1;
    qint64 m_firstMessageMs = -1;
};
