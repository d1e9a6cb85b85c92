#include "support/TestSupport.h"

#include "core/ReceiverState.h"
#include "averaging/AveragingInput.h"
#include "receiver/DecoderContext.h"
#include "receiver/framing/StreamFramer.h"
#include "receiver/ubx/UbxConfiguration.h"
#include "receiver/ubx/UbxDecoder.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QtTest>

namespace {

// Little-endian payload builder.
struct Le
{
    QByteArray b;
    Le &u8(uint v) { b.append(char(v & 0xFF)); return *this; }
    Le &u16(uint v) { return u8(v).u8(v >> 8); }
    Le &u32(quint32 v) { return u16(v & 0xFFFF).u16(v >> 16); }
    Le &i32(qint32 v) { return u32(quint32(v)); }
    Le &text(const char *s, int width)
    {
        QByteArray t(s);
        t.resize(width, '\0');
        b.append(t);
        return *this;
    }
    Le &zeros(int n) { b.append(QByteArray(n, '\0')); return *this; }
    operator QByteArray() const { return b; }
};

// A complete frame, check bytes computed here independently of the code under test.
QByteArray testFrame(uint cls, uint id, const QByteArray &payload)
{
    QByteArray f;
    f.append(char(0xB5)).append(char(0x62)).append(char(cls)).append(char(id));
    f.append(char(payload.size() & 0xFF)).append(char(payload.size() >> 8)).append(payload);
    quint8 a = 0, b = 0;
    for (qsizetype i = 2; i < f.size(); ++i) {
        a = quint8(a + quint8(f[i]));
        b = quint8(b + a);
    }
    return f.append(char(a)).append(char(b));
}

struct RecordingAveraging : AveragingInput
{
    struct Position { double lat, lon, altGps, altMsl; };
    QList<Position> positions;
    QList<QList<double>> dops;   // g, p, h, v, t
    QList<int> fixTypes;
    QList<int> timingSatellites;
    QList<double> speeds;
    QList<double> headings;

    void updatePosition(double lat, double lon, double altGps, double altMsl) override { positions.append({ lat, lon, altGps, altMsl }); }
    void setDops(double g, double p, double h, double v, double t) override { dops.append({ g, p, h, v, t }); }
    void setFixType(int f) override { fixTypes.append(f); }
    void setTimingSatellites(int n) override { timingSatellites.append(n); }
    void setSpeedKnots(double k) override { speeds.append(k); }
    void setHeadingDegrees(double d) override { headings.append(d); }
    void setFixQuality(int) override {}
    QString dopText() const override { return {}; }
};

struct RecordingDisplay : StationDisplay
{
    QList<int> antenna;
    QList<int> navigation;
    QStringList fixTexts;
    QStringList dopTexts;
    QStringList trackedTexts;
    QStringList idTexts;
    int tableUpdates = 0;
    int countUpdates = 0;
    int clockRefreshes = 0;

    void setAntennaIndicator(int v) override { antenna.append(v); }
    void setNavigationIndicator(int v) override { navigation.append(v); }
    void updateSatelliteTable() override { ++tableUpdates; }
    void updateSatelliteCount() override { ++countUpdates; }
    void setTrackedText(const QString &t) override { trackedTexts.append(t); }
    void appendReceiverIdText(const QString &t) override { idTexts.append(t); }
    void refreshClockPanel() override { ++clockRefreshes; }
    void setFixStatusText(const QString &t) override { fixTexts.append(t); }
    void setDopStatusText(const QString &t) override { dopTexts.append(t); }
};

struct RecordingSink : ReceiverCommandSink
{
    QList<QByteArray> sent;
    void sendGpsRxCommand(const QByteArray &c) override { sent.append(c); }
};

struct RecordingLog : GpsLogRecorder
{
    QList<QByteArray> records;
    void writeBinaryRecord(const QByteArray &m) override { records.append(m); }
};

// A decoder wired to recording fakes.
struct Bench
{
    ReceiverState state;
    RecordingAveraging averaging;
    RecordingDisplay display;
    RecordingSink sink;
    RecordingLog log;
    UbxDecoder decoder;

    Bench()
        : decoder(DecoderContext { &state, &averaging, &display, &sink, {}, &log })
    {
        state.receiverMode = 9;
    }
    QString decode(uint cls, uint id, const QByteArray &payload) { return decoder.decodeUbxFrame(testFrame(cls, id, payload)); }
};

QByteArray timeUtcPayload(int year, int month, int day, int hour, int minute, int second, qint32 nano = 0, int valid = 7)
{
    return Le().u32(1000).u32(12).i32(nano).u16(year).u8(month).u8(day).u8(hour).u8(minute).u8(second).u8(valid);
}

QByteArray statusPayload(int gpsFix)
{
    return Le().u32(7).u8(gpsFix).u8(0xDD).u8(0).u8(0).u32(2648).u32(32830);
}

QByteArray svBlock(int chn, int svid, int flags, int quality, int cno, int elev, int azim, qint32 prRes = 0)
{
    return Le().u8(chn).u8(svid).u8(flags).u8(quality).u8(cno).u8(quint8(qint8(elev))).u16(quint16(qint16(azim))).i32(prRes);
}

QByteArray svInfoPayload(const QList<QByteArray> &blocks)
{
    QByteArray p = Le().u32(9).u8(blocks.size()).u8(0).u16(0);
    for (const QByteArray &b : blocks)
        p += b;
    return p;
}

QByteArray tp5Payload(int tpIdx, quint32 freqPeriod, quint32 pulse, quint32 flags)
{
    return Le().u8(tpIdx).u8(0).u16(0).u16(50).u16(0).u32(freqPeriod).u32(freqPeriod).u32(pulse).u32(pulse).i32(0).u32(flags);
}

QByteArray huiPayload(int ls, int wnf, int dn, int lsf, quint32 flags)
{
    return Le().u32(0).zeros(16).i32(0).u16(0).u16(ls).u16(wnf).u16(dn).u16(lsf).u16(0).zeros(32).u32(flags);
}

// Cuts a capture into messages exactly as the link does in the u-blox UBX mode.
QList<QByteArray> linkFrames(const QByteArray &bytes)
{
    QList<QByteArray> frames;
    StreamFramer framer(9);
    framer.feed(bytes, [&](const QByteArray &m) { frames.append(m); });
    return frames;
}

} // namespace

class TestUbxDecoder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void messageTexts_data();
    void messageTexts();
    void incompleteFramesGiveNoText_data();
    void incompleteFramesGiveNoText();
    void positionAndVelocityGoToTheEngine();
    void navStatusReactions_data();
    void navStatusReactions();
    void timeOnlyFixSendsSurveyOffForEveryMessage();
    void surveyKeepsItsIndicator();
    void dopStatusText();
    void timTpQuantisationError_data();
    void timTpQuantisationError();
    void timeUtcStored_data();
    void timeUtcStored();
    void invalidTimeUtcWarnsAndStoresNothing_data();
    void invalidTimeUtcWarnsAndStoresNothing();
    void timeGpsLeapSeconds();
    void svInfoFillsSatelliteTable();
    void svInfoTrackModeMapping_data();
    void svInfoTrackModeMapping();
    void svInfoElevationTrend();
    void monVerIdentity();
    void monHwAntenna_data();
    void monHwAntenna();
    void answerFlagForAwaitedAnswers_data();
    void answerFlagForAwaitedAnswers();
    void onlyTheAwaitedFrameAnswers();
    void leapSecondPendingArithmetic_data();
    void leapSecondPendingArithmetic();
    void aidHuiSetsPendingLeapSecond();
    void realCaptureAgreesWithReference();
    void decodeToolOnTheCapture_data();
    void decodeToolOnTheCapture();
    void fuzzedFramesNeverCrash();
    void navSatFillsEveryConstellation();
    void navPvtStoresValidTimes_data();
    void navPvtStoresValidTimes();
    void navTimeLsLeapSeconds_data();
    void navTimeLsLeapSeconds();
    void protocolVersionFromMonVer_data();
    void protocolVersionFromMonVer();
};

