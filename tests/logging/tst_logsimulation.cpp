// The station's logs over simulated days: the simulated receiver and counters drive a station
// second by second on an injected clock (nothing waits), across a UTC midnight and a year
// end, and a station killed with SIGKILL in the middle of a day.

#include "support/TestSupport.h"

#include "app/Station.h"
#include "logging/LogRecorder.h"
#include "core/ReceiverMode.h"
#include "receiver/framing/MotorolaFramer.h"
#include "receiver/framing/StreamFramer.h"
#include "sim/SimulatedCounter.h"
#include "sim/SimulatedReceiver.h"
#include "sim/SimulatedUblox.h"

#include <cmath>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QThread>
#include <cstdio>

namespace {

QByteArray readAll(const QString &name)
{
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Commands of the timed polls go nowhere.
struct NoCommands : ReceiverCommandSink
{
    void sendGpsRxCommand(const QByteArray &) override {}
};

// A station fed by a simulated 12-channel Motorola receiver and counters on ports 1 and 2.
struct SimulatedStation
{
    qint64 ms = 0;
    NoCommands commands;
    Station station;
    SimulatedReceiver receiver;
    MotorolaFramer framer;
    SimulatedCounter counter1 { SimulatedCounterConfig::forPort(1) };
    SimulatedCounter counter2 { SimulatedCounterConfig::forPort(2) };

    explicit SimulatedStation(const QString &dir)
    {
        QSettings s;
        s.setValue(QStringLiteral("LogFiles/GpsLogFileDirectory"), dir);
        s.setValue(QStringLiteral("LogFiles/TicLogFileDirectory"), dir);
        s.setValue(QStringLiteral("LogFiles/GpsLogDataType"), 2);        // PVT
        s.setValue(QStringLiteral("LogFiles/GPSLogEvery"), 11);          // 60 s
        s.setValue(QStringLiteral("LogFiles/TicTimeTagFormat"), 1);      // MJD
        s.setValue(QStringLiteral("LogFiles/TicTimeLogEvery"), 11);      // 60 s
        s.setValue(QStringLiteral("LogFiles/AveragingLogPeriod"), QStringLiteral("3600"));
        station.setClock([this] { return ms; });
        station.setCommandSink(&commands);
        station.readCounterSettings(s);
        station.logs().reload(s);
        station.state().receiverMode = 2;
        station.state().channelCount = 12;
        receiver.setContinuousRate("Ha", 1);
        receiver.setContinuousRate("Hn", 1);
    }
    // One second: the 1PPS edge, the receiver's messages of that second, the counter readings.
    void second(qint64 t)
    {
        ms = t * 1000 + 20;
        station.OnClockTick();
        bool pps = false;
        framer.feed(receiver.secondOutput(t), pps, [this](const QByteArray &m) { station.OnNewGpsText(m); });
        station.OnNewTicText("1 " + counter1.line(t).trimmed());
        station.OnNewTicText("2 " + counter2.line(t).trimmed());
        QCoreApplication::processEvents();   // the settings store writes its changes here
    }
};

qint64 utc(int y, int m, int d, int h, int mi, int s)
{
    return QDateTime(QDate(y, m, d), QTime(h, mi, s), Qt::UTC).toSecsSinceEpoch();
}

// UTC seconds of the MJD time tags at the start of each record line.
QList<qint64> tagSeconds(const QByteArray &file)
{
    QList<qint64> list;
    for (const QByteArray &line : file.split('\n')) {
        if (line.isEmpty() || line.startsWith(';'))
            continue;
        const double mjd = line.left(line.indexOf(',')).toDouble();
        // The tag cuts the day fraction to five digits (0.864 s), never rounds it up.
        list << qint64(std::ceil((mjd - 40587.0) * 86400.0 - 1e-3));
    }
    return list;
}

} // namespace

class TestLogSimulation : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void twoDaysAcrossYearEnd();
    void killedMidDay();
    void satelliteEventsTaggedWhenTheyHappen();
    void ubxBinaryLogAcrossMidnight();
};

