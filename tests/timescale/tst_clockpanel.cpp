#include "core/ReceiverState.h"
#include "timescale/ClockPanel.h"
#include "timescale/Sidereal.h"

#include <QtTest>
#include <ctime>
#include <optional>

namespace {

QDateTime utc(int y, int m, int d, int hh = 0, int mm = 0, int ss = 0, int ms = 0)
{
    return QDateTime(QDate(y, m, d), QTime(hh, mm, ss, ms), Qt::UTC);
}

class FakeSources : public ClockPanelSources
{
public:
    bool locked = false;
    QList<QDateTime> lockCalls;
    std::array<PositionCells, kPositionRows> cells {};
    mutable QList<int> formats;

    bool updateLockStatus(const QDateTime &t) override
    {
        lockCalls << t;
        return locked;
    }
    PositionCells positionCells(PositionRow row, int navDataFormat) const override
    {
        formats << navDataFormat;
        return cells[static_cast<int>(row)];
    }
};

// A receiver state whose last time message was at the given instant.
void setReceiverTime(ReceiverState &state, const QDateTime &time, int ms = 0, int offsetNs = 0,
                     int cableNs = 0)
{
    state.receiverUtcDateTime.setDateTime(time);
    state.receiverUtcDateTime.setPpsOffsetNs(offsetNs);
    state.receiverUtcDateTime.setCableDelayNs(cableNs);
    state.receiverUtcDateTime.setMilliseconds(ms);
}

ClockPanelInputs inputs(int mode, const QDateTime &pcNow = utc(2024, 7, 1, 10, 20, 30, 456))
{
    ClockPanelInputs in;
    in.clockDisplayMode = mode;
    in.pcNow = pcNow;
    return in;
}

} // namespace

