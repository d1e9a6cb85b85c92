#include "averaging/Geoid.h"

#include <QtTest>
#include <cmath>
#include <limits>

// Row r is latitude -90 + 10 r, column c is longitude -180 + 10 c.
namespace {

double nodeValue(int row, int column)
{
    return geoidSeparation(-90.0 + 10.0 * row, -180.0 + 10.0 * column);
}

// Sum and position-weighted sum of each row (weights 1 ... 36 from longitude -180 eastward)
// and of each column (weights 1 ... 19 from the south pole), taken from the published table.
// The weighted sums catch swapped or shifted entries that a plain sum would miss.
constexpr int kRowSums[19] = {-1080, -884, -517, -101, 182, 206, 257, 231, 80, -15,
                              -170,  -276, -221, -98,  55,  168, 266, 370, 468};
constexpr int kRowWeighted[19] = {-19980, -14278, -7014, -111, 4837, 3692, 4621,
                                  5027,   3368,   1914,  -668, -2491, -959, 174,
                                  1073,   2989,   4934,  6821, 8658};
constexpr int kColumnSums[36] = {-16,  -72,  -123, -195, -287, -369, -379, -342, -288,
                                 -252, -180, -59,  -81,  -30,  138,  334,  412,  484,
                                 442,  435,  332,  273,  172,  -19,  -142, -351, -482,
                                 -490, -404, -275, -27,  90,   250,  229,  130,  63};
constexpr int kColumnWeighted[36] = {1020,  794,   368,   -565,  -1687, -2835, -3159, -2919, -2616,
                                     -2548, -2039, -979,  -669,  729,   3068,  5393,  5943,  6535,
                                     5860,  5555,  4016,  3134,  1872,  -684,  -2107, -4524, -5708,
                                     -5417, -4093, -2226, 932,   2395,  4370,  3933,  2751,  1827};

} // namespace

class TestGeoid : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void nodesAreWholeMetres();
    void rowChecksums();
    void columnChecksums();
    void namedNodes_data();
    void namedNodes();
    void cellMidpoints();
    void poleRows_data();
    void poleRows();
    void wrapAt180_data();
    void wrapAt180();
    void outOfRange_data();
    void outOfRange();
};

void TestGeoid::nodesAreWholeMetres()
{
    for (int r = 0; r < 19; ++r)
        for (int c = 0; c < 36; ++c) {
            const double v = nodeValue(r, c);
            QCOMPARE(v, std::round(v));
            QVERIFY(v >= -107 && v <= 85);
        }
}

void TestGeoid::rowChecksums()
{
    for (int r = 0; r < 19; ++r) {
        double sum = 0, weighted = 0;
        for (int c = 0; c < 36; ++c) {
            sum += nodeValue(r, c);
            weighted += (c + 1) * nodeValue(r, c);
        }
        QVERIFY2(sum == kRowSums[r], qPrintable(QStringLiteral("row %1 sum %2").arg(r).arg(sum)));
        QVERIFY2(weighted == kRowWeighted[r],
                 qPrintable(QStringLiteral("row %1 weighted %2").arg(r).arg(weighted)));
    }
}

void TestGeoid::columnChecksums()
{
    for (int c = 0; c < 36; ++c) {
        double sum = 0, weighted = 0;
        for (int r = 0; r < 19; ++r) {
            sum += nodeValue(r, c);
            weighted += (r + 1) * nodeValue(r, c);
        }
        QVERIFY2(sum == kColumnSums[c],
                 qPrintable(QStringLiteral("column %1 sum %2").arg(c).arg(sum)));
        QVERIFY2(weighted == kColumnWeighted[c],
                 qPrintable(QStringLiteral("column %1 weighted %2").arg(c).arg(weighted)));
    }
}

void TestGeoid::namedNodes_data()
{
    QTest::addColumn<double>("lat");
    QTest::addColumn<double>("lon");
    QTest::addColumn<double>("metres");
    QTest::newRow("0/0 equator row, column 0 deg") << 0.0 << 0.0 << 18.0;
    QTest::newRow("0/-180 first equator entry") << 0.0 << -180.0 << 22.0;
    QTest::newRow("0/+170 last equator entry") << 0.0 << 170.0 << 32.0;
    QTest::newRow("deepest: 0/80 E") << 0.0 << 80.0 << -102.0;
    QTest::newRow("-80/-180") << -80.0 << -180.0 << -53.0;
    QTest::newRow("-80/+170") << -80.0 << 170.0 << -52.0;
    QTest::newRow("+50/0") << 50.0 << 0.0 << 47.0;
    QTest::newRow("+80/+90") << 80.0 << 90.0 << 1.0;
    QTest::newRow("-40/-30") << -40.0 << -30.0 << 6.0;
    QTest::newRow("+10/+160") << 10.0 << 160.0 << 36.0;
}

