#include "core/ReceiverState.h"
#include "receiver/motorola/MotorolaDecoder.h"
#include "receiver/motorola/MotorolaFrame.h"
#include "support/MotorolaFixture.h"
#include "support/TestSupport.h"

#include <QtTest>

using MotorolaFrame::Builder;
namespace M = ReceiverModelCode;

namespace {

QByteArray enFrame(uint8_t sawtooth)
{
    Builder b("En");
    b.u8(1).u8(1).u16(10).u8(3).bytes(QByteArray::fromHex("00000100000000000000"));
    b.u8(1).u8(1).u8(1).u8(2).u16(25).u8(sawtooth);
    b.u8(12).i32(15).u8(7).i32(-1500000000);
    return b.wireLength(69).body();
}

// Timing messages go to the state and the display only: no averaging engine.
struct Fixture : MotorolaFixture
{
    explicit Fixture(int model = M::UT, bool texts = true)
        : MotorolaFixture(model, texts, false)
    {
    }
};

} // namespace

class TestMotorolaTiming : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void enTraim();
    void hnTwelveChannels();
    void gjLeapSecond();
};

// Message texts are pinned by the regression captures (tests/regress/motorola-*.log); here
// what they cannot show: where the texts go and what is stored without them.
void TestMotorolaTiming::enTraim()
{
    Fixture fx;
    const QString text = fx.decode(enFrame(0xF6));
    QCOMPARE(fx.state.ppsQuantizationError, -10.0);
    QVERIFY(fx.state.ppsQuantizationErrorValid);
    QCOMPARE(fx.state.timeSolutionAccuracy, 25);
    QVERIFY(fx.state.enSeen);
    QCOMPARE(fx.display.receiverIdTexts, QStringList{ text });
    QCOMPARE(fx.decoder.lastChanges(), int(MotorolaDecoder::ChangedSawtooth));

    // Headless and without texts, the value is still stored.
    Fixture quiet(M::UT, false);
    DecoderContext c;
    c.state = &quiet.state;
    MotorolaDecoder bare(c);
    QCOMPARE(bare.decodeMotorolaFrame(enFrame(0x7F)), QString());
    QCOMPARE(quiet.state.ppsQuantizationError, 127.0);
}

void TestMotorolaTiming::hnTwelveChannels()
{
    Builder b("Hn");
    b.u8(1).u8(0).u8(1).u8(2).u32(0x00000104).u16(12).u8(0xFD).u8(4).i32(-20);
    const QByteArray hn = b.wireLength(78).body();
    Fixture fx(M::M12Plus);
    fx.display.receiverIdTexts << "old";
    const QString expected = fx.decode(hn);
    QCOMPARE(fx.state.ppsQuantizationError, -3.0);
    QCOMPARE(fx.state.timeSolutionAccuracy, 12);
    QVERIFY(fx.state.hnSeen);
    // Not asked for: the receiver-ID window is left alone.
    QCOMPARE(fx.display.receiverIdTexts, QStringList{ "old" });
    fx.state.receiverIdHnRequested = true;
    fx.decode(hn);
    QCOMPARE(fx.display.receiverIdClears, 1);
    QCOMPARE(fx.display.receiverIdTexts, QStringList{ expected });
    QVERIFY(!fx.state.receiverIdHnRequested);
    fx.decode(hn);
    QCOMPARE(fx.display.receiverIdClears, 1);
}

void TestMotorolaTiming::gjLeapSecond()
{
    Fixture fx(M::M12Plus);
    Builder b("Gj");
    b.i8(17).i8(18).u16(2016).u8(12).u8(31).i8(0).u32(5).u8(23).u8(59).u8(60);
    fx.decode(b.wireLength(21).body());
    QCOMPARE(fx.state.leapSecondPending, 1);
    Builder neg("Gj");
    neg.i8(18).i8(17).wireLength(21);
    fx.decode(neg.body());
    QCOMPARE(fx.state.leapSecondPending, 2);
    Builder none("Gj");
    none.i8(18).i8(18).wireLength(21);
    fx.decode(none.body());
    QCOMPARE(fx.state.leapSecondPending, 0);
}

QTEST_GUILESS_MAIN(TestMotorolaTiming)
#include "tst_motorolatiming.moc"
