#include "receiver/setup/ReceiverDetection.h"

#include "receiver/DecoderContext.h"
#include "receiver/motorola/MotorolaCommands.h"
#include "receiver/motorola/MotorolaEncoder.h"
#include "core/MotorolaModels.h"
#include "receiver/link/ReceiverCommandChannel.h"
#include "receiver/setup/ReceiverDetectionPort.h"
#include "core/ReceiverMode.h"
#include "receiver/ubx/UbxConfiguration.h"

#include <QDateTime>
#include <QDebug>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSettings>
#include <QTimer>
#include <initializer_list>

namespace {

// How often a wait looks for its answer and for shutdown.

const char *const SettingsModeKey = "MainWindow/Mode";


// The six sentence-rate commands that leave a Motorola unit in NMEA with its usual output.
const char *const NmeaOutputCommands[] = {
    "$PMOTG,GLL,0000", "$PMOTG,VTG,0000", "$PMOTG,GGA,0001",
    "$PMOTG,GSA,0001", "$PMOTG,GSV,0001", "$PMOTG,RMC,0001",
};

// The sentences a unit is asked to stop while the search looks for NMEA output.
const char *const NmeaSearchOffCommands[] = {
    "$PMOTG,RMC,0000", "$PMOTG,GGA,0000", "$PMOTG,GSA,0000",
    "$PMOTG,GSV,0000", "$PMOTG,GLL,0000", "$PMOTG,VTG,0000",
};

const char *const NmeaTimeProbe = "$PMOTG,ZDA,0001";


} // namespace

// --- the u-blox sequence's view of this object ---------------------------------------------

class ReceiverDetection::UbxHost : public UbxSetupHost
{
public:
    explicit UbxHost(ReceiverDetection &d)
        : m_d(d)
    {
    }
    void sendGpsRxCommand(const QByteArray &command) override { m_d.send(command); }
    bool sendAndAwaitAnswer(const QByteArray &command, AnswerFamily family, int timeoutMs) override
    {
        Q_UNUSED(timeoutMs);
        // The MON-VER poll is answered by the MON-VER frame only; other waits take any answer
        // of the family (ACK, configuration echoes).
        const bool monVer = command.startsWith(Ubx::monVerPoll());
        const QList<QByteArray> heads = monVer ? QList<QByteArray> { command.left(4) } : QList<QByteArray> {};
        const bool ok = m_d.awaitAnswer(command, family, heads, m_d.m_timing.answerTimeoutMs);
        if (!ok && monVer && !m_d.closing())
            emit m_d.rawDataText(QStringLiteral(" Timeout - no response to MON-VER request"));
        return ok;
    }
    void pause(int ms) override { m_d.pause(ms); }
    // CFG-PRT went out at the rate the receiver was found at; it now listens at the new one.
    void portCommandSent(int baudRate) override
    {
        if (m_d.m_port.dataRate() != baudRate)
            m_d.setRate(baudRate);
    }
    double protocolVersion() const override { return m_d.m_state.ubxProtocolVersion; }
    Ubx::AckResult sendAndAwaitAck(const QByteArray &command, int timeoutMs) override
    {
        Q_UNUSED(timeoutMs);
        // Only the ACK-ACK or ACK-NAK naming this command's class and ID ends the wait.
        const QByteArray id = command.mid(2, 2);
        m_d.m_state.lastUbxAck = {};
        if (!m_d.awaitAnswer(command, AnswerFamily::Ublox,
                             { QByteArray::fromHex("b56205010200") + id, QByteArray::fromHex("b56205000200") + id },
                             m_d.m_timing.answerTimeoutMs))
            return Ubx::AckResult::NoAnswer;
        return m_d.m_state.lastUbxAck.accepted ? Ubx::AckResult::Accepted : Ubx::AckResult::Refused;
    }
    void setStatusText(const QString &text) override { m_d.setStatus(text); }
    void setNavigationIndicator(int value) override
    {
        m_d.m_state.navigationState = value;
        if (m_d.m_display)
            m_d.m_display->setNavigationIndicator(value);
    }
    void applyReceiverSettings() override
    {
        m_d.call(m_d.m_hooks.applyReceiverSettings);
        if (m_d.option(m_d.m_hooks.garminSettingsEnabled))
            m_d.call(m_d.m_hooks.applyGarminSettings);
        m_d.call(m_d.m_hooks.sendTimingCommands);
    }

private:
    ReceiverDetection &m_d;
};

