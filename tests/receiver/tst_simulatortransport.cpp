// The simulated receiver behind the transport seam: pulse on DCD, one second of bytes after
// each edge, answers after a command, and the whole thing driving the real link.

#include "support/TestSupport.h"
#include "support/FramingHelpers.h"

#include "core/ReceiverState.h"
#include "transport/GpsPortSettings.h"
#include "receiver/link/GpsSerialPortThread.h"
#include "transport/GpsTransportFactory.h"
#include "receiver/framing/MotorolaFramer.h"
#include "sim/SimulatedReceiverTransport.h"

#include <QSignalSpy>
#include <QtTest>

namespace {

constexpr qint64 T0ms = 1767225600000;   // 2026-01-01 00:00:00 UTC

QByteArray cmd(const QByteArray &idAndParams)
{
    return Frames::command(idAndParams);
}

QList<QByteArray> frameIds(const QByteArray &bytes)
{
    MotorolaFramer framer;
    bool pps = false;
    QList<QByteArray> out;
    framer.feed(bytes, pps, [&out](const QByteArray &f) { out << f.mid(2, 2); });
    return out;
}

GpsPortSettings portAt(int rate)
{
    GpsPortSettings s;
    s.portName = GpsPortSettings::simulatorPortName();
    s.dataRate = rate;
    return s;
}

} // namespace

class TestSimulatorTransport : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void edgeThenTheSecondsBytes();
    void everyEdgeIsSeenWhateverThePolling_data();
    void everyEdgeIsSeenWhateverThePolling();
    void answerArrivesAfterTheCommand();
    void linkRateReachesTheReceiver();
    void clockJumpDoesNotFlood();
    void closedTransportIsQuiet();
    void registeredUnderSimulatorName();
    void drivesTheLink();
    void runsOnItsOwnTimers();
};

void TestSimulatorTransport::edgeThenTheSecondsBytes()
{
    SimulatedReceiverTransport t(SimulatedReceiverConfig(), SimulationClock::manual(T0ms + 500));
    QSignalSpy ready(&t, &GpsTransport::readyRead);
    QSignalSpy edges(&t, &SimulatedReceiverTransport::ppsEdge);
    QVERIFY(t.open(portAt(9600)));
    QVERIFY(t.isOpen());
    QCOMPARE(t.name(), QStringLiteral("SIMULATOR"));

    t.pump();
    QCOMPARE(t.modemSignals(), 0);
    QCOMPARE(edges.count(), 0);

    t.clock().setNowMs(T0ms + 1000);   // the edge of second T0+1
    t.pump();
    QCOMPARE(edges.count(), 1);
    QCOMPARE(edges.first().first().toLongLong(), T0ms / 1000 + 1);
    QCOMPARE(t.modemSignals(), int(GpsTransport::Dcd));
    QCOMPARE(ready.count(), 0);   // bytes follow the edge, not with it

    // The whole second arrives once its last byte has crossed the line at 9600 baud; it
    // describes the next pulse.
    SimulatedReceiver twin;
    const QByteArray expected = twin.secondOutput(T0ms / 1000 + 2);
    const qint64 due = PacedPpsSource::MessageDelayMs + SimulatedReceiverTransport::transmitMs(expected.size(), 9600);
    t.clock().setNowMs(T0ms + 1000 + due - 1);
    t.pump();
    QCOMPARE(ready.count(), 0);
    t.clock().setNowMs(T0ms + 1000 + due);
    t.pump();
    QCOMPARE(ready.count(), 1);
    QCOMPARE(t.readAll(), expected);
    QVERIFY(t.readAll().isEmpty());

    // The pulse ends; the next second brings the next edge.
    t.clock().setNowMs(T0ms + 1000 + PacedPpsSource::PulseWidthMs);
    QCOMPARE(t.modemSignals(), 0);
    t.clock().setNowMs(T0ms + 2000);
    t.pump();
    QCOMPARE(edges.count(), 2);
    QCOMPARE(t.modemSignals(), int(GpsTransport::Dcd));
}

