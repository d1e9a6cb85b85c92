#pragma once

#include "receiver/framing/MotorolaFramer.h"   // FrameSink, ppsMarker

#include <QByteArray>
#include <QByteArrayView>

// Cuts the plain-text output of a Motorola receiver in LORAN mode into lines. CR or LF ends a
// line and is not kept; empty lines are dropped; every other byte, printable or not, stays in
// the line (the dispatcher tells LORAN output from other text). A line longer than
// MaxLineLength is dropped whole, up to its terminator, so a stream without line ends cannot
// grow memory. Pure byte-in/frame-out: keeps its partial line across feeds.
class LoranFramer
{
public:
    static constexpr int MaxLineLength = 256;

    LoranFramer();

    // Consumes all of `bytes`. When `ppsPending` is set the "-- PPS --" marker is emitted at
    // the next line boundary (before the first byte after it) and the flag cleared. While an
    // over-long line is being skipped there is no boundary.
    void feed(QByteArrayView bytes, bool &ppsPending, const FrameSink &sink);
    // Drops any partial line.
    void reset();

    qsizetype pendingBytes() const { return m_line.size(); }
    bool skippingLongLine() const { return m_skipping; }

private:
    QByteArray m_line;
    bool m_skipping = false;
};
