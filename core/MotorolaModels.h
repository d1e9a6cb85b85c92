#pragma once

#include <QByteArrayView>
#include <QString>

struct ReceiverState;

// Receiver model names and the model groups that change how Motorola messages are decoded
// and which commands a receiver gets.
namespace MotorolaModels {

// Name of a ReceiverModelCode ("UNKNOWN", "GT", ..., "SSR-M8T"); unassigned codes give "UNKNOWN".
QString name(int code);
// Code of a model name as name() gives it (case-insensitive); -1 when no model has that name.
int codeOfName(const QString &name);

// 6/8-channel AMU receivers (PVT6, VP, XT, VP6): signal bytes are converted to C/No.
bool isAmuModel(int code);
// Models whose MSL height is filled from the geoid model when the receiver sends 0.
bool fillsGeoidEa(int code);
bool fillsGeoidBa(int code);
bool fillsGeoidHa(int code);
// Synergy SSR units (22-25).
bool isSsr(int code);
// The 12-channel command set: M12, M12+, M12M, TX Oncore and the SSR units. These get "@@Ia"
// self tests and the "@@Gc"/"@@Ge"/"@@Gf" timing commands.
bool usesTwelveChannelCommands(int code);
// As above plus CNXT/NVMN and SIGNAV: the 1PPS offset goes out as one "@@Ay" in nanoseconds.
bool usesNanosecondOffset(int code);
// The "@@Fa" label list of PVT6, VP, XT, VP6 and the SSR units.
bool usesAmuSelfTestLabels(int code);

// C/No from an AMU signal-strength byte: trunc(20 log10(signal) + 4.6 + 0.5), 0 for 0.
int amuToCNo(int signal);

// What an "@@Cj" identification text tells about the receiver.
struct Identity
{
    bool recognised = false;   // a Motorola/Synergy text or one of the other makers
    int model = 0;
    bool ssrPlus = false;
    bool ssrPlusPlus = false;
    QString firmwareVersionText;
    double firmwareVersion = 0.0;
    bool nmeaCapable = true;
    QString softwareDateText;
};

// Identifies the receiver from a whole "@@Cj" frame (as the link emits it). The frame must
// hold at least 120 bytes; shorter ones give an unrecognised identity.
Identity identify(QByteArrayView frame);
// The last number ("[-+]?[0-9]+\.?[0-9]*") in a version text; 0 when there is none.
double lastNumber(const QString &text);

// Writes an identity into the receiver state (model, firmware, SSR flags, NMEA capability).
void apply(const Identity &id, ReceiverState &state);

} // namespace MotorolaModels
