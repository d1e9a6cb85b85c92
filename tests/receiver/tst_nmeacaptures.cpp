#include "support/GpsdCheck.h"
#include "support/RecordingAveraging.h"

#include "core/ReceiverState.h"
#include "averaging/AveragingInput.h"
#include "receiver/DecoderContext.h"
#include "receiver/nmea/NmeaDecoder.h"
#include "core/ReceiverMode.h"
#include "receiver/framing/StreamFramer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QtTest>

// Real receiver bytes through the link's framer and the NMEA decoder, checked against what
// gpsd reported for the same capture; and sentences that no receiver should send.

namespace {

struct Fix
{
    QTime time;
    double lat, lon, altGps, altMsl;
};

// One satellite as the table or gpsd has it: ID, elevation, azimuth, signal.
using Sat = std::array<int, 4>;

class CaptureDisplay : public StationDisplay
{
public:
    const ReceiverState *state = nullptr;
    QList<QDateTime> times;
    QList<QList<Sat>> tables;

    void refreshClockPanel() override { times.append(state->receiverUtcDateTime.dateTime()); }
    void updateSatelliteTable() override
    {
        QList<Sat> t;
        for (const SatelliteRecord &r : state->satellites)
            if (r.svId != 0)
                t.append({ r.svId, r.elevation, r.azimuth, r.cNo });
        std::sort(t.begin(), t.end());
        tables.append(t);
    }
};

struct Expected
{
    QList<QDateTime> times;                 // distinct TPV times in order
    QMap<QTime, QJsonObject> heightFixes;  // last TPV with heights, by time of day
    QList<QList<Sat>> skies;                // every SKY report with a satellite list
    QJsonObject lastSkyWithDops;
};

Expected readCheckFile(const QString &name)
{
    Expected e;
    for (const QJsonObject &o : GpsdCheck::reports(name)) {
        if (o.value("class") == "TPV") {
            const QDateTime t = QDateTime::fromString(o.value("time").toString(), Qt::ISODateWithMs);
            if (e.times.isEmpty() || e.times.last() != t)
                e.times.append(t);
            if (o.contains("altHAE"))
                e.heightFixes.insert(t.time(), o);
        } else if (o.value("class") == "SKY") {
            if (o.contains("satellites")) {
                QList<Sat> sky;
                for (const QJsonValue &v : o.value("satellites").toArray()) {
                    const QJsonObject s = v.toObject();
                    sky.append({ s.value("PRN").toInt(), qRound(s.value("el").toDouble()),
                                 qRound(s.value("az").toDouble()),
                                 qRound(s.value("ss").toDouble(0.0)) });
                }
                std::sort(sky.begin(), sky.end());
                e.skies.append(sky);
            }
            if (o.contains("hdop"))
                e.lastSkyWithDops = o;
        }
    }
    return e;
}

QtMessageHandler previousHandler = nullptr;
int warningsSeen = 0;
void countWarnings(QtMsgType type, const QMessageLogContext &, const QString &)
{
    if (type == QtWarningMsg)
        ++warningsSeen;
}

} // namespace

class TestNmeaCaptures : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void capture_data();
    void capture();
    void randomSentencesNeverBreakTheState();
    void truncatedSentencesNeverBreakTheState();

private:
    static void checkInvariants(const ReceiverState &s);
};

void TestNmeaCaptures::capture_data()
{
    QTest::addColumn<QString>("log");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("model");
    QTest::addColumn<int>("used");
    QTest::addColumn<int>("sentences");
    QTest::newRow("oncore GT+ in NMEA mode") << QStringLiteral("oncore.log")
                                             << int(ReceiverMode::MotorolaNmea) << 2 << 3 << 46;
    QTest::newRow("garmin 15x") << QStringLiteral("garmin15x.log")
                                << int(ReceiverMode::GenericNmea) << 15 << 8 << 57;
}

