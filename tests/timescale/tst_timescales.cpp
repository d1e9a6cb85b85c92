#include "core/ReceiverState.h"
#include "core/GpsWeekRollover.h"
#include "support/TestSupport.h"
#include "core/ReceiverTime.h"
#include "timescale/Sidereal.h"
#include "timescale/TimeScales.h"

#include <QtTest>
#include <cmath>

namespace timescales_tests {

namespace {
QDateTime utc(int y, int m, int d, int hh = 0, int mm = 0, int ss = 0, int ms = 0)
{
    return QDateTime(QDate(y, m, d), QTime(hh, mm, ss, ms), Qt::UTC);
}
} // namespace

class TestTimeScales : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void mjdAndWeek_data()
    {
        QTest::addColumn<QDateTime>("time");
        QTest::addColumn<int>("mjd");
        QTest::addColumn<double>("fractional");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("week");

        QTest::newRow("y2k noon") << utc(2000, 1, 1, 12) << 51544 << 51544.5 << "51544.50000" << 1042;
        QTest::newRow("y2k midnight") << utc(2000, 1, 1) << 51544 << 51544.0 << "51544.00000" << 1042;
        QTest::newRow("last second of 1999")
            << utc(1999, 12, 31, 23, 59, 59) << 51543 << 51543.0 + 86399.0 / 86400.0 << "51543.99998"
            << 1042;
        QTest::newRow("gps epoch") << utc(1980, 1, 6) << 44244 << 44244.0 << "44244.00000" << 0;
        QTest::newRow("day before gps epoch")
            << utc(1980, 1, 5, 18) << 44243 << 44243.75 << "44243.75000" << -1;
        QTest::newRow("last second of week 0")
            << utc(1980, 1, 12, 23, 59, 59) << 44250 << 44250.0 + 86399.0 / 86400.0 << "44250.99998"
            << 0;
        QTest::newRow("week 1") << utc(1980, 1, 13) << 44251 << 44251.0 << "44251.00000" << 1;
        QTest::newRow("1901-01-01") << utc(1901, 1, 1) << 15385 << 15385.0 << "15385.00000" << -4123;
        QTest::newRow("milliseconds ignored")
            << utc(2024, 1, 5, 6, 0, 0, 999) << 60314 << 60314.25 << "60314.25000" << 2295;
        QTest::newRow("leap day 2024") << utc(2024, 2, 29, 12) << 60369 << 60369.5 << "60369.50000" << 2303;
        QTest::newRow("2099-12-31") << utc(2099, 12, 31, 18) << 88068 << 88068.75 << "88068.75000"
                                    << 6260;
    }
    void mjdAndWeek()
    {
        QFETCH(QDateTime, time);
        QFETCH(int, mjd);
        QFETCH(double, fractional);
        QFETCH(QString, text);
        QFETCH(int, week);

        const ReceiverTime t(time);
        QCOMPARE(TimeScales::mjdOf(time.date()), mjd);
        QCOMPARE(t.mjd(), mjd);
        QCOMPARE(TimeScales::fractionalMjd(t), fractional);
        QCOMPARE(TimeScales::mjdText(t), text);
        QCOMPARE(TimeScales::gpsWeek(t), week);
        // The week agrees with floor((MJD - 44244) / 7) on both sides of the epoch.
        QCOMPARE(TimeScales::gpsWeek(t), int(std::floor((mjd - 44244) / 7.0)));
        // The receiver's own counts, set after construction, agree.
        ReceiverTime r;
        r.setDateTime(time);
        QCOMPARE(r.mjd(), mjd);
        QCOMPARE(r.gpsWeek(), week);
    }

    void mjdOfAgreesWithJulianDay()
    {
        // Every first and last day of each year 1901-2099 and every day of two leap-year
        // boundaries: the receiver's rule equals the astronomical MJD.
        for (int year = 1901; year <= 2099; ++year) {
            for (const QDate &d : {QDate(year, 1, 1), QDate(year, 2, 28), QDate(year, 3, 1),
                                   QDate(year, 12, 31)}) {
                if (TimeScales::mjdOf(d) != d.toJulianDay() - 2400001)
                    QFAIL(qPrintable(d.toString(Qt::ISODate)));
            }
        }
        QDate d(2099, 12, 31);
        QCOMPARE(TimeScales::mjdOf(d), 88068);
    }

