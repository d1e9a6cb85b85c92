#include "timescale/Sidereal.h"

#include <QtTest>
#include <cmath>

namespace {

QDateTime utc(int y, int m, int d, int hh = 0, int mm = 0, int ss = 0, int ms = 0)
{
    return QDateTime(QDate(y, m, d), QTime(hh, mm, ss, ms), Qt::UTC);
}

// Greenwich mean sidereal time of an instant in seconds, from the IAU 1982 expression in
// the form that takes the instant's own Julian Date (degrees; UT1 taken as UTC):
// 280.46061837 + 360.98564736629 (JD - 2451545) + 0.000387933 T^2 - T^3 / 38710000.
double iauGmstSeconds(const QDateTime &t)
{
    const long double jd = static_cast<long double>(t.date().toJulianDay()) - 0.5L
        + static_cast<long double>(t.time().msecsSinceStartOfDay()) / 86400000.0L;
    const long double d = jd - 2451545.0L;
    const long double c = d / 36525.0L;
    long double degrees =
        280.46061837L + 360.98564736629L * d + 0.000387933L * c * c - c * c * c / 38710000.0L;
    degrees = std::fmod(degrees, 360.0L);
    if (degrees < 0)
        degrees += 360.0L;
    return static_cast<double>(degrees * 240.0L);   // 1 degree = 240 s of sidereal time
}

// Difference a - b folded into -43200 ... 43200 s.
double wrapped(double a, double b)
{
    double diff = std::fmod(a - b, 86400.0);
    if (diff > 43200.0)
        diff -= 86400.0;
    if (diff < -43200.0)
        diff += 86400.0;
    return diff;
}

} // namespace

class TestSidereal : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void referenceDate();
    void gmstAgainstIau_data();
    void gmstAgainstIau();
    void lmstFollowsLongitude_data();
    void lmstFollowsLongitude();
    void format_data();
    void format();
    void millisecondsIgnored();
    void badLongitudeStaysInRange();
};

void TestSidereal::referenceDate()
{
    ReceiverTime t(utc(2000, 1, 1));
    QCOMPARE(Sidereal::siderealText(t, false), QStringLiteral("06:39:52.27"));
    // At longitude 0 local and Greenwich time are the same.
    QCOMPARE(Sidereal::siderealText(t, true), QStringLiteral("06:39:52.27"));
}

void TestSidereal::gmstAgainstIau_data()
{
    QTest::addColumn<QDateTime>("time");
    QTest::newRow("1990-03-21 00:00") << utc(1990, 3, 21);
    QTest::newRow("1995-07-14 18:30:15") << utc(1995, 7, 14, 18, 30, 15);
    QTest::newRow("2000-01-01 12:00") << utc(2000, 1, 1, 12);
    QTest::newRow("2012-06-30 23:59:59") << utc(2012, 6, 30, 23, 59, 59);
    QTest::newRow("2024-02-29 06:07:08") << utc(2024, 2, 29, 6, 7, 8);
    QTest::newRow("2038-01-19 03:14:07") << utc(2038, 1, 19, 3, 14, 7);
    QTest::newRow("2050-09-01 21:00") << utc(2050, 9, 1, 21);
    QTest::newRow("2070-12-31 12:34:56") << utc(2070, 12, 31, 12, 34, 56);
    QTest::newRow("2090-01-01 00:00") << utc(2090, 1, 1);
    QTest::newRow("2090-12-31 23:59:59") << utc(2090, 12, 31, 23, 59, 59);
}

void TestSidereal::gmstAgainstIau()
{
    QFETCH(QDateTime, time);
    const ReceiverTime t(time);
    const double ours = Sidereal::gmstSeconds(t);
    QVERIFY(ours >= 0.0 && ours < 86400.0);
    const double diff = wrapped(ours, iauGmstSeconds(time));
    if (std::fabs(diff) > 0.02)
        QFAIL(qPrintable(QStringLiteral("GMST off by %1 s").arg(diff)));
    // The text is the same value truncated to hundredths.
    const int whole = int(ours);
    QCOMPARE(Sidereal::siderealText(t, false),
             QString::asprintf("%02d:%02d:%02d.%02d", whole / 3600, whole / 60 % 60, whole % 60,
                               int((ours - whole) * 100)));
}

