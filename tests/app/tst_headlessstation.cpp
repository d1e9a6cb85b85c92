// A station with no widget library: built from the headless libraries alone, it finds the
// simulated receiver, sets it up and runs a simulated minute on its 1PPS.

#include "support/TestSupport.h"

#include "app/Station.h"
#include "receiver/link/GpsSerialPortThread.h"
#include "receiver/link/ReceiverCommandChannel.h"
#include "receiver/setup/ReceiverDetection.h"
#include "sim/SimulatedReceiverTransport.h"
#include "transport/GpsPortSettings.h"
#include "core/ReceiverMode.h"

#include <QFile>
#include <QTest>

class TestHeadlessStation : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void noWidgetLibraryLoaded();
    void simulatedMinute();
    void displayTiming_data();
    void displayTiming();
};

void TestHeadlessStation::noWidgetLibraryLoaded()
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly))
        QSKIP("no /proc/self/maps on this system");
    const QByteArray mapped = maps.readAll();
    QVERIFY(!mapped.contains("libQt6Widgets"));
    QVERIFY(!mapped.contains("libQt6Gui"));
}

void TestHeadlessStation::simulatedMinute()
{
    TestSupport::TemporarySettings temp;
    constexpr double speed = 5.0;
    bool ok = false;
    const SimulatedReceiverConfig config = SimulatedReceiverConfig::forModel(QStringLiteral("M12+"), &ok);
    QVERIFY(ok);
    {
        QSettings s;
        s.setValue(GpsPortSettings::keyPort(), GpsPortSettings::simulatorPortName());
        s.setValue(GpsPortSettings::keyMode(), QStringLiteral("Motorola Binary"));
    }
    Station station;
    station.link().transportFactory().registerTransport(GpsPortSettings::simulatorPortName(), [&config] {
        return std::make_unique<SimulatedReceiverTransport>(
            config, SimulationClock::startingAt(QDateTime::currentDateTimeUtc(), speed));
    });
    station.commandChannel().setPauseMs(0);
    station.detection().setTiming({ 450, 450, 5 });
    {
        QSettings s;
        station.readPortSettings(s);
    }
    station.startGpsSerialPort(false);
    QVERIFY(station.detection().initialiseReceiver());
    QCOMPARE(station.state().receiverModel, int(ReceiverModelCode::M12Plus));

    // Each tick records the receiver second it shows.
    QList<QDateTime> seconds;
    connect(&station, &Station::clockPanelUpdated, this,
            [&] { seconds << station.state().displayedUtcDateTime.dateTime(); });
    QTRY_VERIFY_WITH_TIMEOUT(seconds.size() >= 64, 40000);
    station.setClosing();

    // Sixty consecutive receiver seconds (the first tick after set-up may still show the
    // last second before it).
    int run = 1;
    int longest = 1;
    for (int i = 1; i < seconds.size(); ++i) {
        run = seconds[i - 1].secsTo(seconds[i]) == 1 ? run + 1 : 1;
        longest = std::max(longest, run);
    }
    QVERIFY2(longest >= 60, qPrintable(QStringLiteral("longest run %1 of %2 ticks").arg(longest).arg(seconds.size())));

    // The decoded position is the simulated station's, within its scatter.
    const StationPosition p = station.averaging().currentPosition();
    QVERIFY2(std::abs(p.lat - config.latitude) < 1e-3, qPrintable(QString::number(p.lat, 'f', 6)));
    QVERIFY2(std::abs(p.lon - config.longitude) < 1e-3, qPrintable(QString::number(p.lon, 'f', 6)));
}

void TestHeadlessStation::displayTiming_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("silenced");   // the set-up stops the output for seconds
    QTest::newRow("Motorola binary") << QStringLiteral("M12+") << int(ReceiverMode::MotorolaBinary) << true;
    QTest::newRow("u-blox UBX") << QStringLiteral("LEA-6T") << int(ReceiverMode::UbloxUbx) << false;
    QTest::newRow("u-blox NMEA") << QStringLiteral("LEA-6T") << int(ReceiverMode::UbloxNmea) << false;
    QTest::newRow("Motorola NMEA") << QStringLiteral("M12+") << int(ReceiverMode::MotorolaNmea) << false;
    QTest::newRow("generic NMEA") << QStringLiteral("LEA-6T") << int(ReceiverMode::GenericNmea) << false;
}

