#pragma once

#include "app/MainWindowSettings.h"
#include "app/SatelliteTableModel.h"
#include "app/Station.h"
#include "transport/GpsPortSettings.h"
#include "receiver/DecoderContext.h"

#include <QDateTime>
#include <QHash>
#include <QMainWindow>
#include <QPixmap>
#include <QTimer>
#include <array>
#include <functional>
#include <memory>
#include <optional>

class QAction;
class QActionGroup;
class QLabel;
class ElidedLabel;
class QProgressBar;
class QSoundEffect;
class QTableWidget;
class SatelliteTableView;
class QPushButton;
class QToolBar;
class GpsRawDataDialog;
class GpsRxIdDialog;
class AveragingEngine;
class GpsNavDialog;
class ReferenceLocationDialog;
class SatelliteSelect;
class GpsPortDialog;
class GpsRxDialog;
class TicPortDialog;
class TicRawDataDialog;
class TicProcessedDataDialog;
class TimingDialog;
class CoaxDialog;
class HelpWindow;
class UpdatePresenter;
class ManualCommandDialog;
class LogMenus;
class SatAzElChartDialog;
class ReceiverDetection;
class TelnetLink;
class StationPcClock;
class SetPcClockDialog;

// The program's one window. Owns the station (receiver state, receiver link, cycle), the tick
// sounds, the status-bar indicators and the menus. Behaviour lives in the station and the
// subsystems' headless classes; this class shows what they report.
class MainWindow : public QMainWindow, public StationDisplay
{
    Q_OBJECT
public:
    static constexpr int HeartbeatMs = 300;
    static constexpr int UpdateCheckDelayMs = 20000;
    // Width of a first start's window (no stored geometry).
    static constexpr int DefaultWidth = 980;

    explicit MainWindow(QWidget *parent = nullptr, const StationLaunchOptions &options = {});
    ~MainWindow() override;

    Station &station() { return m_station; }
    AveragingEngine &averagingEngine();
    GpsNavDialog *gpsNavDialog() const { return m_navDialog; }
    GpsRxDialog *gpsRxDialog() const { return m_rxDialog; }
    ReferenceLocationDialog *referenceLocationDialog() const { return m_refDialog; }
    SatelliteSelect *satelliteSelectDialog() const { return m_satelliteSelect; }
    SatAzElChartDialog *satAzElChartDialog() const { return m_chartDialog; }
    ManualCommandDialog *manualCommandDialog() const { return m_manualCommands; }
    SetPcClockDialog *setPcClockDialog() const { return m_pcClockDialog; }
    const QDateTime &appStartTime() const { return m_appStartTime; }
    bool closing() const { return m_station.closing(); }

    // Menu actions by object name ("actionUTC", "actionSet_PC_Clock", ...), for the subsystems
    // that connect behaviour to them.
    QAction *action(const QString &objectName) const { return m_actions.value(objectName); }
    QSoundEffect *soundEffect(Station::TickSound sound) const;
    GpsRawDataDialog *rawDataDialog() const { return m_rawData; }
    GpsRxIdDialog *receiverIdDialog() const { return m_rxId; }
    QTimer &updateCheckTimer() { return m_updateCheckTimer; }

    int clockDisplayMode() const { return m_clockDisplayMode; }
    int navDataFormat() const { return m_navDataFormat; }
    int satelliteSortMode() const { return m_satelliteSortMode; }
    SatelliteTableView *satelliteTable() const { return m_satelliteTable; }
    // The satellite table's sorted working copy (what the sky chart draws).
    const SatelliteTableModel &satelliteTableModel() const { return m_satelliteModel; }

    // Receiver detection at start-up and after port changes (three attempts, then a warning).
    // A connector installed here replaces it (tests).
    void setReceiverConnector(std::function<void()> connect) { m_receiverConnector = std::move(connect); }
    void connectReceiver();
    ReceiverDetection &receiverDetection() { return m_station.detection(); }
    // Ctrl+T and the menu entry run the remote-control link dialog; a handler installed here
    // runs instead (tests).
    void setTelnetLinkHandler(std::function<void()> handler) { m_telnetLinkHandler = std::move(handler); }

