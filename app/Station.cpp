#include "app/Station.h"
#include "app/StationLogs.h"
#include "app/StationRemote.h"

#include "transport/GpsPortSettings.h"
#include "receiver/link/GpsSerialPortThread.h"
#include "receiver/link/LinkRecovery.h"
#include "receiver/ProtocolDriver.h"
#include "receiver/motorola/MotorolaCommands.h"
#include "receiver/link/ReceiverCommandChannel.h"
#include "receiver/setup/ReceiverDetection.h"
#include "receiver/setup/ReceiverDetectionPort.h"
#include "receiver/setup/ReceiverType.h"
#include "receiver/ubx/UbxConfiguration.h"
#include "core/ReceiverMode.h"
#include "transport/ReplayTransport.h"
#include "sim/SimulatedReceiverTransport.h"
#include "sim/SimulatedCounter.h"
#include "tic/CounterLinks.h"
#include "tic/CounterProcessing.h"
#include "tic/TicSerialPortThread.h"

#include <QDateTime>
#include <QSettings>

namespace {

const QByteArray kPpsMarker = QByteArrayLiteral("-- PPS --");

} // namespace

Station::Station(QObject *parent)
    : QObject(parent)
    , m_link(std::make_unique<GpsSerialPortThread>(&m_state))
    , m_counters(std::make_unique<CounterLinks>())
    , m_processing(std::make_unique<CounterProcessing>())
    , m_channel(std::make_unique<ReceiverCommandChannel>(m_state))
    , m_clock([] { return QDateTime::currentMSecsSinceEpoch(); })
{
    m_commands = m_channel.get();
    m_engine.setReceiverState(&m_state);
    {
        // The stored receiver settings decide the averaging's GPS mode and whether the
        // receiver reports local time, from the start.
        QSettings settings;
        m_engine.startUp(settings);
        m_savedResets = m_engine.resetCount();
        const ReceiverSettings stored = ReceiverSettings::load(settings);
        m_engine.setGpsMode(stored.effectiveGpsMode());
        m_options.receiverInLocalTime = stored.localTime;
    }
    makeDrivers();
    connect(&m_engine, &AveragingEngine::referenceLocationChanged, this, &Station::followReference);
    connect(&m_engine, &AveragingEngine::averagesChanged, this, [this] {
        if (!m_engine.referenceSetByUser())
            updateSiderealPosition();
    });
    updateSiderealPosition();
    connect(m_link.get(), &GpsSerialPortThread::newGpsText, this, &Station::OnNewGpsText);
    connect(m_link.get(), &GpsSerialPortThread::PpsTick, this, &Station::OnClockTick);
    connect(m_channel.get(), &ReceiverCommandChannel::sendGpsMessage, m_link.get(),
            &GpsSerialPortThread::OnSendGpsMessage);
    connect(m_channel.get(), &ReceiverCommandChannel::echo, this,
            &Station::appendPlainText_to_RawDataDialog_and_Log);
    SimulatedReceiverTransport::registerIn(m_link->transportFactory());
    for (int n = 1; n <= CounterLinks::Count; ++n)
        SimulatedCounterTransport::registerIn(m_counters->link(n).transportFactory(), n);
    m_processing->setReceiverState(&m_state);
    m_logs = std::make_unique<StationLogs>(&m_state, [this] { return now(); });
    m_logs->recorder.attach(*m_processing);
    {
        QSettings settings;
        m_logs->recorder.reload(settings);
    }
    setGpsLog(&m_logs->gps);
    setCounterLogs(&m_logs->counters);
    m_remote = std::make_unique<StationRemote>(StationRemoteActions::Parts {
        m_engine, m_state, m_logs->recorder, *m_processing, [this] {
            QSettings settings;
            readCounterSettings(settings);
        } });
    connect(m_counters.get(), &CounterLinks::newTicText, this, &Station::OnNewTicText);

    // Detection re-opens the port after each rate change; a replayed capture keeps playing.
    m_port = std::make_unique<StoredReceiverPort>([this] {
        if (m_launch.replayFile.isEmpty())
            m_link->startGpsSerialPort(false);
    });
    m_detection = std::make_unique<ReceiverDetection>(m_state, *m_channel, *m_port);
    m_detection->hooks().visibleSatellitesPolled = [this](qint64 ms) { m_state.lastBbPollMs = ms; };
    m_detection->hooks().setTimingErrorTerms = [this](double a, double b) { m_engine.setTimingErrorTerms(a, b); };
    m_detection->hooks().reloadAveragingSettings = [this] {
        QSettings settings;
        m_engine.reloadSettings(settings);
    };
    m_detection->hooks().sendTimingCommands = [this] {
        QSettings settings;
        if (m_commands)
            MotorolaCommands::sendTimingCommands(m_state, *m_commands,
                                                 MotorolaCommands::TimingSettings::fromSettings(settings));
    };
    m_detection->hooks().applyReceiverSettings = [this] { sendReceiverSettings(); };
    m_detection->hooks().applyGarminSettings = [this] { sendGarminSettings(); };
    m_detection->hooks().garminSettingsEnabled = [] {
        QSettings settings;
        return ReceiverSettings::load(settings).garmin;
    };
    m_detection->hooks().receiveOnlyIdentity = [](ReceiverState &state) {
        // Only a type the user chose: without one, the receiver is described from what it sends
        // (its channel count from the position messages), never as a made-up default model.
        QSettings settings;
        if (settings.contains(ReceiverType::keyChoice()))
            ReceiverType::load(settings).applyTo(state);
    };
    m_detection->hooks().pvt6Mode = [this] {
        QSettings settings;
        return ReceiverSettings::load(settings).emulatePvt6 && ReceiverSettingsCommands::pvt6Offered(m_state);
    };
    m_detection->hooks().localTimeMode = [] {
        QSettings settings;
        return ReceiverSettings::load(settings).localTime;
    };
    connect(m_detection.get(), &ReceiverDetection::rawDataText, this,
            &Station::appendPlainText_to_RawDataDialog_and_Log);
    // Receiver set-up events go to the counters' configuration log with the time they happened.
    connect(m_detection.get(), &ReceiverDetection::receiverDescription, this, [this](const QString &text) {
        m_counterLogs->writeConfigLog(QStringLiteral("Receiver set up: ") + text, now());
    });
    connect(this, &Station::receiverSettingsApplied, this, [this](int gpsMode, bool localTime) {
        static const char *const modes[] = { "3-D", "2-D", "0-D (position hold)" };
        m_counterLogs->writeConfigLog(QStringLiteral("Receiver settings sent: %1 navigation, %2 time")
                                          .arg(QLatin1String(gpsMode >= 0 && gpsMode <= 2 ? modes[gpsMode] : "unknown"),
                                               localTime ? QStringLiteral("local") : QStringLiteral("UTC")),
                                      now());
    });

    // Port errors: one notice per loss, the stored port reopened with back-off.
    m_recovery = std::make_unique<LinkRecovery>(*m_link);
    m_recovery->setReopen([this] { m_link->startGpsSerialPort(false); });
    m_recovery->setAutoRestart([] {
        QSettings settings;
        return GpsPortSettings::load(settings).autoRestart;
    });
    connect(m_link.get(), &GpsSerialPortThread::showErrorMessageBox, m_recovery.get(), &LinkRecovery::linkError);
    connect(m_recovery.get(), &LinkRecovery::notice, this, [this](const QString &text) {
        appendPlainText_to_RawDataDialog_and_Log(QString(text).replace(QLatin1String("\r\n\r\n"), QLatin1String(" ")));
        emit linkNotice(text);
    });
    connect(m_recovery.get(), &LinkRecovery::restored, this, &Station::receiverLinkRestored);
    connect(m_recovery.get(), &LinkRecovery::staleChanged, this, [this](bool stale, qint64 lastDataMs) {
        emit receiverDataStaleChanged(stale, lastDataMs);
        updateClockPanel();
    });
}