    void mjdTextRounding_data()
    {
        QTest::addColumn<QDateTime>("time");
        QTest::addColumn<QString>("mjdText");
        QTest::addColumn<QString>("plainText");
        // 3 s = 0.0000347 d: a tag never names a later instant than its own.
        QTest::newRow("3 s after midnight") << utc(2000, 1, 1, 0, 0, 3) << "51544.00003" << "51544.00003";
        QTest::newRow("last second of the day") << utc(2000, 1, 1, 23, 59, 59, 999) << "51544.99998" << "51544.99999";
        QTest::newRow("1 s after midnight") << utc(2000, 1, 1, 0, 0, 1) << "51544.00001" << "51544.00001";
        QTest::newRow("noon") << utc(2000, 1, 1, 12) << "51544.50000" << "51544.50000";
    }
    void mjdTextRounding()
    {
        QFETCH(QDateTime, time);
        QFETCH(QString, mjdText);
        QFETCH(QString, plainText);
        const ReceiverTime t(time);
        QCOMPARE(TimeScales::mjdText(t), mjdText);
        QCOMPARE(TimeScales::fractionalMjdText(t), plainText);
    }

    void yearAndDay_data()
    {
        QTest::addColumn<QDateTime>("time");
        QTest::addColumn<QString>("text");
        QTest::newRow("day 5 noon") << utc(2024, 1, 5, 12) << "24005.500000";
        QTest::newRow("day 45 noon") << utc(2024, 2, 14, 12) << "24045.500000";
        QTest::newRow("day 123 noon") << utc(2024, 5, 2, 12) << "24123.500000";
        QTest::newRow("leap year day 366") << utc(2024, 12, 31, 6) << "24366.250000";
        QTest::newRow("year 2000 first instant") << utc(2000, 1, 1) << "00001.000000";
        QTest::newRow("one second is 0.0000115 d") << utc(2000, 1, 1, 0, 0, 1) << "00001.000011";
        QTest::newRow("2024 day 5 first instant") << utc(2024, 1, 5) << "24005.000000";
        QTest::newRow("year 2005 evening") << utc(2005, 12, 31, 18) << "05365.750000";
        QTest::newRow("milliseconds ignored") << utc(2024, 1, 5, 12, 0, 0, 999) << "24005.500000";
        // 23:59:59 is 0.99998843 d and stays on day 1.
        QTest::newRow("last second of day") << utc(2024, 1, 1, 23, 59, 59, 999) << "24001.999988";
    }
    void yearAndDay()
    {
        QFETCH(QDateTime, time);
        QFETCH(QString, text);
        QCOMPARE(TimeScales::yearAndDayText(time), text);
        QCOMPARE(TimeScales::yearAndDayText(ReceiverTime(time)), text);
        // A receiver time always carries UTC, whatever zone the caller's date-time was in.
        QCOMPARE(TimeScales::yearAndDayText(time.toOffsetFromUtc(3600)), text);
    }

    void dayNumbers_data()
    {
        QTest::addColumn<QDateTime>("time");
        QTest::addColumn<QString>("since1900");
        QTest::addColumn<QString>("excel");
        QTest::newRow("1900 epoch") << utc(1900, 1, 1) << "00000.000000" << "2.000000";
        QTest::newRow("spreadsheet day 61") << utc(1900, 3, 1) << "00059.000000" << "61.000000";
        QTest::newRow("2024-01-05 noon") << utc(2024, 1, 5, 12) << "45294.500000" << "45296.500000";
        QTest::newRow("milliseconds count")
            << utc(2024, 1, 5, 0, 0, 8, 640) << "45294.000100" << "45296.000100";
        QTest::newRow("invalid time") << QDateTime() << "00000.000000" << "0.000000";
        // The last millisecond of a day is 0.99999998 d: cut, not rounded into the next day.
        QTest::newRow("last millisecond") << utc(2024, 1, 5, 23, 59, 59, 999) << "45294.999999" << "45296.999999";
    }
    void dayNumbers()
    {
        QFETCH(QDateTime, time);
        QFETCH(QString, since1900);
        QFETCH(QString, excel);
        QCOMPARE(TimeScales::dayNumberSince1900(time), since1900);
        QCOMPARE(since1900.size(), 12);
        QCOMPARE(TimeScales::excelDayNumberText(time), excel);
    }

