#include "core/ReceiverState.h"
#include "receiver/link/GpsSerialPortThread.h"
#include "receiver/link/LinkRecovery.h"
#include "receiver/link/ReceiverCommandChannel.h"
#include "support/FakeTransport.h"
#include "timescale/ClockPanel.h"
#include "support/FramingHelpers.h"
#include "support/TestSupport.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QSettings>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QtTest>
#include <cerrno>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace link_tests {

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
    void ppsEdges_data()
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
    void ppsEdges()
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

    void ppsMarkersWithoutTraffic()
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

    void ppsMarkerAtMessageBoundary()
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

    void framingFollowsReceiverMode()
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

    void modeChangeBetweenReadsDropsPartial()
    {
        LinkFixture f(ReceiverMode::MotorolaBinary);
        f.open();
        const QByteArray ha = motorola("Ha");
        f.fake->inject(ha.left(60));
        f.state.receiverMode = ReceiverMode::MotorolaBinaryRxOnly;
        f.fake->inject(ha.mid(60) + ha);
        QCOMPARE(f.texts, QList<QByteArray> { emitted(ha) });
    }

    void loranModeKeepsPolling()
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

    void portErrors_data()
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
        QTest::newRow("10") << 10 << QStringLiteral("This error occurs when an operation is executed that can only be successfully performed if the device is open. This value was introduced in QtSerialPort 5.2.");
        QTest::newRow("11") << 11 << QStringLiteral("Unknown Error");
        QTest::newRow("0 ignored") << 0 << QString();
    }
    void portErrors()
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

    void openFailureShowsBoxOnce()
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

    void specialPortNames_data()
    {
        QTest::addColumn<QString>("portName");
        QTest::addColumn<bool>("registerSimulator");
        QTest::addColumn<QString>("opened");   // name of the transport opened, empty for none
        QTest::newRow("OFF") << QStringLiteral("OFF") << false << QString();
        QTest::newRow("OFF with simulator") << QStringLiteral("OFF") << true << QString();
        QTest::newRow("SIMULATOR unregistered") << QStringLiteral("SIMULATOR") << false << QString();
        QTest::newRow("SIMULATOR registered") << QStringLiteral("SIMULATOR") << true << QStringLiteral("SIMULATOR");
    }
    void specialPortNames()
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

    void missingPortKeyDefaultsToSimulator()
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

    void sendAppendsCrLf_data()
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
    void sendAppendsCrLf()
    {
        QFETCH(QByteArray, message);
        QFETCH(QByteArray, written);
        LinkFixture f;
        f.open();
        f.link.OnSendGpsMessage(message);
        QCOMPARE(f.fake->written, QList<QByteArray> { written });
    }

    void stopClosesPortAndPolling()
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

    void nestedReadKeepsOrder()
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

    void tcpTransportFeedsFramers()
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
};

} // namespace link_tests

namespace commandchannel_tests {

class TestCommandChannel : public QObject
{
    Q_OBJECT

private Q_SLOTS:

    void sendEmitsThenEchoes()
    {
        ReceiverState state;
        ReceiverCommandChannel channel(state);
        channel.setPauseMs(0);
        QStringList events;
        connect(&channel, &ReceiverCommandChannel::sendGpsMessage, this,
                [&](const QByteArray &m) { events << QStringLiteral("send ") + QString::fromLatin1(m); });
        connect(&channel, &ReceiverCommandChannel::echo, this, [&](const QString &t) { events << QStringLiteral("echo ") + t; });
        channel.sendGpsRxCommand("$PMOTG,RMC,0000*00");
        channel.sendGpsRxCommand("T0");   // neither checksum nor echo
        QCOMPARE(events, (QStringList { QStringLiteral("send $PMOTG,RMC,0000*1D"), QStringLiteral("echo <- $PMOTG,RMC,0000*1D"),
                                        QStringLiteral("send T0") }));
    }

    void pausesAfterEachMessage()
    {
        ReceiverState state;
        ReceiverCommandChannel channel(state);
        QCOMPARE(channel.pauseMs(), 100);
        QElapsedTimer t;
        t.start();
        channel.sendGpsRxCommand("@@Cj");
        QVERIFY(t.elapsed() >= 95);
    }

