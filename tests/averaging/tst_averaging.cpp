#include "averaging/AveragingEngine.h"
#include "averaging/Geoid.h"
#include "core/ReceiverState.h"
#include "support/TestSupport.h"

#include <QSignalSpy>
#include <QtTest>
#include <cmath>
#include <limits>
#include <random>

namespace averaging_tests {

namespace {

const QDateTime kNow(QDate(2026, 12, 5), QTime(17, 55, 50), Qt::UTC);

// Brings an engine into lock with `satellites` in the timing solution.
void lock(AveragingEngine &e, int gpsMode = 0, int satellites = 8)
{
    e.setTimingSatellites(satellites);
    QVERIFY(e.updateLockStatus(gpsMode, kNow));
}

// Maidenhead locator computed from fractions of the grid in floating point, written apart from
// the integer micro-degree method the program uses. Only used away from cell edges.
QString referenceLocator(double lat, double lon)
{
    double x = lon + 180.0;
    double y = lat + 90.0;
    const int field0 = int(x / 20.0), field1 = int(y / 10.0);
    x -= field0 * 20.0;
    y -= field1 * 10.0;
    const int sq0 = int(x / 2.0), sq1 = int(y);
    x -= sq0 * 2.0;
    y -= sq1;
    const int sub0 = int(x * 12.0), sub1 = int(y * 24.0);   // 5' by 2.5'
    x -= sub0 / 12.0;
    y -= sub1 / 24.0;
    const int ext0 = int(x * 120.0), ext1 = int(y * 240.0);  // tenths of a subsquare
    return QString(QChar('A' + field0)) + QChar('A' + field1) + QChar('0' + sq0) + QChar('0' + sq1)
        + QChar('a' + sub0) + QChar('a' + sub1) + QChar('.') + QChar('0' + ext0) + QChar('0' + ext1);
}

QString deg() { return QString(QChar(0xB0)); }

} // namespace

class TestAveraging : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    void tsigma_data()
    {
        QTest::addColumn<int>("satellites");
        QTest::addColumn<int>("gpsMode");
        QTest::addColumn<double>("expected");
        // error terms 10 and 100 ns: sum of squares 10100
        QTest::newRow("5 sv 3-D") << 5 << 0 << 164.1138;        // sqrt(10100*4/1.5)
        QTest::newRow("1 sv position hold") << 1 << 2 << 142.1267; // sqrt(10100/0.5)
        QTest::newRow("4 sv 3-D no redundancy") << 4 << 0 << 284.2534; // sqrt(10100*4/0.5)
        QTest::newRow("3 sv 2-D") << 3 << 1 << 246.1707;        // sqrt(10100*3/0.5)
        QTest::newRow("8 sv 2-D") << 8 << 1 << 74.2233;         // sqrt(10100*3/5.5)
        QTest::newRow("12 sv hold") << 12 << 2 << 29.6355;      // sqrt(10100/11.5)
        QTest::newRow("odd mode counts one unknown") << 2 << 7 << 82.0569; // sqrt(10100/1.5)
    }
    void tsigma()
    {
        QFETCH(int, satellites);
        QFETCH(int, gpsMode);
        QFETCH(double, expected);
        QVERIFY(qAbs(AveragingEngine::computeTsigma(10100.0, satellites, gpsMode) - expected) < 1e-3);
    }

    void tsigmaThroughPasses()
    {
        AveragingEngine e;
        QCOMPARE(e.setTimingErrorTerms(10.0, 100.0), 10100.0);
        QCOMPARE(e.timingErrorSumSquares(), 10100.0);
        e.setFixType(3);
        lock(e, 0, 5);
        e.updatePosition(1, 2, 3, 4, 0);
        QVERIFY(qAbs(e.tsigma() - 164.1138) < 1e-3);
        // The average starts from 0 with the weight of one sample.
        QVERIFY(qAbs(e.tsigmaAvg() - 164.1138 / 2) < 1e-3);
        QCOMPARE(e.timingStatusText(), QStringLiteral("Tsigma 164 nsec (max 164, average  82, min 164)"));

        // More satellites: a smaller estimate becomes the minimum, the maximum stays.
        e.setTimingSatellites(9);
        e.updatePosition(1, 2, 3, 4, 0);
        const double t9 = std::sqrt(10100.0 * 4 / 5.5);
        QVERIFY(qAbs(e.tsigma() - t9) < 1e-9);
        QVERIFY(qAbs(e.tsigmaMax() - 164.1138) < 1e-3);
        QCOMPARE(e.tsigmaMin(), e.tsigma());
        // plain mean of the starting 0 and the two estimates
        QCOMPARE(e.timingCount(), 3.0);
        QVERIFY(qAbs(e.tsigmaAvg() - (0.0 + 164.1138 + t9) / 3.0) < 1e-3);
        QCOMPARE(e.timingStatusText(), QStringLiteral("Tsigma 086 nsec (max 164, average  83, min  86)"));

        // No satellites in the solution: the text is emptied.
        e.setTimingSatellites(0);
        e.updatePosition(1, 2, 3, 4, 7);   // mode 7 stays locked whatever the count
        QCOMPARE(e.timingStatusText(), QString());
    }

    void counterAdvance_data()
    {
        QTest::addColumn<double>("n");
        QTest::addColumn<double>("limit");
        QTest::addColumn<double>("next");
        QTest::newRow("below limit") << 1.0 << 10.0 << 2.0;
        QTest::newRow("reaches limit") << 9.0 << 10.0 << 10.0;
        QTest::newRow("held at limit") << 10.0 << 10.0 << 10.0;
        QTest::newRow("lowered limit pulls down") << 500.0 << 20.0 << 20.0;
        QTest::newRow("fractional below") << 9.5 << 10.0 << 10.5;
        QTest::newRow("ceiling") << 999999.0 << 5e6 << 999999.0;
        QTest::newRow("limit above ceiling") << 999998.5 << 5e6 << 999999.0;
    }
    void counterAdvance()
    {
        QFETCH(double, n);
        QFETCH(double, limit);
        QFETCH(double, next);
        QCOMPARE(AveragingEngine::advanceCounter(n, limit), next);
    }