void TestUbxDecoder::messageTexts_data()
{
    QTest::addColumn<int>("cls");
    QTest::addColumn<int>("id");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QString>("expected");

    QTest::newRow("NAV-POSECEF") << 0x01 << 0x01 << QByteArray(Le().u32(1000).i32(-1510299).i32(2).i32(3).u32(552))
                                 << "UBX-NAV-POSECEF iTOW = 1000, ecefX = -1510299, ecefY = 2, ecefZ = 3, pAcc = 552";
    QTest::newRow("NAV-POSLLH") << 0x01 << 0x02
                                << QByteArray(Le().u32(5).i32(-1134395449).i32(535632563).i32(635459).i32(654413).u32(1200).u32(3400))
                                << "UBX-NAV-POSLLH iTOW = 5, lon = -113.43954490, lat = 53.56325630, height = 635.459, MSL = 654.413, hAcc = 1200, vAcc = 3400";
    QTest::newRow("NAV-STATUS 3-D") << 0x01 << 0x03 << statusPayload(3)
                                    << "UBX-NAV-STATUS 3-D Fix, iTOW = 7, gpsFix = 3, flags = 0xDD, diffStat = 0x00, res = 0, ttff = 2648, msss = 32830";
    QTest::newRow("NAV-STATUS DR") << 0x01 << 0x03 << statusPayload(4)
                                   << "UBX-NAV-STATUS GPS + dead reckoning combined, iTOW = 7, gpsFix = 4, flags = 0xDD, diffStat = 0x00, res = 0, ttff = 2648, msss = 32830";
    QTest::newRow("NAV-STATUS unknown fix") << 0x01 << 0x03 << statusPayload(9)
                                            << "UBX-NAV-STATUS iTOW = 7, gpsFix = 9, flags = 0xDD, diffStat = 0x00, res = 0, ttff = 2648, msss = 32830";
    QTest::newRow("NAV-DOP") << 0x01 << 0x04 << QByteArray(Le().u32(333358001).u16(280).u16(242).u16(140).u16(213).u16(115).u16(98).u16(60))
                             << "UBX-NAV-DOP iTOW = 333358001, gDOP = 2.80, pDOP = 2.42, tDOP = 1.40, vDOP = 2.13, hDOP = 1.15, nDOP = 0.98, eDOP = 0.60";
    QTest::newRow("NAV-VELNED") << 0x01 << 0x12 << QByteArray(Le().u32(1).zeros(16).u32(150).i32(12345678).zeros(8))
                                << "UBX-NAV-VELNED iTOW = 1, Ground Speed = 150 cm/sec, Heading = 123.5 degrees";
    QTest::newRow("NAV-TIMEGPS") << 0x01 << 0x20 << QByteArray(Le().u32(333358001).i32(191628).u16(1516).u8(15).u8(7).u32(12))
                                 << "UBX-NAV-TIMEGPS iTOW = 333358001 ... week = 1516, leap seconds = 15, valid = 07";
    QTest::newRow("NAV-TIMEUTC") << 0x01 << 0x21 << timeUtcPayload(2009, 1, 28, 20, 35, 43, 1191632)
                                 << "UBX-NAV-TIMEUTC iTOW = 1000, tAcc = 12, nano = 1191632, date (YMD) 2009, 1, 28, Time = 20:35:43, valid = 07";
    QTest::newRow("NAV-SVINFO") << 0x01 << 0x30 << svInfoPayload({ svBlock(0, 21, 0x0D, 6, 33, 73, 276, -83) })
                                << "UBX-NAV-SVINFO iTOW = 9, numCh = 1, globalFlags = 00, res = 0, chn=0, svid=21, flags=0d, quality=06, cno=33, elev=73, azim=276, prRes=-83, ";
    QTest::newRow("TIM-TP") << 0x0D << 0x01 << QByteArray(Le().u32(333344000).u32(0).i32(-16813).u16(1516).u8(3).u8(0))
                            << "UBX-TIM-TP towMS = 333344000, towSubMS = 0, qErr = -16813, week = 1516, flags = 3, res = 0";
    QTest::newRow("TIM-SVIN") << 0x0D << 0x04 << QByteArray(Le().u32(86400).zeros(16).u32(1234).u8(1).u8(0).u16(0))
                              << "UBX-TIM-SVIN Passed survey-in observation = 86400 sec, position observations = 1234 sec, valid = true, active = false";
    QTest::newRow("TIM-DOSC") << 0x0D << 0x11 << QByteArray(Le().u8(0).zeros(3).u32(32768))
                              << "UBX-TIM-DOSC ver = 0, D/A value = 32768";
    QTest::newRow("CFG-PRT") << 0x06 << 0x00 << Ubx::cfgPrt(9600).mid(6)
                             << "UBX-CFG-PRT portID = UART #1, res0 = 0, res1 = 0, mode = 000008C0, baudRate = 9600, inProtoMask = 0003, outProtoMask = 0003, flags = 0000, pad = 0";
    QTest::newRow("CFG-PRT other port") << 0x06 << 0x00 << QByteArray(Le().u8(7).u8(1).u16(2).u32(0).u32(115000).zeros(8))
                                        << "UBX-CFG-PRT portID = unknown, res0 = 1, res1 = 2, mode = 00000000, baudRate = 115000, inProtoMask = 0000, outProtoMask = 0000, flags = 0000, pad = 0";
    QTest::newRow("CFG-TP") << 0x06 << 0x07 << QByteArray(Le().u32(1000000).u32(100000).u8(0xFF).u8(0).u8(1).u8(0).u16(50).u16(0).i32(-20))
                            << "UBX-CFG-TP interval = 1000000 us, length = 100000 us, status = -1, timeRef = 0, flags = 1, res = 0, antennaCableDelay = 50 ns, rfGroupDelay = 0 ns, userDelay = -20 ns";
    QTest::newRow("CFG-TP5 period, length") << 0x06 << 0x31 << tp5Payload(0, 1000000, 100000, 0x77)
                                            << "UBX-CFG-TP5 TimePulse0, res0 = 0, res1 = 0, antCableDelay = 50 ns, rfGroupDelay = 0 ns, freqPeriod = 1000000 us, freqPeriodLock = 1000000 us, pulseLenRatio = 100000 us, pulseLenRatioLock = 100000 us, userDelay = 0 ns, ubx_flags = 0x77";
    QTest::newRow("CFG-TP5 period, ratio") << 0x06 << 0x31 << tp5Payload(0, 1000000, 0x80000000u, 0x67)
                                           << "UBX-CFG-TP5 TimePulse0, res0 = 0, res1 = 0, antCableDelay = 50 ns, rfGroupDelay = 0 ns, freqPeriod = 1000000 us, freqPeriodLock = 1000000 us, pulseLenRatio = 0.500000 ratio, pulseLenRatioLock = 0.500000 ratio, userDelay = 0 ns, ubx_flags = 0x67";
    QTest::newRow("CFG-TP5 frequency, ratio") << 0x06 << 0x31 << tp5Payload(0, 10, 0x40000000u, 0x6F)
                                              << "UBX-CFG-TP5 TimePulse0, res0 = 0, res1 = 0, antCableDelay = 50 ns, rfGroupDelay = 0 ns, freqPeriod = 10 Hz, freqPeriodLock = 10 Hz, pulseLenRatio = 0.250000 ratio, pulseLenRatioLock = 0.250000 ratio, userDelay = 0 ns, ubx_flags = 0x6F";
    QTest::newRow("CFG-TP5 frequency, length") << 0x06 << 0x31 << tp5Payload(1, 10, 100000, 0x7F)
                                               << "UBX-CFG-TP5 TimePulse1, res0 = 0, res1 = 0, antCableDelay = 50 ns, rfGroupDelay = 0 ns, freqPeriod = 10 Hz, freqPeriodLock = 10 Hz, pulseLenRatio = 100000 us, pulseLenRatioLock = 100000 us, userDelay = 0 ns, ubx_flags = 0x7F";
    QTest::newRow("CFG-TMODE") << 0x06 << 0x1D << Ubx::cfgTmodeSurveyIn().mid(6)
                               << "UBX-CFG-TMODE timeMode = 1, fixedPosX = 0, fixedPosY = 0, fixedPosZ = 0, fixedPosVar = 4000, svinMinDur = 5008, svinVarLimit = 2000";
    QTest::newRow("CFG-TMODE2") << 0x06 << 0x3D << Ubx::cfgTmode2SurveyIn().mid(6)
                                << "UBX-CFG-TMODE2 timeMode = 1, flags = 0, ecefXOrLat = 0, ecefYOrLon = 0, ecefZOrAlt = 0, fixedPosAcc = 4000, svinMinDur = 5008, svinAccLimit = 2000";
    QTest::newRow("CFG-NAV5") << 0x06 << 0x24
                              << QByteArray(Le().u16(7).u8(2).u8(3).i32(0).u32(10000).u8(5).u8(3).u16(250).u16(250).u16(100).u16(300).u8(0).u8(60).u32(0).u32(0).u32(0))
                              << "UBX-CFG-NAV5 mask = 07, dynModel = 2, fixMode = 3, fixedAlt = 0, fixedAltVar = 10000, minElev = 5, drLimit = 3, pDopMask = 250, tDopMask = 250, pAccMask = 100, tAccMask = 300, staticHoldThresh = 0, res1 = 60, res2 = 0, res3 = 0, res4 = 0";
    QTest::newRow("MON-HW") << 0x0A << 0x09
                            << QByteArray(Le().u32(0x1E000).u32(0).u32(0x10000).u32(0xEF7F).u16(87).u16(3801).u8(2).u8(1).u8(1).u8(0).u32(131071).zeros(17).u8(5).u16(0).u32(0).u32(0x1234).u32(0))
                            << "UBX-MON-HW pinSel = 1E000, pinBank = 0000, pinDir = 10000, pinVal = EF7F, noisePerMS = 87, agcCnt = 3801, aStatus = 2, aPower = 1, flags = 1, res1 = 0, usedMask = 131071, jamInd = 5, pinIrq = 0000, pullH = 1234, pullL = 0000";
    QTest::newRow("MON-VER") << 0x0A << 0x04 << QByteArray(Le().text("7.03 (45969)", 30).text("00040007", 10).text("ROM BASE 5.00", 30))
                             << "UBX-MON-VER u-blox Receiver/Software Version\nSoftware Version: 7.03 (45969)\nHardware Version: 00040007\nROM and extensions:\nROM BASE 5.00\n";
    QTest::newRow("AID-HUI") << 0x0B << 0x02 << huiPayload(15, 137, 7, 15, 0x03)
                             << "UBX-AID-HUI ... utcLS = 15, utcWNF = 137, utcDN = 7, utcLSF = 15 ... valid = 0x03 -->> LS Pending = 0, NTP Leap Indicator = 0";
    QTest::newRow("ACK-ACK") << 0x05 << 0x01 << QByteArray("\x06\x01", 2) << "UBX-ACK ACK clsID = 0x06, msgID = 0x01";
    QTest::newRow("ACK-NAK") << 0x05 << 0x00 << QByteArray("\x06\x00", 2) << "UBX-ACK NAK clsID = 0x06, msgID = 0x00";
    QTest::newRow("INF-NOTICE") << 0x04 << 0x02 << QByteArray("u-blox ag\x01", 10) << "UBX-INF-NOTICE u-blox ag<01>";
    QTest::newRow("INF-DEBUG") << 0x04 << 0x04 << QByteArray("BIST: passed") << "UBX-INF-DEBUG BIST: passed";
    QTest::newRow("RXM name only") << 0x02 << 0x20 << QByteArray("\x01\x02", 2) << "UBX-RXM-SVSI <01><02>";
    QTest::newRow("UPD name only") << 0x09 << 0x14 << QByteArray() << "UBX-UPD-SOS";
    QTest::newRow("UPD download") << 0x09 << 0x01 << QByteArray("\xFF", 1) << "UBX-UPD-DOWNL <FF>";
    QTest::newRow("unknown class") << 0x27 << 0x00 << QByteArray("\x01", 1)
                                   << "UBX-27 ???" "-Unknown Message Class-??? <B5><62><27><00><01><00><01><29><C7>";
    QTest::newRow("unknown NAV ID") << 0x01 << 0x09 << QByteArray(1, '\0') << "UBX-NAV Unknown ID ??? <B5><62><01><09><01><00><00><0B><2C>";
    QTest::newRow("short payload") << 0x01 << 0x02 << QByteArray("\x01\x02\x03\x04", 4) << "UBX-NAV-POSLLH <01><02><03><04>";
    QTest::newRow("empty payload") << 0x0A << 0x04 << QByteArray() << "UBX-MON-VER";
    QTest::newRow("bytes past the fields") << 0x0D << 0x01 << QByteArray(Le().u32(1).u32(2).i32(3).u16(4).u8(5).u8(6).u8(0xAA).u8(0x0B))
                                           << "UBX-TIM-TP towMS = 1, towSubMS = 2, qErr = 3, week = 4, flags = 5, res = 6 <AA><0B>";
}

