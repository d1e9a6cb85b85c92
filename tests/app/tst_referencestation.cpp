// The reference location and the receiver settings on a station talking to the simulated
// receivers: what the receiver is sent, and what it then reports back through the decoders.

#include "support/SharedReceiverPort.h"
#include "support/TestSupport.h"

#include "app/SatelliteTableModel.h"
#include "app/Station.h"
#include "receiver/link/GpsSerialPortThread.h"
#include "receiver/link/ReceiverCommandChannel.h"
#include "receiver/setup/ReceiverDetection.h"
#include "receiver/setup/ReceiverSettings.h"
#include "receiver/setup/ReceiverType.h"
#include "receiver/ubx/UbxConfiguration.h"
#include "sim/SimulatedReceiverTransport.h"
#include "transport/GpsPortSettings.h"

#include <QTest>
#include <algorithm>
#include <cmath>

namespace {

constexpr double kSpeed = 5.0;
const StationPosition kReference { 47.3770001, 8.5405002, 530.25, 482.65 };

// A station on one simulated receiver kept across port re-openings.
struct Rig
{
    Rig(const QString &model, const QString &modeText, const QDateTime &start)
        : config(SimulatedReceiverConfig::forModel(model))
        , rx(config, SimulationClock::startingAt(start, kSpeed))
    {
        {
            QSettings s;
            s.setValue(GpsPortSettings::keyPort(), GpsPortSettings::simulatorPortName());
            s.setValue(GpsPortSettings::keyMode(), modeText);
        }
        station.link().transportFactory().registerTransport(GpsPortSettings::simulatorPortName(), [this] {
            return std::make_unique<SharedReceiverPort>(rx);
        });
        station.commandChannel().setPauseMs(0);
        station.detection().setTiming({ 450, 450, 5 });
    }
    ~Rig() { station.setClosing(); }
    bool start()
    {
        QSettings s;
        station.readPortSettings(s);
        station.startGpsSerialPort(false);
        return station.detection().initialiseReceiver();
    }
    bool ticks(int n)   // n further clock-panel updates
    {
        int seen = 0;
        const auto c = QObject::connect(&station, &Station::clockPanelUpdated, [&] { ++seen; });
        const bool ok = QTest::qWaitFor([&] { return seen >= n; }, 30000);
        QObject::disconnect(c);
        return ok;
    }
    SimulatedReceiver &sim() { return rx.receiver(); }

    SimulatedReceiverConfig config;
    SimulatedReceiverTransport rx;
    Station station;
};

// A start second at which, with the receiver's own mask, PRN 1 or 32 and a satellite below 25
// degrees have a channel, so that the settings under test have something to remove.
QDateTime startWithWorkToDo(const SimulatedReceiverConfig &config)
{
    const SimulatedSky sky(config);
    const qint64 base = QDateTime(QDate(2026, 3, 1), QTime(0, 0), Qt::UTC).toSecsSinceEpoch();
    for (qint64 t = base; t < base + 300000; t += 600) {
        const SimulatedEpoch e = sky.epochAt(t);
        const auto has = [&e](auto pred) { return std::any_of(e.satellites.begin(), e.satellites.end(), pred); };
        if (has([](auto &s) { return s.channel >= 0 && (s.svId == 1 || s.svId == 32); })
            && has([](auto &s) { return s.channel >= 0 && s.elevationExact < 25.0; }))
            return QDateTime::fromSecsSinceEpoch(t - 30, Qt::UTC);
    }
    return {};
}

} // namespace

class TestReferenceStation : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void motorolaHoldsTheReferenceAndHonoursMasks();
    void ubloxFixedModeAtTheReference_data();
    void ubloxFixedModeAtTheReference();
    void receiveOnlySendsNothing();
    void siderealLongitudeFollowsAverageThenReference();
    void referenceLoadedOnStartOnlyWhenAsked_data();
    void referenceLoadedOnStartOnlyWhenAsked();
};

static void storeSettings(int elevationMask, uint32_t ignoreMask = 0, int receiverType = -1)
{
    QSettings s;
    ReceiverSettings rs;
    rs.gpsMode = ReceiverSettings::Nav0D;
    rs.elevationMask = elevationMask;
    rs.satelliteIgnoreMask = ignoreMask;
    rs.save(s);
    if (receiverType >= 0)
        ReceiverType { receiverType }.save(s);
}