    void dopWeightAboveCounter()
    {
        // (1.5 / 0.5)^2 = 9 > counter 2: the sample takes all the weight.
        QCOMPARE(AveragingEngine::dopWeight(true, 1.5, 0.5), 9.0);
        QCOMPARE(AveragingEngine::dopWeight(false, 1.5, 0.5), 1.0);
        QCOMPARE(AveragingEngine::dopWeight(true, 1.5, 0.0), 1.0);
        QCOMPARE(AveragingEngine::weightedUpdate(10.0, 20.0, 2.0, 9.0), 20.0);
        QCOMPARE(AveragingEngine::weightedUpdate(10.0, 20.0, 4.0, 1.0), 12.5);
        QCOMPARE(AveragingEngine::weightedUpdate(10.0, 20.0, 4.0, 4.0), 20.0);
        QCOMPARE(AveragingEngine::weightedUpdate(10.0, 20.0, 0.0, 0.0), 20.0);   // never divides by 0

        AveragingEngine e;
        e.setFixType(2);
        lock(e);
        e.setDops(-1, -1, 1.0, -1, -1);
        e.updatePosition(50.0, 10.0, 0, 0, 0);   // seeds, counter 2
        e.updatePosition(50.1, 10.1, 0, 0, 0);   // w = 2.25 with hdop 1: > 3? no, counter 3
        QVERIFY(qAbs(e.avgLat() - ((3 - 2.25) * 50.0 + 2.25 * 50.1) / 3) < 1e-12);
        e.setDops(-1, -1, 0.5, -1, -1);           // w = 9 > counter 4
        e.updatePosition(51.0, 11.0, 0, 0, 0);
        QCOMPARE(e.avgLat(), 51.0);
        QCOMPARE(e.avgLon(), 11.0);
    }

    void plainMeanThenExponential()
    {
        AveragingEngine e;
        e.setUseDopWeighting(false);
        const double limit = 10.0;
        e.setPositionWeightLimit(limit);
        e.setFixType(3);
        lock(e);

        std::mt19937 rng(7);
        std::uniform_real_distribution<double> d(-1.0, 1.0);
        QList<double> lat, alt;
        for (int k = 1; k <= 30; ++k) {
            lat << 45.0 + d(rng) * 1e-4;
            alt << 200.0 + d(rng);
            e.updatePosition(lat.last(), 7.0, alt.last(), alt.last() - 50.0, 0);
            if (k + 1 <= limit) {
                // plain mean of the seed (the first fix) and every fix so far
                double sLat = lat.first(), sAlt = alt.first();
                for (int i = 0; i < k; ++i) {
                    sLat += lat[i];
                    sAlt += alt[i];
                }
                QCOMPARE(e.positionCount(), double(k + 1));
                QVERIFY(qAbs(e.avgLat() - sLat / (k + 1)) < 1e-12);
                QVERIFY(qAbs(e.avgAltGps() - sAlt / (k + 1)) < 1e-9);
            }
        }
        // After the counter reached the limit at fix 9, each later fix j weighs (1/L)(1-1/L)^(30-j).
        QCOMPARE(e.positionCount(), limit);
        double plain = lat.first();
        for (int i = 0; i < 9; ++i)
            plain += lat[i];
        plain /= limit;
        double expected = plain * std::pow(1 - 1 / limit, 21);
        for (int j = 10; j <= 30; ++j)
            expected += lat[j - 1] / limit * std::pow(1 - 1 / limit, 30 - j);
        QVERIFY(qAbs(e.avgLat() - expected) < 1e-12);

        // Lowering the limit pulls the counter down on the next pass.
        e.setPositionWeightLimit(4.0);
        e.updatePosition(45.0, 7.0, 200.0, 150.0, 0);
        QCOMPARE(e.positionCount(), 4.0);
        QCOMPARE(e.altitudeCount(), 4.0);
    }

    void simulatedDay()
    {
        // A station near Berlin; the reference is the true position. Noise 3 m north, 2 m east,
        // 5 m up, normal and seeded.
        const double lat0 = 52.5, lon0 = 13.4, altGps0 = 100.0, altMsl0 = 60.0;
        const double sN = 3.0, sE = 2.0, sU = 5.0;
        const double mLat = 111111.1;
        const double mLon = std::cos(lat0 * 0.0174533) * 111111.1;

        TestSupport::TemporarySettings tmp;
        AveragingEngine e;
        e.setReferenceLocation(lat0, lon0, altGps0, altMsl0);
        e.setDops(2.0, 2.5, 1.5, 2.0, 1.5);   // weights exactly 1
        e.setFixType(3);
        lock(e);

        std::mt19937_64 rng(20261205);
        std::normal_distribution<double> n(0.0, 1.0);
        double sumN = 0, sumE = 0, sumU = 0;
        const int seconds = 86400;
        for (int i = 0; i < seconds; ++i) {
            const double dn = sN * n(rng), de = sE * n(rng), du = sU * n(rng);
            sumN += dn * dn;
            sumE += de * de;
            sumU += du * du;
            e.updatePosition(lat0 + dn / mLat, lon0 + de / mLon, altGps0 + du, altMsl0 + du, 0);
        }

        QCOMPARE(e.positionCount(), 28800.0);
        QCOMPARE(e.rmsCount(), 86400.0);
        // An exponential filter of 28800 s leaves sigma / sqrt(2 * 28800) of noise: 1.8 cm north,
        // 1.2 cm east, 2.9 cm up. Allow five of those.
        QVERIFY2(qAbs(e.term(AveragingEngine::RefAvg, AveragingEngine::Lat)) < 0.09,
                 qPrintable(QString::number(e.term(AveragingEngine::RefAvg, AveragingEngine::Lat))));
        QVERIFY(qAbs(e.term(AveragingEngine::RefAvg, AveragingEngine::Lon)) < 0.06);
        QVERIFY(qAbs(e.term(AveragingEngine::RefAvg, AveragingEngine::AltGps)) < 0.15);
        QVERIFY(qAbs(e.term(AveragingEngine::RefAvg, AveragingEngine::AltMsl)) < 0.15);
        QVERIFY(qAbs(e.avgLat() - lat0) * mLat < 0.09);

        // The RMS of reference minus current is the injected noise (RMS weight ~ the whole day).
        const double rmsN = std::sqrt(sumN / seconds), rmsE = std::sqrt(sumE / seconds);
        const double rmsU = std::sqrt(sumU / seconds);
        QVERIFY(qAbs(rmsN - sN) < 0.05);
        auto near = [](double got, double want, double rel) { return qAbs(got - want) <= rel * want; };
        QVERIFY2(near(e.rmsValue(AveragingEngine::RefCur, AveragingEngine::Lat), rmsN, 0.01),
                 qPrintable(QString::number(e.rmsValue(AveragingEngine::RefCur, AveragingEngine::Lat))));
        QVERIFY(near(e.rmsValue(AveragingEngine::RefCur, AveragingEngine::Lon), rmsE, 0.01));
        QVERIFY(near(e.rmsValue(AveragingEngine::RefCur, AveragingEngine::TwoD), std::hypot(rmsN, rmsE), 0.01));
        QVERIFY(near(e.rmsValue(AveragingEngine::RefCur, AveragingEngine::AltGps), rmsU, 0.01));
        QVERIFY(near(e.rmsValue(AveragingEngine::RefCur, AveragingEngine::AltMsl), rmsU, 0.01));
        QVERIFY(near(e.rmsValue(AveragingEngine::AvgCur, AveragingEngine::Lat), sN, 0.02));
        QVERIFY(near(e.rmsValue(AveragingEngine::AvgCur, AveragingEngine::AltGps), sU, 0.02));
        QVERIFY(e.rmsValue(AveragingEngine::RefAvg, AveragingEngine::TwoD) < 0.5);

        // Lose the lock: one reset, then nothing moves while unlocked.
        QSignalSpy resets(&e, &AveragingEngine::countersChanged);
        e.setTimingSatellites(2);
        QVERIFY(!e.updateLockStatus(0, kNow.addSecs(seconds)));
        QCOMPARE(e.unlockCount(), 1);
        QVERIFY(e.lockedSinceText().isEmpty());
        const double lastLat = lat0 + 1.0 / mLat;
        e.updatePosition(lastLat, lon0, altGps0, altMsl0, 0);
        QCOMPARE(resets.count(), 1);
        QVERIFY(e.seedPending());
        QCOMPARE(e.positionCount(), 1.0);
        QCOMPARE(e.rmsCount(), 1.0);
        QCOMPARE(e.avgLat(), lastLat);
        QCOMPARE(e.timingStatusText(), QStringLiteral("No Timing Solution. Not enough satellites tracked."));
        for (int i = 0; i < 600; ++i) {
            e.updateLockStatus(0, kNow.addSecs(seconds + i));
            e.updatePosition(lat0 + 5.0 / mLat, lon0 + 5.0 / mLon, altGps0 + 9, altMsl0 + 9, 0);
        }
        QCOMPARE(resets.count(), 1);
        QCOMPARE(e.positionCount(), 1.0);
        QCOMPARE(e.timingCount(), 1.0);
        QCOMPARE(e.avgLat(), lastLat);
        QCOMPARE(e.unlockCount(), 1);   // the restart did not clear the count of its own unlock

        // Lock returns: the averages restart from the next locked fix.
        e.setTimingSatellites(6);
        QVERIFY(e.updateLockStatus(0, QDateTime(QDate(2026, 12, 6), QTime(18, 5, 51), Qt::UTC)));
        QCOMPARE(e.lockedSinceText(), QStringLiteral("06-Dec-2026 18:05:51 UTC"));
        e.updatePosition(lat0, lon0, altGps0, altMsl0, 0);
        QVERIFY(!e.seedPending());
        QCOMPARE(e.avgLat(), lat0);
        QCOMPARE(e.positionCount(), 2.0);
    }

