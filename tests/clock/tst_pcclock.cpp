// The PC clock step against an in-memory clock, the chrony sample bytes, the settings repair,
// the missing-capability path in a child without CAP_SYS_TIME, and the feed read by a real
// chronyd (never allowed to touch this machine's clock).

#include "support/TestSupport.h"

#include "app/Station.h"
#include "app/StationPcClock.h"
#include "averaging/AveragingEngine.h"
#include "clock/ChronySockFeed.h"
#include "clock/KernelClockSetter.h"
#include "clock/PcClockSync.h"
#include "core/ReceiverState.h"
#include "receiver/link/GpsSerialPortThread.h"
#include "receiver/link/ReceiverCommandChannel.h"
#include "receiver/setup/ReceiverDetection.h"
#include "sim/SimulatedReceiverTransport.h"
#include "transport/GpsPortSettings.h"

#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimeZone>
#include <unistd.h>
#include <QSettings>
#include <QTest>

namespace {

struct RecordingLog : PcClockLogLines
{
    bool open = true;
    QStringList lines;
    bool writeNow(const ReceiverState &s) override { return s.receiverUtcDateTime.second() % 10 == 0; }
    bool nmeaLogOpen() const override { return open; }
    void writeNmeaLine(const QString &line) override { lines << line; }
};

// A synchronisation on a fake clock whose true time is the receiver's edge.
struct Rig
{
    TestSupport::TemporarySettings temp;
    PcClockSync sync;
    FakePcClock *clock = nullptr;
    ReceiverState state;
    RecordingLog log;

    explicit Rig(const PcClockSettings &p, bool capable = true)
    {
        QSettings store;
        p.save(store);
        sync.setBackendFactory([this](const PcClockSettings &, QString *) {
            auto fake = std::make_unique<FakePcClock>();
            clock = fake.get();
            return fake;
        });
        sync.setCapabilityCheck([capable] { return capable; });
        sync.setLog(&log);
        sync.setBuildDate(QDate(2026, 1, 1));
        sync.startUp();
        state.outOfLock = false;
    }
    // The receiver names `utc`; the PC clock is `pcAheadMs` ahead of it at the step.
    void step(const QDateTime &utc, qint64 pcAheadMs, bool atEdge = true)
    {
        state.storeReceiverTime(utc, utc.time().msec());
        const qint64 wholeUs = (utc.toMSecsSinceEpoch() - utc.time().msec()) * 1000;
        clock->setTrueUs(wholeUs);
        clock->setErrorUs(pcAheadMs * 1000);
        sync.clockStep(state, atEdge);
    }
};

QDateTime utc(const char *text)
{
    QDateTime t = QDateTime::fromString(QString::fromLatin1(text), QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"));
    t.setTimeSpec(Qt::UTC);
    return t;
}

} // namespace

class TestPcClock : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void step_data();
    void step();
    void learnBias_data();
    void learnBias();
    void latencyConvergesAndResets();
    void oneTimeSetWritesLogLineAndCounts();
    void farCorrectionAllowedOnce();
    void leapWindowAfterMidnight();
    void pktwaLine();
    void chronySampleBytes();
    void settingsRepair();
    void kernelSetterRefusedInTests();
    void capabilityRefusedInChild();
    void chronydReadsTheFeed();
};