// --- construction --------------------------------------------------------------------------

ReceiverDetection::ReceiverDetection(ReceiverState &state, ReceiverCommandChannel &commands, ReceiverPortControl &port,
                                     QObject *parent)
    : QObject(parent)
    , m_state(state)
    , m_commands(commands)
    , m_port(port)
    , m_clock([] { return QDateTime::currentMSecsSinceEpoch(); })
{
}

ReceiverDetection::~ReceiverDetection() = default;

void ReceiverDetection::setClock(std::function<qint64()> clock)
{
    m_clock = clock ? std::move(clock) : std::function<qint64()>([] { return QDateTime::currentMSecsSinceEpoch(); });
}

void ReceiverDetection::setPendingRates(int oldRate, int newRate)
{
    m_pendingOldRate = oldRate;
    m_pendingNewRate = newRate;
}

// --- tables and texts ----------------------------------------------------------------------

QByteArray ReceiverDetection::makeRateCommand(int rate)
{
    // Only the rates a unit is moved to during set-up; the others have no command here.
    switch (rate) {
    case 4800:
    case 9600:
    case 14400:
    case 19200:
    case 38400:
    case 57600:
        return portRateCommand(rate);
    default:
        return {};
    }
}

QByteArray ReceiverDetection::portRateCommand(int rate)
{
    // An unknown rate gets the 9600 code {0, 0}.
    const std::array<uint8_t, 2> code = MotorolaEncoder::rateCode(rate);
    return MotorolaCommands::make("@@Wb", { code[0], code[1] });
}

std::optional<ReceiverDetection::ModelTiming> ReceiverDetection::modelTiming(int model)
{
    using namespace ReceiverModelCode;
    switch (model) {
    case GT:
    case GTPlus:
    case SL:
        return ModelTiming { 8, 500.0 };
    case M12:
    case M12Plus:
    case M12M:
    case Signav:
    case Ssr6Tf:
    case Ssr6Tr:
    case SsrM8F:
    case SsrM8T:
        return ModelTiming { 12, 100.0 };
    case PVT6:
    case XT:
    case VP6:
        return ModelTiming { 6, 100.0 };
    case UT:
    case UTPlus:
    case VP:
    case CnxtNavman:
    case TxOncore:
        return ModelTiming { 8, 100.0 };
    default:
        return std::nullopt;
    }
}

QString ReceiverDetection::describe(const ReceiverState &s, int mode, bool pvt6Mode, bool localTimeMode)
{
    const int model = s.receiverModel;
    const bool ssr = MotorolaModels::isSsr(model);
    const bool iLotus = model == ReceiverModelCode::TxOncore;
    QString text;
    if (mode == ReceiverMode::MotorolaBinary || mode == ReceiverMode::MotorolaBinaryRxOnly) {
        QString name = MotorolaModels::name(model);
        if (ssr && s.ssrPlusPlus)
            name += QStringLiteral("++");
        else if (ssr && s.ssrPlus)
            name += QLatin1Char('+');
        if (mode == ReceiverMode::MotorolaBinaryRxOnly)
            name += QStringLiteral(", Rx Only");
        const QString pattern = ssr      ? QStringLiteral("%1, Bin, %2 ch, V%3")
                                : iLotus ? QStringLiteral("i-Lotus %1, Bin, %2 ch, V%3")
                                         : QStringLiteral("Motorola %1, Bin, %2 ch, V%3");
        text = pattern.arg(name).arg(qMax(0, s.channelCount)).arg(s.firmwareVersionText);
    } else if (mode == ReceiverMode::MotorolaNmea) {
        text = iLotus ? QStringLiteral("i-Lotus ") : QStringLiteral("Motorola ");
        text += MotorolaModels::name(model);
        // The SSR-6T names run straight into the mode.
        const bool ssr6T = model == ReceiverModelCode::Ssr6Tf || model == ReceiverModelCode::Ssr6Tr;
        text += (ssr6T ? QStringLiteral("NMEA Mode, %1 ch, V") : QStringLiteral(", NMEA Mode, %1 ch, V"))
                    .arg(s.channelCount);
        text += s.firmwareVersionText;
    } else {
        return {};
    }
    if (s.hasDgps)
        text += QStringLiteral(", has DGPS");
    if (s.hasTraim)
        text += QStringLiteral(", TRAIM");
    if (pvt6Mode)
        text += QStringLiteral(", PVT6 Mode");
    if (localTimeMode)
        text += QStringLiteral(", Local Time Mode");
    return text;
}