    void lockStatus_data()
    {
        QTest::addColumn<int>("gpsMode");
        QTest::addColumn<int>("satellites");
        QTest::addColumn<bool>("locked");
        QTest::newRow("3-D 3 sv") << 0 << 3 << true;
        QTest::newRow("3-D 2 sv") << 0 << 2 << false;
        QTest::newRow("2-D 3 sv") << 1 << 3 << true;
        QTest::newRow("2-D 2 sv") << 1 << 2 << false;
        QTest::newRow("hold 1 sv") << 2 << 1 << true;
        QTest::newRow("hold 0 sv") << 2 << 0 << false;
        QTest::newRow("hold unknown") << 2 << -1 << false;
        QTest::newRow("other mode unknown") << 3 << -1 << true;
    }
    void lockStatus()
    {
        QFETCH(int, gpsMode);
        QFETCH(int, satellites);
        QFETCH(bool, locked);
        AveragingEngine e;
        QVERIFY(!e.timingLocked());
        e.setTimingSatellites(satellites);
        QCOMPARE(e.updateLockStatus(gpsMode, kNow), locked);
        QCOMPARE(e.timingLocked(), locked);
        QCOMPARE(e.lockedSinceText(), locked ? QStringLiteral("05-Dec-2026 17:55:50 UTC") : QString());
        QCOMPARE(e.unlockCount(), 0);   // never locked, so never unlocked
        // The time of the first lock stays while the lock holds.
        QCOMPARE(e.updateLockStatus(gpsMode, kNow.addSecs(1)), locked);
        QCOMPARE(e.lockedSinceText(), locked ? QStringLiteral("05-Dec-2026 17:55:50 UTC") : QString());
    }

    void unlockCounterSurvivesReset()
    {
        AveragingEngine e;
        for (int i = 0; i < 3; ++i) {
            e.setTimingSatellites(5);
            e.updateLockStatus(0, kNow.addSecs(2 * i));
            e.setTimingSatellites(1);
            e.updateLockStatus(0, kNow.addSecs(2 * i + 1));
            e.updateLockStatus(0, kNow.addSecs(2 * i + 1));   // still lost: no second count
        }
        QCOMPARE(e.unlockCount(), 3);
        e.resetAllAverages();
        QCOMPARE(e.unlockCount(), 3);
        e.resetAllFilters();
        QCOMPARE(e.unlockCount(), 3);
        e.resetUnlockCounter();
        QCOMPARE(e.unlockCount(), 0);
    }

    void noPositionWhileUnlocked()
    {
        AveragingEngine e;
        e.setRestartOnUnlock(false);
        e.setFixType(3);
        lock(e);
        e.updatePosition(10, 20, 30, 40, 0);
        e.updatePosition(10, 20, 30, 40, 0);
        QCOMPARE(e.positionCount(), 3.0);
        e.setTimingSatellites(0);
        e.updateLockStatus(0, kNow);
        for (int i = 0; i < 5; ++i)
            e.updatePosition(11, 21, 31, 41, 0);
        // restart off: the averages are kept but frozen
        QCOMPARE(e.positionCount(), 3.0);
        QCOMPARE(e.altitudeCount(), 3.0);
        QCOMPARE(e.rmsCount(), 3.0);
        QCOMPARE(e.timingCount(), 3.0);
        QCOMPARE(e.avgLat(), 10.0);
        QCOMPARE(e.avgAltMsl(), 40.0);
        QVERIFY(!e.seedPending());
    }

    void oneExtraPassAfterFixLost()
    {
        AveragingEngine e;
        e.setUseDopWeighting(false);
        e.setFixType(3);
        lock(e);
        e.updatePosition(10, 20, 30, 40, 2);
        e.updatePosition(10, 20, 30, 40, 2);
        QCOMPARE(e.positionCount(), 3.0);
        e.setFixType(0);
        QTest::ignoreMessage(QtDebugMsg, "Averaging just stopped with one pass after Nav set to 0D\n");
        e.updatePosition(13, 20, 99, 99, 2);
        QCOMPARE(e.positionCount(), 4.0);
        QCOMPARE(e.altitudeCount(), 3.0);      // no altitude on the extra pass
        QCOMPARE(e.avgLat(), (3 * 10.0 + 13.0) / 4);
        QCOMPARE(e.avgAltGps(), 30.0);
        e.updatePosition(14, 20, 99, 99, 2);
        e.updatePosition(15, 20, 99, 99, 2);
        QCOMPARE(e.positionCount(), 4.0);
        QCOMPARE(e.rmsCount(), 4.0);
        QCOMPARE(e.timingCount(), 6.0);        // the timing part still runs
        QCOMPARE(e.avgLat(), (3 * 10.0 + 13.0) / 4);
        // A new fix starts it again.
        e.setFixType(2);
        e.updatePosition(10, 20, 0, 0, 2);
        QCOMPARE(e.positionCount(), 5.0);
    }

