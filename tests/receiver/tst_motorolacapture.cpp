// The Motorola decoder on real receiver bytes: gpsd's Oncore UT+ capture, compared with what
// gpsd itself reported from the same bytes.

#include "core/ReceiverState.h"
#include "receiver/motorola/MotorolaDecoder.h"
#include "core/MotorolaModels.h"
#include "receiver/framing/StreamFramer.h"
#include "support/RecordingAveraging.h"
#include "support/TestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

namespace {

struct Snapshot
{
    QByteArray id;
    QDateTime utc;
    MotorolaDecoder::Position position;
    std::array<SatelliteRecord, ReceiverState::SatelliteSlots> satellites;
    double sawtooth = 0;
};

QList<QJsonObject> chkReports(const QString &cls)
{
    QList<QJsonObject> list;
    QFile f(TestSupport::capturesDir() + QStringLiteral("/oncore-binary.log.chk"));
    if (!f.open(QIODevice::ReadOnly))
        return list;
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (!line.startsWith('{'))
            continue;
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        if (o.value("class").toString() == cls)
            list.append(o);
    }
    return list;
}

} // namespace

class TestMotorolaCapture : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void oncoreBinary();
    void weekRolloverCorrection();
};

void TestMotorolaCapture::oncoreBinary()
{
    CHRONODE_REQUIRE_CAPTURE(bytes, "oncore-binary.log");
    ReceiverState state;
    state.receiverMode = ReceiverMode::MotorolaBinary;
    RecordingAveraging averaging;
    DecoderContext ctx;
    ctx.state = &state;
    ctx.averaging = &averaging;
    ctx.options.alwaysBuildTexts = true;
    MotorolaDecoder decoder(ctx);

    QList<Snapshot> snaps;
    QList<QString> texts;
    StreamFramer framer(ReceiverMode::MotorolaBinary);
    framer.feed(bytes, [&](const QByteArray &frame) {
        const QString text = decoder.decodeMotorolaFrame(frame);
        QVERIFY2(!text.isEmpty(), frame.left(4).constData());
        texts.append(text);
        snaps.append({ frame.left(4), state.receiverUtcDateTime.dateTime(), decoder.lastPosition(),
                       state.satellites, state.ppsQuantizationError });
    });

    auto framesOf = [&](const char *id) {
        QList<Snapshot> out;
        for (const Snapshot &s : snaps)
            if (s.id == id)
                out.append(s);
        return out;
    };
    const QList<Snapshot> ea = framesOf("@@Ea");
    QCOMPARE(ea.size(), 12);
    QCOMPARE(framesOf("@@Bb").size(), 2);
    QCOMPARE(framesOf("@@Bo").size(), 12);
    const QList<Snapshot> en = framesOf("@@En");
    QCOMPARE(en.size(), 12);
    QCOMPARE(en.first().sawtooth, -7.0);
    QCOMPARE(en.at(1).sawtooth, 20.0);
    QVERIFY(state.ppsQuantizationErrorValid);
    QCOMPARE(state.utcOffsetSeconds, 18);
    QCOMPARE(averaging.positions.size(), 12);

    const QList<QJsonObject> tpv = chkReports("TPV");
    const QList<QJsonObject> sky = chkReports("SKY");
    if (tpv.isEmpty())
        QSKIP("oncore-binary.log.chk not present");
    QCOMPARE(tpv.size(), ea.size());
    QCOMPARE(sky.size(), ea.size());
    int withAzimuth = 0;
    for (int i = 0; i < ea.size(); ++i) {
        const Snapshot &s = ea.at(i);
        const QJsonObject &t = tpv.at(i);
        // The receiver's date is 1024 weeks early; gpsd reports it unchanged too.
        const QDateTime gpsdTime = QDateTime::fromString(t.value("time").toString(), Qt::ISODateWithMs);
        QCOMPARE(s.utc.toSecsSinceEpoch(), gpsdTime.toSecsSinceEpoch());
        QVERIFY(qAbs(s.position.latitude - t.value("lat").toDouble()) < 1e-8);
        QVERIFY(qAbs(s.position.longitude - t.value("lon").toDouble()) < 1e-8);
        QVERIFY(qAbs(s.position.altEllipsoid - t.value("altHAE").toDouble()) < 1e-6);
        // This receiver sends no MSL height and was not identified: nothing is filled.
        QCOMPARE(s.position.altMsl, 0.0);

        for (const QJsonValue &v : sky.at(i).value("satellites").toArray()) {
            const QJsonObject sat = v.toObject();
            const int prn = sat.value("PRN").toInt();
            const SatelliteRecord &r = s.satellites.at(prn);
            if (sat.contains("ss")) {
                QCOMPARE(r.svId, prn);
                QCOMPARE(r.cNo, sat.value("ss").toInt());
                QCOMPARE(int(r.inTrack), 1);
            }
            if (sat.contains("az")) {
                ++withAzimuth;
                QCOMPARE(r.azimuth, sat.value("az").toInt());
                QCOMPARE(r.elevation, sat.value("el").toInt());
            }
        }
    }
    QVERIFY(withAzimuth > 0);

    // With the model preset, the UT+ fills its MSL height from the geoid model. gpsd uses a
    // finer geoid (37.04 m there); the coarse table agrees within a few metres.
    ReceiverState utPlus;
    utPlus.receiverModel = ReceiverModelCode::UTPlus;
    DecoderContext c2;
    c2.state = &utPlus;
    MotorolaDecoder d2(c2);
    StreamFramer f2(ReceiverMode::MotorolaBinary);
    int filled = 0;
    f2.feed(bytes, [&](const QByteArray &frame) {
        d2.decodeMotorolaFrame(frame);
        if (frame.startsWith("@@Ea")) {
            const QJsonObject &t = tpv.at(filled++);
            QVERIFY(qAbs(d2.lastPosition().altMsl - t.value("altMSL").toDouble()) < 5.0);
        }
    });
    QCOMPARE(filled, 12);
}