// On the simulated receiver and its simulated 1PPS (DCD): the clock changes once per edge, shows
// the simulator's true second at every edge (never the next one), counts on grey while the
// set-up silences the receiver, and shows dashes before the first receiver time.
void TestHeadlessStation::displayTiming()
{
    QFETCH(QString, model);
    QFETCH(int, mode);
    QFETCH(bool, silenced);
    TestSupport::TemporarySettings temp;
    bool ok = false;
    const SimulatedReceiverConfig config = SimulatedReceiverConfig::forModel(model, &ok);
    QVERIFY(ok);
    {
        QSettings s;
        s.setValue(GpsPortSettings::keyPort(), GpsPortSettings::simulatorPortName());
        s.setValue(GpsPortSettings::keyMode(), ReceiverMode::text(mode));
        s.setValue(GpsPortSettings::keyDataRate(), config.dataRate);
        s.setValue(GpsPortSettings::keyPpsInterface(), 1);   // DCD
    }
    Station station;
    qint64 trueSecond = -1;   // the simulator's second at its last edge
    // One sky clock for every receiver the link makes (the set-up may reopen the port).
    const SimulationClock sky = SimulationClock::startingAt(QDateTime::currentDateTimeUtc(), 4.0);
    station.link().transportFactory().registerTransport(GpsPortSettings::simulatorPortName(), [&] {
        auto rx = std::make_unique<SimulatedReceiverTransport>(config, sky);
        connect(rx.get(), &SimulatedReceiverTransport::ppsEdge, this, [&](qint64 s) { trueSecond = s; });
        return rx;
    });
    station.commandChannel().setPauseMs(0);
    station.detection().setTiming({ 450, 450, 5 });
    {
        QSettings s;
        station.readPortSettings(s);
    }

    struct Draw
    {
        qint64 edge;
        ClockDisplayRule::Shown shown;
        bool busy;
    };
    QList<Draw> draws;
    connect(&station, &Station::clockPanelUpdated, this, [&] {
        draws.append({ trueSecond, station.clockDisplay().shown(), station.state().receiverBusy });
    });
    station.startGpsSerialPort(false);
    QTRY_VERIFY_WITH_TIMEOUT(draws.size() >= 3, 10000);
    QVERIFY(station.detection().initialiseReceiver());
    const qsizetype setUpEnd = draws.size();
    QTRY_VERIFY_WITH_TIMEOUT(draws.size() >= setUpEnd + 12, 20000);
    station.setClosing();

    // The PC's clock never stands in for the receiver's: dashes until the receiver spoke.
    QVERIFY(!draws.first().shown.known);
    int counted = 0;
    for (qsizetype i = 0; i < draws.size(); ++i) {
        const Draw &d = draws.at(i);
        if (!d.shown.known)
            continue;
        const qint64 shown = d.shown.utc.toSecsSinceEpoch();
        // The second that begins at the edge, counted or received; never the coming one.
        QVERIFY2(shown == d.edge, qPrintable(QStringLiteral("draw %1: shows %2, edge %3").arg(i).arg(shown).arg(d.edge)));
        if (d.shown.flywheel) {
            QVERIFY(d.busy || i < setUpEnd + 2);
            ++counted;
        }
        if (i > 0 && draws.at(i - 1).shown.known)
            QCOMPARE(shown - draws.at(i - 1).shown.utc.toSecsSinceEpoch(), 1);   // one draw per edge
    }
    if (silenced)
        QVERIFY2(counted > 0, "the set-up silenced the receiver without a counted second");
    // After the set-up the receiver confirms every second.
    QVERIFY(!draws.last().shown.flywheel);
}

QTEST_GUILESS_MAIN(TestHeadlessStation)
#include "tst_headlessstation.moc"
