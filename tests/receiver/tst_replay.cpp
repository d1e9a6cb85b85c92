// Capture replay: cutting a capture into seconds and playing one second per 1PPS edge.

#include "support/TestSupport.h"

#include "transport/GpsPortSettings.h"
#include "receiver/framing/MotorolaFramer.h"
#include "transport/ReplayTransport.h"
#include "sim/SimulatedReceiver.h"

#include <QRegularExpression>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryFile>
#include <QtTest>

namespace {

constexpr qint64 T0 = 1767225600;   // 2026-01-01 00:00:00 UTC

QByteArray nmea(const QByteArray &body)
{
    uint8_t x = 0;
    for (char c : body)
        x ^= uint8_t(c);
    return "$" + body + "*" + QByteArray::number(x, 16).rightJustified(2, '0').toUpper() + "\r\n";
}

QByteArray ubxNav(uint8_t id, uint32_t itowMs, int extra)
{
    QByteArray payload;
    for (int i = 0; i < 4; ++i)
        payload.append(char((itowMs >> (8 * i)) & 0xFF));
    payload.append(QByteArray(extra, '\x11'));
    QByteArray f("\xB5\x62\x01", 3);
    f.append(char(id));
    f.append(char(payload.size() & 0xFF));
    f.append(char(payload.size() >> 8));
    f += payload;
    uint8_t a = 0, b = 0;
    for (qsizetype i = 2; i < f.size(); ++i) {
        a = uint8_t(a + uint8_t(f[i]));
        b = uint8_t(b + a);
    }
    f.append(char(a));
    f.append(char(b));
    return f;
}

// Seconds of a simulated receiver's continuous output, with an answer that sits before the
// first position message.
QByteArray simulatedStream(const QString &model, int seconds)
{
    SimulatedReceiver rx(SimulatedReceiverConfig::forModel(model));
    QByteArray s = rx.identificationFrame();
    for (qint64 t = T0; t < T0 + seconds; ++t)
        s += rx.secondOutput(t);
    return s;
}

} // namespace

class TestReplay : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void commentsAreStripped_data();
    void commentsAreStripped();
    void secondsFromTimeMessages_data();
    void secondsFromTimeMessages();
    void streamWithoutTimesIsPacedByRate();
    void suggestedMode_data();
    void suggestedMode();
    void oneSecondPerEdge();
    void loopingStartsOver();
    void missingFileFailsToOpen();
    void oncoreCaptureIsCutAtItsPositionMessages();
    void otherCapturesAreCutAtTheirTimes_data();
    void otherCapturesAreCutAtTheirTimes();
};

void TestReplay::commentsAreStripped_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("stream");
    QTest::newRow("header") << QByteArray("# Name: x\n#\n# more\n@@Bo\x12?\r\n") << QByteArray("@@Bo\x12?\r\n");
    QTest::newRow("raw") << QByteArray("@@Bo\x12?\r\n# not a header\n") << QByteArray("@@Bo\x12?\r\n# not a header\n");
    QTest::newRow("only comments, no newline") << QByteArray("# a\n# b") << QByteArray();
    QTest::newRow("empty") << QByteArray() << QByteArray();
}

void TestReplay::commentsAreStripped()
{
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, stream);
    QCOMPARE(ReplayTransport::stripComments(file), stream);
}

void TestReplay::secondsFromTimeMessages_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<int>("seconds");
    QTest::addColumn<QByteArray>("startsWith");   // every second after the first begins so
    QTest::newRow("M12+ Ha") << simulatedStream("M12+", 7) << 7 << QByteArray("@@Ha");
    QTest::newRow("UT+ Ea") << simulatedStream("UT+", 5) << 5 << QByteArray("@@Ea");
    QTest::newRow("XT Ba") << simulatedStream("XT", 4) << 4 << QByteArray("@@Ba");
    QByteArray n;
    for (int s = 0; s < 3; ++s) {
        const QByteArray hms = "1200" + QByteArray::number(10 + s);
        n += nmea("GPRMC," + hms + ",A,4722.0,N,00832.9,E,0.0,0.0,010126,,");
        n += nmea("GPGGA," + hms + ",4722.0,N,00832.9,E,1,09,1.0,462.4,M,47.6,M,,");
        n += nmea("GPGSV,1,1,01,07,45,120,44");
    }
    QTest::newRow("NMEA") << n << 3 << QByteArray("$GPRMC");
    QByteArray u;
    for (uint32_t s = 0; s < 4; ++s) {
        u += ubxNav(0x03, 1000 * (100 + s), 12);   // NAV-STATUS
        u += ubxNav(0x06, 1000 * (100 + s), 48);   // NAV-SOL
        u += QByteArray("\xB5\x62\x0D\x01\x00\x00\x0E\x37", 8);   // another class: not a clock
    }
    QTest::newRow("UBX") << u << 4 << QByteArray("\xB5\x62\x01\x03", 4);
    // A time message with a broken checksum does not start a second.
    QByteArray broken = simulatedStream("UT+", 3);
    const qsizetype second = broken.indexOf("@@Ea", broken.indexOf("@@Ea") + 1);
    broken[second + 20] = char(broken[second + 20] ^ 0x55);
    QTest::newRow("damaged position message") << broken << 2 << QByteArray("@@Ea");
}

