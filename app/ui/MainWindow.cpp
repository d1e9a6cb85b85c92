#include "app/ui/MainWindow.h"
#include "app/ui/ElidedLabel.h"
#include "logging/LogRecorder.h"
#include "logging/ui/LogMenus.h"

#include "app/ReceiverTools.h"
#include "app/ui/GpsRawDataDialog.h"
#include "app/ui/GpsRxIdDialog.h"
#include "core/ui/MessageBoxes.h"
#include "app/ui/SatelliteTableView.h"
#include "averaging/AveragingEngine.h"
#include "averaging/ui/GpsNavDialog.h"
#include "averaging/ui/ReferenceLocationDialog.h"
#include "chart/ui/SatAzElChartDialog.h"
#include "help/ui/HelpWindow.h"
#include "receiver/link/GpsSerialPortThread.h"
#include "receiver/link/LinkRecovery.h"
#include "receiver/link/ReceiverCommandChannel.h"
#include "receiver/setup/ReceiverDetection.h"
#include "receiver/setup/ReceiverSettings.h"
#include "receiver/ui/GpsPortDialog.h"
#include "app/ui/TicDataDialogs.h"
#include "remote/RemoteControl.h"
#include "remote/ui/TelnetLink.h"
#include "tic/CounterProcessing.h"
#include "tic/ui/CoaxDialog.h"
#include "tic/ui/TimingDialog.h"
#include "tic/CounterLinks.h"
#include "tic/TicSerialPortThread.h"
#include "tic/ui/TicPortDialog.h"
#include "receiver/ui/GpsRxDialog.h"
#include "receiver/ui/SatelliteSelect.h"
#include "receiver/ui/ManualCommandDialog.h"
#include "timescale/ClockPanel.h"
#include "app/StationPcClock.h"
#include "clock/ui/SetPcClockDialog.h"
#include "update/ui/UpdateDialog.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QSoundEffect>
#include <QStatusBar>
#include <QTableWidget>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>
#include <QVersionNumber>

namespace {

const QString kDefaultStatusText = QStringLiteral("For Help, press F1");

// A status-bar field shows only while it has something to say: an empty panel between two
// others would read as a missing value.
void showField(QLabel *field, const QString &text)
{
    field->setText(text);
    field->setVisible(!text.isEmpty());
}

struct SoundSpec
{
    const char *url;
    double volume;
};
// Indexed by Station::TickSound.
constexpr SoundSpec kSoundSpecs[] = {
    { "qrc:/sounds/res/MinuteTick.wav", 0.5 },
    { "qrc:/sounds/res/SecondTick.wav", 1.0 },
    { "qrc:/sounds/res/WarnTick.wav", 0.7 },
};

} // namespace

// The resources live in a static library, whose registration object the linker may drop
// unless something refers to it.
static void initChronodeResources()
{
    Q_INIT_RESOURCE(resources);
}

// Shows the clock panel's texts in the window's labels and position table; the texts and the
// lock test come from the clock panel and the averaging engine.
class MainWindow::ClockPanelView : public ClockPanelHooks, public ClockPanelSources
{
public:
    explicit ClockPanelView(MainWindow &window) : m_window(window) {}

    void updateClockPanel(ReceiverState &state) override
    {
        ClockPanelInputs inputs;
        inputs.clockDisplayMode = m_window.m_clockDisplayMode;
        inputs.navDataFormat = m_window.m_navDataFormat;
        inputs.pcClockWasSet = m_window.m_pcClock && m_window.m_pcClock->sync().clockWasSet();
        inputs.shown = &m_window.m_station.clockDisplay().shown();
        if (m_window.m_station.linkRecovery().stale())
            inputs.receiverDataSince = QDateTime::fromMSecsSinceEpoch(m_window.m_station.linkRecovery().lastDataMs());
        const ClockPanelTexts texts = m_panel.updateClockPanel(state, inputs, this);
        if (!texts.updated)
            return;
        if (texts.handTimeInfoToPcClock && m_window.m_pcClock)
            m_window.m_pcClock->sync().noteClockSetShown(texts.timeInfoText);
        if (texts.clockText)
            m_window.m_clockLabel->setText(*texts.clockText);
        // A counted second is drawn grey until the receiver confirms it.
        const QString clockStyle = texts.flywheel ? QStringLiteral("color:grey") : QString();
        if (m_window.m_clockLabel->styleSheet() != clockStyle)
            m_window.m_clockLabel->setStyleSheet(clockStyle);
        if (texts.timeInfoChanged)
            m_window.m_timeInfoLabel->setText(texts.timeInfoText);
        m_window.showStale(texts.stale, texts.staleText);
        m_window.m_localTimeLabel->setText(texts.localTimeText);
        m_window.m_siderealLabel->setText(texts.siderealText);
        bool cellsChanged = false;
        for (int r = 0; r < kPositionRows; ++r) {
            for (int c = 0; c < kPositionColumns; ++c) {
                if (!texts.positionCellChanged[r][c])
                    continue;
                auto *item = new QTableWidgetItem(texts.positionCells[r][c]);
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
                m_window.m_positionTable->setItem(r + 1, c + 1, item);
                cellsChanged = true;
            }
        }
        // The grid locator of the current position, above the row names, once there is one.
        const AveragingEngine &engine = m_window.averagingEngine();
        const StationPosition current = engine.currentPosition();
        if (current.lat != 0.0 || current.lon != 0.0) {
            const QString locator = engine.gridLocator();
            if (locator != m_shownLocator) {
                m_shownLocator = locator;
                m_window.m_positionTable->setItem(0, 0, new QTableWidgetItem(locator));
                cellsChanged = true;
            }
        }
        if (cellsChanged)
            m_window.m_positionTable->resizeColumnsToContents();
    }
    void clearCachedDayText() override { m_panel.clearCachedDayText(); }

    bool updateLockStatus(const QDateTime &utc) override
    {
        AveragingEngine &engine = m_window.averagingEngine();
        return engine.updateLockStatus(engine.gpsMode(), utc);
    }
    PositionCells positionCells(PositionRow row, int navDataFormat) const override
    {
        const AveragingEngine &engine = m_window.averagingEngine();
        const auto which = row == PositionRow::Current  ? AveragingEngine::Which::Current
                         : row == PositionRow::Averaged ? AveragingEngine::Which::Averaged
                                                        : AveragingEngine::Which::Reference;
        const int format = (navDataFormat >= 0 && navDataFormat <= 2) ? navDataFormat : 0;
        const QStringList parts = engine.positionText(which, format).split(QStringLiteral("<br>"));
        PositionCells cells;
        for (int c = 0; c < kPositionColumns && c < parts.size(); ++c)
            cells[c] = parts[c].trimmed();
        return cells;
    }

private:
    MainWindow &m_window;
    ClockPanel m_panel;
    QString m_shownLocator;
};

