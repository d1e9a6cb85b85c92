#include "support/TestSupport.h"

#include "app/Station.h"
#include "core/ui/MessageBoxes.h"
#include "receiver/link/GpsSerialPortThread.h"
#include "receiver/link/ReceiverCommandChannel.h"
#include "receiver/motorola/MotorolaDecoder.h"
#include "receiver/ui/ManualCommandDialog.h"
#include "transport/GpsPortSettings.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

class TestManualCommandDialog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void sendsToSimulatedReceiver();
    void sendRefused_data();
    void sendRefused();
    void fieldsFollowTheRow();

private:
    std::unique_ptr<TestSupport::TemporarySettings> m_settings;
    QList<MessageBoxes::Box> m_boxes;
};

void TestManualCommandDialog::init()
{
    m_settings = std::make_unique<TestSupport::TemporarySettings>();
    m_boxes.clear();
    MessageBoxes::setHandler([this](const MessageBoxes::Box &box) {
        m_boxes << box;
        return QMessageBox::Ok;
    });
}

void TestManualCommandDialog::cleanup()
{
    MessageBoxes::setHandler({});
    m_settings.reset();
}

// "@@Ag" 1E typed into the window goes out through the station to the simulated receiver,
// which echoes it; the echo is decoded like any answer.
void TestManualCommandDialog::sendsToSimulatedReceiver()
{
    QSettings s;
    s.setValue(GpsPortSettings::keyPort(), GpsPortSettings::simulatorPortName());
    s.setValue(GpsPortSettings::keyMode(), ReceiverMode::text(ReceiverMode::MotorolaBinary));
    s.setValue(GpsPortSettings::keyPpsInterface(), 0);
    Station station;
    station.setLaunchOptions({});
    station.commandChannel().setPauseMs(0);
    station.state().rawWindowOpened = true;
    QStringList raw;
    connect(&station, &Station::rawDataText, this, [&raw](const QString &t) { raw << t; });
    station.readPortSettings(s);
    station.link().startGpsSerialPort(false);

    ManualCommandDialog dialog(station.state(), [&station](const QByteArray &c) { station.sendGpsRxCommand(c); });
    dialog.show();
    QVERIFY(dialog.chooseCommand(QStringLiteral("@@Ag")));
    auto *params = dialog.findChild<QLineEdit *>(QStringLiteral("IDC_PARAMETERS"));
    auto *checksum = dialog.findChild<QLineEdit *>(QStringLiteral("IDC_CHECKSUM"));
    QCOMPARE(params->text(), QStringLiteral("FF"));
    params->clear();
    QTest::keyClicks(params, QStringLiteral("1e"));
    QCOMPARE(checksum->text(), QStringLiteral("38"));
    QTest::mouseClick(dialog.findChild<QPushButton *>(QStringLiteral("IDC_SEND")), Qt::LeftButton);

    QVERIFY(raw.contains(QStringLiteral("<- @@Ag<1E><38>")));
    QTRY_VERIFY_WITH_TIMEOUT(raw.contains(QStringLiteral("-> Elevation limit set to 30 degrees")), 5000);
    QVERIFY(m_boxes.isEmpty());
}

void TestManualCommandDialog::sendRefused_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("busy");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QString>("box");   // "title|text", empty: none

    QTest::newRow("illegal hex") << 2 << false << "0C 1E 2G" << true << "HEX Number Error|Illegal HEX character in parameter field.";
    QTest::newRow("too short") << 2 << false << "0C1E" << true << "Message Error|Improperly formed message, cannot send.";
    QTest::newRow("receive only") << 3 << false << "0C1E2D" << false << "";
    QTest::newRow("receiver being set up") << 2 << true << "0C1E2D" << false << "";
}