void TestUbxDecoder::messageTexts()
{
    QFETCH(int, cls);
    QFETCH(int, id);
    QFETCH(QByteArray, payload);
    QFETCH(QString, expected);
    Bench b;
    QCOMPARE(b.decode(cls, id, payload), expected);
    // Every message, known or not, goes to the binary log without its check bytes.
    QCOMPARE(b.log.records, QList<QByteArray> { testFrame(cls, id, payload).chopped(2) });
}

void TestUbxDecoder::incompleteFramesGiveNoText_data()
{
    QTest::addColumn<QByteArray>("frame");
    const QByteArray good = testFrame(0x0D, 0x01, QByteArray(16, '\0'));
    QByteArray badCk = good;
    badCk[badCk.size() - 1] = char(badCk.back() ^ 0x01);
    QByteArray badSync = good;
    badSync[1] = 0x63;
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("seven bytes") << good.left(7);
    QTest::newRow("truncated") << good.left(good.size() - 1);
    QTest::newRow("extra byte") << good + '\0';
    QTest::newRow("bad check byte") << badCk;
    QTest::newRow("bad sync") << badSync;
    QTest::newRow("NMEA sentence") << QByteArray("$GPZDA,203540.00,28,01,2009,00,00*66");
}

void TestUbxDecoder::incompleteFramesGiveNoText()
{
    QFETCH(QByteArray, frame);
    Bench b;
    QVERIFY(b.decoder.decodeUbxFrame(frame).isEmpty());
    QVERIFY(!b.state.ppsQuantizationErrorValid);
    QVERIFY(b.log.records.isEmpty());
}

