#include "support/TestSupport.h"

#include "timescale/ClockDisplayRule.h"

#include <QTest>

// Scripts of events: "e<ms>" a 1PPS edge, "m<ms>=hh:mm:ss" a time message, "p0" / "p1" the
// PPS interface off / on. Each redraw is recorded as the shown second, "~" marking a counted
// one and "--" no receiver time yet; a raw-data note is recorded as "!".
class TestClockDisplayRule : public QObject
{
    Q_OBJECT

    static QString shownText(const ClockDisplayRule &rule)
    {
        const ClockDisplayRule::Shown &s = rule.shown();
        if (!s.known)
            return QStringLiteral("--");
        return s.utc.toString(QStringLiteral("hh:mm:ss")) + (s.flywheel ? QStringLiteral("~") : QString());
    }

private Q_SLOTS:
    void script_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("draws");
        // Each message announces the second that begins at the next edge.
        QTest::newRow("one draw per edge")
            << "p1 m20=12:00:01 e1000 m1020=12:00:02 m1400=12:00:02 e2000 m2020=12:00:03 e3000"
            << "12:00:01 12:00:02 12:00:03";
        QTest::newRow("dashes until the first receiver time")
            << "p1 e0 e1000 m1020=12:00:02 e2000" << "-- -- 12:00:02";
        QTest::newRow("counted while the receiver is silent, grey until confirmed")
            << "p1 m20=12:00:01 e1000 e2000 e3000 m3020=12:00:04 e4000"
            << "12:00:01 12:00:02~ 12:00:03~ 12:00:04";
        QTest::newRow("a disagreement is noted and shown as received")
            << "p1 m20=12:00:01 e1000 e2000 m2020=12:00:09 e3000" << "12:00:01 12:00:02~ ! 12:00:09";
        QTest::newRow("no PPS configured: each message draws")
            << "p0 m20=12:00:01 m400=12:00:01 m1020=12:00:02" << "12:00:01 12:00:01 12:00:02";
        QTest::newRow("edges lost for more than 2 s: messages draw, edges take over again")
            << "p1 m20=12:00:01 e1000 m3500=12:00:04 m4500=12:00:05 e5000 m5020=12:00:06 e6000"
            << "12:00:01 12:00:04 12:00:05 12:00:05 12:00:06";
        QTest::newRow("no counting across a pause of the pulse")
            << "p1 m20=12:00:01 e1000 e5000" << "12:00:01 12:00:01";
    }
    void script()
    {
        QFETCH(QString, script);
        QFETCH(QString, draws);
        ClockDisplayRule rule;
        QStringList out;
        QDateTime last;
        bool sinceEdge = false;
        for (const QString &event : script.split(QLatin1Char(' '))) {
            const QChar kind = event.at(0);
            if (kind == QLatin1Char('p')) {
                rule.setPpsConfigured(event.at(1) == QLatin1Char('1'));
                continue;
            }
            const QStringList parts = event.mid(1).split(QLatin1Char('='));
            const qint64 ms = parts.at(0).toLongLong();
            if (kind == QLatin1Char('e')) {
                if (rule.edge(ms, last, sinceEdge))
                    out << shownText(rule);
                sinceEdge = false;
            } else {
                last = QDateTime(QDate(2026, 12, 6), QTime::fromString(parts.at(1), QStringLiteral("hh:mm:ss")), Qt::UTC);
                sinceEdge = true;
                QString note;
                const bool draw = rule.timeMessage(ms, last, &note);
                if (!note.isEmpty())
                    out << QStringLiteral("!");
                if (draw)
                    out << shownText(rule);
            }
        }
        QCOMPARE(out.join(QLatin1Char(' ')), draws);
    }
};

CHRONODE_TEST_MAIN(TestClockDisplayRule)
#include "tst_clockdisplayrule.moc"