MainWindow::MainWindow(QWidget *parent, const StationLaunchOptions &options)
    : QMainWindow(parent)
{
    initChronodeResources();
    // 1. Members (the station made the receiver link and both receiver times); sounds.
    for (int i = 0; i < int(m_sounds.size()); ++i)
        m_sounds[i] = new QSoundEffect(this);
    setObjectName(QStringLiteral("MainWindow"));
    m_station.setLaunchOptions(options);

    // 2. Identity for the settings store.
    QCoreApplication::setOrganizationName(QStringLiteral("KTW Systems"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("ktw-systems.example"));
    QCoreApplication::setApplicationName(QStringLiteral("Chronode"));
    QCoreApplication::setApplicationVersion(QStringLiteral(CHRONODE_VERSION));
    setWindowTitle(QStringLiteral("Chronode"));

    // 3. Menus, with the three exclusive groups.
    createActions();
    createMenus();
    createCentralWidgets();

    // 4. Sound sources and volumes; both flags stay off until the settings are restored.
    for (int i = 0; i < int(m_sounds.size()); ++i) {
        QSoundEffect *effect = m_sounds[i];
        const auto volume = float(kSoundSpecs[i].volume);
        effect->setSource(QUrl(QString::fromLatin1(kSoundSpecs[i].url)));
        effect->setVolume(volume);
        // The audio output is made when the sound has loaded and starts at full volume.
        connect(effect, &QSoundEffect::statusChanged, this, [effect, volume] { effect->setVolume(volume); });
    }
    m_station.setSoundFlags(false, false);
    m_iconOff.load(QStringLiteral(":/icons/res/icon_off.png"));
    m_iconOn.load(QStringLiteral(":/icons/res/icon_on.png"));
    m_ntpOff.load(QStringLiteral(":/icons/res/IconNtpOff.png"));
    m_ntpOn.load(QStringLiteral(":/icons/res/IconNtpOn.png"));

    // 5. Windows and the state they hold, owned for the program's life.
    m_rawData = new GpsRawDataDialog(this);
    m_rxId = new GpsRxIdDialog(this);
    m_navDialog = new GpsNavDialog(m_station.averaging(), this);
    m_portDialog = new GpsPortDialog(this);
    m_rxDialog = new GpsRxDialog(this);
    m_ticPortDialog = new TicPortDialog(this);
    m_ticRawData = new TicRawDataDialog(this);
    m_ticProcessedData = new TicProcessedDataDialog(this);
    m_timingDialog = new TimingDialog(this);
    m_station.setDisplay(this);
    m_chartDialog = new SatAzElChartDialog(this);
    m_manualCommands = new ManualCommandDialog(
        m_station.state(), [this](const QByteArray &command) { m_station.sendGpsRxCommand(command); }, this);
    connect(this, &MainWindow::satelliteTableUpdated, m_chartDialog, [this] {
        m_chartDialog->updateSatellites(m_satelliteModel.sortedCopy(), m_station.state().receiverMode);
    });
    m_pcClock = std::make_unique<StationPcClock>(m_station);
    m_pcClockDialog = new SetPcClockDialog(m_pcClock->sync(), this);
    m_clockPanelView = std::make_unique<ClockPanelView>(*this);
    m_station.setClockPanel(m_clockPanelView.get());
    connectReceiverDetection();

    // 6. Main-window settings (the station keeps the sidereal clock's position itself).
    restoreSettings();

    // 7. Status bar.
    createStatusBar();
    // A first start opens wide enough for the status bar's fields to be read, if the screen is.
    if (QSettings settings; MainWindowSettings::loaded(settings).geometry.isEmpty()) {
        const int screenWidth = screen() ? screen()->availableGeometry().width() : DefaultWidth;
        resize(qMin(qMax(sizeHint().width(), int(DefaultWidth)), screenWidth), sizeHint().height());
    }

    // The learned latency of the clock sets, and the PC clock's warnings.
    m_latencyBiasLabel = new QLabel(this);
    m_latencyBiasLabel->setObjectName(QStringLiteral("latencyBiasLabel"));
    m_latencyBiasLabel->setToolTip(QStringLiteral("PC clock latency bias (ms)"));
    m_latencyBiasLabel->setText(QString::asprintf("%1.1i", 0));
    statusBar()->addPermanentWidget(m_latencyBiasLabel);
    connect(&m_pcClock->sync(), &PcClockSync::latencyBiasChanged, this,
            [this](int bias) { m_latencyBiasLabel->setText(QString::asprintf("%1.1i", bias)); });
    connect(&m_pcClock->sync(), &PcClockSync::capabilityWarning, this,
            [this](const QString &text) { MessageBoxes::warning(this, QStringLiteral("Set PC Clock"), text); });
    connect(action(QStringLiteral("actionSet_PC_Clock")), &QAction::triggered, this,
            &MainWindow::actionSet_PC_Clock_triggered);

    // 8. Receiver port settings: receiver mode and PPS input.
    {
        QSettings settings;
        m_station.readPortSettings(settings);
        m_station.readCounterSettings(settings);
    }

    // 9. Shortcut and connections.
    auto *telnetShortcut = new QShortcut(QKeySequence(QStringLiteral("Ctrl+T")), this);
    telnetShortcut->setContext(Qt::WindowShortcut);
    connect(telnetShortcut, &QShortcut::activated, this, &MainWindow::TelnetLinkInterface);

    GpsSerialPortThread &link = m_station.link();
    connect(this, &MainWindow::startGpsSerialPort, &m_station, &Station::startGpsSerialPort);
    connect(this, &MainWindow::sendGpsMessage, &link, &GpsSerialPortThread::OnSendGpsMessage);
    // Receiver port errors reach the window through the station's link recovery.
    connect(&m_station, &Station::linkNotice, this, &MainWindow::showLinkNotice);
    connect(&m_station, &Station::receiverLinkRestored, this, [this] {
        QTimer::singleShot(0, this, [this] { connectReceiver(); });
    });
    connect(&m_station, &Station::portSettingsRead, this, &MainWindow::showSimulatorMark);
    connect(statusBar(), &QStatusBar::messageChanged, this, &MainWindow::setDefaultStatusTipText);
    connect(&m_station, &Station::rawDataText, m_rawData, &GpsRawDataDialog::appendText);
    connect(&m_station, &Station::heartbeat, this, &MainWindow::lightHeartbeat);
    connect(&m_station, &Station::playSound, this, &MainWindow::playTickSound);
    {
        CounterLinks &counters = m_station.counterLinks();
        const std::array<void (MainWindow::*)(int), CounterLinks::Count> starts = {
            &MainWindow::startTicSerialPort1, &MainWindow::startTicSerialPort2, &MainWindow::startTicSerialPort3,
            &MainWindow::startTicSerialPort4, &MainWindow::startTicSerialPort5, &MainWindow::startTicSerialPort6,
            &MainWindow::startTicSerialPort7, &MainWindow::startTicSerialPort8,
        };
        for (int n = 1; n <= CounterLinks::Count; ++n)
            connect(this, starts[std::size_t(n - 1)], &counters.link(n), &TicSerialPortThread::startTicSerialPort);
        CounterProcessing &processing = m_station.counterProcessing();
        connect(&processing, &CounterProcessing::rawLine, m_ticRawData, &TicDataDialog::appendText);
        connect(&processing, &CounterProcessing::processedText, m_ticProcessedData, &TicDataDialog::appendText);
        // In the TIC clock modes the panel's big label shows port 1's corrected reading.
        connect(&processing, &CounterProcessing::port1Value, this, [this](double us) {
            if (m_clockDisplayMode == ClockMode::Tic || m_clockDisplayMode == ClockMode::TicRaw)
                m_clockLabel->setText(QString::asprintf("%.6f", us));
        });
        connect(&counters, &CounterLinks::showErrorMessageBox, this, &MainWindow::showErrorMessageBox);
        connect(action(QStringLiteral("actionTIC_Serial_Ports")), &QAction::triggered, this,
                &MainWindow::actionTIC_Serial_Ports_triggered);
        connect(action(QStringLiteral("actionTIC_Raw_Data")), &QAction::triggered, this, [this] {
            m_ticRawData->show();
            m_ticRawData->raise();
        });
        connect(action(QStringLiteral("actionTIC_Processed_Data")), &QAction::triggered, this, [this] {
            m_ticProcessedData->show();
            m_ticProcessedData->raise();
        });
        connect(action(QStringLiteral("actionTiming_Delays")), &QAction::triggered, this, [this] {
            if (m_timingDialog->exec() != QDialog::Accepted)
                return;
            QSettings settings;
            m_station.readCounterSettings(settings);
        });
        connect(action(QStringLiteral("actionCoax_Delay_Calculator")), &QAction::triggered, this, [this] {
            if (!m_coaxDialog)
                m_coaxDialog = new CoaxDialog(QStringLiteral("Coax Delay Calculator"), this);
            m_coaxDialog->show();
            m_coaxDialog->raise();
        });
    }

    m_heartbeatTimer.setSingleShot(true);
    m_heartbeatTimer.setInterval(HeartbeatMs);
    connect(&m_heartbeatTimer, &QTimer::timeout, this, &MainWindow::ResetHeartbeat);

    // 10. The automatic update check runs a while after start, then is offered hourly.
    m_updates = new UpdatePresenter(this);
    connect(this, &MainWindow::updateCheckRequested, m_updates, &UpdatePresenter::request);
    startDeferredUpdateCheck();

    // 11. Receiver port; the counter ports follow their links' own settings.
    emit startGpsSerialPort(false);
    showSimulatorMark();
    // Settings repaired at start (a damaged file kept aside, values out of range): told once.
    for (const QString &notice : Settings::takeNotices()) {
        m_station.appendPlainText_to_RawDataDialog_and_Log(notice);
        showLinkNotice(notice);
    }
    emit startTicSerialPort1(1);
    emit startTicSerialPort2(2);
    emit startTicSerialPort3(3);
    emit startTicSerialPort4(4);
    emit startTicSerialPort5(5);
    emit startTicSerialPort6(6);
    emit startTicSerialPort7(7);
    emit startTicSerialPort8(8);

    // 12. PC clock start-up.
    m_appStartTime = QDateTime::currentDateTime();
    if (PcClockHooks *clock = m_station.pcClock())
        clock->startUp();
    // GPS and TIC data logs: their menus and dialogs; logs open at the last exit reopen.
    m_station.logs().resumeAtStart();
    m_logMenus = new LogMenus(this, m_station.logs(),
                              { action(QStringLiteral("actionNew_GPS_Data_Log")),
                                action(QStringLiteral("actionOpen_GPS_Data_Log")),
                                action(QStringLiteral("actionClose_GPS_Data_Log")),
                                action(QStringLiteral("actionNew_TIC_Data_Log")),
                                action(QStringLiteral("actionOpen_TIC_Data_Log")),
                                action(QStringLiteral("actionClose_TIC_Data_Log")) });
    m_logMenus->setCounterOptionsStored([this] {
        QSettings settings;
        m_station.readCounterSettings(settings);
    });
    connect(&m_station, &Station::utcDayChanged, m_logMenus, &LogMenus::updateActions);
    connect(&m_station, &Station::counterLogsClosedOnError, m_logMenus, &LogMenus::updateActions);
}

void MainWindow::actionSet_PC_Clock_triggered()
{
    m_pcClockDialog->show();
    m_pcClockDialog->raise();
}

MainWindow::~MainWindow()
{
    m_station.setClosing();
    m_station.setClockPanel(nullptr);
    // Closed with their footers; they reopen at the next start.
    m_station.logs().shutdown();
    saveWindowLayout();
    m_chartDialog->saveState();
    for (QSoundEffect *effect : m_sounds)
        effect->stop();
    m_help.reset();
}

AveragingEngine &MainWindow::averagingEngine()
{
    return m_station.averaging();
}

QAction *MainWindow::makeAction(const QString &objectName, const QString &text, bool checkable)
{
    auto *a = new QAction(text, this);
    a->setObjectName(objectName);
    a->setCheckable(checkable);
    m_actions.insert(objectName, a);
    return a;
}

void MainWindow::createActions()
{
    // File
    makeAction(QStringLiteral("actionNew_GPS_Data_Log"), QStringLiteral("New GPS Data Log"));
    makeAction(QStringLiteral("actionOpen_GPS_Data_Log"), QStringLiteral("Open GPS Data Log"));
    makeAction(QStringLiteral("actionClose_GPS_Data_Log"), QStringLiteral("Close GPS Data Log"))->setEnabled(false);
    makeAction(QStringLiteral("actionNew_TIC_Data_Log"), QStringLiteral("New TIC Data Log"));
    makeAction(QStringLiteral("actionOpen_TIC_Data_Log"), QStringLiteral("Open TIC Data Log"));
    makeAction(QStringLiteral("actionClose_TIC_Data_Log"), QStringLiteral("Close TIC Data Log"))->setEnabled(false);
    makeAction(QStringLiteral("actionExit"), QStringLiteral("Exit"));
    // Edit
    makeAction(QStringLiteral("actionCopy"), QStringLiteral("Copy"));
    makeAction(QStringLiteral("actionSet_Serial_Port"), QStringLiteral("Set Serial Port"));
    makeAction(QStringLiteral("actionSet_GPS_Receiver_Interface"), QStringLiteral("Set GPS Receiver Interface"));
    makeAction(QStringLiteral("actionSatellite_Select"), QStringLiteral("Satellite Select"));
    makeAction(QStringLiteral("actionTIC_Serial_Ports"), QStringLiteral("TIC Serial Ports"));
    makeAction(QStringLiteral("actionTiming_Delays"), QStringLiteral("Timing Delays"));
    makeAction(QStringLiteral("actionAveraging_Parameters"), QStringLiteral("Averaging Parameters"));
    makeAction(QStringLiteral("actionSet_Reference_Location"), QStringLiteral("Set Reference Location"));
    makeAction(QStringLiteral("actionSet_Reference_to_Average"), QStringLiteral("Set Reference to Average"));
    makeAction(QStringLiteral("actionSet_Reference_to_Current"), QStringLiteral("Set Reference to Current"));
    makeAction(QStringLiteral("actionSet_PC_Clock"), QStringLiteral("Set PC Clock"));
    makeAction(QStringLiteral("actionRemote_Control_Link"), QStringLiteral("Remote Control Link\tCtrl+T"));
    // View
    makeAction(QStringLiteral("actionToolbar"), QStringLiteral("Toolbar"), true);
    makeAction(QStringLiteral("actionGps_Raw_Data"), QStringLiteral("Gps Raw Data"));
    makeAction(QStringLiteral("actionReceiver_ID_Message"), QStringLiteral("Receiver ID Message"));
    makeAction(QStringLiteral("actionView_Satellite_Az_El_Chart"), QStringLiteral("View Satellite Az/El Chart"));
    makeAction(QStringLiteral("actionTIC_Raw_Data"), QStringLiteral("TIC Raw Data"));
    makeAction(QStringLiteral("actionTIC_Processed_Data"), QStringLiteral("TIC Processed Data"));

    m_clockGroup = new QActionGroup(this);
    m_clockGroup->setExclusive(true);
    const QList<QPair<QString, QString>> clockModes = {
        { QStringLiteral("actionUTC"), QStringLiteral("UTC") },
        { QStringLiteral("actionPC"), QStringLiteral("PC") },
        { QStringLiteral("actionLMST"), QStringLiteral("LMST") },
        { QStringLiteral("actionGMST"), QStringLiteral("GMST") },
        { QStringLiteral("actionMJD"), QStringLiteral("MJD") },
        { QStringLiteral("actionPC_U"), QStringLiteral("PC - UTC") },
        { QStringLiteral("actionTIC"), QStringLiteral("TIC") },
        { QStringLiteral("actionTIC_Raw"), QStringLiteral("TIC Raw") },
    };
    for (int i = 0; i < clockModes.size(); ++i) {
        QAction *a = makeAction(clockModes[i].first, clockModes[i].second, true);
        a->setData(i);
        m_clockGroup->addAction(a);
    }

    m_navFormatGroup = new QActionGroup(this);
    m_navFormatGroup->setExclusive(true);
    const QList<QPair<QString, QString>> navFormats = {
        { QStringLiteral("actiondegrees_dd_ddd"), QStringLiteral("degrees dd.ddd") },
        { QStringLiteral("actiondegrees_minutes_dd_mm_mmm"), QStringLiteral("degrees minutes dd mm.mmm") },
        { QStringLiteral("actiondegrees_minutes_seconds_dd_mm_ss_sss"),
          QStringLiteral("degrees minutes seconds dd mm ss.sss") },
    };
    for (int i = 0; i < navFormats.size(); ++i) {
        QAction *a = makeAction(navFormats[i].first, navFormats[i].second, true);
        a->setData(i);
        m_navFormatGroup->addAction(a);
    }

    m_soundGroup = new QActionGroup(this);
    m_soundGroup->setExclusive(true);
    const QList<QPair<QString, SoundMode>> soundModes = {
        { QStringLiteral("actionSoundAll"), SoundMode::All },
        { QStringLiteral("actionSoundOutOfLockOnly"), SoundMode::OutOfLockOnly },
        { QStringLiteral("actionSoundClockTicksOnly"), SoundMode::ClockTicksOnly },
        { QStringLiteral("actionSoundNone"), SoundMode::None },
    };
    const QStringList soundTexts = { QStringLiteral("All"), QStringLiteral("Out Of Lock Only"),
                                     QStringLiteral("Clock Ticks Only"), QStringLiteral("None") };
    for (int i = 0; i < soundModes.size(); ++i) {
        QAction *a = makeAction(soundModes[i].first, soundTexts[i], true);
        a->setData(int(soundModes[i].second));
        m_soundGroup->addAction(a);
    }

    // Tools
    makeAction(QStringLiteral("actionManual_Commands"), QStringLiteral("Manual Commands"));
    makeAction(QStringLiteral("actionRequest_Receiver_ID"), QStringLiteral("Request Receiver ID"));
    makeAction(QStringLiteral("actionReceiver_Self_Test"), QStringLiteral("Receiver Self Test"));
    makeAction(QStringLiteral("actionReceiver_Self_Survey"), QStringLiteral("Receiver Self Survey"));
    makeAction(QStringLiteral("actionCoax_Delay_Calculator"), QStringLiteral("Coax Delay Calculator"));
    makeAction(QStringLiteral("actionSend_new_firmware_to_GPS_Rx"), QStringLiteral("Send new firmware to GPS Rx"));
    makeAction(QStringLiteral("actionDisable"), QStringLiteral("Disable"));
    makeAction(QStringLiteral("actionSNTP_Server_RFC_2030"), QStringLiteral("SNTP Server (RFC 2030)"));
    makeAction(QStringLiteral("actionUDP_IP_Server_RFC_868"), QStringLiteral("UDP/IP Server (RFC 868)"));
    // Help
    makeAction(QStringLiteral("actionHelp_Contents"), QStringLiteral("Help Contents"))->setShortcut(QKeySequence::HelpContents);
    makeAction(QStringLiteral("actionCheck_for_Updates"), QStringLiteral("Check for Updates"));
    makeAction(QStringLiteral("actionAbout"), QStringLiteral("About Chronode"));

    // Behaviour of this window's own actions; the subsystems connect the rest.
    connect(action(QStringLiteral("actionExit")), &QAction::triggered, this, &MainWindow::actionExit_triggered);
    connect(action(QStringLiteral("actionCopy")), &QAction::triggered, this, &MainWindow::actionCopy_triggered);
    connect(action(QStringLiteral("actionSend_new_firmware_to_GPS_Rx")), &QAction::triggered, this,
            &MainWindow::actionSend_new_firmware_to_GPS_Rx_triggered);
    connect(action(QStringLiteral("actionDisable")), &QAction::triggered, this, &MainWindow::actionDisable_triggered);
    connect(action(QStringLiteral("actionSNTP_Server_RFC_2030")), &QAction::triggered, this,
            &MainWindow::actionSNTP_Server_RFC_2030_triggered);
    connect(action(QStringLiteral("actionUDP_IP_Server_RFC_868")), &QAction::triggered, this,
            &MainWindow::actionUDP_IP_Server_RFC_868_triggered);
    connect(action(QStringLiteral("actionGps_Raw_Data")), &QAction::triggered, this,
            &MainWindow::actionGps_Raw_Data_triggered);
    connect(action(QStringLiteral("actionReceiver_ID_Message")), &QAction::triggered, this,
            &MainWindow::actionReceiver_ID_Message_triggered);
    connect(action(QStringLiteral("actionView_Satellite_Az_El_Chart")), &QAction::triggered, this,
            &MainWindow::actionView_Satellite_Az_El_Chart_triggered);
    connect(action(QStringLiteral("actionManual_Commands")), &QAction::triggered, this,
            &MainWindow::actionManual_Commands_triggered);
    connect(action(QStringLiteral("actionToolbar")), &QAction::triggered, this, &MainWindow::actionToolbar_triggered);
    connect(action(QStringLiteral("actionRemote_Control_Link")), &QAction::triggered, this,
            &MainWindow::TelnetLinkInterface);
    connect(action(QStringLiteral("actionAveraging_Parameters")), &QAction::triggered, this, [this] {
        m_navDialog->show();
        m_navDialog->raise();
    });
    // Reference location: every way in ends in the engine's one setter, which the sidereal
    // clock and a receiver in position hold follow.
    m_refDialog = new ReferenceLocationDialog(this);
    connect(action(QStringLiteral("actionSet_Reference_Location")), &QAction::triggered, this, [this] {
        const AveragingEngine &e = averagingEngine();
        const StationPosition cur = e.currentPosition();
        m_refDialog->setValues(e.referencePosition(), e.refLocOnStart(), m_navDataFormat, cur.altGps - cur.altMsl);
        m_refDialog->open();
    });
    connect(m_refDialog, &QDialog::accepted, this, [this] {
        averagingEngine().setRefLocOnStart(m_refDialog->locOnStart());
        averagingEngine().setReferenceLocation(m_refDialog->values());
    });
    connect(action(QStringLiteral("actionSet_Reference_to_Average")), &QAction::triggered, this,
            [this] { averagingEngine().setReferenceToAverage(); });
    connect(action(QStringLiteral("actionSet_Reference_to_Current")), &QAction::triggered, this,
            [this] { averagingEngine().setReferenceToCurrent(); });
    // Satellite selection: OK stores the ignore mask and sends the receiver settings again.
    m_satelliteSelect = new SatelliteSelect(this);
    connect(action(QStringLiteral("actionSatellite_Select")), &QAction::triggered, this, [this] {
        m_satelliteSelect->load();
        m_satelliteSelect->open();
    });
    connect(m_satelliteSelect, &QDialog::accepted, &m_station, &Station::applyReceiverSettings);
    connect(action(QStringLiteral("actionSet_Serial_Port")), &QAction::triggered, this,
            &MainWindow::actionSet_Serial_Port_triggered);
    connect(action(QStringLiteral("actionSet_GPS_Receiver_Interface")), &QAction::triggered, this, [this] {
        const ReceiverState &s = m_station.state();
        m_rxDialog->setReceiver(s.receiverMode, s.receiverModel, s.firmwareVersion, s.channelCount);
        m_rxDialog->open();
    });
    connect(action(QStringLiteral("actionCheck_for_Updates")), &QAction::triggered, this,
            [this] { StartUpdateCheck(true); });
    // Help: Help Contents (F1 here) opens the contents; F1 in any other window opens its page.
    connect(action(QStringLiteral("actionHelp_Contents")), &QAction::triggered, this, [this] { showHelp(QString()); });
    HelpWindow::installHelpKey(qApp, this, [this](QWidget *window) { showHelp(HelpWindow::pageFor(window)); });
    connect(action(QStringLiteral("actionReceiver_Self_Test")), &QAction::triggered, this,
            &MainWindow::startReceiverSelfTest);
    connect(action(QStringLiteral("actionReceiver_Self_Survey")), &QAction::triggered, this,
            &MainWindow::startReceiverSelfSurvey);

    connect(m_clockGroup, &QActionGroup::triggered, this, [this](QAction *a) {
        m_clockDisplayMode = a->data().toInt();
        QSettings settings;
        MainWindowSettings::storeClockDisplay(settings, m_clockDisplayMode);
        m_station.updateClockPanel();
    });
    connect(m_navFormatGroup, &QActionGroup::triggered, this, [this](QAction *a) {
        m_navDataFormat = a->data().toInt();
        QSettings settings;
        MainWindowSettings::storeNavDataFormat(settings, m_navDataFormat);
        // The position table shows the new format at once, not at the next pulse.
        m_station.updateClockPanel();
    });
    connect(m_soundGroup, &QActionGroup::triggered, this, [this](QAction *a) {
        const auto mode = SoundMode(a->data().toInt());
        bool ticks = false, ool = false;
        soundFlagsOf(mode, ticks, ool);
        m_station.setSoundFlags(ticks, ool);
        QSettings settings;
        MainWindowSettings::storeSoundMode(settings, mode);
    });
}

void MainWindow::createMenus()
{
    QMenuBar *bar = menuBar();
    QMenu *file = bar->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("menuFile"));
    QMenu *gpsLog = file->addMenu(QStringLiteral("GPS Data Log"));
    gpsLog->setObjectName(QStringLiteral("menuGPS_Data_Log"));
    gpsLog->addAction(action(QStringLiteral("actionNew_GPS_Data_Log")));
    gpsLog->addAction(action(QStringLiteral("actionOpen_GPS_Data_Log")));
    gpsLog->addAction(action(QStringLiteral("actionClose_GPS_Data_Log")));
    QMenu *ticLog = file->addMenu(QStringLiteral("TIC Data Log"));
    ticLog->setObjectName(QStringLiteral("menuTIC_Data_Log"));
    ticLog->addAction(action(QStringLiteral("actionNew_TIC_Data_Log")));
    ticLog->addAction(action(QStringLiteral("actionOpen_TIC_Data_Log")));
    ticLog->addAction(action(QStringLiteral("actionClose_TIC_Data_Log")));
    file->addSeparator();
    file->addAction(action(QStringLiteral("actionExit")));

    QMenu *edit = bar->addMenu(QStringLiteral("&Edit"));
    edit->setObjectName(QStringLiteral("menuEdit"));
    for (const char *name : std::initializer_list<const char *> { "actionCopy", nullptr, "actionSet_Serial_Port", "actionSet_GPS_Receiver_Interface",
                              "actionSatellite_Select", "actionTIC_Serial_Ports", "actionTiming_Delays",
                              "actionAveraging_Parameters", nullptr, "actionSet_Reference_Location",
                              "actionSet_Reference_to_Average", "actionSet_Reference_to_Current", nullptr,
                              "actionSet_PC_Clock", "actionRemote_Control_Link" }) {
        if (name)
            edit->addAction(action(QString::fromLatin1(name)));
        else
            edit->addSeparator();
    }

    QMenu *view = bar->addMenu(QStringLiteral("&View"));
    view->setObjectName(QStringLiteral("menuView"));
    view->addAction(action(QStringLiteral("actionToolbar")));
    view->addSeparator();
    for (const char *name : { "actionGps_Raw_Data", "actionReceiver_ID_Message", "actionView_Satellite_Az_El_Chart",
                              "actionTIC_Raw_Data", "actionTIC_Processed_Data" })
        view->addAction(action(QString::fromLatin1(name)));
    view->addSeparator();
    QMenu *clock = view->addMenu(QStringLiteral("Clock Display"));
    clock->setObjectName(QStringLiteral("menuClock_Display"));
    clock->addActions(m_clockGroup->actions());
    QMenu *nav = view->addMenu(QStringLiteral("Navigation Data Format"));
    nav->setObjectName(QStringLiteral("menuNavigation_Data_Format"));
    nav->addActions(m_navFormatGroup->actions());
    QMenu *sound = view->addMenu(QStringLiteral("Sound"));
    sound->setObjectName(QStringLiteral("menuSound"));
    sound->addActions(m_soundGroup->actions());

    QMenu *tools = bar->addMenu(QStringLiteral("&Tools"));
    tools->setObjectName(QStringLiteral("menuTools"));
    for (const char *name : { "actionManual_Commands", "actionRequest_Receiver_ID", "actionReceiver_Self_Test",
                              "actionReceiver_Self_Survey", "actionCoax_Delay_Calculator",
                              "actionSend_new_firmware_to_GPS_Rx" })
        tools->addAction(action(QString::fromLatin1(name)));
    QMenu *nts = tools->addMenu(QStringLiteral("Network Time Server"));
    nts->setObjectName(QStringLiteral("menuNetwork_Time_Server"));
    nts->addAction(action(QStringLiteral("actionDisable")));
    nts->addAction(action(QStringLiteral("actionSNTP_Server_RFC_2030")));
    nts->addAction(action(QStringLiteral("actionUDP_IP_Server_RFC_868")));

    QMenu *help = bar->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("menuHelp"));
    help->addAction(action(QStringLiteral("actionHelp_Contents")));
    help->addAction(action(QStringLiteral("actionCheck_for_Updates")));
    help->addSeparator();
    help->addAction(action(QStringLiteral("actionAbout")));

    m_toolBar = addToolBar(QStringLiteral("Main"));
    m_toolBar->setObjectName(QStringLiteral("mainToolBar"));
    m_toolBar->addAction(action(QStringLiteral("actionGps_Raw_Data")));
    m_toolBar->addAction(action(QStringLiteral("actionView_Satellite_Az_El_Chart")));
    m_toolBar->addAction(action(QStringLiteral("actionSet_PC_Clock")));
}

