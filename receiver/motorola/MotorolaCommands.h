#pragma once

#include <QByteArray>
#include <cstdint>
#include <initializer_list>
#include <QList>
#include <QString>

class QSettings;
class ReceiverCommandSink;
struct ReceiverState;

// Commands toward Motorola receivers for timing: 1PPS offset and cable delay, T-RAIM, and the
// receiver self test and self survey. Commands are built without checksum: the send path
// (ReceiverCommandSink) completes it.
namespace MotorolaCommands {

// A command from its identifier ("@@Ag") and parameter bytes; the send path adds the checksum.
QByteArray make(const char *id, std::initializer_list<uint8_t> params = {});
// Appends `bytes` bytes of `v`, most significant first (Motorola byte order).
void appendBigEndian(QByteArray &b, quint64 v, int bytes);

// The timing values the commands carry.
struct TimingSettings
{
    int epochOffsetMs = 0;            // "TimingDialog/Epoch", 0..999
    double ppsFineOffsetUs = 0.0;     // "TimingDialog/1pps Delay", 0..999.999
    double antennaCableDelayNs = 0.0; // "TimingDialog/Antenna Cable Delay", 0..20000
    double traimLimitNs = 500.0;      // "TimingDialog/T-Raim"; 0 turns T-RAIM off
    bool traimGatesPps = false;       // "TimingDialog/T-Raim Conditioned 1pps"
    bool shortPulse = false;          // "GpsRxDialog/Pps Duration" == 1 (30 us pulse)

    // 1PPS offset in microseconds: epoch plus fine offset.
    double ppsOffsetUs() const { return epochOffsetMs * 1000.0 + ppsFineOffsetUs; }

    // Reads the keys above (text numbers as the timing dialog stores them); missing or
    // unreadable values take their defaults. Nothing is written.
    static TimingSettings fromSettings(QSettings &settings);
};

// Channel count used to pick a command family: the identified count, else the model's.
int channelsFor(const ReceiverState &state);

// The T-RAIM state kept in the receiver state, from the settings (only when the receiver has
// T-RAIM; otherwise the state is left as it is).
void updateTraimState(ReceiverState &state, const TimingSettings &settings);

// Individual commands.
QByteArray ppsOffsetNanoseconds(qint64 ns);          // "@@Ay" + 4 bytes
QByteArray epochOffsetMilliseconds(int ms);          // "@@Ax" + 2 bytes
QByteArray cableDelay(qint64 ns);                    // "@@Az" + 4 bytes
QByteArray traimFamilyCommand(const ReceiverState &state);   // "@@Hn", "@@En" or "@@Bn"

// Every timing command for the identified receiver, in sending order. Empty outside the
// Motorola binary mode. Also updates the T-RAIM state in `state`.
QList<QByteArray> timingCommands(ReceiverState &state, const TimingSettings &settings);
// Sends them through the command path.
void sendTimingCommands(ReceiverState &state, ReceiverCommandSink &sink, const TimingSettings &settings);

// --- self test and self survey (the menu actions ask the user first) -------------------

QString selfTestTitle();          // "<b>GPS Receiver Self Test</b>"
QString selfTestQuestion();       // Motorola binary: the Yes/No question
QString selfTestUbloxNotice();    // u-blox modes: "Self Test is not supported on u-blox ..."
// The command to send after the user said Yes; empty when nothing is sent in this mode.
QByteArray selfTestCommand(int receiverMode, int receiverModel);

QString selfSurveyTitle();        // "<b>GPS Receiver Self Survey</b>"
// The notice for the mode (Motorola binary or u-blox); empty when the mode has none.
QString selfSurveyNotice(int receiverMode);
// Commands after the user said Yes: "@@At" 02 or "@@Gd" 03, or the three u-blox messages.
QList<QByteArray> selfSurveyCommands(int receiverMode, int channelCount);

} // namespace MotorolaCommands
