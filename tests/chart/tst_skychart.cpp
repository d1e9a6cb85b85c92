#include "support/TestSupport.h"

#include "chart/SkyChartModel.h"

#include <QTest>

Q_DECLARE_METATYPE(SatelliteRecord)

using Sat = QList<int>;   // azimuth, elevation, usable, used

class TestSkyChart : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { m_settings = std::make_unique<TestSupport::TemporarySettings>(); }
    void cleanup() { m_settings.reset(); }

    void sectors_data();
    void sectors();
    void storedLists_data();
    void storedLists();
    void linesDrawUnsetAtHorizon();
    void recordsToSeries_data();
    void recordsToSeries();
    void savedOnChangeAtMostOnceAMinute();
    void pickWithinTolerance();

private:
    std::unique_ptr<TestSupport::TemporarySettings> m_settings;
};

void TestSkyChart::sectors_data()
{
    QTest::addColumn<QList<Sat>>("satellites");
    QTest::addColumn<int>("horizonSector");
    QTest::addColumn<double>("horizon");
    QTest::addColumn<int>("skyHoleSector");
    QTest::addColumn<double>("skyHole");
    QTest::addColumn<bool>("lastChanged");

    QTest::newRow("359/5 sets both last sectors") << QList<Sat> { { 359, 5, 40, 1 } } << 179 << 85.0 << 35 << 85.0 << true;
    QTest::newRow("358/20 keeps horizon, lowers sky hole")
        << QList<Sat> { { 359, 5, 40, 1 }, { 358, 20, 40, 1 } } << 179 << 85.0 << 35 << 70.0 << true;
    QTest::newRow("lower satellite raises horizon value")
        << QList<Sat> { { 358, 20, 40, 1 }, { 359, 5, 40, 1 } } << 179 << 85.0 << 35 << 70.0 << true;
    QTest::newRow("same satellite again changes nothing")
        << QList<Sat> { { 100, 30, 40, 1 }, { 100, 30, 40, 1 } } << 50 << 60.0 << 10 << 60.0 << false;
    QTest::newRow("azimuth 360 counts as 359") << QList<Sat> { { 360, 10, 40, 1 } } << 179 << 80.0 << 35 << 80.0 << true;
    QTest::newRow("azimuth -1 is unknown") << QList<Sat> { { -1, 10, 40, 1 } } << 0 << -1.0 << 0 << -1.0 << false;
    QTest::newRow("elevation 0") << QList<Sat> { { 90, 0, 40, 1 } } << 45 << -1.0 << 9 << -1.0 << false;
    QTest::newRow("not used") << QList<Sat> { { 90, 30, 40, 0 } } << 45 << -1.0 << 9 << -1.0 << false;
    QTest::newRow("not usable") << QList<Sat> { { 90, 30, 0, 1 } } << 45 << -1.0 << 9 << -1.0 << false;
    QTest::newRow("above 90 is the zenith") << QList<Sat> { { 0, 95, 40, 1 } } << 0 << 0.0 << 0 << 0.0 << true;
    QTest::newRow("azimuth 1 in sector 0") << QList<Sat> { { 1, 40, 40, 1 } } << 0 << 50.0 << 0 << 50.0 << true;
    QTest::newRow("azimuth 2 in sector 1") << QList<Sat> { { 2, 40, 40, 1 } } << 1 << 50.0 << 0 << 50.0 << true;
    QTest::newRow("azimuth 10 in sky-hole sector 1") << QList<Sat> { { 10, 40, 40, 1 } } << 5 << 50.0 << 1 << 50.0 << true;
}

void TestSkyChart::sectors()
{
    QFETCH(QList<Sat>, satellites);
    QFETCH(int, horizonSector);
    QFETCH(double, horizon);
    QFETCH(int, skyHoleSector);
    QFETCH(double, skyHole);
    QFETCH(bool, lastChanged);
    SkyOutline outline;
    bool changed = false;
    for (const Sat &s : satellites)
        changed = outline.addSatellite(s[0], s[1], s[2], s[3] != 0);
    QCOMPARE(changed, lastChanged);
    QCOMPARE(outline.horizon()[size_t(horizonSector)], horizon);
    QCOMPARE(outline.skyHole()[size_t(skyHoleSector)], skyHole);
    // Nothing else was touched.
    const int setHorizon = int(std::count_if(outline.horizon().begin(), outline.horizon().end(), [](double v) { return v >= 0; }));
    QCOMPARE(setHorizon, horizon >= 0 ? 1 : 0);
}

