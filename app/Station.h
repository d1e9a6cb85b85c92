#pragma once

#include "core/ReceiverState.h"
#include "core/Settings.h"
#include "app/StationHooks.h"
#include "averaging/AveragingEngine.h"
#include "receiver/DecoderContext.h"
#include "receiver/ProtocolTable.h"
#include "receiver/setup/ReceiverSettings.h"
#include "timescale/ClockDisplayRule.h"

#include <QByteArray>
#include <QDate>
#include <QObject>
#include <QString>
#include <array>
#include <functional>
#include <memory>

class GpsSerialPortThread;
class LogRecorder;
struct StationLogs;
class RemoteControl;
struct StationRemote;
class LinkRecovery;
class CounterLinks;
class CounterProcessing;
class ReceiverCommandChannel;
class ReceiverDetection;
class StoredReceiverPort;
class ProtocolDriver;
class QSettings;
struct GpsPortSettings;

// Values given on the command line, handed over as they were typed.
struct StationLaunchOptions
{
    QString replayFile;   // --replay FILE: feed a recorded byte stream instead of a port
    QString mode;         // --mode M: receiver mode number or port-dialog text, overrides the stored one
    QString simModel;     // --sim-model NAME: model the simulated receiver pretends to be
    double speed = 1.0;   // --speed FACTOR: simulated receiver and replay run this much faster
};

// The headless station: the receiver state, the receiver link and its send path, one protocol
// driver per family (made from the protocol table), the averaging engine, the hand-over of
// every receiver message to the driver of the current receiver mode and the one-second cycle
// driven by the receiver's 1PPS. The window shows what the signals below report; nothing here
// needs a display, and a station runs without any widget library linked.
class Station : public QObject
{
    Q_OBJECT
public:
    enum class TickSound { Minute, Second, Warn };
    Q_ENUM(TickSound)

    static constexpr int CounterChannels = 8;
    static constexpr qint64 BbRepollIntervalMs = 120000;   // see MotorolaDriver
    static constexpr int HeartbeatMs = 300;

    using Clock = std::function<qint64()>;   // ms since the epoch

    explicit Station(QObject *parent = nullptr);
    ~Station() override;

    ReceiverState &state() { return m_state; }
    const ReceiverState &state() const { return m_state; }

    GpsSerialPortThread &link() { return *m_link; }
    // The eight counter links (ports 1..8); the simulated counter stands behind "SIMULATOR".
    CounterLinks &counterLinks() { return *m_counters; }
    // Every counter line goes through here: units, sawtooth, delays, averages.
    CounterProcessing &counterProcessing() { return *m_processing; }
    // Timing delays, averaging period, time tag and per-port units from the stored settings.
    void readCounterSettings(QSettings &settings);
    ReceiverCommandChannel &commandChannel() { return *m_channel; }
    // Receiver detection and set-up over this station's link and the stored port settings.
    ReceiverDetection &detection() { return *m_detection; }

    // What the look at the settings file found when the station was made (a first run, a
    // damaged file kept aside).
    const Settings::StartCheck &settingsStartCheck() const { return m_startCheck; }
    // Keeps the receiver link alive through device losses and watches for stale data.
    LinkRecovery &linkRecovery() { return *m_recovery; }
    // The receiver port is the built-in simulated receiver.
    bool simulatedReceiver() const;
    // A receiver description or window title marked when the receiver is simulated.
    static QString labelledForSimulator(const QString &text, bool simulated);

    // Time source of the cycle (the "@@Bb" re-poll); the system clock unless replaced.
    void setClock(Clock clock);
    qint64 now() const { return m_clock(); }

    // The averaging engine, fed by the drivers; started from the settings with the station.
    AveragingEngine &averaging() { return m_engine; }

    // The driver of a protocol family, or of the current receiver mode (null in the search).
    ProtocolDriver *driver(ProtocolFamily family) const;
    ProtocolDriver *currentDriver() const { return driver(familyOf(m_state.receiverMode)); }
    // Replaces the driver of a family (a test's recording driver).
    void setDriver(ProtocolFamily family, std::unique_ptr<ProtocolDriver> driver);
    // Where the drivers show what they decode (the main window); null for none. The drivers are
    // made anew, so call it before the receiver starts.
    void setDisplay(StationDisplay *display);
    StationDisplay *display() const { return m_display; }
    // Decoder options (the receiver's local-time setting) for every driver.
    void setDecoderOptions(const DecoderOptions &options);
    const DecoderOptions &decoderOptions() const { return m_options; }

    // Where commands go: the command channel unless replaced (tests record them).
    void setCommandSink(ReceiverCommandSink *sink);
    ReceiverCommandSink *commandSink() const { return m_commands; }

    // What the drivers write to.
    DecoderContext decoderContext();

    // The station's own GPS data log and counter log set, installed at construction; the menus
    // and the remote commands drive them through this.
    LogRecorder &logs();
    // The remote-control link (server and command interpreter); it listens only once its
    // settings are applied with "activate" on.
    RemoteControl &remote();