void MainWindow::createCentralWidgets()
{
    // Read from across the room: a large clock on top, then the time information, the
    // position table and the satellite table.
    auto *central = new QWidget(this);
    central->setObjectName(QStringLiteral("centralWidget"));

    m_clockLabel = new QLabel(QStringLiteral("--:--.--.---"), central);
    m_clockLabel->setObjectName(QStringLiteral("ClockLabel"));
    m_clockLabel->setAlignment(Qt::AlignCenter);
    QFont clockFont = m_clockLabel->font();
    clockFont.setPointSize(40);
    clockFont.setBold(true);
    clockFont.setStyleHint(QFont::Monospace);
    m_clockLabel->setFont(clockFont);
    m_timeInfoLabel = new QLabel(central);
    m_timeInfoLabel->setObjectName(QStringLiteral("TimeInfoLabel"));
    m_timeInfoLabel->setAlignment(Qt::AlignCenter);
    QFont infoFont = m_timeInfoLabel->font();
    infoFont.setPointSize(infoFont.pointSize() + 3);
    m_timeInfoLabel->setFont(infoFont);
    m_localTimeLabel = new QLabel(central);
    m_localTimeLabel->setObjectName(QStringLiteral("LocalTimeLabel"));
    m_localTimeLabel->setAlignment(Qt::AlignCenter);
    m_siderealLabel = new QLabel(central);
    m_siderealLabel->setObjectName(QStringLiteral("SiderealLabel"));
    m_siderealLabel->setAlignment(Qt::AlignCenter);

    m_positionTable = new QTableWidget(4, 5, central);
    m_positionTable->setObjectName(QStringLiteral("PositionTable"));
    m_positionTable->horizontalHeader()->hide();
    m_positionTable->verticalHeader()->hide();
    m_positionTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_positionTable->setSelectionMode(QAbstractItemView::NoSelection);
    m_positionTable->setFocusPolicy(Qt::NoFocus);
    const QStringList columns = { QStringLiteral("Latitude"), QStringLiteral("Longitude"), QStringLiteral("Alt(GPS)"),
                                  QStringLiteral("Alt(MSL)") };
    const QStringList rows = { QStringLiteral("Cur:"), QStringLiteral("Avg:"), QStringLiteral("Ref:") };
    for (int c = 0; c < columns.size(); ++c) {
        auto *item = new QTableWidgetItem(columns[c]);
        item->setTextAlignment(Qt::AlignCenter);
        m_positionTable->setItem(0, c + 1, item);
    }
    for (int r = 0; r < rows.size(); ++r)
        m_positionTable->setItem(r + 1, 0, new QTableWidgetItem(rows[r]));
    m_positionTable->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    for (int c = 1; c <= columns.size(); ++c)
        m_positionTable->horizontalHeader()->setSectionResizeMode(c, QHeaderView::Stretch);
    m_positionTable->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_positionTable->verticalHeader()->setDefaultSectionSize(m_positionTable->fontMetrics().height() + 6);
    m_positionTable->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_positionTable->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_positionTable->setFixedHeight(m_positionTable->verticalHeader()->length() + 2 * m_positionTable->frameWidth());

    m_satelliteTable = new SatelliteTableView(central);
    m_satelliteTable->setMaximumHeight(m_satelliteTable->sizeHint().height());

    auto *sortRow = new QHBoxLayout;
    sortRow->addWidget(new QLabel(QStringLiteral("Sort satellites by:"), central));
    const QList<QPair<QString, QString>> sortButtons = {
        { QStringLiteral("SatSortBtn_PRN"), QStringLiteral("PRN") },
        { QStringLiteral("SatSortBtn_El"), QStringLiteral("El") },
        { QStringLiteral("SatSortBtn_Azm"), QStringLiteral("Azm") },
        { QStringLiteral("SatSortBtn_CNo"), QStringLiteral("C/No") },
    };
    for (int i = 0; i < sortButtons.size(); ++i) {
        auto *b = new QPushButton(sortButtons[i].second, central);
        b->setObjectName(sortButtons[i].first);
        connect(b, &QPushButton::pressed, this, [this, i] {
            m_satelliteSortMode = i;
            QSettings settings;
            MainWindowSettings::storeSatelliteSortMode(settings, i);
            updateSatelliteTable();
        });
        sortRow->addWidget(b);
    }
    sortRow->addStretch(1);

    auto *layout = new QVBoxLayout(central);
    layout->addWidget(m_clockLabel);
    layout->addWidget(m_timeInfoLabel);
    layout->addWidget(m_localTimeLabel);
    layout->addWidget(m_siderealLabel);
    layout->addWidget(m_positionTable);
    layout->addLayout(sortRow);
    layout->addWidget(m_satelliteTable, 1);
    layout->addStretch(0);
    setCentralWidget(central);
}

