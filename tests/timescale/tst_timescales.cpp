#include "timescale/TimeScales.h"

#include <QtTest>

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
    void mjdAndWeek_data();
    void mjdAndWeek();
    void mjdOfAgreesWithJulianDay();
    void mjdTextRounding_data();
    void mjdTextRounding();
    void yearAndDay_data();
    void yearAndDay();
    void dayNumbers_data();
    void dayNumbers();
    void monthNames_data();
    void monthNames();
    void dayNames_data();
    void dayNames();
    void sundayFirst_data();
    void sundayFirst();
};

void TestTimeScales::mjdAndWeek_data()
{
    QTest::addColumn<QDateTime>("time");
    QTest::addColumn<int>("mjd");
    QTest::addColumn<double>("fractional");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("week");

    QTest::newRow("y2k noon") << utc(2000, 1, 1, 12) << 51544 << 51544.5 << "51544.50000" << 1042;
    QTest::newRow("y2k midnight") << utc(2000, 1, 1) << 51544 << 51544.0 << "51544.00000" << 1042;
    QTest::newRow("last second of 1999")
        << utc(1999, 12, 31, 23, 59, 59) << 51543 << 51543.0 + 86399.0 / 86400.0 << "51543.99999"
        << 1042;
    QTest::newRow("gps epoch") << utc(1980, 1, 6) << 44244 << 44244.0 << "44244.00000" << 0;
    QTest::newRow("day before gps epoch")
        << utc(1980, 1, 5, 18) << 44243 << 44243.75 << "44243.75000" << -1;
    QTest::newRow("last second of week 0")
        << utc(1980, 1, 12, 23, 59, 59) << 44250 << 44250.0 + 86399.0 / 86400.0 << "44250.99999"
        << 0;
    QTest::newRow("week 1") << utc(1980, 1, 13) << 44251 << 44251.0 << "44251.00000" << 1;
    QTest::newRow("1901-01-01") << utc(1901, 1, 1) << 15385 << 15385.0 << "15385.00000" << -4123;
    QTest::newRow("milliseconds ignored")
        << utc(2024, 1, 5, 6, 0, 0, 999) << 60314 << 60314.25 << "60314.25000" << 2295;
    QTest::newRow("2099-12-31") << utc(2099, 12, 31, 18) << 88068 << 88068.75 << "88068.75000"
                                << 6260;
}

void TestTimeScales::mjdAndWeek()
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
}

void TestTimeScales::mjdOfAgreesWithJulianDay()
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

void TestTimeScales::mjdTextRounding_data()
{
    QTest::addColumn<QDateTime>("time");
    QTest::addColumn<QString>("mjdText");
    QTest::addColumn<QString>("plainText");
    // 3 s = 0.0000347 d: the half-unit added to the clock text lifts it to ...04.
    QTest::newRow("3 s after midnight") << utc(2000, 1, 1, 0, 0, 3) << "51544.00004" << "51544.00003";
    QTest::newRow("1 s after midnight") << utc(2000, 1, 1, 0, 0, 1) << "51544.00001" << "51544.00001";
    QTest::newRow("noon") << utc(2000, 1, 1, 12) << "51544.50000" << "51544.50000";
}

void TestTimeScales::mjdTextRounding()
{
    QFETCH(QDateTime, time);
    QFETCH(QString, mjdText);
    QFETCH(QString, plainText);
    const ReceiverTime t(time);
    QCOMPARE(TimeScales::mjdText(t), mjdText);
    QCOMPARE(TimeScales::fractionalMjdText(t), plainText);
}

void TestTimeScales::yearAndDay_data()
{
    QTest::addColumn<QDateTime>("time");
    QTest::addColumn<QString>("text");
    QTest::newRow("day 5 noon") << utc(2024, 1, 5, 12) << "24005.500000";
    QTest::newRow("day 45 noon") << utc(2024, 2, 14, 12) << "24045.500000";
    QTest::newRow("day 123 noon") << utc(2024, 5, 2, 12) << "24123.500000";
    QTest::newRow("leap year day 366") << utc(2024, 12, 31, 6) << "24366.250000";
    // The added half-unit sits in the sixth decimal, so a whole day can print one
    // millionth high, depending on how the sum rounds in binary.
    QTest::newRow("year 2000 first instant") << utc(2000, 1, 1) << "00001.000001";
    QTest::newRow("2024 day 5 first instant") << utc(2024, 1, 5) << "24005.000000";
    QTest::newRow("year 2005 evening") << utc(2005, 12, 31, 18) << "05365.750000";
    QTest::newRow("milliseconds ignored") << utc(2024, 1, 5, 12, 0, 0, 999) << "24005.500000";
    // 23:59:59 is 0.99998843 d; with the added half-unit it still stays on day 1.
    QTest::newRow("last second of day") << utc(2024, 1, 1, 23, 59, 59) << "24001.999989";
}

