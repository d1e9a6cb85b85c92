#include "core/ReceiverState.h"
#include "receiver/motorola/MotorolaCommands.h"
#include "support/RecordingAveraging.h"
#include "support/TestSupport.h"

#include <QSettings>
#include <QtTest>

namespace M = ReceiverModelCode;
using namespace MotorolaCommands;

namespace {

QByteArray hex(const char *h) { return QByteArray::fromHex(h); }
QByteArray cmd(const char *id, const char *h = "") { return QByteArray("@@") + id + hex(h); }

ReceiverState receiver(int model, int channels, bool traim)
{
    ReceiverState s;
    s.receiverMode = ReceiverMode::MotorolaBinary;
    s.receiverModel = model;
    s.channelCount = channels;
    s.hasTraim = traim;
    return s;
}

} // namespace

class TestMotorolaCommands : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void timingCommands_data();
    void timingCommands();
    void traimState_data();
    void traimState();
    void notInOtherModes();
    void settingsKeys();
    void selfTest_data();
    void selfTest();
    void selfSurvey();
};

void TestMotorolaCommands::timingCommands_data()
{
    QTest::addColumn<int>("model");
    QTest::addColumn<int>("channels");
    QTest::addColumn<bool>("traim");
    QTest::addColumn<bool>("gated");
    QTest::addColumn<bool>("shortPulse");
    QTest::addColumn<QList<QByteArray>>("expected");
    // Offset 1 ms + 0.5 us = 1 000 500 ns; cable 123.4 ns sends 123; T-RAIM limit 500 ns.
    QTest::newRow("M12+ with T-RAIM, gated short")
        << int(M::M12Plus) << 12 << true << true << true
        << QList<QByteArray>{ cmd("Ay", "000F4434"), cmd("Az", "0000007B"), cmd("Hn", "00"), cmd("Gc", "07"),
                              cmd("Ge", "01"), cmd("Gf", "0005") };
    QTest::newRow("M12+ without T-RAIM, gated long")
        << int(M::M12Plus) << 12 << false << true << false
        << QList<QByteArray>{ cmd("Ay", "000F4434"), cmd("Az", "0000007B"), cmd("Hn", "00"), cmd("Gc", "02") };
    QTest::newRow("M12 without T-RAIM, short")
        << int(M::M12) << 12 << false << false << true
        << QList<QByteArray>{ cmd("Ay", "000F4434"), cmd("Az", "0000007B"), cmd("Hn", "00"), cmd("Gc", "05") };
    QTest::newRow("SSR without T-RAIM, gated short")
        << int(M::Ssr6Tr) << 12 << false << true << true
        << QList<QByteArray>{ cmd("Ay", "000F4434"), cmd("Az", "0000007B"), cmd("Hn", "00"), cmd("Gc", "06") };
    QTest::newRow("CNXT: nanosecond offset, no G commands")
        << int(M::CnxtNavman) << 12 << true << false << false
        << QList<QByteArray>{ cmd("Ay", "000F4434"), cmd("Az", "0000007B"), cmd("Hn", "00") };
    QTest::newRow("VP with T-RAIM")
        << int(M::VP) << 8 << true << false << false
        << QList<QByteArray>{ cmd("Ax", "0001"), cmd("Ay", "000001F4"), cmd("Az", "0000007B"),
                              cmd("En", "0001000501" "00000100000000000000") };
    QTest::newRow("UT+ without T-RAIM keeps the initial state")
        << int(M::UTPlus) << 8 << false << true << true
        << QList<QByteArray>{ cmd("Ax", "0001"), cmd("Ay", "000001F4"), cmd("Az", "0000007B"),
                              cmd("En", "0000000A01" "00000100000000000000") };
    QTest::newRow("PVT6 six channels, gated long")
        << int(M::PVT6) << 6 << true << true << false
        << QList<QByteArray>{ cmd("Ax", "0001"), cmd("Ay", "000001F4"), cmd("Az", "0000007B"),
                              cmd("Bn", "0001000503" "00000100000000000000") };
    QTest::newRow("channel count from the model")
        << int(M::M12M) << 0 << false << false << false
        << QList<QByteArray>{ cmd("Ay", "000F4434"), cmd("Az", "0000007B"), cmd("Hn", "00"), cmd("Gc", "01") };
}

