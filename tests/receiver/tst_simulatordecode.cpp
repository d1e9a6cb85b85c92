// The simulated receiver's stream, framed by the link and decoded by the Motorola decoder, gives
// back what the simulation meant: identification, times, positions, satellites, sawtooth.
// The expectations come from the simulation's own truth (its epochs), never from the decoder.

#include "support/TestSupport.h"

#include "core/ReceiverState.h"
#include "receiver/motorola/MotorolaDecoder.h"
#include "receiver/nmea/NmeaDecoder.h"
#include "sim/SimulatedReceiver.h"
#include "receiver/framing/StreamFramer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

namespace {

constexpr qint64 T0 = 1767225600 + 5 * 3600 + 17;   // 2026-01-01 05:00:17 UTC
constexpr double MasDegrees = 1.0 / 3600000.0;

} // namespace

class TestSimulatorDecode : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void decodesToTheSimulatedTruth_data();
    void decodesToTheSimulatedTruth();
    void toolOutputDecodesWithTheDecodeTool_data();
    void toolOutputDecodesWithTheDecodeTool();
    void nmeaOutputDecodesToTheTruth();
};

void TestSimulatorDecode::decodesToTheSimulatedTruth_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("modelCode");
    QTest::addColumn<QString>("firmware");
    QTest::addColumn<int>("channels");
    QTest::addColumn<bool>("traim");
    QTest::newRow("M12+") << "M12+" << int(ReceiverModelCode::M12Plus) << "2.0" << 12 << true;
    QTest::newRow("UT+") << "UT+" << int(ReceiverModelCode::UTPlus) << "3.1" << 8 << true;
    QTest::newRow("VP (AMU)") << "VP" << int(ReceiverModelCode::VP) << "10.2" << 8 << false;
    QTest::newRow("M12") << "M12" << int(ReceiverModelCode::M12) << "1.3" << 12 << false;
    QTest::newRow("GT") << "GT" << int(ReceiverModelCode::GT) << "2.1" << 8 << false;
    QTest::newRow("XT (6-ch, AMU)") << "XT" << int(ReceiverModelCode::XT) << "5.1" << 6 << false;
    QTest::newRow("SSR-6Tr+") << "SSR-6Tr+" << int(ReceiverModelCode::Ssr6Tr) << "4.21" << 12 << true;
    QTest::newRow("SSR-M8T") << "SSR-M8T" << int(ReceiverModelCode::SsrM8T) << "4.21" << 12 << true;
    QTest::newRow("TX Oncore") << "TX Oncore" << int(ReceiverModelCode::TxOncore) << "1.1" << 8 << true;
    QTest::newRow("CNXT/NVMN") << "CNXT/NVMN" << int(ReceiverModelCode::CnxtNavman) << "3.2" << 8 << false;
    QTest::newRow("SIGNAV") << "SIGNAV" << int(ReceiverModelCode::Signav) << "1.2" << 12 << false;
}

