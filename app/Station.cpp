#include "app/Station.h"

#include "transport/GpsPortSettings.h"
#include "receiver/link/GpsSerialPortThread.h"
#include "receiver/MessageDecoders.h"
#include "receiver/motorola/MotorolaCommands.h"
#include "receiver/link/ReceiverCommandChannel.h"
#include "receiver/setup/ReceiverDetection.h"
#include "receiver/setup/ReceiverDetectionPort.h"
#include "core/ReceiverMode.h"
#include "transport/ReplayTransport.h"
#include "sim/SimulatedReceiverTransport.h"

#include <QDateTime>
#include <QSettings>

namespace {

const QByteArray kPpsMarker = QByteArrayLiteral("-- PPS --");

// Receiver models that answer "@@Gj" rather than "@@Bj" (12-channel M12 family, TX Oncore,
// SIGNAV and the SSR models).
bool usesGjPoll(int model)
{
    switch (model) {
    case ReceiverModelCode::M12:
    case ReceiverModelCode::M12Plus:
    case ReceiverModelCode::M12M:
    case ReceiverModelCode::Signav:
    case ReceiverModelCode::TxOncore:
    case ReceiverModelCode::Ssr6Tf:
    case ReceiverModelCode::Ssr6Tr:
    case ReceiverModelCode::SsrM8F:
    case ReceiverModelCode::SsrM8T:
        return true;
    default:
        return false;
    }
}

bool isAsciiLetterOrDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

} // namespace

Station::Station(QObject *parent)
    : QObject(parent)
    , m_link(std::make_unique<GpsSerialPortThread>(&m_state))
    , m_channel(std::make_unique<ReceiverCommandChannel>(m_state))
    , m_clock([] { return QDateTime::currentMSecsSinceEpoch(); })
{
    m_commands = m_channel.get();
    connect(m_link.get(), &GpsSerialPortThread::newGpsText, this, &Station::OnNewGpsText);
    connect(m_link.get(), &GpsSerialPortThread::PpsTick, this, &Station::OnClockTick);
    connect(m_channel.get(), &ReceiverCommandChannel::sendGpsMessage, m_link.get(),
            &GpsSerialPortThread::OnSendGpsMessage);
    connect(m_channel.get(), &ReceiverCommandChannel::echo, this,
            &Station::appendPlainText_to_RawDataDialog_and_Log);
    SimulatedReceiverTransport::registerIn(m_link->transportFactory());

    // Detection re-opens the port after each rate change; a replayed capture keeps playing.
    m_port = std::make_unique<StoredReceiverPort>([this] {
        if (m_launch.replayFile.isEmpty())
            m_link->startGpsSerialPort(false);
    });
    m_detection = std::make_unique<ReceiverDetection>(m_state, *m_channel, *m_port);
    m_detection->hooks().visibleSatellitesPolled = [this](qint64 ms) { m_lastBbPoll = ms; };
    m_detection->hooks().sendTimingCommands = [this] {
        QSettings settings;
        if (m_commands)
            MotorolaCommands::sendTimingCommands(m_state, *m_commands,
                                                 MotorolaCommands::TimingSettings::fromSettings(settings));
    };
    m_detection->hooks().applyReceiverSettings = [this] { sendReceiverSettings(); };
    m_detection->hooks().applyGarminSettings = [this] { sendGarminSettings(); };
    m_detection->hooks().pvt6Mode = [] {
        QSettings settings;
        return ReceiverSettings::load(settings).emulatePvt6;
    };
    m_detection->hooks().localTimeMode = [] {
        QSettings settings;
        return ReceiverSettings::load(settings).localTime;
    };
    connect(m_detection.get(), &ReceiverDetection::rawDataText, this,
            &Station::appendPlainText_to_RawDataDialog_and_Log);
}

Station::~Station()
{
    m_state.closing = true;
    m_link->stopGpsSerialPort();
}

void Station::setClock(Clock clock)
{
    m_clock = clock ? std::move(clock) : Clock([] { return QDateTime::currentMSecsSinceEpoch(); });
}

void Station::setCommandSink(ReceiverCommandSink *sink)
{
    m_commands = sink ? sink : m_channel.get();
}

DecoderContext Station::decoderContext(StationDisplay *display)
{
    DecoderContext ctx;
    ctx.state = &m_state;
    ctx.averaging = m_averaging;
    ctx.display = display;
    ctx.commands = m_commands;
    return ctx;
}

void Station::setGpsLog(GpsLogHooks *log)
{
    m_gpsLog = log ? log : &m_closedGpsLog;
}

