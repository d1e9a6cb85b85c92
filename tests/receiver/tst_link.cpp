#include "support/FakeTransport.h"
#include "support/TestSupport.h"
#include "core/ReceiverState.h"
#include "support/FramingHelpers.h"
#include "receiver/link/GpsSerialPortThread.h"

#include <QPointer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

using namespace Frames;

namespace {

struct LinkFixture
{
    ReceiverState state;
    GpsSerialPortThread link { &state };
    QPointer<FakeTransport> fake;
    QList<QByteArray> texts;
    int ticks = 0;
    QStringList boxes;

    explicit LinkFixture(int mode = ReceiverMode::MotorolaBinary, int ppsInterface = 1)
    {
        state.receiverMode = mode;
        link.setPpsInterface(ppsInterface);
        QObject::connect(&link, &GpsSerialPortThread::newGpsText, [this](const QByteArray &t) { texts.append(t); });
        QObject::connect(&link, &GpsSerialPortThread::PpsTick, [this] { ++ticks; });
        QObject::connect(&link, &GpsSerialPortThread::showErrorMessageBox, [this](const QString &t) { boxes.append(t); });
    }
    ~LinkFixture() { link.stopGpsSerialPort(); }

    void open(int openError = 0)
    {
        auto t = std::make_unique<FakeTransport>();
        t->openError = openError;
        fake = t.get();
        GpsPortSettings settings;
        settings.modeText = ReceiverMode::text(state.receiverMode);
        link.useTransport(std::move(t), settings);
    }
    // One poll with the given modem lines.
    void poll(int lines)
    {
        fake->signalLines = lines;
        link.handleTimedPolls();
    }
};

} // namespace

class TestLink : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void ppsEdges_data();
    void ppsEdges();
    void ppsMarkersWithoutTraffic();
    void ppsMarkerAtMessageBoundary();
    void framingFollowsReceiverMode();
    void modeChangeBetweenReadsDropsPartial();
    void loranModeKeepsPolling();
    void portErrors_data();
    void portErrors();
    void openFailureShowsBoxOnce();
    void specialPortNames_data();
    void specialPortNames();
    void missingPortKeyDefaultsToSimulator();
    void sendAppendsCrLf_data();
    void sendAppendsCrLf();
    void stopClosesPortAndPolling();
    void nestedReadKeepsOrder();
    void tcpTransportFeedsFramers();
};

void TestLink::ppsEdges_data()
{
    QTest::addColumn<int>("ppsInterface");
    QTest::addColumn<int>("line");      // the modem line that pulses
    QTest::addColumn<int>("ticks");     // expected ticks for 5 pulses
    QTest::newRow("DCD on DCD") << 1 << int(GpsTransport::Dcd) << 5;
    QTest::newRow("CTS on CTS") << 2 << int(GpsTransport::Cts) << 5;
    QTest::newRow("DSR on DSR") << 3 << int(GpsTransport::Dsr) << 5;
    QTest::newRow("CTS pulses, DCD watched") << 1 << int(GpsTransport::Cts) << 0;
    QTest::newRow("DCD pulses, DSR watched") << 3 << int(GpsTransport::Dcd) << 0;
    QTest::newRow("interface 0, all lines") << 0 << int(GpsTransport::Dcd | GpsTransport::Cts | GpsTransport::Dsr) << 0;
    QTest::newRow("interface 7 unknown") << 7 << int(GpsTransport::Dcd | GpsTransport::Cts | GpsTransport::Dsr) << 0;
}

void TestLink::ppsEdges()
{
    QFETCH(int, ppsInterface);
    QFETCH(int, line);
    QFETCH(int, ticks);
    LinkFixture f(ReceiverMode::MotorolaBinary, ppsInterface);
    f.open();
    // A line that is neither pulsing nor watched.
    int other = 0;
    for (int candidate : { GpsTransport::Dcd, GpsTransport::Cts, GpsTransport::Dsr })
        if (!(candidate & (line | GpsSerialPortThread::pinMaskFor(ppsInterface))))
            other = candidate;
    for (int pulse = 0; pulse < 5; ++pulse) {
        f.poll(line);
        f.poll(line);          // still high: no second tick
        f.poll(line | other);  // another line joining changes nothing
        f.poll(0);
        f.poll(0);
    }
    QCOMPARE(f.ticks, ticks);
}