    void endToEndThroughLink_data()
    {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QByteArray>("onWire");
        QTest::newRow("stale nmea checksum") << QByteArray("$PMOTG,ZDA,0001*99") << QByteArray("$PMOTG,ZDA,0001*1F\r\n");
        QTest::newRow("motorola") << QByteArray("@@Cj") << QByteArray("@@Cj)\r\n");
        QTest::newRow("ubx") << QByteArray("\xB5\x62\x0A\x04\x00\x00", 6) << QByteArray("\xB5\x62\x0A\x04\x00\x00\x0E\x34\r\n", 10);
        QTest::newRow("dle framed") << QByteArray("\x10\x21\x10\x03", 4) << QByteArray("\x10\x21\x10\x03", 4);
    }
    void endToEndThroughLink()
    {
        QFETCH(QByteArray, command);
        QFETCH(QByteArray, onWire);
        ReceiverState state;
        GpsSerialPortThread link(&state);
        auto transport = std::make_unique<FakeTransport>();
        FakeTransport *fake = transport.get();
        link.useTransport(std::move(transport), GpsPortSettings());
        ReceiverCommandChannel channel(state);
        channel.setPauseMs(0);
        connect(&channel, &ReceiverCommandChannel::sendGpsMessage, &link, &GpsSerialPortThread::OnSendGpsMessage);
        channel.sendGpsRxCommand(command);
        QCOMPARE(fake->written, QList<QByteArray> { onWire });
        link.stopGpsSerialPort();
    }

    void answerArrivesDuringWait()
    {
        ReceiverState state;
        state.receiverBusy = true;
        ReceiverCommandChannel channel(state);
        channel.setPauseMs(0);
        // The "decoder" answers a little after the command went out, from the event loop.
        connect(&channel, &ReceiverCommandChannel::sendGpsMessage, this, [&](const QByteArray &) {
            QTimer::singleShot(30, this, [&] {
                QVERIFY(!state.receiverBusy);   // decoding is allowed during the wait
                state.setAnswered(AnswerFamily::MotorolaBinary);
            });
        });
        QVERIFY(channel.sendAndAwaitAnswer("@@Cj", AnswerFamily::MotorolaBinary, 3000));
        QVERIFY(state.receiverBusy);   // restored
    }

    void answerFlagClearedBeforeSending()
    {
        ReceiverState state;
        state.setAnswered(AnswerFamily::Garmin);
        state.setAnswered(AnswerFamily::MotorolaNmea);
        ReceiverCommandChannel channel(state);
        channel.setPauseMs(0);
        QTest::ignoreMessage(QtDebugMsg, "Timeout: no response to Garmin Cmd $PGRMO,,2");
        QVERIFY(!channel.sendAndAwaitAnswer("$PGRMO,,2", AnswerFamily::Garmin, 30));
        QVERIFY(!state.answered(AnswerFamily::Garmin));
        QVERIFY(state.answered(AnswerFamily::MotorolaNmea));   // other families untouched
    }

    void timeoutTexts_data()
    {
        QTest::addColumn<int>("family");
        QTest::addColumn<QString>("text");
        QTest::newRow("motorola binary") << int(AnswerFamily::MotorolaBinary) << QStringLiteral("Timeout: no response to Motorola Cmd @@Cj");
        QTest::newRow("motorola nmea") << int(AnswerFamily::MotorolaNmea) << QStringLiteral("Timeout: no response to Motorola Cmd @@Cj");
        QTest::newRow("garmin") << int(AnswerFamily::Garmin) << QStringLiteral("Timeout: no response to Garmin Cmd @@Cj");
        QTest::newRow("loran") << int(AnswerFamily::Loran) << QStringLiteral("Timeout: no response to Motorola Loran Cmd @@Cj");
    }
    void timeoutTexts()
    {
        QFETCH(int, family);
        QFETCH(QString, text);
        QCOMPARE(ReceiverCommandChannel::timeoutText(static_cast<AnswerFamily>(family), "@@Cj"), text);
    }

