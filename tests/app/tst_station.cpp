#include "support/TestSupport.h"

#include "app/MainWindowSettings.h"
#include "app/Station.h"
#include "receiver/link/GpsSerialPortThread.h"
#include "transport/GpsPortSettings.h"
#include "receiver/ProtocolDriver.h"
#include "support/FakeTransport.h"
#include "support/RecordingAveraging.h"
#include "receiver/link/ReceiverCommandChannel.h"
#include "receiver/setup/ReceiverDetection.h"
#include "receiver/ubx/UbxConfiguration.h"

#include <QSignalSpy>
#include <QTimeZone>
#include <QTest>

namespace {

// A driver that records what it is handed and answers with one line per message; the
// drivers' own texts are their tests' business, the routing is this test's.
struct FakeDriver : ProtocolDriver
{
    QList<QByteArray> seen;
    bool toLog = true;
    explicit FakeDriver(bool log) : toLog(log) {}
    DecodeResult decode(const QByteArray &message) override
    {
        seen << message;
        DecodeResult r;
        r.recognised = true;
        r.toLog = toLog;
        r.lines << QStringLiteral("decoded ") + QString::fromLatin1(message.left(4));
        return r;
    }
};

struct FakeGpsLog : GpsLogHooks
{
    bool open = false;
    int interval = 1;
    bool gpsSeconds = false;
    int flushes = 0;
    int closes = 0;
    int opens = 0;
    QStringList rawLines;
    bool isOpen() const override { return open; }
    int intervalSeconds() const override { return interval; }
    bool useGpsSeconds() const override { return gpsSeconds; }
    void flush() override { ++flushes; }
    bool closeQuiet() override
    {
        if (!open)
            return false;
        open = false;
        ++closes;
        return true;
    }
    bool openNew() override
    {
        ++opens;
        open = true;
        return true;
    }
    void writeRawText(const QString &text) override { rawLines << text; }
    QList<QByteArray> records;
    void writeBinaryRecord(const QByteArray &message) override { records << message; }
};

struct FakeCounterLogs : CounterLogHooks
{
    bool open = false;
    bool flushOk = true;
    int flushes = 0;
    int closes = 0;
    int reopens = 0;
    bool isOpen() const override { return open; }
    bool flushAll() override
    {
        ++flushes;
        return flushOk;
    }
    void closeQuiet() override
    {
        open = false;
        ++closes;
    }
    bool reopenForToday() override
    {
        ++reopens;
        open = true;
        return true;
    }
};

struct FakePanel : ClockPanelHooks
{
    int updates = 0;
    int dayTextClears = 0;
    void updateClockPanel(ReceiverState &state) override
    {
        ++updates;
        state.displayedUtcDateTime = state.receiverUtcDateTime;
    }
    void clearCachedDayText() override { ++dayTextClears; }
};

// A station with recording fakes everywhere, driven by a fake 1PPS: each pulse optionally
// stores a time message first (as a decoder would) and then fires the link's PpsTick.
struct Rig
{
    Station station;
    RecordingCommands sink;
    // Recording drivers in place of the real ones, after fakeDrivers().
    FakeDriver *motorola = nullptr;
    FakeDriver *nmea = nullptr;
    FakeDriver *ubx = nullptr;
    FakeDriver *loran = nullptr;
    FakeGpsLog gpsLog;
    FakeCounterLogs counterLogs;
    FakePanel panel;
    qint64 nowMs = QDateTime(QDate(2026, 3, 14), QTime(12, 0, 0), Qt::UTC).toMSecsSinceEpoch();
    QList<Station::TickSound> sounds;
    int heartbeats = 0;
    QStringList raw;

    Rig()
    {
        station.setCommandSink(&sink);
        station.setGpsLog(&gpsLog);
        station.setCounterLogs(&counterLogs);
        station.setClockPanel(&panel);
        station.setClock([this] { return nowMs; });
        QObject::connect(&station, &Station::playSound, &station, [this](Station::TickSound s) { sounds << s; });
        QObject::connect(&station, &Station::heartbeat, &station, [this] { ++heartbeats; });
        QObject::connect(&station, &Station::rawDataText, &station, [this](const QString &t) { raw << t; });
    }
    ReceiverState &state() { return station.state(); }
    FakeDriver *install(ProtocolFamily family, bool toLog)
    {
        auto d = std::make_unique<FakeDriver>(toLog);
        FakeDriver *ref = d.get();
        station.setDriver(family, std::move(d));
        return ref;
    }
    void fakeDrivers()
    {
        motorola = install(ProtocolFamily::Motorola, true);
        nmea = install(ProtocolFamily::Nmea, true);
        ubx = install(ProtocolFamily::Ublox, false);
        loran = install(ProtocolFamily::Loran, false);
    }

    // One second with a time message for `utc`.
    void pulse(const QDateTime &utc)
    {
        nowMs = utc.toMSecsSinceEpoch();
        state().receiverUtcDateTime.setDateTime(utc);
        state().timeMessageMissing = false;
        emit station.link().PpsTick();
    }
    // One second in which no time message arrived.
    void silentPulse(qint64 advanceMs = 1000)
    {
        nowMs += advanceMs;
        emit station.link().PpsTick();
    }
    void clearRecords()
    {
        sink.sent.clear();
        sounds.clear();
        heartbeats = 0;
        raw.clear();
    }
};

QDateTime utcAt(int h, int m, int s, QDate d = QDate(2026, 3, 14))
{
    return QDateTime(d, QTime(h, m, s), Qt::UTC);
}

} // namespace

