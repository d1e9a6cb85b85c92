#include "receiver/motorola/MotorolaCommands.h"

#include "core/ReceiverState.h"
#include "receiver/DecoderContext.h"
#include "core/MotorolaModels.h"
#include "core/ReceiverMode.h"

#include <QSettings>
#include <cmath>

namespace MotorolaCommands {

QByteArray make(const char *id, std::initializer_list<uint8_t> params)
{
    QByteArray b(id);
    for (uint8_t p : params)
        b.append(char(p));
    return b;
}

void appendBigEndian(QByteArray &b, quint64 v, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i)
        b.append(char((v >> (8 * i)) & 0xFF));
}

namespace {

QByteArray command(const char *id) { return QByteArray("@@") + id; }

void appendBe(QByteArray &b, quint64 v, int bytes) { appendBigEndian(b, v, bytes); }

void appendLe(QByteArray &b, quint32 v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        b.append(char((v >> (8 * i)) & 0xFF));
}

double readNumber(QSettings &s, const char *key, double fallback)
{
    bool ok = false;
    const double v = s.value(QLatin1String(key)).toString().trimmed().toDouble(&ok);
    return ok && std::isfinite(v) ? v : fallback;
}

bool readBool(QSettings &s, const char *key, bool fallback)
{
    const QString t = s.value(QLatin1String(key)).toString().trimmed().toLower();
    if (t == QLatin1String("1") || t == QLatin1String("true"))
        return true;
    if (t == QLatin1String("0") || t == QLatin1String("false"))
        return false;
    return fallback;
}

} // namespace

TimingSettings TimingSettings::fromSettings(QSettings &s)
{
    TimingSettings t;
    const double epoch = readNumber(s, "TimingDialog/Epoch", 0);
    t.epochOffsetMs = (epoch >= 0 && epoch <= 999) ? int(epoch) : 0;
    const double fine = readNumber(s, "TimingDialog/1pps Delay", 0);
    t.ppsFineOffsetUs = (fine >= 0 && fine <= 999.999) ? fine : 0.0;
    const double cable = readNumber(s, "TimingDialog/Antenna Cable Delay", 0);
    t.antennaCableDelayNs = (cable >= 0 && cable <= 20000) ? cable : 0.0;
    const double traim = readNumber(s, "TimingDialog/T-Raim", 500);
    t.traimLimitNs = (traim == 0 || (traim >= 250 && traim <= 1000)) ? traim : 500.0;
    t.traimGatesPps = readBool(s, "TimingDialog/T-Raim Conditioned 1pps", false);
    t.shortPulse = s.value(QStringLiteral("GpsRxDialog/Pps Duration")).toInt() == 1;
    return t;
}

int channelsFor(const ReceiverState &state)
{
    if (state.channelCount > 0)
        return state.channelCount;
    const int m = state.receiverModel;
    if (MotorolaModels::usesNanosecondOffset(m))
        return 12;
    if (m == ReceiverModelCode::PVT6)
        return 6;
    return 8;
}

void updateTraimState(ReceiverState &state, const TimingSettings &t)
{
    if (!state.hasTraim)
        return;
    if (t.traimLimitNs > 0) {
        state.traimEnabled = 1;
        state.traimAlarmLimit = uint16_t(std::trunc(t.traimLimitNs / 100.0));
        state.ppsControl = t.traimGatesPps ? (t.shortPulse ? 7 : 3) : (t.shortPulse ? 5 : 1);
    } else {
        state.traimEnabled = 0;
        state.traimAlarmLimit = 10;
        state.ppsControl = 1;
    }
}

QByteArray ppsOffsetNanoseconds(qint64 ns)
{
    QByteArray b = command("Ay");
    appendBe(b, quint64(ns), 4);
    return b;
}

QByteArray epochOffsetMilliseconds(int ms)
{
    QByteArray b = command("Ax");
    appendBe(b, quint64(ms), 2);
    return b;
}

QByteArray cableDelay(qint64 ns)
{
    QByteArray b = command("Az");
    appendBe(b, quint64(ns), 4);
    return b;
}

QByteArray traimFamilyCommand(const ReceiverState &s)
{
    const int channels = channelsFor(s);
    if (channels >= 12) {
        QByteArray b = command("Hn");
        b.append(char(s.traimRate));
        return b;
    }
    QByteArray b = command(channels == 8 ? "En" : "Bn");
    b.append(char(s.traimRate));
    b.append(char(s.traimEnabled));
    appendBe(b, s.traimAlarmLimit, 2);
    b.append(char(s.ppsControl));
    b.append(QByteArray::fromHex("00000100000000000000"));
    return b;
}

QList<QByteArray> timingCommands(ReceiverState &s, const TimingSettings &t)
{
    QList<QByteArray> out;
    if (s.receiverMode != ReceiverMode::MotorolaBinary)
        return out;
    const int model = s.receiverModel;
    const qint64 offsetNs = std::llround(t.ppsOffsetUs() * 1000.0);
    const qint64 cableNs = std::llround(t.antennaCableDelayNs);
    if (MotorolaModels::usesNanosecondOffset(model)) {
        out << ppsOffsetNanoseconds(offsetNs % 1000000000);
    } else {
        out << epochOffsetMilliseconds(int((offsetNs / 1000000) % 1000));
        out << ppsOffsetNanoseconds(offsetNs % 1000000);
    }
    out << cableDelay(cableNs);

    updateTraimState(s, t);
    out << traimFamilyCommand(s);

    if (MotorolaModels::usesTwelveChannelCommands(model)) {
        if (s.hasTraim) {
            out << command("Gc") + char(s.ppsControl);
            out << command("Ge") + char(s.traimEnabled);
            QByteArray gf = command("Gf");
            appendBe(gf, s.traimAlarmLimit, 2);
            out << gf;
        } else {
            const char code = t.shortPulse ? (t.traimGatesPps ? 6 : 5) : (t.traimGatesPps ? 2 : 1);
            out << command("Gc") + code;
        }
    }
    return out;
}

