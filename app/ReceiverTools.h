#pragma once

#include <QString>
#include <functional>

struct ReceiverState;
class ReceiverCommandSink;

// The receiver's own self test and self survey, started from the Tools menu. The user is asked
// first; the commands then go through the command path (which completes the checksums).
namespace ReceiverTools {

// One box shown to the user: a Yes/No question, or a notice with OK only.
struct Prompt
{
    QString title;
    QString text;
    bool question = false;
};
// Shows the box; true when the user answered Yes (a notice's answer does not matter).
using AskUser = std::function<bool(const Prompt &)>;

// u-blox modes: a notice that there is no self test. Motorola binary: asks, then sends "@@Ia"
// (12-channel command set) or "@@Fa". Other modes: nothing is shown or sent. Nothing is sent
// either when the receiver mode changed while the question was open.
void startReceiverSelfTest(const ReceiverState &state, ReceiverCommandSink &sink, const AskUser &ask);

// Motorola binary and the u-blox modes: asks with the survey notice, then sends "@@At" 02
// (fewer than 12 channels), "@@Gd" 03, or the three u-blox survey-in messages. Other modes:
// nothing is shown or sent.
void startReceiverSelfSurvey(const ReceiverState &state, ReceiverCommandSink &sink, const AskUser &ask);

} // namespace ReceiverTools
