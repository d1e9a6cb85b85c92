// The real program, run offscreen for some seconds on the simulated receiver and on a replayed
// capture: what its window shows is read back through --dump-display and checked against what
// the simulator meant and what the capture is known to hold.

#include "support/TestSupport.h"

#include "sim/SimulatedReceiver.h"

#include <QDateTime>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include <map>
#include <memory>

namespace {

const QString kProgram = QStringLiteral(CHRONODE_BINARY_DIR "/chronode");

// One run of the program in a home folder of its own.
struct Run
{
    std::unique_ptr<QTemporaryDir> home;
    std::unique_ptr<QProcess> process;
    QString dumpFile;
    QDateTime finishedUtc;   // when the program wrote its last snapshot
    QJsonArray snapshots;
    QString failure;   // why the run gave nothing to check

    // noDisplay: started as on a machine without a screen and without a platform chosen; the
    // program is to find its way offscreen by itself.
    // storedSettings: the settings file the program finds ("KTW Systems/Chronode.conf").
    void start(const QStringList &arguments, double quitAfterSeconds, bool noDisplay = false,
               const QByteArray &storedSettings = QByteArray())
    {
        home = std::make_unique<QTemporaryDir>();
        QDir(home->path()).mkpath(QStringLiteral("config/KTW Systems"));
        if (!storedSettings.isEmpty()) {
            QFile conf(home->path() + QStringLiteral("/config/KTW Systems/Chronode.conf"));
            if (conf.open(QIODevice::WriteOnly))
                conf.write(storedSettings);
        }
        QDir(home->path()).mkpath(QStringLiteral("runtime"));
        QFile::setPermissions(home->path() + QStringLiteral("/runtime"),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        dumpFile = home->path() + QStringLiteral("/display.json");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home->path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home->path() + QStringLiteral("/config"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home->path() + QStringLiteral("/runtime"));
        if (noDisplay) {
            env.remove(QStringLiteral("QT_QPA_PLATFORM"));
            env.remove(QStringLiteral("DISPLAY"));
            env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        } else {
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        }
        env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("qt.multimedia*=false"));
        process = std::make_unique<QProcess>();
        process->setProcessEnvironment(env);
        process->setProcessChannelMode(QProcess::MergedChannels);
        process->start(kProgram, arguments + QStringList { QStringLiteral("--quit-after"),
                                                           QString::number(quitAfterSeconds),
                                                           QStringLiteral("--dump-display"), dumpFile });
    }

