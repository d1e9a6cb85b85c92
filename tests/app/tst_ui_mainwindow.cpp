#include "app/ui/GpsRawDataDialog.h"
#include "app/ui/GpsRxIdDialog.h"
#include "app/ui/ElidedLabel.h"
#include "app/ui/MainWindow.h"
#include "core/ui/MessageBoxes.h"
#include "receiver/link/GpsSerialPortThread.h"
#include "receiver/setup/ReceiverDetection.h"
#include "support/RecordingAveraging.h"
#include "support/TestSupport.h"
#include "tic/CounterLinks.h"
#include "transport/GpsPortSettings.h"

#include <QApplication>
#include <QAction>
#include <QActionGroup>
#include <QAudioDevice>
#include <QLabel>
#include <QMediaDevices>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScreen>
#include <QSignalSpy>
#include <QSoundEffect>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>

namespace ui_mainwindow_tests {

namespace {

QImage imageOf(const QString &resource)
{
    return QPixmap(resource).toImage().convertToFormat(QImage::Format_ARGB32);
}

QImage labelImage(const QLabel *label)
{
    return label->pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_settings = std::make_unique<TestSupport::TemporarySettings>();
        // No receiver port: the window must start without one.
        QSettings().setValue(QStringLiteral("GpsPortDialog/GPS Serial Port"), QStringLiteral("OFF"));
        m_boxes.clear();
        MessageBoxes::setHandler([this](const MessageBoxes::Box &box) {
            m_boxes << box;
            return QMessageBox::Ok;
        });
    }

    void cleanup()
    {
        MessageBoxes::setHandler({});
        m_settings.reset();
    }

    void startsWithIdentityAndStatusBar()
    {
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));