void TestLogSimulation::twoDaysAcrossYearEnd()
{
    TestSupport::TemporarySettings settings;
    QTemporaryDir dir;
    const QString d = dir.path() + QLatin1Char('/');
    // Last year's files of the same day numbers.
    for (const char *old : { "VORA_2026_001C.txt", "VORA_2026_001G.csv", "VORA_2026_001T_PORT_01.csv" }) {
        QFile f(d + QLatin1String(old));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("last year\n");
    }
    SimulatedStation sim(dir.path());
    const qint64 start = utc(2026, 12, 31, 0, 0, 30);
    const qint64 end = start + 48 * 3600 + 60;
    sim.second(start - 1);   // the first ticks show the receiver's date, not the PC's
    sim.second(start);
    QCOMPARE(sim.station.logs().counters().open(0), LogResult::Ok);
    QCOMPARE(sim.station.logs().gps().open(0), LogResult::Ok);
    for (qint64 t = start + 1; t <= end; ++t)
        sim.second(t);
    sim.station.logs().shutdown();

    for (const char *old : { "VORA_2026_001C.txt", "VORA_2026_001G.csv", "VORA_2026_001T_PORT_01.csv" })
        QCOMPARE(readAll(d + QLatin1String(old)), QByteArray("last year\n"));

    // Each day a set (configuration log, time and average files of the two ports) and a GPS
    // log. The records of the midnight second open the new day's files, so the last day, a
    // minute long, already has the average of 00:00:00.
    const QStringList days { "2026_365", "2027_001", "2027_002" };
    QStringList expected;
    for (const QString &day : days) {
        expected << "VORA_" + day + "C.txt" << "VORA_" + day + "G.csv";
        for (int port : { 1, 2 })
            expected << QStringLiteral("VORA_%1T_PORT_0%2.csv").arg(day).arg(port)
                     << QStringLiteral("VORA_%1A_PORT_0%2.csv").arg(day).arg(port);
    }
    QStringList found = QDir(dir.path()).entryList({ QStringLiteral("VORA_2026_365*"), QStringLiteral("VORA_2027*") });
    expected.sort();
    found.sort();
    QCOMPARE(found, expected);

    for (int port : { 1, 2 }) {
        // Every minute's record exactly once, in order, across the day files.
        QList<qint64> tags;
        for (const QString &day : days) {
            for (const char *kind : { "T", "A" }) {
                // Every record in the file of its own UTC day, 00:00:00 included.
                const QString name = QStringLiteral("VORA_%1%2_PORT_0%3.csv").arg(day, QLatin1String(kind)).arg(port);
                const QList<qint64> own = tagSeconds(readAll(d + name));
                const QDate date = QDate(day.left(4).toInt(), 1, 1).addDays(day.right(3).toInt() - 1);
                for (qint64 t : own)
                    QVERIFY2(QDateTime::fromSecsSinceEpoch(t, Qt::UTC).date() == date,
                             qPrintable(name + QLatin1Char(' ') + QString::number(t)));
            }
            tags += tagSeconds(readAll(d + QStringLiteral("VORA_%1T_PORT_0%2.csv").arg(day).arg(port)));
        }
        QCOMPARE(tags.size(), 48 * 60 + 1);
        for (int i = 0; i < tags.size(); ++i)
            QCOMPARE(tags[i], start + 30 + 60 * i);
        QList<qint64> averages;
        for (const QString &day : days)
            averages += tagSeconds(readAll(d + QStringLiteral("VORA_%1A_PORT_0%2.csv").arg(day).arg(port)));
        QCOMPARE(averages.size(), 48);
        for (int i = 1; i < averages.size(); ++i)
            QCOMPARE(averages[i] - averages[i - 1], 3600);
    }

    for (const QString &day : days) {
        const QByteArray config = readAll(d + "VORA_" + day + "C.txt");
        QCOMPARE(config.count("; Created TIC Data Logs "), 1);
        QVERIFY(config.endsWith(" UTC\n; \n"));
        QVERIFY2(config.count("; Closed TIC Data Logs ") == 1, config.constData());
        const QByteArray gps = readAll(d + "VORA_" + day + "G.csv");
        QCOMPARE(gps.count("; Closed GPS Data Log "), 1);
        QVERIFY(gps.endsWith(" UTC\n; \n"));
        // The PVT rows have the columns of their header.
        const QList<QByteArray> lines = gps.split('\n');
        QVERIFY(lines.at(4).startsWith("Date,Time,lat(mas)"));
        int rows = 0;
        for (const QByteArray &line : lines) {
            if (!line.isEmpty() && !line.startsWith(';')) {
                QCOMPARE(line.count(','), lines.at(4).count(','));
                ++rows;
            }
        }
        QVERIFY2(rows > (day == days.last() ? 0 : 600), qPrintable(day));
    }
    QVERIFY(readAll(d + "VORA_2027_001C.txt").startsWith("; Created TIC Data Logs Fri Jan 01 00:00:0"));
}