void TestPcClock::step_data()
{
    QTest::addColumn<QString>("options");   // letters: T TRAIM override, I integrity override,
                                            // M time message (not the edge), L out of lock,
                                            // R recent time message, V validity unknown
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("thresholdMs");   // 0 off
    QTest::addColumn<int>("maxHours");      // 0 off
    QTest::addColumn<QDateTime>("receiver");
    QTest::addColumn<qint64>("pcAheadMs");
    QTest::addColumn<int>("leap");
    QTest::addColumn<int>("model");
    QTest::addColumn<QString>("target");    // "" = no set

    const QDateTime m0 = utc("2026-12-06 12:34:00.000");
    const QDateTime m17 = utc("2026-12-06 12:34:17.000");
    const qint64 hour = 3600000;
    auto row = [](const char *name, const char *opt, int mode, int thr, int maxH, QDateTime rx, qint64 ahead, int leap,
                  int model, const char *target) {
        QTest::newRow(name) << QString::fromLatin1(opt) << mode << thr << maxH << rx << ahead << leap << model
                            << QString::fromLatin1(target);
    };
    row("minute: second 0", "", 3, 0, 0, m0, 300, 0, 0, "12:34:00.000");
    row("minute: second 17", "", 3, 0, 0, m17, 300, 0, 0, "");
    row("threshold 50, error 60", "", 3, 50, 0, m17, -60, 0, 0, "12:34:17.000");
    row("threshold 50, error 40", "", 3, 50, 0, m17, 40, 0, 0, "");
    row("threshold 50, error 50", "", 3, 50, 0, m17, 50, 0, 0, "12:34:17.000");
    row("threshold in mode 0", "", 0, 50, 0, m17, 60, 0, 0, "");
    row("max 2 h against 3 h", "", 2, 0, 2, m17, 3 * hour, 0, 0, "");
    row("max 2 h against 2 h 0.999 s", "", 2, 0, 2, m17, 2 * hour + 999, 0, 0, "12:34:17.000");
    row("max 2 h against 2 h 1 s", "", 2, 0, 2, m17, 2 * hour + 1000, 0, 0, "");
    row("offset 700 ms", "", 2, 0, 0, utc("2026-12-06 12:34:00.700"), 0, 0, 0, "12:33:59.700");
    row("offset 300 ms", "", 2, 0, 0, utc("2026-12-06 12:34:00.300"), 0, 0, 0, "12:34:00.300");
    row("M12+ just after its message", "R", 2, 0, 0, utc("2026-12-06 12:34:00.300"), 0, 0, 4, "12:33:59.300");
    row("M12+ no recent message", "", 2, 0, 0, utc("2026-12-06 12:34:00.300"), 0, 0, 4, "12:34:00.300");
    row("time message", "M", 2, 0, 0, m17, 0, 0, 0, "");
    row("time message, TRAIM override", "MT", 2, 0, 0, m17, 0, 0, 0, "12:34:17.000");
    row("out of lock", "L", 2, 0, 0, m17, 0, 0, 0, "");
    row("out of lock, integrity override", "LI", 2, 0, 0, m17, 0, 0, 0, "12:34:17.000");
    row("message, out of lock, TRAIM only", "MLT", 2, 0, 0, m17, 0, 0, 0, "");
    row("message, out of lock, both", "MLTI", 2, 0, 0, m17, 0, 0, 0, "12:34:17.000");
    row("a day and a millisecond", "", 2, 0, 0, m17, 24 * hour + 1, 0, 0, "");
    row("exactly a day", "", 2, 0, 0, m17, 24 * hour, 0, 0, "12:34:17.000");
    row("1024 weeks early", "", 2, 0, 0, utc("2007-04-22 12:34:17.000"), 0, 0, 0, "");
    row("leap pending, 23:59:58", "", 2, 0, 0, utc("2026-12-31 23:59:58.000"), 0, 1, 0, "");
    row("leap pending, 23:59:57", "", 2, 0, 0, utc("2026-12-31 23:59:57.000"), 0, 1, 0, "23:59:57.000");
    row("validity unknown yet", "V", 2, 0, 0, m17, 0, 0, 0, "");
}