void TestSimulatorTransport::everyEdgeIsSeenWhateverThePolling_data()
{
    QTest::addColumn<int>("pollMs");
    QTest::newRow("10 ms polls") << 10;
    QTest::newRow("250 ms polls") << 250;
    QTest::newRow("polls slower than the pulse") << 400;
    QTest::newRow("one poll a second") << 1000;
}

void TestSimulatorTransport::everyEdgeIsSeenWhateverThePolling()
{
    QFETCH(int, pollMs);
    SimulatedReceiverTransport t(SimulatedReceiverConfig(), SimulationClock::manual(T0ms + 3));
    t.open(portAt(9600));
    bool previous = false;
    int rising = 0;
    for (qint64 ms = 0; ms < 10000; ms += pollMs) {
        t.clock().setNowMs(T0ms + 3 + ms);
        t.pump();
        const bool level = t.modemSignals() & GpsTransport::Dcd;
        if (level && !previous)
            ++rising;
        previous = level;
    }
    // Nine edges fall in the window (T0+1 ... T0+9); a reader that polls once a second sees
    // high, low, high ... and so one edge every other poll at worst.
    if (pollMs < 1000)
        QCOMPARE(rising, 9);
    else
        QVERIFY(rising >= 4);
}

void TestSimulatorTransport::answerArrivesAfterTheCommand()
{
    SimulatedReceiverTransport t(SimulatedReceiverConfig::forModel("VP"), SimulationClock::manual(T0ms + 100));
    QSignalSpy ready(&t, &GpsTransport::readyRead);
    t.open(portAt(9600));
    QCOMPARE(t.write(cmd(QByteArray("Ea\x00", 3))), qint64(8));
    t.pump();
    QCOMPARE(ready.count(), 0);
    t.clock().advanceMs(200);
    t.pump();
    QCOMPARE(ready.count(), 1);
    QCOMPARE(frameIds(t.readAll()), QList<QByteArray> { "Ea" });
    // A 12-channel poll gets nothing from an 8-channel unit.
    t.write(cmd(QByteArray("Ha\x00", 3)));
    t.clock().advanceMs(500);
    t.pump();
    QVERIFY(t.readAll().isEmpty());
    QCOMPARE(t.receiver().receivedCount("Ha"), 1);
}

void TestSimulatorTransport::linkRateReachesTheReceiver()
{
    SimulatedReceiverConfig c;
    c.dataRate = 9600;
    SimulatedReceiverTransport t(c, SimulationClock::manual(T0ms + 100));
    t.open(portAt(4800));
    QCOMPARE(t.receiver().linkRate(), 4800);
    t.write(cmd("Cj"));
    t.clock().advanceMs(1500);
    t.pump();
    QVERIFY(t.readAll().isEmpty());   // silent at the wrong rate, even across a second
    t.open(portAt(9600));             // the link re-opens at another rate
    t.write(cmd("Cj"));
    t.clock().advanceMs(600);
    t.pump();
    QVERIFY(frameIds(t.readAll()).contains("Cj"));
}

void TestSimulatorTransport::clockJumpDoesNotFlood()
{
    SimulatedReceiverTransport t(SimulatedReceiverConfig(), SimulationClock::manual(T0ms));
    QSignalSpy edges(&t, &SimulatedReceiverTransport::ppsEdge);
    t.open(portAt(9600));
    t.clock().advanceMs(3600 * 1000);   // an hour later
    t.pump();
    QVERIFY(edges.count() <= 2);
    t.clock().advanceMs(1000);
    t.pump();
    QCOMPARE(edges.last().first().toLongLong(), T0ms / 1000 + 3601);
}

void TestSimulatorTransport::closedTransportIsQuiet()
{
    SimulatedReceiverTransport t(SimulatedReceiverConfig(), SimulationClock::manual(T0ms));
    QCOMPARE(t.write("x"), qint64(-1));
    t.open(portAt(9600));
    t.clock().advanceMs(1000);
    t.pump();
    t.close();
    QVERIFY(!t.isOpen());
    QCOMPARE(t.modemSignals(), 0);
    t.clock().advanceMs(2000);
    t.pump();
    QVERIFY(t.readAll().isEmpty());
}