class TestStation : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { m_settings = std::make_unique<TestSupport::TemporarySettings>(); }
    void cleanup() { m_settings.reset(); }

    void tickWithoutTimeMessage_data()
    {
        QTest::addColumn<int>("interval");
        QTest::addColumn<bool>("expectWriteNow");
        QTest::newRow("log every second") << 1 << true;
        QTest::newRow("log every 5 s") << 5 << false;
        QTest::newRow("logging disabled") << 0 << false;
    }
    void tickWithoutTimeMessage()
    {
        QFETCH(int, interval);
        QFETCH(bool, expectWriteNow);
        Rig rig;
        rig.station.setSoundFlags(true, true);
        rig.state().outOfLock = false;
        rig.gpsLog.interval = interval;
        rig.pulse(utcAt(12, 0, 30));   // a normal second arms the per-second flags
        rig.clearRecords();
        rig.state().gpsLogWriteNow = !expectWriteNow;
        const int clearsBefore = rig.panel.dayTextClears;

        // The next pulse comes without a time message, still in second 30 of the receiver time.
        // A PC clock that only records shows the write-now flag as the cycle hands it over.
        struct KeepFlag : PcClockHooks
        {
            bool seen = false;
            bool value = false;
            void startUp() override {}
            void clockStep(ReceiverState &s, bool atEdge) override
            {
                seen = atEdge;
                value = s.gpsLogWriteNow;
            }
        } clock;
        rig.station.setPcClock(&clock);
        rig.silentPulse();

        QVERIFY(clock.seen);
        QCOMPARE(clock.value, expectWriteNow);
        QCOMPARE(rig.sounds, (QList<Station::TickSound> { Station::TickSound::Minute, Station::TickSound::Second }));
        QCOMPARE(rig.heartbeats, 2);
        QCOMPARE(rig.panel.dayTextClears, clearsBefore + 1);
    }

    void perSecondFlagsRearmed()
    {
        Rig rig;
        rig.state().nmeaFirstOfSecond = false;
        rig.state().nmeaTimePending = false;
        rig.state().nmeaTimeSeen = true;
        rig.pulse(utcAt(12, 0, 5));
        QVERIFY(rig.state().timeMessageMissing);
        QVERIFY(rig.state().nmeaFirstOfSecond);
        QVERIFY(rig.state().nmeaTimePending);
        QVERIFY(!rig.state().nmeaTimeSeen);
        QCOMPARE(rig.state().displayedUtcDateTime.dateTime(), utcAt(12, 0, 5));
        QCOMPARE(rig.panel.updates, 1);
        QCOMPARE(rig.panel.dayTextClears, 0);
        QCOMPARE(rig.heartbeats, 1);
    }

    void bbRepoll_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("haCountdown");
        QTest::addColumn<qint64>("bbAgeMs");
        QTest::addColumn<bool>("expectPoll");
        QTest::newRow("12-channel, 121 s old") << 2 << 5 << qint64(121000) << true;
        QTest::newRow("exactly 120 s old") << 2 << 5 << qint64(120000) << true;
        QTest::newRow("119.999 s old") << 2 << 5 << qint64(119999) << false;
        QTest::newRow("@@Ha countdown runs out this tick") << 2 << 1 << qint64(121000) << false;
        QTest::newRow("no @@Ha at all") << 2 << 0 << qint64(121000) << false;
        QTest::newRow("never had @@Bb") << 2 << 5 << qint64(-1) << false;
        QTest::newRow("listen-only mode") << 3 << 5 << qint64(121000) << false;
    }
    void bbRepoll()
    {
        QFETCH(int, mode);
        QFETCH(int, haCountdown);
        QFETCH(qint64, bbAgeMs);
        QFETCH(bool, expectPoll);
        Rig rig;
        const QDateTime t = utcAt(12, 0, 5);
        rig.state().receiverMode = mode;
        rig.state().haCountdown = haCountdown;
        rig.state().lastBbTime = bbAgeMs < 0 ? 0 : t.toMSecsSinceEpoch() - bbAgeMs;
        rig.pulse(t);
        const QByteArray poll("@@Bb\x01", 5);
        QCOMPARE(int(rig.sink.sent.count(poll)), expectPoll ? 1 : 0);
        QCOMPARE(rig.station.lastBbPoll(), expectPoll ? t.toMSecsSinceEpoch() : qint64(0));
        QCOMPARE(rig.state().haCountdown, qMax(0, haCountdown - 1));
    }

    void bbRepollNotRepeatedWithin120s()
    {
        Rig rig;
        rig.state().receiverMode = 2;
        rig.state().receiverModel = ReceiverModelCode::M12M;
        QDateTime t = utcAt(12, 0, 5);
        rig.state().lastBbTime = t.toMSecsSinceEpoch() - 121000;
        const QByteArray poll("@@Bb\x01", 5);
        int polls = 0;
        // The receiver keeps sending @@Ha (the decoder re-arms the countdown) but no @@Bb.
        for (int i = 0; i < 120; ++i) {
            rig.state().haCountdown = 10;
            rig.pulse(t.addSecs(i));
            polls = int(rig.sink.sent.count(poll));
            QCOMPARE(polls, 1);
        }
        rig.state().haCountdown = 10;
        rig.pulse(t.addSecs(120));
        QCOMPARE(int(rig.sink.sent.count(poll)), 2);
        QCOMPARE(rig.station.lastBbPoll(), t.addSecs(120).toMSecsSinceEpoch());
    }

    void timedPolls_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("model");
        QTest::addColumn<int>("second");
        QTest::addColumn<QByteArray>("expected");   // empty: nothing sent
        const QByteArray monTp("\xB5\x62\x0B\x02\x00\x00", 6);
        QTest::newRow("UBX at 11") << 9 << 20 << 11 << monTp;
        QTest::newRow("UBX at 20") << 9 << 20 << 20 << QByteArray();
        QTest::newRow("u-blox NMEA at 11") << 10 << 20 << 11 << QByteArray();
        QTest::newRow("M12 at 20") << 2 << 3 << 20 << QByteArray("@@Gj");
        QTest::newRow("M12+ at 20") << 2 << 4 << 20 << QByteArray("@@Gj");
        QTest::newRow("M12M at 20") << 2 << 5 << 20 << QByteArray("@@Gj");
        QTest::newRow("SIGNAV at 20") << 2 << 19 << 20 << QByteArray("@@Gj");
        QTest::newRow("TX Oncore at 20") << 2 << 21 << 20 << QByteArray("@@Gj");
        QTest::newRow("SSR-6Tf at 20") << 2 << 22 << 20 << QByteArray("@@Gj");
        QTest::newRow("SSR-M8T at 20") << 2 << 25 << 20 << QByteArray("@@Gj");
        QTest::newRow("VP at 20") << 2 << 10 << 20 << QByteArray("@@Bj");
        QTest::newRow("UT+ at 20") << 2 << 9 << 20 << QByteArray("@@Bj");
        QTest::newRow("CNXT at 20") << 2 << 18 << 20 << QByteArray("@@Bj");
        QTest::newRow("unknown model at 20") << 2 << 0 << 20 << QByteArray("@@Bj");
        QTest::newRow("binary at 21") << 2 << 5 << 21 << QByteArray("@@Bo\x00", 5);
        QTest::newRow("binary at 22") << 2 << 5 << 22 << QByteArray();
        QTest::newRow("binary at 11") << 2 << 5 << 11 << QByteArray();
        QTest::newRow("listen-only at 20") << 3 << 5 << 20 << QByteArray();
        QTest::newRow("listen-only at 21") << 3 << 5 << 21 << QByteArray();
        QTest::newRow("NMEA at 21") << 1 << 5 << 21 << QByteArray();
    }
    void timedPolls()
    {
        QFETCH(int, mode);
        QFETCH(int, model);
        QFETCH(int, second);
        QFETCH(QByteArray, expected);
        Rig rig;
        rig.state().receiverMode = mode;
        rig.state().receiverModel = model;
        rig.pulse(utcAt(12, 0, second));
        if (expected.isEmpty())
            QVERIFY2(rig.sink.sent.isEmpty(), qPrintable(QString::fromLatin1(rig.sink.sent.value(0).toHex())));
        else
            QCOMPARE(rig.sink.sent, QList<QByteArray> { expected });
    }

    void soundChoice_data()
    {
        QTest::addColumn<int>("soundMode");   // SoundMode
        QTest::addColumn<bool>("outOfLock");
        QTest::addColumn<int>("second");
        QTest::addColumn<QList<Station::TickSound>>("expected");
        using S = Station::TickSound;
        const QList<S> none;
        const QList<S> minute { S::Minute };
        const QList<S> sec { S::Second };
        const QList<S> warn { S::Warn };
        const int all = int(SoundMode::All), ool = int(SoundMode::OutOfLockOnly);
        const int ticks = int(SoundMode::ClockTicksOnly), off = int(SoundMode::None);
        QTest::newRow("all, locked, s5") << all << false << 5 << sec;
        QTest::newRow("all, unlocked, s5") << all << true << 5 << warn;
        QTest::newRow("all, unlocked, s0") << all << true << 0 << minute;
        QTest::newRow("all, locked, s59") << all << false << 59 << sec;
        QTest::newRow("ool only, locked, s5") << ool << false << 5 << none;
        QTest::newRow("ool only, unlocked, s5") << ool << true << 5 << warn;
        QTest::newRow("ool only, unlocked, s0") << ool << true << 0 << none;
        QTest::newRow("ticks only, locked, s5") << ticks << false << 5 << sec;
        QTest::newRow("ticks only, unlocked, s1") << ticks << true << 1 << none;
        QTest::newRow("ticks only, unlocked, s59") << ticks << true << 59 << none;
        QTest::newRow("ticks only, unlocked, s0") << ticks << true << 0 << minute;
        QTest::newRow("none, unlocked, s5") << off << true << 5 << none;
        QTest::newRow("none, locked, s0") << off << false << 0 << none;
    }
    void soundChoice()
    {
        QFETCH(int, soundMode);
        QFETCH(bool, outOfLock);
        QFETCH(int, second);
        QFETCH(QList<Station::TickSound>, expected);
        Rig rig;
        bool ticks = false, ool = false;
        soundFlagsOf(SoundMode(soundMode), ticks, ool);
        rig.station.setSoundFlags(ticks, ool);
        rig.state().outOfLock = outOfLock;
        rig.pulse(utcAt(12, 0, second));
        QCOMPARE(rig.sounds, expected);
    }

    void counterSettlesAtThirdTick()
    {
        Rig rig;
        for (int ch = 0; ch < Station::CounterChannels; ++ch)
            QVERIFY(!rig.station.counterSettle(ch));
        rig.pulse(utcAt(12, 0, 1));
        rig.pulse(utcAt(12, 0, 2));
        for (int ch = 0; ch < Station::CounterChannels; ++ch) {
            QVERIFY(!rig.station.counterSettle(ch));
            QCOMPARE(rig.station.counterSettleTicks(ch), 2);
        }
        rig.pulse(utcAt(12, 0, 3));
        for (int ch = 0; ch < Station::CounterChannels; ++ch)
            QVERIFY(rig.station.counterSettle(ch));

        // A settled channel stops counting; a restarted one settles three ticks later.
        rig.station.resetCounterSettle(4);
        rig.pulse(utcAt(12, 0, 4));
        rig.pulse(utcAt(12, 0, 5));
        QVERIFY(!rig.station.counterSettle(4));
        QCOMPARE(rig.station.counterSettleTicks(0), 3);
        rig.pulse(utcAt(12, 0, 6));
        QVERIFY(rig.station.counterSettle(4));
        QCOMPARE(rig.station.counterSettleTicks(4), 3);
        QVERIFY(!rig.station.counterSettle(8));   // out of range reads as not settled
    }

    void countdownsStopAtZero()
    {
        Rig rig;
        rig.state().haCountdown = 2;
        rig.state().eaCountdown = 1;
        rig.state().baCountdown = 0;
        rig.pulse(utcAt(12, 0, 1));
        QCOMPARE(rig.state().haCountdown, 1);
        QCOMPARE(rig.state().eaCountdown, 0);
        QCOMPARE(rig.state().baCountdown, 0);
        rig.pulse(utcAt(12, 0, 2));
        rig.pulse(utcAt(12, 0, 3));
        QCOMPARE(rig.state().haCountdown, 0);
        QCOMPARE(rig.state().eaCountdown, 0);
    }

    void nothingRunsWhileBusyOrClosing_data()
    {
        QTest::addColumn<bool>("busy");
        QTest::addColumn<bool>("closing");
        QTest::newRow("receiver busy") << true << false;
        QTest::newRow("closing") << false << true;
    }
    void nothingRunsWhileBusyOrClosing()
    {
        QFETCH(bool, busy);
        QFETCH(bool, closing);
        Rig rig;
        rig.station.setSoundFlags(true, true);
        rig.state().receiverMode = 2;
        rig.state().haCountdown = 5;
        rig.state().lastBbTime = 1;
        rig.state().timeMessageMissing = true;
        rig.state().nmeaTimeSeen = true;
        rig.state().receiverBusy = busy;
        rig.state().closing = closing;
        rig.pulse(utcAt(12, 0, 20));   // would poll @@Bb and @@Bj, sound and flush
        QVERIFY(rig.sink.sent.isEmpty());
        QVERIFY(rig.sounds.isEmpty());
        QCOMPARE(rig.heartbeats, 0);
        // Only the clock goes on counting while the receiver is set up.
        QCOMPARE(rig.panel.updates, busy ? 1 : 0);
        QCOMPARE(rig.state().haCountdown, 5);
        QCOMPARE(rig.station.counterSettleTicks(0), 0);
        QVERIFY(rig.state().nmeaTimeSeen);
        QVERIFY(!rig.state().timeMessageMissing);   // set false by pulse(), never re-armed
        // The panel update on its own also stands aside while closing.
        if (closing) {
            rig.station.updateClockPanel();
            QCOMPARE(rig.panel.updates, 0);
        }
    }

    void ppsMarkerAlwaysReachesRawData_data()
    {
        QTest::addColumn<bool>("busy");
        QTest::addColumn<bool>("closing");
        QTest::addColumn<int>("mode");
        QTest::newRow("busy, binary") << true << false << 2;
        QTest::newRow("busy, searching") << true << false << 11;
        QTest::newRow("closing, u-blox") << false << true << 9;
        QTest::newRow("idle, NMEA") << false << false << 6;
    }
    void ppsMarkerAlwaysReachesRawData()
    {
        QFETCH(bool, busy);
        QFETCH(bool, closing);
        QFETCH(int, mode);
        Rig rig;
        rig.fakeDrivers();
        rig.state().receiverBusy = busy;
        rig.state().closing = closing;
        rig.state().receiverMode = mode;
        emit rig.station.link().newGpsText(QByteArrayLiteral("-- PPS --"));
        QCOMPARE(rig.raw, QStringList { QStringLiteral("-- PPS --") });
        QCOMPARE(rig.gpsLog.rawLines, QStringList { QStringLiteral("-- PPS --") });
        QVERIFY(rig.motorola->seen.isEmpty());
        QVERIFY(rig.nmea->seen.isEmpty());
        QVERIFY(rig.ubx->seen.isEmpty());
        // A message, unlike the marker, waits while the receiver is set up or the program closes.
        emit rig.station.link().newGpsText(QByteArrayLiteral("$GPZDA,1"));
        const bool idle = !busy && !closing;
        QCOMPARE(rig.raw.size(), idle ? 2 : 1);
        QCOMPARE(rig.motorola->seen.size() + rig.nmea->seen.size() + rig.ubx->seen.size(), idle ? 1 : 0);
    }

    // Which family's driver each receiver mode hands a message to, and whether its lines go to
    // a Raw GPS log (every decoding mode's do).
    void dispatch_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("driver");   // m, n, u, l; empty: none
        QTest::addColumn<bool>("toLog");
        QTest::newRow("Motorola binary") << 2 << "m" << true;
        QTest::newRow("Motorola binary rx only") << 3 << "m" << true;
        QTest::newRow("Motorola NMEA") << 1 << "n" << true;
        QTest::newRow("generic NMEA") << 6 << "n" << true;
        QTest::newRow("u-blox UBX") << 9 << "u" << true;
        QTest::newRow("u-blox NMEA") << 10 << "u" << true;
        QTest::newRow("LORAN") << 0 << "l" << true;
        QTest::newRow("search") << 11 << "" << false;
        for (int mode : { 4, 5, 7, 8, -1, 12 })
            QTest::addRow("mode %d", mode) << mode << "" << false;
    }
    void dispatch()
    {
        QFETCH(int, mode);
        QFETCH(QString, driver);
        QFETCH(bool, toLog);
        Rig rig;
        rig.fakeDrivers();
        rig.state().receiverMode = mode;
        const QByteArray message("$GPZDA,1");
        emit rig.station.link().newGpsText(message);

        const QStringList lines = driver.isEmpty() ? QStringList() : QStringList { QStringLiteral("decoded $GPZ") };
        QCOMPARE(rig.raw, lines);
        QCOMPARE(rig.gpsLog.rawLines, toLog ? lines : QStringList());
        const QList<QByteArray> seen { message };
        QCOMPARE(rig.motorola->seen, driver == QLatin1String("m") ? seen : QList<QByteArray>());
        QCOMPARE(rig.nmea->seen, driver == QLatin1String("n") ? seen : QList<QByteArray>());
        QCOMPARE(rig.ubx->seen, driver == QLatin1String("u") ? seen : QList<QByteArray>());
        QCOMPARE(rig.loran->seen, driver == QLatin1String("l") ? seen : QList<QByteArray>());
    }

    // The real drivers' lines: echo prefixes, the "?  " line of what a family does not take,
    // and the LORAN answer flag.
    void driverLines_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QString>("expectedRaw");
        QTest::addColumn<bool>("toLog");
        QTest::newRow("NMEA sentence") << 6 << QByteArray("$GPXYZ,1") << "-> $GPXYZ,1" << true;
        QTest::newRow("NMEA, not a sentence") << 1 << QByteArray("hello") << "?  hello" << true;
        QTest::newRow("NMEA, too short") << 6 << QByteArray("$GPZ") << "?  $GPZ" << true;
        QTest::newRow("u-blox, NMEA sentence") << 9 << QByteArray("$GPXYZ,1") << "->  $GPXYZ,1" << true;
        QTest::newRow("u-blox, neither") << 10 << QByteArray("he\x01lo") << "?  he<01>lo" << true;
        QTest::newRow("LORAN letters and digits") << 0 << QByteArray("T0A12") << "->  T0A12" << true;
        QTest::newRow("LORAN other") << 0 << QByteArray("T0 12") << "?  T0 12" << true;
    }
    void driverLines()
    {
        QFETCH(int, mode);
        QFETCH(QByteArray, message);
        QFETCH(QString, expectedRaw);
        QFETCH(bool, toLog);
        Rig rig;
        rig.state().receiverMode = mode;
        emit rig.station.link().newGpsText(message);
        QCOMPARE(rig.raw, QStringList { expectedRaw });
        QCOMPARE(rig.gpsLog.rawLines, toLog ? QStringList { expectedRaw } : QStringList());
        QCOMPARE(rig.state().loranSeen, mode == 0 && expectedRaw.startsWith(QLatin1String("->")));
    }

    void dayChangeRestartsLogs_data()
    {
        QTest::addColumn<bool>("ticOpen");
        QTest::addColumn<int>("ticAutorestart");   // -1: key missing (default 1)
        QTest::addColumn<bool>("gpsOpen");
        QTest::addColumn<int>("gpsAutorestart");   // -1: key missing (default 1)
        QTest::addColumn<bool>("expectTicReopen");
        QTest::addColumn<bool>("expectGpsReopen");
        QTest::newRow("defaults, both open") << true << -1 << true << -1 << true << true;
        QTest::newRow("both restart") << true << 1 << true << 1 << true << true;
        QTest::newRow("no restarts") << true << 0 << true << 0 << false << false;
        QTest::newRow("closed logs stay closed") << false << 1 << false << 1 << false << false;
    }
    void dayChangeRestartsLogs()
    {
        QFETCH(bool, ticOpen);
        QFETCH(int, ticAutorestart);
        QFETCH(bool, gpsOpen);
        QFETCH(int, gpsAutorestart);
        QFETCH(bool, expectTicReopen);
        QFETCH(bool, expectGpsReopen);
        QSettings settings;
        if (ticAutorestart >= 0)
            settings.setValue(QStringLiteral("LogFiles/TicTimeLogAutorestart"), ticAutorestart);
        if (gpsAutorestart >= 0)
            settings.setValue(QStringLiteral("LogFiles/GpsLogAutorestart"), gpsAutorestart);
        Rig rig;
        QSignalSpy dayChanged(&rig.station, &Station::utcDayChanged);
        rig.gpsLog.open = gpsOpen;
        rig.counterLogs.open = ticOpen;
        const QDate d(2026, 3, 14);
        rig.pulse(utcAt(23, 59, 58, d));
        rig.pulse(utcAt(23, 59, 59, d));
        QCOMPARE(dayChanged.count(), 0);
        rig.sink.sent.clear();
        rig.pulse(utcAt(0, 0, 0, d.addDays(1)));

        QCOMPARE(dayChanged.count(), 1);
        QCOMPARE(rig.counterLogs.closes, ticOpen ? 1 : 0);
        QCOMPARE(rig.counterLogs.reopens, expectTicReopen ? 1 : 0);
        QCOMPARE(int(rig.sink.sent.count("@@Cj")), expectTicReopen ? 1 : 0);
        QCOMPARE(rig.gpsLog.closes, gpsOpen ? 1 : 0);
        QCOMPARE(rig.gpsLog.opens, expectGpsReopen ? 1 : 0);
        // The next second of the new day is no second change.
        rig.pulse(utcAt(0, 0, 1, d.addDays(1)));
        QCOMPARE(dayChanged.count(), 1);
    }

    void dayChangeSeenDespiteDecoderPanelRefresh()
    {
        Rig rig;
        rig.gpsLog.open = true;
        const QDate d(2026, 12, 31);
        rig.pulse(utcAt(23, 59, 59, d));
        // A time message for the new day arrives between ticks and the decoder refreshes the panel
        // at once, so the displayed copy already holds the new day when the tick comes.
        rig.state().receiverUtcDateTime.setDateTime(utcAt(0, 0, 0, d.addDays(1)));
        rig.state().timeMessageMissing = false;
        rig.station.updateClockPanel();
        QCOMPARE(rig.state().displayedUtcDateTime.dateTime(), utcAt(0, 0, 0, d.addDays(1)));
        emit rig.station.link().PpsTick();
        QVERIFY(rig.station.lastTickChanges().day);
        QCOMPARE(rig.gpsLog.closes, 1);
        QCOMPARE(rig.gpsLog.opens, 1);
    }

    void firstTickTakesSnapshotOnly()
    {
        Rig rig;
        rig.gpsLog.open = true;
        // The start-up value is the PC's date; the receiver reports another day.
        rig.pulse(utcAt(10, 0, 0, QDate(2020, 1, 1)));
        QVERIFY(!rig.station.lastTickChanges().day);
        QCOMPARE(rig.gpsLog.closes, 0);
    }

    void minuteChangeFlags()
    {
        Rig rig;
        rig.pulse(utcAt(12, 0, 58));
        rig.pulse(utcAt(12, 0, 59));
        QVERIFY(!rig.station.lastTickChanges().minute);
        rig.pulse(utcAt(12, 1, 0));
        QVERIFY(rig.station.lastTickChanges().minute);
        QVERIFY(!rig.station.lastTickChanges().hour);
        rig.pulse(utcAt(12, 59, 59));
        rig.pulse(utcAt(13, 0, 0));
        QVERIFY(rig.station.lastTickChanges().hour);
        QVERIFY(rig.station.lastTickChanges().minute);
        QVERIFY(!rig.station.lastTickChanges().day);
        // A tick without a new time message sees no change.
        rig.silentPulse();
        QVERIFY(!rig.station.lastTickChanges().minute);
    }

    void minuteHousekeeping_data()
    {
        QTest::addColumn<int>("second");
        QTest::addColumn<bool>("gpsOpen");
        QTest::addColumn<bool>("ticOpen");
        QTest::addColumn<bool>("ticFlushOk");
        QTest::addColumn<int>("expectGpsFlushes");
        QTest::addColumn<int>("expectTicFlushes");
        QTest::addColumn<bool>("expectTicClosed");
        QTest::newRow("second 0, all fine") << 0 << true << true << true << 1 << 1 << false;
        QTest::newRow("second 0, counter flush fails") << 0 << false << true << false << 0 << 1 << true;
        QTest::newRow("second 0, nothing open") << 0 << false << false << true << 0 << 0 << false;
        QTest::newRow("second 30") << 30 << true << true << false << 0 << 0 << false;
    }
    void minuteHousekeeping()
    {
        QFETCH(int, second);
        QFETCH(bool, gpsOpen);
        QFETCH(bool, ticOpen);
        QFETCH(bool, ticFlushOk);
        QFETCH(int, expectGpsFlushes);
        QFETCH(int, expectTicFlushes);
        QFETCH(bool, expectTicClosed);
        Rig rig;
        QSignalSpy closedOnError(&rig.station, &Station::counterLogsClosedOnError);
        rig.gpsLog.open = gpsOpen;
        rig.counterLogs.open = ticOpen;
        rig.counterLogs.flushOk = ticFlushOk;
        rig.pulse(utcAt(12, 5, second));
        QCOMPARE(rig.gpsLog.flushes, expectGpsFlushes);
        QCOMPARE(rig.counterLogs.flushes, expectTicFlushes);
        QCOMPARE(rig.counterLogs.open, ticOpen && !expectTicClosed);
        QCOMPARE(closedOnError.count(), expectTicClosed ? 1 : 0);
        const QVariant stored = QSettings().value(QStringLiteral("LogFiles/Tic Log Open"));
        if (expectTicClosed)
            QCOMPARE(stored.toBool(), false);
        else
            QVERIFY(!stored.isValid());
    }

    void writeNowRule_data()
    {
        QTest::addColumn<bool>("open");
        QTest::addColumn<int>("interval");
        QTest::addColumn<int>("second");
        QTest::addColumn<bool>("gpsSeconds");
        QTest::addColumn<int>("leap");
        QTest::addColumn<bool>("expected");
        QTest::newRow("every 60, GPS time, 18 leap, UTC 42") << true << 60 << 42 << true << 18 << true;
        QTest::newRow("every 60, GPS time, 18 leap, UTC 0") << true << 60 << 0 << true << 18 << false;
        QTest::newRow("every 60, UTC 0") << true << 60 << 0 << false << 18 << true;
        QTest::newRow("every 5, s10") << true << 5 << 10 << false << 0 << true;
        QTest::newRow("every 5, s11") << true << 5 << 11 << false << 0 << false;
        QTest::newRow("every 1") << true << 1 << 37 << false << 0 << true;
        QTest::newRow("closed") << false << 1 << 0 << false << 0 << false;
        QTest::newRow("disabled") << true << 0 << 0 << false << 0 << false;
        QTest::newRow("negative leap") << true << 30 << 2 << true << -2 << true;
    }
    void writeNowRule()
    {
        QFETCH(bool, open);
        QFETCH(int, interval);
        QFETCH(int, second);
        QFETCH(bool, gpsSeconds);
        QFETCH(int, leap);
        QFETCH(bool, expected);
        QCOMPARE(gpsLogWriteNowFor(open, interval, second, gpsSeconds, leap), expected);
    }

    void writeNowWithoutPcClock()
    {
        Rig rig;
        rig.gpsLog.open = true;
        rig.gpsLog.interval = 10;
        rig.pulse(utcAt(12, 0, 20));
        QVERIFY(rig.state().gpsLogWriteNow);
        rig.pulse(utcAt(12, 0, 21));
        QVERIFY(!rig.state().gpsLogWriteNow);

        // The stand-in GPS log reads its interval from the stored "Log Every" choice.
        Station plain;
        plain.setGpsLog(nullptr);
        QSettings().setValue(QStringLiteral("LogFiles/GPSLogEvery"), 11);
        QCOMPARE(plain.gpsLog().intervalSeconds(), 60);
        QSettings().setValue(QStringLiteral("LogFiles/GPSLogEvery"), 12);
        QCOMPARE(plain.gpsLog().intervalSeconds(), 1);
        QVERIFY(!plain.gpsLog().isOpen());
        QVERIFY(!plain.gpsLog().openNew());
    }

    void portSettingsSetReceiverMode_data()
    {
        QTest::addColumn<QString>("storedMode");   // empty: missing
        QTest::addColumn<QString>("option");
        QTest::addColumn<int>("expectedMode");
        QTest::newRow("missing") << QString() << QString() << 2;
        QTest::newRow("Generic NMEA") << QStringLiteral("Generic NMEA") << QString() << 6;
        QTest::newRow("u-blox UBX") << QStringLiteral("u-blox UBX") << QString() << 9;
        QTest::newRow("u-blox NMEA") << QStringLiteral("u-blox NMEA") << QString() << 10;
        QTest::newRow("Rx only") << QStringLiteral("Motorola Binary Rx Only") << QString() << 3;
        QTest::newRow("unknown text") << QStringLiteral("Garmin") << QString() << 11;
        QTest::newRow("--mode number") << QStringLiteral("Generic NMEA") << QStringLiteral("9") << 9;
        QTest::newRow("--mode text") << QStringLiteral("Generic NMEA") << QStringLiteral("motorola nmea") << 1;
        QTest::newRow("--mode unknown") << QStringLiteral("Generic NMEA") << QStringLiteral("7") << 6;
    }
    void portSettingsSetReceiverMode()
    {
        QFETCH(QString, storedMode);
        QFETCH(QString, option);
        QFETCH(int, expectedMode);
        QSettings settings;
        if (!storedMode.isNull())
            settings.setValue(QStringLiteral("GpsPortDialog/GPS Serial Port Mode"), storedMode);
        settings.setValue(QStringLiteral("GpsPortDialog/GPS Serial Port PPS Interface"), 2);
        Station station;
        QCOMPARE(station.state().receiverMode, 11);
        station.setLaunchOptions({ QString(), option, QString() });
        QSignalSpy read(&station, &Station::portSettingsRead);
        station.readPortSettings(settings);
        QCOMPARE(station.state().receiverMode, expectedMode);
        QCOMPARE(station.state().ppsInterface, 2);
        QCOMPARE(station.link().ppsInterface(), 2);
        QCOMPARE(read.count(), 1);
    }

    void modeFromOption_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<int>("expected");
        QTest::newRow("2") << "2" << 2;
        QTest::newRow("0") << "0" << 0;
        QTest::newRow("10") << "10" << 10;
        QTest::newRow("5 has no name") << "5" << -1;
        QTest::newRow("text") << "u-blox NMEA" << 10;
        QTest::newRow("search") << "Search" << 11;
        QTest::newRow("junk") << "fast" << -1;
        QTest::newRow("empty") << "" << -1;
    }
    void modeFromOption()
    {
        QFETCH(QString, option);
        QFETCH(int, expected);
        QCOMPARE(Station::modeFromOption(option), expected);
    }

    // The real link, fed by a transport whose DCD line the test raises: each rising edge runs the
    // cycle once, and the "-- PPS --" marker reaches the raw-data path ahead of the next message,
    // even while the receiver is being set up.
    void linkPulsesDriveTheCycle()
    {
        Rig rig;
        rig.fakeDrivers();
        rig.state().receiverMode = 2;
        rig.station.setSoundFlags(true, true);
        GpsPortSettings port;
        port.ppsInterface = 1;   // DCD
        auto transport = std::make_unique<FakeTransport>();
        FakeTransport *line = transport.get();
        rig.station.link().setPpsInterface(1);
        rig.station.link().useTransport(std::move(transport), port);
        QVERIFY(line->isOpen());

        const char ck = char('B' ^ 'o' ^ 0x00);
        const QByteArray bo = QByteArray("@@Bo\x00", 5) + ck + "\r\n";

        line->signalLines = GpsTransport::Dcd;
        QTRY_COMPARE(rig.heartbeats, 1);
        line->inject(bo);
        QCOMPARE(rig.raw, (QStringList { QStringLiteral("-- PPS --"), QStringLiteral("decoded @@Bo") }));
        QCOMPARE(rig.motorola->seen, QList<QByteArray> { QByteArray("@@Bo\x00", 5) });

        // While the receiver is set up: the marker still arrives, the frame and the tick do not.
        line->signalLines = 0;
        QTest::qWait(200);   // the 10 ms poll sees the line fall
        rig.state().receiverBusy = true;
        rig.raw.clear();
        line->signalLines = GpsTransport::Dcd;
        QTRY_VERIFY(rig.station.link().ppsPending());
        line->inject(bo);
        QCOMPARE(rig.raw, QStringList { QStringLiteral("-- PPS --") });
        QCOMPARE(rig.heartbeats, 1);
        QCOMPARE(rig.motorola->seen.size(), 1);

        // Busy over: the next edge runs the cycle again. No time message came since the first
        // tick, so it lights the heartbeat twice and adds the minute tick.
        rig.state().receiverBusy = false;
        rig.sounds.clear();
        line->signalLines = 0;
        QTest::qWait(200);
        line->signalLines = GpsTransport::Dcd;
        QTRY_COMPARE(rig.heartbeats, 3);
        QCOMPARE(rig.sounds.first(), Station::TickSound::Minute);
    }

    // A recording can be listened to but never answers: a replayed u-blox capture must be set up
    // without the MON-VER wait that would end in "UBX ERROR: COM port setup failure".
    void replayIsSetUpWithoutAnswers()
    {
        const QString dir = TestSupport::capturesDir();
        if (dir.isEmpty())
            QSKIP("captures not present");
        TestSupport::TemporarySettings temp;
        Station station;
        station.commandChannel().setPauseMs(0);
        station.setLaunchOptions({ dir + QStringLiteral("/ublox-lea-4t.log"), QStringLiteral("9"), QString() });
        {
            QSettings settings;
            station.readPortSettings(settings);
        }
        QSignalSpy sent(&station.commandChannel(), &ReceiverCommandChannel::sendGpsMessage);
        QSignalSpy described(&station.detection(), &ReceiverDetection::receiverDescription);
        QVERIFY(station.detection().initialiseReceiver());
        for (const QList<QVariant> &args : sent) {
            const QByteArray bytes = args.at(0).toByteArray();
            // No MON-VER poll (class 0A, id 04) and no port reconfiguration (CFG-PRT 06 00).
            QVERIFY(!bytes.startsWith(QByteArray::fromHex("b5620a04")));
            QVERIFY(!bytes.startsWith(QByteArray::fromHex("b5620600")));
        }
        QVERIFY(!described.isEmpty());
        QCOMPARE(described.last().at(0).toString(), QStringLiteral("u-blox UBX Mode"));
        station.setClosing();
    }

    // The Binary log keeps every receiver message in wire form: a Motorola message as it came,
    // a UBX message of any class without its check bytes; NMEA sentences are not binary.
    void binaryRecordsInWireForm_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QByteArray>("record");
        const QByteArray timTp = Ubx::frame(0x0D, 0x01, QByteArray(16, '\x01'));
        const QByteArray unknownClass = Ubx::frame(0x27, 0x00, QByteArray("\x01", 1));
        QTest::newRow("UBX TIM-TP") << 9 << Ubx::withChecksum(timTp) << timTp;
        QTest::newRow("UBX unknown class") << 9 << Ubx::withChecksum(unknownClass) << unknownClass;
        QTest::newRow("UBX bad check bytes") << 9 << timTp + QByteArray(2, '\0') << QByteArray();
        QTest::newRow("NMEA in UBX mode") << 9 << QByteArray("$GPZDA,000000.00,01,01,2027,00,00*6F") << QByteArray();
        QTest::newRow("Motorola") << 2 << QByteArray("@@Gj\x00\x01") << QByteArray("@@Gj\x00\x01");
    }
    void binaryRecordsInWireForm()
    {
        QFETCH(int, mode);
        QFETCH(QByteArray, message);
        QFETCH(QByteArray, record);
        Rig rig;
        rig.gpsLog.open = true;
        rig.state().receiverMode = mode;
        rig.station.OnNewGpsText(message);
        QCOMPARE(rig.gpsLog.records, record.isEmpty() ? QList<QByteArray>() : QList<QByteArray> { record });
        rig.station.setClosing();
    }

    // A station whose port is "OFF" (a damaged settings file, or the user's choice) searches for
    // no receiver, sends nothing, raises no box and says why nothing comes.
    void portOffSearchesNothing()
    {
        QSettings settings;
        settings.setValue(GpsPortSettings::keyPort(), GpsPortSettings::offPortName());
        Station station;
        station.readPortSettings(settings);
        QSignalSpy sent(&station.commandChannel(), &ReceiverCommandChannel::sendGpsMessage);
        QSignalSpy status(&station.detection(), &ReceiverDetection::statusText);
        QSignalSpy boxes(&station.detection(), &ReceiverDetection::warningBox);
        station.detection().connectReceiver();
        QCOMPARE(sent.size(), 0);
        QCOMPARE(boxes.size(), 0);
        QCOMPARE(status.last().at(0).toString(), QStringLiteral("GPS Receiver Port OFF"));
        station.setClosing();
    }

    void portChangeKinds_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<int>("expected");
        const int none = int(Station::PortChange::None), rate = int(Station::PortChange::RateOnly);
        const int reconnect = int(Station::PortChange::Reconnect);
        QTest::newRow("unchanged") << "" << none;
        QTest::newRow("rate") << "rate" << rate;
        QTest::newRow("rate and mode") << "rate+mode" << reconnect;
        QTest::newRow("mode") << "mode" << reconnect;
        QTest::newRow("port") << "port" << reconnect;
        QTest::newRow("pps input") << "pps" << reconnect;
    }
    void portChangeKinds()
    {
        QFETCH(QString, field);
        QFETCH(int, expected);
        GpsPortSettings before;
        before.portName = QStringLiteral("/dev/ttyS0");
        GpsPortSettings after = before;
        if (field.contains(QLatin1String("rate")))
            after.dataRate = 19200;
        if (field.contains(QLatin1String("mode")))
            after.modeText = QStringLiteral("Motorola NMEA");
        if (field == QLatin1String("port"))
            after.portName = QStringLiteral("/dev/ttyS1");
        if (field == QLatin1String("pps"))
            after.ppsInterface = 2;
        QCOMPARE(int(Station::classifyPortChange(before, after)), expected);
    }

    // Averages are written every hour and after a reset, so a killed program loses at most the
    // last hour (the pulses here are an accelerated run).
    void averagesSavedHourlyAndAfterAReset()
    {
        Rig rig;
        const QString key = QStringLiteral("GpsNavDialog/Averaging Data/Averages - Position");
        QSettings s;
        s.setValue(key, "unsaved");
        for (int second = 0; second < 3600; ++second)
            rig.pulse(utcAt(12, 0, 0).addSecs(second));
        QCOMPARE(s.value(key).toString(), QStringLiteral("unsaved"));
        rig.pulse(utcAt(13, 0, 0));
        QCOMPARE(s.value(key).toString().split(' ').size(), 4);
        s.setValue(key, "unsaved");
        rig.pulse(utcAt(13, 0, 1));
        QCOMPARE(s.value(key).toString(), QStringLiteral("unsaved"));
        rig.station.averaging().resetPositionFilter();
        rig.pulse(utcAt(13, 0, 2));
        QCOMPARE(s.value(key).toString().split(' ').size(), 4);
    }

    void usedCountClearedWhenTheModeChanges()
    {
        Rig rig;
        RecordingDisplay display;
        rig.station.setDisplay(&display);
        rig.fakeDrivers();
        rig.state().receiverMode = ReceiverMode::UbloxNmea;
        rig.station.OnNewGpsText("$GPGGA,1");
        rig.state().usedCount.set(8);
        rig.station.OnNewGpsText("$GPGGA,2");
        QCOMPARE(display.usedTexts, QStringList());
        rig.state().receiverMode = ReceiverMode::UbloxUbx;
        rig.station.OnNewGpsText(QByteArray::fromHex("b5620121"));
        QCOMPARE(display.usedTexts, QStringList { QString() });
        QCOMPARE(rig.state().usedCount.value, 0);
    }

private:
    std::unique_ptr<TestSupport::TemporarySettings> m_settings;
};

QTEST_GUILESS_MAIN(TestStation)
#include "tst_station.moc"