void MainWindow::createStatusBar()
{
    QStatusBar *bar = statusBar();
    bar->showMessage(kDefaultStatusText);

    m_heartbeatLabel = new QLabel(bar);
    m_heartbeatLabel->setObjectName(QStringLiteral("HeartbeatLabel"));
    m_heartbeatLabel->setPixmap(m_iconOff);
    m_ntpLabel = new QLabel(bar);
    m_ntpLabel->setObjectName(QStringLiteral("NtpLabel"));
    m_ntpLabel->setPixmap(m_ntpOff);

    m_antennaLabel = new QLabel(StationIndicators::antennaAtStart().text, bar);
    m_antennaLabel->setObjectName(QStringLiteral("AntennaLabel"));
    m_antennaLabel->setStyleSheet(StationIndicators::antennaAtStart().styleSheet);
    m_navigationLabel = new QLabel(StationIndicators::navigationAtStart().text, bar);
    m_navigationLabel->setObjectName(QStringLiteral("NavigationLabel"));
    m_navigationLabel->setStyleSheet(StationIndicators::navigationAtStart().styleSheet);

    m_visibleLabel = new QLabel(bar);
    m_visibleLabel->setObjectName(QStringLiteral("VisibleLabel"));
    m_trackedLabel = new QLabel(bar);
    m_trackedLabel->setObjectName(QStringLiteral("TrackedLabel"));
    m_usedLabel = new QLabel(bar);
    m_usedLabel->setObjectName(QStringLiteral("UsedLabel"));

    m_fixLabel = new QLabel(bar);
    m_fixLabel->setObjectName(QStringLiteral("FixLabel"));
    m_dopLabel = new QLabel(bar);
    m_dopLabel->setObjectName(QStringLiteral("DopLabel"));

    m_receiverLabel = new ElidedLabel(QStringLiteral("Initializing"), bar);
    m_receiverLabel->setObjectName(QStringLiteral("ReceiverLabel"));
    m_progressBar = new QProgressBar(bar);
    m_progressBar->setObjectName(QStringLiteral("StatusProgressBar"));
    m_progressBar->setMaximumWidth(120);
    // Shown only while the receiver is searched for or set up; its length is unknown, so it
    // runs as a busy bar instead of standing at "0%".
    m_progressBar->setRange(0, 0);
    m_progressBar->setTextVisible(false);
    m_progressBar->setVisible(false);

    // Each text field sits in a sunken panel of its own, so the bar reads as fields, not as one
    // run-on line.
    for (QLabel *field : std::initializer_list<QLabel *> { m_receiverLabel, m_fixLabel, m_dopLabel, m_visibleLabel, m_trackedLabel, m_usedLabel })
        field->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);

    // The receiver description takes the room the other fields leave, cut with "…" if short.
    bar->addPermanentWidget(m_receiverLabel, 1);
    bar->addPermanentWidget(m_fixLabel);
    bar->addPermanentWidget(m_dopLabel);
    bar->addPermanentWidget(m_visibleLabel);
    bar->addPermanentWidget(m_trackedLabel);
    bar->addPermanentWidget(m_usedLabel);
    bar->addPermanentWidget(m_antennaLabel);
    bar->addPermanentWidget(m_navigationLabel);
    bar->addPermanentWidget(m_progressBar);
    bar->addPermanentWidget(m_ntpLabel);
    bar->addPermanentWidget(m_heartbeatLabel);
    for (QLabel *field : { m_fixLabel, m_dopLabel, m_visibleLabel, m_trackedLabel, m_usedLabel })
        field->setVisible(false);
    m_progressBar->setVisible(false);
}

