#include "core/GpsWeekRollover.h"
#include "core/ReceiverState.h"
#include "core/ReceiverTime.h"

#include <QtTest>

class TestReceiverTime : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void mjdAndWeek_data();
    void mjdAndWeek();
    void correction_data();
    void correction();
    void arithmetic();
    void weekRollover_data();
    void weekRollover();
};

void TestReceiverTime::mjdAndWeek_data()
{
    QTest::addColumn<QDateTime>("utc");
    QTest::addColumn<int>("mjd");
    QTest::addColumn<int>("week");
    auto dt = [](int y, int m, int d, int hh = 0, int mm = 0, int ss = 0) {
        return QDateTime(QDate(y, m, d), QTime(hh, mm, ss), Qt::UTC);
    };
    QTest::newRow("1901-01-01") << dt(1901, 1, 1) << 15385 << -4123;
    QTest::newRow("gps epoch") << dt(1980, 1, 6) << 44244 << 0;
    QTest::newRow("day before gps epoch") << dt(1980, 1, 5, 23, 59, 59) << 44243 << -1;
    QTest::newRow("end of week 0") << dt(1980, 1, 12, 23, 59, 59) << 44250 << 0;
    QTest::newRow("week 1") << dt(1980, 1, 13) << 44251 << 1;
    QTest::newRow("y2k") << dt(2000, 1, 1) << 51544 << 1042;
    QTest::newRow("leap day 2024") << dt(2024, 2, 29, 12) << 60369 << 2303;
    QTest::newRow("2099-12-31") << dt(2099, 12, 31) << 88068 << 6260;
}

void TestReceiverTime::mjdAndWeek()
{
    QFETCH(QDateTime, utc);
    QFETCH(int, mjd);
    QFETCH(int, week);
    ReceiverTime t;
    t.setDateTime(utc);
    QCOMPARE(t.mjd(), mjd);
    QCOMPARE(t.gpsWeek(), week);
    // The receiver's day count agrees with the astronomical MJD over 1901-2099.
    QCOMPARE(qint64(t.mjd()), utc.date().toJulianDay() - 2400001);
}

void TestReceiverTime::correction_data()
{
    QTest::addColumn<int>("ms");
    QTest::addColumn<int>("offsetNs");
    QTest::addColumn<int>("cableNs");
    QTest::addColumn<int>("corrected");
    QTest::addColumn<int>("signedCorr");
    QTest::newRow("999 + 2 ms offset wraps to 1") << 999 << 2000000 << 0 << 1 << 1;
    QTest::newRow("600 folds to -400") << 600 << 0 << 0 << 600 << -400;
    QTest::newRow("499 stays") << 499 << 0 << 0 << 499 << 499;
    QTest::newRow("500 folds") << 500 << 0 << 0 << 500 << -500;
    QTest::newRow("cable delay rounds") << 0 << 0 << 400000 << 0 << 0;
    QTest::newRow("cable delay past half") << 10 << 0 << 2600000 << 7 << 7;
    QTest::newRow("negative keeps dividend sign") << 0 << -3000000 << 0 << -2 << -2;
}

void TestReceiverTime::correction()
{
    QFETCH(int, ms);
    QFETCH(int, offsetNs);
    QFETCH(int, cableNs);
    QFETCH(int, corrected);
    QFETCH(int, signedCorr);
    ReceiverTime t;
    t.setPpsOffsetNs(offsetNs);
    t.setCableDelayNs(cableNs);
    t.setMilliseconds(ms);
    QCOMPARE(t.correctedMilliseconds(), corrected);
    QCOMPARE(t.signedCorrection(), signedCorr);
}

void TestReceiverTime::arithmetic()
{
    ReceiverTime a(QDateTime(QDate(2024, 1, 1), QTime(0, 0, 1), Qt::UTC));
    ReceiverTime b(QDateTime::fromMSecsSinceEpoch(2500, Qt::UTC));
    const ReceiverTime back = ReceiverTime::subtractTimes(a, b);
    QCOMPARE(back.dateTime(), QDateTime(QDate(2023, 12, 31), QTime(23, 59, 58, 500), Qt::UTC));
    QCOMPARE(back.mjd(), 60309);
    const ReceiverTime fwd = ReceiverTime::addTimes(back, b);
    QCOMPARE(fwd.dateTime(), a.dateTime());
    QCOMPARE(fwd.mjd(), 60310);
    QCOMPARE(fwd.fractionalMjd(), 60310 + 1.0 / 86400.0);
}

void TestReceiverTime::weekRollover_data()
{
    QTest::addColumn<QDateTime>("received");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("epochs");
    QTest::addColumn<QDate>("built");
    QTest::addColumn<QDateTime>("stored");
    const auto utc = [](int y, int m, int d, int h = 0, int mi = 0, int s = 0) {
        return QDateTime(QDate(y, m, d), QTime(h, mi, s), QTimeZone::utc());
    };
    // The days around the three week rollovers, received one and two epochs behind: the fixed
    // count, and the automatic mode of a program built a year before, land on the true day;
    // "none" stores what came.
    for (const QDateTime &truth : { utc(1999, 8, 21, 23, 59, 59), utc(1999, 8, 22), utc(2019, 4, 6, 23, 59, 59),
                                    utc(2019, 4, 7), utc(2038, 11, 20, 12), utc(2038, 11, 21, 0, 0, 1) }) {
        for (int k : { 1, 2 }) {
            const QDateTime received = truth.addDays(-7168 * k);
            const QByteArray name = truth.toString(Qt::ISODate).toLatin1() + " -" + QByteArray::number(k);
            QTest::newRow(name + " fixed") << received << 2 << k << QDate() << truth;
            QTest::newRow(name + " automatic") << received << 1 << 0 << truth.date().addYears(-1) << truth;
            QTest::newRow(name + " none") << received << 0 << k << truth.date().addYears(-1) << received;
        }
    }
    // The automatic limit: 3584 days (512 weeks) before the build date is kept, a day earlier
    // moves a whole epoch; a correct date after the build is never touched.
    QTest::newRow("at the limit") << utc(2017, 2, 11) << 1 << 0 << QDate(2026, 12, 5) << utc(2017, 2, 11);
    QTest::newRow("a day before") << utc(2017, 2, 10, 23, 59) << 1 << 0 << QDate(2026, 12, 5) << utc(2036, 9, 26, 23, 59);
    QTest::newRow("after the build") << utc(2027, 3, 1) << 1 << 0 << QDate(2026, 12, 5) << utc(2027, 3, 1);
    QTest::newRow("fixed count above 4") << utc(2000, 1, 1) << 2 << 9 << QDate() << utc(2000, 1, 1).addDays(4 * 7168);
}

void TestReceiverTime::weekRollover()
{
    QFETCH(QDateTime, received);
    QFETCH(int, mode);
    QFETCH(int, epochs);
    QFETCH(QDate, built);
    QFETCH(QDateTime, stored);
    ReceiverState state;
    state.weekRollover.mode = mode;
    state.weekRollover.fixedEpochs = epochs;
    state.weekRollover.referenceDate = built;
    state.storeReceiverTime(received, 250);
    QCOMPARE(state.receiverUtcDateTime.dateTime(), stored);
    QCOMPARE(state.receiverUtcDateTime.mjd(), ReceiverTime::mjdOf(stored.date()));
    QCOMPARE(state.receiverUtcDateTime.milliseconds(), 250);
}

QTEST_APPLESS_MAIN(TestReceiverTime)
#include "tst_receivertime.moc"