void TestSimulatorTransport::registeredUnderSimulatorName()
{
    TestSupport::TemporarySettings temp;
    QSettings().setValue(SimulatedReceiverConfig::keyModel(), QStringLiteral("UT+"));
    QSettings().setValue(SimulatedReceiverConfig::keyDataRate(), 4800);
    GpsTransportFactory factory;
    SimulatedReceiverTransport::registerIn(factory);
    auto stored = factory.create(QStringLiteral("SIMULATOR"));
    QVERIFY(stored);
    QCOMPARE(static_cast<SimulatedReceiverTransport *>(stored.get())->receiver().config().modelName, QStringLiteral("UT+"));
    QCOMPARE(static_cast<SimulatedReceiverTransport *>(stored.get())->receiver().dataRate(), 4800);
    SimulatedReceiverTransport::registerIn(factory, QStringLiteral("VP"));
    auto named = factory.create(QStringLiteral("SIMULATOR"));
    QCOMPARE(static_cast<SimulatedReceiverTransport *>(named.get())->receiver().config().channels, 8);
    QVERIFY(static_cast<SimulatedReceiverTransport *>(named.get())->receiver().config().amuSignal);
}

void TestSimulatorTransport::drivesTheLink()
{
    // The real link, polled by hand every 10 ms of simulated time: one "-- PPS --" and one
    // PpsTick per second, each followed by that second's messages.
    TestSupport::TemporarySettings temp;
    ReceiverState state;
    state.receiverMode = ReceiverMode::MotorolaBinary;
    GpsSerialPortThread link(&state);
    link.setPpsInterface(1);   // DCD
    QList<QByteArray> texts;
    int ticks = 0;
    connect(&link, &GpsSerialPortThread::newGpsText, this, [&texts](const QByteArray &t) { texts << t; });
    connect(&link, &GpsSerialPortThread::PpsTick, this, [&ticks, &texts] {
        ++ticks;
        texts << "tick";
    });
    auto owned = std::make_unique<SimulatedReceiverTransport>(SimulatedReceiverConfig(), SimulationClock::manual(T0ms + 5));
    SimulatedReceiverTransport *t = owned.get();
    GpsPortSettings settings = portAt(9600);
    settings.ppsInterface = 1;
    link.useTransport(std::move(owned), settings);
    QVERIFY(link.isPortOpen());
    for (int ms = 10; ms <= 3000; ms += 10) {
        t->clock().setNowMs(T0ms + 5 + ms);
        t->pump();            // the transport's own timer
        link.handleTimedPolls();
        QCoreApplication::processEvents();
    }
    link.stopGpsSerialPort();
    QCOMPARE(ticks, 3);
    QList<QByteArray> shape;
    for (const QByteArray &x : texts)
        shape << (x.startsWith("@@") ? x.mid(2, 2) : x);
    const QList<QByteArray> second { "tick", "-- PPS --", "Ha", "Hn", "Bb" };
    QCOMPARE(shape.mid(0, 5), second);
    QCOMPARE(shape.mid(5, 5), second);
    QCOMPARE(shape.mid(10, 1), QList<QByteArray> { "tick" });
    // The position message after the pulse of 00:00:01 announces 00:00:02, the next pulse.
    QCOMPARE(uint8_t(texts.at(2).at(10)), 2);
    QCOMPARE(uint8_t(texts.at(7).at(10)), 3);
}

void TestSimulatorTransport::runsOnItsOwnTimers()
{
    // Sixty simulated seconds at thirty times real speed, on real timers.
    SimulatedReceiverTransport t(SimulatedReceiverConfig::forModel("UT+"),
                                 SimulationClock::startingAt(QDateTime::fromMSecsSinceEpoch(T0ms + 900, Qt::UTC), 30.0));
    QSignalSpy edges(&t, &SimulatedReceiverTransport::ppsEdge);
    QByteArray all;
    connect(&t, &GpsTransport::readyRead, this, [&] { all += t.readAll(); });
    t.open(portAt(9600));
    QTRY_VERIFY_WITH_TIMEOUT(edges.count() >= 5, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(frameIds(all).count("Ea") >= 4, 5000);
    const QList<QByteArray> ids = frameIds(all);
    QCOMPARE(ids.count("Ea"), ids.count("Bb"));
}

QTEST_GUILESS_MAIN(TestSimulatorTransport)
#include "tst_simulatortransport.moc"