void TestManualCommandDialog::sendRefused()
{
    QFETCH(int, mode);
    QFETCH(bool, busy);
    QFETCH(QString, typed);
    QFETCH(bool, enabled);
    QFETCH(QString, box);
    ReceiverState state;
    state.receiverMode = ReceiverMode::MotorolaBinary;
    QList<QByteArray> sent;
    ManualCommandDialog dialog(state, [&sent](const QByteArray &c) { sent << c; });
    dialog.show();
    auto *send = dialog.findChild<QPushButton *>(QStringLiteral("IDC_SEND"));
    QVERIFY(dialog.chooseCommand(QStringLiteral("@@Aa")));
    QVERIFY(send->isEnabled());
    state.receiverMode = mode;
    state.receiverBusy = busy;
    QTRY_COMPARE(send->isEnabled(), enabled);   // the window notices by itself
    dialog.findChild<QLineEdit *>(QStringLiteral("IDC_PARAMETERS"))->setText(typed);
    dialog.IDC_SEND_clicked();
    QVERIFY(sent.isEmpty());
    QCOMPARE(m_boxes.size(), box.isEmpty() ? 0 : 1);
    if (!box.isEmpty())
        QCOMPARE(m_boxes[0].title + '|' + m_boxes[0].text, box);

    // Set-up over: the same window sends.
    state.receiverBusy = false;
    state.receiverMode = ReceiverMode::MotorolaBinary;
    QTRY_VERIFY(send->isEnabled());
    dialog.findChild<QLineEdit *>(QStringLiteral("IDC_PARAMETERS"))->setText(QStringLiteral("0c1e2d"));
    dialog.IDC_SEND_clicked();
    QCOMPARE(sent, QList<QByteArray> { QByteArray("@@Aa\x0C\x1E\x2D") });
}

void TestManualCommandDialog::fieldsFollowTheRow()
{
    ReceiverState state;
    state.receiverMode = ReceiverMode::UbloxUbx;
    QList<QByteArray> sent;
    ManualCommandDialog dialog(state, [&sent](const QByteArray &c) { sent << c; });
    dialog.show();
    auto *params = dialog.findChild<QLineEdit *>(QStringLiteral("IDC_PARAMETERS"));
    auto *ascii = dialog.findChild<QLineEdit *>(QStringLiteral("IDC_ASCII_PARAMETERS"));
    auto *checksum = dialog.findChild<QLineEdit *>(QStringLiteral("IDC_CHECKSUM"));
    QVERIFY(dialog.chooseCommand(QStringLiteral("MON-VER")));
    QCOMPARE(params->text(), QString());
    QCOMPARE(checksum->text(), QStringLiteral("0E34"));
    dialog.IDC_SEND_clicked();
    QCOMPARE(sent.value(0), QByteArray::fromHex("B5620A040000"));

    // A Synergy model number typed as text; the hex field follows.
    state.receiverMode = ReceiverMode::MotorolaBinary;
    state.receiverModel = ReceiverModelCode::SsrM8T;
    dialog.refresh();
    QVERIFY(dialog.chooseCommand(QStringLiteral("@@Wm")));
    QVERIFY(ascii->isEnabled());
    QTest::keyClicks(ascii, QStringLiteral("SSR-M8T  12345"));
    QCOMPARE(params->text(), QStringLiteral("5353522D4D385420203132333435"));
    QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("IDC_ASCII_LABEL"))->text(),
             QStringLiteral("Parameters (ASCII text, 15 characters)"));
    QTest::keyClicks(ascii, QStringLiteral("6"));
    dialog.IDC_SEND_clicked();
    QCOMPARE(sent.value(1), QByteArray("@@WmSSR-M8T  123456"));

    // NMEA control rows take text.
    state.receiverMode = ReceiverMode::MotorolaNmea;
    dialog.refresh();
    QCOMPARE(dialog.listedRows().size(), 9);
    QVERIFY(dialog.chooseCommand(QStringLiteral("FOR")));
    QCOMPARE(params->text(), QStringLiteral("0"));
    QCOMPARE(checksum->text(), QStringLiteral("*2A"));
    QVERIFY(!ascii->isEnabled());
}

QTEST_MAIN(TestManualCommandDialog)
#include "tst_ui_manualcommanddialog.moc"