void ReceiverDetection::describeListenedReceiver()
{
    if (m_state.receiverMode != ReceiverMode::MotorolaBinaryRxOnly || m_description.isEmpty())
        return;
    const QString text = describe(m_state, m_state.receiverMode, option(m_hooks.pvt6Mode), option(m_hooks.localTimeMode));
    if (text != m_description)
        setDescription(text);
}

QString ReceiverDetection::retryText(int attempt)
{
    return QStringLiteral("GPS receiver not found - retrying (attempt %1 of 3)...").arg(attempt);
}

QString ReceiverDetection::notFoundText()
{
    return QStringLiteral("Go to the menu and select Edit/Set Serial Port. There you can select a different serial "
                          "port, and/or select a different receiver type.");
}

QString ReceiverDetection::noNmeaText(const QString &firmwareVersionText)
{
    return QStringLiteral("This receiver has no NMEA mode - staying in Motorola Binary.\n\nMotorola NMEA needs "
                          "Synergy SSR firmware V4.21 or later; this receiver reports V%1.")
        .arg(firmwareVersionText.isEmpty() ? QStringLiteral("(unknown)") : firmwareVersionText);
}

// --- waiting and sending -------------------------------------------------------------------

int ReceiverDetection::scaled(int ms) const
{
    return int(qint64(ms) * m_timing.delayPercent / 100);
}

void ReceiverDetection::pause(int ms)
{
    m_commands.pause(scaled(ms));
}

void ReceiverDetection::send(const QByteArray &command)
{
    if (!closing())
        m_commands.sendGpsRxCommand(command);
}

bool ReceiverDetection::awaitAnswer(const QByteArray &command, AnswerFamily family, const QList<QByteArray> &heads,
                                    int timeoutMs)
{
    return m_commands.sendAndAwait(command, family, heads, timeoutMs);
}

bool ReceiverDetection::awaitMotorola(const QByteArray &command, bool longTimeout)
{
    return awaitAnswer(command, AnswerFamily::MotorolaBinary, { command.left(4) },
                       longTimeout ? m_timing.longAnswerTimeoutMs : m_timing.answerTimeoutMs);
}

bool ReceiverDetection::awaitNmeaTime()
{
    return awaitAnswer(NmeaTimeProbe, AnswerFamily::MotorolaNmea, { "$GPZDA", "$PMOTG" },
                       m_timing.answerTimeoutMs);
}

void ReceiverDetection::settleInNmea()
{
    if (!awaitNmeaTime() && !closing()) {
        send(MotorolaCommands::make("@@Ci", { 0x01 }));
        pause(2500);
        awaitNmeaTime();
    }
    for (const char *c : NmeaOutputCommands)
        send(c);
}

bool ReceiverDetection::requestIdentity(int tries)
{
    for (int i = 0; i < tries; ++i) {
        if (i > 0)
            emit rawDataText(QStringLiteral("<- @@Cj (retry)"));
        if (awaitMotorola("@@Cj", true))
            return true;
        if (closing())
            return false;
        emit rawDataText(QStringLiteral("@@Cj Timeout - no valid version number!"));
    }
    return false;
}

// --- state helpers -------------------------------------------------------------------------

void ReceiverDetection::setChannelCount(int n)
{
    m_state.channelCount = n;
    m_state.channelCountUsed = n;
}

void ReceiverDetection::setTimingTerms(double a, double b)
{
    if (m_hooks.setTimingErrorTerms)
        m_hooks.setTimingErrorTerms(a, b);
}

void ReceiverDetection::setStatus(const QString &text)
{
    m_status = text;
    emit statusText(text);
}