void Station::setClockPanel(ClockPanelHooks *panel)
{
    m_clockPanel = panel ? panel : &m_copyOnlyPanel;
}

void Station::setCounterLogs(CounterLogHooks *logs)
{
    m_counterLogs = logs ? logs : &m_closedCounterLogs;
}

int Station::modeFromOption(const QString &option)
{
    const QString t = option.trimmed();
    bool isNumber = false;
    const int n = t.toInt(&isNumber);
    if (isNumber)
        return ReceiverMode::text(n).isEmpty() ? -1 : n;
    for (int mode : { 0, 1, 2, 3, 6, 9, 10, 11 }) {
        if (t.compare(ReceiverMode::text(mode), Qt::CaseInsensitive) == 0)
            return mode;
    }
    return -1;
}

Station::PortChange Station::classifyPortChange(const GpsPortSettings &before, const GpsPortSettings &after)
{
    if (after == before)
        return PortChange::None;
    GpsPortSettings rateOnly = before;
    rateOnly.dataRate = after.dataRate;
    return after == rateOnly ? PortChange::RateOnly : PortChange::Reconnect;
}

void Station::setLaunchOptions(const StationLaunchOptions &options)
{
    m_launch = options;
    m_port->setListenOnly(!options.replayFile.isEmpty());
    m_replayStarted = false;
    SimulatedReceiverTransport::registerIn(m_link->transportFactory(), options.simModel);
}

void Station::startGpsSerialPort(bool bLoadFirmwareMode)
{
    if (m_launch.replayFile.isEmpty() || m_replayStarted) {
        m_link->startGpsSerialPort(bLoadFirmwareMode);
        return;
    }
    m_replayStarted = true;
    QSettings settings;
    GpsPortSettings port = GpsPortSettings::load(settings);
    const int forced = m_launch.mode.isEmpty() ? -1 : modeFromOption(m_launch.mode);
    if (forced >= 0)
        port.modeText = ReceiverMode::text(forced);
    m_link->useTransport(std::make_unique<ReplayTransport>(m_launch.replayFile), port);
}

void Station::readPortSettings(QSettings &settings)
{
    const GpsPortSettings port = GpsPortSettings::load(settings);
    // The stored mode decides which family is framed and decoded from the start; receiver
    // detection then confirms or changes it.
    m_state.receiverMode = port.receiverMode();
    const int forced = m_launch.mode.isEmpty() ? -1 : modeFromOption(m_launch.mode);
    if (forced >= 0)
        m_state.receiverMode = forced;
    m_state.ppsInterface = port.ppsInterface;
    m_link->setPpsInterface(port.ppsInterface);
    emit portSettingsRead();
}

void Station::setSoundFlags(bool soundTicks, bool soundOutOfLock)
{
    m_soundTicks = soundTicks;
    m_soundOutOfLock = soundOutOfLock;
}

bool Station::counterSettle(int channel) const
{
    return channel >= 0 && channel < CounterChannels && m_counterSettle[channel];
}

int Station::counterSettleTicks(int channel) const
{
    return (channel >= 0 && channel < CounterChannels) ? m_counterSettleTicks[channel] : 0;
}

void Station::resetCounterSettle(int channel)
{
    if (channel < 0 || channel >= CounterChannels)
        return;
    m_counterSettle[channel] = false;
    m_counterSettleTicks[channel] = 0;
}

void Station::sendGpsRxCommand(const QByteArray &command)
{
    if (m_commands)
        m_commands->sendGpsRxCommand(command);
}

// --- receiver settings -----------------------------------------------------------------------

ReceiverReferencePosition Station::referencePosition() const
{
    return m_referencePosition ? m_referencePosition() : ReceiverReferencePosition {};
}

void Station::applyReceiverSettings()
{
    if (m_state.closing)
        return;
    if (m_state.receiverMode == ReceiverMode::MotorolaNmea)
        m_detection->applyMotorolaNmeaSettings();   // runs sendReceiverSettings() in binary mode
    else
        sendReceiverSettings();
}

void Station::sendReceiverSettings()
{
    QSettings store;
    const ReceiverSettings settings = ReceiverSettings::load(store);
    m_state.weekRollover = settings.rollover();
    if (m_commands) {
        ReceiverSettingsWait wait;
        wait.timeoutMs = m_detection->timing().answerTimeoutMs;
        wait.refused = [this](const QString &text) { appendPlainText_to_RawDataDialog_and_Log(text); };
        ::applyReceiverSettings(m_state, settings, referencePosition(), *m_commands, wait);
    }
    emit receiverSettingsApplied(settings.effectiveGpsMode(), settings.localTime);
}