void TestSimulatorDecode::decodesToTheSimulatedTruth()
{
    QFETCH(QString, model);
    QFETCH(int, modelCode);
    QFETCH(QString, firmware);
    QFETCH(int, channels);
    QFETCH(bool, traim);

    SimulatedReceiverConfig config = SimulatedReceiverConfig::forModel(model);
    config.seed = 7;
    SimulatedReceiver rx(config);
    QCOMPARE(rx.config().channels, channels);

    ReceiverState state;
    DecoderContext ctx;
    ctx.state = &state;
    MotorolaDecoder decoder(ctx);
    StreamFramer framer(2);
    QList<QByteArray> frames;
    const auto sink = [&frames](const QByteArray &f) { frames << f; };

    framer.feed(rx.streamHeader(), sink);
    for (const QByteArray &f : std::as_const(frames))
        decoder.decodeMotorolaFrame(f);
    QCOMPARE(state.receiverModel, modelCode);
    QCOMPARE(state.firmwareVersionText, firmware);
    QCOMPARE(state.ssrPlus, model.startsWith("SSR-6T") && model.endsWith("+") && !model.endsWith("++"));
    QCOMPARE(state.utcOffsetSeconds, 18);

    const char family = channels >= 12 ? 'H' : channels >= 8 ? 'E' : 'B';
    const QByteArray positionId = QByteArray("@@") + family + 'a';
    int positions = 0, lists = 0, sawtooths = 0;
    for (qint64 t = T0; t < T0 + 90; ++t) {
        const SimulatedEpoch truth = rx.epochAt(t);
        frames.clear();
        framer.feed(rx.secondOutput(t), sink);
        for (const QByteArray &f : std::as_const(frames)) {
            decoder.decodeMotorolaFrame(f);
            if (f.startsWith(positionId)) {
                ++positions;
                QCOMPARE(state.receiverUtcDateTime.dateTime(), truth.utc);
                const MotorolaDecoder::Position &p = decoder.lastPosition();
                QVERIFY(std::abs(p.latitude - truth.latitude) <= 0.5 * MasDegrees + 1e-12);
                QVERIFY(std::abs(p.longitude - truth.longitude) <= 0.5 * MasDegrees + 1e-12);
                QVERIFY(std::abs(p.altEllipsoid - truth.height) <= 0.005 + 1e-9);
                QVERIFY(std::abs(p.altMsl - truth.mslHeight) <= 0.005 + 1e-9);
                QCOMPARE(state.trackedCount.value, truth.trackedCount);
                QCOMPARE(state.visibleCount.value, truth.visibleCount);
                // Idle channels (ID 0) land in record 0; the real satellites are the rest.
                int inTrack = 0;
                for (size_t i = 1; i < state.satellites.size(); ++i)
                    inTrack += state.satellites[i].inTrack;
                QCOMPARE(inTrack, truth.trackedCount);
                for (const SimulatedSatellite &s : truth.satellites) {
                    if (s.channel < 0)
                        continue;
                    const SatelliteRecord &r = state.satellites[size_t(s.svId)];
                    QCOMPARE(r.svId, s.svId);
                    QCOMPARE(r.cNo, s.cNo);
                    QCOMPARE(int(r.trackMode), 8);
                    QCOMPARE(int(r.inTrack), 1);
                }
            } else if (f.startsWith("@@Bb")) {
                ++lists;
                for (const SimulatedSatellite &s : truth.satellites) {
                    const SatelliteRecord &r = state.satellites[size_t(s.svId)];
                    QCOMPARE(r.elevation, s.elevation);
                    QCOMPARE(r.azimuth, s.azimuth);
                    QCOMPARE(r.riseSet, s.dopplerHz > 0 ? 1 : s.dopplerHz < 0 ? -1 : r.riseSet);
                }
            } else if (f.startsWith("@@Hn") || f.startsWith("@@En") || f.startsWith("@@Bn")) {
                ++sawtooths;
                QVERIFY(state.ppsQuantizationErrorValid);
                QCOMPARE(state.ppsQuantizationError, double(truth.sawtoothNs));
            }
        }
    }
    QCOMPARE(positions, 90);
    QCOMPARE(lists, 90);
    QCOMPARE(sawtooths, traim ? 90 : 0);
}

void TestSimulatorDecode::toolOutputDecodesWithTheDecodeTool_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("modelName");   // as the decode tool names it
    QTest::newRow("M12+") << "M12+" << "M12+";
    QTest::newRow("UT+") << "UT+" << "UT+";
    QTest::newRow("VP") << "VP" << "VP";
}