void TestReplay::secondsFromTimeMessages()
{
    QFETCH(QByteArray, stream);
    QFETCH(int, seconds);
    QFETCH(QByteArray, startsWith);
    const QList<QByteArray> parts = ReplayTransport::splitSeconds(stream);
    QCOMPARE(parts.size(), seconds);
    QCOMPARE(parts.join(), stream);
    for (int i = 1; i < parts.size(); ++i)
        QVERIFY2(parts[i].startsWith(startsWith), qPrintable(QString::number(i)));
}

void TestReplay::streamWithoutTimesIsPacedByRate()
{
    const QByteArray stream(2500, 'x');
    const QList<QByteArray> parts = ReplayTransport::splitSeconds(stream);
    QCOMPARE(parts.size(), 3);
    QCOMPARE(parts[0].size(), 960);
    QCOMPARE(parts.join(), stream);
    QVERIFY(ReplayTransport::splitSeconds({}).isEmpty());
}

void TestReplay::suggestedMode_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<int>("mode");
    QTest::newRow("Motorola") << simulatedStream("VP", 2) << 3;
    QTest::newRow("UBX") << ubxNav(0x06, 5000, 4) << 9;
    QTest::newRow("NMEA") << nmea("GPGGA,120000,,,,,0,00,,,,,,,") << 6;
    QTest::newRow("nothing") << QByteArray("noise") << 6;
}

void TestReplay::suggestedMode()
{
    QFETCH(QByteArray, stream);
    QFETCH(int, mode);
    QCOMPARE(ReplayTransport::suggestedMode(stream), mode);
}

void TestReplay::oneSecondPerEdge()
{
    const QByteArray stream = simulatedStream("M12+", 4);
    const QList<QByteArray> parts = ReplayTransport::splitSeconds(stream);
    ReplayTransport t(stream, SimulationClock::manual(T0 * 1000 + 250));
    QSignalSpy ready(&t, &GpsTransport::readyRead);
    QSignalSpy edges(&t, &ReplayTransport::ppsEdge);
    QSignalSpy done(&t, &ReplayTransport::finished);
    QVERIFY(t.open(GpsPortSettings()));
    QCOMPARE(t.write("@@Cj"), qint64(4));   // swallowed
    bool previous = false;
    int rising = 0;
    QList<QByteArray> received;
    for (qint64 ms = 260; ms <= 6000; ms += 10) {
        t.clock().setNowMs(T0 * 1000 + ms);
        t.pump();
        const bool level = t.modemSignals() & GpsTransport::Dcd;
        if (level && !previous)
            ++rising;
        previous = level;
        const QByteArray got = t.readAll();
        if (!got.isEmpty()) {
            received << got;
            // Each second's bytes come just after its edge, never before.
            QCOMPARE(ms % 1000, qint64(PacedPpsSource::MessageDelayMs));
        }
    }
    QCOMPARE(edges.count(), 4);
    QCOMPARE(rising, 4);
    QCOMPARE(received, parts);
    QCOMPARE(ready.count(), 4);
    QCOMPARE(done.count(), 1);
    QVERIFY(t.isFinished());
    QCOMPARE(t.secondsPlayed(), 4);
}

void TestReplay::loopingStartsOver()
{
    const QByteArray stream = simulatedStream("UT+", 2);
    ReplayTransport t(stream, SimulationClock::manual(T0 * 1000));
    t.setLooping(true);
    QSignalSpy done(&t, &ReplayTransport::finished);
    t.open(GpsPortSettings());
    QByteArray all;
    for (int s = 1; s <= 5; ++s) {
        t.clock().setNowMs((T0 + s) * 1000 + 100);
        t.pump();
        all += t.readAll();
    }
    const QList<QByteArray> parts = ReplayTransport::splitSeconds(stream);
    QCOMPARE(all, parts[0] + parts[1] + parts[0] + parts[1] + parts[0]);
    QCOMPARE(done.count(), 0);
    QVERIFY(!t.isFinished());
}