bool Station::simulatedReceiver() const
{
    return m_link->portName() == GpsPortSettings::simulatorPortName();
}

QString Station::labelledForSimulator(const QString &text, bool simulated)
{
    static const QString mark = QStringLiteral(" (simulated receiver)");
    if (!simulated || text.endsWith(mark))
        return text;
    return text + mark;
}

void Station::OnNewTicText(const QByteArray &text)
{
    if (m_state.closing)
        return;
    m_processing->setReceiverMode(m_state.receiverMode);
    // A reading arrives in the second of the pulse it measured.
    m_processing->processTicLine(text, QDateTime::fromMSecsSinceEpoch(now(), Qt::UTC).toSecsSinceEpoch());
}

void Station::readCounterSettings(QSettings &settings)
{
    m_processing->setDelays(TimingDelays::load(settings));
    // The counter log options (read only here; the log set owns them).
    bool ok = false;
    const int period = settings.value(QStringLiteral("LogFiles/AveragingLogPeriod"), QStringLiteral("300"))
                           .toString()
                           .toInt(&ok);
    m_processing->setAveragingPeriod(ok ? period : 300);
    m_processing->setTimeTagFormat(settings.value(QStringLiteral("LogFiles/TicTimeTagFormat"), 0).toInt());
    static const int every[] = { 1, 2, 3, 4, 5, 6, 10, 12, 15, 20, 30, 60, 3600 };
    const int index = settings.value(QStringLiteral("LogFiles/TicTimeLogEvery"), 0).toInt();
    const bool enabled = settings.value(QStringLiteral("LogFiles/TimeIntervalLogButtonGroup"), 0).toInt() == 0;
    m_processing->setTimeLogInterval(enabled && index >= 0 && index < int(std::size(every)) ? every[index] : 0);
    for (int n = 1; n <= CounterLinks::Count; ++n)
        m_processing->setBareUnit(n, CounterProcessing::BareUnit(TicPortSettings::load(settings, n).bareUnit));
}