    void finish(int timeoutMs)
    {
        if (!process->waitForFinished(timeoutMs)) {
            process->kill();
            process->waitForFinished(2000);
            failure = QStringLiteral("the program did not quit on time");
            return;
        }
        if (process->exitStatus() != QProcess::NormalExit || process->exitCode() != 0) {
            failure = QStringLiteral("exit code %1: %2")
                          .arg(process->exitCode())
                          .arg(QString::fromLocal8Bit(process->readAll().right(2000)));
            return;
        }
        // The test itself may see the end late on a busy machine; the file says when it was written.
        finishedUtc = QFileInfo(dumpFile).lastModified().toUTC();
        QFile f(dumpFile);
        if (!f.open(QIODevice::ReadOnly)) {
            failure = QStringLiteral("no display dump");
            return;
        }
        snapshots = QJsonDocument::fromJson(f.readAll()).object().value(QStringLiteral("snapshots")).toArray();
        if (snapshots.isEmpty())
            failure = QStringLiteral("the display dump holds no snapshot");
    }
};

QString label(const QJsonObject &snapshot, const char *name)
{
    return snapshot.value(QStringLiteral("labels")).toObject().value(QLatin1String(name)).toString();
}

QList<QStringList> table(const QJsonObject &snapshot, const char *name)
{
    QList<QStringList> rows;
    for (const QJsonValue &row : snapshot.value(QStringLiteral("tables")).toObject().value(QLatin1String(name)).toArray()) {
        QStringList cells;
        for (const QJsonValue &cell : row.toArray())
            cells.append(cell.toString());
        rows.append(cells);
    }
    return rows;
}

// The UTC second the clock panel shows: the clock label ("HH:mm.ss.mmm") on the day of the
// time-information label (year from its date, day from "UTC Day #n"). -1 when not readable.
qint64 shownUtcSecond(const QJsonObject &snapshot)
{
    static const QRegularExpression clock(QStringLiteral("^(\\d\\d):(\\d\\d)\\.(\\d\\d)\\.\\d{3}$"));
    static const QRegularExpression year(QStringLiteral("\\d\\d-\\S+-(\\d{4})"));
    static const QRegularExpression day(QStringLiteral("UTC Day #(\\d+)"));
    const auto c = clock.match(label(snapshot, "ClockLabel"));
    const QString info = label(snapshot, "TimeInfoLabel");
    const auto y = year.match(info);
    const auto d = day.match(info);
    if (!c.hasMatch() || !y.hasMatch() || !d.hasMatch())
        return -1;
    const QDate date = QDate(y.captured(1).toInt(), 1, 1).addDays(d.captured(1).toInt() - 1);
    const QTime time(c.captured(1).toInt(), c.captured(2).toInt(), c.captured(3).toInt());
    if (!date.isValid() || !time.isValid())
        return -1;
    return QDateTime(date, time, Qt::UTC).toSecsSinceEpoch();
}

// Latitude and longitude of a position-table row in the dd.ddd format ("47.36639167°").
bool rowPosition(const QJsonObject &snapshot, int row, double &lat, double &lon)
{
    const QList<QStringList> rows = table(snapshot, "PositionTable");
    if (rows.size() <= row || rows[row].size() < 3)
        return false;
    bool okLat = false, okLon = false;
    QString latText = rows[row][1], lonText = rows[row][2];
    lat = latText.remove(QChar(0x00B0)).toDouble(&okLat);
    lon = lonText.remove(QChar(0x00B0)).toDouble(&okLon);
    return okLat && okLon && !(lat == 0.0 && lon == 0.0);
}

struct ShownSatellite
{
    int prn = 0;
    int elevation = 0;
    int azimuth = 0;
    int cNo = 0;
};

// The satellite rows (below the header row) that show a PRN.
QList<ShownSatellite> shownSatellites(const QJsonObject &snapshot)
{
    static const QRegularExpression leadingNumber(QStringLiteral("^\\s*(-?\\d+)"));
    QList<ShownSatellite> out;
    const QList<QStringList> rows = table(snapshot, "SatelliteTable");
    for (int r = 1; r < rows.size(); ++r) {
        if (rows[r].size() < 4 || rows[r][0].trimmed().isEmpty())
            continue;
        ShownSatellite s;
        s.prn = rows[r][0].trimmed().toInt();
        s.elevation = leadingNumber.match(rows[r][1]).captured(1).toInt();
        s.azimuth = leadingNumber.match(rows[r][2]).captured(1).toInt();
        s.cNo = leadingNumber.match(rows[r][3]).captured(1).toInt();
        out.append(s);
    }
    return out;
}

// The clock ticks: over the last `count` snapshots the shown time never goes back and advances
// as much as the program's own monotonic clock between those snapshots (within 2 s for the
// whole-second display and the receiver's reporting delay). Snapshots come late and unevenly on a
// loaded machine, so the shown span is held against the time that really passed between them,
// not against the number of snapshots.
void checkClockTicks(const QJsonArray &snapshots, int count)
{
    QVERIFY2(snapshots.size() >= count, "too few snapshots");
    QList<qint64> seconds;
    for (qsizetype i = snapshots.size() - count; i < snapshots.size(); ++i) {
        const qint64 s = shownUtcSecond(snapshots[i].toObject());
        QVERIFY2(s >= 0, qPrintable(label(snapshots[i].toObject(), "ClockLabel")));
        seconds.append(s);
    }
    for (int i = 1; i < seconds.size(); ++i)
        QVERIFY2(seconds[i] >= seconds[i - 1], "the shown time went back");
    const auto elapsedMs = [&](qsizetype i) { return snapshots[i].toObject().value(QStringLiteral("elapsedMs")).toDouble(); };
    const double passed = (elapsedMs(snapshots.size() - 1) - elapsedMs(snapshots.size() - count)) / 1000.0;
    // Snapshots are at least about a second apart, so a clock that stands still cannot pass.
    QVERIFY2(passed >= count - 2, qPrintable(QStringLiteral("snapshots only %1 s apart").arg(passed)));
    const qint64 span = seconds.last() - seconds.first();
    QVERIFY2(qAbs(double(span) - passed) <= 2.0,
             qPrintable(QStringLiteral("%1 s shown over %2 snapshots %3 s apart").arg(span).arg(count).arg(passed, 0, 'f', 1)));
}

} // namespace