    void closingEndsWait()
    {
        ReceiverState state;
        ReceiverCommandChannel channel(state);
        channel.setPauseMs(0);
        connect(&channel, &ReceiverCommandChannel::sendGpsMessage, this,
                [&](const QByteArray &) { QTimer::singleShot(10, this, [&] { state.closing = true; }); });
        QElapsedTimer t;
        t.start();
        QVERIFY(!channel.sendAndAwaitAnswer("@@Cj", AnswerFamily::MotorolaBinary, 60000));
        QVERIFY(t.elapsed() < 30000);
        QVERIFY(!channel.waitUntil([] { return false; }, 60000));   // refused at once while closing
        QVERIFY(t.elapsed() < 30000);
    }

    // A wait lowers the busy flag and awaits its own heads; the outer wait's come back after.
    void waitLowersBusyFlagAndHeads()
    {
        ReceiverState state;
        ReceiverCommandChannel channel(state);
        channel.setPauseMs(0);
        state.awaitedAnswerHeads = { "@@Ea" };
        bool busyDuringWait = true;
        QList<QByteArray> headsDuringWait;
        state.receiverBusy = true;
        connect(&channel, &ReceiverCommandChannel::sendGpsMessage, this, [&](const QByteArray &) {
            QTimer::singleShot(0, this, [&] {
                busyDuringWait = state.receiverBusy;
                headsDuringWait = state.awaitedAnswerHeads;
            });
        });
        QTest::ignoreMessage(QtDebugMsg, "Timeout: no response to Motorola Cmd @@Cj");
        QVERIFY(!channel.sendAndAwait("@@Cj", AnswerFamily::MotorolaBinary, { "@@Cj" }, 40));
        QVERIFY(!busyDuringWait);
        QCOMPARE(headsDuringWait, QList<QByteArray> { "@@Cj" });
        QVERIFY(state.receiverBusy);
        QCOMPARE(state.awaitedAnswerHeads, QList<QByteArray> { "@@Ea" });
    }
};

} // namespace commandchannel_tests

namespace linkrecovery_tests {

using link_tests::LinkFixture;

// The loss of a device and its return, with delays short enough for a test: the reopen waits
// double from 20 ms up to 80 ms, the loss is told once, and the return is reported once.
class TestLinkRecovery : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void backOff_data()
    {
        QTest::addColumn<int>("failures");      // reopens that fail before the device is back
        QTest::addColumn<bool>("autoRestart");
        QTest::addColumn<QList<int>>("delays");  // the wait before each reopen
        QTest::newRow("back at the first reopen") << 0 << true << QList<int> { 20 };
        QTest::newRow("back at the third") << 2 << true << QList<int> { 20, 40, 80 };
        QTest::newRow("capped at 80 ms") << 4 << true << QList<int> { 20, 40, 80, 80, 80 };
        QTest::newRow("auto restart off") << 0 << false << QList<int> {};
    }
    void backOff()
    {
        QFETCH(int, failures);
        QFETCH(bool, autoRestart);
        QFETCH(QList<int>, delays);
        LinkFixture f;
        f.open();
        LinkRecovery recovery(f.link);
        recovery.setDelays(20, 80);
        recovery.setAutoRestart([&] { return autoRestart; });
        QList<int> seen;
        QElapsedTimer sinceLast;
        recovery.setReopen([&] {
            seen.append(recovery.currentDelayMs());
            QVERIFY2(sinceLast.elapsed() >= recovery.currentDelayMs(), "reopened too early");
            sinceLast.restart();
            auto t = std::make_unique<FakeTransport>();
            t->openError = seen.size() <= failures ? 1 : 0;
            f.link.useTransport(std::move(t), GpsPortSettings());
        });
        QObject::connect(&f.link, &GpsSerialPortThread::showErrorMessageBox, &recovery, &LinkRecovery::linkError);
        QStringList notices;
        QObject::connect(&recovery, &LinkRecovery::notice, [&](const QString &t) { notices << t; });
        int restored = 0;
        QObject::connect(&recovery, &LinkRecovery::restored, [&] { ++restored; });

        // The device goes: the transport closes and reports, then reports again.
        sinceLast.start();
        f.fake->close();
        Q_EMIT f.fake->errorOccurred(6);
        Q_EMIT f.fake->errorOccurred(5);
        QVERIFY(recovery.lost());
        if (autoRestart)
            QTRY_COMPARE_WITH_TIMEOUT(restored, 1, 5000);
        else
            QTest::qWait(200);
        QCOMPARE(seen, delays);
        QCOMPARE(notices.size(), 1);
        QCOMPARE(notices.first(), GpsSerialPortThread::errorMessage(QStringLiteral("FAKE"), 6));
        QCOMPARE(recovery.lost(), !autoRestart);
        QCOMPARE(restored, autoRestart ? 1 : 0);
        QCOMPARE(recovery.currentDelayMs(), 20);   // back up: the next loss starts anew
    }