    void twoDFixLeavesAltitude()
    {
        TestSupport::TemporarySettings tmp;
        AveragingEngine e;
        e.setUseDopWeighting(false);
        e.setReferenceLocation(10, 20, 100, 50);
        e.setFixType(2);
        lock(e);
        e.updatePosition(10.001, 20, 130, 77, 1);
        QCOMPARE(e.altitudeCount(), 1.0);
        QCOMPARE(e.positionCount(), 2.0);
        // seeded from the first fix, altitudes included; their terms are never computed on 2-D
        QCOMPARE(e.avgAltGps(), 130.0);
        QCOMPARE(e.term(AveragingEngine::RefCur, AveragingEngine::AltGps), 0.0);
        QVERIFY(qAbs(e.term(AveragingEngine::RefCur, AveragingEngine::Lat) - (-0.001 * 111111.1)) < 1e-6);
        QCOMPARE(e.term(AveragingEngine::RefCur, AveragingEngine::Lon), 0.0);
        QVERIFY(qAbs(e.term(AveragingEngine::RefCur, AveragingEngine::TwoD) - 111.1111) < 1e-3);
        // mean square: counter 2, weight 1 over an initial 0
        QVERIFY(qAbs(e.meanSquare(AveragingEngine::RefCur, AveragingEngine::Lat) - 111.1111 * 111.1111 / 2) < 1e-2);
        QVERIFY(qAbs(e.rmsValue(AveragingEngine::RefCur, AveragingEngine::Lat) - 111.1111 / std::sqrt(2.0)) < 1e-3);
    }

    void resetButtons()
    {
        AveragingEngine e;
        e.setFixType(3);
        e.setTimingErrorTerms(10, 100);
        lock(e, 0, 5);
        for (int i = 0; i < 5; ++i)
            e.updatePosition(10 + i, 20, 30, 40, 0);
        e.setTimingSatellites(9);
        e.updatePosition(50, 60, 70, 80, 0);
        QCOMPARE(e.positionCount(), 7.0);

        e.resetRmsFilter();
        QCOMPARE(e.rmsCount(), 1.0);
        QCOMPARE(e.positionCount(), 7.0);

        e.resetTimingFilter();
        QCOMPARE(e.timingCount(), 1.0);
        QCOMPARE(e.tsigmaAvg(), e.tsigma());
        QCOMPARE(e.tsigmaMax(), e.tsigma());
        QCOMPARE(e.tsigmaMin(), e.tsigma());

        e.resetPositionFilter();
        QCOMPARE(e.positionCount(), 1.0);
        QCOMPARE(e.altitudeCount(), 1.0);
        QCOMPARE(e.avgLat(), 50.0);
        QCOMPARE(e.avgAltMsl(), 80.0);

        e.updatePosition(50, 60, 70, 80, 0);
        e.resetAllFilters();
        QCOMPARE(e.positionCount(), 1.0);
        QCOMPARE(e.rmsCount(), 1.0);
        QCOMPARE(e.timingCount(), 1.0);

        e.resetAllAverages();
        QCOMPARE(e.tsigma(), -1.0);
        QCOMPARE(e.tsigmaMax(), -1.0);
        QCOMPARE(e.tsigmaMin(), -1.0);
        QCOMPARE(e.tsigmaAvg(), 0.0);
        QVERIFY(e.seedPending());
        QCOMPARE(e.rmsValue(AveragingEngine::AvgCur, AveragingEngine::TwoD), 0.0);
    }

    void dopSwitchOff_data()
    {
        QTest::addColumn<int>("receiverMode");
        QTest::addColumn<int>("model");
        QTest::addColumn<bool>("available");
        QTest::newRow("binary UT+") << int(ReceiverMode::MotorolaBinary) << int(ReceiverModelCode::UTPlus) << false;
        QTest::newRow("rx only M12M") << int(ReceiverMode::MotorolaBinaryRxOnly) << int(ReceiverModelCode::M12M) << false;
        QTest::newRow("binary VP") << int(ReceiverMode::MotorolaBinary) << int(ReceiverModelCode::VP) << true;
        QTest::newRow("u-blox") << int(ReceiverMode::UbloxUbx) << int(ReceiverModelCode::Ublox) << true;
        QTest::newRow("motorola nmea") << int(ReceiverMode::MotorolaNmea) << int(ReceiverModelCode::UTPlus) << true;
    }
    void dopSwitchOff()
    {
        QFETCH(int, receiverMode);
        QFETCH(int, model);
        QFETCH(bool, available);
        ReceiverState state;
        state.receiverMode = receiverMode;
        state.receiverModel = model;
        AveragingEngine e;
        e.setReceiverState(&state);
        QVERIFY(e.useDopWeighting());
        e.resetAllAverages();
        QCOMPARE(e.dopWeightingAvailable(), available);
        QCOMPARE(e.useDopWeighting(), available);

        // the same after loading the saved averages
        TestSupport::TemporarySettings tmp;
        QSettings s;
        s.setValue("GpsNavDialog/Averaging Data/Use DOP Weighting", true);
        e.loadSettings(s);
        QCOMPARE(e.useDopWeighting(), available);
    }

    void gridLocator_data()
    {
        QTest::addColumn<double>("lat");
        QTest::addColumn<double>("lon");
        QTest::addColumn<QString>("prefix");
        QTest::newRow("Berlin") << 52.52 << 13.405 << "JO62qm.84";
        QTest::newRow("Hartford, Connecticut") << 41.7658 << -72.6734 << "FN31";
        QTest::newRow("Sydney") << -33.8688 << 151.2093 << "QF56";
        QTest::newRow("Cape Horn") << -55.9833 << -67.2667 << "FD";
        QTest::newRow("Boulder") << 39.9950 << -105.2617 << "DM79";
        QTest::newRow("Greenwich") << 51.4778 << -0.0015 << "IO91xl";
        QTest::newRow("near north pole") << 89.9911 << 179.9911 << "RR99";
        QTest::newRow("near south pole") << -89.9911 << -179.9911 << "AA00";
    }
    void gridLocator()
    {
        QFETCH(double, lat);
        QFETCH(double, lon);
        QFETCH(QString, prefix);
        const QString loc = AveragingEngine::maidenheadLocator(lat, lon);
        QCOMPARE(loc.size(), 9);
        QCOMPARE(loc, referenceLocator(lat, lon));
        QVERIFY2(loc.startsWith(prefix), qPrintable(loc));

        AveragingEngine e;
        QCOMPARE(e.updatePosition(lat, lon, 0, 0, 0), loc);
        QCOMPARE(e.gridLocator(), loc);
    }