void MainWindow::restoreSettings()
{
    QSettings settings;
    const MainWindowSettings s = MainWindowSettings::loaded(settings);
    if (!s.geometry.isEmpty())
        restoreGeometry(s.geometry);
    if (!s.windowState.isEmpty())
        restoreState(s.windowState);

    m_clockDisplayMode = s.clockDisplay;
    if (QAction *a = m_clockGroup->actions().value(m_clockDisplayMode))
        a->setChecked(true);
    m_navDataFormat = s.navDataFormat;
    // Formats above 2 are shown as dd.ddd.
    m_navFormatGroup->actions().value(m_navDataFormat >= 0 && m_navDataFormat <= 2 ? m_navDataFormat : 0)->setChecked(true);
    m_satelliteSortMode = s.satelliteSortMode;

    m_toolBar->setVisible(s.toolbarVisible);
    action(QStringLiteral("actionToolbar"))->setChecked(s.toolbarVisible);

    m_station.setSoundFlags(s.soundTicks, s.soundOutOfLock);
    m_soundGroup->actions().value(int(soundModeOf(s.soundTicks, s.soundOutOfLock)))->setChecked(true);
}

void MainWindow::startDeferredUpdateCheck()
{
    m_updateCheckTimer.setSingleShot(true);
    m_updateCheckTimer.setTimerType(Qt::CoarseTimer);
    m_updateCheckTimer.setInterval(UpdateCheckDelayMs);
    connect(&m_updateCheckTimer, &QTimer::timeout, this, [this] {
        if (QSettings().value(QStringLiteral("Updates/AutoCheck"), true).toBool())
            StartUpdateCheck(false);
    });
    m_updateCheckTimer.start();
}