void ReceiverDetection::setDescription(const QString &text)
{
    // The description ends the set-up on the same label that showed its progress.
    m_description = text;
    setStatus(text);
    emit receiverDescription(text);
}

void ReceiverDetection::setRate(int rate)
{
    if (!closing())
        m_port.setDataRate(rate);
}

void ReceiverDetection::setMode(int mode)
{
    m_state.receiverMode = mode;
}

bool ReceiverDetection::finish(bool ok)
{
    if (ok)
        m_lastGoodRate = m_port.dataRate();
    {
        QSettings settings;
        settings.setValue(QLatin1String(SettingsModeKey), m_state.receiverMode);
    }
    emit busyCursor(false);
    m_state.receiverBusy = false;
    return ok;
}

// --- probes --------------------------------------------------------------------------------

bool ReceiverDetection::probeMode(int mode)
{
    const int saved = m_state.receiverMode;
    bool ok = false;
    switch (mode) {
    case ReceiverMode::MotorolaLoran:
        setMode(mode);
        ok = awaitAnswer("T0", AnswerFamily::Loran, {}, m_timing.answerTimeoutMs);
        break;
    case ReceiverMode::MotorolaNmea:
        setMode(mode);
        ok = awaitNmeaTime();
        break;
    case ReceiverMode::MotorolaBinary:
        setMode(mode);
        ok = requestIdentity(2);
        break;
    case ReceiverMode::UbloxUbx: {
        setMode(mode);
        UbxHost host(*this);
        ok = host.sendAndAwaitAnswer(Ubx::monVerPoll(), AnswerFamily::Ublox, m_timing.answerTimeoutMs);
        break;
    }
    case ReceiverMode::MotorolaBinaryRxOnly:
    case ReceiverMode::GenericNmea:
    case ReceiverMode::Search:
        ok = true;   // nothing to ask: these modes only listen
        break;
    default:
        break;
    }
    m_state.receiverMode = saved;
    return ok;
}

bool ReceiverDetection::probeChannels(char family)
{
    const int channels = family == 'H' ? 12 : family == 'E' ? 8 : 6;
    const QByteArray id = QByteArray("@@") + family + 'a';
    if (awaitMotorola(id + '\0')) {
        emit rawDataText(QString::fromLatin1(id) + QStringLiteral(" OK - must be a %1-channel Rcvr").arg(channels));
        setChannelCount(channels);
        return true;
    }
    if (!closing())
        emit rawDataText(QString::fromLatin1(id) + QStringLiteral(" Timeout - not a %1-channel Rcvr").arg(channels));
    return false;
}

bool ReceiverDetection::probeDgps()
{
    m_state.hasDgps = awaitMotorola(MotorolaCommands::make("@@Bh", { 0x00 }), true);
    if (m_state.hasDgps)
        emit rawDataText(QStringLiteral("@@Bh OK - must be a DGPS Rcvr"));
    else if (!closing())
        emit rawDataText(QStringLiteral("@@Bh Timeout - must be a non-DGPS Rcvr"));
    return m_state.hasDgps;
}

bool ReceiverDetection::probeTraim()
{
    // The T-RAIM command of the receiver's channel family with the T-RAIM values kept in the
    // state, as the timing commands send it later: a unit with T-RAIM answers with its status.
    const QByteArray command = MotorolaCommands::traimFamilyCommand(m_state);
    const QString id = QString::fromLatin1(command.left(4));
    m_state.hasTraim = awaitMotorola(command, true);
    if (m_state.hasTraim)
        emit rawDataText(id + QStringLiteral(" OK - must have T-RAIM"));
    else if (!closing())
        emit rawDataText(id + QStringLiteral(" Timeout - must not have T-RAIM"));
    return m_state.hasTraim;
}

// --- search --------------------------------------------------------------------------------