    // StationDisplay
    void setAntennaIndicator(int value) override;
    void setNavigationIndicator(int value) override;
    // Refills the satellite table from the receiver state; skipped while closing.
    void updateSatelliteTable() override;
    void updateSatelliteCount() override;
    void setTrackedText(const QString &text) override;
    void setUsedText(const QString &text) override;
    void refreshClockPanel() override;
    void appendReceiverIdText(const QString &text) override;
    void clearReceiverIdText() override;
    void setReceiverIdActionEnabled(bool enabled) override;
    void setFixStatusText(const QString &text) override;
    void setDopStatusText(const QString &text) override;

    // Text and style sheet of the antenna and navigation indicators for a state value.
    static QString antennaText(int value);
    static QString antennaStyle(int value);
    static QString navigationText(int value);
    static QString navigationStyle(int value);

    // Whether boxes can be answered: a real display (not offscreen). Tests may decide.
    static bool displayPresent();
    static void setDisplayPresent(std::optional<bool> present) { s_displayPresent = present; }

Q_SIGNALS:
    void window_loaded();
    void sendGpsMessage(QByteArray message);
    void startGpsSerialPort(bool bLoadFirmwareMode);
    void startTicSerialPort1(int port);
    void startTicSerialPort2(int port);
    void startTicSerialPort3(int port);
    void startTicSerialPort4(int port);
    void startTicSerialPort5(int port);
    void startTicSerialPort6(int port);
    void startTicSerialPort7(int port);
    void startTicSerialPort8(int port);
    // An update check is asked for (bManual false: the automatic check after start).
    void updateCheckRequested(bool bManual);
    // The satellite table was refilled; satelliteTableModel().sortedCopy() holds the records.
    void satelliteTableUpdated();

public Q_SLOTS:
    void OnNewGpsText(const QByteArray &message) { m_station.OnNewGpsText(message); }
    void OnClockTick() { m_station.OnClockTick(); }
    void ResetHeartbeat();
    void ResetNtpIndicator();
    // A port error: the status bar, and a warning box when someone is at a screen and no
    // other error box is open.
    void showErrorMessageBox(const QString &errmsg);
    // A receiver link notice (one per loss): as an error, out of the port's own signal.
    void showLinkNotice(const QString &text);
    void setDefaultStatusTipText(const QString &message);
    void TelnetLinkInterface();
    // Opens the help viewer on a page (index.htm when empty or missing).
    void showHelp(const QString &page);
    void StartUpdateCheck(bool bManual);
    void appendPlainText_to_RawDataDialog_and_Log(const QString &text);
    void playTickSound(Station::TickSound sound);

    void actionExit_triggered();
    void actionCopy_triggered() {}
    void actionSend_new_firmware_to_GPS_Rx_triggered() {}
    void actionDisable_triggered() {}
    void actionSNTP_Server_RFC_2030_triggered() {}
    void actionUDP_IP_Server_RFC_868_triggered() {}
    void actionGps_Raw_Data_triggered();
    void actionReceiver_ID_Message_triggered();
    void actionView_Satellite_Az_El_Chart_triggered();
    void actionManual_Commands_triggered();
    void actionToolbar_triggered(bool checked);
    // Tools menu: the receiver's own self test and self survey, after asking the user.
    void startReceiverSelfTest();
    void startReceiverSelfSurvey();
    // Runs the port dialog; on OK re-reads the port settings and reconnects the receiver.
    void actionSet_Serial_Port_triggered();
    // After the port settings changed: a pure rate change is negotiated with the receiver,
    // anything else re-opens the port and runs receiver detection again.
    void applyPortSettingsChange(const GpsPortSettings &before, const GpsPortSettings &after);
    // Runs the counter port dialog; on OK restarts the links whose settings changed.
    void actionTIC_Serial_Ports_triggered();
    // "Set PC Clock": the clock synchronisation dialog; OK reloads the synchronisation.
    void actionSet_PC_Clock_triggered();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void createActions();
    void createMenus();
    void createCentralWidgets();
    void createStatusBar();
    void connectReceiverDetection();
    void restoreSettings();
    void startDeferredUpdateCheck();
    void lightHeartbeat();
    void saveWindowLayout();
    QAction *makeAction(const QString &objectName, const QString &text, bool checkable = false);
    // A box's text where nobody can answer a box: status bar, raw-data window and GPS log.
    void tellUnattended(const QString &title, const QString &text);
    // Greys the clock panel, fix text and satellite bars while receiver data is stale.
    void showStale(bool stale, const QString &text);
    // The window title and receiver description say when the receiver is simulated.
    void showSimulatorMark();

