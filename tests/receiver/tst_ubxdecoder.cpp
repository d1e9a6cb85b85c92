#include "support/RecordingAveraging.h"
#include "support/TestSupport.h"

#include "core/ReceiverState.h"
#include "averaging/AveragingInput.h"
#include "receiver/DecoderContext.h"
#include "receiver/framing/StreamFramer.h"
#include "receiver/ubx/UbxConfiguration.h"
#include "receiver/ubx/UbxDecoder.h"

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

// A decoder wired to recording fakes.
struct Bench
{
    ReceiverState state;
    RecordingAveraging averaging;
    RecordingDisplay display;
    RecordingCommands sink;
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
    void everyMessageGoesToTheBinaryLog();
    void incompleteFramesGiveNoText_data();
    void incompleteFramesGiveNoText();
    void velocityGoesToTheEngine();
    void navStatusReactions_data();
    void navStatusReactions();
    void timeOnlyFixSendsSurveyOffForEveryMessage();
    void surveyKeepsItsIndicator();
    void dopStatusText();
    void timeUtcRefreshesTheClock();
    void svInfoFillsSatelliteTable();
    void svInfoTrackModeMapping_data();
    void svInfoTrackModeMapping();
    void svInfoElevationTrend();
    void monVerIdentity();
    void answerFlagForAwaitedAnswers_data();
    void answerFlagForAwaitedAnswers();
    void onlyTheAwaitedFrameAnswers();
    void leapSecondPendingArithmetic_data();
    void leapSecondPendingArithmetic();
    void aidHuiSetsPendingLeapSecond();
    void realCaptureAgreesWithReference();
    void fuzzedFramesNeverCrash();
};

// Message texts are pinned by the regression captures (tests/regress/ubx-*.log); here only
// what they cannot show.
void TestUbxDecoder::everyMessageGoesToTheBinaryLog()
{
    Bench b;
    const QByteArray known = Le().u32(1).u32(2).i32(3).u16(4).u8(5).u8(6);
    QVERIFY(b.decode(0x0D, 0x01, known).startsWith("UBX-TIM-TP "));
    QVERIFY(b.decode(0x27, 0x00, QByteArray("\x01", 1)).startsWith("UBX-27 ???"));
    QCOMPARE(b.log.records, (QList<QByteArray> { testFrame(0x0D, 0x01, known).chopped(2), testFrame(0x27, 0x00, "\x01").chopped(2) }));
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

void TestUbxDecoder::velocityGoesToTheEngine()
{
    Bench b;
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
    QCOMPARE(b.display.fixStatusTexts, QStringList { statusText });
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
    QCOMPARE(b.display.dopStatusTexts, QStringList({ "DOPs: T = 1.4, P = 2.4, H = 1.1, V = 2.1", "DOPs: T = 1.4" }));
    QCOMPARE(b.averaging.dopLists()[0], QList<double>({ 2.80, 2.42, 1.15, 2.13, 1.40 }));
}

// The stored times and the warning on a bad date are in the regression captures; here what a
// time message does to the station besides.
void TestUbxDecoder::timeUtcRefreshesTheClock()
{
    Bench b;
    b.state.timeMessageMissing = true;
    QTest::ignoreMessage(QtWarningMsg, "WARNING: Illegal date or time decoding NAV-TIMEUTC.");
    b.decode(0x01, 0x21, timeUtcPayload(2009, 2, 29, 0, 0, 0));
    QVERIFY(b.state.timeMessageMissing);
    QCOMPARE(b.display.clockRefreshes, 0);
    b.decode(0x01, 0x21, timeUtcPayload(2009, 1, 28, 20, 35, 43, 1191632));
    QVERIFY(b.decoder.lastWarning().isEmpty());
    QCOMPARE(b.state.receiverUtcDateTime.milliseconds(), 1);
    QCOMPARE(b.state.receiverUtcDateTime.mjd(), ReceiverTime::mjdOf(QDate(2009, 1, 28)));
    QVERIFY(!b.state.timeMessageMissing);
    // With no 1PPS line the time message itself refreshes the clock panel.
    QCOMPARE(b.display.clockRefreshes, 1);
    b.state.ppsInterface = 1;
    b.decode(0x01, 0x21, timeUtcPayload(2009, 1, 28, 20, 35, 44));
    QCOMPARE(b.display.clockRefreshes, 1);
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
    QCOMPARE(b.display.satelliteCountUpdates, 1);
    QCOMPARE(b.display.satelliteTableUpdates, 1);

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
    QCOMPARE(b.display.receiverIdTexts.size(), 1);
    QCOMPARE(b.display.receiverIdTexts[0], QString("u-blox Receiver/Software Version\nSoftware Version: 5.00    Jan 09 2006 11:00:00\n"
                                           "Hardware Version: 00040001\nROM and extensions:\nEXT CORE 5.00\nINT EXT0 (RCV)\n"));
    // The seven bytes that do not make a whole extension are shown as bytes.
    QVERIFY(text.endsWith("INT EXT0 (RCV)\n <00><00><00><00><00><00><00>"));
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
    QList<QDateTime> times;
    QList<double> sawtooth;
    QList<QList<SatelliteRecord>> skies;
    for (const QByteArray &f : frames) {
        QVERIFY(!b.decoder.decodeUbxFrame(f).isEmpty());
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
    QCOMPARE(b.averaging.dopLists().last(), QList<double>({ 2.80, 2.42, 1.15, 2.13, 1.40 }));
    QCOMPARE(b.averaging.fixTypes.last(), 3);
}

void TestUbxDecoder::fuzzedFramesNeverCrash()
{
    static const quint8 classes[] = { 0x01, 0x02, 0x04, 0x05, 0x06, 0x09, 0x0A, 0x0B, 0x0D, 0x27 };
    static const quint8 ids[] = { 0x00, 0x01, 0x02, 0x03, 0x04, 0x07, 0x09, 0x11, 0x12, 0x14, 0x1D,
                                  0x20, 0x21, 0x24, 0x30, 0x31, 0x3D, 0xFF };
    QRandomGenerator rng(20090128);
    Bench b;
    QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    int decoded = 0;
    for (int i = 0; i < 20000; ++i) {
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

QTEST_GUILESS_MAIN(TestUbxDecoder)
#include "tst_ubxdecoder.moc"