void TestLogSimulation::killedMidDay()
{
    TestSupport::TemporarySettings settings;
    QTemporaryDir dir;
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("CHRONODE_LOG_CHILD"), dir.path());
    env.insert(QStringLiteral("HOME"), dir.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.path() + QStringLiteral("/config"));
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(child.waitForStarted(10000));
    QVERIFY(child.waitForReadyRead(120000));
    QCOMPARE(child.readAll(), QByteArray("ready\n"));
    child.kill();   // SIGKILL
    QVERIFY(child.waitForFinished(10000));

    // Seconds 12:00:00 ... 12:02:29 were logged; the minute flush at 12:02:00 saved the rest.
    const QString time1 = dir.path() + QStringLiteral("/VORA_2026_160T_PORT_01.csv");
    QList<qint64> tags = tagSeconds(readAll(time1));
    QVERIFY2(tags.size() >= 120 && tags.size() <= 150, qPrintable(QString::number(tags.size())));
    for (int i = 0; i < tags.size(); ++i)
        QCOMPARE(tags[i], utc(2026, 6, 9, 12, 0, 0) + i);

    // A restart appends to the day's files behind every line already there.
    {
        QSettings s(dir.path() + QStringLiteral("/config/KTW Systems/Chronode.conf"), QSettings::NativeFormat);
        QVERIFY(s.value(QStringLiteral("LogFiles/TicLogOpen")).toBool());
        QSettings mine;
        for (const QString &key : s.allKeys())
            mine.setValue(key, s.value(key));
    }
    SimulatedStation again(dir.path());
    again.second(utc(2026, 6, 9, 12, 4, 59));
    again.station.logs().resumeAtStart();
    QVERIFY(again.station.logs().counters().isOpen());
    again.second(utc(2026, 6, 9, 12, 5, 0));
    again.station.logs().shutdown();
    const QList<qint64> before = tags;
    tags = tagSeconds(readAll(time1));
    QCOMPARE(tags.mid(0, before.size()), before);
    QCOMPARE(tags.mid(before.size()), QList<qint64> { utc(2026, 6, 9, 12, 5, 0) });
    QVERIFY(readAll(dir.path() + QStringLiteral("/VORA_2026_160C.txt")).contains("; Opened existing TIC Data Logs"));
}

// The killed station: logs a day's seconds from noon, every second, says "ready" after the
// 12:02:00 flush and half a minute more, then waits to be killed (at most a minute).
static int runKilledStation(const QString &dir)
{
    QCoreApplication::setOrganizationName(QStringLiteral("KTW Systems"));
    QCoreApplication::setApplicationName(QStringLiteral("Chronode"));
    SimulatedStation sim(dir);
    QSettings().setValue(QStringLiteral("LogFiles/TicTimeLogEvery"), 0);   // every second
    {
        QSettings s;
        sim.station.readCounterSettings(s);
        sim.station.logs().reload(s);
    }
    const qint64 noon = utc(2026, 6, 9, 12, 0, 0);
    sim.second(noon - 1);
    if (sim.station.logs().counters().open(0) != LogResult::Ok)
        return 2;
    for (qint64 t = noon; t < noon + 150; ++t)
        sim.second(t);
    std::fputs("ready\n", stdout);
    std::fflush(stdout);
    QThread::sleep(60);
    return 3;
}