void TestSimulatorDecode::toolOutputDecodesWithTheDecodeTool()
{
    QFETCH(QString, model);
    QFETCH(QString, modelName);
    const QString bin = QStringLiteral(CHRONODE_BINARY_DIR);
    const QString sim = bin + "/chronode-sim", decode = bin + "/chronode-decode";
    if (!QFileInfo::exists(sim) || !QFileInfo::exists(decode))
        QSKIP("chronode-sim or chronode-decode not built");

    QProcess simP;
    simP.start(sim, { "--model", model, "--seconds", "20", "--start", "2026-01-01T05:00:17Z", "--seed", "7" });
    QVERIFY(simP.waitForFinished(30000));
    QCOMPARE(simP.exitCode(), 0);
    const QByteArray stream = simP.readAllStandardOutput();

    // The tool writes exactly the simulation's continuous stream.
    SimulatedReceiverConfig config = SimulatedReceiverConfig::forModel(model);
    config.seed = 7;
    SimulatedReceiver rx(config);
    QByteArray expected = rx.streamHeader();
    for (qint64 t = T0; t < T0 + 20; ++t)
        expected += rx.secondOutput(t);
    QCOMPARE(stream, expected);

    QProcess decP;
    decP.start(decode, { "--mode", "motorola", "-" });
    decP.write(stream);
    decP.closeWriteChannel();
    QVERIFY(decP.waitForFinished(30000));
    QCOMPARE(decP.exitCode(), 0);
    const QList<QByteArray> lines = decP.readAllStandardOutput().split('\n');
    qint64 t = T0;
    int positions = 0;
    for (const QByteArray &line : lines) {
        if (line.trimmed().isEmpty())
            continue;
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        QVERIFY2(!o.isEmpty(), line.constData());
        const QString frame = o.value("frame").toString();
        if (frame == "@@Cj")
            QCOMPARE(o.value("model").toString(), modelName);
        if (!o.contains("lat"))
            continue;
        const SimulatedEpoch truth = rx.epochAt(t++);
        ++positions;
        QCOMPARE(QDateTime::fromString(o.value("utc").toString(), Qt::ISODateWithMs), truth.utc);
        QVERIFY(std::abs(o.value("lat").toDouble() - truth.latitude) <= 0.5 * MasDegrees + 1e-12);
        QVERIFY(std::abs(o.value("lon").toDouble() - truth.longitude) <= 0.5 * MasDegrees + 1e-12);
        QVERIFY(std::abs(o.value("altEllipsoid").toDouble() - truth.height) <= 0.005 + 1e-9);
        QCOMPARE(o.value("tracked").toInt(), truth.trackedCount);
        QCOMPARE(o.value("visible").toInt(), truth.visibleCount);
        QHash<int, int> cno;
        for (const QJsonValue &v : o.value("sats").toArray())
            cno.insert(v.toObject().value("id").toInt(), v.toObject().value("cno").toInt());
        for (const SimulatedSatellite &s : truth.satellites)
            if (s.channel >= 0)
                QCOMPARE(cno.value(s.svId, -1), s.cNo);
    }
    QCOMPARE(positions, 20);
}

void TestSimulatorDecode::nmeaOutputDecodesToTheTruth()
{
    SimulatedReceiverConfig config = SimulatedReceiverConfig::forModel("UT+");
    config.latitude = -41.2865;
    config.longitude = -174.7762;
    SimulatedReceiver rx(config);
    // Switched to NMEA the way set-up does it, GGA once a second.
    rx.receive(QByteArray("@@Ci\x01\x2b\r\n"), T0 * 1000);
    QVERIFY(rx.nmeaMode());
    rx.receive(QByteArray("$PMOTG,GGA,0001*01\r\n"), T0 * 1000);
    ReceiverState state;
    DecoderContext ctx;
    ctx.state = &state;
    NmeaDecoder decoder(ctx);
    StreamFramer framer(1);
    int fixes = 0;
    for (qint64 t = T0; t < T0 + 30; ++t) {
        const SimulatedEpoch truth = rx.epochAt(t);
        framer.feed(rx.secondOutput(t), [&](const QByteArray &sentence) {
            QVERIFY(decoder.decodeNmeaSentence(sentence));
            if (!sentence.startsWith("$GPGGA"))
                return;
            ++fixes;
            const NmeaGgaFix &fix = decoder.lastFix();
            QVERIFY(fix.present);
            QCOMPARE(fix.hours * 3600 + fix.minutes * 60 + int(fix.seconds), int(t % 86400));
            // Four decimals of a minute: within 0.000051 minute.
            QVERIFY(std::abs(fix.latitude - truth.latitude) <= 0.000051 / 60.0);
            QVERIFY(std::abs(fix.longitude - truth.longitude) <= 0.000051 / 60.0);
            QVERIFY(std::abs(fix.mslHeight - truth.mslHeight) <= 0.05 + 1e-9);
            QCOMPARE(fix.satellitesUsed, truth.trackedCount);
        });
    }
    QCOMPARE(fixes, 30);
}

QTEST_GUILESS_MAIN(TestSimulatorDecode)
#include "tst_simulatordecode.moc"