void TestLink::ppsMarkersWithoutTraffic()
{
    LinkFixture f;
    f.open();
    for (int i = 0; i < 3; ++i) {
        f.poll(GpsTransport::Dcd);
        f.poll(0);
    }
    QCOMPARE(f.ticks, 3);
    // One marker per edge from the second on; the third is still pending.
    QCOMPARE(f.texts, (QList<QByteArray> { ppsMarker(), ppsMarker() }));
    QVERIFY(f.link.ppsPending());
}

void TestLink::ppsMarkerAtMessageBoundary()
{
    LinkFixture f;
    f.open();
    const QByteArray ha = motorola("Ha");
    const QByteArray ea = motorola("Ea");
    f.fake->inject(ha.left(40));
    f.poll(GpsTransport::Dcd);
    f.fake->inject(ha.mid(40) + ea);
    f.poll(0);
    f.fake->inject(ha);
    QCOMPARE(f.texts, (QList<QByteArray> { emitted(ha), ppsMarker(), emitted(ea), emitted(ha) }));
    QCOMPARE(f.ticks, 1);
    QVERIFY(!f.link.ppsPending());
}

void TestLink::framingFollowsReceiverMode()
{
    LinkFixture f(ReceiverMode::GenericNmea);
    f.open();
    const QByteArray ha = motorola("Ha");
    const QByteArray u = ubx(0x0A, 0x04, {});
    f.fake->inject(ha + u + nmea("GPZDA,1"));
    QCOMPARE(f.texts, QList<QByteArray> { nmeaEmitted("GPZDA,1") });
    f.texts.clear();
    f.state.receiverMode = ReceiverMode::UbloxUbx;
    f.fake->inject(ha + u + nmea("GPZDA,2"));
    QCOMPARE(f.texts, (QList<QByteArray> { u, nmeaEmitted("GPZDA,2") }));
    f.texts.clear();
    f.state.receiverMode = ReceiverMode::MotorolaBinary;
    f.fake->inject(ha + u + nmea("GPZDA,3"));
    QCOMPARE(f.texts, QList<QByteArray> { emitted(ha) });
    QCOMPARE(f.link.framedMode(), int(ReceiverMode::MotorolaBinary));
    f.texts.clear();
    f.state.receiverMode = ReceiverMode::Search;
    f.fake->inject(ha + nmea("GPZDA,4"));
    QVERIFY(f.texts.isEmpty());
}

void TestLink::modeChangeBetweenReadsDropsPartial()
{
    LinkFixture f(ReceiverMode::MotorolaBinary);
    f.open();
    const QByteArray ha = motorola("Ha");
    f.fake->inject(ha.left(60));
    f.state.receiverMode = ReceiverMode::MotorolaBinaryRxOnly;
    f.fake->inject(ha.mid(60) + ha);
    QCOMPARE(f.texts, QList<QByteArray> { emitted(ha) });
}

void TestLink::loranModeKeepsPolling()
{
    TestSupport::TemporarySettings settings;
    LinkFixture f(ReceiverMode::MotorolaLoran);
    f.open();
    QVERIFY(f.link.isPolling());
    f.fake->inject("T0 12:00:00\r\n");
    QCOMPARE(f.texts, QList<QByteArray> { "T0 12:00:00" });
    QVERIFY(f.link.isPolling());
    // The real 10 ms timer keeps seeing edges after reads in mode 0.
    f.fake->signalLines = GpsTransport::Dcd;
    QTRY_COMPARE_WITH_TIMEOUT(f.ticks, 1, 2000);
    f.fake->inject("T0 12:00:01\r\n");
    f.fake->signalLines = 0;
    QTest::qWait(50);
    f.fake->signalLines = GpsTransport::Dcd;
    QTRY_COMPARE_WITH_TIMEOUT(f.ticks, 2, 2000);
}

