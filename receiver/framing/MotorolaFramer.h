#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <functional>

// Receives one whole message, or the 9-byte marker "-- PPS --".
using FrameSink = std::function<void(const QByteArray &)>;

// Cuts a Motorola Oncore binary byte stream into messages. A message on the wire is
// "@@", a two-letter identifier, a body of fixed length, a checksum byte, CR, LF; the length is
// looked up by identifier. Verified messages are handed on without checksum and CR LF.
// Pure byte-in/frame-out: no I/O, keeps its partial message across feeds.
class MotorolaFramer
{
public:
    // The longest message a count byte can announce ("@@Bb" with 64 entries).
    static constexpr int MaxFrameLength = 8 + 7 * 64;
    // Length of the "@@Bb" message in the length table; receivers with fewer channels send a
    // count above the records actually present, and such a message is emitted at this length
    // when it verifies there.
    static constexpr int BbTableLength = 92;
    // The shortest message: "@@", identifier, checksum, CR, LF and no body.
    static constexpr int MinFrameLength = 7;
    // messageLength results besides a length.
    static constexpr int Unknown = -1;
    static constexpr int SelfDelimited = -2;   // ends at the first CR LF after a valid checksum

    MotorolaFramer();

    // Consumes all of `bytes`. When `ppsPending` is set the "-- PPS --" marker is emitted at
    // the next message boundary and the flag cleared.
    void feed(QByteArrayView bytes, bool &ppsPending, const FrameSink &sink);
    // Drops any partial message.
    void reset();

    int state() const { return m_state; }
    qsizetype pendingBytes() const { return m_accumulator.size(); }

    // Total length of a message with this identifier (from the first '@' through LF):
    // Unknown, SelfDelimited, or 0 for the unlisted "W" identifiers (never verifies).
    static int messageLength(char family, char letter);

private:
    void finish(const FrameSink &sink);
    qsizetype frameInPlace(const char *p, qsizetype n, const FrameSink &sink);
    static bool endsFrame(QByteArrayView frame);

    QByteArray m_accumulator;
    int m_state = 0;
    int m_expectedLength = 0;
    bool m_bbExtended = false;
};

// The marker put into the message stream after a 1PPS edge.
inline QByteArray ppsMarker() { return QByteArrayLiteral("-- PPS --"); }

// Emits the marker when a pulse is pending, at the message boundary the framer is at.
inline void emitPendingPps(bool &ppsPending, const FrameSink &sink)
{
    if (ppsPending) {
        sink(ppsMarker());
        ppsPending = false;
    }
}