void TestNmeaCaptures::capture()
{
    QFETCH(QString, log);
    QFETCH(int, mode);
    QFETCH(int, model);
    QFETCH(int, used);
    QFETCH(int, sentences);
    const QByteArray bytes = TestSupport::captureBytes(log);
    if (bytes.isEmpty())
        QSKIP("capture not present");
    const Expected want = readCheckFile(log);
    QVERIFY(!want.times.isEmpty());

    ReceiverState state;
    state.receiverMode = mode;
    state.receiverModel = model;
    RecordingAveraging averaging;
    CaptureDisplay display;
    display.state = &state;
    DecoderContext ctx;
    ctx.state = &state;
    ctx.averaging = &averaging;
    ctx.display = &display;
    NmeaDecoder decoder(ctx);

    // Every GGA position is checked against gpsd's report for the same second.
    QList<Fix> ggaFixes;
    int decoded = 0;
    StreamFramer framer(mode);
    framer.feed(bytes, [&](const QByteArray &s) {
        const qsizetype before = averaging.positions.size();
        QVERIFY(decoder.decodeNmeaSentence(s));
        ++decoded;
        if (averaging.positions.size() > before) {
            const RecordingAveraging::Position &p = averaging.positions.last();
            Fix f { QTime(), p.lat, p.lon, p.altGps, p.altMsl };
            const NmeaGgaFix &gga = decoder.lastFix();
            f.time = QTime(gga.hours, gga.minutes, int(gga.seconds));
            ggaFixes.append(f);
        }
    });
    QCOMPARE(decoded, sentences);

    // Times: one per RMC, the same seconds gpsd reported.
    QList<QDateTime> times;
    for (const QDateTime &t : std::as_const(display.times))
        if (times.isEmpty() || times.last() != t)
            times.append(t);
    QCOMPARE(times, want.times);
    QCOMPARE(state.receiverUtcDateTime.dateTime(), want.times.last());

    QVERIFY(!ggaFixes.isEmpty());
    for (const Fix &f : std::as_const(ggaFixes)) {
        QVERIFY2(want.heightFixes.contains(f.time), qPrintable(f.time.toString()));
        const QJsonObject o = want.heightFixes.value(f.time);
        QVERIFY(qAbs(f.lat - o.value("lat").toDouble()) < 1e-8);
        QVERIFY(qAbs(f.lon - o.value("lon").toDouble()) < 1e-8);
        QVERIFY(qAbs(f.altGps - o.value("altHAE").toDouble()) < 1e-6);
        QVERIFY(qAbs(f.altMsl - o.value("altMSL").toDouble()) < 1e-6);
    }

    // Satellites: the table after each complete GSV set is gpsd's sky of that moment.
    QCOMPARE(want.skies.size(), 7);
    QCOMPARE(display.tables, want.skies);
    QCOMPARE(state.visibleCount.value, int(want.skies.last().size()));

    QCOMPARE(averaging.timingSatellites.last(), used);
    // The last value of each DOP the sentences gave (a negative one is "not given").
    QList<double> lastDops(5, -1.0);
    for (const QList<double> &d : averaging.dopLists())
        for (int i = 0; i < 5; ++i)
            lastDops[i] = d[i] >= 0 ? d[i] : lastDops[i];
    QCOMPARE(state.usedCount.value, used);
    const QJsonObject dops = want.lastSkyWithDops;
    QCOMPARE(lastDops[2], dops.value("hdop").toDouble());
    if (dops.contains("pdop")) {
        QCOMPARE(lastDops[1], dops.value("pdop").toDouble());
        QCOMPARE(lastDops[3], dops.value("vdop").toDouble());
    }
    checkInvariants(state);
}

void TestNmeaCaptures::checkInvariants(const ReceiverState &s)
{
    for (int i = 0; i < ReceiverState::SatelliteSlots; ++i) {
        const SatelliteRecord &r = s.satellites[size_t(i)];
        if (r.svId == 0) {
            QCOMPARE(r, SatelliteRecord {});
            continue;
        }
        QCOMPARE(r.svId, i);
        QVERIFY(r.elevation >= -90 && r.elevation <= 90);
        QVERIFY(r.azimuth >= -1 && r.azimuth <= 359);
        QVERIFY(r.cNo >= 0 && r.cNo <= 99);
    }
    QVERIFY(s.visibleCount.value >= 0);
}