void TestSkyChart::storedLists_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("used");
    QTest::addColumn<double>("first");
    QTest::addColumn<double>("last");

    auto list = [](int n, const QString &first, const QString &last) {
        QStringList parts(n, QStringLiteral("45.00"));
        parts.first() = first;
        parts.last() = last;
        return parts.join(QLatin1Char(','));
    };
    QTest::newRow("180 values") << list(180, QStringLiteral("85.00"), QStringLiteral("12.5")) << 180 << true << 85.0 << 12.5;
    QTest::newRow("179 values ignored") << list(179, QStringLiteral("85.00"), QStringLiteral("12.5")) << 180 << false << -1.0 << -1.0;
    QTest::newRow("181 values ignored") << list(181, QStringLiteral("85.00"), QStringLiteral("12.5")) << 180 << false << -1.0 << -1.0;
    QTest::newRow("empty parts dropped") << QStringLiteral(",,") + list(36, QStringLiteral("0"), QStringLiteral("90")) + QStringLiteral(",")
                                         << 36 << true << 0.0 << 90.0;
    QTest::newRow("out of range and text stay unset")
        << list(36, QStringLiteral("90.01"), QStringLiteral("abc")) << 36 << true << -1.0 << -1.0;
    QTest::newRow("-1 stays unset") << list(36, QStringLiteral("-1.00"), QStringLiteral("-0.5")) << 36 << true << -1.0 << -1.0;
}

void TestSkyChart::storedLists()
{
    QFETCH(QString, stored);
    QFETCH(int, count);
    QFETCH(bool, used);
    QFETCH(double, first);
    QFETCH(double, last);
    std::vector<double> values(size_t(count), 7.0);
    QCOMPARE(SkyOutline::decode(stored, values.data(), count), used);
    QCOMPARE(values.front(), first);
    QCOMPARE(values.back(), last);
    if (used && first >= 0)
        QCOMPARE(values[1], 45.0);

    // Through the settings, then written back in the two-decimal form.
    QSettings settings;
    settings.setValue(count == 180 ? SkyOutline::keyHorizon() : SkyOutline::keySkyHole(), stored);
    SkyOutline outline;
    outline.load(settings);
    outline.save(settings);
    const QStringList saved = settings.value(count == 180 ? SkyOutline::keyHorizon() : SkyOutline::keySkyHole()).toString().split(',');
    QCOMPARE(saved.size(), count);
    QCOMPARE(saved.first(), QString::number(first, 'f', 2));
}

void TestSkyChart::linesDrawUnsetAtHorizon()
{
    SkyOutline outline;
    outline.addSatellite(3, 30, 40, true);   // horizon sector 1, sky-hole sector 0
    const QList<QPointF> h = outline.horizonPoints();
    QCOMPARE(h.size(), 181);
    QCOMPARE(h[0], QPointF(0, 90));
    QCOMPARE(h[1], QPointF(2, 60));
    QCOMPARE(h[179], QPointF(358, 90));
    QCOMPARE(h[180], QPointF(360, 90));
    const QList<QPointF> s = outline.skyHolePoints();
    QCOMPARE(s.size(), 37);
    QCOMPARE(s[0], QPointF(0, 60));
    QCOMPARE(s[35], QPointF(350, 90));
    QCOMPARE(s[36], QPointF(360, 60));   // closes on the first sector
}

void TestSkyChart::recordsToSeries_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<SatelliteRecord>("record");
    QTest::addColumn<int>("series");   // -1: not drawn
    QTest::addColumn<bool>("counts");  // reaches the outlines

    const auto rec = [](int sv, int el, int az, int cNo, int inTrack, int flags, int riseSet) {
        SatelliteRecord r;
        r.svId = sv;
        r.elevation = el;
        r.azimuth = az;
        r.cNo = cNo;
        r.inTrack = uint8_t(inTrack);
        r.svFlags = uint8_t(flags);
        r.riseSet = riseSet;
        return r;
    };
    QTest::newRow("rising, tracked") << 2 << rec(5, 40, 100, 45, 1, 0, 1) << int(SkyChartModel::Rising) << true;
    QTest::newRow("setting, not tracked") << 2 << rec(5, 40, 100, 45, 0, 0, -1) << int(SkyChartModel::Falling) << false;
    QTest::newRow("rise/set unknown") << 2 << rec(5, 40, 100, 45, 1, 0, 0) << int(SkyChartModel::NoDoppler) << true;
    QTest::newRow("SBAS 120") << 2 << rec(120, 30, 200, 40, 1, 0, 1) << int(SkyChartModel::Sbas) << true;
    QTest::newRow("SBAS 158") << 2 << rec(158, 30, 200, 40, 1, 0, -1) << int(SkyChartModel::Sbas) << true;
    QTest::newRow("159 is not SBAS") << 2 << rec(159, 30, 200, 40, 1, 0, -1) << int(SkyChartModel::Falling) << true;
    QTest::newRow("unknown azimuth not drawn") << 2 << rec(7, 30, -1, 40, 1, 0, 1) << -1 << false;
    QTest::newRow("unknown elevation not drawn") << 2 << rec(7, -1, 10, 40, 1, 0, 1) << -1 << false;
    QTest::newRow("u-blox used flag") << 9 << rec(7, 30, 10, 40, 0, SvFlag::UbxUsed, 1) << int(SkyChartModel::Rising) << true;
    QTest::newRow("u-blox tracked but not used") << 10 << rec(7, 30, 10, 40, 1, 0, 1) << int(SkyChartModel::Rising) << false;
    QTest::newRow("parity bit is no used flag") << 2 << rec(7, 30, 10, 40, 0, SvFlag::ParityError, 1) << int(SkyChartModel::Rising) << false;
}

