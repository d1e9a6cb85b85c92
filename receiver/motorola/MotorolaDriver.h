#pragma once

#include "receiver/ProtocolDriver.h"
#include "receiver/motorola/MotorolaDecoder.h"

// Motorola binary receivers (modes 2 and 3): the "@@" decoder and the family's timed polls.
class MotorolaDriver : public ProtocolDriver
{
public:
    // A 12-channel receiver that stopped sending "@@Bb" is asked again at most this often.
    static constexpr qint64 BbRepollIntervalMs = 120000;

    explicit MotorolaDriver(const DecoderContext &context);

    DecodeResult decode(const QByteArray &message) override;
    // At second 20 the leap-second poll ("@@Gj" on the 12-channel M12 family, TX Oncore, SIGNAV
    // and the SSR units, "@@Bj" on the others), at second 21 the UTC offset poll "@@Bo" 00, and
    // the "@@Bb" re-poll; in mode 2 only (nothing is sent in receive-only mode).
    void tick(int second, qint64 nowMs) override;
    void setOptions(const DecoderOptions &options) override { m_decoder.context().options = options; }

    MotorolaDecoder &decoder() { return m_decoder; }

    // Whether the model answers "@@Gj" rather than "@@Bj".
    static bool usesGjPoll(int receiverModel);

private:
    MotorolaDecoder m_decoder;
};

// The Motorola LORAN output (mode 0): lines of letters and digits, which answer the "T0" probe.
class LoranDriver : public ProtocolDriver
{
public:
    explicit LoranDriver(const DecoderContext &context)
        : m_ctx(context)
    {
    }
    DecodeResult decode(const QByteArray &message) override;

private:
    DecoderContext m_ctx;
};