void TestUbxDecoder::positionAndVelocityGoToTheEngine()
{
    Bench b;
    b.decode(0x01, 0x02, Le().u32(5).i32(-1134395449).i32(535632563).i32(635459).i32(654413).u32(1200).u32(3400));
    QCOMPARE(b.averaging.positions.size(), 1);
    QCOMPARE(b.averaging.positions[0].lat, 53.5632563);
    QCOMPARE(b.averaging.positions[0].lon, -113.4395449);
    QCOMPARE(b.averaging.positions[0].altGps, 635.459);
    QCOMPARE(b.averaging.positions[0].altMsl, 654.413);

    b.decode(0x01, 0x12, Le().u32(1).zeros(16).u32(1000).i32(27000000).zeros(8));
    QCOMPARE(b.averaging.speeds.size(), 1);
    QVERIFY(qAbs(b.averaging.speeds[0] - 19.4384449) < 1e-6);   // 10 m/s in knots
    QCOMPARE(b.averaging.headings, QList<double>({ 270.0 }));
}

void TestUbxDecoder::navStatusReactions_data()
{
    QTest::addColumn<int>("gpsFix");
    QTest::addColumn<QList<int>>("fixTypes");
    QTest::addColumn<int>("navigation");
    QTest::addColumn<QString>("statusText");
    QTest::newRow("no fix") << 0 << QList<int> { 0 } << 0 << "No Fix, ";
    QTest::newRow("dead reckoning") << 1 << QList<int> {} << 0 << "Dead reckoning only, ";
    QTest::newRow("2-D") << 2 << QList<int> { 2 } << 0 << "2D-fix, ";
    QTest::newRow("3-D") << 3 << QList<int> { 3 } << 0 << "3-D Fix, ";
    QTest::newRow("time only") << 5 << QList<int> { 1 } << 1 << "Time only fix (0-D Nav), ";
    QTest::newRow("out of range") << 6 << QList<int> {} << 0 << "";
}

void TestUbxDecoder::navStatusReactions()
{
    QFETCH(int, gpsFix);
    QFETCH(QList<int>, fixTypes);
    QFETCH(int, navigation);
    QFETCH(QString, statusText);
    Bench b;
    b.decode(0x01, 0x03, statusPayload(gpsFix));
    QCOMPARE(b.averaging.fixTypes, fixTypes);
    QCOMPARE(b.state.navigationState, navigation);
    QCOMPARE(b.display.navigation, QList<int> { navigation });
    QCOMPARE(b.display.fixTexts, QStringList { statusText });
    QCOMPARE(b.decoder.timeOnlyFix(), gpsFix == 5);
    QCOMPARE(b.sink.sent.size(), gpsFix == 5 ? 1 : 0);
}

void TestUbxDecoder::timeOnlyFixSendsSurveyOffForEveryMessage()
{
    Bench b;
    b.decode(0x01, 0x03, statusPayload(5));
    QCOMPARE(b.sink.sent.size(), 1);
    // The send path adds the check bytes: 1B 6E.
    QCOMPARE(b.sink.sent[0], QByteArray::fromHex("b562060103000d0400"));
    QCOMPARE(Ubx::withChecksum(b.sink.sent[0]), QByteArray::fromHex("b562060103000d04001b6e"));
    b.decode(0x01, 0x03, statusPayload(5));
    b.decode(0x01, 0x03, statusPayload(3));
    b.decode(0x01, 0x03, statusPayload(5));
    QCOMPARE(b.sink.sent.size(), 3);
    QCOMPARE(b.sink.sent[2], b.sink.sent[0]);
}

void TestUbxDecoder::surveyKeepsItsIndicator()
{
    Bench b;
    b.state.navigationState = 2;
    b.decode(0x01, 0x03, statusPayload(3));
    QCOMPARE(b.state.navigationState, 2);
    QVERIFY(b.display.navigation.isEmpty());
    b.decode(0x01, 0x03, statusPayload(5));   // survey finished: position hold
    QCOMPARE(b.state.navigationState, 1);
    b.decode(0x01, 0x03, statusPayload(3));
    QCOMPARE(b.state.navigationState, 0);
}

void TestUbxDecoder::dopStatusText()
{
    Bench b;
    const QByteArray dop = Le().u32(1).u16(280).u16(242).u16(140).u16(213).u16(115).u16(98).u16(60);
    b.decode(0x01, 0x04, dop);
    b.decode(0x01, 0x03, statusPayload(5));
    b.decode(0x01, 0x04, dop);
    QCOMPARE(b.display.dopTexts, QStringList({ "DOPs: T = 1.4, P = 2.4, H = 1.1, V = 2.1", "DOPs: T = 1.4" }));
    QCOMPARE(b.averaging.dops[0], QList<double>({ 2.80, 2.42, 1.15, 2.13, 1.40 }));
}

void TestUbxDecoder::timTpQuantisationError_data()
{
    QTest::addColumn<qint32>("qErr");
    QTest::addColumn<double>("ns");
    QTest::newRow("-2500 ps") << qint32(-2500) << -2.5;
    QTest::newRow("zero") << qint32(0) << 0.0;
    QTest::newRow("1 ps") << qint32(1) << 0.001;
    QTest::newRow("capture") << qint32(-16813) << -16.813;
    QTest::newRow("most negative") << std::numeric_limits<qint32>::min() << -2147483.648;
}

void TestUbxDecoder::timTpQuantisationError()
{
    QFETCH(qint32, qErr);
    QFETCH(double, ns);
    Bench b;
    b.decode(0x0D, 0x01, Le().u32(1).u32(0).i32(qErr).u16(1516).u8(3).u8(0));
    QVERIFY(b.state.ppsQuantizationErrorValid);
    QCOMPARE(b.state.ppsQuantizationError, ns);
}

void TestUbxDecoder::timeUtcStored_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QDateTime>("expected");
    QTest::addColumn<int>("milliseconds");
    QTest::newRow("capture") << timeUtcPayload(2009, 1, 28, 20, 35, 43, 1191632)
                             << QDateTime(QDate(2009, 1, 28), QTime(20, 35, 43, 1), Qt::UTC) << 1;
    QTest::newRow("half a millisecond rounds up") << timeUtcPayload(2024, 2, 29, 23, 59, 59, 999500000)
                                                  << QDateTime(QDate(2024, 3, 1), QTime(0, 0, 0, 0), Qt::UTC) << 0;
    QTest::newRow("negative nano goes back") << timeUtcPayload(2000, 1, 1, 0, 0, 0, -2000000)
                                             << QDateTime(QDate(1999, 12, 31), QTime(23, 59, 59, 998), Qt::UTC) << 998;
    QTest::newRow("not yet valid still stored") << timeUtcPayload(1980, 1, 6, 0, 0, 1, 0, 0)
                                                << QDateTime(QDate(1980, 1, 6), QTime(0, 0, 1), Qt::UTC) << 0;
}

void TestUbxDecoder::timeUtcStored()
{
    QFETCH(QByteArray, payload);
    QFETCH(QDateTime, expected);
    QFETCH(int, milliseconds);
    Bench b;
    b.state.timeMessageMissing = true;
    b.decode(0x01, 0x21, payload);
    QCOMPARE(b.state.receiverUtcDateTime.dateTime(), expected);
    QCOMPARE(b.state.receiverUtcDateTime.milliseconds(), milliseconds);
    QCOMPARE(b.state.receiverUtcDateTime.mjd(), ReceiverTime::mjdOf(expected.date()));
    QVERIFY(!b.state.timeMessageMissing);
    // With no 1PPS line the time message itself refreshes the clock panel.
    QCOMPARE(b.display.clockRefreshes, 1);
    b.state.ppsInterface = 1;
    b.decode(0x01, 0x21, payload);
    QCOMPARE(b.display.clockRefreshes, 1);
}