void TestSkyChart::recordsToSeries()
{
    QFETCH(int, mode);
    QFETCH(SatelliteRecord, record);
    QFETCH(int, series);
    QFETCH(bool, counts);
    SkyChartModel model;
    std::array<SatelliteRecord, ReceiverState::SatelliteSlots> records {};
    records[size_t(record.svId)] = record;
    model.update(records, mode);
    for (int s = 0; s < SkyChartModel::SeriesCount; ++s)
        QCOMPARE(model.points(SkyChartModel::Series(s)).size(), s == series ? 1 : 0);
    if (series >= 0)
        QCOMPARE(model.points(SkyChartModel::Series(series)).first(), QPointF(record.azimuth, 90 - record.elevation));
    QCOMPARE(model.savePending() || model.saveCount() > 0, counts);
    // The next second without the satellite empties the series; the outline stays.
    model.update({}, mode);
    QCOMPARE(model.satellites().size(), 0);
    QCOMPARE(model.outline().horizon()[size_t(std::max(record.azimuth, 0) / 2)] >= 0, counts);
}

void TestSkyChart::savedOnChangeAtMostOnceAMinute()
{
    qint64 now = 1000000;
    auto stored = [] { return QSettings().value(SkyOutline::keyHorizon()).toString().split(',').value(45); };
    {
        SkyChartModel model;
        model.setClock([&] { return now; });
        model.load();
        auto one = [&](int el) {
            model.beginUpdate();
            model.addSatellite({ 7, 90, el, 40, 1, true });
            model.endUpdate();
        };
        one(30);   // the first change goes out at once
        QTRY_COMPARE(model.saveCount(), 1);
        QCOMPARE(stored(), QStringLiteral("60.00"));

        now += 10000;
        one(20);   // 10 s later: held back until the minute is over
        QVERIFY(model.savePending());
        QVERIFY2(model.pendingSaveDelayMs() > 49000 && model.pendingSaveDelayMs() <= 50000, qPrintable(QString::number(model.pendingSaveDelayMs())));
        now += 5000;
        one(10);   // joins the pending save
        QVERIFY(model.pendingSaveDelayMs() > 45000);   // the first deadline stands
        QCOMPARE(model.saveCount(), 1);
        QCOMPARE(stored(), QStringLiteral("60.00"));
        one(10);   // no change, nothing new
        now += 120000;
        one(5);
    } // shutdown stores the pending change
    QCOMPARE(stored(), QStringLiteral("85.00"));

    // A new run starts from the stored outline; a reset stores -1 everywhere at once.
    SkyChartModel again;
    again.load();
    QCOMPARE(again.outline().horizon()[45], 85.0);
    again.resetOutline();
    QCOMPARE(stored(), QStringLiteral("-1.00"));
    QCOMPARE(QSettings().value(SkyOutline::keySkyHole()).toString(), QStringList(36, QStringLiteral("-1.00")).join(','));
}

void TestSkyChart::pickWithinTolerance()
{
    SkyChartModel model;
    model.beginUpdate();
    model.addSatellite({ 12, 123, 45, 40, 1, true });
    model.addSatellite({ 13, 124, 45, 40, 1, true });
    model.endUpdate();
    QCOMPARE(model.satelliteAt(QPointF(123.008, 45.0 - 0.008))->svId, 12);
    QCOMPARE(model.satelliteAt(QPointF(124.0, 45.0))->svId, 13);
    QVERIFY(!model.satelliteAt(QPointF(123.01, 45.0)));
    QVERIFY(!model.satelliteAt(QPointF(123.0, 45.01)));
    QCOMPARE(SkyChartModel::calloutText(*model.satelliteAt(QPointF(123, 45))), QStringLiteral("Prn: 12, Az: 123, El: 45 "));
}

QTEST_GUILESS_MAIN(TestSkyChart)
#include "tst_skychart.moc"