void TestMotorolaCommands::timingCommands()
{
    QFETCH(int, model);
    QFETCH(int, channels);
    QFETCH(bool, traim);
    QFETCH(bool, gated);
    QFETCH(bool, shortPulse);
    QFETCH(QList<QByteArray>, expected);
    ReceiverState s = receiver(model, channels, traim);
    TimingSettings t;
    t.epochOffsetMs = 1;
    t.ppsFineOffsetUs = 0.5;
    t.antennaCableDelayNs = 123.4;
    t.traimGatesPps = gated;
    t.shortPulse = shortPulse;
    RecordingCommands sink;
    sendTimingCommands(s, sink, t);
    QCOMPARE(sink.sent, expected);
}

void TestMotorolaCommands::traimState_data()
{
    QTest::addColumn<double>("limit");
    QTest::addColumn<bool>("gated");
    QTest::addColumn<bool>("shortPulse");
    QTest::addColumn<int>("enabled");
    QTest::addColumn<int>("alarm");
    QTest::addColumn<int>("control");
    QTest::newRow("gated short") << 999.9 << true << true << 1 << 9 << 7;
    QTest::newRow("gated long") << 250.0 << true << false << 1 << 2 << 3;
    QTest::newRow("free short") << 500.0 << false << true << 1 << 5 << 5;
    QTest::newRow("free long") << 1000.0 << false << false << 1 << 10 << 1;
    QTest::newRow("off") << 0.0 << true << true << 0 << 10 << 1;
}

void TestMotorolaCommands::traimState()
{
    QFETCH(double, limit);
    QFETCH(bool, gated);
    QFETCH(bool, shortPulse);
    QFETCH(int, enabled);
    QFETCH(int, alarm);
    QFETCH(int, control);
    ReceiverState s = receiver(M::VP, 8, true);
    TimingSettings t;
    t.traimLimitNs = limit;
    t.traimGatesPps = gated;
    t.shortPulse = shortPulse;
    updateTraimState(s, t);
    QCOMPARE(int(s.traimEnabled), enabled);
    QCOMPARE(int(s.traimAlarmLimit), alarm);
    QCOMPARE(int(s.ppsControl), control);
    QCOMPARE(traimFamilyCommand(s).mid(4, 5),
             QByteArray() + char(0) + char(enabled) + char(alarm >> 8) + char(alarm & 0xFF) + char(control));
}

void TestMotorolaCommands::notInOtherModes()
{
    for (int mode : { 0, 1, 3, 6, 9, 10, 11 }) {
        ReceiverState s = receiver(M::M12Plus, 12, true);
        s.receiverMode = mode;
        QVERIFY(MotorolaCommands::timingCommands(s, TimingSettings()).isEmpty());
    }
    // Offsets wrap: 999 ms + 999.999 us on a VP.
    ReceiverState vp = receiver(M::VP, 8, false);
    TimingSettings t;
    t.epochOffsetMs = 999;
    t.ppsFineOffsetUs = 999.999;
    const QList<QByteArray> c = MotorolaCommands::timingCommands(vp, t);
    QCOMPARE(c.at(0), cmd("Ax", "03E7"));
    QCOMPARE(c.at(1), cmd("Ay", "000F423F"));
    ReceiverState m12 = receiver(M::M12, 12, false);
    QCOMPARE(MotorolaCommands::timingCommands(m12, t).at(0), cmd("Ay", "3B9AC9FF"));
}