class TestClockPanel : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        // The local-time label depends on the process's zone and the date texts on its locale.
        qputenv("TZ", "Europe/Berlin");
        tzset();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }

    void clockModes_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("text");   // "-" = label left unchanged
        QTest::newRow("0 UTC") << 0 << "00:00.03.250";
        QTest::newRow("1 PC local time") << 1 << "12:20:30.456";
        QTest::newRow("2 LMST") << 2 << "lmst";
        QTest::newRow("3 GMST") << 3 << "gmst";
        QTest::newRow("4 MJD") << 4 << "60316.00003";
        QTest::newRow("5 PC clock offset") << 5 << "0.012";
        QTest::newRow("6 TIC") << 6 << "-";
        QTest::newRow("7 TIC raw") << 7 << "-";
        QTest::newRow("unknown mode 8") << 8 << "-";
        QTest::newRow("unknown mode -1") << -1 << "-";
    }
    void clockModes()
    {
        QFETCH(int, mode);
        QFETCH(QString, text);
        ReceiverState state;
        setReceiverTime(state, utc(2024, 1, 7, 0, 0, 3), 250);
        state.receiverUtcDateTime.setStation(52.5, 13.4);
        state.pcClockOffsetMs = 12;
        ClockPanel panel;
        FakeSources sources;
        const ClockPanelTexts out = panel.updateClockPanel(state, inputs(mode), &sources);
        QVERIFY(out.updated);

        const QString lmst = Sidereal::siderealText(state.receiverUtcDateTime, true);
        const QString gmst = Sidereal::siderealText(state.receiverUtcDateTime, false);
        QVERIFY(lmst != gmst);   // the station is east of Greenwich
        if (text == QLatin1String("-"))
            QVERIFY(!out.clockText.has_value());
        else if (text == QLatin1String("lmst"))
            QCOMPARE(out.clockText, std::optional<QString>(lmst));
        else if (text == QLatin1String("gmst"))
            QCOMPARE(out.clockText, std::optional<QString>(gmst));
        else
            QCOMPARE(out.clockText, std::optional<QString>(text));

        // The rest of the panel is produced in every mode.
        QCOMPARE(out.timeInfoText, QStringLiteral("Sunday, 07-Jan-2024<br>UTC Day #007  GPS Week = 2296"));
        QVERIFY(out.localTimeText.startsWith(QStringLiteral("12:20:30.456<br>")));
        QVERIFY(out.siderealText.contains(lmst));
    }

    void pcOffset_data()
    {
        QTest::addColumn<int>("ms");
        QTest::addColumn<QString>("text");
        QTest::newRow("0") << 0 << "0.000";
        QTest::newRow("12 ms") << 12 << "0.012";
        QTest::newRow("-5 ms") << -5 << "-0.005";
        QTest::newRow("1.5 s") << 1500 << "1.500";
        QTest::newRow("123.456 s") << 123456 << "123.456";
    }
    void pcOffset()
    {
        QFETCH(int, ms);
        QFETCH(QString, text);
        QCOMPARE(ClockPanel::pcOffsetText(ms), text);
    }

    void utcCorrection_data()
    {
        QTest::addColumn<QDateTime>("time");
        QTest::addColumn<int>("ms");
        QTest::addColumn<int>("offsetNs");
        QTest::addColumn<int>("cableNs");
        QTest::addColumn<QString>("clock");
        QTest::addColumn<QString>("info");

        const QDateTime sunday = utc(2024, 1, 7);   // first second of GPS week 2296
        const QString sundayInfo = QStringLiteral("Sunday, 07-Jan-2024<br>UTC Day #007  GPS Week = 2296");
        const QString saturdayInfo =
            QStringLiteral("Saturday, 06-Jan-2024<br>UTC Day #006  GPS Week = 2295");

        QTest::newRow("no correction") << sunday << 0 << 0 << 0 << "00:00.00.000" << sundayInfo;
        QTest::newRow("499 ms stays") << sunday << 499 << 0 << 0 << "00:00.00.499" << sundayInfo;
        QTest::newRow("cable 20 ms at 10 ms: previous second, 991")
            << sunday << 10 << 0 << 20000000 << "23:59.59.991" << saturdayInfo;
        QTest::newRow("600 ms folds to the previous second")
            << sunday << 600 << 0 << 0 << "23:59.59.600" << saturdayInfo;
        QTest::newRow("pps offset lifts 999 into the next millisecond field")
            << sunday << 999 << 2000000 << 0 << "00:00.00.001" << sundayInfo;
        QTest::newRow("new year goes back a year")
            << utc(2024, 1, 1) << 500 << 0 << 0 << "23:59.59.500"
            << QStringLiteral("Sunday, 31-Dec-2023<br>UTC Day #365  GPS Week = 2295");
        QTest::newRow("mid-minute")
            << utc(2024, 2, 14, 13, 45, 30) << 999 << 0 << 0 << "13:45.29.999"
            << QStringLiteral("Wednesday, 14-Feb-2024<br>UTC Day #045  GPS Week = 2301");
    }
    void utcCorrection()
    {
        QFETCH(QDateTime, time);
        QFETCH(int, ms);
        QFETCH(int, offsetNs);
        QFETCH(int, cableNs);
        QFETCH(QString, clock);
        QFETCH(QString, info);
        ReceiverState state;
        setReceiverTime(state, time, ms, offsetNs, cableNs);
        ClockPanel panel;
        const ClockPanelTexts out = panel.updateClockPanel(state, inputs(ClockMode::Utc), nullptr);
        QCOMPARE(out.clockText, std::optional<QString>(clock));
        QCOMPARE(out.timeInfoText, info);
        // The displayed time itself is the receiver time, unshifted.
        QCOMPARE(state.displayedUtcDateTime.dateTime(), time);
    }

    void leapSecondLines_data()
    {
        QTest::addColumn<int>("leapSeconds");
        QTest::addColumn<int>("pending");
        QTest::addColumn<QString>("tail");
        QTest::newRow("nothing known") << 0 << 0 << "";
        QTest::newRow("18 s") << 18 << 0 << "<br>UTC = GPS - 18 seconds";
        QTest::newRow("18 s, +1 pending")
            << 18 << 1 << "<br>UTC = GPS - 18 seconds<br>+1 leap second is pending";
        QTest::newRow("18 s, -1 pending")
            << 18 << 2 << "<br>UTC = GPS - 18 seconds<br>-1 leap second is pending";
        QTest::newRow("pending code 3 shows nothing") << 18 << 3 << "<br>UTC = GPS - 18 seconds";
        QTest::newRow("pending code -1 shows nothing") << 18 << -1 << "<br>UTC = GPS - 18 seconds";
        QTest::newRow("negative leap count not shown") << -3 << 1 << "<br>+1 leap second is pending";
        QTest::newRow("1 s") << 1 << 2 << "<br>UTC = GPS - 1 seconds<br>-1 leap second is pending";
    }
    void leapSecondLines()
    {
        QFETCH(int, leapSeconds);
        QFETCH(int, pending);
        QFETCH(QString, tail);
        ReceiverState state;
        setReceiverTime(state, utc(2016, 12, 31, 23, 59, 58));
        state.leapSeconds = leapSeconds;
        state.leapSecondPending = pending;
        ClockPanel panel;
        const ClockPanelTexts out = panel.updateClockPanel(state, inputs(ClockMode::Utc), nullptr);
        QCOMPARE(out.timeInfoText,
                 QStringLiteral("Saturday, 31-Dec-2016<br>UTC Day #366  GPS Week = 1929") + tail);
    }

    void gpsWeekIsSigned()
    {
        ClockPanel panel;
        {
            ReceiverState state;
            setReceiverTime(state, utc(1980, 1, 5, 12));
            const ClockPanelTexts out = panel.updateClockPanel(state, inputs(ClockMode::Utc), nullptr);
            QVERIFY2(out.timeInfoText.endsWith(QStringLiteral("GPS Week = -1")), qPrintable(out.timeInfoText));
        }
        {
            // A fresh state has never seen a time message: its week is the current one.
            ReceiverState state;
            QVERIFY(state.receiverUtcDateTime.mjd() > 60000);
            const ClockPanelTexts out = panel.updateClockPanel(state, inputs(ClockMode::Utc), nullptr);
            const int week = out.timeInfoText.section(QStringLiteral("GPS Week = "), 1).toInt();
            QVERIFY2(week >= 2290 && week < 3000, qPrintable(out.timeInfoText));
        }
    }

    void timeInfoCache()
    {
        ReceiverState state;
        setReceiverTime(state, utc(2024, 5, 2, 8));
        ClockPanel panel;
        ClockPanelTexts out = panel.updateClockPanel(state, inputs(ClockMode::Utc), nullptr);
        QVERIFY(out.timeInfoChanged);
        QCOMPARE(panel.lastTimeInfoText(), out.timeInfoText);

        // Same day, later second: same text, nothing to rewrite.
        setReceiverTime(state, utc(2024, 5, 2, 8, 0, 1));
        out = panel.updateClockPanel(state, inputs(ClockMode::Utc), nullptr);
        QVERIFY(!out.timeInfoChanged);
        QVERIFY(!out.timeInfoText.isEmpty());

        // A tick without a time message forgets the kept text.
        panel.clearCachedDayText();
        out = panel.updateClockPanel(state, inputs(ClockMode::Utc), nullptr);
        QVERIFY(out.timeInfoChanged);

        // A new leap-second announcement changes the text.
        state.leapSecondPending = 1;
        out = panel.updateClockPanel(state, inputs(ClockMode::Utc), nullptr);
        QVERIFY(out.timeInfoChanged);
        out = panel.updateClockPanel(state, inputs(ClockMode::Utc), nullptr);
        QVERIFY(!out.timeInfoChanged);
    }

    void pcClockHandOver()
    {
        ReceiverState state;
        setReceiverTime(state, utc(2024, 5, 2, 8));
        ClockPanel panel;
        ClockPanelTexts out = panel.updateClockPanel(state, inputs(ClockMode::Utc), nullptr);
        QVERIFY(!out.handTimeInfoToPcClock);

        ClockPanelInputs in = inputs(ClockMode::Utc);
        in.pcClockWasSet = true;
        out = panel.updateClockPanel(state, in, nullptr);
        // Handed over even though the label itself need not be rewritten.
        QVERIFY(out.handTimeInfoToPcClock);
        QVERIFY(!out.timeInfoChanged);
        QCOMPARE(out.timeInfoText, QStringLiteral("Thursday, 02-May-2024<br>UTC Day #123  GPS Week = 2312"));
    }

    void closingSkipsEverything()
    {
        ReceiverState state;
        const ReceiverTime before = state.displayedUtcDateTime;
        setReceiverTime(state, utc(2024, 5, 2, 8));
        state.closing = true;
        state.outOfLock = false;
        FakeSources sources;
        ClockPanel panel;
        const ClockPanelTexts out = panel.updateClockPanel(state, inputs(ClockMode::Utc), &sources);
        QVERIFY(!out.updated);
        QVERIFY(!out.clockText.has_value());
        QVERIFY(out.timeInfoText.isEmpty());
        QVERIFY(state.displayedUtcDateTime == before);
        QVERIFY(!state.outOfLock);
        QVERIFY(sources.lockCalls.isEmpty());
    }

    void lockFollowsEngine()
    {
        ReceiverState state;
        setReceiverTime(state, utc(2024, 5, 2, 8, 0, 0), 250);
        state.receiverUtcDateTime.setStation(1.0, 2.0);
        FakeSources sources;
        ClockPanel panel;

        sources.locked = true;
        ClockPanelTexts out = panel.updateClockPanel(state, inputs(ClockMode::Utc), &sources);
        QVERIFY(!out.outOfLock);
        QVERIFY(!state.outOfLock);
        QCOMPARE(sources.lockCalls.size(), 1);
        QCOMPARE(sources.lockCalls.last(), utc(2024, 5, 2, 8));
        // The displayed time is the whole receiver time, station and milliseconds included.
        QVERIFY(state.displayedUtcDateTime == state.receiverUtcDateTime);

        sources.locked = false;
        setReceiverTime(state, utc(2024, 5, 2, 8, 0, 1));
        out = panel.updateClockPanel(state, inputs(ClockMode::Utc), &sources);
        QVERIFY(out.outOfLock);
        QVERIFY(state.outOfLock);
        QCOMPARE(sources.lockCalls.size(), 2);
        QCOMPARE(sources.lockCalls.last(), utc(2024, 5, 2, 8, 0, 1));
    }

    void noEngineIsOutOfLock()
    {
        ReceiverState state;
        state.outOfLock = false;
        ClockPanel panel;
        const ClockPanelTexts out = panel.updateClockPanel(state, inputs(ClockMode::Utc), nullptr);
        QVERIFY(out.outOfLock);
        QVERIFY(state.outOfLock);
        for (const auto &row : out.positionCellChanged)
            for (bool changed : row)
                QVERIFY(!changed);
    }

    void positionCellsRewrittenOnlyWhenChanged()
    {
        ReceiverState state;
        FakeSources sources;
        for (int r = 0; r < kPositionRows; ++r)
            for (int c = 0; c < kPositionColumns; ++c)
                sources.cells[r][c] = QStringLiteral("r%1c%2").arg(r).arg(c);
        ClockPanel panel;
        ClockPanelInputs in = inputs(ClockMode::Utc);
        in.navDataFormat = 2;

        ClockPanelTexts out = panel.updateClockPanel(state, in, &sources);
        QCOMPARE(sources.formats, QList<int>({2, 2, 2}));
        for (int r = 0; r < kPositionRows; ++r)
            for (int c = 0; c < kPositionColumns; ++c) {
                QVERIFY(out.positionCellChanged[r][c]);
                QCOMPARE(out.positionCells[r][c], sources.cells[r][c]);
            }

        // Next second: only the current latitude and the average MSL height moved.
        sources.cells[0][0] = QStringLiteral("52.5000001");
        sources.cells[1][3] = QStringLiteral("101.3");
        out = panel.updateClockPanel(state, in, &sources);
        for (int r = 0; r < kPositionRows; ++r)
            for (int c = 0; c < kPositionColumns; ++c) {
                const bool expected = (r == 0 && c == 0) || (r == 1 && c == 3);
                QCOMPARE(out.positionCellChanged[r][c], expected);
                QCOMPARE(out.positionCells[r][c], sources.cells[r][c]);
            }

        out = panel.updateClockPanel(state, in, &sources);
        for (const auto &row : out.positionCellChanged)
            for (bool changed : row)
                QVERIFY(!changed);
    }

    void localTime_data()
    {
        QTest::addColumn<QDateTime>("pcNow");
        QTest::addColumn<QString>("text");
        const QString standard = QStringLiteral("Central European Standard Time");
        const QString summer = QStringLiteral("Central European Summer Time");
        QTest::newRow("winter") << utc(2024, 1, 15, 11, 0, 0, 7) << "12:00:00.007<br>" + standard;
        QTest::newRow("summer") << utc(2024, 7, 15, 11, 0, 0) << "13:00:00.000<br>" + summer;
        QTest::newRow("last instant before the spring change")
            << utc(2024, 3, 31, 0, 59, 59, 999) << "01:59:59.999<br>" + standard;
        QTest::newRow("first instant after the spring change")
            << utc(2024, 3, 31, 1, 0, 0) << "03:00:00.000<br>" + summer;
        QTest::newRow("second 02:30 of the autumn change")
            << utc(2024, 10, 27, 1, 30, 0) << "02:30:00.000<br>" + standard;
        QTest::newRow("first 02:30 of the autumn change")
            << utc(2024, 10, 27, 0, 30, 0) << "02:30:00.000<br>" + summer;
    }
    void localTime()
    {
        QFETCH(QDateTime, pcNow);
        QFETCH(QString, text);
        if (!QTimeZone("Europe/Berlin").isValid())
            QSKIP("no time zone database on this machine");
        ReceiverState state;
        ClockPanel panel;
        ClockPanelInputs in = inputs(ClockMode::Pc, pcNow);
        const ClockPanelTexts out = panel.updateClockPanel(state, in, nullptr);
        QCOMPARE(out.localTimeText, text);
        QCOMPARE(out.clockText, std::optional<QString>(text.section(QStringLiteral("<br>"), 0, 0)));
    }

    void localTimeOtherZone()
    {
        const QTimeZone newYork("America/New_York");
        if (!newYork.isValid())
            QSKIP("no time zone database on this machine");
        QCOMPARE(ClockPanel::localTimeText(utc(2024, 1, 15, 17, 5, 6, 789), newYork),
                 QStringLiteral("12:05:06.789<br>Eastern Standard Time"));
        QCOMPARE(ClockPanel::localTimeText(utc(2024, 7, 15, 17, 5, 6, 789), newYork),
                 QStringLiteral("13:05:06.789<br>Eastern Daylight Time"));
    }

    void siderealLabel()
    {
        ReceiverState state;
        // 3 s after midnight is 0.0000347 d: 00003 on the clock and on the label.
        setReceiverTime(state, utc(2000, 1, 1, 0, 0, 3));
        state.receiverUtcDateTime.setStation(0.0, 0.0);
        ClockPanel panel;
        const ClockPanelTexts out = panel.updateClockPanel(state, inputs(ClockMode::Mjd), nullptr);
        const QString gmst = Sidereal::siderealText(state.displayedUtcDateTime, false);
        QVERIFY(gmst.startsWith(QStringLiteral("06:39:55.")));
        QCOMPARE(out.siderealText, "LMST " + gmst + "<br>GMST " + gmst + "<br>MJD 51544.00003");
        QCOMPARE(out.clockText, std::optional<QString>(QStringLiteral("51544.00003")));
    }
};

QTEST_APPLESS_MAIN(TestClockPanel)
#include "tst_clockpanel.moc"
