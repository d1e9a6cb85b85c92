// A station with no widget library: built from the headless libraries alone, it finds the
// simulated receiver, sets it up and runs a simulated minute on its 1PPS.

#include "support/TestSupport.h"

#include "app/Station.h"
#include "receiver/link/GpsSerialPortThread.h"
#include "receiver/link/ReceiverCommandChannel.h"
#include "receiver/setup/ReceiverDetection.h"
#include "sim/SimulatedReceiverTransport.h"
#include "transport/GpsPortSettings.h"

#include <QFile>
#include <QTest>

class TestHeadlessStation : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void noWidgetLibraryLoaded();
    void simulatedMinute();
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

QTEST_GUILESS_MAIN(TestHeadlessStation)
#include "tst_headlessstation.moc"