// The UT+ reports August 2000 for a recording of April 2020 (the capture's header). With the
// automatic correction (a program built in December 2026) every stored time is gpsd's report
// moved one epoch on, on the day of the recording.
void TestMotorolaCapture::weekRolloverCorrection()
{
    CHRONODE_REQUIRE_CAPTURE(bytes, "oncore-binary.log");
    const QList<QJsonObject> tpv = chkReports("TPV");
    if (tpv.isEmpty())
        QSKIP("oncore-binary.log.chk not present");
    ReceiverState state;
    state.receiverMode = ReceiverMode::MotorolaBinary;
    state.weekRollover.mode = GpsWeekRollover::Automatic;
    state.weekRollover.referenceDate = QDate(2026, 12, 5);
    DecoderContext ctx;
    ctx.state = &state;
    MotorolaDecoder decoder(ctx);
    QList<QDateTime> stored;
    StreamFramer(ReceiverMode::MotorolaBinary).feed(bytes, [&](const QByteArray &frame) {
        decoder.decodeMotorolaFrame(frame);
        if (frame.startsWith("@@Ea"))
            stored.append(state.receiverUtcDateTime.dateTime());
    });
    QCOMPARE(stored.size(), tpv.size());
    for (int i = 0; i < stored.size(); ++i) {
        const QDateTime gpsd = QDateTime::fromString(tpv.at(i).value("time").toString(), Qt::ISODateWithMs);
        QCOMPARE(gpsd.date().year(), 2000);
        QCOMPARE(stored.at(i).date(), QDate(2020, 4, 10));
        QCOMPARE(stored.at(i).toSecsSinceEpoch(), gpsd.addDays(7168).toSecsSinceEpoch());
    }
}

QTEST_GUILESS_MAIN(TestMotorolaCapture)
#include "tst_motorolacapture.moc"