void TestReferenceStation::motorolaHoldsTheReferenceAndHonoursMasks()
{
    TestSupport::TemporarySettings home;
    storeSettings(30, 0x80000001u);   // PRN 1 and 32 ignored
    const QDateTime start = startWithWorkToDo(SimulatedReceiverConfig::forModel(QStringLiteral("M12+")));
    QVERIFY(start.isValid());
    Rig rig(QStringLiteral("M12+"), QStringLiteral("Motorola Binary"), start);
    rig.station.averaging().setReferenceLocation(kReference);   // before the port: nothing sent yet
    QVERIFY(rig.sim().receivedCommands().isEmpty());
    QVERIFY(rig.start());

    QCOMPARE(rig.sim().lastParameters("Am"), QByteArray::fromHex("007ffffffe"));
    QCOMPARE(rig.sim().lastParameters("Ag"), QByteArray::fromHex("1e"));
    const QList<QByteArray> &ids = rig.sim().receivedCommands();
    QVERIFY(ids.lastIndexOf("As") >= 0 && ids.lastIndexOf("As") < ids.lastIndexOf("Gd"));
    QVERIFY(rig.ticks(4));

    // The table shows no satellite below the mask and neither ignored PRN.
    const ReceiverState &state = rig.station.state();
    int shown = 0;
    for (const SatelliteRecord &r : state.satellites) {
        if (!SatelliteTableModel::isShown(r, state.receiverMode))
            continue;
        ++shown;
        QVERIFY2(r.elevation >= 30 && r.svId != 1 && r.svId != 32, qPrintable(QString::number(r.svId)));
    }
    QVERIFY(shown >= 3);

    // Position hold at the point the receiver was sent, as the decoders read it back.
    QVERIFY(rig.sim().positionHold());
    StationPosition p = rig.station.averaging().currentPosition();
    QVERIFY2(std::abs(p.lat - kReference.lat) < 1e-6 && std::abs(p.lon - kReference.lon) < 1e-6,
             qPrintable(QStringLiteral("%1 %2").arg(p.lat, 0, 'f', 7).arg(p.lon, 0, 'f', 7)));
    QVERIFY(std::abs(p.altGps - kReference.altGps) < 0.011);

    // A new reference reaches the holding receiver without a restart.
    const StationPosition moved { -33.25, 151.125, 40.5, 18.0 };
    rig.station.averaging().setReferenceLocation(moved);
    QVERIFY(rig.ticks(3));
    p = rig.station.averaging().currentPosition();
    QVERIFY(std::abs(p.lat - moved.lat) < 1e-6 && std::abs(p.lon - moved.lon) < 1e-6);
}

// CFG-TMODE and CFG-TMODE2, CFG-TMODE2 alone, configuration keys.
void TestReferenceStation::ubloxFixedModeAtTheReference_data()
{
    QTest::addColumn<QString>("model");
    for (const char *model : { "LEA-6T", "NEO-M8T", "ZED-F9T" })
        QTest::newRow(model) << QString::fromLatin1(model);
}

void TestReferenceStation::ubloxFixedModeAtTheReference()
{
    QFETCH(QString, model);
    TestSupport::TemporarySettings home;
    storeSettings(25);
    Rig rig(model, QStringLiteral("u-blox UBX"), QDateTime::currentDateTimeUtc());
    rig.station.averaging().setReferenceLocation(kReference);
    QVERIFY(rig.start());
    const SimulatedSky &sky = rig.sim().sky();
    QVERIFY(rig.sim().positionHold());
    QCOMPARE(sky.elevationMask(), 25);
    // Centimetre ECEF: within a centimetre of the reference on the ground.
    QVERIFY2(std::abs(sky.heldLatitude() - kReference.lat) * 111111.1 < 0.01, qPrintable(QString::number(sky.heldLatitude(), 'f', 9)));
    QVERIFY(std::abs(sky.heldLongitude() - kReference.lon) * 111111.1 * std::cos(kReference.lat * M_PI / 180) < 0.01);
    QVERIFY(std::abs(sky.heldHeight() - kReference.altGps) < 0.01);
}