bool ReceiverDetection::searchReceiver()
{
    if (m_port.minimizeInitialization())
        return m_state.receiverMode != ReceiverMode::Search;
    if (m_state.receiverMode != ReceiverMode::Search || closing())
        return false;

    const int startRate = m_port.dataRate();
    QList<int> rates;
    for (int r : { startRate, m_lastGoodRate, 4800 }) {
        if (r > 0 && !rates.contains(r))
            rates.append(r);
    }

    // Motorola NMEA: quiet the usual sentences, then ask for the time sentence.
    for (int rate : rates) {
        if (closing())
            return false;
        setRate(rate);
        setMode(ReceiverMode::MotorolaNmea);
        for (const char *c : NmeaSearchOffCommands)
            send(c);
        if (awaitNmeaTime())
            return true;
    }
    // Motorola binary.
    for (int rate : rates) {
        if (closing())
            return false;
        setRate(rate);
        setMode(ReceiverMode::MotorolaBinary);
        if (requestIdentity(1))
            return true;
    }
    // LORAN output.
    if (closing())
        return false;
    setRate(1200);
    setMode(ReceiverMode::MotorolaLoran);
    if (awaitAnswer("T0", AnswerFamily::Loran, {}, m_timing.answerTimeoutMs))
        return true;

    setMode(ReceiverMode::Search);
    setRate(startRate);
    return false;
}

// --- one set-up pass -----------------------------------------------------------------------

bool ReceiverDetection::initialiseReceiver()
{
    if (closing())
        return false;
    m_state.receiverBusy = true;
    emit busyCursor(true);
    call(m_hooks.reloadAveragingSettings);

    // 1. A clean slate on the display.
    clearDisplay();
    setStatus(QString());
    const int configuredRate = m_port.dataRate();

    // 2. The working mode.
    int mode = m_state.receiverMode;
    bool found = true;
    switch (mode) {
    case ReceiverMode::MotorolaBinary:
        m_state.firmwareVersionText.clear();
        m_state.nmeaCapable = true;
        found = probeMode(mode) || searchReceiver();
        break;
    case ReceiverMode::MotorolaLoran:
    case ReceiverMode::MotorolaNmea:
        found = probeMode(mode) || searchReceiver();
        break;
    case ReceiverMode::Search:
        setStatus(QStringLiteral("Initialization: Searching for GPS Receiver..."));
        found = searchReceiver();
        if (found) {
            mode = m_state.receiverMode == ReceiverMode::Search ? int(ReceiverMode::MotorolaBinary) : m_state.receiverMode;
        } else if (!closing()) {
            // Not a Motorola unit in any of its outputs: perhaps a u-blox one at 9600.
            setRate(9600);
            setMode(ReceiverMode::UbloxUbx);
            found = probeMode(ReceiverMode::UbloxUbx);
            mode = found ? int(ReceiverMode::UbloxUbx) : int(ReceiverMode::MotorolaBinary);
        }
        break;
    default:
        break;   // 3, 6, 9, 10: taken as they are
    }
    if (closing())
        return finish(false);
    setMode(mode);
    m_port.setMode(mode);

    bool ok = false;
    switch (mode) {
    case ReceiverMode::GenericNmea:
        setStatus(QStringLiteral("Generic NMEA GPS Receiver"));
        m_state.receiverModel = ReceiverModelCode::GenericNmea;
        m_state.firmwareVersionText.clear();
        setChannelCount(-1);
        m_state.hasDgps = false;
        m_state.hasTraim = false;
        setDescription(QStringLiteral("Generic NMEA GPS Receiver"));
        ok = true;
        break;
    case ReceiverMode::UbloxUbx:
    case ReceiverMode::UbloxNmea:
        ok = ubloxSetUp(mode, configuredRate);
        break;
    case ReceiverMode::MotorolaBinaryRxOnly:
        // Only listened to: the mode and the port rate, no commands; the user names the model.
        setRate(configuredRate);
        if (m_hooks.receiveOnlyIdentity)
            m_hooks.receiveOnlyIdentity(m_state);
        ok = true;
        break;
    case ReceiverMode::MotorolaLoran:
    case ReceiverMode::MotorolaNmea:
    case ReceiverMode::MotorolaBinary:
        ok = motorolaSetUp(mode, found, configuredRate);
        break;
    default:
        break;
    }
    if (closing())
        return finish(false);

    // 7. The description of a Motorola unit in binary or NMEA output.
    if (ok) {
        const QString text = describe(m_state, m_state.receiverMode, option(m_hooks.pvt6Mode),
                                      option(m_hooks.localTimeMode));
        if (!text.isEmpty())
            setDescription(text);
    }
    return finish(ok);
}

