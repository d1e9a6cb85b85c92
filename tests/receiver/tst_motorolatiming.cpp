#include "core/ReceiverState.h"
#include "receiver/motorola/MotorolaDecoder.h"
#include "receiver/motorola/MotorolaFrame.h"
#include "support/MotorolaFixture.h"
#include "support/TestSupport.h"

#include <QtTest>

using MotorolaFrame::Builder;
namespace M = ReceiverModelCode;

namespace {

QByteArray frameOf(const char id[2], std::initializer_list<uint8_t> bytes, qsizetype wire)
{
    Builder b(id);
    for (uint8_t v : bytes)
        b.u8(v);
    return b.wireLength(wire).body();
}

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
    void bnSixChannels();
    void hnTwelveChannels();
    void selfTest_data();
    void selfTest();
    void echoes_data();
    void echoes();
    void gjLeapSecond();
};

void TestMotorolaTiming::enTraim()
{
    Fixture fx;
    const QString expected = QStringLiteral(
        "@@En, TRAIM (8-ch) ENABLED, limit = 010 nsec, 1PPS is ON if TRAIM is OK, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, "
        "pulse status is ON, 1PPS pulse sync is referenced to GPS, Time RAIM solution status is ALARM, Time RAIM "
        "status is neither detection or isolation possible, Sawtooth = -10.00, One-Sigma Accuracy = 25, 12, "
        "0.000000015, 7, -1.500000000, 0, 0.000000000, 0, 0.000000000, 0, 0.000000000, 0, 0.000000000, 0, "
        "0.000000000, 0, 0.000000000");
    QCOMPARE(fx.decode(enFrame(0xF6)), expected);
    QCOMPARE(fx.state.ppsQuantizationError, -10.0);
    QVERIFY(fx.state.ppsQuantizationErrorValid);
    QCOMPARE(fx.state.timeSolutionAccuracy, 25);
    QVERIFY(fx.state.enSeen);
    QCOMPARE(fx.display.receiverIdTexts, QStringList{ expected });
    QCOMPARE(fx.decoder.lastChanges(), int(MotorolaDecoder::ChangedSawtooth));

    // Sawtooth bounds of the signed byte; states and words outside their lists.
    Fixture g;
    g.decode(enFrame(0x7F));
    QCOMPARE(g.state.ppsQuantizationError, 127.0);
    g.decode(enFrame(0x80));
    QCOMPARE(g.state.ppsQuantizationError, -128.0);
    QByteArray odd = enFrame(0);
    odd[5] = 9;
    odd[8] = 8;
    odd[19] = 2;
    odd[20] = 3;
    odd[21] = 3;
    odd[22] = 3;
    const QString t = g.decode(odd);
    QVERIFY(t.startsWith("@@En, TRAIM (8-ch) ERROR, limit = 010 nsec, 1PPS state ERROR, 0, 0, 1,"));
    QVERIFY(t.contains(", pulse status is ERROR, 1PPS pulse sync is ERROR, Time RAIM solution status is ERROR, "
                       "Time RAIM status is ERROR, Sawtooth = 00.00, One-Sigma"));

    // Headless and without texts, the value is still stored.
    Fixture quiet(M::UT, false);
    DecoderContext c;
    c.state = &quiet.state;
    MotorolaDecoder bare(c);
    QCOMPARE(bare.decodeMotorolaFrame(enFrame(0xF6)), QString());
    QCOMPARE(quiet.state.ppsQuantizationError, -10.0);
}

void TestMotorolaTiming::bnSixChannels()
{
    Fixture fx;
    Builder b("Bn");
    b.u8(0).u8(0).u16(7).u8(5).zeros(10).u8(0).u8(0).u8(0).u8(0).u16(3).u8(4).u8(3).i32(2);
    const QString t = fx.decode(b.wireLength(59).body());
    QCOMPARE(t, QStringLiteral("@@Bn, TRAIM (6-ch) DISBLED, limit = 007 nsec, 1PPS is ON always (Short), 0, 0, 0, 0, "
                               "0, 0, 0, 0, 0, 0, pulse status is OFF, 1PPS pulse sync is referenced to UTC, Time RAIM "
                               "solution status is OK, Time RAIM status is detection and isolation possible, Sawtooth = "
                               "04.00, One-Sigma Accuracy = 3, 3, 0.000000002, 0, 0.000000000, 0, 0.000000000, 0, "
                               "0.000000000, 0, 0.000000000, 0, 0.000000000"));
    QVERIFY(fx.state.bnSeen);
    QCOMPARE(fx.state.ppsQuantizationError, 4.0);
}