void TestPcClock::step()
{
    QFETCH(QString, options);
    QFETCH(int, mode);
    QFETCH(int, thresholdMs);
    QFETCH(int, maxHours);
    QFETCH(QDateTime, receiver);
    QFETCH(qint64, pcAheadMs);
    QFETCH(int, leap);
    QFETCH(int, model);
    QFETCH(QString, target);

    PcClockSettings p;
    p.mode = mode;
    p.thresholdOn = thresholdMs > 0;
    p.thresholdMs = thresholdMs;
    p.maxCorrectionOn = maxHours > 0;
    p.maxCorrectionQty = maxHours;
    p.overrideTraim = options.contains(QLatin1Char('T'));
    p.overrideIntegrity = options.contains(QLatin1Char('I'));
    Rig rig(p);
    rig.state.outOfLock = options.contains(QLatin1Char('L'));
    rig.state.leapSecondPending = leap;
    rig.state.receiverModel = model;
    rig.state.timeValidity = options.contains(QLatin1Char('V')) ? 0 : 1;
    if (options.contains(QLatin1Char('R'))) {
        // The time message arrived 200 ms before this edge (no set: no TRAIM override).
        rig.step(receiver.addMSecs(-200), pcAheadMs - 200, false);
        QVERIFY(rig.clock->applied.isEmpty());
    }
    rig.step(receiver, pcAheadMs, !options.contains(QLatin1Char('M')));

    const QString got = rig.clock->applied.isEmpty()
        ? QString()
        : QDateTime::fromMSecsSinceEpoch(rig.clock->applied.last().targetUs / 1000, Qt::UTC).toString(QStringLiteral("hh:mm:ss.zzz"));
    QCOMPARE(got, target);
    QVERIFY(rig.clock->applied.size() <= 1);
    if (!target.isEmpty())
        QCOMPARE(rig.clock->applied.last().pcUs, rig.clock->trueUs() + pcAheadMs * 1000);
}

void TestPcClock::learnBias_data()
{
    QTest::addColumn<int>("bias");
    QTest::addColumn<qint64>("errorMs");
    QTest::addColumn<int>("next");
    QTest::newRow("clock left behind") << 5 << qint64(3) << 6;
    QTest::newRow("clock left ahead") << 5 << qint64(-3) << 4;
    QTest::newRow("on time") << 5 << qint64(0) << 5;
    QTest::newRow("top") << 999 << qint64(1000) << 999;
    QTest::newRow("below top") << 998 << qint64(1) << 999;
    QTest::newRow("bottom") << -999 << qint64(-1000) << -999;
    QTest::newRow("beyond +1 s") << 400 << qint64(1001) << 0;
    QTest::newRow("beyond -1 s") << -400 << qint64(-1001) << 0;
}

void TestPcClock::learnBias()
{
    QFETCH(int, bias);
    QFETCH(qint64, errorMs);
    QFETCH(int, next);
    QCOMPARE(PcClockSync::learnBias(bias, errorMs), next);
}

// Sets that land 7 ms late, every second: the bias walks to 7 and the clock ends on time.
// A failed set then leaves a 3 s error, and the learning step after it starts over at 0.
void TestPcClock::latencyConvergesAndResets()
{
    PcClockSettings p;
    p.mode = PcClockSettings::EverySecond;
    Rig rig(p);
    rig.clock->setDelayUs = 7000;
    QList<int> biasSeen;
    QObject::connect(&rig.sync, &PcClockSync::latencyBiasChanged, [&](int b) { biasSeen << b; });
    rig.state.storeReceiverTime(utc("2026-12-06 12:00:00.000"), 0);
    rig.clock->setTrueUs(rig.state.receiverUtcDateTime.dateTime().toMSecsSinceEpoch() * 1000);
    for (int i = 0; i < 20; ++i) {
        rig.sync.clockStep(rig.state, true);
        rig.clock->advanceUs(1000000);
        rig.state.storeReceiverTime(rig.state.receiverUtcDateTime.dateTime().addSecs(1), 0);
    }
    QCOMPARE(biasSeen, (QList<int> { 1, 2, 3, 4, 5, 6, 7 }));
    QCOMPARE(rig.clock->errorUs(), 0);

    rig.clock->failSets = true;
    rig.clock->setErrorUs(-3000000);
    rig.sync.clockStep(rig.state, true);   // learns from the good set before, then fails
    QVERIFY(rig.sync.setPending());
    rig.clock->advanceUs(1000000);
    rig.state.storeReceiverTime(rig.state.receiverUtcDateTime.dateTime().addSecs(1), 0);
    rig.sync.clockStep(rig.state, true);
    QCOMPARE(rig.sync.latencyBias(), 0);
    QCOMPARE(rig.sync.clockErrorMs(), 3000);
}