bool ReceiverDetection::ubloxSetUp(int mode, int configuredRate)
{
    setStatus(QStringLiteral("Initialization: Set up u-blox GPS Receiver..."));
    m_state.receiverModel = ReceiverModelCode::Ublox;
    setChannelCount(16);
    setTimingTerms(10.0, 100.0);
    UbxHost host(*this);
    if (!m_port.minimizeInitialization()) {
        // CFG-PRT goes out at the rate the receiver was found at, which moves it (and then the
        // port) to the configured rate; then the outputs, the navigation indicator, the
        // receiver and timing settings.
        if (!sendUbxConfiguration(host, mode, configuredRate))
            return false;
    } else {
        setRate(configuredRate);
        if (mode == ReceiverMode::UbloxNmea)
            setStatus(QString::fromLatin1(Ubx::nmeaModeText()));
        host.setNavigationIndicator(0);
        host.applyReceiverSettings();
    }
    setDescription(mode == ReceiverMode::UbloxNmea ? QString::fromLatin1(Ubx::nmeaModeText())
                                                   : QStringLiteral("u-blox UBX Mode"));
    return !closing();
}

bool ReceiverDetection::motorolaSetUp(int startMode, bool found, int configuredRate)
{
    setStatus(QStringLiteral("Initialization: Set up GPS Receiver..."));
    m_state.receiverModel = ReceiverModelCode::M12M;   // until "@@Cj" says otherwise
    m_state.hasDgps = false;
    setTimingTerms(10.0, 100.0);
    const int startRate = m_port.dataRate();

    // a. Binary output.
    if (startMode == ReceiverMode::MotorolaNmea) {
        send("$PMOTG,FOR,0");
        if (!found) {
            send("$PMOTG,FOR,0");
            pause(500);
        }
    } else if (startMode == ReceiverMode::MotorolaLoran) {
        send("BIN");
    }
    setMode(ReceiverMode::MotorolaBinary);
    m_state.firmwareVersionText.clear();

    // b. Identification.
    if (!requestIdentity(1)) {
        if (closing())
            return false;
        setMode(startMode);
        if (m_port.dataRate() != startRate)
            setRate(startRate);
        setStatus(QStringLiteral("ERROR: Motorola GPS Receiver Not Found"));
        return false;
    }
    const int model = m_state.receiverModel;
    const bool twelveChannelCommands = MotorolaModels::usesTwelveChannelCommands(model);

    // c, d. Position fix mode, continuous 6/8-channel output off, the channel probe.
    if (!m_port.minimizeInitialization()) {
        send(MotorolaCommands::make("@@Cg", { 0x01 }));
        send(MotorolaCommands::make("@@Ba", { 0x00 }));
        send(MotorolaCommands::make("@@Ea", { 0x00 }));
        if (MotorolaModels::isSsr(model)) {
            setChannelCount(12);
            send(MotorolaCommands::make("@@Ha", { 0x00 }));
        } else if (!probeChannels('H') && !probeChannels('E') && !probeChannels('B')) {
            if (closing())
                return false;
            setChannelCount(6);
        }
    }

    // e. One-shot polls, the DGPS and T-RAIM probes, leap second and UTC offset.
    awaitMotorola(MotorolaCommands::make("@@Hb", { 0x00 }));
    send(MotorolaCommands::make("@@Bb", { 0x00 }));
    send(MotorolaCommands::make("@@Bk", { 0x00 }));
    send(MotorolaCommands::make("@@Ek", { 0x00 }));
    send(MotorolaCommands::make("@@Bl", { 0x00 }));
    probeDgps();
    probeTraim();
    send(MotorolaCommands::make("@@Bg", { 0x00 }));
    send(MotorolaCommands::make("@@Eg", { 0x00 }));
    send(MotorolaCommands::make("@@Bi", { 0x00 }));
    send(twelveChannelCommands ? MotorolaCommands::make("@@Gj") : MotorolaCommands::make("@@Bj"));
    send(MotorolaCommands::make("@@Bo", { 0x01 }));
    if (twelveChannelCommands)
        send(MotorolaCommands::make("@@AQ"));
    if (closing())
        return false;

    // f. The user's settings, the model's channels and timing noise, the timing commands.
    if (option(m_hooks.garminSettingsEnabled))
        call(m_hooks.applyGarminSettings);
    // The model's channel count goes in before the settings, so that a PVT6 emulation chosen
    // there (six channels used) is not overwritten by the table.
    if (const auto t = modelTiming(model)) {
        setChannelCount(t->channels);
        setTimingTerms(10.0, t->term);
    }
    call(m_hooks.applyReceiverSettings);
    call(m_hooks.sendTimingCommands);
    if (closing())
        return false;

    if (startMode == ReceiverMode::MotorolaBinary) {
        // g. Stay in binary with the visible satellites every second.
        if (m_port.dataRate() != startRate)
            setRate(startRate);
        setMode(ReceiverMode::MotorolaBinary);
        send(MotorolaCommands::make("@@Bb", { 0x01 }));
        if (twelveChannelCommands)
            send(QByteArray("@@Gk******"));
    } else if (startMode == ReceiverMode::MotorolaNmea) {
        // h. Back to NMEA output.
        if (!m_state.nmeaCapable) {
            stayInBinaryMode();
        } else {
            if (MotorolaModels::isSsr(model) && configuredRate != m_port.dataRate())
                changeRateSsr(configuredRate);
            send(MotorolaCommands::make("@@Ci", { 0x01 }));
            pause(1500);
            setRate(m_port.dataRate());
            setMode(ReceiverMode::MotorolaNmea);
            settleInNmea();
        }
    } else {
        // i. Back to LORAN output.
        pause(1000);
        send(MotorolaCommands::make("@@Ci", { 0x02 }));
        if (m_port.dataRate() != startRate)
            setRate(startRate);
        setMode(ReceiverMode::MotorolaLoran);
        send("T1");
        setStatus(QStringLiteral("Ready - Loran Mode"));
        setDescription(QStringLiteral("Ready - Loran Mode"));
    }
    return !closing();
}