void MainWindow::connectReceiverDetection()
{
    ReceiverDetection *detection = &m_station.detection();
    // OK in "GPS Receiver Mode Selections" sends the settings at once.
    m_rxDialog->applyReceiverSettings = [this](const ReceiverSettings &settings) {
        m_station.applyReceiverSettings();
        const int mode = m_station.state().receiverMode;
        if (mode == ReceiverMode::MotorolaBinary || mode == ReceiverMode::MotorolaNmea)
            m_receiverLabel->setText(ReceiverSettingsCommands::withPvt6Suffix(m_receiverLabel->text(), settings.emulatePvt6));
    };
    connect(detection, &ReceiverDetection::statusText, this, [this](const QString &text) {
        m_receiverLabel->setText(Station::labelledForSimulator(text, m_station.simulatedReceiver()));
    });
    connect(detection, &ReceiverDetection::receiverDescription, this, [this](const QString &text) {
        m_receiverLabel->setText(Station::labelledForSimulator(text, m_station.simulatedReceiver()));
    });
    // Detection runs unattended too (at start, after a lost port came back): its boxes only
    // open with someone at a screen; otherwise their text goes to the status bar and the log.
    connect(detection, &ReceiverDetection::warningBox, this, [this](const QString &title, const QString &text) {
        if (displayPresent())
            MessageBoxes::warning(this, title, text);
        else
            tellUnattended(title, text);
    });
    connect(detection, &ReceiverDetection::informationBox, this, [this](const QString &title, const QString &text) {
        if (displayPresent())
            MessageBoxes::information(this, title, text);
        else
            tellUnattended(title, text);
    });
    connect(detection, &ReceiverDetection::portSettingsActionEnabled, this,
            [this](bool enabled) { action(QStringLiteral("actionSet_Serial_Port"))->setEnabled(enabled); });
    connect(detection, &ReceiverDetection::busyCursor, this, [this](bool busy) {
        m_progressBar->setVisible(busy);
        if (busy)
            QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
        else
            QApplication::restoreOverrideCursor();
    });
}