    void positionText_data()
    {
        QTest::addColumn<double>("lat");
        QTest::addColumn<double>("lon");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("text");
        const QString d = deg();
        QTest::newRow("decimal") << 52.5 << -0.25 << 0
                                 << "52.50000000" + d + "<br>-0.25000000" + d + "<br>     100m<br>      56m";
        QTest::newRow("minutes, west under 1 degree") << 52.5 << -0.25 << 1
                                                      << "52" + d + " 30.00000'<br> -00" + d + " 15.00000'<br>     100m<br>      56m";
        QTest::newRow("seconds, west under 1 degree") << 52.5 << -0.25 << 2
                                                      << "52" + d + "  30'  0.0000\"<br> -00" + d + " 15'  0.0000\"<br>     100m<br>      56m";
        QTest::newRow("seconds, southern") << -33.8688 << 151.2093 << 2
                                           << "-33" + d + "  52'  7.6800\"<br> 151" + d + " 12' 33.4800\"<br>     100m<br>      56m";
        QTest::newRow("minutes, south under 1 degree") << -0.5 << 7.0 << 1
                                                       << "-00" + d + " 30.00000'<br>  07" + d + "  0.00000'<br>     100m<br>      56m";
        QTest::newRow("minutes carry to next degree") << 10.9999999999 << 20.0 << 1
                                                      << "11" + d + "  0.00000'<br>  20" + d + "  0.00000'<br>     100m<br>      56m";
        QTest::newRow("nmea") << 52.5 << -0.25 << 3 << "5230.0000,N,00015.0000,W";
        QTest::newRow("nmea south east") << -33.8688 << 151.2093 << 3 << "3352.1280,S,15112.5580,E";
        QTest::newRow("list") << 52.5 << -0.25 << 4 << "52.50000000" + d + ",-0.25000000" + d + ",100.40,55.60";
    }
    void positionText()
    {
        QFETCH(double, lat);
        QFETCH(double, lon);
        QFETCH(int, mode);
        QFETCH(QString, text);
        QCOMPARE(AveragingEngine::formatPosition({ lat, lon, 100.4, 55.6 }, mode), text);
        // a position that is no number never reaches the engine, but formats harmlessly
        QCOMPARE(AveragingEngine::formatPosition({ qQNaN(), qInf(), 100.4, 55.6 }, 0),
                 " 0.00000000" + deg() + "<br> 0.00000000" + deg() + "<br>     100m<br>      56m");

        AveragingEngine e;
        e.updatePosition(lat, lon, 100.4, 55.6, 0);
        QCOMPARE(e.positionText(AveragingEngine::Which::Current, mode), text);
        // Unlocked: no average yet, shown as unknown rather than as 0 N 0 E.
        QCOMPARE(e.positionText(AveragingEngine::Which::Averaged, mode), mode <= 2 ? "--<br>--<br>--<br>--" : "");
    }

    void dopText_data()
    {
        QTest::addColumn<QList<double>>("dops");
        QTest::addColumn<QString>("text");
        QTest::newRow("none") << QList<double> { 0, 0, 0, 0, 0 } << "";
        QTest::newRow("all") << QList<double> { 1.24, 1.1, 0.9, 0.75, 0.5 } << "DOPs: G=1.2 P=1.1 H=0.9 V=0.8 T=0.5 ";
        QTest::newRow("only hdop") << QList<double> { 0, 0, 0.9, 0, 0 } << "DOPs: H=0.9 ";
        QTest::newRow("wide") << QList<double> { 12.34, 0, 0, 0, 99.99 } << "DOPs: G=12.3 T=100.0 ";
        QTest::newRow("negatives keep zero") << QList<double> { -1, -1, -1, -1, -1 } << "";
    }
    void dopText()
    {
        QFETCH(QList<double>, dops);
        QFETCH(QString, text);
        AveragingEngine e;
        e.setDops(dops[0], dops[1], dops[2], dops[3], dops[4]);
        QCOMPARE(e.dopText(), text);
    }

    void inputAcceptance()
    {
        AveragingEngine e;
        QCOMPARE(e.timingSatellites(), -1);
        QCOMPARE(e.speedKnots(), -1.0);
        QCOMPARE(e.headingDegrees(), -1.0);
        QCOMPARE(e.fixQuality(), -1);
        QCOMPARE(e.timingErrorSumSquares(), 500000.0);

        e.setDops(1, 2, 3, 4, 5);
        e.setDops(-1, 0, -0.5, 6, -1);
        QCOMPARE(e.gdop(), 1.0);
        QCOMPARE(e.pdop(), 0.0);
        QCOMPARE(e.hdop(), 3.0);
        QCOMPARE(e.vdop(), 6.0);
        QCOMPARE(e.tdop(), 5.0);

        e.setTimingSatellites(7);
        e.setTimingSatellites(-1);
        QCOMPARE(e.timingSatellites(), 7);
        e.setTimingSatellites(0);
        QCOMPARE(e.timingSatellites(), 0);

        e.setSpeedKnots(3.5);
        e.setSpeedKnots(-0.1);
        QCOMPARE(e.speedKnots(), 3.5);
        e.setHeadingDegrees(270);
        e.setHeadingDegrees(-2);
        QCOMPARE(e.headingDegrees(), 270.0);
        e.setFixQuality(2);
        e.setFixQuality(-2);
        QCOMPARE(e.fixQuality(), 2);
        e.setFixQuality(-1);
        QCOMPARE(e.fixQuality(), -1);

        AveragingInput &in = e;   // decoders see only the interface
        in.setFixType(3);
        e.setGpsMode(2);
        e.setTimingSatellites(1);
        QVERIFY(e.updateLockStatus(2, kNow));
        in.updatePosition(1, 2, 3, 4);
        QCOMPARE(e.fixType(), 3);
        QCOMPARE(e.currentPosition().altMsl, 4.0);
        QCOMPARE(e.tsigma(), AveragingEngine::computeTsigma(500000.0, 1, 2));

        // A fix that is no number is dropped whole: no pass, no change to the averages.
        const double count = e.positionCount();
        in.updatePosition(qQNaN(), 2, 3, 4);
        in.updatePosition(1, qInf(), 3, 4);
        QCOMPARE(e.positionCount(), count);
        QCOMPARE(e.currentPosition().lat, 1.0);
        QCOMPARE(e.avgLat(), 1.0);
        QCOMPARE(e.updatePosition(1, 2, 3, -qInf(), 2), AveragingEngine::maidenheadLocator(1, 2));
        QCOMPARE(e.positionCount(), count);
    }