void TestPcClock::oneTimeSetWritesLogLineAndCounts()
{
    PcClockSettings p;
    p.mode = PcClockSettings::OneTime;
    Rig rig(p);
    QSignalSpy modes(&rig.sync, &PcClockSync::modeChanged);
    rig.step(utc("2026-12-06 12:34:56.000"), 250);
    rig.step(utc("2026-12-06 12:34:57.000"), 250);
    QCOMPARE(rig.clock->applied.size(), 1);
    QCOMPARE(rig.sync.mode(), 0);
    QCOMPARE(modes.size(), 1);
    QCOMPARE(rig.log.lines, QStringList { QStringLiteral("$PKTWT,20261206123456.000,-250") });
    QVERIFY(rig.sync.clockWasSet());
    rig.sync.noteClockSetShown(QStringLiteral("Sunday 06 Dec 2026"));
    QVERIFY(!rig.sync.clockWasSet());
    QCOMPARE(PcClockSync::counterText(rig.sync.clockResets()), QStringLiteral("1"));
    QCOMPARE(rig.sync.lastSyncText(), QStringLiteral("Sunday 06 Dec 2026"));
    QCOMPARE(PcClockSync::counterText(4294967294u), QStringLiteral("4294967294"));
    QCOMPARE(PcClockSync::counterText(4294967295u), QStringLiteral("> 4294967295"));
}

void TestPcClock::farCorrectionAllowedOnce()
{
    PcClockSettings p;
    p.mode = PcClockSettings::EverySecond;
    Rig rig(p);
    QSignalSpy refused(&rig.sync, &PcClockSync::correctionRefused);
    const qint64 twoDays = 2 * 86400000LL;
    rig.step(utc("2026-12-06 12:00:00.000"), twoDays);
    rig.step(utc("2026-12-06 12:00:01.000"), twoDays);
    QCOMPARE(rig.clock->applied.size(), 0);
    QCOMPARE(refused.size(), 1);   // logged once, not every second
    QCOMPARE(rig.sync.refusedText(),
             QStringLiteral("Refused to set the PC clock from 2026-12-08 12:00:01 to 2026-12-06 12:00:01: "
                            "a correction of more than one day."));
    rig.sync.allowFarCorrectionOnce();
    rig.step(utc("2026-12-06 12:00:02.000"), twoDays);
    rig.step(utc("2026-12-06 12:00:03.000"), twoDays);
    QCOMPARE(rig.clock->applied.size(), 1);
    QVERIFY(!rig.sync.farCorrectionAllowed());
}

void TestPcClock::leapWindowAfterMidnight()
{
    PcClockSettings p;
    p.mode = PcClockSettings::EverySecond;
    Rig rig(p);
    rig.state.leapSecondPending = 1;
    rig.step(utc("2026-12-31 23:59:57.000"), 0);
    rig.state.leapSecondPending = 0;   // the receiver clears it with the leap
    rig.step(utc("2027-01-01 00:00:01.000"), 0);
    rig.step(utc("2027-01-01 00:00:02.000"), 0);
    QCOMPARE(rig.clock->applied.size(), 2);
    QCOMPARE(rig.clock->applied.last().targetUs / 1000, utc("2027-01-01 00:00:02.000").toMSecsSinceEpoch());
}

void TestPcClock::pktwaLine()
{
    TestSupport::TemporarySettings temp;
    AveragingEngine engine;
    engine.updatePosition(51 + 7.25 / 60, -(0 + 5.5 / 60), 80, 35);
    QCOMPARE(PcClockSync::pktwaLine(utc("2026-12-06 23:59:59.000"), engine),
             QStringLiteral("$PKTWA,20261207,000000.000,5107.2500,N,00005.5000,W,,N,,,"));
    engine.setSpeedKnots(3.26);
    engine.setHeadingDegrees(270);
    engine.setTimingSatellites(7);
    engine.setFixQuality(1);
    QCOMPARE(PcClockSync::pktwaLine(utc("2026-12-06 10:00:00.000"), engine),
             QStringLiteral("$PKTWA,20261206,100001.000,5107.2500,N,00005.5000,W,003.3,N,270.0,07,1"));
}