// --- rate changes --------------------------------------------------------------------------

void ReceiverDetection::changeRateSsr(int rate)
{
    const QByteArray command = makeRateCommand(rate);
    if (command.isEmpty())
        return;
    awaitMotorola(command);
    const int currentRate = m_port.dataRate();
    setRate(rate);
    pause(2500);
    if (requestIdentity(2)) {
        setPendingRates(currentRate, rate);
        return;
    }
    if (closing())
        return;
    setRate(currentRate);
    pause(300);
    if (requestIdentity(2)) {
        setStatus(QStringLiteral("Receiver did not accept the rate change - staying at the current rate"));
        return;
    }
    if (closing())
        return;
    // Heard at neither rate: assume it went, and remember how to bring it back.
    setPendingRates(currentRate, rate);
    setRate(rate);
}

bool ReceiverDetection::returnToPreviousRate()
{
    if (m_pendingNewRate == 0 || m_pendingOldRate == 0 || closing())
        return false;
    const QByteArray command = makeRateCommand(m_pendingOldRate);
    if (command.isEmpty())
        return false;
    setStatus(QStringLiteral("GPS receiver not found - returning it to the previous rate..."));
    const int previousMode = m_state.receiverMode;
    setMode(ReceiverMode::MotorolaBinary);
    bool ok = false;
    setRate(m_pendingNewRate);
    pause(300);
    if (awaitMotorola(command)) {
        pause(1500);
        setRate(m_pendingOldRate);
        pause(1200);
        ok = requestIdentity(2);
    }
    if (ok)
        setStatus(QStringLiteral("GPS receiver returned to its previous rate"));
    else
        setRate(m_pendingNewRate);
    setMode(previousMode);
    return ok;
}