        QCOMPARE(QCoreApplication::organizationName(), QStringLiteral("KTW Systems"));
        QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("Chronode"));
        QCOMPARE(QCoreApplication::applicationVersion(), QStringLiteral("1.2.10"));

        QCOMPARE(w.statusBar()->currentMessage(), QStringLiteral("For Help, press F1"));
        auto *antenna = w.findChild<QLabel *>(QStringLiteral("AntennaLabel"));
        auto *nav = w.findChild<QLabel *>(QStringLiteral("NavigationLabel"));
        auto *receiver = w.findChild<QLabel *>(QStringLiteral("ReceiverLabel"));
        auto *heartbeat = w.findChild<QLabel *>(QStringLiteral("HeartbeatLabel"));
        auto *ntp = w.findChild<QLabel *>(QStringLiteral("NtpLabel"));
        QVERIFY(antenna && nav && receiver && heartbeat && ntp);
        QCOMPARE(antenna->text(), QStringLiteral("Ant Unknown"));
        QCOMPARE(antenna->styleSheet(), QStringLiteral("padding: 2px 5px; color:black; background-color:white"));
        QCOMPARE(nav->text(), QStringLiteral("Nav Unknown"));
        QCOMPARE(nav->styleSheet(), QStringLiteral("padding: 2px 5px; color:black; background-color:white"));
        QCOMPARE(receiver->text(), QStringLiteral("Initializing"));
        QVERIFY(!imageOf(QStringLiteral(":/icons/res/icon_off.png")).isNull());
        QCOMPARE(labelImage(heartbeat), imageOf(QStringLiteral(":/icons/res/icon_off.png")));
        QCOMPARE(labelImage(ntp), imageOf(QStringLiteral(":/icons/res/IconNtpOff.png")));
        QVERIFY(imageOf(QStringLiteral(":/icons/res/IconNtpOn.png")) != imageOf(QStringLiteral(":/icons/res/IconNtpOff.png")));

        // With every field showing, a first start still has room for a simulated receiver's
        // whole description; a narrow window cuts it with "…" but keeps the whole text.
        const QString described = QStringLiteral("Motorola M12+, Bin, 12 ch, V2.0, TRAIM (simulated receiver)");
        receiver->setText(described);
        w.setFixStatusText(QStringLiteral("3-D Fix"));
        w.setDopStatusText(QStringLiteral("PDOP =  1.4"));
        w.station().state().visibleCount.set(8);
        w.updateSatelliteCount();
        w.setTrackedText(QStringLiteral("8 Tracked"));
        w.setUsedText(QStringLiteral("8 Used"));
        w.setAntennaIndicator(0);
        w.setNavigationIndicator(1);
        // A first start opens as wide as that, or as the screen.
        QCOMPARE(w.width(), qMin(int(MainWindow::DefaultWidth), w.screen()->availableGeometry().width()));
        w.resize(MainWindow::DefaultWidth, w.height());
        QTRY_VERIFY(receiver->width() >= receiver->sizeHint().width());
        auto *elided = dynamic_cast<ElidedLabel *>(receiver);
        QVERIFY(elided && !elided->elided());
        w.resize(480, w.height());
        QTRY_VERIFY(elided->elided());
        QCOMPARE(receiver->text(), described);
        receiver->setText(QStringLiteral("Initializing"));

        // Indicators follow the decoders.
        w.setAntennaIndicator(1);
        QCOMPARE(antenna->text(), QStringLiteral("Ant OC Short"));
        QCOMPARE(antenna->styleSheet(), QStringLiteral("padding: 2px 5px; color:white; background-color:red"));
        w.setAntennaIndicator(9);
        QCOMPARE(antenna->text(), QStringLiteral("Ant Unknown"));
        w.setNavigationIndicator(2);
        QCOMPARE(nav->text(), QStringLiteral("Surveying"));
        QCOMPARE(nav->styleSheet(), QStringLiteral("padding: 2px 5px; color:black; background-color:yellow"));
        QCOMPARE(w.station().state().navigationState, 2);

        QVERIFY(w.appStartTime().isValid());
        QVERIFY(!w.closing());
        // The stored port mode decides the receiver mode from the start.
        QCOMPARE(w.station().state().receiverMode, 2);
        QCOMPARE(w.station().link().ppsInterface(), 1);
    }

    void exclusiveGroups()
    {
        MainWindow w;
        const QList<QPair<QString, int>> groups = { { QStringLiteral("actionUTC"), 8 },
                                                    { QStringLiteral("actiondegrees_dd_ddd"), 3 },
                                                    { QStringLiteral("actionSoundAll"), 4 } };
        for (const auto &g : groups) {
            QActionGroup *group = w.action(g.first)->actionGroup();
            QVERIFY(group);
            QVERIFY(group->isExclusive());
            QCOMPARE(group->actions().size(), g.second);
        }
        // Defaults checked after the restore.
        QVERIFY(w.action(QStringLiteral("actionUTC"))->isChecked());
        QVERIFY(w.action(QStringLiteral("actiondegrees_dd_ddd"))->isChecked());
        QVERIFY(w.action(QStringLiteral("actionSoundAll"))->isChecked());
        QVERIFY(w.station().soundTicks());
        QVERIFY(w.station().soundOutOfLock());

        w.action(QStringLiteral("actionMJD"))->trigger();
        QVERIFY(!w.action(QStringLiteral("actionUTC"))->isChecked());
        QCOMPARE(w.clockDisplayMode(), 4);
        QCOMPARE(QSettings().value(QStringLiteral("MainWindow/ClockDisplay")).toInt(), 4);
        w.action(QStringLiteral("actiondegrees_minutes_seconds_dd_mm_ss_sss"))->trigger();
        QCOMPARE(w.navDataFormat(), 2);
        QCOMPARE(QSettings().value(QStringLiteral("MainWindow/Navigation Data Format")).toInt(), 2);
    }

    void defaultStatusTextReturns()
    {
        MainWindow w;
        w.show();
        w.statusBar()->showMessage(QStringLiteral("Working"));
        QCOMPARE(w.statusBar()->currentMessage(), QStringLiteral("Working"));
        w.statusBar()->clearMessage();
        QCOMPARE(w.statusBar()->currentMessage(), QStringLiteral("For Help, press F1"));
    }

    // Status-bar fields are panels shown only with a text; the progress bar only while the
    // receiver is searched for or set up.
    void statusBarFields()
    {
        MainWindow w;
        w.show();
        auto *fix = w.findChild<QLabel *>(QStringLiteral("FixLabel"));
        auto *progress = w.findChild<QProgressBar *>(QStringLiteral("StatusProgressBar"));
        QVERIFY(fix && progress && !fix->isVisible() && !progress->isVisible());
        w.setFixStatusText(QStringLiteral("3-D Fix: PDOP = 1.6"));
        QVERIFY(fix->isVisible() && fix->frameShape() != QFrame::NoFrame);
        w.setFixStatusText(QString());
        QVERIFY(!fix->isVisible());
        emit w.receiverDetection().busyCursor(true);
        QVERIFY(progress->isVisible());
        emit w.receiverDetection().busyCursor(false);
        QVERIFY(!progress->isVisible());
    }

    // With someone at a screen a port error opens one box; a second error while it is open only
    // reaches the status bar (offscreen, the link-loss tests show no box at all).
    void errorMessagesGoToWarningBox()
    {
        MainWindow::setDisplayPresent(true);
        MainWindow w;
        const QString text = QStringLiteral("Can't open TIC Port COM9\r\n\r\n\"Unknown Error\"");
        MessageBoxes::setHandler([&](const MessageBoxes::Box &box) {
            m_boxes << box;
            emit w.station().counterLinks().showErrorMessageBox(QStringLiteral("Can't open TIC Port COM8"));
            return QMessageBox::Ok;
        });
        emit w.station().counterLinks().showErrorMessageBox(text);
        MainWindow::setDisplayPresent(std::nullopt);
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes.first().text, text);
        QCOMPARE(w.statusBar()->currentMessage(), QStringLiteral("Can't open TIC Port COM8"));
    }

    void heartbeatLightsAndResets()
    {
        MainWindow w;
        w.show();
        auto *heartbeat = w.findChild<QLabel *>(QStringLiteral("HeartbeatLabel"));
        const QImage on = imageOf(QStringLiteral(":/icons/res/icon_on.png"));
        const QImage off = imageOf(QStringLiteral(":/icons/res/icon_off.png"));
        QVERIFY(on != off);
        emit w.station().link().PpsTick();
        QCOMPARE(labelImage(heartbeat), on);
        QTRY_COMPARE(labelImage(heartbeat), off);
    }

    void soundsWithoutAudioDevice_data()
    {
        QTest::addColumn<int>("sound");
        QTest::addColumn<QString>("source");
        QTest::addColumn<double>("volume");
        QTest::newRow("minuteTick") << int(Station::TickSound::Minute) << "qrc:/sounds/res/MinuteTick.wav" << 0.5;
        QTest::newRow("secondTick") << int(Station::TickSound::Second) << "qrc:/sounds/res/SecondTick.wav" << 1.0;
        QTest::newRow("warnTick") << int(Station::TickSound::Warn) << "qrc:/sounds/res/WarnTick.wav" << 0.7;
    }
    void soundsWithoutAudioDevice()
    {
        QFETCH(int, sound);
        QFETCH(QString, source);
        QFETCH(double, volume);
        MainWindow w;
        QSoundEffect *effect = w.soundEffect(Station::TickSound(sound));
        QVERIFY(effect);
        QCOMPARE(effect->source(), QUrl(source));
        // Without an audio output the effect reports full volume whatever was set.
        if (!QMediaDevices::audioOutputs().isEmpty())
            QTRY_COMPARE(qRound(effect->volume() * 100), qRound(volume * 100));
        QVERIFY(QFile::exists(QStringLiteral(":") + source.mid(4)));

        // Playing repeatedly, as a minute of ticks would, must neither crash nor stall the event
        // loop, whatever audio output this machine has.
        bool loopRan = false;
        for (int i = 0; i < 60; ++i)
            w.playTickSound(Station::TickSound(sound));
        QTimer::singleShot(0, &w, [&loopRan] { loopRan = true; });
        QTRY_VERIFY(loopRan);
    }

    void soundMenuSetsFlags()
    {
        MainWindow w;
        w.action(QStringLiteral("actionSoundClockTicksOnly"))->trigger();
        QVERIFY(w.station().soundTicks());
        QVERIFY(!w.station().soundOutOfLock());
        QCOMPARE(QSettings().value(QStringLiteral("MainWindow/Sound")).toBool(), true);
        QCOMPARE(QSettings().value(QStringLiteral("MainWindow/Sound OOL")).toBool(), false);
        w.action(QStringLiteral("actionSoundNone"))->trigger();
        QVERIFY(!w.station().soundTicks());
        QVERIFY(!w.station().soundOutOfLock());
        QCOMPARE(QSettings().value(QStringLiteral("MainWindow/Sound")).toBool(), false);
    }

    void deferredUpdateCheck_data()
    {
        QTest::addColumn<QVariant>("autoCheck");
        QTest::addColumn<int>("expectedRequests");
        QTest::newRow("key missing") << QVariant() << 1;
        QTest::newRow("enabled") << QVariant(true) << 1;
        QTest::newRow("disabled") << QVariant(false) << 0;
    }
    void deferredUpdateCheck()
    {
        QFETCH(QVariant, autoCheck);
        QFETCH(int, expectedRequests);
        if (autoCheck.isValid())
            QSettings().setValue(QStringLiteral("Updates/AutoCheck"), autoCheck);
        // A check made just now: the request is judged not due and nothing leaves this machine.
        QSettings().setValue(QStringLiteral("Updates/LastCheck"), QDateTime::currentSecsSinceEpoch());
        MainWindow w;
        QTimer &timer = w.updateCheckTimer();
        QVERIFY(timer.isActive());
        QVERIFY(timer.isSingleShot());
        QCOMPARE(timer.interval(), 20000);
        QCOMPARE(timer.timerType(), Qt::CoarseTimer);
        QSignalSpy requests(&w, &MainWindow::updateCheckRequested);
        timer.start(0);   // let the 20 s pass at once
        QTRY_VERIFY(!timer.isActive());
        QCoreApplication::processEvents();
        QCOMPARE(requests.count(), expectedRequests);
        if (expectedRequests)
            QCOMPARE(requests.first().first().toBool(), false);
    }

    void ctrlTOpensRemoteLink()
    {
        MainWindow w;
        int opened = 0;
        w.setTelnetLinkHandler([&opened] { ++opened; });
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QTest::keyClick(&w, Qt::Key_T, Qt::ControlModifier);
        QCOMPARE(opened, 1);
        w.action(QStringLiteral("actionRemote_Control_Link"))->trigger();
        QCOMPARE(opened, 2);
    }

    void rawDataWindowRouting()
    {
        MainWindow w;
        w.show();
        GpsRawDataDialog *raw = w.rawDataDialog();
        QVERIFY(!raw->isVisible());
        w.OnNewGpsText(QByteArrayLiteral("-- PPS --"));   // arrives while the window is closed
        QVERIFY(!w.station().state().rawWindowOpened);
        w.action(QStringLiteral("actionGps_Raw_Data"))->trigger();
        QVERIFY(raw->isVisible());
        QVERIFY(w.station().state().rawWindowOpened);
        QVERIFY(raw->textView()->toPlainText().isEmpty());
        QCOMPARE(raw->windowTitle(), QStringLiteral("GPS Raw Data"));

        w.station().state().receiverBusy = true;
        w.OnNewGpsText(QByteArrayLiteral("-- PPS --"));
        w.OnNewGpsText(QByteArrayLiteral("@@Ha"));   // ignored while busy
        QCOMPARE(raw->textView()->toPlainText(), QStringLiteral("-- PPS --"));

        // Closing the main window closes its other windows.
        w.close();
        QVERIFY(!raw->isVisible());
    }

    void closingWritesLayout()
    {
        {
            MainWindow w;
            w.resize(812, 534);
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
            QVERIFY(!QSettings().contains(QStringLiteral("MainWindow/geometry")));
            QVERIFY(w.close());
            QVERIFY(w.closing());
            QVERIFY(!w.station().link().isPolling());
            // Closed: a pulse and a message change nothing any more.
            QSignalSpy sounds(&w.station(), &Station::playSound);
            emit w.station().link().PpsTick();
            QCOMPARE(sounds.count(), 0);
            QSettings s;
            QVERIFY(!s.value(QStringLiteral("MainWindow/geometry")).toByteArray().isEmpty());
            QVERIFY(!s.value(QStringLiteral("MainWindow/windowState")).toByteArray().isEmpty());
            s.remove(QStringLiteral("MainWindow/geometry"));
        }
        // The destructor writes them again.
        QVERIFY(!QSettings().value(QStringLiteral("MainWindow/geometry")).toByteArray().isEmpty());

        MainWindow again;
        again.show();
        QVERIFY(QTest::qWaitForWindowExposed(&again));
        QCOMPARE(again.size(), QSize(812, 534));
    }

    void portDialogChangeRereadsMode()
    {
        MainWindow w;
        int connects = 0;
        w.setReceiverConnector([&connects] { ++connects; });
        QSettings settings;
        const GpsPortSettings before = GpsPortSettings::load(settings);
        QCOMPARE(w.station().state().receiverMode, 2);

        // OK with nothing changed still reopens the port and detects the receiver again (the
        // way back after a fault), from the stored mode.
        w.station().state().receiverMode = 11;
        w.applyPortSettingsChange(before, before);
        QCOMPARE(connects, 1);
        QCOMPARE(w.station().state().receiverMode, 2);
        connects = 0;

        // A new mode is taken from the stored text before detection runs again.
        GpsPortSettings after = before;
        after.modeText = QStringLiteral("u-blox NMEA");
        after.ppsInterface = 3;
        after.save(settings);
        w.applyPortSettingsChange(before, after);
        QCOMPARE(w.station().state().receiverMode, 10);
        QCOMPARE(w.station().state().ppsInterface, 3);
        QCOMPARE(w.station().link().ppsInterface(), 3);
        QCOMPARE(connects, 1);
    }

    void receiverIdWindowKeepsTexts()
    {
        MainWindow w;
        w.show();
        StationDisplay &display = w;
        GpsRxIdDialog *id = w.receiverIdDialog();
        QVERIFY(!id->isVisible());
        // The identity arrives at set-up, long before anyone opens the window.
        display.appendReceiverIdText(QStringLiteral("MODEL # P273T12T11"));
        display.appendReceiverIdText(QString::fromLatin1(GpsRxIdDialog::Separator).trimmed());
        w.action(QStringLiteral("actionReceiver_ID_Message"))->trigger();
        QVERIFY(id->isVisible());
        QCOMPARE(id->windowTitle(), QStringLiteral("Receiver ID  Message"));
        QCOMPARE(id->textView()->toPlainText(), QStringLiteral("MODEL # P273T12T11\n---------------------------------"));
        display.clearReceiverIdText();
        QVERIFY(id->textView()->toPlainText().isEmpty());

        display.setReceiverIdActionEnabled(false);
        QVERIFY(!w.action(QStringLiteral("actionRequest_Receiver_ID"))->isEnabled());
        display.setFixStatusText(QStringLiteral("3-D Fix, "));
        QCOMPARE(w.findChild<QLabel *>(QStringLiteral("FixLabel"))->text(), QStringLiteral("3-D Fix, "));
        display.setDopStatusText(QStringLiteral("DOPs: T = 1.4, P = 2.4, H = 1.1, V = 2.1"));
        QCOMPARE(w.findChild<QLabel *>(QStringLiteral("DopLabel"))->text(),
                 QStringLiteral("DOPs: T = 1.4, P = 2.4, H = 1.1, V = 2.1"));
        w.station().state().visibleCount.set(7);
        display.updateSatelliteCount();
        QCOMPARE(w.findChild<QLabel *>(QStringLiteral("VisibleLabel"))->text(), QStringLiteral("7 Visible"));
        QVERIFY(!w.station().state().visibleCount.changed);
    }