void TestPcClock::chronySampleBytes()
{
    if (QSysInfo::ByteOrder != QSysInfo::LittleEndian || sizeof(long) != 8)
        QSKIP("sample bytes written for 64-bit little-endian machines");
    ClockSample s;
    s.pcUs = 1765000000250000;          // 2025-12-06 05:46:40.25
    s.targetUs = s.pcUs - 1500000;      // offset -1.5 s
    s.leap = 1;
    QCOMPARE(ChronySockFeed::encode(s).toHex(' '),
             QByteArray("40 c3 33 69 00 00 00 00 90 d0 03 00 00 00 00 00 00 00 00 00 00 00 f8 bf "
                        "00 00 00 00 01 00 00 00 00 00 00 00 4b 43 4f 53"));
    s.pcUs = -250000;                   // before 1970: seconds -1, 750000 µs
    s.targetUs = s.pcUs;
    s.leap = 7;                         // no such flag: sent as none
    QCOMPARE(ChronySockFeed::encode(s).left(16).toHex(' '), QByteArray("ff ff ff ff ff ff ff ff b0 71 0b 00 00 00 00 00"));
    QCOMPARE(ChronySockFeed::encode(s).mid(28, 4).toHex(), QByteArray("00000000"));
}

void TestPcClock::settingsRepair()
{
    TestSupport::TemporarySettings temp;
    {
        QSettings s;
        s.setValue(QStringLiteral("SetPcClockDialog/Time Sync Mode"), 9);
        s.setValue(QStringLiteral("SetPcClockDialog/Time Sync Delta Msec"), 1500);
        s.setValue(QStringLiteral("SetPcClockDialog/Time SyncMax Units"), 3);
        s.setValue(QStringLiteral("SetPcClockDialog/Time Sync Max On"), QStringLiteral("yes"));
        s.setValue(QStringLiteral("SetPcClockDialog/Time Sync Method"), 2);
        s.setValue(QStringLiteral("SetPcClockDialog/Chrony Socket"), QStringLiteral("relative.sock"));
    }
    QSettings s;
    PcClockSettings p = PcClockSettings::load(s);
    QCOMPARE(p.mode, 0);
    QCOMPARE(s.value(QStringLiteral("SetPcClockDialog/Time Sync Mode")).toInt(), 0);
    QCOMPARE(p.thresholdMs, 0);   // read as 0, the stored text left alone
    QCOMPARE(s.value(QStringLiteral("SetPcClockDialog/Time Sync Delta Msec")).toInt(), 1500);
    QCOMPARE(s.value(QStringLiteral("SetPcClockDialog/Time SyncMax Units")).toInt(), 0);
    QCOMPARE(s.value(QStringLiteral("SetPcClockDialog/Time Sync Max On")).toBool(), false);
    QCOMPARE(s.value(QStringLiteral("SetPcClockDialog/Time Sync Max Qty")).toInt(), 2);
    QCOMPARE(s.value(QStringLiteral("SetPcClockDialog/Time Sync Method")).toInt(), 0);
    QCOMPARE(p.chronySocket, QStringLiteral("/run/chrony/chronode.sock"));
    QCOMPARE(p.maxCorrectionSeconds(), 0);
    p.maxCorrectionOn = true;
    const QList<std::pair<int, qint64>> units = { { 0, 7200 }, { 1, 120 }, { 2, 2 } };
    for (const auto &[unit, seconds] : units) {
        p.maxCorrectionUnits = unit;
        QCOMPARE(p.maxCorrectionSeconds(), seconds);
    }
}

void TestPcClock::kernelSetterRefusedInTests()
{
    QString why;
    QVERIFY(!KernelClockSetter::create(&why));
    QCOMPARE(why, SetTimeCapability::held()
                      ? QStringLiteral("refusing to touch the system clock in a test run that holds CAP_SYS_TIME")
                      : QStringLiteral("the process does not hold CAP_SYS_TIME"));
}