void TestUbxDecoder::invalidTimeUtcWarnsAndStoresNothing_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::newRow("month 13") << timeUtcPayload(2009, 13, 1, 0, 0, 0);
    QTest::newRow("month 0") << timeUtcPayload(2009, 0, 1, 0, 0, 0);
    QTest::newRow("29 February 2009") << timeUtcPayload(2009, 2, 29, 0, 0, 0);
    QTest::newRow("hour 24") << timeUtcPayload(2009, 1, 28, 24, 0, 0);
    QTest::newRow("minute 60") << timeUtcPayload(2009, 1, 28, 23, 60, 0);
    QTest::newRow("second 61") << timeUtcPayload(2009, 1, 28, 23, 59, 61);
    QTest::newRow("nano beyond a second") << timeUtcPayload(2009, 1, 28, 23, 59, 59, 1000000001);
}

void TestUbxDecoder::invalidTimeUtcWarnsAndStoresNothing()
{
    QFETCH(QByteArray, payload);
    Bench b;
    b.state.timeMessageMissing = true;
    const ReceiverTime before = b.state.receiverUtcDateTime;
    QTest::ignoreMessage(QtWarningMsg, "WARNING: Illegal date or time decoding NAV-TIMEUTC.");
    const QString text = b.decode(0x01, 0x21, payload);
    QVERIFY(text.startsWith("UBX-NAV-TIMEUTC iTOW = 1000, tAcc = 12, nano = "));
    QVERIFY(b.state.receiverUtcDateTime == before);
    QVERIFY(b.state.timeMessageMissing);
    QCOMPARE(b.display.clockRefreshes, 0);
    QCOMPARE(b.decoder.lastWarning(), QString("WARNING: Illegal date or time decoding NAV-TIMEUTC."));
    b.decode(0x01, 0x21, timeUtcPayload(2009, 1, 28, 20, 35, 43));
    QVERIFY(b.decoder.lastWarning().isEmpty());
}

void TestUbxDecoder::timeGpsLeapSeconds()
{
    Bench b;
    b.state.leapSeconds = 14;
    b.decode(0x01, 0x20, Le().u32(1).i32(0).u16(1516).u8(15).u8(0x03).u32(0));   // leap not valid
    QCOMPARE(b.state.leapSeconds, 14);
    b.decode(0x01, 0x20, Le().u32(1).i32(0).u16(1516).u8(15).u8(0x04).u32(0));
    QCOMPARE(b.state.leapSeconds, 15);
    b.decode(0x01, 0x20, Le().u32(1).i32(0).u16(1516).u8(0xFF).u8(0x07).u32(0));   // signed byte
    QCOMPARE(b.state.leapSeconds, -1);
}

void TestUbxDecoder::svInfoFillsSatelliteTable()
{
    Bench b;
    b.state.satellites[99].svId = 99;   // left over from an earlier message
    b.state.satellites[99].cNo = 40;
    b.decode(0x01, 0x30, svInfoPayload({
                             svBlock(0, 21, 0x0D, 6, 33, 73, 276),
                             svBlock(1, 6, 0x0C, 1, 0, 21, 311),
                             svBlock(2, 135, 0x11, 4, 40, -5, 359),   // SBAS, unhealthy
                             svBlock(255, 3, 0x04, 1, 0, 10, 317),
                             svBlock(0, 0, 0, 0, 0, 0, 0),            // unused channel
                         }));
    QCOMPARE(b.state.satellites[99], SatelliteRecord {});
    const SatelliteRecord &s21 = b.state.satellites[21];
    QCOMPARE(s21.svId, 21);
    QCOMPARE(s21.elevation, 73);
    QCOMPARE(s21.azimuth, 276);
    QCOMPARE(s21.cNo, 33);
    QCOMPARE(s21.svFlags, quint8(SvFlag::UbxUsed));
    QCOMPARE(s21.trackMode, quint8(8));
    QCOMPARE(s21.inTrack, quint8(1));
    QCOMPARE(b.state.satellites[6].svFlags, quint8(0));
    QCOMPARE(b.state.satellites[6].trackMode, quint8(1));
    QCOMPARE(b.state.satellites[135].svFlags, quint8(SvFlag::UbxUsed | SvFlag::UbxUnhealthy));
    QCOMPARE(b.state.satellites[135].elevation, -5);
    QCOMPARE(b.state.satellites[3].inTrack, quint8(0));
    QCOMPARE(b.state.satellites[0].svId, 0);

    QCOMPARE(b.state.visibleCount.value, 4);
    QVERIFY(b.state.visibleCount.changed);
    QCOMPARE(b.state.trackedCount.value, 2);
    QCOMPARE(b.state.usedCount.value, 2);
    QCOMPARE(b.averaging.timingSatellites, QList<int> { 2 });
    QCOMPARE(b.display.trackedTexts, QStringList { "2 Tracked" });
    QCOMPARE(b.display.countUpdates, 1);
    QCOMPARE(b.display.tableUpdates, 1);

    // numCh larger than the payload holds: shown as bytes, table untouched.
    const QString text = b.decode(0x01, 0x30, Le().u32(9).u8(3).u8(0).u16(0).b + svBlock(0, 7, 1, 7, 30, 10, 10));
    QVERIFY(text.startsWith("UBX-NAV-SVINFO <09><00>"));
    QCOMPARE(b.state.satellites[21].svId, 21);
    QCOMPARE(b.state.satellites[7].svId, 0);
}

void TestUbxDecoder::svInfoTrackModeMapping_data()
{
    QTest::addColumn<int>("quality");
    QTest::addColumn<int>("trackMode");
    QTest::newRow("idle") << 0 << 0;
    QTest::newRow("searching") << 1 << 1;
    QTest::newRow("acquired") << 2 << 3;
    QTest::newRow("unusable") << 3 << 3;
    QTest::newRow("code lock") << 4 << 8;
    QTest::newRow("carrier lock") << 7 << 8;
    QTest::newRow("beyond") << 8 << 9;
}

void TestUbxDecoder::svInfoTrackModeMapping()
{
    QFETCH(int, quality);
    QFETCH(int, trackMode);
    QCOMPARE(int(UbxDecoder::trackModeForQuality(quint8(quality))), trackMode);
}

void TestUbxDecoder::svInfoElevationTrend()
{
    Bench b;
    auto elevation = [&](int elev) {
        b.decode(0x01, 0x30, svInfoPayload({ svBlock(0, 12, 1, 7, 40, elev, 100) }));
        return b.state.satellites[12].riseSet;
    };
    QCOMPARE(elevation(30), 0);   // first sight: no trend yet
    QCOMPARE(elevation(31), 0);   // one degree changes nothing
    QCOMPARE(elevation(32), 1);   // two degrees from 30
    QCOMPARE(elevation(31), 1);
    QCOMPARE(elevation(30), -1);
    QCOMPARE(elevation(0), -1);   // below the horizon: trend kept
}

void TestUbxDecoder::monVerIdentity()
{
    Bench b;
    const QString text = b.decode(0x0A, 0x04, Le().text("5.00    Jan 09 2006 11:00:00", 30).text("00040001", 10)
                                                  .text("EXT CORE 5.00", 30).text("INT EXT0 (RCV)", 30).zeros(7));
    QCOMPARE(b.state.firmwareVersionText, QString("5.00    Jan 09 2006 11:00:00"));
    QVERIFY(b.state.answered(AnswerFamily::Ublox));
    QCOMPARE(b.display.idTexts.size(), 1);
    QCOMPARE(b.display.idTexts[0], QString("u-blox Receiver/Software Version\nSoftware Version: 5.00    Jan 09 2006 11:00:00\n"
                                           "Hardware Version: 00040001\nROM and extensions:\nEXT CORE 5.00\nINT EXT0 (RCV)\n"));
    // The seven bytes that do not make a whole extension are shown as bytes.
    QVERIFY(text.endsWith("INT EXT0 (RCV)\n <00><00><00><00><00><00><00>"));
}