    void names_data()
    {
        QTest::addColumn<bool>("month");
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("full");
        QTest::addColumn<QString>("brief");
        QTest::newRow("month -1") << true << -1 << "Illegal month" << "Illegal month";
        QTest::newRow("month 0") << true << 0 << "Illegal month" << "Illegal month";
        QTest::newRow("month 1") << true << 1 << "January" << "Jan";
        QTest::newRow("month 2") << true << 2 << "February" << "Feb";
        QTest::newRow("month 9") << true << 9 << "September" << "Sep";
        QTest::newRow("month 12") << true << 12 << "December" << "Dec";
        QTest::newRow("month 13") << true << 13 << "Illegal month" << "Illegal month";
        QTest::newRow("month int max") << true << std::numeric_limits<int>::max() << "Illegal month" << "Illegal month";
        QTest::newRow("day 0") << false << 0 << "Illegal day" << "Illegal day";
        QTest::newRow("day 1") << false << 1 << "Sunday" << "Sun";
        QTest::newRow("day 2") << false << 2 << "Monday" << "Mon";
        QTest::newRow("day 7") << false << 7 << "Saturday" << "Sat";
        QTest::newRow("day 8") << false << 8 << "Illegal day" << "Illegal day";
        QTest::newRow("day int min") << false << std::numeric_limits<int>::min() << "Illegal day" << "Illegal day";
    }
    void names()
    {
        QFETCH(bool, month);
        QFETCH(int, index);
        QFETCH(QString, full);
        QFETCH(QString, brief);
        QCOMPARE(month ? TimeScales::monthName(index) : TimeScales::dayName(index), full);
        QCOMPARE(month ? TimeScales::shortMonthName(index) : TimeScales::shortDayName(index), brief);
    }

    void sundayFirst_data()
    {
        QTest::addColumn<QDate>("date");
        QTest::addColumn<QString>("name");
        QTest::newRow("gps epoch was a Sunday") << QDate(1980, 1, 6) << "Sunday";
        QTest::newRow("2000-01-01 Saturday") << QDate(2000, 1, 1) << "Saturday";
        QTest::newRow("2024-01-08 Monday") << QDate(2024, 1, 8) << "Monday";
        QTest::newRow("invalid date") << QDate() << "Illegal day";
    }
    void sundayFirst()
    {
        QFETCH(QDate, date);
        QFETCH(QString, name);
        QCOMPARE(TimeScales::dayName(TimeScales::sundayFirstDayOfWeek(date)), name);
    }
};

} // namespace timescales_tests

namespace receivertime_tests {

class TestReceiverTime : public QObject
{
    Q_OBJECT

private Q_SLOTS:

    void correction_data()
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
    void correction()
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

    void arithmetic()
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

    void weekRollover_data()
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

    void weekRollover()
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

};

} // namespace receivertime_tests

namespace sidereal_tests {

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

    void referenceDate()
    {
        ReceiverTime t(utc(2000, 1, 1));
        QCOMPARE(Sidereal::siderealText(t, false), QStringLiteral("06:39:52.27"));
        // At longitude 0 local and Greenwich time are the same.
        QCOMPARE(Sidereal::siderealText(t, true), QStringLiteral("06:39:52.27"));
    }

    // Pinned texts: the T^2 and T^3 terms add 0.003 s by 2026 and 0.08 s by 2090.
    void pinnedGmst_data()
    {
        QTest::addColumn<QDateTime>("time");
        QTest::addColumn<QString>("gmst");
        QTest::newRow("2000-01-01 12:00") << utc(2000, 1, 1, 12) << "18:41:50.54";
        QTest::newRow("2026-12-06 02:30") << utc(2026, 12, 6, 2, 30) << "07:29:35.51";
        QTest::newRow("2090-06-30 18:00") << utc(2090, 6, 30, 18) << "12:37:14.33";
    }
    void pinnedGmst()
    {
        QFETCH(QDateTime, time);
        QFETCH(QString, gmst);
        QCOMPARE(Sidereal::siderealText(ReceiverTime(time), false), gmst);
    }

    void gmstAgainstIau_data()
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
    void gmstAgainstIau()
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

    void lmstFollowsLongitude_data()
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
    void lmstFollowsLongitude()
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

    void format_data()
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
    void format()
    {
        QFETCH(double, seconds);
        QFETCH(QString, text);
        QCOMPARE(Sidereal::formatSidereal(seconds), text);
    }

    void millisecondsIgnored()
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

    void badLongitudeStaysInRange()
    {
        ReceiverTime t(utc(2024, 3, 20, 3, 6, 0));
        for (double lon : {std::nan(""), HUGE_VAL, -HUGE_VAL, 1e300}) {
            t.setStation(0.0, lon);
            const double s = Sidereal::lmstSeconds(t);
            QVERIFY(s >= 0.0 && s < 86400.0);
            QCOMPARE(Sidereal::siderealText(t, true).size(), 11);
        }
    }
};

} // namespace sidereal_tests

CHRONODE_TEST_MAIN(timescales_tests::TestTimeScales, receivertime_tests::TestReceiverTime, sidereal_tests::TestSidereal)
#include "tst_timescales.moc"