Station::~Station()
{
    saveAverages();
    m_state.closing = true;
    m_logs->recorder.shutdown();
    m_link->stopGpsSerialPort();
    m_counters->stopAll();
}

void Station::setClock(Clock clock)
{
    m_clock = clock ? std::move(clock) : Clock([] { return QDateTime::currentMSecsSinceEpoch(); });
    m_recovery->setClock(m_clock);
}

void Station::setCommandSink(ReceiverCommandSink *sink)
{
    m_commands = sink ? sink : m_channel.get();
}

DecoderContext Station::decoderContext()
{
    DecoderContext ctx;
    ctx.state = &m_state;
    ctx.averaging = &m_engine;
    ctx.display = m_display;
    ctx.commands = &m_currentSink;
    ctx.options = m_options;
    ctx.gpsLog = &m_currentGpsLog;
    return ctx;
}

void Station::makeDrivers()
{
    const DecoderContext context = decoderContext();
    for (auto &d : m_drivers)
        d.reset();
    for (const ProtocolRow &row : protocolTable()) {
        auto &slot = m_drivers[size_t(row.family)];
        if (!slot)
            slot = row.makeDriver(context);
    }
}

void Station::setDriver(ProtocolFamily family, std::unique_ptr<ProtocolDriver> driver)
{
    m_drivers[size_t(family)] = std::move(driver);
}

ProtocolDriver *Station::driver(ProtocolFamily family) const
{
    return m_drivers[size_t(family)].get();
}

void Station::setDisplay(StationDisplay *display)
{
    m_display = display;
    m_detection->setDisplay(display);
    makeDrivers();
}

void Station::setDecoderOptions(const DecoderOptions &options)
{
    m_options = options;
    for (auto &d : m_drivers) {
        if (d)
            d->setOptions(options);
    }
}

LogRecorder &Station::logs()
{
    return m_logs->recorder;
}

RemoteControl &Station::remote()
{
    return m_remote->control;
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
    SimulatedReceiverTransport::registerIn(m_link->transportFactory(), options.simModel, options.speed);
}

void Station::startGpsSerialPort(bool bLoadFirmwareMode)
{
    m_recovery->restart();
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
    const SimulationClock clock = m_launch.speed > 1.0
        ? SimulationClock::startingAt(QDateTime::currentDateTimeUtc(), m_launch.speed)
        : SimulationClock();
    m_link->useTransport(std::make_unique<ReplayTransport>(m_launch.replayFile, clock), port);
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
    m_clockDisplay.setPpsConfigured(port.ppsInterface != 0);
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
    if (m_referencePosition)
        return m_referencePosition();
    const StationPosition ref = m_engine.referencePosition();
    ReceiverReferencePosition p;
    p.valid = !m_engine.referencePending() && (ref.lat != 0.0 || ref.lon != 0.0);
    p.latDeg = ref.lat;
    p.lonDeg = ref.lon;
    p.heightEllipsoidM = ref.altGps;
    p.heightMslM = ref.altMsl;
    return p;
}

void Station::updateSiderealPosition()
{
    const StationPosition p = m_engine.referenceSetByUser() || m_engine.seedPending()
        ? m_engine.referencePosition()
        : m_engine.averagedPosition();
    m_state.receiverUtcDateTime.setStation(p.lat, p.lon);
    m_state.displayedUtcDateTime.setStation(p.lat, p.lon);
}