// Simulated models and how long each runs: detection of a 12-channel receiver takes some 10 s,
// of an 8-channel one (probed for the 12-channel messages first) 15 to 20 s; then at least
// five seconds of steady output are shown.
static const std::map<QString, double> kSimSeconds = {
    { QStringLiteral("M12+"), 16 },
    { QStringLiteral("UT+"), 22 },
    { QStringLiteral("VP"), 29 },
};
static constexpr double kBrokenPortSeconds = 3;
// Long enough for the recordings (at most 12 s) to play to their end.
static constexpr double kReplaySeconds = 16;
static const QStringList kCaptures = { QStringLiteral("oncore-binary.log"), QStringLiteral("garmin15x.log") };

class TestProgram : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        if (!QFileInfo(kProgram).isExecutable())
            QFAIL(qPrintable(QStringLiteral("%1 is not built").arg(kProgram)));
        // The default model runs as a fresh install starts: no port stored, no receiver option,
        // and no screen.
        for (const auto &[model, seconds] : kSimSeconds) {
            const bool asInstalled = model == SimulatedReceiverConfig::defaultModelName();
            const QStringList arguments = asInstalled ? QStringList() : QStringList { QStringLiteral("--sim-model"), model };
            m_simRuns[model].start(arguments, seconds, asInstalled);
        }
        for (const QString &file : kCaptures) {
            const QString capture = TestSupport::capturesDir() + QLatin1Char('/') + file;
            // No --mode: the program takes the mode the recording calls for.
            if (!TestSupport::capturesDir().isEmpty() && QFileInfo::exists(capture))
                m_replays[file].start({ QStringLiteral("--replay"), capture }, kReplaySeconds);
        }
        // A stored port that does not exist: its error box opens while the window is being built.
        m_brokenPort.start({}, kBrokenPortSeconds, false,
                           QByteArrayLiteral("[GpsPortDialog]\nGPS%20Serial%20Port=/dev/chronode-no-such-port\n"));
        m_brokenPort.finish(int(kBrokenPortSeconds * 1000) + 15000);
        for (auto &[model, run] : m_simRuns)
            run.finish(int(kSimSeconds.at(model) * 1000) + 30000);
        for (auto &[file, run] : m_replays)
            run.finish(int(kReplaySeconds * 1000) + 30000);
    }

    void simulatedStation_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<int>("channels");
        for (const auto &[model, seconds] : kSimSeconds) {
            const SimulatedReceiverConfig config = SimulatedReceiverConfig::forModel(model);
            QTest::newRow(qPrintable(model)) << model << config.channels;
        }
    }
    void simulatedStation()
    {
        QFETCH(QString, model);
        QFETCH(int, channels);
        const Run &run = m_simRuns.at(model);
        QVERIFY2(run.failure.isEmpty(), qPrintable(run.failure));
        const QJsonObject last = run.snapshots.last().toObject();

        // Detection found the simulated model, with its channel count.
        const QString receiver = label(last, "ReceiverLabel");
        QVERIFY2(receiver.contains(model + QStringLiteral(", ")) && receiver.contains(QStringLiteral("%1 ch").arg(channels)),
                 qPrintable(receiver));
        QCOMPARE(last.value(QStringLiteral("status")).toString(), QStringLiteral("For Help, press F1"));
        // Invented satellites never pass for real ones.
        QCOMPARE(last.value(QStringLiteral("title")).toString(), QStringLiteral("Chronode (simulated receiver)"));
        QVERIFY2(receiver.endsWith(QStringLiteral(" (simulated receiver)")), qPrintable(receiver));

        // A ticking UTC clock on the computer's time.
        checkClockTicks(run.snapshots, 5);
        const qint64 shown = shownUtcSecond(last);
        const qint64 lag = run.finishedUtc.toSecsSinceEpoch() - shown;
        QVERIFY2(lag >= -2 && lag <= 4, qPrintable(QStringLiteral("clock %1 s behind the computer").arg(lag)));

        // A position within seconds of the start, and at the end the station the simulator has.
        const SimulatedReceiverConfig config = SimulatedReceiverConfig::forModel(model);
        qint64 firstPositionMs = -1;
        for (const QJsonValue &v : run.snapshots) {
            double lat = 0, lon = 0;
            if (rowPosition(v.toObject(), 1, lat, lon)) {
                firstPositionMs = qint64(v.toObject().value(QStringLiteral("elapsedMs")).toDouble());
                break;
            }
        }
        QVERIFY2(firstPositionMs >= 0 && firstPositionMs <= 8000,
                 qPrintable(QStringLiteral("first position after %1 ms").arg(firstPositionMs)));
        double lat = 0, lon = 0;
        QVERIFY(rowPosition(last, 1, lat, lon));
        QVERIFY2(qAbs(lat - config.latitude) < 1e-4 && qAbs(lon - config.longitude) < 1e-4,
                 qPrintable(QStringLiteral("%1 %2").arg(lat, 0, 'f', 8).arg(lon, 0, 'f', 8)));
        QVERIFY2(rowPosition(last, 2, lat, lon), "no average");
        QVERIFY(qAbs(lat - config.latitude) < 1e-4 && qAbs(lon - config.longitude) < 1e-4);
        // Its grid locator (47.366389 N 8.548611 E, metres of noise stay inside the square).
        QCOMPARE(table(last, "PositionTable").value(0).value(0), QStringLiteral("JN47gi.57"));

        // Satellites in the table are the simulator's, where it put them at about the shown time.
        const QList<ShownSatellite> sats = shownSatellites(last);
        QVERIFY2(sats.size() >= 4 && sats.size() <= channels, qPrintable(QString::number(sats.size())));
        const SimulatedReceiver truth(config);
        QSet<int> prns;
        for (const ShownSatellite &s : sats) {
            QVERIFY2(!prns.contains(s.prn), "a satellite shown twice");
            prns.insert(s.prn);
            bool matched = false;
            for (qint64 t = shown - 2; t <= shown + 2 && !matched; ++t) {
                const auto epoch = truth.epochAt(t);   // the satellite pointer points into it
                const SimulatedSatellite *meant = epoch.satellite(s.prn);
                matched = meant && qAbs(meant->elevation - s.elevation) <= 1
                          && qMin(qAbs(meant->azimuth - s.azimuth), 360 - qAbs(meant->azimuth - s.azimuth)) <= 1
                          && qAbs(meant->cNo - s.cNo) <= 2;
            }
            QVERIFY2(matched, qPrintable(QStringLiteral("PRN %1 el %2 az %3 C/No %4 is not in the simulated sky")
                                             .arg(s.prn).arg(s.elevation).arg(s.azimuth).arg(s.cNo)));
        }
        QVERIFY2(label(last, "VisibleLabel").endsWith(QStringLiteral(" Visible")), qPrintable(label(last, "VisibleLabel")));
    }

    // Nobody is there to answer the port's error box; the run still ends on time and leaves what
    // the window showed.
    void unattendedRunWithBrokenPort()
    {
        QVERIFY2(m_brokenPort.failure.isEmpty(), qPrintable(m_brokenPort.failure));
        const QJsonObject last = m_brokenPort.snapshots.last().toObject();
        QCOMPARE(last.value(QStringLiteral("title")).toString(), QStringLiteral("Chronode"));
        QCOMPARE(label(last, "ClockLabel"), QStringLiteral("--:--.--.---"));
        QVERIFY(shownSatellites(last).isEmpty());
    }

    // What each recording is known to hold, from its header notes and its own sentences: the
    // receiver kind the mode implies, first and last UTC second, where it was, the satellites it
    // reports and those used in its fixes.
    void replayedCapture_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("receiver");
        QTest::addColumn<QDateTime>("first");
        QTest::addColumn<QDateTime>("last");
        QTest::addColumn<double>("lat");
        QTest::addColumn<double>("lon");
        QTest::addColumn<double>("tolerance");
        QTest::addColumn<QString>("locator");
        QTest::addColumn<QList<int>>("reported");
        QTest::addColumn<QList<int>>("used");
        QTest::addColumn<double>("msl");          // gpsd's altMSL of the same bytes; NaN: not checked
        QTest::addColumn<QString>("antenna");

        // Motorola binary, receive only. The receiver reported 2000-08-25 (one GPS week roll-over
        // back) from 04:50:00 on, twelve seconds; recorded at Goeteborg, 57.7 N 12.0 E.
        // Not identified: described by its @@Ea messages (eight channels, MSL from the geoid, the
        // antenna sense beside it).
        QTest::newRow("oncore-binary") << QStringLiteral("oncore-binary.log") << QStringLiteral("Rx Only, Bin, 8 ch")
                                       << QDateTime(QDate(2000, 8, 25), QTime(4, 50, 0), Qt::UTC)
                                       << QDateTime(QDate(2000, 8, 25), QTime(4, 50, 11), Qt::UTC) << 57.7 << 12.0
                                       << 0.05 << QStringLiteral("JO67ar.21")
                                       << QList<int> { 2, 5, 7, 8, 9, 13, 15, 16, 18, 21, 27, 28, 30 }
                                       << QList<int> { 7, 9, 21, 27 } << 49.4 << QStringLiteral("Ant OK");
        // Generic NMEA: RMC from 11:32:58 to 11:33:04 on 2022-10-18, moving at some 5 knots
        // around 3238.91 N 10822.45 W; GSA lists eight satellites.
        QTest::newRow("garmin15x") << QStringLiteral("garmin15x.log") << QStringLiteral("Generic NMEA GPS Receiver")
                                   << QDateTime(QDate(2022, 10, 18), QTime(11, 32, 58), Qt::UTC)
                                   << QDateTime(QDate(2022, 10, 18), QTime(11, 33, 4), Qt::UTC) << 32.64855
                                   << -108.37418 << 0.0005 << QString()
                                   << QList<int> { 2, 5, 6, 11, 12, 13, 15, 18, 20, 25, 29 }
                                   << QList<int> { 2, 5, 11, 12, 18, 20, 25, 29 } << qQNaN() << QString();
    }
    void replayedCapture()
    {
        QFETCH(QString, file);
        QFETCH(QString, receiver);
        QFETCH(QDateTime, first);
        QFETCH(QDateTime, last);
        QFETCH(double, lat);
        QFETCH(double, lon);
        QFETCH(double, tolerance);
        QFETCH(QString, locator);
        QFETCH(QList<int>, reported);
        QFETCH(QList<int>, used);
        QFETCH(double, msl);
        QFETCH(QString, antenna);
        if (!m_replays.count(file))
            QSKIP("capture not present");
        const Run &run = m_replays.at(file);
        QVERIFY2(run.failure.isEmpty(), qPrintable(run.failure));
        // After the recording's last second the station says it has no data: the end is the last
        // snapshot before that.
        QJsonObject end = run.snapshots.last().toObject();
        for (qsizetype i = run.snapshots.size() - 1; i >= 0 && label(end, "FixLabel").startsWith(QStringLiteral("No receiver")); --i)
            end = run.snapshots[i].toObject();

        // Without --mode the recording is framed by the family it holds.
        QVERIFY2(label(end, "ReceiverLabel").contains(receiver), qPrintable(label(end, "ReceiverLabel")));

        // The recording's own time, second by second, to (about) its last second.
        QList<qint64> shown;
        for (const QJsonValue &v : run.snapshots) {
            const qint64 s = shownUtcSecond(v.toObject());
            if (s >= first.toSecsSinceEpoch() && s <= last.toSecsSinceEpoch() && (shown.isEmpty() || s != shown.last()))
                shown.append(s);
        }
        const qint64 span = last.toSecsSinceEpoch() - first.toSecsSinceEpoch();
        QVERIFY2(shown.size() >= span - 2, qPrintable(QStringLiteral("%1 recorded seconds shown").arg(shown.size())));
        for (int i = 1; i < shown.size(); ++i)
            QVERIFY2(shown[i] - shown[i - 1] >= 1 && shown[i] - shown[i - 1] <= 2, "the shown time skipped or went back");
        QVERIFY(shown.first() <= first.toSecsSinceEpoch() + 1);
        QVERIFY(shownUtcSecond(end) >= last.toSecsSinceEpoch() - 1 && shownUtcSecond(end) <= last.toSecsSinceEpoch());

        // Where it was recorded.
        double shownLat = 0, shownLon = 0;
        QVERIFY(rowPosition(end, 1, shownLat, shownLon));
        QVERIFY2(qAbs(shownLat - lat) < tolerance && qAbs(shownLon - lon) < tolerance,
                 qPrintable(QStringLiteral("%1 %2").arg(shownLat, 0, 'f', 8).arg(shownLon, 0, 'f', 8)));
        if (!locator.isEmpty())
            QCOMPARE(table(end, "PositionTable").value(0).value(0), locator);
        if (!qIsNaN(msl)) {
            // The coarse geoid table agrees with gpsd's within a few metres.
            const QString cell = table(end, "PositionTable").value(1).value(4);
            QVERIFY2(qAbs(QString(cell).remove(QLatin1Char('m')).toDouble() - msl) < 5.0, qPrintable(cell));
        }
        if (!antenna.isEmpty())
            QCOMPARE(label(end, "AntennaLabel"), antenna);

        // The satellites it reports; those used in its fixes are all shown.
        QSet<int> shownPrns;
        for (const ShownSatellite &s : shownSatellites(end)) {
            QVERIFY2(reported.contains(s.prn), qPrintable(QString::number(s.prn)));
            QVERIFY(s.elevation >= 0 && s.elevation <= 90);
            QVERIFY(s.azimuth >= 0 && s.azimuth < 360);
            shownPrns.insert(s.prn);
        }
        for (int prn : used)
            QVERIFY2(shownPrns.contains(prn), qPrintable(QString::number(prn)));
    }

    void badArguments_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown mode") << QStringList { QStringLiteral("--mode"), QStringLiteral("12") } << 2
                                      << QStringLiteral("unknown receiver mode \"12\"");
        QTest::newRow("unknown mode name") << QStringList { QStringLiteral("--mode"), QStringLiteral("Garmin") } << 2
                                           << QStringLiteral("unknown receiver mode \"Garmin\"");
        QTest::newRow("unknown simulated model")
            << QStringList { QStringLiteral("--sim-model"), QStringLiteral("M13") } << 2
            << QStringLiteral("unknown simulated receiver model \"M13\"; known models: M12+, UT+, VP");
        QTest::newRow("missing replay file")
            << QStringList { QStringLiteral("--replay"), QStringLiteral("/nonexistent/capture.log") } << 2
            << QStringLiteral("cannot read \"/nonexistent/capture.log\"");
        QTest::newRow("quit-after not a number") << QStringList { QStringLiteral("--quit-after"), QStringLiteral("soon") }
                                                 << 2 << QStringLiteral("--quit-after needs a number of seconds");
        QTest::newRow("quit-after negative") << QStringList { QStringLiteral("--quit-after"), QStringLiteral("-1") } << 2
                                             << QStringLiteral("--quit-after needs a number of seconds");
        QTest::newRow("speed below 1") << QStringList { QStringLiteral("--speed"), QStringLiteral("0.5") } << 2
                                       << QStringLiteral("--speed needs a factor from 1 to 10000, not \"0.5\"");
        QTest::newRow("speed above 10000") << QStringList { QStringLiteral("--speed"), QStringLiteral("10001") } << 2
                                           << QStringLiteral("--speed needs a factor from 1 to 10000, not \"10001\"");
        QTest::newRow("dump file cannot be written")
            << QStringList { QStringLiteral("--quit-after"), QStringLiteral("0"), QStringLiteral("--dump-display"),
                             QStringLiteral("/nonexistent/display.json") }
            << 1 << QString();
    }
    void badArguments()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        QTemporaryDir home;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("qt.multimedia*=false"));
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(kProgram, arguments);
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), exitCode);
        if (!message.isEmpty())
            QVERIFY2(QString::fromLocal8Bit(process.readAllStandardError()).contains(message),
                     qPrintable(message));
    }

private:
    // The runs go on side by side while the first test waits for them.
    std::map<QString, Run> m_simRuns;
    std::map<QString, Run> m_replays;   // by capture file; none when the captures are absent
    Run m_brokenPort;
};

QTEST_GUILESS_MAIN(TestProgram)
#include "tst_program.moc"