    class ClockPanelView;

    // Members in construction order; destroyed in reverse.
    Station m_station;
    std::unique_ptr<ClockPanelView> m_clockPanelView;
    std::array<QSoundEffect *, 3> m_sounds {};
    QPixmap m_iconOff;
    QPixmap m_iconOn;
    QPixmap m_ntpOff;
    QPixmap m_ntpOn;

    QHash<QString, QAction *> m_actions;
    QActionGroup *m_clockGroup = nullptr;
    QActionGroup *m_navFormatGroup = nullptr;
    QActionGroup *m_soundGroup = nullptr;
    QToolBar *m_toolBar = nullptr;
    GpsRawDataDialog *m_rawData = nullptr;
    LogMenus *m_logMenus = nullptr;
    GpsRxIdDialog *m_rxId = nullptr;
    GpsNavDialog *m_navDialog = nullptr;   // holds the averaging engine
    GpsPortDialog *m_portDialog = nullptr;
    GpsRxDialog *m_rxDialog = nullptr;     // "GPS Receiver Mode Selections"
    ReferenceLocationDialog *m_refDialog = nullptr;
    SatelliteSelect *m_satelliteSelect = nullptr;
    TicPortDialog *m_ticPortDialog = nullptr;
    TicRawDataDialog *m_ticRawData = nullptr;
    TicProcessedDataDialog *m_ticProcessedData = nullptr;
    TimingDialog *m_timingDialog = nullptr;   // "Timing Setup"
    CoaxDialog *m_coaxDialog = nullptr;       // made on first use
    UpdatePresenter *m_updates = nullptr;  // runs the update checks asked for
    std::unique_ptr<HelpWindow> m_help;    // made on first use
    SatAzElChartDialog *m_chartDialog = nullptr;      // keeps the sky outlines
    ManualCommandDialog *m_manualCommands = nullptr;
    std::unique_ptr<StationPcClock> m_pcClock;       // installed in the station
    SetPcClockDialog *m_pcClockDialog = nullptr;     // "Set PC Clock"
    QLabel *m_latencyBiasLabel = nullptr;

    QLabel *m_clockLabel = nullptr;
    QLabel *m_timeInfoLabel = nullptr;
    QLabel *m_localTimeLabel = nullptr;
    QLabel *m_siderealLabel = nullptr;
    QTableWidget *m_positionTable = nullptr;
    SatelliteTableView *m_satelliteTable = nullptr;
    SatelliteTableModel m_satelliteModel;
    VisibleCountLabel m_visibleCount;

    QLabel *m_heartbeatLabel = nullptr;
    QLabel *m_ntpLabel = nullptr;
    QLabel *m_antennaLabel = nullptr;
    QLabel *m_navigationLabel = nullptr;
    QLabel *m_visibleLabel = nullptr;
    QLabel *m_trackedLabel = nullptr;
    QLabel *m_usedLabel = nullptr;
    QLabel *m_fixLabel = nullptr;
    QLabel *m_dopLabel = nullptr;
    ElidedLabel *m_receiverLabel = nullptr;
    QProgressBar *m_progressBar = nullptr;

    QTimer m_heartbeatTimer;
    QTimer m_updateCheckTimer;

    int m_clockDisplayMode = 0;
    int m_navDataFormat = 0;
    int m_satelliteSortMode = 4;
    QDateTime m_appStartTime;

    QString m_fixText;          // the last fix text, shown again when data returns
    bool m_showingStale = false;
    bool m_errorBoxOpen = false;
    static std::optional<bool> s_displayPresent;

    std::function<void()> m_receiverConnector;
    std::function<void()> m_telnetLinkHandler;
    TelnetLink *m_telnetLink = nullptr;
};