    // Subsystems driven by the cycle; not owned. Null restores the stand-in.
    void setGpsLog(GpsLogHooks *log);
    void setCounterLogs(CounterLogHooks *logs);
    void setPcClock(PcClockHooks *clock) { m_pcClock = clock; }
    PcClockHooks *pcClock() const { return m_pcClock; }
    GpsLogHooks &gpsLog() { return *m_gpsLog; }
    CounterLogHooks &counterLogs() { return *m_counterLogs; }
    void setClockPanel(ClockPanelHooks *panel);
    ClockPanelHooks &clockPanel() { return *m_clockPanel; }
    // When the clock panel changes and what it shows (receiver time, counted time, nothing yet).
    const ClockDisplayRule &clockDisplay() const { return m_clockDisplay; }
    ClockDisplayRule &clockDisplay() { return m_clockDisplay; }

    // Receiver port settings: receiverMode from the stored mode text (or the --mode option),
    // ppsInterface, and the link's PPS input. Run at start-up and after the port dialog.
    void readPortSettings(QSettings &settings);
    // Also puts the simulated receiver (of --sim-model) behind the port name "SIMULATOR".
    void setLaunchOptions(const StationLaunchOptions &options);
    const StationLaunchOptions &launchOptions() const { return m_launch; }
    // What a change of the stored port settings asks for: nothing, telling the receiver the
    // new rate (only the rate changed), or re-opening the port and detecting the receiver again.
    enum class PortChange { None, RateOnly, Reconnect };
    static PortChange classifyPortChange(const GpsPortSettings &before, const GpsPortSettings &after);

    // A --mode value as a receiver mode: a number of a known mode or a port-dialog text;
    // -1 when it is neither.
    static int modeFromOption(const QString &option);

    // Sound flags ("MainWindow/Sound", "MainWindow/Sound OOL").
    void setSoundFlags(bool soundTicks, bool soundOutOfLock);
    bool soundTicks() const { return m_soundTicks; }
    bool soundOutOfLock() const { return m_soundOutOfLock; }

    // Counter channels 0..7 settle at their third tick after a (re)start.
    bool counterSettle(int channel) const;
    int counterSettleTicks(int channel) const;
    void resetCounterSettle(int channel);

    qint64 lastBbPoll() const { return m_state.lastBbPollMs; }
    void setLastBbPoll(qint64 ms) { m_state.lastBbPollMs = ms; }

    // What the last tick noticed against the receiver time seen at the tick before.
    struct TimeChanges
    {
        bool day = false;
        bool hour = false;
        bool minute = false;
    };
    TimeChanges lastTickChanges() const { return m_changes; }

    // Shutdown has begun: the dispatcher, the cycle and the panel update stand aside.
    void setClosing() { m_state.closing = true; }
    bool closing() const { return m_state.closing; }

    // Sends one command to the receiver through the command sink (checksum added there).
    void sendGpsRxCommand(const QByteArray &command);

    // The user's receiver settings ("GpsRxDialog/...") sent for the current receiver mode; in
    // Motorola NMEA mode by way of binary mode and back. Receiver set-up runs the same commands.
    void applyReceiverSettings();
    // Where the u-blox fixed position (0-D) and the Garmin initialisation take the reference
    // position; the averaging engine's reference position unless replaced.
    void setReferencePositionSource(std::function<ReceiverReferencePosition()> source)
    {
        m_referencePosition = std::move(source);
    }

public Q_SLOTS:
    // (Re)opens the receiver port from the stored settings; with --replay, plays the capture
    // instead (once: later restarts open the stored port).
    void startGpsSerialPort(bool bLoadFirmwareMode);
    // One message from the receiver link (or the "-- PPS --" marker).
    void OnNewGpsText(const QByteArray &message);
    // One rising 1PPS edge.
    void OnClockTick();
    // One counter line "n reading" (ignored while closing).
    void OnNewTicText(const QByteArray &text);
    // Raw-data window and, for a Raw GPS log, the log.
    void appendPlainText_to_RawDataDialog_and_Log(const QString &text);
    // Raw-data window only.
    void appendPlainText_to_RawDataDialog(const QString &text);
    // The clock panel update (skipped while closing): the receiver time becomes the
    // displayed time, outOfLock is recomputed and the panel redrawn.
    void updateClockPanel();

Q_SIGNALS:
    // Text for the raw-data window (which keeps it only while it is visible).
    void rawDataText(const QString &text);
    // Light the heartbeat; the display turns it off again after HeartbeatMs.
    void heartbeat();
    void playSound(Station::TickSound sound);
    // The clock panel was updated.
    void clockPanelUpdated();
    // The counter logs were closed after a failed flush at a minute boundary.
    void counterLogsClosedOnError();
    // A new UTC day was seen; the log restarts have been done.
    void utcDayChanged();
    // Port settings were read; the receiver mode and PPS interface are set.
    void portSettingsRead();
    // A receiver port error, once per loss ("Can't open GPS Port ..."), already in the raw-data
    // window and the log; the window shows it in the status bar (and a box when attended).
    void linkNotice(const QString &text);
    // The receiver port is back after a loss: detect the receiver again, as at start.
    void receiverLinkRestored();
    // No receiver message for a while (stale), or data again.
    void receiverDataStaleChanged(bool stale, qint64 lastDataMs);
    // The receiver settings were read and sent: the GPS mode (0 3-D, 1 2-D, 2 0-D) for the
    // averaging and the local-time option for the decoders.
    void receiverSettingsApplied(int gpsMode, bool receiverInLocalTime);

private:
    // A new reference location: the sidereal clock moves to it and a receiver in position
    // hold is told the surveyed point it holds.
    void followReference();
    // Local sidereal time is reckoned at the reference once the user has set one, at the
    // averaged position until then.
    void updateSiderealPosition();
    void sendReceiverSettings();
    void sendGarminSettings();
    ReceiverReferencePosition referencePosition() const;
    void makeDrivers();
    void minuteHousekeeping();
    void noticeModeChange();
    void saveAverages();
    // The logs' day follows the receiver's UTC date; a new date (seen by a time message or
    // by the tick) restarts them once.
    void noticeNewDay();
    void dayChange();

