#pragma once

#include "receiver/framing/LoranFramer.h"
#include "receiver/framing/MotorolaFramer.h"
#include "receiver/framing/NmeaUbxFramer.h"
#include "receiver/ProtocolTable.h"

// Frames a receiver byte stream exactly as the link does for a receiver mode, with the framing
// the protocol table gives the mode (nothing for the search, 11).
// Used by the link itself, by capture replay, the command-line decoder and the benchmarks.
class StreamFramer
{
public:
    explicit StreamFramer(int receiverMode = 11);

    int mode() const { return m_mode; }
    // A different mode drops every framer's partial message. Returns whether it changed.
    bool setMode(int receiverMode);

    // Frames `bytes` in the current mode.
    void feed(QByteArrayView bytes, const FrameSink &sink);
    // The same, with the link's pending-PPS flag (the marker goes in at a message boundary).
    void feed(QByteArrayView bytes, bool &ppsPending, const FrameSink &sink);

    void reset();

    MotorolaFramer &motorola() { return m_motorola; }
    NmeaUbxFramer &nmeaUbx() { return m_nmeaUbx; }
    LoranFramer &loran() { return m_loran; }

private:
    int m_mode;
    Framing m_framing;
    MotorolaFramer m_motorola;
    NmeaUbxFramer m_nmeaUbx;
    LoranFramer m_loran;
};