void MainWindow::connectReceiver()
{
    if (m_station.closing())
        return;
    if (m_receiverConnector)
        m_receiverConnector();
    else
        m_station.detection().connectReceiver();
}

QSoundEffect *MainWindow::soundEffect(Station::TickSound sound) const
{
    const int i = int(sound);
    return (i >= 0 && i < int(m_sounds.size())) ? m_sounds[i] : nullptr;
}

void MainWindow::playTickSound(Station::TickSound sound)
{
    // Without an audio device the effect reports an error status and play() returns at once.
    if (QSoundEffect *effect = soundEffect(sound); effect && effect->status() != QSoundEffect::Error)
        effect->play();
}

void MainWindow::lightHeartbeat()
{
    m_heartbeatLabel->setPixmap(m_iconOn);
    m_heartbeatTimer.start();
}

void MainWindow::ResetHeartbeat()
{
    m_heartbeatLabel->setPixmap(m_iconOff);
}

void MainWindow::ResetNtpIndicator()
{
    m_ntpLabel->setPixmap(m_ntpOff);
}

std::optional<bool> MainWindow::s_displayPresent;

bool MainWindow::displayPresent()
{
    if (s_displayPresent)
        return *s_displayPresent;
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

void MainWindow::showErrorMessageBox(const QString &errmsg)
{
    statusBar()->showMessage(QString(errmsg).replace(QLatin1String("\r\n\r\n"), QLatin1String(" ")));
    // Only someone at a screen can answer a box, and never more than one at a time: a box's
    // own event loop must not stack the next error's box on it.
    if (!displayPresent() || m_errorBoxOpen)
        return;
    m_errorBoxOpen = true;
    MessageBoxes::warning(this, QCoreApplication::applicationName(), errmsg);
    m_errorBoxOpen = false;
}

void MainWindow::showLinkNotice(const QString &text)
{
    // Out of the port's own signal: the box's event loop runs from the window's.
    statusBar()->showMessage(QString(text).replace(QLatin1String("\r\n\r\n"), QLatin1String(" ")));
    if (!displayPresent() || m_errorBoxOpen)
        return;
    QTimer::singleShot(0, this, [this, text] { showErrorMessageBox(text); });
}

void MainWindow::tellUnattended(const QString &title, const QString &text)
{
    const QString line = title + QStringLiteral(": ") + QString(text).replace(QLatin1Char('\n'), QLatin1Char(' '));
    statusBar()->showMessage(line);
    m_station.appendPlainText_to_RawDataDialog_and_Log(line);
}

void MainWindow::showStale(bool stale, const QString &text)
{
    if (stale == m_showingStale && (!stale || m_fixLabel->text() == text))
        return;
    m_showingStale = stale;
    const QString grey = stale ? QStringLiteral("color:gray") : QString();
    m_clockLabel->setStyleSheet(grey);
    m_timeInfoLabel->setStyleSheet(grey);
    m_fixLabel->setStyleSheet(grey);
    showField(m_fixLabel, stale ? text : m_fixText);
    m_satelliteTable->setEnabled(!stale);
}

void MainWindow::showSimulatorMark()
{
    const bool simulated = m_station.simulatedReceiver();
    setWindowTitle(Station::labelledForSimulator(QStringLiteral("Chronode"), simulated));
    if (m_receiverLabel)
        m_receiverLabel->setText(Station::labelledForSimulator(m_receiverLabel->text(), simulated));
}

void MainWindow::setDefaultStatusTipText(const QString &message)
{
    if (message.isEmpty())
        statusBar()->showMessage(kDefaultStatusText);
}

void MainWindow::TelnetLinkInterface()
{
    if (m_telnetLinkHandler) {
        m_telnetLinkHandler();
        return;
    }
    if (!m_telnetLink)
        m_telnetLink = new TelnetLink(this);
    if (m_telnetLink->exec() == QDialog::Accepted)
        m_station.remote().applySettings(m_telnetLink->settings());
}

void MainWindow::StartUpdateCheck(bool bManual)
{
    emit updateCheckRequested(bManual);
}

void MainWindow::appendPlainText_to_RawDataDialog_and_Log(const QString &text)
{
    m_station.appendPlainText_to_RawDataDialog_and_Log(text);
}

void MainWindow::showHelp(const QString &page)
{
    if (!m_help)
        m_help = std::make_unique<HelpWindow>();
    m_help->showHelp(page);
}

void MainWindow::actionExit_triggered()
{
    close();
    QCoreApplication::quit();
}

void MainWindow::actionGps_Raw_Data_triggered()
{
    m_rawData->show();
    m_rawData->raise();
    m_station.state().rawWindowOpened = true;
}

void MainWindow::actionSet_Serial_Port_triggered()
{
    QSettings settings;
    const GpsPortSettings before = GpsPortSettings::load(settings);
    m_station.detection().setLastGoodRate(before.dataRate);
    if (m_portDialog->exec() != QDialog::Accepted)
        return;
    settings.sync();
    applyPortSettingsChange(before, GpsPortSettings::load(settings));
}

void MainWindow::applyPortSettingsChange(const GpsPortSettings &before, const GpsPortSettings &after)
{
    QSettings settings;
    m_station.readPortSettings(settings);
    switch (Station::classifyPortChange(before, after)) {
    case Station::PortChange::None:
        // OK with unchanged settings still reopens the port: the way back after a fault.
        emit startGpsSerialPort(false);
        connectReceiver();
        break;
    case Station::PortChange::RateOnly:
        m_station.detection().changePortRate(before.dataRate, after.dataRate);
        break;
    case Station::PortChange::Reconnect:
        emit startGpsSerialPort(false);
        connectReceiver();
        break;
    }
    showSimulatorMark();
}

void MainWindow::actionTIC_Serial_Ports_triggered()
{
    const auto before = CounterLinks::loadAll();
    if (m_ticPortDialog->exec() != QDialog::Accepted)
        return;
    m_station.counterLinks().restartChanged(before, CounterLinks::loadAll());
    QSettings settings;
    m_station.readCounterSettings(settings);   // the per-port units
}

void MainWindow::actionReceiver_ID_Message_triggered()
{
    m_rxId->show();
    m_rxId->raise();
}

static ReceiverTools::AskUser askWithBoxes(QWidget *parent)
{
    return [parent](const ReceiverTools::Prompt &prompt) {
        if (!prompt.question) {
            MessageBoxes::information(parent, prompt.title, prompt.text);
            return false;
        }
        return MessageBoxes::question(parent, prompt.title, prompt.text) == QMessageBox::Yes;
    };
}

void MainWindow::startReceiverSelfTest()
{
    if (ReceiverCommandSink *sink = m_station.commandSink())
        ReceiverTools::startReceiverSelfTest(m_station.state(), *sink, askWithBoxes(this));
}

void MainWindow::startReceiverSelfSurvey()
{
    if (ReceiverCommandSink *sink = m_station.commandSink())
        ReceiverTools::startReceiverSelfSurvey(m_station.state(), *sink, askWithBoxes(this));
}

void MainWindow::actionToolbar_triggered(bool checked)
{
    m_toolBar->setVisible(checked);
    QSettings settings;
    MainWindowSettings::storeToolbarVisible(settings, checked);
}

// --- StationDisplay --------------------------------------------------------------------------

QString MainWindow::antennaText(int value)
{
    return StationIndicators::antenna(value).text;
}

QString MainWindow::antennaStyle(int value)
{
    return StationIndicators::antenna(value).styleSheet;
}

QString MainWindow::navigationText(int value)
{
    return StationIndicators::navigation(value).text;
}

QString MainWindow::navigationStyle(int value)
{
    return StationIndicators::navigation(value).styleSheet;
}

void MainWindow::setAntennaIndicator(int value)
{
    m_station.state().antennaState = value;
    const IndicatorLook look = StationIndicators::antenna(value);
    m_antennaLabel->setText(look.text);
    m_antennaLabel->setStyleSheet(look.styleSheet);
}

void MainWindow::setNavigationIndicator(int value)
{
    m_station.state().navigationState = value;
    const IndicatorLook look = StationIndicators::navigation(value);
    m_navigationLabel->setText(look.text);
    m_navigationLabel->setStyleSheet(look.styleSheet);
}

void MainWindow::updateSatelliteTable()
{
    ReceiverState &state = m_station.state();
    if (m_station.closing())
        return;
    m_satelliteTable->apply(m_satelliteModel.fill(state.satellites, state.receiverMode, m_satelliteSortMode));
    emit satelliteTableUpdated();
}

void MainWindow::updateSatelliteCount()
{
    if (const std::optional<QString> text = m_visibleCount.update(m_station.state().visibleCount))
        showField(m_visibleLabel, *text);
}

void MainWindow::setTrackedText(const QString &text)
{
    showField(m_trackedLabel, text);
}

void MainWindow::setUsedText(const QString &text)
{
    showField(m_usedLabel, text);
}

void MainWindow::appendReceiverIdText(const QString &text)
{
    m_rxId->appendText(text);
}

void MainWindow::clearReceiverIdText()
{
    m_rxId->on_ClearScreen_clicked();
}

void MainWindow::setReceiverIdActionEnabled(bool enabled)
{
    action(QStringLiteral("actionRequest_Receiver_ID"))->setEnabled(enabled);
}

void MainWindow::setFixStatusText(const QString &text)
{
    m_fixText = text;
    if (!m_showingStale)
        showField(m_fixLabel, text);
}

void MainWindow::setDopStatusText(const QString &text)
{
    showField(m_dopLabel, text);
}

void MainWindow::refreshClockPanel()
{
    // The station decides when a time message redraws the clock (only without a working 1PPS).
}

// --- shutdown --------------------------------------------------------------------------------

void MainWindow::saveWindowLayout()
{
    QSettings settings;
    MainWindowSettings::storeWindowLayout(settings, saveGeometry(), saveState());
}

void MainWindow::actionView_Satellite_Az_El_Chart_triggered()
{
    m_chartDialog->show();
    m_chartDialog->raise();
}

void MainWindow::actionManual_Commands_triggered()
{
    m_manualCommands->show();
    m_manualCommands->raise();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    m_station.setClosing();
    saveWindowLayout();
    m_chartDialog->saveState();
    m_station.link().stopGpsSerialPort();
    m_station.counterLinks().stopAll();
    const QList<QWidget *> children = findChildren<QWidget *>();
    for (QWidget *w : children) {
        if (w->isWindow() && w->isVisible())
            w->close();
    }
    event->accept();
}