void TestGeoid::namedNodes()
{
    QFETCH(double, lat);
    QFETCH(double, lon);
    QFETCH(double, metres);
    QCOMPARE(geoidSeparation(lat, lon), metres);
}

void TestGeoid::cellMidpoints()
{
    // Every cell, including the ones that wrap from +170 to +180 and the top one below +90:
    // its centre is the mean of its four corners, an edge midpoint the mean of two.
    for (int r = 0; r < 18; ++r) {
        for (int c = 0; c < 36; ++c) {
            const double sw = nodeValue(r, c), nw = nodeValue(r + 1, c);
            const double se = nodeValue(r, (c + 1) % 36), ne = nodeValue(r + 1, (c + 1) % 36);
            const double lat = -85.0 + 10.0 * r, lon = -175.0 + 10.0 * c;
            const double centre = geoidSeparation(lat, lon);
            if (std::fabs(centre - (sw + nw + se + ne) / 4.0) > 1e-9)
                QFAIL(qPrintable(QStringLiteral("centre of cell %1/%2: %3").arg(r).arg(c).arg(centre)));
            QCOMPARE(geoidSeparation(lat - 5.0, lon), (sw + se) / 2.0);
            QCOMPARE(geoidSeparation(lat, lon - 5.0), (sw + nw) / 2.0);
        }
    }
    // Worked examples from the table.
    QCOMPARE(geoidSeparation(0.0, 5.0), 15.0);      // (18 + 12) / 2
    QCOMPARE(geoidSeparation(5.0, 0.0), 20.0);      // (18 + 22) / 2
    QCOMPARE(geoidSeparation(5.0, 5.0), 18.75);     // (18 + 12 + 22 + 23) / 4
    // A quarter of the way across a column interval.
    QCOMPARE(geoidSeparation(0.0, 2.5), 16.5);      // 18 + 0.25 * (12 - 18)
}

void TestGeoid::poleRows_data()
{
    QTest::addColumn<double>("lat");
    QTest::addColumn<double>("metres");
    QTest::newRow("south pole") << -90.0 << -30.0;
    QTest::newRow("north pole") << 90.0 << 13.0;
}

void TestGeoid::poleRows()
{
    QFETCH(double, lat);
    QFETCH(double, metres);
    for (double lon = -180.0; lon <= 180.0; lon += 2.5)
        QCOMPARE(geoidSeparation(lat, lon), metres);
    // Between +80 and +90 the value runs linearly to 13: at 85/0 it is (33 + 13) / 2.
    QCOMPARE(geoidSeparation(85.0, 0.0), 23.0);
    QCOMPARE(geoidSeparation(-85.0, 0.0), (-4.0 - 30.0) / 2.0);
}

void TestGeoid::wrapAt180_data()
{
    QTest::addColumn<double>("lat");
    QTest::addColumn<double>("lon");
    QTest::addColumn<double>("metres");
    QTest::newRow("equator +180 is -180") << 0.0 << 180.0 << 22.0;
    QTest::newRow("equator +175 between +170 and -180") << 0.0 << 175.0 << 27.0;
    QTest::newRow("equator -175") << 0.0 << -175.0 << 19.0;
    QTest::newRow("+50 +180") << 50.0 << 180.0 << -8.0;
    QTest::newRow("+50 +175") << 50.0 << 175.0 << -3.0;
    QTest::newRow("+85 +175") << 85.0 << 175.0 << (1.0 + 3.0 + 13.0 + 13.0) / 4.0;
}

void TestGeoid::wrapAt180()
{
    QFETCH(double, lat);
    QFETCH(double, lon);
    QFETCH(double, metres);
    QCOMPARE(geoidSeparation(lat, lon), metres);
}

void TestGeoid::outOfRange_data()
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    QTest::addColumn<double>("lat");
    QTest::addColumn<double>("lon");
    QTest::newRow("lat 95 (the row rule alone would give 13)") << 95.0 << 0.0;
    QTest::newRow("lat just above 90") << 90.000001 << 0.0;
    QTest::newRow("lat just below -90") << -90.000001 << 0.0;
    QTest::newRow("lat -100") << -100.0 << 10.0;
    QTest::newRow("lon just above 180") << 0.0 << 180.000001;
    QTest::newRow("lon -181") << 0.0 << -181.0;
    QTest::newRow("lon 360") << 10.0 << 360.0;
    QTest::newRow("lat nan") << nan << 0.0;
    QTest::newRow("lon nan") << 0.0 << nan;
    QTest::newRow("lat inf") << inf << 0.0;
    QTest::newRow("lon -inf") << 0.0 << -inf;
}

void TestGeoid::outOfRange()
{
    QFETCH(double, lat);
    QFETCH(double, lon);
    QCOMPARE(geoidSeparation(lat, lon), 0.0);
}

QTEST_APPLESS_MAIN(TestGeoid)
#include "tst_geoid.moc"