    void takeNumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<double>>("numbers");
        QTest::addColumn<int>("found");
        QTest::newRow("saved form") << "52.5000000000000000 -013.4000000000000000" << QList<double> { 52.5, -13.4 } << 2;
        QTest::newRow("forms") << "  1.5\t-2 .5 +3." << QList<double> { 1.5, -2, 0.5, 3 } << 4;
        QTest::newRow("exponent stops") << "1e5" << QList<double> { 1, 0 } << 1;
        QTest::newRow("garbage skipped up to a blank") << "x1 nan 7" << QList<double> { 7, 0 } << 1;
        QTest::newRow("words") << "nan inf" << QList<double> { 0 } << 0;
        QTest::newRow("empty") << "" << QList<double> { 0 } << 0;
    }
    void takeNumber()
    {
        QFETCH(QString, text);
        QFETCH(QList<double>, numbers);
        QFETCH(int, found);
        int got = 0;
        for (double want : numbers) {
            double v = -99;
            if (AveragingEngine::takeNumber(text, v))
                ++got;
            QCOMPARE(v, want);
        }
        QCOMPARE(got, found);
    }

    void persistenceRoundTrip()
    {
        TestSupport::TemporarySettings tmp;
        AveragingEngine a;
        a.setPositionWeightLimit(12345);
        a.setRmsWeightLimit(999999);
        a.setTimingWeightLimit(1);
        a.setHdopWeight(2.5);
        a.setVdopWeight(0);
        a.setTdopWeight(12.34);
        a.setUseDopWeighting(false);
        a.setRestartOnUnlock(false);
        a.setContinueOnRestart(true);
        a.setRefLocOnStart(false);
        a.setReferenceLocation(41.7658, -72.6734, 20.5, 52.25);
        a.setFixType(3);
        lock(a);
        for (int i = 0; i < 50; ++i)
            a.updatePosition(41.7658 + i * 1e-6, -72.6734 - i * 2e-6, 20 + i * 0.1, 52 + i * 0.1, 0);
        {
            QSettings s;
            a.saveSettings(s);
        }

        QSettings raw(tmp.fileName(), QSettings::IniFormat);
        QCOMPARE(raw.value("GpsNavDialog/Averaging Data/Position Weight Limit").toString(), QStringLiteral("012345.0"));
        QCOMPARE(raw.value("GpsNavDialog/Averaging Data/RMS Weight Limit").toString(), QStringLiteral("999999.0"));
        QCOMPARE(raw.value("GpsNavDialog/Averaging Data/Timing Weight Limit").toString(), QStringLiteral("000001.0"));
        QCOMPARE(raw.value("GpsNavDialog/Averaging Data/HDOP Weight").toString(), QStringLiteral("02.5"));
        QCOMPARE(raw.value("GpsNavDialog/Averaging Data/VDOP Weight").toString(), QStringLiteral("00.0"));
        QCOMPARE(raw.value("GpsNavDialog/Averaging Data/TDOP Weight").toString(), QStringLiteral("12.3"));
        QCOMPARE(raw.value("GpsNavDialog/Averaging Data/Use DOP Weighting").toBool(), false);
        QCOMPARE(raw.value("GpsNavDialog/Averaging Data/Restart Averages On Unlock").toBool(), false);
        QCOMPARE(raw.value("GpsNavDialog/Averaging Data/Restart Averages On Startup").toBool(), true);
        QCOMPARE(raw.value("GpsNavDialog/RefLocation/Latitude").toString(), QStringLiteral("41.7657999999999987"));
        QCOMPARE(raw.value("GpsNavDialog/RefLocation/MSL Altitude").toString(), QStringLiteral("52.2500000000000000"));
        QCOMPARE(raw.value("GpsNavDialog/RefLocation/Ref_Loc_On_Start").toBool(), false);
        QCOMPARE(raw.value("GpsNavDialog/Averaging Data/Averages - Weights").toString(),
                 QStringLiteral("51.0000000000000000 51.0000000000000000 51.0000000000000000 1.0000000000000000"));
        const QStringList pos = raw.value("GpsNavDialog/Averaging Data/Averages - Position").toString().split(' ');
        QCOMPARE(pos.size(), 4);
        QCOMPARE(pos[0], QString::asprintf("%018.16f", a.avgLat()));
        QCOMPARE(raw.value("GpsNavDialog/Averaging Data/Averages - RMS Msl").toString().split(' ').size(), 3);

        AveragingEngine b;
        {
            QSettings s;
            b.startUp(s);
        }
        QCOMPARE(b.positionWeightLimit(), 12345.0);
        QCOMPARE(b.rmsWeightLimit(), 999999.0);
        QCOMPARE(b.timingWeightLimit(), 1.0);
        QCOMPARE(b.hdopWeight(), 2.5);
        QCOMPARE(b.vdopWeight(), 0.0);
        QCOMPARE(b.tdopWeight(), 12.3);
        QVERIFY(!b.useDopWeighting());
        QVERIFY(!b.restartOnUnlock());
        QVERIFY(b.continueOnRestart());
        QVERIFY(!b.refLocOnStart());
        QVERIFY(b.referencePending());   // the stored reference is not loaded with the flag off
        QVERIFY(!b.seedPending());
        QVERIFY(qAbs(b.avgLat() - a.avgLat()) < 1e-15);
        QVERIFY(qAbs(b.avgLon() - a.avgLon()) < 1e-13);
        QVERIFY(qAbs(b.avgAltGps() - a.avgAltGps()) < 1e-13);
        QCOMPARE(b.positionCount(), 51.0);
        QCOMPARE(b.timingCount(), 1.0);   // held at its limit of 1
        for (int k = 0; k < AveragingEngine::KindCount; ++k) {
            for (int q = 0; q < AveragingEngine::QuantityCount; ++q) {
                const auto kind = AveragingEngine::DifferenceKind(k);
                const auto quantity = AveragingEngine::Quantity(q);
                QVERIFY(qAbs(b.meanSquare(kind, quantity) - a.meanSquare(kind, quantity)) < 1e-12);
                QVERIFY(qAbs(b.rmsValue(kind, quantity) - a.rmsValue(kind, quantity)) < 1e-9);
            }
        }
        // start-up sets the timing error terms and forgets the satellite count
        QCOMPARE(b.timingErrorSumSquares(), 500000.0);
        QCOMPARE(b.timingSatellites(), -1);
    }

    void repairOnLoad()
    {
        TestSupport::TemporarySettings tmp;
        const QString huge = QStringLiteral("1") + QString(400, QLatin1Char('0')) + QStringLiteral(".0");
        {
            QSettings s;
            s.setValue("GpsNavDialog/Averaging Data/Position Weight Limit", "0");
            s.setValue("GpsNavDialog/Averaging Data/RMS Weight Limit", "1000000.0");
            s.setValue("GpsNavDialog/Averaging Data/Timing Weight Limit", "garbage");
            s.setValue("GpsNavDialog/Averaging Data/HDOP Weight", "99.5");
            s.setValue("GpsNavDialog/Averaging Data/VDOP Weight", "-1");
            s.setValue("GpsNavDialog/RefLocation/Latitude", "91");
            s.setValue("GpsNavDialog/RefLocation/Longitude", "-180");
            s.setValue("GpsNavDialog/RefLocation/GPS Altitude", "-1000.5");
            s.setValue("GpsNavDialog/RefLocation/MSL Altitude", "-1000");
            s.setValue("GpsNavDialog/Averaging Data/Averages - Position", "91.0 13.4 100.0 60.0");
            s.setValue("GpsNavDialog/Averaging Data/Averages - RMS Lat", huge + " 4.0 -5.0");
            s.setValue("GpsNavDialog/Averaging Data/Averages - RMS Lng", "nan inf 2.0");
            s.setValue("GpsNavDialog/Averaging Data/Averages - RMS 2D", "20000000000.0 9.0 16.0");
            s.setValue("GpsNavDialog/Averaging Data/Averages - RMS Alt", "1.0 2.0 3.0");
        }
        AveragingEngine e;
        {
            QSettings s;
            e.loadSettings(s);
        }
        QCOMPARE(e.positionWeightLimit(), 28800.0);
        QCOMPARE(e.rmsWeightLimit(), 86400.0);
        QCOMPARE(e.timingWeightLimit(), 28800.0);
        QCOMPARE(e.hdopWeight(), 1.5);
        QCOMPARE(e.vdopWeight(), 2.0);
        QCOMPARE(e.tdopWeight(), 1.5);   // absent: default
        // Three of the four reference values are out of range: the position is repaired whole.
        QCOMPARE(e.referencePosition().lat, 51.4778);
        QCOMPARE(e.referencePosition().lon, -0.0015);
        QCOMPARE(e.referencePosition().altGps, 92.0);
        QCOMPARE(e.referencePosition().altMsl, 46.0);
        QVERIFY(qAbs(e.metresPerDegLon() - 69201.97) < 0.05);
        QVERIFY(e.seedPending());   // latitude 91: the averages start from the next locked fix

        using E = AveragingEngine;
        QCOMPARE(e.meanSquare(E::RefAvg, E::Lat), 0.0);   // overflowed to infinity
        QCOMPARE(e.meanSquare(E::AvgCur, E::Lat), 4.0);
        QCOMPARE(e.rmsValue(E::AvgCur, E::Lat), 2.0);
        QCOMPARE(e.meanSquare(E::RefCur, E::Lat), 0.0);   // negative
        // "nan inf 2.0": the words are no numbers, so 2.0 is the first and the other two are missing
        QCOMPARE(e.meanSquare(E::RefAvg, E::Lon), 2.0);
        QCOMPARE(e.meanSquare(E::AvgCur, E::Lon), 0.0);
        QCOMPARE(e.meanSquare(E::RefAvg, E::TwoD), 0.0);  // above 1e10
        QCOMPARE(e.meanSquare(E::RefCur, E::TwoD), 16.0);
        QCOMPARE(e.rmsValue(E::RefCur, E::TwoD), 4.0);
        QCOMPARE(e.meanSquare(E::RefCur, E::AltGps), 3.0);
        QCOMPARE(e.meanSquare(E::RefCur, E::AltMsl), 0.0);   // absent

        // Repaired and missing values are written back in their stored form.
        QSettings raw(tmp.fileName(), QSettings::IniFormat);
        QCOMPARE(raw.value("GpsNavDialog/Averaging Data/Position Weight Limit").toString(), QStringLiteral("028800.0"));
        QCOMPARE(raw.value("GpsNavDialog/Averaging Data/RMS Weight Limit").toString(), QStringLiteral("086400.0"));
        QCOMPARE(raw.value("GpsNavDialog/Averaging Data/Timing Weight Limit").toString(), QStringLiteral("028800.0"));
        QCOMPARE(raw.value("GpsNavDialog/Averaging Data/HDOP Weight").toString(), QStringLiteral("01.5"));
        QCOMPARE(raw.value("GpsNavDialog/Averaging Data/VDOP Weight").toString(), QStringLiteral("02.0"));
        QCOMPARE(raw.value("GpsNavDialog/Averaging Data/TDOP Weight").toString(), QStringLiteral("01.5"));
        QCOMPARE(raw.value("GpsNavDialog/Averaging Data/Use DOP Weighting").toBool(), true);
        QCOMPARE(raw.value("GpsNavDialog/Averaging Data/Restart Averages On Unlock").toBool(), true);
        QCOMPARE(raw.value("GpsNavDialog/Averaging Data/Restart Averages On Startup").toBool(), false);
        QCOMPARE(raw.value("GpsNavDialog/RefLocation/Latitude").toString(), QStringLiteral("51.4778000000000020"));
        QCOMPARE(raw.value("GpsNavDialog/RefLocation/Longitude").toString(), QStringLiteral("-0.0015000000000000"));
        QCOMPARE(raw.value("GpsNavDialog/RefLocation/GPS Altitude").toString(), QStringLiteral("92.0000000000000000"));
        QCOMPARE(raw.value("GpsNavDialog/RefLocation/MSL Altitude").toString(), QStringLiteral("46.0000000000000000"));
        QCOMPARE(raw.value("GpsNavDialog/Averaging Data/Averages - RMS Lat").toString(),
                 QStringLiteral("0.0000000000000000 4.0000000000000000 0.0000000000000000"));
        QCOMPARE(raw.value("GpsNavDialog/Averaging Data/Averages - RMS Lng").toString(),
                 QStringLiteral("2.0000000000000000 0.0000000000000000 0.0000000000000000"));
        QCOMPARE(raw.value("GpsNavDialog/Averaging Data/Averages - RMS 2D").toString(),
                 QStringLiteral("0.0000000000000000 9.0000000000000000 16.0000000000000000"));
        QCOMPARE(raw.value("GpsNavDialog/Averaging Data/Averages - RMS Alt").toString(), QStringLiteral("1.0 2.0 3.0"));

        // The averages then restart from the first locked fix.
        e.setFixType(3);
        lock(e);
        e.updatePosition(52.5, 13.4, 100, 60, 0);
        QCOMPARE(e.avgLat(), 52.5);
        QVERIFY(!e.seedPending());
    }

    void startUpContinuesOrResets()
    {
        for (const bool cont : { false, true }) {
            TestSupport::TemporarySettings tmp;
            {
                QSettings s;
                s.setValue("GpsNavDialog/Averaging Data/Restart Averages On Startup", cont);
                s.setValue("GpsNavDialog/Averaging Data/Averages - Position", "52.5 13.4 100.0 60.0");
                s.setValue("GpsNavDialog/Averaging Data/Averages - Weights", "100.0 90.0 80.0 70.0");
            }
            AveragingEngine e;
            QSettings s;
            e.startUp(s);
            QCOMPARE(e.seedPending(), !cont);
            QCOMPARE(e.positionCount(), cont ? 100.0 : 1.0);
            QCOMPARE(e.altitudeCount(), cont ? 90.0 : 1.0);
            QCOMPARE(e.timingCount(), cont ? 70.0 : 1.0);
            if (cont) {
                // Passes before the first lock must not throw the continued averages away.
                e.setFixType(3);
                e.updatePosition(1, 1, 1, 1, 0);
                QCOMPARE(e.avgLat(), 52.5);
                QCOMPARE(e.positionCount(), 100.0);
                lock(e);
                e.updatePosition(52.6, 13.4, 100, 60, 0);
                QCOMPARE(e.positionCount(), 101.0);
                QVERIFY(qAbs(e.avgLat() - (100 * 52.5 + 52.6) / 101) < 1e-12);
            }
            // A reload with continuing switched off restarts everything.
            s.setValue("GpsNavDialog/Averaging Data/Restart Averages On Startup", false);
            e.reloadSettings(s);
            QVERIFY(e.seedPending());
            QCOMPARE(e.positionCount(), 1.0);
        }
    }

    void referenceLocationWritesKeys()
    {
        TestSupport::TemporarySettings tmp;
        AveragingEngine e;
        QCOMPARE(e.referencePosition().lat, AveragingEngine::DefaultRefLat);
        e.setRestartOnUnlock(false);
        e.setReferenceLocation(-33.8688, 151.2093, 58.0, 35.0);
        QVERIFY(qAbs(e.metresPerDegLon() - std::cos(-33.8688 * 0.0174533) * 111111.1) < 1e-9);
        QSettings s;
        QCOMPARE(s.value("GpsNavDialog/RefLocation/Latitude").toString(), QStringLiteral("-33.8688000000000002"));
        QCOMPARE(s.value("GpsNavDialog/RefLocation/Longitude").toString(), QStringLiteral("151.2093000000000131"));
        QCOMPARE(s.value("GpsNavDialog/RefLocation/GPS Altitude").toString(), QStringLiteral("58.0000000000000000"));
        QCOMPARE(s.value("GpsNavDialog/Averaging Data/Restart Averages On Unlock").toBool(), false);
        QVERIFY(s.contains("GpsNavDialog/Averaging Data/Restart Averages On Startup"));

        e.updatePosition(1, 2, 3, 4, 0);
        e.setReferenceToCurrent();
        QCOMPARE(e.referencePosition().altGps, 3.0);
        QCOMPARE(QSettings().value("GpsNavDialog/RefLocation/MSL Altitude").toString(),
                 QStringLiteral("4.0000000000000000"));
        e.setReferenceToAverage();   // averages still at their start-up values
        QCOMPARE(e.referencePosition().lat, e.avgLat());
        // The built-in default is a real place: the Greenwich locator.
        QCOMPARE(AveragingEngine::maidenheadLocator(AveragingEngine::DefaultRefLat, AveragingEngine::DefaultRefLon)
                     .left(4),
                 QStringLiteral("IO91"));
    }
};

} // namespace averaging_tests