private:
    std::unique_ptr<TestSupport::TemporarySettings> m_settings;
    QList<MessageBoxes::Box> m_boxes;
};

} // namespace ui_mainwindow_tests

// The Tools menu's self test and self survey reach the user through the message boxes and the
// receiver through the command path.
namespace ui_receivertools_tests {

class TestUiReceiverTools : public QObject
{
    Q_OBJECT

private Q_SLOTS:

    void menuActions_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QMessageBox::StandardButton>("answer");
        QTest::addColumn<int>("boxKind");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QList<QByteArray>>("sent");

        const int question = int(MessageBoxes::Kind::Question);
        const QString test = QStringLiteral("<b>GPS Receiver Self Test</b>");
        const QString survey = QStringLiteral("<b>GPS Receiver Self Survey</b>");
        using L = QList<QByteArray>;
        // Which commands and texts go out in each mode is tst_receivertools' part; here the menu
        // wiring through the message-box seam, including a box closed with Escape.
        QTest::newRow("self test yes") << "actionReceiver_Self_Test" << 2 << QMessageBox::Yes << question << test
                                       << L { "@@Ia" };
        QTest::newRow("self survey yes") << "actionReceiver_Self_Survey" << 2 << QMessageBox::Yes << question << survey
                                         << L { QByteArray("@@Gd\x03", 5) };
        QTest::newRow("self survey closed") << "actionReceiver_Self_Survey" << 2 << QMessageBox::Escape << question
                                            << survey << L {};
    }
    void menuActions()
    {
        QFETCH(QString, action);
        QFETCH(int, mode);
        QFETCH(QMessageBox::StandardButton, answer);
        QFETCH(int, boxKind);
        QFETCH(QString, title);
        QFETCH(QList<QByteArray>, sent);

        TestSupport::TemporarySettings settings;
        QSettings().setValue(QStringLiteral("GpsPortDialog/GPS Serial Port"), QStringLiteral("OFF"));
        QList<MessageBoxes::Box> boxes;
        MessageBoxes::setHandler([&](const MessageBoxes::Box &box) {
            boxes << box;
            return answer;
        });

        {
            MainWindow w;
            RecordingCommands sink;
            w.station().setCommandSink(&sink);
            w.station().state().receiverMode = mode;
            w.station().state().receiverModel = ReceiverModelCode::M12Plus;
            w.station().state().channelCount = 12;
            QAction *a = w.action(action);
            QVERIFY(a);
            a->trigger();
            QCOMPARE(boxes.size(), 1);
            QCOMPARE(int(boxes[0].kind), boxKind);
            QCOMPARE(boxes[0].title, title);
            QCOMPARE(sink.sent, sent);
            w.station().setCommandSink(nullptr);
        }
        MessageBoxes::setHandler({});
    }
};

} // namespace ui_receivertools_tests

CHRONODE_TEST_GUI_MAIN(ui_mainwindow_tests::TestMainWindow, ui_receivertools_tests::TestUiReceiverTools)
#include "tst_ui_mainwindow.moc"