// Run as the child (CHRONODE_CAPABILITY_CHILD names its settings folder): start up with the
// kernel setter chosen, print the warning. As the parent: run this test in a child without
// any capability and check what it showed and stored.
void TestPcClock::capabilityRefusedInChild()
{
    const QString childDir = qEnvironmentVariable("CHRONODE_CAPABILITY_CHILD");
    if (!childDir.isEmpty()) {
        QCoreApplication::setOrganizationName(QStringLiteral("KTW Systems"));
        QCoreApplication::setApplicationName(QStringLiteral("Chronode"));
        QSettings::setDefaultFormat(QSettings::IniFormat);
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, childDir);
        PcClockSync sync;
        QString warning;
        QObject::connect(&sync, &PcClockSync::capabilityWarning, [&](const QString &t) { warning = t; });
        sync.startUp();
        std::fputs(qPrintable(QStringLiteral("WARNING<%1>\nHELD<%2>\n").arg(warning).arg(int(SetTimeCapability::held()))), stdout);
        return;
    }
    if (QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
        QSKIP("setpriv not installed");
    TestSupport::TemporarySettings temp;
    {
        QSettings s;
        s.setValue(QStringLiteral("SetPcClockDialog/Time Sync Mode"), 2);
        s.setValue(QStringLiteral("SetPcClockDialog/Time Sync Method"), 1);
    }
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("CHRONODE_CAPABILITY_CHILD"), temp.path());
    child.setProcessEnvironment(env);
    child.start(QStringLiteral("setpriv"), { QStringLiteral("--bounding-set=-all"), QStringLiteral("--inh-caps=-all"),
                                             QCoreApplication::applicationFilePath(),
                                             QStringLiteral("capabilityRefusedInChild") });
    QVERIFY(child.waitForFinished(60000));
    const QString out = QString::fromLocal8Bit(child.readAllStandardOutput());
    QVERIFY2(child.exitCode() == 0, qPrintable(out + QString::fromLocal8Bit(child.readAllStandardError())));
    QVERIFY2(out.contains(QStringLiteral("HELD<0>")), qPrintable(out));
    const QString expected = PcClockSync::capabilityWarningText(QStringLiteral("Operation not permitted"));
    QVERIFY2(out.contains(QStringLiteral("WARNING<%1>").arg(expected)), qPrintable(out));
    QVERIFY(expected.startsWith(QStringLiteral("<b>Chronode cannot set the system time</b><br/>because it cannot get "
                                               "the Set System Time Privilege.<br/>System Error: <br/>\"Operation not permitted\""
                                               "<p><b>Disabling system clock synchronization.</b><br/>Use Set PC Clock on "
                                               "the main menu to re-enable.</p><p>To correct, give the program the right")));
    QVERIFY(expected.contains(QStringLiteral("<code>sudo setcap cap_sys_time+ep ")));
    QSettings stored(temp.fileName(), QSettings::IniFormat);
    QCOMPARE(stored.value(QStringLiteral("SetPcClockDialog/Time Sync Mode")).toInt(), 0);
}

namespace {

// The real feed, remembering each offset it sent.
struct RecordingFeed : ChronySockFeed
{
    using ChronySockFeed::ChronySockFeed;
    QList<ClockSample> sent;
    bool apply(const ClockSample &s) override
    {
        const bool ok = ChronySockFeed::apply(s);
        if (ok)
            sent << s;
        return ok;
    }
};

} // namespace