void TestUbxDecoder::monHwAntenna_data()
{
    QTest::addColumn<int>("aStatus");
    QTest::addColumn<int>("antenna");
    QTest::newRow("init") << 0 << -1;
    QTest::newRow("don't know") << 1 << -1;
    QTest::newRow("ok") << 2 << 0;
    QTest::newRow("short") << 3 << 1;
    QTest::newRow("open") << 4 << 2;
    QTest::newRow("beyond") << 5 << -1;
}

void TestUbxDecoder::monHwAntenna()
{
    QFETCH(int, aStatus);
    QFETCH(int, antenna);
    Bench b;
    b.decode(0x0A, 0x09, Le().zeros(20).u8(aStatus).zeros(39));
    QCOMPARE(b.state.antennaState, antenna);
    QCOMPARE(b.display.antenna, QList<int> { antenna });
}

void TestUbxDecoder::answerFlagForAwaitedAnswers_data()
{
    QTest::addColumn<int>("cls");
    QTest::addColumn<int>("id");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<bool>("answered");
    QTest::newRow("MON-VER") << 0x0A << 0x04 << QByteArray(40, 'x') << true;
    QTest::newRow("MON-VER too short") << 0x0A << 0x04 << QByteArray(39, 'x') << false;
    QTest::newRow("ACK") << 0x05 << 0x01 << QByteArray("\x06\x00", 2) << true;
    QTest::newRow("NAK") << 0x05 << 0x00 << QByteArray("\x06\x00", 2) << true;
    QTest::newRow("CFG-PRT echo") << 0x06 << 0x00 << Ubx::cfgPrt(9600).mid(6) << true;
    QTest::newRow("AID-HUI") << 0x0B << 0x02 << huiPayload(15, 0, 0, 15, 0) << true;
    QTest::newRow("NAV-TIMEUTC") << 0x01 << 0x21 << timeUtcPayload(2009, 1, 1, 0, 0, 0) << false;
    QTest::newRow("TIM-TP") << 0x0D << 0x01 << QByteArray(16, '\0') << false;
}

void TestUbxDecoder::answerFlagForAwaitedAnswers()
{
    QFETCH(int, cls);
    QFETCH(int, id);
    QFETCH(QByteArray, payload);
    QFETCH(bool, answered);
    Bench b;
    b.decode(cls, id, payload);
    QCOMPARE(b.state.answered(AnswerFamily::Ublox), answered);
    QVERIFY(!b.state.answered(AnswerFamily::MotorolaBinary));
}

void TestUbxDecoder::onlyTheAwaitedFrameAnswers()
{
    Bench b;
    b.state.awaitedAnswerHeads = { QByteArray::fromHex("b5620a04") };   // the MON-VER poll's wait
    b.decode(0x05, 0x01, QByteArray("\x06\x00", 2));                   // a late CFG-PRT ACK
    b.decode(0x06, 0x00, Ubx::cfgPrt(9600).mid(6));
    QVERIFY(!b.state.answered(AnswerFamily::Ublox));
    b.decode(0x0A, 0x04, QByteArray(40, ' '));
    QVERIFY(b.state.answered(AnswerFamily::Ublox));
}

void TestUbxDecoder::leapSecondPendingArithmetic_data()
{
    // GPS seconds of Sunday 00:00 of full week 1930 (1 January 2017 was in it).
    const qint64 week1930 = qint64(1930) * 604800;
    QTest::addColumn<int>("ls");
    QTest::addColumn<int>("lsf");
    QTest::addColumn<int>("wnf");
    QTest::addColumn<int>("dn");
    QTest::addColumn<qint64>("now");
    QTest::addColumn<int>("pending");
    // 1930 mod 256 = 138; the event is the end of day 1 (Sunday) of week 1929 -> 1 Jan 2017.
    QTest::newRow("same values") << 17 << 17 << 137 << 7 << week1930 << 0;
    QTest::newRow("positive ahead") << 17 << 18 << 138 << 2 << week1930 << 1;
    QTest::newRow("negative ahead") << 18 << 17 << 138 << 2 << week1930 << 2;
    QTest::newRow("one second before") << 17 << 18 << 138 << 1 << week1930 + 86399 << 1;
    QTest::newRow("at the event") << 17 << 18 << 138 << 1 << week1930 + 86400 << 0;
    QTest::newRow("weeks past") << 17 << 18 << 130 << 7 << week1930 << 0;
    QTest::newRow("next week across the 8-bit wrap") << 17 << 18 << 0 << 1 << qint64(2047) * 604800 << 1;
}

void TestUbxDecoder::leapSecondPendingArithmetic()
{
    QFETCH(int, ls);
    QFETCH(int, lsf);
    QFETCH(int, wnf);
    QFETCH(int, dn);
    QFETCH(qint64, now);
    QFETCH(int, pending);
    QCOMPARE(UbxDecoder::leapSecondPending(ls, lsf, wnf, dn, now), pending);
}

void TestUbxDecoder::aidHuiSetsPendingLeapSecond()
{
    Bench b;
    // 31 December 2016 12:00 UTC: the leap second of that night is 12 hours away.
    b.state.receiverUtcDateTime.setDateTime(QDateTime(QDate(2016, 12, 31), QTime(12, 0), Qt::UTC));
    QString text = b.decode(0x0B, 0x02, huiPayload(17, 1929 % 256, 7, 18, 0x03));
    QCOMPARE(b.state.leapSecondPending, 1);
    QVERIFY(text.endsWith("-->> LS Pending = 1, NTP Leap Indicator = 1"));
    // A month earlier the leap second is announced but not yet for NTP.
    b.state.receiverUtcDateTime.setDateTime(QDateTime(QDate(2016, 12, 1), QTime(12, 0), Qt::UTC));
    text = b.decode(0x0B, 0x02, huiPayload(17, 1929 % 256, 7, 18, 0x03));
    QCOMPARE(b.state.leapSecondPending, 1);
    QVERIFY(text.endsWith("-->> LS Pending = 1, NTP Leap Indicator = 0"));
    // UTC parameters not valid: nothing changes.
    b.state.leapSecondPending = 0;
    b.decode(0x0B, 0x02, huiPayload(17, 1929 % 256, 7, 18, 0x01));
    QCOMPARE(b.state.leapSecondPending, 0);
    // Afterwards.
    b.state.receiverUtcDateTime.setDateTime(QDateTime(QDate(2017, 1, 2), QTime(0, 0), Qt::UTC));
    b.state.leapSecondPending = 1;
    b.decode(0x0B, 0x02, huiPayload(17, 1929 % 256, 7, 18, 0x03));
    QCOMPARE(b.state.leapSecondPending, 0);
}

