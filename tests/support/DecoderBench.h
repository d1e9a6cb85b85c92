#pragma once

#include "core/ReceiverState.h"
#include "receiver/DecoderContext.h"
#include "support/RecordingAveraging.h"

// A decoder of any family on a receiver state of its own, wired to recording averaging,
// display, command sink and binary log.
template<typename Decoder>
struct DecoderBench
{
    ReceiverState state;
    RecordingAveraging averaging;
    RecordingDisplay display;
    RecordingCommands commands;
    RecordingLog log;
    Decoder decoder { DecoderContext { &state, &averaging, &display, &commands, {}, &log } };
};