void Station::followReference()
{
    updateSiderealPosition();
    if (m_state.closing || m_state.receiverBusy || m_engine.gpsMode() != ReceiverSettings::Nav0D)
        return;
    const ProtocolRow *row = protocolRow(m_state.receiverMode);
    if (!row || row->receiveOnly)
        return;
    if (row->family == ProtocolFamily::Motorola || row->family == ProtocolFamily::Ublox
        || m_state.receiverMode == ReceiverMode::MotorolaNmea) {
        applyReceiverSettings();
    } else if (m_state.receiverMode == ReceiverMode::GenericNmea) {
        QSettings store;
        if (ReceiverSettings::load(store).garmin)
            sendGarminSettings();
    }
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
    // The GPS mode reaches the averaging and the local-time option the drivers.
    m_engine.setGpsMode(settings.effectiveGpsMode());
    DecoderOptions options = m_options;
    options.receiverInLocalTime = settings.localTime;
    setDecoderOptions(options);
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

// --- dispatch --------------------------------------------------------------------------------

void Station::OnNewGpsText(const QByteArray &message)
{
    if (message == kPpsMarker) {
        appendPlainText_to_RawDataDialog_and_Log(QString::fromLatin1(message));
        return;
    }
    m_recovery->dataArrived();
    if (m_state.closing || m_state.receiverBusy)
        return;
    noticeModeChange();

    ProtocolDriver *d = currentDriver();
    if (!d)
        return;   // the search and unknown modes decode nothing
    // The Raw and PVT logs record the decoded texts, so they are built while such a log is open.
    const int logType = m_gpsLog->logType();
    const bool logWantsTexts = m_gpsLog->isOpen() && (logType == 0 || logType == 2);
    if (logWantsTexts && !m_options.alwaysBuildTexts) {
        DecoderOptions options = m_options;
        options.alwaysBuildTexts = true;
        setDecoderOptions(options);
    }
    const bool motorola = message.startsWith("@@");
    // The receiver identity (asked for again at each day's restart) goes to the counters'
    // configuration log.
    if (message.startsWith("@@Cj") && message.size() >= 120)
        m_counterLogs->writeConfigLog(QString::fromLatin1(message.mid(4)), now());
    const DecodeResult result = d->decode(message);
    // A time message that starts a new UTC day restarts the logs before anything of that
    // second is written, so the records of 00:00:00 open the new day's files.
    if (result.changes & DecodeChange::Time)
        noticeNewDay();
    // Written once the day is known: a message that carries 00:00:00 opens the new day's log.
    if (motorola)
        m_gpsLog->writeBinaryRecord(message);
    else if (Ubx::isCompleteFrame(message))
        m_gpsLog->writeBinaryRecord(message.first(message.size() - 2));   // without its check bytes
    if (m_state.receiverMode == ReceiverMode::MotorolaBinaryRxOnly && m_state.channelCount != m_describedChannels) {
        m_describedChannels = m_state.channelCount;
        m_detection->describeListenedReceiver();
    }
    if (result.changes & DecodeChange::Time) {
        m_timeSinceEdge = true;
        QString note;
        if (m_clockDisplay.timeMessage(now(), m_state.receiverUtcDateTime.dateTime(), &note))
            updateClockPanel();
        if (!note.isEmpty())
            appendPlainText_to_RawDataDialog(note);
    }
    // The Raw log records the receiver's traffic in every receiver mode.
    for (const QString &line : result.lines)
        appendPlainText_to_RawDataDialog_and_Log(line);
    if (motorola && !result.lines.isEmpty()
        && (message.startsWith("@@Ba") || message.startsWith("@@Ea") || message.startsWith("@@Ha"))) {
        // "-> @@Ha, <row>": the PVT row is the text after the message name.
        const QString &line = result.lines.first();
        const qsizetype at = line.indexOf(QStringLiteral("@@"));
        if (at >= 0 && line.size() > at + 6 && line.mid(at + 4, 2) == QStringLiteral(", "))
            m_gpsLog->writePvtRecord(line.mid(at + 6));
    }
    // The PC clock step runs again after every time message.
    if ((result.changes & DecodeChange::Time) && m_pcClock && !m_state.closing)
        m_pcClock->clockStep(m_state, false);
    // A sawtooth value (Motorola T-RAIM messages, u-blox TIM-TP) belongs to the pulse the
    // receiver's time messages of this second announce.
    const bool carriesSawtooth = message.startsWith("@@Hn") || message.startsWith("@@En")
        || message.startsWith("@@Bn") || message.startsWith(QByteArrayLiteral("\xB5\x62\x0D\x01"));
    if (carriesSawtooth && m_state.ppsQuantizationErrorValid && m_state.receiverUtcDateTime.dateTime().isValid())
        m_processing->receiverSawtooth(m_state.receiverUtcDateTime.dateTime().toSecsSinceEpoch(),
                                       m_state.ppsQuantizationError);
}

// A count one protocol reported means nothing in the next: the "Used" label of the NMEA
// output is cleared when the receiver mode changes.
void Station::noticeModeChange()
{
    if (m_state.receiverMode == m_lastDispatchMode)
        return;
    const bool first = m_lastDispatchMode < 0;
    m_lastDispatchMode = m_state.receiverMode;
    if (first)
        return;
    m_state.usedCount.set(0);
    if (m_display)
        m_display->setUsedText(QString());
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
    if (s.closing)
        return;
    // The clock counts on while the receiver is set up and sends no time.
    m_clockDisplay.edge(now(), s.receiverUtcDateTime.dateTime(), m_timeSinceEdge);
    m_timeSinceEdge = false;
    if (s.receiverBusy) {
        updateClockPanel();
        return;
    }

    // Counter readings still waiting for the sawtooth of their pulse are let go in time.
    m_processing->tick(QDateTime::fromMSecsSinceEpoch(now(), Qt::UTC).toSecsSinceEpoch());

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
    if (m_previousTickValid && !m_logDay.isValid())
        m_logDay = m_previousTickTime.dateTime().date();
    if (m_previousTickValid) {
        m_changes.day = rt.dateTime().date() != m_previousTickTime.dateTime().date();
        m_changes.hour = m_changes.day || rt.hour() != m_previousTickTime.hour();
        m_changes.minute = m_changes.hour || rt.minute() != m_previousTickTime.minute();
    }
    m_previousTickTime = rt;
    m_previousTickValid = true;

    updateClockPanel();

    // The family's timed polls (and the "@@Bb" re-poll of a 12-channel receiver).
    const int second = rt.second();
    if (ProtocolDriver *d = currentDriver())
        d->tick(second, now());

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

    // Satellites entering and leaving the fix, when the counter log options ask for them.
    if (m_logs && m_logs->recorder.counters().options().saveSatelliteEvents) {
        for (const QString &line : m_logs->satellites.update(s))
            m_counterLogs->writeConfigLog(line, now());
    }

    if (m_changes.day)
        noticeNewDay();

    // A crash loses at most the last hour of averaging, and never a reset.
    if (m_changes.hour || m_engine.resetCount() != m_savedResets)
        saveAverages();
}

void Station::saveAverages()
{
    QSettings settings;
    m_engine.saveAverages(settings);
    m_savedResets = m_engine.resetCount();
}

void Station::minuteHousekeeping()
{
    if (m_soundTicks)
        emit playSound(TickSound::Minute);
    if (m_gpsLog->isOpen())
        m_gpsLog->flush();
    if (m_counterLogs->isOpen() && !m_counterLogs->flushAll()) {
        m_counterLogs->closeQuiet();
        QSettings().setValue(QStringLiteral("LogFiles/TicLogOpen"), false);
        emit counterLogsClosedOnError();
    }
}

void Station::noticeNewDay()
{
    const QDate today = m_state.receiverUtcDateTime.dateTime().date();
    if (!today.isValid())
        return;
    const bool changed = m_logDay.isValid() && today != m_logDay;
    m_logDay = today;
    if (changed)
        dayChange();
}

void Station::dayChange()
{
    QSettings settings;
    if (m_counterLogs->isOpen()) {
        m_counterLogs->closeQuiet();
        if (settings.value(QStringLiteral("LogFiles/TicTimeLogAutorestart"), 1).toInt() == 1) {
            m_counterLogs->reopenForToday();
            // The new day's configuration log records the receiver identity.
            sendGpsRxCommand(QByteArrayLiteral("@@Cj"));
        }
    }
    if (m_gpsLog->closeQuiet() && settings.value(QStringLiteral("LogFiles/GpsLogAutorestart"), 1).toInt() == 1)
        m_gpsLog->openNew();
    emit utcDayChanged();
}
