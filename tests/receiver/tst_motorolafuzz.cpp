// Random and mutated frames of every Motorola identifier, under every receiver model: the
// decoder must neither crash nor read outside the frame (run under the sanitizers too), and
// what it stores must stay within its ranges.

#include "core/ReceiverState.h"
#include "receiver/motorola/MotorolaDecoder.h"
#include "receiver/motorola/MotorolaFrame.h"
#include "receiver/framing/MotorolaFramer.h"
#include "receiver/framing/StreamFramer.h"
#include "support/MotorolaFixture.h"
#include "support/TestSupport.h"

#include <QRandomGenerator>
#include <QtTest>

namespace {

QList<QByteArray> identifiers()
{
    QList<QByteArray> ids;
    for (char g = 'A'; g <= 'Z'; ++g) {
        for (int k = 0; k < 52; ++k) {
            const char l = k < 26 ? char('A' + k) : char('a' + k - 26);
            if (MotorolaFramer::messageLength(g, l) >= 0)
                ids.append(QByteArray("@@") + g + l);
        }
    }
    return ids;
}

QByteArray randomBytes(QRandomGenerator &rng, qsizetype n)
{
    QByteArray b(n, '\0');
    for (qsizetype i = 0; i < n; ++i)
        b[i] = char(rng.bounded(256));
    return b;
}

struct Harness : MotorolaFixture
{
    qsizetype longestText = 0;
    Harness()
        : MotorolaFixture(ReceiverModelCode::Unknown)
    {
    }
    void decode(const QByteArray &f)
    {
        longestText = qMax(longestText, decoder.decodeMotorolaFrame(f).size());
        // Keep the recorders small: only the invariants matter here.
        if (display.receiverIdTexts.size() > 64)
            display.receiverIdTexts.clear();
        if (averaging.positions.size() > 64)
            averaging = RecordingAveraging();
    }
    bool stateInRange() const
    {
        for (const SatelliteRecord &r : state.satellites) {
            if (r.svId < 0 || r.svId > 255 || r.cNo < 0 || r.cNo > 255 || r.elevation < 0 || r.elevation > 255
                || r.azimuth < 0 || r.azimuth > 65535 || r.riseSet < -1 || r.riseSet > 1)
                return false;
        }
        return state.haCountdown >= 0 && state.haCountdown <= 5 && state.eaCountdown >= 0 && state.eaCountdown <= 5
            && state.visibleCount.value >= 0 && state.visibleCount.value <= 255
            && std::abs(state.ppsQuantizationError) <= 128;
    }
};

} // namespace

class TestMotorolaFuzz : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void randomFramesOfEveryIdentifier();
    void mutatedCaptureFrames();
    void randomStreamsThroughTheFramer();
};

void TestMotorolaFuzz::randomFramesOfEveryIdentifier()
{
    const QList<QByteArray> ids = identifiers();
    QVERIFY(ids.size() > 100);
    QRandomGenerator rng(20260405);
    Harness h;
    int decoded = 0;
    for (int model = 0; model <= 25; ++model) {
        h.state.receiverModel = model;
        for (const QByteArray &id : ids) {
            const int wire = MotorolaFramer::messageLength(id.at(2), id.at(3));
            // The exact length, every shorter one near the header, and random lengths.
            QList<qsizetype> lengths = { qMax(4, wire - 3), 4, 5, 6, qsizetype(rng.bounded(600)) };
            if (wire > 8)
                lengths << wire - 4 << wire - 2 << wire + 20;
            for (qsizetype n : lengths) {
                n = qMax<qsizetype>(n, 4);
                QByteArray f = id + randomBytes(rng, n - 4);
                h.decode(f);
                ++decoded;
                // Extreme fill values reach the boundaries of every field.
                h.decode(id + QByteArray(n - 4, '\xFF'));
                h.decode(id + QByteArray(n - 4, '\0'));
                h.decode(id + QByteArray(n - 4, '\x80'));
            }
            if (decoded % 97 == 0)
                MotorolaDecoder::countDownPrecedence(h.state);
        }
    }
    QVERIFY(h.stateInRange());
    QVERIFY(h.longestText > 0);
    QVERIFY2(h.longestText < 20000, qPrintable(QString::number(h.longestText)));
}

void TestMotorolaFuzz::mutatedCaptureFrames()
{
    CHRONODE_REQUIRE_CAPTURE(bytes, "oncore-binary.log");
    QList<QByteArray> frames;
    StreamFramer framer(ReceiverMode::MotorolaBinary);
    framer.feed(bytes, [&](const QByteArray &f) { frames.append(f); });
    QVERIFY(frames.size() > 50);

    QRandomGenerator rng(77);
    Harness h;
    h.state.receiverModel = ReceiverModelCode::UTPlus;
    for (int round = 0; round < 300; ++round) {
        for (const QByteArray &original : frames) {
            QByteArray f = original;
            const int flips = 1 + rng.bounded(6);
            for (int i = 0; i < flips; ++i) {
                const qsizetype at = 4 + rng.bounded(qMax<qsizetype>(1, f.size() - 4));
                if (at < f.size())
                    f[at] = char(f.at(at) ^ (1 << rng.bounded(8)));
            }
            switch (rng.bounded(4)) {
            case 0: f.truncate(4 + rng.bounded(qMax<qsizetype>(1, f.size() - 4))); break;
            case 1: f.append(randomBytes(rng, rng.bounded(40))); break;
            default: break;
            }
            h.decode(f);
        }
        MotorolaDecoder::countDownPrecedence(h.state);
    }
    QVERIFY(h.stateInRange());
    QVERIFY(h.state.eaSeen);
}

void TestMotorolaFuzz::randomStreamsThroughTheFramer()
{
    // Random bytes with valid headers sprinkled in, cut at random places, as a port delivers.
    const QList<QByteArray> ids = identifiers();
    QRandomGenerator rng(5);
    Harness h;
    StreamFramer framer(ReceiverMode::MotorolaBinary);
    int frames = 0;
    for (int round = 0; round < 200; ++round) {
        QByteArray stream;
        for (int k = 0; k < 40; ++k) {
            const QByteArray &id = ids.at(rng.bounded(int(ids.size())));
            const int wire = MotorolaFramer::messageLength(id.at(2), id.at(3));
            MotorolaFrame::Builder b(id.constData() + 2);
            b.bytes(randomBytes(rng, qMax(0, wire - 7)));
            stream += rng.bounded(4) == 0 ? randomBytes(rng, rng.bounded(30)) : QByteArray();
            stream += b.wire();
        }
        qsizetype pos = 0;
        while (pos < stream.size()) {
            const qsizetype n = qMin<qsizetype>(1 + rng.bounded(300), stream.size() - pos);
            framer.feed(QByteArrayView(stream).sliced(pos, n), [&](const QByteArray &f) {
                ++frames;
                h.decode(f);
            });
            pos += n;
        }
    }
    QVERIFY(frames > 1000);
    QVERIFY(h.stateInRange());
}

QTEST_GUILESS_MAIN(TestMotorolaFuzz)
#include "tst_motorolafuzz.moc"
