#pragma once

#include "receiver/ProtocolDriver.h"
#include "receiver/nmea/NmeaDecoder.h"

// NMEA receivers (Motorola NMEA mode 1, generic NMEA mode 6): every sentence is echoed, and
// the Garmin status echoes add their decoded text.
class NmeaDriver : public ProtocolDriver
{
public:
    explicit NmeaDriver(const DecoderContext &context)
        : m_decoder(context)
    {
    }

    DecodeResult decode(const QByteArray &message) override;
    void setOptions(const DecoderOptions &options) override { m_decoder.setOptions(options); }

    NmeaDecoder &decoder() { return m_decoder; }

    // The lines of one sentence behind `echoPrefix` ("-> " or "->  "); not recognised when the
    // decoder refuses it. Shared with the u-blox driver, whose receivers mix NMEA into UBX.
    static DecodeResult decodeSentence(NmeaDecoder &decoder, const QByteArray &message, const QString &echoPrefix);

private:
    NmeaDecoder m_decoder;
};