    void staleAfterThreeSeconds_data()
    {
        QTest::addColumn<qint64>("silenceMs");
        QTest::addColumn<bool>("stale");
        QTest::newRow("2999 ms") << qint64(2999) << false;
        QTest::newRow("3000 ms") << qint64(3000) << true;
        QTest::newRow("an hour") << qint64(3600000) << true;
    }
    void staleAfterThreeSeconds()
    {
        QFETCH(qint64, silenceMs);
        QFETCH(bool, stale);
        LinkFixture f;
        f.open();
        LinkRecovery recovery(f.link);
        qint64 now = 1780000000123;
        recovery.setClock([&] { return now; });
        QSignalSpy changes(&recovery, &LinkRecovery::staleChanged);
        recovery.dataArrived();
        now += silenceMs;
        recovery.checkStale();
        recovery.checkStale();
        QCOMPARE(changes.size(), stale ? 1 : 0);
        recovery.dataArrived();   // fresh at once
        QCOMPARE(changes.size(), stale ? 2 : 0);
        QVERIFY(!recovery.stale());
        if (stale)
            QCOMPARE(ClockPanel::staleText(QDateTime::fromMSecsSinceEpoch(changes.first().at(1).toLongLong())),
                     QStringLiteral("No receiver data since 20:26:40"));
    }
};

} // namespace linkrecovery_tests

namespace linkpty_tests {

using namespace Frames;

// A real serial round trip: the link opens the slave side of a pseudo-terminal pair as its
// GPS port (9600 8N1) and the test plays the receiver on the master side.
class TestLinkPty : public QObject
{
    Q_OBJECT

private Q_SLOTS:

    void init()
    {
        char name[256] = {};
        if (openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0)
            QSKIP("no pseudo-terminals on this machine");
        m_slavePath = QString::fromLocal8Bit(name);
        termios t {};
        tcgetattr(m_master, &t);
        cfmakeraw(&t);
        tcsetattr(m_master, TCSANOW, &t);
        fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
        m_settings = std::make_unique<TestSupport::TemporarySettings>();
        m_state = std::make_unique<ReceiverState>();
        m_texts.clear();
        m_boxes.clear();
        m_ticks = 0;
    }

    void cleanup()
    {
        if (m_link)
            m_link->stopGpsSerialPort();
        m_link.reset();
        m_state.reset();
        m_settings.reset();
        if (m_slave >= 0)
            ::close(m_slave);
        if (m_master >= 0)
            ::close(m_master);
        m_slave = m_master = -1;
    }

    void motorolaTraffic()
    {
        openLink(ReceiverMode::MotorolaBinary);
        const QByteArray ha = motorola("Ha", {}, '\x40');
        const QByteArray bb = Frames::bb(13, 12);
        const QByteArray ea = motorola("Ea", {}, '\x0D');
        QByteArray bad = motorola("Hb");
        bad[10] = static_cast<char>(bad[10] ^ 0x01);
        const QByteArray stream = QByteArray("\x00\xFF@x", 4) + ha + "garbage\r\n" + bb + bad + "@" + QByteArray("\x01\x02", 2) + ea;
        // Cuts inside the "@@", inside the identifier, at the count byte, before CR LF.
        writeInPieces(stream, { 5, 6, 8, 90, 160, 165, 170, 255, 300, int(stream.size()) - 2 });
        QTRY_COMPARE(m_texts.size(), 3);
        QCOMPARE(m_texts, (QList<QByteArray> { emitted(ha), emitted(bb), emitted(ea) }));
        // A pseudo-terminal has no modem lines: no error, no tick.
        QTest::qWait(50);
        QVERIFY2(m_boxes.isEmpty(), qPrintable(m_boxes.join(QLatin1Char('|'))));
        QCOMPARE(m_ticks, 0);
    }