namespace geoid_tests {

// Row r is latitude -90 + 10 r, column c is longitude -180 + 10 c.
namespace {

double nodeValue(int row, int column)
{
    return geoidSeparation(-90.0 + 10.0 * row, -180.0 + 10.0 * column);
}

// Sum and position-weighted sum of each row (weights 1 ... 36 from longitude -180 eastward),
// taken from the published table. Any one wrong entry (fractional or out of range included)
// changes its row's sum; two entries swapped within a row change the weighted sum, across rows
// both sums.
constexpr int kRowSums[19] = {-1080, -884, -517, -101, 182, 206, 257, 231, 80, -15,
                              -170,  -276, -221, -98,  55,  168, 266, 370, 468};
constexpr int kRowWeighted[19] = {-19980, -14278, -7014, -111, 4837, 3692, 4621,
                                  5027,   3368,   1914,  -668, -2491, -959, 174,
                                  1073,   2989,   4934,  6821, 8658};

} // namespace

class TestGeoid : public QObject
{
    Q_OBJECT

private Q_SLOTS:

    void rowChecksums()
    {
        for (int r = 0; r < 19; ++r) {
            double sum = 0, weighted = 0;
            for (int c = 0; c < 36; ++c) {
                sum += nodeValue(r, c);
                weighted += (c + 1) * nodeValue(r, c);
            }
            QCOMPARE(sum, double(kRowSums[r]));
            QCOMPARE(weighted, double(kRowWeighted[r]));
        }
    }