void Station::sendGarminSettings()
{
    QSettings store;
    const ReceiverSettings settings = ReceiverSettings::load(store);
    for (const QByteArray &sentence : ReceiverSettingsCommands::garmin(settings, referencePosition()))
        sendGpsRxCommand(sentence);
}

// --- raw-data routing ------------------------------------------------------------------------

void Station::appendPlainText_to_RawDataDialog_and_Log(const QString &text)
{
    emit rawDataText(text);
    m_gpsLog->writeRawText(text);
}

void Station::appendPlainText_to_RawDataDialog(const QString &text)
{
    emit rawDataText(text);
}

QString Station::shownBytes(const QByteArray &message)
{
    QString out;
    out.reserve(message.size());
    for (char ch : message) {
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 0x20 && c < 0x7F)
            out += QLatin1Char(ch);
        else
            out += QStringLiteral("<%1>").arg(c, 2, 16, QLatin1Char('0')).toUpper();
    }
    return out;
}

// --- dispatch --------------------------------------------------------------------------------

void Station::OnNewGpsText(const QByteArray &message)
{
    if (message == kPpsMarker) {
        appendPlainText_to_RawDataDialog_and_Log(QString::fromLatin1(message));
        return;
    }
    if (m_state.closing || m_state.receiverBusy)
        return;

    switch (m_state.receiverMode) {
    case 2:
    case 3:
        dispatchMotorola(message);
        break;
    case 1:
    case 4:
    case 6:
        dispatchNmea(message);
        break;
    case 9:
    case 10:
        dispatchUblox(message);
        break;
    case 0:
        dispatchLoran(message);
        break;
    default:   // 5, 7, 8, 11: nothing is decoded
        break;
    }
}

void Station::dispatchMotorola(const QByteArray &message)
{
    if (!m_motorola) {
        appendPlainText_to_RawDataDialog_and_Log(QStringLiteral("?  ") + shownBytes(message));
        return;
    }
    const QString text = m_motorola->decodeMotorolaFrame(message);
    appendPlainText_to_RawDataDialog_and_Log(QStringLiteral("-> ") + text);
}

void Station::dispatchNmea(const QByteArray &message)
{
    if (message.startsWith('$') && m_nmea && m_nmea->decodeNmeaSentence(message)) {
        appendPlainText_to_RawDataDialog_and_Log(QStringLiteral("-> ") + QString::fromLatin1(message));
        // Some sentences (the Garmin status echoes) also have a decoded text.
        const QString decoded = m_nmea->displayText();
        if (!decoded.isEmpty())
            appendPlainText_to_RawDataDialog_and_Log(decoded);
    } else {
        appendPlainText_to_RawDataDialog_and_Log(QStringLiteral("?  ") + shownBytes(message));
    }
}

void Station::dispatchUblox(const QByteArray &message)
{
    // Nothing goes to the GPS log from here in the u-blox modes: the UBX decoder writes the
    // binary records itself.
    if (message.startsWith('$') && m_nmea && m_nmea->decodeNmeaSentence(message)) {
        appendPlainText_to_RawDataDialog(QStringLiteral("->  ") + QString::fromLatin1(message));
        const QString decoded = m_nmea->displayText();
        if (!decoded.isEmpty())
            appendPlainText_to_RawDataDialog(decoded);
        return;
    }
    const QString text = m_ubx ? m_ubx->decodeUbxFrame(message) : QString();
    if (!text.isEmpty())
        appendPlainText_to_RawDataDialog(QStringLiteral("->  ") + text);
    else
        appendPlainText_to_RawDataDialog(QStringLiteral("?  ") + shownBytes(message));
}

void Station::dispatchLoran(const QByteArray &message)
{
    const bool plain = !message.isEmpty() && std::all_of(message.begin(), message.end(), isAsciiLetterOrDigit);
    if (!plain) {
        appendPlainText_to_RawDataDialog(QStringLiteral("?  ") + shownBytes(message));
        return;
    }
    m_state.loranSeen = true;
    m_state.noteAnswer(AnswerFamily::Loran, message);
    appendPlainText_to_RawDataDialog(QStringLiteral("->  ") + QString::fromLatin1(message));
}

// --- the one-second cycle --------------------------------------------------------------------

void Station::updateClockPanel()
{
    if (m_state.closing)
        return;
    m_clockPanel->updateClockPanel(m_state);
    emit clockPanelUpdated();
}