    void nmeaAndUbxTraffic()
    {
        openLink(ReceiverMode::UbloxUbx);
        const QByteArray u1 = ubx(0x01, 0x03, QByteArray("\x10\x00\x0D\x0A$GP", 6));
        const QByteArray u2 = ubx(0x0A, 0x04, {});
        const QByteArray s1 = nmea("GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W");
        const QByteArray stream = "\xB5\x01junk" + s1 + u1 + "$GPGGA,1\x02" + u2 + nmea("GPZDA,1,2,3");
        writeInPieces(stream, { 1, 3, 20, 71, 72, 73, 80, 90, 95 });
        QTRY_COMPARE(m_texts.size(), 4);
        QCOMPARE(m_texts, (QList<QByteArray> { s1.left(s1.size() - 2), u1, u2, nmeaEmitted("GPZDA,1,2,3") }));

        // The same port in an NMEA-only mode ignores UBX.
        m_texts.clear();
        m_state->receiverMode = ReceiverMode::GenericNmea;
        writeInPieces(u1 + nmea("GPZDA,4") + u2, { 7 });
        QTRY_COMPARE(m_texts.size(), 1);
        QTest::qWait(30);
        QCOMPARE(m_texts, QList<QByteArray> { nmeaEmitted("GPZDA,4") });
        QVERIFY(m_boxes.isEmpty());
    }

    void commandsReachTheReceiver()
    {
        openLink(ReceiverMode::MotorolaBinary);
        m_link->OnSendGpsMessage(QByteArray("@@Cj)"));
        m_link->OnSendGpsMessage(QByteArray("\x10\x0A\x10\x03", 4));
        QCOMPARE(readMaster(11), QByteArray("@@Cj)\r\n\x10\x0A\x10\x03", 11));
    }

private:

    void openLink(int mode)
    {
        m_state->receiverMode = mode;
        {
            QSettings s;
            s.setValue(GpsPortSettings::keyPort(), m_slavePath);
            s.setValue(GpsPortSettings::keyMode(), ReceiverMode::text(mode));
            s.setValue(GpsPortSettings::keyDataRate(), 9600);
            s.setValue(GpsPortSettings::keyPpsInterface(), 1);
        }
        m_link = std::make_unique<GpsSerialPortThread>(m_state.get());
        m_link->setPpsInterface(1);
        connect(m_link.get(), &GpsSerialPortThread::newGpsText, this, [this](const QByteArray &t) { m_texts.append(t); });
        connect(m_link.get(), &GpsSerialPortThread::showErrorMessageBox, this, [this](const QString &t) { m_boxes.append(t); });
        connect(m_link.get(), &GpsSerialPortThread::PpsTick, this, [this] { ++m_ticks; });
        m_link->startGpsSerialPort(false);
        QVERIFY2(m_link->isPortOpen(), qPrintable(m_boxes.join(QLatin1Char('|'))));
        auto *serial = m_link->transport();
        QVERIFY(serial);
    }

    void writeInPieces(const QByteArray &bytes, const QList<int> &cuts)
    {
        int from = 0;
        QList<int> ends = cuts;
        ends.append(int(bytes.size()));
        for (int end : ends) {
            const QByteArray piece = bytes.mid(from, end - from);
            QCOMPARE(::write(m_master, piece.constData(), size_t(piece.size())), ssize_t(piece.size()));
            from = end;
            QTest::qWait(15);   // let the link read each piece on its own
        }
    }

    QByteArray readMaster(int expected)
    {
        QByteArray got;
        QElapsedTimer t;
        t.start();
        while (got.size() < expected && t.elapsed() < 5000) {
            char buf[256];
            const ssize_t n = ::read(m_master, buf, sizeof buf);
            if (n > 0)
                got.append(buf, n);
            else
                QTest::qWait(5);
        }
        return got;
    }

    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
    std::unique_ptr<TestSupport::TemporarySettings> m_settings;
    std::unique_ptr<ReceiverState> m_state;
    std::unique_ptr<GpsSerialPortThread> m_link;
    QList<QByteArray> m_texts;
    QStringList m_boxes;
    int m_ticks = 0;
};

} // namespace linkpty_tests

CHRONODE_TEST_MAIN(link_tests::TestLink, commandchannel_tests::TestCommandChannel, linkpty_tests::TestLinkPty,
                   linkrecovery_tests::TestLinkRecovery)
#include "tst_link.moc"