void TestLink::portErrors_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("description");
    QTest::newRow("1") << 1 << QStringLiteral("An error occurred while attempting to open an non-existing device.");
    QTest::newRow("2") << 2 << QStringLiteral("An error occurred while attempting to open an already opened device by another process or a user not having enough permission and credentials to open.");
    QTest::newRow("3") << 3 << QStringLiteral("An error occurred while attempting to open an already opened device in this object.");
    QTest::newRow("4") << 4 << QStringLiteral("An I/O error occurred while writing the data.");
    QTest::newRow("5") << 5 << QStringLiteral("An I/O error occurred while reading the data.");
    QTest::newRow("6") << 6 << QStringLiteral("An I/O error occurred when a resource becomes unavailable, e.g. when the device is unexpectedly removed from the system.");
    QTest::newRow("7") << 7 << QStringLiteral("The requested device operation is not supported or is prohibited by the running operating system.");
    QTest::newRow("8") << 8 << QStringLiteral("Unknown Error");
    QTest::newRow("9") << 9 << QStringLiteral("A timeout error occurred. This value was introduced in QtSerialPort 5.2.");
    QTest::newRow("10") << 10 << QStringLiteral("This error occurs when an operation is executed that can only be successfully performed if the device is open. This value was introduced in QtSerialPort 5.2");
    QTest::newRow("11") << 11 << QStringLiteral("Unknown Error");
    QTest::newRow("0 ignored") << 0 << QString();
}

void TestLink::portErrors()
{
    QFETCH(int, code);
    QFETCH(QString, description);
    LinkFixture f;
    f.open();
    Q_EMIT f.fake->errorOccurred(code);
    if (description.isNull()) {
        QVERIFY(f.boxes.isEmpty());
        return;
    }
    QCOMPARE(f.boxes, QStringList { QStringLiteral("Can't open GPS Port FAKE\r\n\r\n\"") + description + QStringLiteral("\"") });
    QVERIFY(f.fake->isOpen());   // nothing else changes
}

void TestLink::openFailureShowsBoxOnce()
{
    LinkFixture f;
    QTest::ignoreMessage(QtWarningMsg, "WARNING: Failed to open GPS serial port.");
    f.open(2);
    QCOMPARE(f.boxes.size(), 1);
    QVERIFY(f.boxes.first().startsWith(QStringLiteral("Can't open GPS Port FAKE\r\n\r\n\"An error occurred while attempting to open an already opened device by another")));
    QVERIFY(!f.link.isPortOpen());
    f.link.handleTimedPolls();   // a closed port is not polled
    QCOMPARE(f.ticks, 0);
}

void TestLink::specialPortNames_data()
{
    QTest::addColumn<QString>("portName");
    QTest::addColumn<bool>("registerSimulator");
    QTest::addColumn<QString>("opened");   // name of the transport opened, empty for none
    QTest::newRow("OFF") << QStringLiteral("OFF") << false << QString();
    QTest::newRow("OFF with simulator") << QStringLiteral("OFF") << true << QString();
    QTest::newRow("SIMULATOR unregistered") << QStringLiteral("SIMULATOR") << false << QString();
    QTest::newRow("SIMULATOR registered") << QStringLiteral("SIMULATOR") << true << QStringLiteral("SIMULATOR");
}

void TestLink::specialPortNames()
{
    QFETCH(QString, portName);
    QFETCH(bool, registerSimulator);
    QFETCH(QString, opened);
    TestSupport::TemporarySettings temp;
    QSettings().setValue(GpsPortSettings::keyPort(), portName);
    LinkFixture f;
    FakeTransport *made = nullptr;
    if (registerSimulator) {
        f.link.transportFactory().registerTransport(GpsPortSettings::simulatorPortName(), [&made] {
            auto t = std::make_unique<FakeTransport>(GpsPortSettings::simulatorPortName());
            made = t.get();
            return t;
        });
    }
    f.link.startGpsSerialPort(false);
    QVERIFY(f.boxes.isEmpty());
    QCOMPARE(f.link.isPortOpen(), !opened.isEmpty());
    QCOMPARE(f.link.portName(), portName);
    if (!opened.isEmpty()) {
        QVERIFY(made);
        QCOMPARE(made->name(), opened);
        QCOMPARE(made->openedWith.portName, portName);
    }
    QCOMPARE(QSettings().value(GpsPortSettings::keyPort()).toString(), portName);
}

void TestLink::missingPortKeyDefaultsToSimulator()
{
    TestSupport::TemporarySettings temp;
    LinkFixture f;
    f.link.startGpsSerialPort(true);
    QVERIFY(f.boxes.isEmpty());
    QVERIFY(!f.link.isPortOpen());
    QVERIFY(f.link.loadFirmwareMode());
    QVERIFY(f.link.isPolling());
    QCOMPARE(QSettings().value(GpsPortSettings::keyPort()).toString(), QStringLiteral("SIMULATOR"));
}