void Station::OnClockTick()
{
    ReceiverState &s = m_state;
    if (s.receiverBusy || s.closing)
        return;

    // Counter channels settle at their third tick.
    for (int ch = 0; ch < CounterChannels; ++ch) {
        if (m_counterSettle[ch])
            continue;
        if (m_counterSettleTicks[ch]++ > 1)
            m_counterSettle[ch] = true;
    }

    // Position-message precedence countdowns.
    for (int32_t *countdown : { &s.haCountdown, &s.eaCountdown, &s.baCountdown }) {
        if (*countdown > 0)
            --*countdown;
    }

    // A 12-channel receiver that stopped sending "@@Bb" is asked again, at most every 120 s.
    const qint64 t = now();
    if (s.receiverMode == ReceiverMode::MotorolaBinary && s.haCountdown > 0 && s.lastBbTime > 0
        && t - s.lastBbTime >= BbRepollIntervalMs && t - m_lastBbPoll >= BbRepollIntervalMs) {
        m_lastBbPoll = t;
        sendGpsRxCommand(QByteArrayLiteral("@@Bb\x01"));
    }

    // No time message since the previous tick.
    if (s.timeMessageMissing) {
        s.gpsLogWriteNow = m_gpsLog->intervalSeconds() == 1;
        emit heartbeat();
        if (m_soundTicks)
            emit playSound(TickSound::Minute);
        m_clockPanel->clearCachedDayText();
    }

    s.timeMessageMissing = true;
    s.nmeaFirstOfSecond = true;
    s.nmeaTimePending = true;
    s.nmeaTimeSeen = false;

    if (m_pcClock) {
        m_pcClock->clockStep(s, true);
    } else {
        s.gpsLogWriteNow = gpsLogWriteNowFor(m_gpsLog->isOpen(), m_gpsLog->intervalSeconds(),
                                             s.receiverUtcDateTime.second(), m_gpsLog->useGpsSeconds(),
                                             s.leapSeconds);
    }

    // New minute, hour or day against the receiver time of the previous tick. The very first
    // tick only takes the snapshot: the start-up value is the PC's time, not the receiver's.
    const ReceiverTime &rt = s.receiverUtcDateTime;
    m_changes = {};
    if (m_previousTickValid) {
        m_changes.day = rt.dateTime().date() != m_previousTickTime.dateTime().date();
        m_changes.hour = m_changes.day || rt.hour() != m_previousTickTime.hour();
        m_changes.minute = m_changes.hour || rt.minute() != m_previousTickTime.minute();
    }
    m_previousTickTime = rt;
    m_previousTickValid = true;

    updateClockPanel();

    const int second = rt.second();
    if (s.receiverMode == ReceiverMode::UbloxUbx && second == 11) {
        sendGpsRxCommand(QByteArray("\xB5\x62\x0B\x02\x00\x00", 6));
    } else if (s.receiverMode == ReceiverMode::MotorolaBinary) {
        if (second == 20)
            sendGpsRxCommand(usesGjPoll(s.receiverModel) ? QByteArrayLiteral("@@Gj") : QByteArrayLiteral("@@Bj"));
        else if (second == 21)
            sendGpsRxCommand(QByteArrayLiteral("@@Bo"));
    }

    emit heartbeat();

    if (second == 0) {
        minuteHousekeeping();
    } else if (m_soundTicks || m_soundOutOfLock) {
        if (s.outOfLock) {
            if (m_soundOutOfLock)
                emit playSound(TickSound::Warn);
        } else if (m_soundTicks) {
            emit playSound(TickSound::Second);
        }
    }

    if (m_changes.day)
        dayChange();
}

void Station::minuteHousekeeping()
{
    if (m_soundTicks)
        emit playSound(TickSound::Minute);
    if (m_gpsLog->isOpen())
        m_gpsLog->flush();
    if (m_counterLogs->isOpen() && !m_counterLogs->flushAll()) {
        m_counterLogs->closeQuiet();
        QSettings().setValue(QStringLiteral("LogFiles/Tic Log Open"), false);
        emit counterLogsClosedOnError();
    }
}

void Station::dayChange()
{
    QSettings settings;
    if (m_counterLogs->isOpen()) {
        m_counterLogs->closeQuiet();
        if (settings.value(QStringLiteral("LogFiles/TicTimeLogAutorestart"), 0).toInt() == 1) {
            m_counterLogs->reopenForToday();
            // The new day's configuration log records the receiver identity.
            sendGpsRxCommand(QByteArrayLiteral("@@Cj"));
        }
    }
    if (m_gpsLog->closeQuiet() && settings.value(QStringLiteral("LogFiles/GpsLogAutorestart"), 1).toInt() == 1)
        m_gpsLog->openNew();
    emit utcDayChanged();
}
