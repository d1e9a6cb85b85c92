#include "support/TestSupport.h"

#include "core/ReceiverState.h"
#include "receiver/framing/StreamFramer.h"
#include "receiver/ubx/UbxConfiguration.h"
#include "receiver/ubx/UbxDecoder.h"
#include "receiver/ubx/UbxEncoder.h"

#include <QtTest>

namespace {

struct Decoding
{
    ReceiverState state;
    UbxDecoder decoder { DecoderContext { &state, nullptr, nullptr, nullptr, {} } };
};

// The first frame of a class and ID in the LEA-4T capture, as the link frames it.
QByteArray captureFrame(const QByteArray &capture, int cls, int id)
{
    QByteArray found;
    StreamFramer framer(9);
    framer.feed(capture, [&](const QByteArray &m) {
        if (found.isEmpty() && m.size() >= 8 && quint8(m[2]) == cls && quint8(m[3]) == id)
            found = m;
    });
    return found;
}

} // namespace

class TestUbxEncoder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sameBytesAsTheRealReceiver();
    void monVerStringsAreCutToTheirFields();
    void commandReaders_data();
    void commandReaders();
};

void TestUbxEncoder::sameBytesAsTheRealReceiver()
{
    CHRONODE_REQUIRE_CAPTURE(capture, "ublox-lea-4t.log");
    const QDateTime utc(QDate(2009, 1, 28), QTime(20, 35, 43), Qt::UTC);
    QCOMPARE(UbxEncoder::timTp(333344000, -16813, 1516).toHex(), captureFrame(capture, 0x0D, 0x01).toHex());
    QCOMPARE(UbxEncoder::navTimeUtc(333358001, utc, 1191632, 12, 0x07).toHex(), captureFrame(capture, 0x01, 0x21).toHex());
    QCOMPARE(UbxEncoder::navTimeGps(333358001, 1516, 15, 0x07, 191628, 12).toHex(), captureFrame(capture, 0x01, 0x20).toHex());
    QCOMPARE(UbxEncoder::navStatus(333358001, 3, 0x9D, 2648, 32830).toHex(), captureFrame(capture, 0x01, 0x03).toHex());
    QCOMPARE(UbxEncoder::navDop(333358001, { 2.80, 2.42, 1.40, 2.13, 1.15, 0.98, 0.60 }).toHex(),
             captureFrame(capture, 0x01, 0x04).toHex());
}

void TestUbxEncoder::monVerStringsAreCutToTheirFields()
{
    Decoding d;
    const QString longName = QString(40, QLatin1Char('v'));
    d.decoder.decodeUbxFrame(UbxEncoder::monVer(longName, "0004000712345", { "PROTVER 14.00" }));
    QCOMPARE(d.state.firmwareVersionText, QString(29, QLatin1Char('v')));
    QCOMPARE(UbxEncoder::monVer("a", "b", { "c", "d" }).size(), 8 + 30 + 10 + 60);
}

void TestUbxEncoder::commandReaders_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("kind");   // 0 nothing, 1 CFG-MSG, 2 CFG-PRT, 3 MON-VER poll
    QTest::addColumn<int>("a");
    QTest::addColumn<int>("b");
    QTest::addColumn<int>("c");
    QTest::newRow("CFG-MSG ZDA on") << Ubx::withChecksum(Ubx::cfgMsg(0xF0, 0x08, 1)) << 1 << 0xF0 << 0x08 << 1;
    QTest::newRow("TIM-SVIN off") << Ubx::withChecksum(Ubx::timSvinOff()) << 1 << 0x0D << 0x04 << 0;
    QTest::newRow("CFG-MSG without check bytes") << Ubx::cfgMsg(0xF0, 0x08, 1) << 0 << 0 << 0 << 0;
    QTest::newRow("CFG-MSG poll form") << Ubx::withChecksum(Ubx::frame(0x06, 0x01, QByteArray("\xF0\x08", 2))) << 0 << 0 << 0 << 0;
    QTest::newRow("CFG-PRT 115000") << Ubx::withChecksum(Ubx::cfgPrt(115000)) << 2 << 1 << 115000 << 0;
    QTest::newRow("CFG-PRT poll") << Ubx::withChecksum(Ubx::frame(0x06, 0x00, QByteArray(1, '\1'))) << 0 << 0 << 0 << 0;
    QTest::newRow("MON-VER poll") << Ubx::withChecksum(Ubx::monVerPoll()) << 3 << 0 << 0 << 0;
    QTest::newRow("AID-HUI poll") << Ubx::withChecksum(Ubx::aidHuiPoll()) << 0 << 0 << 0 << 0;
}

void TestUbxEncoder::commandReaders()
{
    QFETCH(QByteArray, frame);
    QFETCH(int, kind);
    QFETCH(int, a);
    QFETCH(int, b);
    QFETCH(int, c);
    uint8_t cls = 0, id = 0, rate = 0, port = 0;
    uint32_t baud = 0;
    QCOMPARE(UbxEncoder::readCfgMsg(frame, cls, id, rate), kind == 1);
    if (kind == 1) {
        QCOMPARE(int(cls), a);
        QCOMPARE(int(id), b);
        QCOMPARE(int(rate), c);
    }
    QCOMPARE(UbxEncoder::readCfgPrt(frame, port, baud), kind == 2);
    if (kind == 2) {
        QCOMPARE(int(port), a);
        QCOMPARE(int(baud), b);
    }
    QCOMPARE(UbxEncoder::isPoll(frame, 0x0A, 0x04), kind == 3);
}

QTEST_GUILESS_MAIN(TestUbxEncoder)
#include "tst_ubxencoder.moc"