void TestLink::sendAppendsCrLf_data()
{
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<QByteArray>("written");
    QTest::newRow("nmea") << QByteArray("$PMOTG,ZDA,0001*1F") << QByteArray("$PMOTG,ZDA,0001*1F\r\n");
    QTest::newRow("motorola") << QByteArray("@@Cj)") << QByteArray("@@Cj)\r\n");
    QTest::newRow("ubx") << QByteArray("\xB5\x62\x0A\x04\x00\x00\x0E\x34", 8)
                         << QByteArray("\xB5\x62\x0A\x04\x00\x00\x0E\x34\r\n", 10);
    QTest::newRow("0x10 first, no CR LF") << QByteArray("\x10\x02\x10\x03", 4) << QByteArray("\x10\x02\x10\x03", 4);
    QTest::newRow("empty") << QByteArray() << QByteArray("\r\n");
}

void TestLink::sendAppendsCrLf()
{
    QFETCH(QByteArray, message);
    QFETCH(QByteArray, written);
    LinkFixture f;
    f.open();
    f.link.OnSendGpsMessage(message);
    QCOMPARE(f.fake->written, QList<QByteArray> { written });
}

void TestLink::stopClosesPortAndPolling()
{
    LinkFixture f;
    f.open();
    QVERIFY(f.link.isRunning());
    f.link.stopGpsSerialPort();
    QVERIFY(!f.link.isPolling());
    QVERIFY(!f.link.isPortOpen());
    QCOMPARE(f.fake->clearCount, 1);
    QVERIFY(f.link.wait(2000));
    f.link.OnSendGpsMessage("@@Cj)");   // nothing is written to a closed port
    QVERIFY(f.fake->written.isEmpty());
}

void TestLink::nestedReadKeepsOrder()
{
    // A receiver of a message may wait for an answer in a local event loop, during which the
    // next bytes are read: messages still arrive in stream order, none twice.
    LinkFixture f(ReceiverMode::GenericNmea);
    f.open();
    bool nested = false;
    QObject::connect(&f.link, &GpsSerialPortThread::newGpsText, [&](const QByteArray &t) {
        if (t == nmeaEmitted("GPZDA,1") && !nested) {
            nested = true;
            f.fake->inject(nmea("GPZDA,3") + "$GPZ");
        }
    });
    f.fake->inject(nmea("GPZDA,1") + nmea("GPZDA,2"));
    f.fake->inject("DA,4*" + Checksums::hexByte(Checksums::nmeaXor("GPZDA,4")) + "\r\n");
    QCOMPARE(f.texts, (QList<QByteArray> { nmeaEmitted("GPZDA,1"), nmeaEmitted("GPZDA,2"), nmeaEmitted("GPZDA,3"),
                                           nmeaEmitted("GPZDA,4") }));
}

void TestLink::tcpTransportFeedsFramers()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    TestSupport::TemporarySettings temp;
    QSettings s;
    s.setValue(GpsPortSettings::keyPort(), QStringLiteral("TCP/IP"));
    s.setValue(GpsPortSettings::keyMode(), QStringLiteral("Motorola Binary"));
    s.setValue(GpsPortSettings::keyTcpIpAddress(), QStringLiteral("127.0.0.1:%1").arg(server.serverPort()));
    s.sync();
    LinkFixture f(ReceiverMode::MotorolaBinary);
    f.link.startGpsSerialPort(false);
    QVERIFY(f.link.isPortOpen());
    QTRY_VERIFY(server.hasPendingConnections());
    QTcpSocket *peer = server.nextPendingConnection();
    const QByteArray ha = motorola("Ha");
    peer->write(ha.left(30));
    peer->flush();
    QTest::qWait(30);
    peer->write(ha.mid(30) + ha);
    QTRY_COMPARE(f.texts.size(), 2);
    QCOMPARE(f.texts.first(), emitted(ha));
    f.link.OnSendGpsMessage("@@Cj)");
    QByteArray received;
    QTRY_COMPARE((received += peer->readAll()), QByteArray("@@Cj)\r\n"));
    QVERIFY(f.boxes.isEmpty());
    // The bridge going away is reported like a vanished serial device.
    peer->close();
    QTRY_COMPARE(f.boxes.size(), 1);
    QVERIFY(f.boxes.first().startsWith(QStringLiteral("Can't open GPS Port TCP/IP\r\n\r\n\"An I/O error occurred when a resource")));
}

QTEST_GUILESS_MAIN(TestLink)
#include "tst_link.moc"
