#pragma once

#include "core/ReceiverState.h"
#include "receiver/motorola/MotorolaDecoder.h"
#include "support/RecordingAveraging.h"

// A Motorola decoder on a receiver state of its own, with a recording display and, unless
// `withAveraging` is false, a recording averaging engine.
struct MotorolaFixture
{
    ReceiverState state;
    RecordingAveraging averaging;
    RecordingDisplay display;
    MotorolaDecoder decoder;

    explicit MotorolaFixture(int model = ReceiverModelCode::UT, bool texts = true, bool withAveraging = true)
        : decoder(context(texts, withAveraging))
    {
        state.receiverModel = model;
    }
    DecoderContext context(bool texts, bool withAveraging)
    {
        DecoderContext c;
        c.state = &state;
        c.averaging = withAveraging ? &averaging : nullptr;
        c.display = &display;
        c.options.alwaysBuildTexts = texts;
        return c;
    }
    QString decode(const QByteArray &f) { return decoder.decodeMotorolaFrame(f); }
    // `n` one-second ticks of the position-message precedence.
    void tick(int n)
    {
        for (int i = 0; i < n; ++i)
            MotorolaDecoder::countDownPrecedence(state);
    }
};