void TestNmeaCaptures::randomSentencesNeverBreakTheState()
{
    static const char *const heads[] = {
        "$GPGGA", "$GNGGA", "$GPGSV", "$GLGSV", "$GAGSV", "$BDGSV", "$GPGSA", "$GPRMC",
        "$GPZDA", "$GPVTG", "$GPGLL", "$GPTXT", "$PGRMT", "$PGRMI", "$PGRMC", "$PGRMO",
        "$PMOTG", "$GPALM", "$PSYN", "$GPXXX",
    };
    static const char alphabet[] = "0123456789,,,,,..-+*ANSEWMVZ= \x01\xff";
    QRandomGenerator rng(20261205);
    ReceiverState state;
    state.receiverMode = ReceiverMode::UbloxNmea;
    state.receiverModel = 10;
    state.firmwareVersion = 7.5;
    state.rawWindowOpened = true;
    DecoderContext ctx;
    ctx.state = &state;
    NmeaDecoder decoder(ctx);

    warningsSeen = 0;
    previousHandler = qInstallMessageHandler(countWarnings);
    int accepted = 0;
    int longEnough = 0;
    for (int i = 0; i < 20000; ++i) {
        QByteArray s = heads[rng.bounded(int(std::size(heads)))];
        const int n = rng.bounded(160);
        for (int k = 0; k < n; ++k)
            s += alphabet[rng.bounded(int(sizeof(alphabet) - 1))];
        accepted += decoder.decodeNmeaSentence(s) ? 1 : 0;
        longEnough += s.size() >= 7 ? 1 : 0;
    }
    // Arbitrary bytes, not only what the link lets through.
    for (int i = 0; i < 2000; ++i) {
        QByteArray s(rng.bounded(300), Qt::Uninitialized);
        for (char &c : s)
            c = char(rng.bounded(256));
        if (i % 2 == 0)
            s.prepend('$');
        decoder.decodeNmeaSentence(s);
    }
    qInstallMessageHandler(previousHandler);
    QCOMPARE(accepted, longEnough);
    QVERIFY(warningsSeen > 0);   // the bad dates were noticed, not stored
    checkInvariants(state);
}

void TestNmeaCaptures::truncatedSentencesNeverBreakTheState()
{
    QList<QByteArray> samples = {
        "$GPZDA,171245.00,08,04,2005,00,00*4F",
        "$GPGSA,A,3,02,05,11,12,18,20,25,29,,,,,1.4,1.1,0.9*3D",
        "$PGRMI,5209.784,N,02048.482,E,080405,171245,A*00",
        "$PGRMC,A,218.8,100,6378137.000,298.257223563,0.0,0.0,0.0,A,3,1,1,4,30*00",
        "$PGRMO,GPGGA,1*00",
        "$PGRMT,GPS 15x-W software ver. 4.20,P,P,R,R,P,C,31,R*00",
        "$GNTXT,01,01,02,ANTSTATUS=OK*00",
    };
    for (const char *name : { "oncore.log", "garmin15x.log" })
        samples += TestSupport::captureBytes(QString::fromLatin1(name)).split('\n');

    ReceiverState state;
    state.receiverMode = ReceiverMode::MotorolaNmea;
    state.receiverModel = 6;
    state.firmwareVersion = 5.0;
    DecoderContext ctx;
    ctx.state = &state;
    DecoderOptions options;
    options.alwaysBuildTexts = true;
    ctx.options = options;
    NmeaDecoder decoder(ctx);

    previousHandler = qInstallMessageHandler(countWarnings);
    int fed = 0;
    for (QByteArray s : std::as_const(samples)) {
        s = s.trimmed();
        for (qsizetype len = 0; len <= s.size(); ++len) {
            decoder.decodeNmeaSentence(s.left(len));
            // The same cut with a fresh checksum, as a receiver that sends short sentences.
            decoder.decodeNmeaSentence(s.left(len) + "*00");
            ++fed;
        }
    }
    qInstallMessageHandler(previousHandler);
    // Every prefix of every sample went in: far more with the real captures present.
    QVERIFY(fed > (TestSupport::capturesDir().isEmpty() ? 100 : 1000));
    checkInvariants(state);
}

QTEST_GUILESS_MAIN(TestNmeaCaptures)
#include "tst_nmeacaptures.moc"