void TestReferenceStation::receiveOnlySendsNothing()
{
    TestSupport::TemporarySettings home;
    storeSettings(5, 0, ReceiverType::choiceOf(1, 2));   // UT, UT+ 2.0 and up
    Rig rig(QStringLiteral("UT+"), QStringLiteral("Motorola Binary Rx Only"), QDateTime::currentDateTimeUtc());
    QVERIFY(rig.start());
    rig.station.averaging().setReferenceLocation(kReference);
    rig.station.applyReceiverSettings();
    QVERIFY(rig.ticks(2));
    QCOMPARE(rig.sim().receivedCommands(), QList<QByteArray>());
    const ReceiverState &s = rig.station.state();
    QVERIFY(s.receiverModel == ReceiverModelCode::UTPlus && s.channelCount == 8 && s.firmwareVersionText == "2.0");
    QVERIFY(rig.station.averaging().currentPosition().lat != 0.0);   // listened to all the same
}

// Until a reference is set the sidereal clock uses the averaged position; a reference set by
// the user, now or at an earlier start, wins from then on.
void TestReferenceStation::siderealLongitudeFollowsAverageThenReference()
{
    TestSupport::TemporarySettings home;
    const QDateTime now(QDate(2026, 12, 5), QTime(18, 0), Qt::UTC);
    {
        Station station;
        AveragingEngine &e = station.averaging();
        QVERIFY(!e.referenceSetByUser());
        e.setTimingSatellites(8);
        e.updateLockStatus(0, now);
        e.setFixType(3);
        e.updatePosition(48.0, 12.25, 500.0, 452.0, 0);
        e.updatePosition(48.0, 12.75, 500.0, 452.0, 0);
        QCOMPARE(station.state().displayedUtcDateTime.longitude(), 12.25 + 0.5 / 3);   // the running mean
        e.setReferenceLocation({ 40.0, -3.5, 700.0, 650.0 });
        QCOMPARE(station.state().receiverUtcDateTime.longitude(), -3.5);
        e.updatePosition(48.0, 12.75, 500.0, 452.0, 0);
        QCOMPARE(station.state().displayedUtcDateTime.longitude(), -3.5);
    }
    Station restarted;
    QVERIFY(restarted.averaging().referenceSetByUser());
    QCOMPARE(restarted.state().displayedUtcDateTime.longitude(), -3.5);
}

void TestReferenceStation::referenceLoadedOnStartOnlyWhenAsked_data()
{
    QTest::addColumn<bool>("loadOnStart");
    QTest::newRow("load the stored reference") << true;
    QTest::newRow("take the first position") << false;
}

// A station started with the flag off keeps the stored reference in the store, measures against
// its first position, keeps that over a receiver re-initialisation and an averages save, and
// reckons LMST at the averaged position.
void TestReferenceStation::referenceLoadedOnStartOnlyWhenAsked()
{
    QFETCH(bool, loadOnStart);
    TestSupport::TemporarySettings home;
    {
        Station first;
        first.averaging().setRefLocOnStart(loadOnStart);
        first.averaging().setReferenceLocation({ 40.0, -3.5, 700.0, 650.0 });
    }
    Station station;
    AveragingEngine &e = station.averaging();
    QCOMPARE(e.referencePending(), !loadOnStart);
    e.setTimingSatellites(8);
    e.updateLockStatus(0, QDateTime(QDate(2026, 12, 5), QTime(18, 0), Qt::UTC));
    e.setFixType(3);
    e.updatePosition(48.0, 12.25, 500.0, 452.0, 0);
    e.updatePosition(48.0, 12.75, 500.0, 452.0, 0);
    // Ref-Cur of the second fix: 0.5 degrees of longitude at the run's own reference.
    const double refCurLon = e.term(AveragingEngine::RefCur, AveragingEngine::Lon);
    QVERIFY2(loadOnStart ? refCurLon < -1e6 : qAbs(refCurLon + 0.5 * e.metresPerDegLon()) < 1e-6,
             qPrintable(QString::number(refCurLon)));
    QCOMPARE(station.state().displayedUtcDateTime.longitude(), loadOnStart ? -3.5 : 12.25 + 0.5 / 3);
    {
        QSettings s;
        e.reloadSettings(s);
        e.saveSettings(s);
    }
    const StationPosition ref = e.referencePosition();
    QVERIFY(ref.lat == (loadOnStart ? 40.0 : 48.0) && ref.lon == (loadOnStart ? -3.5 : 12.25));
    QSettings s;
    QCOMPARE(s.value(QStringLiteral("GpsNavDialog/RefLocation/Longitude")).toString(),
             QStringLiteral("-3.5000000000000000"));
    QCOMPARE(s.value(QStringLiteral("GpsNavDialog/RefLocation/Ref_Loc_On_Start")).toBool(), loadOnStart);
}

CHRONODE_TEST_MAIN(TestReferenceStation)
#include "tst_referencestation.moc"