void TestUbxDecoder::realCaptureAgreesWithReference()
{
    CHRONODE_REQUIRE_CAPTURE(bytes, "ublox-lea-4t.log");
    const QList<QByteArray> frames = linkFrames(bytes);
    QCOMPARE(frames.size(), 31);

    Bench b;
    QStringList texts;
    QList<QDateTime> times;
    QList<double> sawtooth;
    QList<QList<SatelliteRecord>> skies;
    for (const QByteArray &f : frames) {
        texts.append(b.decoder.decodeUbxFrame(f));
        QVERIFY2(!texts.last().isEmpty(), QByteArray::number(texts.size()).constData());
        const int cls = quint8(f[2]), id = quint8(f[3]);
        if (cls == 0x01 && id == 0x21)
            times.append(b.state.receiverUtcDateTime.dateTime());
        if (cls == 0x0D && id == 0x01)
            sawtooth.append(b.state.ppsQuantizationError);
        if (cls == 0x01 && id == 0x30) {
            QList<SatelliteRecord> sky;
            for (const SatelliteRecord &r : b.state.satellites)
                if (r.svId != 0)
                    sky.append(r);
            skies.append(sky);
        }
    }

    // Times as gpsd reports them (SKY "time" of each epoch).
    QCOMPARE(times, QList<QDateTime>({ QDateTime(QDate(2009, 1, 28), QTime(20, 35, 43, 1), Qt::UTC),
                                       QDateTime(QDate(2009, 1, 28), QTime(20, 35, 44, 1), Qt::UTC) }));
    QCOMPARE(b.state.leapSeconds, 15);
    // Sawtooth: qErr -16813 ps and -10440 ps.
    QCOMPARE(sawtooth, QList<double>({ -16.813, -10.440 }));
    QVERIFY(b.state.ppsQuantizationErrorValid);

    // Second epoch's sky, in gpsd's order: PRN, el, az, ss, used.
    struct Sat { int prn, el, az, ss; bool used; };
    const QList<Sat> reference = {
        { 21, 73, 276, 32, true }, { 24, 56, 94, 46, true }, { 15, 40, 113, 30, true }, { 18, 40, 217, 43, true },
        { 26, 40, 87, 45, true }, { 29, 40, 164, 34, true }, { 16, 28, 280, 33, true }, { 6, 21, 311, 0, false },
        { 10, 21, 56, 39, true }, { 3, 10, 317, 0, false }, { 22, 9, 225, 29, false }, { 8, 6, 36, 0, false },
        { 27, 6, 55, 24, false }, { 7, 5, 0, 26, false },
    };
    QCOMPARE(skies.size(), 2);
    QCOMPARE(skies[1].size(), reference.size());
    for (const Sat &s : reference) {
        const SatelliteRecord &r = b.state.satellites[s.prn];
        QCOMPARE(r.svId, s.prn);
        QCOMPARE(r.elevation, s.el);
        QCOMPARE(r.azimuth, s.az);
        QCOMPARE(r.cNo, s.ss);
        QCOMPARE(bool(r.svFlags & SvFlag::UbxUsed), s.used);
    }
    QCOMPARE(b.state.visibleCount.value, 14);   // gpsd nSat
    QCOMPARE(b.state.usedCount.value, 8);       // gpsd uSat

    // DOPs (gpsd: gdop 2.80, pdop 2.42, hdop 1.15, vdop 2.13, tdop 1.40) and a 3-D fix.
    QCOMPARE(b.averaging.dops.last(), QList<double>({ 2.80, 2.42, 1.15, 2.13, 1.40 }));
    QCOMPARE(b.averaging.fixTypes.last(), 3);

    // What is not decoded is still shown.
    QCOMPARE(texts[0], QString("UBX-INF-NOTICE u-blox ag - www.u-blox.com"));
    QCOMPARE(texts[5], QString("UBX-INF-DEBUG BIST: passed"));
    QVERIFY(texts[8].startsWith("UBX-RXM-RAW <B1><A3><DE><13>"));
    QCOMPARE(texts[8].size(), QString("UBX-RXM-RAW ").size() + 272 * 4);
    // NAV-SOL is this receiver's position: ECEF converted as gpsd did (its first TPV).
    QVERIFY(texts[11].startsWith("UBX-NAV-SOL iTOW = 333358001, fTOW = 191628, week = 1516, gpsFix = 3, flags = 0x9D"));
    QVERIFY(qAbs(b.averaging.positions.first().lat - 53.563256267) < 1e-8);
    QVERIFY(qAbs(b.averaging.positions.first().lon - -113.439544853) < 1e-8);
    QVERIFY(qAbs(b.averaging.positions.first().altGps - 635.4587) < 1e-3);
    QCOMPARE(texts[16], QString("UBX-NAV-CLOCK iTOW = 333358001, clkB = -191628 ns, clkD = -1292 ns/s, tAcc = 12 ns, fAcc = 366 ps/s"));
}

void TestUbxDecoder::decodeToolOnTheCapture_data()
{
    QTest::addColumn<QString>("mode");
    QTest::newRow("ubx") << "ubx";
    QTest::newRow("ublox-nmea") << "ublox-nmea";   // same frames: UBX is decoded in both modes
}

void TestUbxDecoder::decodeToolOnTheCapture()
{
    QFETCH(QString, mode);
    const QString tool = QStringLiteral(CHRONODE_BINARY_DIR "/chronode-decode");
    if (!QFile::exists(tool))
        QSKIP("chronode-decode not built");
    if (TestSupport::capturesDir().isEmpty())
        QSKIP("captures not present");
    QProcess p;
    p.start(tool, { "--mode", mode, TestSupport::capturesDir() + "/ublox-lea-4t.log" });
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitCode(), 0);
    QStringList utc;
    QList<double> sawtooth;
    int lines = 0;
    int lastSatellites = 0;
    for (const QByteArray &line : p.readAllStandardOutput().split('\n')) {
        if (line.isEmpty())
            continue;
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        QVERIFY(o.value("text").toString().startsWith("UBX-"));
        ++lines;
        if (o.contains("utc"))
            utc.append(o.value("utc").toString());
        if (o.contains("sawtoothNs"))
            sawtooth.append(o.value("sawtoothNs").toDouble());
        if (o.contains("sats"))
            lastSatellites = int(o.value("sats").toArray().size());
    }
    QCOMPARE(lines, 31);
    QCOMPARE(utc, QStringList({ "2009-01-28T20:35:43.001Z", "2009-01-28T20:35:44.001Z" }));
    QCOMPARE(sawtooth, QList<double>({ -16.813, -10.44 }));
    QCOMPARE(lastSatellites, 14);
}

void TestUbxDecoder::fuzzedFramesNeverCrash()
{
    static const quint8 classes[] = { 0x01, 0x02, 0x04, 0x05, 0x06, 0x09, 0x0A, 0x0B, 0x0D, 0x27 };
    static const quint8 ids[] = { 0x00, 0x01, 0x02, 0x03, 0x04, 0x06, 0x07, 0x09, 0x11, 0x12, 0x14, 0x1D, 0x20,
                                  0x21, 0x22, 0x24, 0x26, 0x30, 0x31, 0x35, 0x38, 0x3D, 0x61, 0x8B, 0xFF };
    QRandomGenerator rng(20090128);
    Bench b;
    QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    int decoded = 0;
    for (int i = 0; i < 20000; ++i) {
        b.state.rawWindowOpened = i % 2 == 0;   // with and without the texts
        const int len = i % 4 == 0 ? int(rng.bounded(1025)) : int(rng.bounded(80));
        QByteArray payload(len, Qt::Uninitialized);
        for (char &c : payload)
            c = char(rng.bounded(256));
        const QByteArray frame = testFrame(classes[rng.bounded(int(sizeof classes))], ids[rng.bounded(int(sizeof ids))], payload);
        const QString text = b.decoder.decodeUbxFrame(frame);
        decoded += text.startsWith("UBX-") ? 1 : 0;
        // Cut and corrupted copies are refused.
        QVERIFY(b.decoder.decodeUbxFrame(frame.left(int(rng.bounded(int(frame.size()))))).isEmpty());
    }
    qInstallMessageHandler(previous);
    QCOMPARE(decoded, 20000);
}

// One satellite block of NAV-SAT: flags bits 0-2 quality, 3 used, 4-5 health (2 unhealthy).
QByteArray satBlock(int gnss, int sv, int cno, int elev, int azim, quint32 flags)
{
    return Le().u8(gnss).u8(sv).u8(cno).u8(quint8(qint8(elev))).u16(quint16(qint16(azim))).u16(0).u32(flags);
}