    void separation_data()
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
        QTest::newRow("equator +180 is -180") << 0.0 << 180.0 << 22.0;
        QTest::newRow("equator +175 between +170 and -180") << 0.0 << 175.0 << 27.0;
        QTest::newRow("equator -175") << 0.0 << -175.0 << 19.0;
        QTest::newRow("+50 +180") << 50.0 << 180.0 << -8.0;
        QTest::newRow("+50 +175") << 50.0 << 175.0 << -3.0;
        QTest::newRow("+85 +175") << 85.0 << 175.0 << (1.0 + 3.0 + 13.0 + 13.0) / 4.0;
    }
    void separation()
    {
        QFETCH(double, lat);
        QFETCH(double, lon);
        QFETCH(double, metres);
        QCOMPARE(geoidSeparation(lat, lon), metres);
    }

    void cellMidpoints()
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

    void poleRows_data()
    {
        QTest::addColumn<double>("lat");
        QTest::addColumn<double>("metres");
        QTest::newRow("south pole") << -90.0 << -30.0;
        QTest::newRow("north pole") << 90.0 << 13.0;
    }
    void poleRows()
    {
        QFETCH(double, lat);
        QFETCH(double, metres);
        for (double lon = -180.0; lon <= 180.0; lon += 2.5)
            QCOMPARE(geoidSeparation(lat, lon), metres);
        // Between +80 and +90 the value runs linearly to 13: at 85/0 it is (33 + 13) / 2.
        QCOMPARE(geoidSeparation(85.0, 0.0), 23.0);
        QCOMPARE(geoidSeparation(-85.0, 0.0), (-4.0 - 30.0) / 2.0);
    }

    void outOfRange_data()
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
    void outOfRange()
    {
        QFETCH(double, lat);
        QFETCH(double, lon);
        QCOMPARE(geoidSeparation(lat, lon), 0.0);
    }
};

} // namespace geoid_tests

CHRONODE_TEST_MAIN(averaging_tests::TestAveraging, geoid_tests::TestGeoid)
#include "tst_averaging.moc"