// A private chronyd (-x: it never touches the clock) with its own folder reads the samples the
// station sends while running on the simulated receiver, and logs the offsets it took.
void TestPcClock::chronydReadsTheFeed()
{
    const QString cache = QStringLiteral(CHRONODE_BINARY_DIR) + QStringLiteral("/test-chrony");
    const QString chronyd = cache + QStringLiteral("/root/usr/sbin/chronyd");
    if (!QFile::exists(chronyd)) {
        QDir().mkpath(cache);
        QProcess fetch;
        fetch.setWorkingDirectory(cache);
        fetch.start(QStringLiteral("sh"), { QStringLiteral("-c"),
                                            QStringLiteral("apt-get download chrony >/dev/null 2>&1 && dpkg -x chrony_*.deb root") });
        if (!fetch.waitForFinished(120000) || fetch.exitCode() != 0 || !QFile::exists(chronyd))
            QSKIP("chrony could not be fetched");
    }
    TestSupport::TemporarySettings temp;
    QTemporaryDir dir(QStringLiteral("/tmp/chronode-chrony-XXXXXX"));
    QVERIFY(dir.isValid());
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const QString sock = dir.filePath(QStringLiteral("chrony.sock"));
    QFile conf(dir.filePath(QStringLiteral("chrony.conf")));
    QVERIFY(conf.open(QIODevice::WriteOnly));
    conf.write(QStringLiteral("refclock SOCK %1 refid GPS poll 0\nlogdir %2\nlog refclocks\npidfile %2/chronyd.pid\n"
                              "bindcmdaddress %2/chronyc.sock\ncmdport 0\nport 0\n")
                   .arg(sock, dir.path()).toLocal8Bit());
    conf.close();
    QProcess daemon;
    QStringList args { QStringLiteral("-x"), QStringLiteral("-d"), QStringLiteral("-f"), conf.fileName() };
    if (geteuid() == 0)
        args << QStringLiteral("-u") << QStringLiteral("root");
    daemon.start(chronyd, args);
    QVERIFY(daemon.waitForStarted());
    auto stop = qScopeGuard([&] {
        daemon.terminate();
        if (!daemon.waitForFinished(5000))
            daemon.kill();
    });
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(sock), 10000);

    bool ok = false;
    const SimulatedReceiverConfig config = SimulatedReceiverConfig::forModel(QStringLiteral("M12+"), &ok);
    QVERIFY(ok);
    {
        QSettings s;
        s.setValue(GpsPortSettings::keyPort(), GpsPortSettings::simulatorPortName());
        s.setValue(GpsPortSettings::keyMode(), QStringLiteral("Motorola Binary"));
        PcClockSettings p;
        p.mode = PcClockSettings::EverySecond;
        p.overrideIntegrity = true;
        p.chronySocket = sock;
        p.save(s);
    }
    Station station;
    station.link().transportFactory().registerTransport(GpsPortSettings::simulatorPortName(), [&config] {
        return std::make_unique<SimulatedReceiverTransport>(config, SimulationClock::startingAt(QDateTime::currentDateTimeUtc()));
    });
    station.commandChannel().setPauseMs(0);
    StationPcClock clock(station);
    RecordingFeed *feed = nullptr;
    clock.sync().setBackendFactory([&](const PcClockSettings &p, QString *) {
        auto f = std::make_unique<RecordingFeed>(p.chronySocket);
        feed = f.get();
        return f;
    });
    clock.startUp();
    {
        QSettings s;
        station.readPortSettings(s);
    }
    station.startGpsSerialPort(false);
    QVERIFY(station.detection().initialiseReceiver());
    QTRY_VERIFY_WITH_TIMEOUT(feed->sent.size() >= 6, 30000);
    station.setClosing();

    // chronyd's refclocks log: date, time, refid, DP, leap, P, raw offset, cooked offset, disp.
    QList<double> logged;
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            QFile log(dir.filePath(QStringLiteral("refclocks.log")));
            logged.clear();
            if (log.open(QIODevice::ReadOnly)) {
                for (const QByteArray &line : log.readAll().split('\n')) {
                    const QList<QByteArray> f = line.simplified().split(' ');
                    if (f.size() == 9 && f[2] == "GPS" && f[3] != "-")
                        logged << f[6].toDouble();
                }
            }
            return logged.size() >= 6;
        }(),
        10000);
    for (int i = 0; i < 6; ++i) {
        const double sent = double(feed->sent[i].offsetUs()) / 1e6;
        QVERIFY2(std::abs(logged[i] - sent) < 0.001,
                 qPrintable(QStringLiteral("sample %1: sent %2 s, chronyd took %3 s").arg(i).arg(sent).arg(logged[i])));
    }
    QCOMPARE(clock.sync().ntpHits(), quint32(feed->sent.size()));
}

CHRONODE_TEST_MAIN(TestPcClock)
#include "tst_pcclock.moc"