void TestUbxDecoder::navSatFillsEveryConstellation()
{
    Bench b;
    b.state.satellites[7].svId = 7;   // from an earlier message: cleared
    QByteArray p = Le().u32(1000).u8(1).u8(6).u16(0);
    p += satBlock(0, 4, 25, 48, 216, 0x191F);    // GPS, used
    p += satBlock(6, 3, 25, 22, 229, 0x1914);    // GLONASS slot 3, not used
    p += satBlock(2, 36, 18, 72, 322, 0x0A2F);   // Galileo 36, used, unhealthy
    p += satBlock(3, 5, 30, 10, 100, 0x1907);    // BeiDou 5
    p += satBlock(3, 50, 44, 78, 255, 0x1A2F);   // BeiDou 50: counted, no table place
    p += satBlock(0, 9, 0, -91, 0, 0x0001);      // position unknown, no signal
    QVERIFY(b.decode(0x01, 0x35, p).startsWith("UBX-NAV-SAT"));

    QList<SatelliteRecord> got;
    for (const SatelliteRecord &r : b.state.satellites)
        if (r.svId != 0)
            got.append(r);
    // svId, elevation, azimuth, cNo, inTrack, trackMode, svFlags, riseSet
    const QList<SatelliteRecord> want {
        { 4, 48, 216, 25, 1, 8, 0x01, 0 }, { 9, -1, -1, 0, 1, 1, 0x00, 0 }, { 67, 22, 229, 25, 1, 8, 0x00, 0 },
        { 163, 10, 100, 30, 1, 8, 0x00, 0 }, { 246, 72, 322, 18, 1, 8, 0x11, 0 },
    };
    QCOMPARE(got, want);
    QCOMPARE(b.state.visibleCount.value, 6);
    QCOMPARE(b.state.trackedCount.value, 5);
    QCOMPARE(b.state.usedCount.value, 3);
    QCOMPARE(b.averaging.timingSatellites, QList<int>({ 3 }));
    QCOMPARE(b.display.trackedTexts, QStringList({ "5 Tracked" }));
    // Too few blocks for numSvs: nothing changes.
    QCOMPARE(b.decode(0x01, 0x35, p.left(p.size() - 1)), QStringLiteral("UBX-NAV-SAT ") + UbxDecoder::bytesText(p.left(p.size() - 1)));
    QCOMPARE(b.state.visibleCount.value, 6);
}

QByteArray pvtPayload(int valid, int fixType, int flags, qint32 nano)
{
    return Le().u32(416032000).u16(2025).u8(7).u8(31).u8(19).u8(33).u8(34).u8(valid).u32(21).i32(nano)
        .u8(fixType).u8(flags).u8(0xEA).u8(23).i32(-1213141350).i32(440688540).i32(1118512).i32(1139862)
        .u32(1549).u32(2328).zeros(12).i32(7).i32(7790000).zeros(8).u16(112).zeros(14);
}

void TestUbxDecoder::navPvtStoresValidTimes_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QString>("stored");   // empty: no time stored
    QTest::addColumn<int>("positions");
    QTest::addColumn<int>("navigation");
    QTest::newRow("valid, 3-D") << pvtPayload(0x37, 3, 0x01, -119216000) << "2025-07-31T19:33:33.881Z" << 1 << 0;
    QTest::newRow("date not valid") << pvtPayload(0x02, 3, 0x01, 0) << QString() << 1 << 0;
    QTest::newRow("time only, no valid fix") << pvtPayload(0x07, 5, 0x00, 499999) << "2025-07-31T19:33:34.000Z" << 0 << 1;
    QTest::newRow("rounds up") << pvtPayload(0x07, 2, 0x01, 999500000) << "2025-07-31T19:33:35.000Z" << 1 << 0;
}

void TestUbxDecoder::navPvtStoresValidTimes()
{
    QFETCH(QByteArray, payload);
    QFETCH(QString, stored);
    QFETCH(int, positions);
    QFETCH(int, navigation);
    Bench b;
    const QDateTime before = b.state.receiverUtcDateTime.dateTime();
    QCOMPARE(payload.size(), 92);
    b.decode(0x01, 0x07, payload);
    QCOMPARE(b.state.receiverUtcDateTime.dateTime(),
             stored.isEmpty() ? before : QDateTime::fromString(stored, Qt::ISODateWithMs));
    QCOMPARE(b.averaging.positions.size(), positions);
    if (positions) {
        QCOMPARE(b.averaging.positions[0].lat, 44.068854);
        QCOMPARE(b.averaging.positions[0].altMsl, 1139.862);
    }
    QCOMPARE(b.display.navigation, QList<int>({ navigation }));
    QCOMPARE(b.averaging.timingSatellites, QList<int>({ 23 }));
    QVERIFY(b.sink.sent.isEmpty());   // TIM-SVIN is turned off by NAV-STATUS alone
}

void TestUbxDecoder::navTimeLsLeapSeconds_data()
{
    QTest::addColumn<int>("lsChange");
    QTest::addColumn<int>("timeToEvent");
    QTest::addColumn<int>("valid");
    QTest::addColumn<int>("leapSeconds");
    QTest::addColumn<int>("pending");
    QTest::newRow("none announced") << 0 << 0 << 0x03 << 18 << 0;
    QTest::newRow("insertion ahead") << 1 << 86399 << 0x03 << 18 << 1;
    QTest::newRow("deletion ahead") << -1 << 3600 << 0x03 << 18 << 2;
    QTest::newRow("event passed") << 1 << 0 << 0x03 << 18 << 0;
    QTest::newRow("nothing valid") << 1 << 3600 << 0x00 << 0 << 9;
}

void TestUbxDecoder::navTimeLsLeapSeconds()
{
    QFETCH(int, lsChange);
    QFETCH(int, timeToEvent);
    QFETCH(int, valid);
    QFETCH(int, leapSeconds);
    QFETCH(int, pending);
    Bench b;
    b.state.leapSecondPending = 9;
    b.decode(0x01, 0x26, Le().u32(0).u8(0).zeros(3).u8(1).u8(18).u8(2).u8(quint8(qint8(lsChange))).i32(timeToEvent)
                             .u16(2450).u16(7).zeros(3).u8(valid));
    QCOMPARE(b.state.leapSeconds, leapSeconds);
    QCOMPARE(b.state.leapSecondPending, pending);
}

void TestUbxDecoder::protocolVersionFromMonVer_data()
{
    QTest::addColumn<QStringList>("extensions");
    QTest::addColumn<double>("version");
    QTest::newRow("F9T") << QStringList { "ROM BASE 0x3BFC8935", "FWVER=TIM 2.25", "PROTVER=29.25" } << 29.25;
    QTest::newRow("M8T") << QStringList { "FWVER=TIM 1.10", "PROTVER=22.00", "GPS;GLO;GAL;BDS" } << 22.0;
    QTest::newRow("older form") << QStringList { "PROTVER 15.00" } << 15.0;
    QTest::newRow("LEA-6T") << QStringList { "7.03 (45970)" } << 0.0;
}

void TestUbxDecoder::protocolVersionFromMonVer()
{
    QFETCH(QStringList, extensions);
    QFETCH(double, version);
    Bench b;
    Le p;
    p.text("EXT CORE 1.00", 30).text("00190000", 10);
    for (const QString &e : extensions)
        p.text(e.toLatin1().constData(), 30);
    b.decode(0x0A, 0x04, p);
    QCOMPARE(b.state.ubxProtocolVersion, version);
}

QTEST_GUILESS_MAIN(TestUbxDecoder)
#include "tst_ubxdecoder.moc"