void TestMotorolaTiming::hnTwelveChannels()
{
    Builder b("Hn");
    b.u8(1).u8(0).u8(1).u8(2).u32(0x00000104).u16(12).u8(0xFD).u8(4).i32(-20);
    const QByteArray hn = b.wireLength(78).body();
    const QString expected = QStringLiteral(
        "@@Hn, Pulse on, 1PPS Ref to UTC, T-RAIM Solution Status ALARM, T-RAIM Status Can't Detect or Isolate, "
        "SVIDs Removed= 0x00000104, Sawtooth -3.00, One-Sigma Accuracy 12, 4, -0.000000020")
        + QStringLiteral(", 0, 0.000000000").repeated(11);

    Fixture fx(M::M12Plus);
    fx.display.receiverIdTexts << "old";
    QCOMPARE(fx.decode(hn), expected);
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

void TestMotorolaTiming::selfTest_data()
{
    QTest::addColumn<int>("model");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QString>("expected");
    QTest::newRow("Ca RTC fail, channel 1 fail")
        << int(M::PVT6) << frameOf("Ca", { 0x80, 0x04 }, 9)
        << "@@Ca RTC Comm & Time: FAIL\n@@Ca DCXO SPI Comm: PASS\n@@Ca EEPROM: PASS\n@@Ca RAM MSByte: PASS\n"
           "@@Ca RAM LSByte: PASS\n@@Ca ROM MSByte Checksum: PASS\n@@Ca ROM LSByte Checksum: PASS\n@@Ca 1KHz "
           "Presence: PASS\n@@Ca Channel 6 Correlation Test: PASS\n@@Ca Channel 5 Correlation Test: PASS\n@@Ca "
           "Channel 4 Correlation Test: PASS\n@@Ca Channel 3 Correlation Test: PASS\n@@Ca Channel 2 Correlation "
           "Test: PASS\n@@Ca Channel 1 Correlation Test: FAIL";
    QTest::newRow("Fa VP list")
        << int(M::VP) << frameOf("Fa", { 0x01, 0x01 }, 9)
        << "@@Fa RTC Comm & Time: PASS\n@@Fa DCXO SPI Comm: PASS\n@@Fa EEPROM: PASS\n@@Fa RAM MSByte: PASS\n"
           "@@Fa RAM LSByte: PASS\n@@Fa ROM MSByte Checksum: PASS\n@@Fa ROM LSByte Checksum: PASS\n@@Fa 1KHz "
           "Presence: FAIL\n@@Fa Channel 8 Correlation Test: PASS\n@@Fa Channel 7 Correlation Test: PASS\n@@Fa "
           "Channel 6 Correlation Test: PASS\n@@Fa Channel 5 Correlation Test: PASS\n@@Fa Channel 4 Correlation "
           "Test: PASS\n@@Fa Channel 3 Correlation Test: PASS\n@@Fa Channel 2 Correlation Test: PASS\n@@Fa Channel "
           "1 Correlation Test: FAIL";
    QTest::newRow("Fa UT list")
        << int(M::UT) << frameOf("Fa", { 0x40, 0x02 }, 9)
        << "Antenna Undercurrent: PASS\n@@Fa Antenna Overcurrent: FAIL\n@@Fa RTC Comm & Time: PASS\n@@Fa "
           "Temperature Sensor: PASS\n@@Fa RAM: PASS\n@@Fa ROM: PASS\n@@Fa 1KHz Presence: PASS\n@@Fa Channel 8 "
           "Correlation Test: PASS\n@@Fa Channel 7 Correlation Test: PASS\n@@Fa Channel 6 Correlation Test: PASS\n"
           "@@Fa Channel 5 Correlation Test: PASS\n@@Fa Channel 4 Correlation Test: PASS\n@@Fa Channel 3 Correlation "
           "Test: PASS\n@@Fa Channel 2 Correlation Test: PASS\n@@Fa Channel 1 Correlation Test: FAIL";
    QTest::newRow("Ia")
        << int(M::M12Plus) << frameOf("Ia", { 0x80, 0x00, 0x10 }, 10)
        << "\n@@Ia RTC Comm & Time: FAIL\n@@Ia Temperature Sensor: PASS\n@@Ia RAM: PASS\n@@Ia ROM: PASS\n@@Ia "
           "1KHz Presence: PASS\n@@Ia Temperature Sensor Data Checksum: PASS\n@@Ia Oscillator Data Checksum: PASS\n"
           "@@Ia Manufacturing Data Checksum: PASS\n@@Ia Channel 12 Correlation Test: PASS\n@@Ia Channel 11 "
           "Correlation Test: PASS\n@@Ia Channel 10 Correlation Test: PASS\n@@Ia Channel 9 Correlation Test: PASS\n"
           "@@Ia Channel 8 Correlation Test: PASS\n@@Ia Channel 7 Correlation Test: PASS\n@@Ia Channel 6 "
           "Correlation Test: PASS\n@@Ia Channel 5 Correlation Test: PASS\n@@Ia Channel 4 Correlation Test: PASS\n"
           "@@Ia Channel 3 Correlation Test: PASS\n@@Ia Channel 2 Correlation Test: PASS\n@@Ia Channel 1 "
           "Correlation Test: FAIL";
}

void TestMotorolaTiming::selfTest()
{
    QFETCH(int, model);
    QFETCH(QByteArray, frame);
    QFETCH(QString, expected);
    Fixture fx(model);
    QCOMPARE(fx.decode(frame), expected);
    QCOMPARE(fx.display.receiverIdTexts, QStringList{ expected });
}

void TestMotorolaTiming::echoes_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QString>("expected");
    auto row = [](const char *name, const QByteArray &f, const char *text) { QTest::newRow(name) << f << QString::fromLatin1(text); };
    auto be32 = [](int32_t v) { QByteArray b; for (int s = 24; s >= 0; s -= 8) b.append(char((uint32_t(v) >> s) & 0xFF)); return b; };
    auto with = [](const char id[2], const QByteArray &payload, qsizetype wire) { return Builder(id).bytes(payload).wireLength(wire).body(); };

    row("Aa", frameOf("Aa", { 23, 5, 9 }, 10), "Time set to 23:05:09 UTC");
    row("Ab minus", frameOf("Ab", { 0xFF, 5, 30 }, 10), "GMT Correction set to -05:30");
    row("Ab plus", frameOf("Ab", { 0, 1, 0 }, 10), "GMT Correction set to +01:00");
    row("Ac", frameOf("Ac", { 8, 25, 0x07, 0xD0 }, 11), "Date set to August 25, 2000 UTC");
    row("Ac bad month", frameOf("Ac", { 13, 1, 0x07, 0xD0 }, 11), "Date set to ERROR 01, 2000 UTC");
    row("Ad", with("Ad", be32(207766190), 11), "Current Latitude set to 57.71283056 degrees");
    row("Ae", with("Ae", be32(-43281325), 11), "Current Longitude set to -12.02259028 degrees");
    row("Af", with("Af", be32(8644) + char(0), 15), "Current Height set to 86.44 meters (WGS84)");
    row("Ag", frameOf("Ag", { 10 }, 8), "Elevation limit set to 10 degrees");
    row("Ah", frameOf("Ah", { 2 }, 8), "Satellite Selection Mode AUTOMATIC (Best Geometry)");
    row("Ah bad", frameOf("Ah", { 3 }, 8), "Satellite Selection Mode ERROR");
    row("Ai", frameOf("Ai", { 3, 17 }, 9), "Current Satellite Assignment on Channel 3 is Prn 17 ");
    row("Aj", frameOf("Aj", { 4 }, 8), "Satellite Selection xDOP: TDOP");
    row("Ak", frameOf("Ak", { 25 }, 9), "Current xDop Hysteresis is 2.500000");
    row("Al", frameOf("Al", { 120 }, 9), "Current 3-D to 2-D DOP Threshold is 12.000000");
    row("AC", frameOf("AC", { 80 }, 9), "Current 2-D to 0-D DOP Threshold is 8.000000");
    row("Am", frameOf("Am", { 0x80, 0, 0, 1 }, 12), "Satellite Ignore List Mask = 0x80000001");
    row("An", frameOf("An", { 1 }, 8), "Current Almanac Update Mode is NO-UPDATE");
    row("Ap", with("Ap", QByteArray::fromHex("2F") + be32(637813700) + be32(int32_t(2982572235u)) + QByteArray::fromHex("FFF6000A0001"), 25),
        "Datum Parameters: ID 47: semi-major axis 6378137.000, inverse flattening 298.257223500, delta X -1.0, delta Y 1.0, delta Z 0.1");
    row("Aq", frameOf("Aq", { 3 }, 8), "Corrections: Ionospheric and Tropospheric ENABLED");
    row("Aq none", frameOf("Aq", { 0 }, 8), "Corrections: Ionospheric  and Tropospheric DISABLED");
    row("Aq bad", frameOf("Aq", { 4 }, 8), "Corrections: Ionospheric/Tropospheric MODE ERROR");
    row("Ar", frameOf("Ar", { 1 }, 8), "Position Fix Mode BEST-4");
    row("As", with("As", be32(-3600000) + be32(7200000) + be32(12345) + char(0), 20), "Position-Hold set to  -1.00000000, 2.00000000, 123.45");
    row("At survey", frameOf("At", { 2 }, 8), "Position Hold Mode Automatic Site Survey in Progress");
    row("At bad", frameOf("At", { 3 }, 8), "Position Hold Mode ERROR");
    row("Au", with("Au", be32(-150) + char(0), 12), "Altitude-Hold Height set to -1.50 meters (WGS84)");
    row("Av", frameOf("Av", { 1 }, 8), "Altitude Hold Mode ENABLED");
    row("Aw", frameOf("Aw", { 3 }, 8), "Time Correction Mode Serial port = UTC, 1PPS sync = EPOCH");
    row("Ax", frameOf("Ax", { 0x01, 0xF4 }, 9), "Epoch offset set to 500 msec");
    row("Ay", with("Ay", be32(-1500), 11), "1pps offset set to -1.500 microseconds");
    row("Az", with("Az", be32(123), 11), "1pps cable delay set to 123 nanoseconds");
    row("AA", frameOf("AA", { 0 }, 8), "Current Ephemeris Hold mode  DISABLED");
    row("AB", frameOf("AB", { 4 }, 8), "Application Type set to  STATIC");
    row("AB bad", frameOf("AB", { 5 }, 8), "Application Type set to  ERROR");
    row("AD", frameOf("AD", { 30, 60 }, 9), "Correction Timer Thresholds (seconds): Position Fix = 30, DGPS Output = 60");
    row("AE", frameOf("AE", { 1 }, 8), "Output Align-to-Minute Mode ENABLED");
    row("AJ", frameOf("AJ", { 90 }, 8), "Current Differential Time-out (seconds) = 90");
    row("AN", frameOf("AN", { 2 }, 8), "Current Velocity Filter = 2");
    row("AM", frameOf("AM", { 0x01, 0x2C, 0xFF, 0xFE }, 11), "3.00,-2");
    row("AO", frameOf("AO", { 2 }, 8), "RTCM Port set to 9600 baud");
    row("AO bad", frameOf("AO", { 3 }, 8), "RTCM Port set to ERROR baud");
    row("AP", frameOf("AP", { 1 }, 8), "Pulse Mode set to 100PPS output");
    row("AQ", frameOf("AQ", { 1 }, 8), "Position Filter Select ENABLED");
    row("AS", frameOf("AS", { 2 }, 8), "Position Lock Select ERROR");
    row("Ga", with("Ga", be32(3600000) + be32(-7200000) + be32(1050) + char(1), 20),
        "Position Estimate set to 1.00000000 degrees lat, -2.00000000 degrees lng, 10.50 meters MSL altitude.");
    row("Gb", frameOf("Gb", { 12, 31, 0x07, 0xE0, 23, 59, 58, 0xFF, 5, 30 }, 17), "Time Estimate set to 12, 31, 2016, 23, 59, 58, -1, 5, 30.");
    row("Gc", frameOf("Gc", { 3 }, 8), "1PPS signal output set to ON IF TRAIM PASSES");
    row("Gc bad", frameOf("Gc", { 7 }, 8), "1PPS signal output set to ERROR");
    row("Gd", frameOf("Gd", { 3 }, 8), "Position Control set to AUTO-SURVEY");
    row("Ge", frameOf("Ge", { 1 }, 8), "TRAIM set to ENABLED");
    row("Ge bad", frameOf("Ge", { 2 }, 8), "TRAIM set to ERROR");
    row("Gf", frameOf("Gf", { 0x00, 0x0A }, 9), "@@Gf TRAIM Alarm Limit set to 10");
    row("Gk", with("Gk", "ABCDEF", 13), "Tag = ABCDEF");
    row("SP", frameOf("SP", { 0, 0, 0, 10 }, 11), "2nd PPS frequency is set to 10 Hz");
    row("Sa", with("Sa", QByteArray::fromHex("0C1F07E0173B3A0200" "05012801002D01" "41022000100500"), 184),
        "12/31/2016, 23:59:58, SV=2, ST=0, [SVID 5, Type 1, C/No=40, AZ=256, EL=45, Used=1][SVID 65, Type 2, C/No=32, AZ=16, EL=5, Used=0]");
    row("Sc", frameOf("Sc", { 0x83 }, 8), "GNSS Constellation Mode is GPS & GLONASS & SBAS");
    row("Sc none", frameOf("Sc", { 0 }, 8), "GNSS Constellation Mode is NONE (illegal)");
    row("Sm", frameOf("Sm", { 1 }, 8), "GNSS Receiver save all settings to non-volitile memory = settings saved");
    row("Sm bad", frameOf("Sm", { 9 }, 8), "GNSS Receiver save all settings to non-volitile memory = UNKNOWN, no change (illegal value)");
    row("So", frameOf("So", { 6 }, 8), "GNSS Receiver @@Ha/Hn/Bb Message Configuration is Output only SBAS + QZSS constellation information");
    row("So bad", frameOf("So", { 7 }, 8), "GNSS Receiver @@Ha/Hn/Bb Message Configuration is UNKNOWN (illegal value)");
    row("Sp", frameOf("Sp", { 18 }, 8), "GNSS Receiver current number of leap seconds = 18");
    row("St", frameOf("St", { 4 }, 8), "GNSS Receiver Date/Time/PPS Alignment is Galileo = UTC (EU) with leap seconds");
    row("St bad", frameOf("St", { 5 }, 8), "GNSS Receiver Date/Time/PPS Alignment is UNKNOWN (illegal value)");
    row("Sx", frameOf("Sx", { 0x05 }, 8), "GNSS Receiver Type is GPS + Galileo");
    row("Sz", frameOf("Sz", { 0 }, 8), "System Power-On FAILURE.");
    row("Wb", frameOf("Wb", { 0x0A, 0xFF }, 9), "0AFF");
    row("Wo", frameOf("Wo", { 0x7F }, 9), "D/A value = 127 (0x7F)");
    row("Tk", frameOf("Tk", { 0x01, 0xAB }, 9), "<01><AB>");
}

void TestMotorolaTiming::echoes()
{
    QFETCH(QByteArray, frame);
    QFETCH(QString, expected);
    Fixture fx;
    QCOMPARE(fx.decode(frame), expected);
    QVERIFY(fx.state.answered(AnswerFamily::MotorolaBinary));
}

void TestMotorolaTiming::gjLeapSecond()
{
    Fixture fx(M::M12Plus);
    Builder b("Gj");
    b.i8(17).i8(18).u16(2016).u8(12).u8(31).i8(0).u32(5).u8(23).u8(59).u8(60);
    QCOMPARE(fx.decode(b.wireLength(21).body()), QStringLiteral("@@Gj,17,18,2016,12,31,0.000000005,23,59,60"));
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