void TestMotorolaCommands::settingsKeys()
{
    TestSupport::TemporarySettings temp;
    {
        QSettings s;
        const TimingSettings d = TimingSettings::fromSettings(s);
        QCOMPARE(d.epochOffsetMs, 0);
        QCOMPARE(d.ppsFineOffsetUs, 0.0);
        QCOMPARE(d.antennaCableDelayNs, 0.0);
        QCOMPARE(d.traimLimitNs, 500.0);
        QVERIFY(!d.traimGatesPps);
        QVERIFY(!d.shortPulse);
    }
    QSettings s;
    s.setValue("TimingDialog/Epoch", "12");
    s.setValue("TimingDialog/1pps Delay", "1.250");
    s.setValue("TimingDialog/Antenna Cable Delay", "85.5");
    s.setValue("TimingDialog/T-Raim", "300.0");
    s.setValue("TimingDialog/T-Raim Conditioned 1pps", "1");
    s.setValue("GpsRxDialog/Pps Duration", 1);
    TimingSettings t = TimingSettings::fromSettings(s);
    QCOMPARE(t.epochOffsetMs, 12);
    QCOMPARE(t.ppsOffsetUs(), 12001.25);
    QCOMPARE(t.antennaCableDelayNs, 85.5);
    QCOMPARE(t.traimLimitNs, 300.0);
    QVERIFY(t.traimGatesPps);
    QVERIFY(t.shortPulse);
    // Out of range or not numbers: defaults.
    s.setValue("TimingDialog/Epoch", "1000");
    s.setValue("TimingDialog/1pps Delay", "abc");
    s.setValue("TimingDialog/Antenna Cable Delay", "-1");
    s.setValue("TimingDialog/T-Raim", "100");
    s.setValue("TimingDialog/T-Raim Conditioned 1pps", "maybe");
    t = TimingSettings::fromSettings(s);
    QCOMPARE(t.epochOffsetMs, 0);
    QCOMPARE(t.ppsFineOffsetUs, 0.0);
    QCOMPARE(t.antennaCableDelayNs, 0.0);
    QCOMPARE(t.traimLimitNs, 500.0);
    QVERIFY(!t.traimGatesPps);
}

void TestMotorolaCommands::selfTest_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("model");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("VP") << 2 << int(M::VP) << QByteArray("@@Fa");
    QTest::newRow("UT+") << 2 << int(M::UTPlus) << QByteArray("@@Fa");
    QTest::newRow("M12+") << 2 << int(M::M12Plus) << QByteArray("@@Ia");
    QTest::newRow("TX Oncore") << 2 << int(M::TxOncore) << QByteArray("@@Ia");
    QTest::newRow("SSR-M8T") << 2 << int(M::SsrM8T) << QByteArray("@@Ia");
    QTest::newRow("u-blox") << 9 << int(M::Ublox) << QByteArray();
    QTest::newRow("Motorola NMEA") << 1 << int(M::M12Plus) << QByteArray();
}

void TestMotorolaCommands::selfTest()
{
    QFETCH(int, mode);
    QFETCH(int, model);
    QFETCH(QByteArray, expected);
    QCOMPARE(selfTestCommand(mode, model), expected);
    QCOMPARE(selfTestTitle(), QStringLiteral("<b>GPS Receiver Self Test</b>"));
    QVERIFY(selfTestQuestion().endsWith("Do you really want to do this?"));
    QCOMPARE(selfTestUbloxNotice(), QStringLiteral("Self Test is not supported on u-blox based receivers."));
}

void TestMotorolaCommands::selfSurvey()
{
    QCOMPARE(selfSurveyCommands(2, 8), QList<QByteArray>{ cmd("At", "02") });
    QCOMPARE(selfSurveyCommands(2, 6), QList<QByteArray>{ cmd("At", "02") });
    QCOMPARE(selfSurveyCommands(2, 12), QList<QByteArray>{ cmd("Gd", "03") });
    QVERIFY(selfSurveyCommands(6, 12).isEmpty());
    QVERIFY(selfSurveyNotice(6).isEmpty());
    QVERIFY(selfSurveyNotice(2).contains("It activates 3D navigation mode and activates TRAIM."));
    QVERIFY(!selfSurveyNotice(10).contains("TRAIM"));
    QCOMPARE(selfSurveyTitle(), QStringLiteral("<b>GPS Receiver Self Survey</b>"));
    const QList<QByteArray> ubx = selfSurveyCommands(9, 0);
    QCOMPARE(ubx, selfSurveyCommands(10, 0));
    QCOMPARE(ubx, (QList<QByteArray>{
                      hex("B56206010300" "0D0401"),
                      hex("B562061D1C00" "01000000" "00000000" "00000000" "00000000" "A00F0000" "90130000" "D0070000"),
                      hex("B562063D1C00" "01" "00" "0000" "00000000" "00000000" "00000000" "A00F0000" "90130000"
                          "D0070000") }));
}

QTEST_GUILESS_MAIN(TestMotorolaCommands)
#include "tst_motorolacommands.moc"
