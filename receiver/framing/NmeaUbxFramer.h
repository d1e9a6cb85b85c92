#pragma once

#include "receiver/framing/MotorolaFramer.h"   // FrameSink, ppsMarker

#include <QByteArray>
#include <QByteArrayView>

// Cuts a byte stream into NMEA 0183 sentences and u-blox UBX frames. Sentences are handed on
// from '$' through the checksum field (no CR LF), UBX frames whole from 0xB5 0x62 through CK_B.
// Frames are taken strictly in stream order: whichever of 0xB5 or '$' comes first starts the
// next message. Pure byte-in/frame-out: keeps its partial message across feeds.
class NmeaUbxFramer
{
public:
    // A sentence longer than this is dropped, so a stream without line ends cannot grow memory.
    static constexpr int MaxSentenceLength = 1024;
    // UBX payloads of this length or more are refused.
    static constexpr int MaxUbxPayload = 1025;

    NmeaUbxFramer();

    // Consumes all of `bytes`. With `nmeaOnly` no UBX frame is looked for. When `ppsPending`
    // is set the "-- PPS --" marker is emitted at the next message boundary.
    void feed(QByteArrayView bytes, bool nmeaOnly, bool &ppsPending, const FrameSink &sink);
    void reset();

    int state() const { return m_state; }
    qsizetype pendingBytes() const { return m_accumulator.size(); }

private:
    qsizetype frameInPlace(const unsigned char *p, qsizetype n, const FrameSink &sink);

    QByteArray m_accumulator;
    int m_state = 0;
    int m_ubxLength = 0;
};