void TestSidereal::lmstFollowsLongitude_data()
{
    QTest::addColumn<double>("longitude");
    QTest::addColumn<double>("shiftSeconds");
    QTest::newRow("0") << 0.0 << 0.0;
    QTest::newRow("15 E is one hour") << 15.0 << 3600.0;
    QTest::newRow("75 W") << -75.0 << -18000.0;
    QTest::newRow("13.4 E") << 13.4 << 3216.0;
    QTest::newRow("180 E") << 180.0 << 43200.0;
    QTest::newRow("180 W") << -180.0 << -43200.0;
    QTest::newRow("179.99 W") << -179.99 << -43197.6;
}

void TestSidereal::lmstFollowsLongitude()
{
    QFETCH(double, longitude);
    QFETCH(double, shiftSeconds);
    for (const QDateTime &time : {utc(1999, 8, 11, 11, 3), utc(2031, 11, 2, 23, 58, 1)}) {
        ReceiverTime t(time);
        t.setStation(47.5, longitude);
        const double gmst = Sidereal::gmstSeconds(t);
        const double lmst = Sidereal::lmstSeconds(t);
        QVERIFY(lmst >= 0.0 && lmst < 86400.0);
        // +-180 degrees differ by exactly half a day either way.
        QVERIFY2(std::fabs(wrapped(lmst, gmst + shiftSeconds)) < 1e-3,
                 qPrintable(QStringLiteral("lmst %1 gmst %2").arg(lmst).arg(gmst)));
        // Greenwich time does not depend on the station.
        ReceiverTime atGreenwich(time);
        QCOMPARE(Sidereal::gmstSeconds(atGreenwich), gmst);
    }
}

void TestSidereal::format_data()
{
    QTest::addColumn<double>("seconds");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << 0.0 << "00:00:00.00";
    QTest::newRow("hundredths truncate") << 3661.019 << "01:01:01.01";
    QTest::newRow("end of day") << 86399.999 << "23:59:59.99";
    QTest::newRow("negative") << -1.0 << "00:00:00.00";
    QTest::newRow("a full day") << 86400.0 << "00:00:00.00";
    QTest::newRow("nan") << std::nan("") << "00:00:00.00";
}

void TestSidereal::format()
{
    QFETCH(double, seconds);
    QFETCH(QString, text);
    QCOMPARE(Sidereal::formatSidereal(seconds), text);
}

void TestSidereal::millisecondsIgnored()
{
    ReceiverTime a(utc(2024, 3, 20, 3, 6, 0, 0));
    ReceiverTime b(utc(2024, 3, 20, 3, 6, 0, 999));
    b.setMilliseconds(999);
    QCOMPARE(Sidereal::gmstSeconds(b), Sidereal::gmstSeconds(a));
    // One solar second later is a little more than one sidereal second later.
    ReceiverTime c(utc(2024, 3, 20, 3, 6, 1));
    const double step = wrapped(Sidereal::gmstSeconds(c), Sidereal::gmstSeconds(a));
    QVERIFY(std::fabs(step - 1.0027379) < 1e-6);
}

void TestSidereal::badLongitudeStaysInRange()
{
    ReceiverTime t(utc(2024, 3, 20, 3, 6, 0));
    for (double lon : {std::nan(""), HUGE_VAL, -HUGE_VAL, 1e300}) {
        t.setStation(0.0, lon);
        const double s = Sidereal::lmstSeconds(t);
        QVERIFY(s >= 0.0 && s < 86400.0);
        QCOMPARE(Sidereal::siderealText(t, true).size(), 11);
    }
}

QTEST_APPLESS_MAIN(TestSidereal)
#include "tst_sidereal.moc"
