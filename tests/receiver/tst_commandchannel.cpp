#include "support/FakeTransport.h"
#include "core/ReceiverState.h"
#include "receiver/link/GpsSerialPortThread.h"
#include "receiver/link/ReceiverCommandChannel.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QtTest>

class TestCommandChannel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sendEmitsThenEchoes();
    void pausesAfterEachMessage();
    void endToEndThroughLink_data();
    void endToEndThroughLink();
    void answerArrivesDuringWait();
    void answerFlagClearedBeforeSending();
    void timeoutTexts_data();
    void timeoutTexts();
    void closingEndsWait();
    void waitLowersBusyFlagAndHeads();
};

void TestCommandChannel::sendEmitsThenEchoes()
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

void TestCommandChannel::pausesAfterEachMessage()
{
    ReceiverState state;
    ReceiverCommandChannel channel(state);
    QCOMPARE(channel.pauseMs(), 100);
    QElapsedTimer t;
    t.start();
    channel.sendGpsRxCommand("@@Cj");
    QVERIFY(t.elapsed() >= 95);
}

void TestCommandChannel::endToEndThroughLink_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("onWire");
    QTest::newRow("stale nmea checksum") << QByteArray("$PMOTG,ZDA,0001*99") << QByteArray("$PMOTG,ZDA,0001*1F\r\n");
    QTest::newRow("motorola") << QByteArray("@@Cj") << QByteArray("@@Cj)\r\n");
    QTest::newRow("ubx") << QByteArray("\xB5\x62\x0A\x04\x00\x00", 6) << QByteArray("\xB5\x62\x0A\x04\x00\x00\x0E\x34\r\n", 10);
    QTest::newRow("dle framed") << QByteArray("\x10\x21\x10\x03", 4) << QByteArray("\x10\x21\x10\x03", 4);
}

void TestCommandChannel::endToEndThroughLink()
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

void TestCommandChannel::answerArrivesDuringWait()
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

void TestCommandChannel::answerFlagClearedBeforeSending()
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

void TestCommandChannel::timeoutTexts_data()
{
    QTest::addColumn<int>("family");
    QTest::addColumn<QString>("text");
    QTest::newRow("motorola binary") << int(AnswerFamily::MotorolaBinary) << QStringLiteral("Timeout: no response to Motorola Cmd @@Cj");
    QTest::newRow("motorola nmea") << int(AnswerFamily::MotorolaNmea) << QStringLiteral("Timeout: no response to Motorola Cmd @@Cj");
    QTest::newRow("garmin") << int(AnswerFamily::Garmin) << QStringLiteral("Timeout: no response to Garmin Cmd @@Cj");
    QTest::newRow("loran") << int(AnswerFamily::Loran) << QStringLiteral("Timeout: no response to Motorola Loran Cmd @@Cj");
}

void TestCommandChannel::timeoutTexts()
{
    QFETCH(int, family);
    QFETCH(QString, text);
    QCOMPARE(ReceiverCommandChannel::timeoutText(static_cast<AnswerFamily>(family), "@@Cj"), text);
}

void TestCommandChannel::closingEndsWait()
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

void TestCommandChannel::waitLowersBusyFlagAndHeads()
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
    QVERIFY(state.receiverBusy);                                         // restored
    QCOMPARE(state.awaitedAnswerHeads, QList<QByteArray> { "@@Ea" });    // the outer wait's heads
}

QTEST_GUILESS_MAIN(TestCommandChannel)
#include "tst_commandchannel.moc"