void ReceiverDetection::changePortRate(int oldRate, int newRate)
{
    if (closing() || oldRate == newRate)
        return;
    const int mode = m_state.receiverMode;
    m_state.receiverBusy = true;
    if (mode == ReceiverMode::MotorolaBinary) {
        awaitMotorola(portRateCommand(newRate));
        pause(1500);
        setPendingRates(oldRate, newRate);
    } else if (mode == ReceiverMode::MotorolaNmea && MotorolaModels::isSsr(m_state.receiverModel)) {
        const QByteArray command = makeRateCommand(newRate);
        if (!command.isEmpty())
            send(command);   // its binary answer cannot be read in NMEA mode
        awaitNmeaTime();
    }
    setRate(newRate);
    if (mode != ReceiverMode::MotorolaBinary && mode != ReceiverMode::MotorolaNmea) {
        m_state.receiverBusy = false;
        connectReceiver();
        return;
    }

    // Is it there at the new rate?
    pause(1200);
    pause(300);
    bool answered = false;
    for (int i = 0; i < 2 && !answered && !closing(); ++i)
        answered = mode == ReceiverMode::MotorolaNmea ? awaitNmeaTime() : awaitMotorola("@@Cj", true);
    m_state.receiverBusy = false;
    if (closing())
        return;
    if (answered)
        setPendingRates(0, 0);
    else
        connectReceiver();
}

// --- NMEA helpers --------------------------------------------------------------------------

void ReceiverDetection::applyMotorolaNmeaSettings()
{
    if (m_state.receiverMode != ReceiverMode::MotorolaNmea || closing())
        return;
    const QString keptStatus = m_status;
    const bool busy = m_state.receiverBusy;
    m_state.receiverBusy = true;
    setStatus(QStringLiteral("Applying receiver settings..."));
    emit busyCursor(true);

    awaitAnswer("$PMOTG,FOR,0", AnswerFamily::MotorolaNmea, { "$PMOTG" }, m_timing.answerTimeoutMs);
    setMode(ReceiverMode::MotorolaBinary);
    call(m_hooks.applyReceiverSettings);
    setMode(ReceiverMode::MotorolaNmea);
    send(MotorolaCommands::make("@@Ci", { 0x01 }));
    pause(2500);
    settleInNmea();

    setStatus(keptStatus);
    emit busyCursor(false);
    m_state.receiverBusy = busy;
}

void ReceiverDetection::stayInBinaryMode()
{
    setMode(ReceiverMode::MotorolaBinary);
    emit rawDataText(QStringLiteral("Receiver does not support NMEA mode - staying in Motorola Bin"));
    setStatus(QStringLiteral("Receiver has no NMEA mode - Motorola Bin"));
    m_port.setMode(ReceiverMode::MotorolaBinary);
    emit informationBox(noNmeaTitle(), noNmeaText(m_state.firmwareVersionText));
    send("$PMOTG,FOR,0");
    pause(500);
    send(MotorolaCommands::make("@@Bb", { 0x01 }));
    const qint64 now = m_clock();
    m_state.lastBbTime = now;
    if (m_hooks.visibleSatellitesPolled)
        m_hooks.visibleSatellitesPolled(now);
}

// --- retries -------------------------------------------------------------------------------

void ReceiverDetection::clearDisplay()
{
    if (m_display) {
        m_display->setReceiverIdActionEnabled(true);
        m_display->clearReceiverIdText();
        m_display->setAntennaIndicator(-1);
        m_display->setNavigationIndicator(-1);
        m_display->setFixStatusText(QString());
        m_display->setDopStatusText(QString());
    }
    m_state.antennaState = -1;
    m_state.navigationState = -1;
}

QString ReceiverDetection::portOffText()
{
    return QStringLiteral("GPS Receiver Port OFF");
}

void ReceiverDetection::connectReceiver()
{
    if (closing())
        return;
    if (m_port.portOff()) {
        // Nothing to search or set up, and nothing to warn about: the user chose no port.
        clearDisplay();
        setStatus(portOffText());
        emit portSettingsActionEnabled(true);
        return;
    }
    emit portSettingsActionEnabled(false);
    bool ok = initialiseReceiver();
    for (int attempt = 2; attempt <= 3 && !ok && !closing(); ++attempt) {
        setStatus(retryText(attempt));
        ok = initialiseReceiver();
    }
    if (closing())
        return;   // shutdown: no more attempts, no box
    if (!ok && m_pendingNewRate != 0 && m_pendingOldRate != 0 && returnToPreviousRate())
        ok = initialiseReceiver();
    if (closing())
        return;
    setPendingRates(0, 0);
    // The action comes back either way; only a failure tells the user where to look.
    emit portSettingsActionEnabled(true);
    if (!ok)
        emit warningBox(notFoundTitle(), notFoundText());
}