// Satellites entering and leaving the fix reach the configuration log (buffered while the set is
// closed), each line tagged with the second of the tick that saw the change.
void TestLogSimulation::satelliteEventsTaggedWhenTheyHappen()
{
    TestSupport::TemporarySettings settings;
    QSettings s;
    s.setValue(QStringLiteral("LogFiles/TicTimeTagFormat"), 1);   // MJD
    s.setValue(QStringLiteral("LogFiles/TicTimeCfgLogSaveSats"), 1);
    qint64 ms = 0;
    Station station;
    station.setClock([&ms] { return ms; });
    station.readCounterSettings(s);
    station.logs().reload(s);
    const qint64 t0 = utc(2026, 12, 6, 4, 0, 0);
    // used: 1 in the fix, 0 not, -1 not reported (then tracking decides)
    const QList<QList<std::array<int, 3>>> ticks {
        { { 5, 1, 1 }, { 9, -1, 1 }, { 17, 0, 1 } },
        { { 5, 1, 1 }, { 9, -1, 1 }, { 17, 0, 1 } },
        { { 5, 0, 1 }, { 9, -1, 1 }, { 17, 1, 1 }, { 30, -1, 0 } },
        { { 9, -1, 0 }, { 17, 1, 1 } },
    };
    for (int i = 0; i < ticks.size(); ++i) {
        station.state().clearSatellites();
        for (const auto &r : ticks[i])
            station.state().satellites[r[0]] = { r[0], 0, 0, 0, uint8_t(r[2]), 0, 0, 0, int8_t(r[1]) };
        ms = (t0 + i) * 1000 + 300;
        station.OnClockTick();
    }
    ms = (t0 + 7) * 1000 + 900;
    emit station.receiverSettingsApplied(2, false);
    QStringList lines;
    for (const QString &line : station.logs().counters().configBuffer().split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const qsizetype blank = line.indexOf(QLatin1Char(' '));
        if (line.contains(QLatin1String("Satellite")) || line.contains(QLatin1String("Receiver")))
            lines << QString::number(tagSeconds(line.left(blank).toLatin1() + ",").value(0) - t0) + line.mid(blank);
    }
    QCOMPARE(lines, QStringList({ QStringLiteral("0 Satellite 5 entered the position fix"),
                                  QStringLiteral("0 Satellite 9 entered the position fix"),
                                  QStringLiteral("2 Satellite 17 entered the position fix"),
                                  QStringLiteral("2 Satellite 5 left the position fix"),
                                  QStringLiteral("3 Satellite 9 left the position fix"),
                                  QStringLiteral("7 Receiver settings sent: 0-D (position hold) navigation, UTC time") }));
}

// A u-blox station's Binary log across a UTC midnight: each NAV-TIMEUTC record lies in the file
// of the day it names, the one of 00:00:00 included.
void TestLogSimulation::ubxBinaryLogAcrossMidnight()
{
    TestSupport::TemporarySettings settings;
    QTemporaryDir dir;
    QSettings s;
    s.setValue(QStringLiteral("LogFiles/GpsLogFileDirectory"), dir.path());
    s.setValue(QStringLiteral("LogFiles/GpsLogDataType"), 1);   // Binary
    qint64 ms = 0;
    Station station;
    station.setClock([&ms] { return ms; });
    station.logs().reload(s);
    station.state().receiverMode = ReceiverMode::UbloxUbx;
    SimulatedReceiver rx(SimulatedReceiverConfig::forModel(QStringLiteral("LEA-6T")));
    rx.setLinkRate(rx.dataRate());
    rx.ublox()->configureForTiming();
    StreamFramer framer(ReceiverMode::UbloxUbx);
    const qint64 start = utc(2026, 12, 31, 23, 59, 55);
    for (qint64 t = start; t < start + 10; ++t) {
        ms = t * 1000 + 20;
        station.OnClockTick();
        framer.feed(rx.secondOutput(t), [&](const QByteArray &m) { station.OnNewGpsText(m); });
        if (t == start)
            QCOMPARE(station.logs().gps().open(0), LogResult::Ok);
        QCoreApplication::processEvents();
    }
    station.logs().shutdown();

    const QStringList files = QDir(dir.path()).entryList(QDir::Files);
    QCOMPARE(files.size(), 2);
    int records = 0;
    for (const QString &name : files) {
        const QRegularExpressionMatch day = QRegularExpression(QStringLiteral("_(\\d{4})_(\\d{3})")).match(name);
        QVERIFY(day.hasMatch());
        const QDate date = QDate(day.captured(1).toInt(), 1, 1).addDays(day.captured(2).toInt() - 1);
        const QByteArray log = readAll(dir.filePath(name));
        for (qsizetype at = log.indexOf("\xB5\x62\x01\x21"); at >= 0; at = log.indexOf("\xB5\x62\x01\x21", at + 1)) {
            const QByteArray p = log.mid(at + 6, 20);
            QCOMPARE(p.size(), 20);
            const QDate named(uint8_t(p[12]) | uint8_t(p[13]) << 8, uint8_t(p[14]), uint8_t(p[15]));
            QVERIFY2(named == date, qPrintable(name + QLatin1Char(' ') + named.toString(Qt::ISODate)));
            ++records;
        }
    }
    QCOMPARE(records, 9);   // the first second's went by before the log was opened
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString child = qEnvironmentVariable("CHRONODE_LOG_CHILD");
    if (!child.isEmpty())
        return runKilledStation(child);
    return TestSupport::runTests<TestLogSimulation>(argc, argv);
}

#include "tst_logsimulation.moc"
