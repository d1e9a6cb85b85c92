// Today's u-blox timing receivers on real bytes: gpsd's M8T (surveyed-in time mode, with the
// recording tool's JSON lines before the receiver's output) and ZED-F9T (UBX and NMEA mixed)
// captures, decoded as the program does and compared with what gpsd reported for them.

#include "support/TestSupport.h"

#include "averaging/AveragingInput.h"
#include "core/ReceiverState.h"
#include "receiver/framing/StreamFramer.h"
#include "receiver/nmea/NmeaDecoder.h"
#include "receiver/ubx/UbxDecoder.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

namespace {

using Sat = std::array<int, 4>;   // table ID, elevation, azimuth, C/No

struct Positions : AveragingInput
{
    const ReceiverState *state = nullptr;
    QList<std::pair<QDateTime, std::array<double, 2>>> fixes;
    void updatePosition(double lat, double lon, double, double) override
    {
        fixes.append({ state->receiverUtcDateTime.dateTime(), { lat, lon } });
    }
    void setDops(double, double, double, double, double) override {}
    void setFixType(int) override {}
    void setTimingSatellites(int) override {}
    void setSpeedKnots(double) override {}
    void setHeadingDegrees(double) override {}
    void setFixQuality(int) override {}
    QString dopText() const override { return {}; }
};

// gpsd's GNSS numbering moved into the table's (as the GSV decoder numbers satellites);
// 0 for satellites the table has no place for (BeiDou above 37).
int tableId(int gnssId, int svId)
{
    switch (gnssId) {
    case 0: case 1: return svId;
    case 2: return 210 + svId;
    case 3: return svId <= 5 ? 158 + svId : svId <= 37 ? 27 + svId : 0;
    case 5: return 192 + svId;
    case 6: return 64 + svId;
    default: return 0;
    }
}

// GPS time of week (ms) of a UTC time, for 18 leap seconds.
uint32_t towMs(const QDateTime &utc)
{
    static const QDateTime epoch(QDate(1980, 1, 6), QTime(0, 0), QTimeZone::utc());
    return uint32_t(((epoch.secsTo(utc) + 18) % 604800) * 1000);
}

} // namespace

class TestUbxCaptures : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void capture_data();
    void capture();
};

void TestUbxCaptures::capture_data()
{
    QTest::addColumn<QString>("log");
    QTest::addColumn<int>("skies");       // NAV-SAT epochs compared with gpsd
    QTest::addColumn<int>("positions");   // fixes compared with gpsd
    QTest::newRow("M8T") << QStringLiteral("u-blox-m8t-time.log") << 151 << 149;
    QTest::newRow("ZED-F9T") << QStringLiteral("ublox-zed-f9t-ubx_nmea_l5.log") << 9 << 9;
}