void TestReplay::missingFileFailsToOpen()
{
    ReplayTransport t(QStringLiteral("/nonexistent/capture.log"), SimulationClock::manual(0));
    QSignalSpy errors(&t, &GpsTransport::errorOccurred);
    QVERIFY(!t.open(GpsPortSettings()));
    QVERIFY(!t.isOpen());
    QCOMPARE(errors.count(), 1);
    QCOMPARE(errors.first().first().toInt(), 1);
    QCOMPARE(t.name(), QStringLiteral("capture.log"));

    // A file with a header loads without it.
    QTemporaryFile f;
    QVERIFY(f.open());
    const QByteArray stream = simulatedStream("VP", 3);
    f.write("# Name: simulated VP\n#\n" + stream);
    f.close();
    ReplayTransport fromFile(f.fileName(), SimulationClock::manual(0));
    QVERIFY(fromFile.open(GpsPortSettings()));
    QCOMPARE(fromFile.seconds().join(), stream);
    QCOMPARE(fromFile.seconds().size(), 3);
    QCOMPARE(ReplayTransport::suggestedModeForFile(f.fileName()), 3);
    QCOMPARE(ReplayTransport::suggestedModeForFile(QStringLiteral("/nonexistent/capture.log")), -1);
}

void TestReplay::oncoreCaptureIsCutAtItsPositionMessages()
{
    CHRONODE_REQUIRE_CAPTURE(bytes, "oncore-binary.log");
    const QList<QByteArray> parts = ReplayTransport::splitSeconds(bytes);
    QCOMPARE(parts.join(), bytes);
    QCOMPARE(ReplayTransport::suggestedMode(bytes), 3);
    // One second per distinct time of the "@@Ea" messages, each (after the first) opening with one.
    MotorolaFramer framer;
    bool pps = false;
    QList<QByteArray> times;
    framer.feed(bytes, pps, [&times](const QByteArray &f) {
        if (f.startsWith("@@Ea") && !times.contains(f.mid(8, 3)))
            times << f.mid(8, 3);
    });
    QVERIFY(times.size() >= 10);
    QCOMPARE(parts.size(), times.size());
    for (int i = 1; i < parts.size(); ++i)
        QVERIFY(parts[i].startsWith("@@Ea"));
}

void TestReplay::otherCapturesAreCutAtTheirTimes_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("mode");
    QTest::newRow("Oncore NMEA") << "oncore.log" << 6;
    QTest::newRow("Garmin NMEA") << "garmin15x.log" << 6;
    QTest::newRow("u-blox UBX") << "ublox-lea-4t.log" << 9;
}

void TestReplay::otherCapturesAreCutAtTheirTimes()
{
    QFETCH(QString, file);
    QFETCH(int, mode);
    const QByteArray bytes = TestSupport::captureBytes(file);
    if (bytes.isEmpty())
        QSKIP("capture not present");
    const QList<QByteArray> parts = ReplayTransport::splitSeconds(bytes);
    QCOMPARE(parts.join(), bytes);
    QCOMPARE(ReplayTransport::suggestedMode(bytes), mode);
    if (mode == 6) {
        // As many seconds as distinct RMC/GGA times, each opening with its first sentence.
        QSet<QByteArray> times;
        const QRegularExpression re(QStringLiteral("\\$G[PN](RMC|GGA),(\\d{6})"));
        for (auto it = re.globalMatch(QString::fromLatin1(bytes)); it.hasNext();)
            times.insert(it.next().captured(2).toLatin1());
        QVERIFY(times.size() >= 5);
        QCOMPARE(parts.size(), times.size());
        for (int i = 1; i < parts.size(); ++i)
            QVERIFY(parts[i].startsWith("$GPRMC") || parts[i].startsWith("$GPGGA"));
    } else {
        QVERIFY(parts.size() >= 2);
        for (int i = 1; i < parts.size(); ++i)
            QVERIFY(parts[i].startsWith("\xB5\x62\x01"));
    }
}

QTEST_GUILESS_MAIN(TestReplay)
#include "tst_replay.moc"