void sendTimingCommands(ReceiverState &state, ReceiverCommandSink &sink, const TimingSettings &settings)
{
    for (const QByteArray &c : timingCommands(state, settings))
        sink.sendGpsRxCommand(c);
}

// --- self test and self survey ---------------------------------------------------------

QString selfTestTitle() { return QStringLiteral("<b>GPS Receiver Self Test</b>"); }

QString selfTestQuestion()
{
    return QStringLiteral(
        "Self Test will disable the GPS receiver for about 10 seconds.\r\nWhen the self-test is complete, the "
        "acquisition process starts all \r\nover as if the receiver were first powered on. The date, time, "
        "position \r\nand ephemeris information is all retained.\r\n\r\nUse \"View/View GPS Receiver ID "
        "Message\" to view the results.\r\n\r\nDo you really want to do this?");
}

QString selfTestUbloxNotice() { return QStringLiteral("Self Test is not supported on u-blox based receivers."); }

QByteArray selfTestCommand(int receiverMode, int receiverModel)
{
    if (receiverMode != ReceiverMode::MotorolaBinary)
        return {};
    return command(MotorolaModels::usesTwelveChannelCommands(receiverModel) ? "Ia" : "Fa");
}

QString selfSurveyTitle() { return QStringLiteral("<b>GPS Receiver Self Survey</b>"); }

QString selfSurveyNotice(int receiverMode)
{
    if (receiverMode == ReceiverMode::MotorolaBinary)
        return QStringLiteral(
            "NOTICE: The GPS Receiver internal Self Survey mode is independent of this program's software "
            "self-survey. To save the self survey results, wait for the survey to complete, then save the current "
            "position to the reference position. \r\n\r\nWARNING: The survey mode overrides some user settings. It "
            "activates 3D navigation mode and activates TRAIM. User settings are not restored on completion. After "
            "saving the survey results, re-initialize the GPS Receiver using the menu Edit / Set GPS Receiver "
            "Interface window.\r\n\r\nThe internal Auto Survey mode will average a total of 10,000 2D and 3D "
            "position fixes to achieve a horizontal position accuracy of <10m 95%. If the averaging process is "
            "interrupted, the averaging resumes where it left off. Once the position is surveyed, the GPS receiver "
            "will automatically enter the position-hold mode. \r\nDo you really want to do this?");
    if (receiverMode == ReceiverMode::UbloxUbx || receiverMode == ReceiverMode::UbloxNmea)
        return QStringLiteral(
            "NOTICE: The GPS Receiver internal Self Survey mode is independent of this program's software "
            "self-survey. To save the self survey results, wait for the survey to complete, then save the current "
            "position to the reference position. \r\n\r\nWARNING: The survey mode overrides some user settings. "
            "User settings are not restored on completion. After saving the survey results, re-initialize the GPS "
            "Receiver using the menu Edit / Set GPS Receiver Interface window.\r\n\r\nThe internal Auto Survey "
            "mode will achieve a horizontal position accuracy of <10m 95%. If the averaging process is "
            "interrupted, the averaging resumes where it left off. Once the position is surveyed, the GPS receiver "
            "will automatically enter the position-hold mode. \r\nDo you really want to do this?");
    return {};
}

QList<QByteArray> selfSurveyCommands(int receiverMode, int channelCount)
{
    if (receiverMode == ReceiverMode::MotorolaBinary)
        return { channelCount < 12 ? command("At") + char(2) : command("Gd") + char(3) };
    if (receiverMode != ReceiverMode::UbloxUbx && receiverMode != ReceiverMode::UbloxNmea)
        return {};
    // TIM-SVIN on, then survey-in through CFG-TMODE and CFG-TMODE2 (checksums added on sending).
    const QByteArray msg = QByteArray::fromHex("B56206010300" "0D0401");
    QByteArray tmode = QByteArray::fromHex("B562061D1C00");
    appendLe(tmode, 1, 4);                          // timeMode: survey-in
    appendLe(tmode, 0, 4);                          // fixed position X, Y, Z
    appendLe(tmode, 0, 4);
    appendLe(tmode, 0, 4);
    appendLe(tmode, 4000, 4);                       // fixedPosVar
    appendLe(tmode, 5008, 4);                       // svinMinDur (s)
    appendLe(tmode, 2000, 4);                       // svinVarLimit
    QByteArray tmode2 = QByteArray::fromHex("B562063D1C00");
    tmode2.append(char(1));                         // timeMode: survey-in
    tmode2.append(char(0));                         // reserved
    appendLe(tmode2, 0, 2);                         // flags
    appendLe(tmode2, 0, 4);                         // position
    appendLe(tmode2, 0, 4);
    appendLe(tmode2, 0, 4);
    appendLe(tmode2, 4000, 4);                      // fixedPosAcc
    appendLe(tmode2, 5008, 4);                      // svinMinDur (s)
    appendLe(tmode2, 2000, 4);                      // svinAccLimit
    return { msg, tmode, tmode2 };
}

} // namespace MotorolaCommands