void TestUbxCaptures::capture()
{
    QFETCH(QString, log);
    QFETCH(int, skies);
    QFETCH(int, positions);
    const QByteArray bytes = TestSupport::captureBytes(log);
    QFile chk(TestSupport::capturesDir() + QLatin1Char('/') + log + QStringLiteral(".chk"));
    if (bytes.isEmpty() || !chk.open(QIODevice::ReadOnly))
        QSKIP("capture not present");

    // gpsd: fix times and positions, and the sky it built from each NAV-SAT (the reports
    // carrying a signal quality), by time of week.
    QList<QDateTime> wantTimes;
    QMap<QDateTime, std::array<double, 2>> wantFix;
    QMap<uint32_t, QJsonObject> wantSky;
    for (const QByteArray &line : chk.readAll().split('\n')) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        const QDateTime t = QDateTime::fromString(o.value("time").toString(), Qt::ISODateWithMs);
        if (o.value("class") == "TPV" && t.isValid()) {
            if (wantTimes.isEmpty() || wantTimes.last() != t)
                wantTimes.append(t);
            wantFix.insert(t, { o.value("lat").toDouble(), o.value("lon").toDouble() });
        } else if (o.value("class") == "SKY" && t.isValid() && !wantSky.contains(towMs(t))
                   && line.contains("\"qual\"")) {
            wantSky.insert(towMs(t), o);
        }
    }
    QVERIFY(!wantTimes.isEmpty());

    ReceiverState state;
    state.receiverMode = ReceiverMode::UbloxUbx;
    Positions engine;
    engine.state = &state;
    DecoderContext ctx { &state, &engine, nullptr, nullptr, {} };
    UbxDecoder ubx(ctx);
    NmeaDecoder nmea(ctx);
    QList<QDateTime> times;
    int comparedSkies = 0;
    int comparedSats = 0;
    StreamFramer framer(ReceiverMode::UbloxUbx);
    framer.feed(bytes, [&](const QByteArray &m) {
        // The recording tool's JSON lines never come out of the framer.
        QVERIFY2(m.startsWith('$') || m.startsWith("\xB5\x62"), m.left(20).constData());
        if (m.startsWith('$'))
            QVERIFY(nmea.decodeNmeaSentence(m));
        else
            QVERIFY(!ubx.decodeUbxFrame(m).contains(QLatin1String("Unknown")));
        if (times.isEmpty() || times.last() != state.receiverUtcDateTime.dateTime())
            times.append(state.receiverUtcDateTime.dateTime());
        if (!m.startsWith("\xB5\x62\x01\x35"))
            return;
        const uint32_t tow = uint8_t(m[6]) | uint8_t(m[7]) << 8 | uint8_t(m[8]) << 16 | uint32_t(uint8_t(m[9])) << 24;
        if (!wantSky.contains(tow))
            return;
        const QJsonObject sky = wantSky.value(tow);
        QList<Sat> want;
        for (const QJsonValue &v : sky.value("satellites").toArray()) {
            const QJsonObject s = v.toObject();
            const int id = tableId(s.value("gnssid").toInt(), s.value("svid").toInt());
            if (id > 0)
                want.append({ id, s.contains("el") ? qRound(s.value("el").toDouble()) : -1,
                              s.contains("el") ? qRound(s.value("az").toDouble()) : -1, qRound(s.value("ss").toDouble()) });
        }
        std::sort(want.begin(), want.end());
        QList<Sat> got;
        for (const SatelliteRecord &r : state.satellites)
            if (r.svId != 0)
                got.append({ r.svId, r.elevation, r.azimuth, r.cNo });
        QCOMPARE(got.size(), want.size());
        for (int i = 0; i < got.size(); ++i) {
            QCOMPARE(got[i][0], want[i][0]);
            for (int k = 1; k < 4; ++k)
                QVERIFY2(qAbs(got[i][k] - want[i][k]) <= 1, qPrintable(QString::number(got[i][0])));
        }
        QCOMPARE(state.visibleCount.value, sky.value("nSat").toInt());
        ++comparedSkies;
        comparedSats += int(got.size());
    });
    QCOMPARE(comparedSkies, skies);
    QVERIFY(comparedSats > 12 * skies);

    // Every second gpsd reported was a second of the receiver time, in order.
    QList<QDateTime> seconds;
    for (const QDateTime &t : std::as_const(times))
        if (t.time().msec() == 0 && t >= wantTimes.first() && t <= wantTimes.last()
            && (seconds.isEmpty() || seconds.last() != t))
            seconds.append(t);
    QCOMPARE(seconds, wantTimes);

    int comparedFixes = 0;
    for (const auto &[t, f] : std::as_const(engine.fixes)) {
        if (!wantFix.contains(t))
            continue;
        QVERIFY(qAbs(f[0] - wantFix.value(t)[0]) < 1e-6);
        QVERIFY(qAbs(f[1] - wantFix.value(t)[1]) < 1e-6);
        ++comparedFixes;
    }
    QVERIFY2(comparedFixes >= positions, qPrintable(QString::number(comparedFixes)));
}

QTEST_GUILESS_MAIN(TestUbxCaptures)
#include "tst_ubxcaptures.moc"