    // The drivers' send path: whatever sink the station uses at the moment.
    class CurrentSink : public ReceiverCommandSink
    {
    public:
        explicit CurrentSink(Station &station)
            : m_station(station)
        {
        }
        void sendGpsRxCommand(const QByteArray &command) override { m_station.sendGpsRxCommand(command); }
        bool sendAndAwait(const QByteArray &command, AnswerFamily family, const QList<QByteArray> &heads,
                          int timeoutMs) override
        {
            return m_station.m_commands && m_station.m_commands->sendAndAwait(command, family, heads, timeoutMs);
        }

    private:
        Station &m_station;
    };

    // First of all: the settings file is looked at before anything reads it.
    Settings::StartCheck m_startCheck = Settings::checkStore();
    ReceiverState m_state;
    std::unique_ptr<GpsSerialPortThread> m_link;
    std::unique_ptr<CounterLinks> m_counters;
    std::unique_ptr<CounterProcessing> m_processing;
    std::unique_ptr<ReceiverCommandChannel> m_channel;
    std::unique_ptr<StoredReceiverPort> m_port;
    std::unique_ptr<ReceiverDetection> m_detection;
    std::unique_ptr<LinkRecovery> m_recovery;
    ReceiverCommandSink *m_commands = nullptr;
    Clock m_clock;

    AveragingEngine m_engine;
    CurrentSink m_currentSink { *this };
    StationDisplay *m_display = nullptr;
    DecoderOptions m_options;
    std::array<std::unique_ptr<ProtocolDriver>, 5> m_drivers;   // by ProtocolFamily

    // The decoders' path to whatever GPS log is installed.
    class CurrentGpsLog : public GpsLogRecorder
    {
    public:
        explicit CurrentGpsLog(Station &station)
            : m_station(station)
        {
        }
        void writeBinaryRecord(const QByteArray &message) override { m_station.m_gpsLog->writeBinaryRecord(message); }
        void writeNmeaFixLine(const QString &line) override { m_station.m_gpsLog->writeNmeaFixLine(line); }
        void writeRawEpoch(const UbxRawEpoch &epoch) override { m_station.m_gpsLog->writeRawEpoch(epoch); }
        bool wantsRawEpochs() const override { return m_station.m_gpsLog->wantsRawEpochs(); }

    private:
        Station &m_station;
    };
    CurrentGpsLog m_currentGpsLog { *this };
    std::unique_ptr<StationLogs> m_logs;
    std::unique_ptr<StationRemote> m_remote;

    ClosedGpsLog m_closedGpsLog;
    ClosedCounterLogs m_closedCounterLogs;
    GpsLogHooks *m_gpsLog = &m_closedGpsLog;
    CounterLogHooks *m_counterLogs = &m_closedCounterLogs;
    PcClockHooks *m_pcClock = nullptr;
    CopyOnlyClockPanel m_copyOnlyPanel;
    ClockPanelHooks *m_clockPanel = &m_copyOnlyPanel;

    std::function<ReceiverReferencePosition()> m_referencePosition;
    StationLaunchOptions m_launch;
    bool m_replayStarted = false;
    bool m_soundTicks = false;        // false until the settings are restored
    bool m_soundOutOfLock = false;

    std::array<bool, CounterChannels> m_counterSettle {};
    std::array<int, CounterChannels> m_counterSettleTicks {};

    // The receiver time as seen at the previous tick. The decoders refresh the displayed copy
    // between ticks, so only this snapshot shows that a new minute, hour or day began.
    ReceiverTime m_previousTickTime;
    bool m_previousTickValid = false;
    QDate m_logDay;   // the UTC date the logs were last restarted for (or first seen)
    TimeChanges m_changes;
    int m_lastDispatchMode = -1;   // receiver mode of the last message handed to a driver
    ClockDisplayRule m_clockDisplay;
    bool m_timeSinceEdge = false;  // a driver decoded a receiver time since the last edge
    quint64 m_savedResets = 0;
    int m_describedChannels = -1;  // channel count of the listen-only receiver's description     // the averaging's reset count when the averages were saved
};