void TestTimeScales::yearAndDay()
{
    QFETCH(QDateTime, time);
    QFETCH(QString, text);
    QCOMPARE(TimeScales::yearAndDayText(time), text);
    QCOMPARE(TimeScales::yearAndDayText(ReceiverTime(time)), text);
    // A receiver time always carries UTC, whatever zone the caller's date-time was in.
    QCOMPARE(TimeScales::yearAndDayText(time.toOffsetFromUtc(3600)), text);
}

void TestTimeScales::dayNumbers_data()
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
}

void TestTimeScales::dayNumbers()
{
    QFETCH(QDateTime, time);
    QFETCH(QString, since1900);
    QFETCH(QString, excel);
    QCOMPARE(TimeScales::dayNumberSince1900(time), since1900);
    QCOMPARE(since1900.size(), 12);
    QCOMPARE(TimeScales::excelDayNumberText(time), excel);
}

void TestTimeScales::monthNames_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("full");
    QTest::addColumn<QString>("brief");
    QTest::newRow("-1") << -1 << "Illegal month" << "Illegal month";
    QTest::newRow("0") << 0 << "Illegal month" << "Illegal month";
    QTest::newRow("1") << 1 << "January" << "Jan";
    QTest::newRow("2") << 2 << "February" << "Feb";
    QTest::newRow("9") << 9 << "September" << "Sep";
    QTest::newRow("12") << 12 << "December" << "Dec";
    QTest::newRow("13") << 13 << "Illegal month" << "Illegal month";
    QTest::newRow("int max") << std::numeric_limits<int>::max() << "Illegal month" << "Illegal month";
}

void TestTimeScales::monthNames()
{
    QFETCH(int, index);
    QFETCH(QString, full);
    QFETCH(QString, brief);
    QCOMPARE(TimeScales::monthName(index), full);
    QCOMPARE(TimeScales::shortMonthName(index), brief);
}

void TestTimeScales::dayNames_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("full");
    QTest::addColumn<QString>("brief");
    QTest::newRow("0") << 0 << "Illegal day" << "Illegal day";
    QTest::newRow("1") << 1 << "Sunday" << "Sun";
    QTest::newRow("2") << 2 << "Monday" << "Mon";
    QTest::newRow("7") << 7 << "Saturday" << "Sat";
    QTest::newRow("8") << 8 << "Illegal day" << "Illegal day";
    QTest::newRow("int min") << std::numeric_limits<int>::min() << "Illegal day" << "Illegal day";
}

void TestTimeScales::dayNames()
{
    QFETCH(int, index);
    QFETCH(QString, full);
    QFETCH(QString, brief);
    QCOMPARE(TimeScales::dayName(index), full);
    QCOMPARE(TimeScales::shortDayName(index), brief);
}

void TestTimeScales::sundayFirst_data()
{
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QString>("name");
    QTest::newRow("gps epoch was a Sunday") << QDate(1980, 1, 6) << "Sunday";
    QTest::newRow("2000-01-01 Saturday") << QDate(2000, 1, 1) << "Saturday";
    QTest::newRow("2024-01-08 Monday") << QDate(2024, 1, 8) << "Monday";
    QTest::newRow("invalid date") << QDate() << "Illegal day";
}

void TestTimeScales::sundayFirst()
{
    QFETCH(QDate, date);
    QFETCH(QString, name);
    QCOMPARE(TimeScales::dayName(TimeScales::sundayFirstDayOfWeek(date)), name);
}

QTEST_APPLESS_MAIN(TestTimeScales)
#include "tst_timescales.moc"
