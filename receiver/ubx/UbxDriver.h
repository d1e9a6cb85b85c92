#pragma once

#include "receiver/ProtocolDriver.h"
#include "receiver/nmea/NmeaDecoder.h"
#include "receiver/ubx/UbxDecoder.h"

// u-blox receivers (UBX mode 9, u-blox NMEA mode 10): UBX frames and the NMEA sentences mixed
// with them. Nothing goes to a Raw GPS log from here: the UBX decoder writes its binary records
// itself.
class UbxDriver : public ProtocolDriver
{
public:
    explicit UbxDriver(const DecoderContext &context)
        : m_ubx(context)
        , m_nmea(context)
        , m_ctx(context)
    {
    }

    DecodeResult decode(const QByteArray &message) override;
    // At second 11 of UBX mode the AID-HUI poll (UTC parameters and leap seconds). In UBX
    // mode, while the GPS log wants raw epochs and none has come for 3 s, CFG-MSG switches
    // RXM-RAW on (once per 30 s at most, as receivers without it refuse); once the log no
    // longer wants them, the output it switched on is switched off.
    void tick(int second, qint64 nowMs) override;
    void setOptions(const DecoderOptions &options) override { m_nmea.setOptions(options); }

    UbxDecoder &decoder() { return m_ubx; }
    NmeaDecoder &nmeaDecoder() { return m_nmea; }

private:
    void requestRawOutput(qint64 nowMs);

    UbxDecoder m_ubx;
    NmeaDecoder m_nmea;
    DecoderContext m_ctx;
    qint64 m_lastRawMs = -1;       // tick time of the latest RXM-RAW
    qint64 m_lastRequestMs = -1;   // when RXM-RAW was last asked for
    bool m_rawSwitchedOn = false;  // this driver switched the output on
    bool m_rawSinceTick = false;
};
