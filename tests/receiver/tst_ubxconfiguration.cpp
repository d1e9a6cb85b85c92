#include "support/TestSupport.h"

#include "core/ReceiverState.h"
#include "receiver/link/ReceiverCommandChannel.h"
#include "receiver/ubx/UbxConfiguration.h"
#include "receiver/ubx/UbxDecoder.h"

#include <QtTest>
#include <functional>

namespace {

QByteArray hex(const char *h) { return QByteArray::fromHex(h); }

// The CFG-MSG commands for a list of "class id" pairs written as hex, e.g. "F100 0D01".
QList<QByteArray> cfgMsgCommands(const char *pairs, const char *rate)
{
    QList<QByteArray> out;
    for (const QByteArray &pair : QByteArray(pairs).split(' '))
        out.append(hex("b56206010300") + hex(pair.constData()) + hex(rate));
    return out;
}

// Records everything the sequence asks of its caller, in order.
struct RecordingHost : UbxSetupHost
{
    QStringList events;
    QList<QByteArray> sent;   // every command, awaited or not
    std::function<bool(const QByteArray &)> answer = [](const QByteArray &) { return true; };

    void sendGpsRxCommand(const QByteArray &c) override
    {
        sent.append(c);
        events.append(QStringLiteral("send"));
    }
    bool sendAndAwaitAnswer(const QByteArray &c, AnswerFamily family, int timeoutMs) override
    {
        sent.append(c);
        events.append(QStringLiteral("await %1 %2").arg(int(family)).arg(timeoutMs));
        return answer(c);
    }
    void pause(int ms) override { events.append(QStringLiteral("pause %1").arg(ms)); }
    void setStatusText(const QString &t) override { events.append(QStringLiteral("status ") + t); }
    void setNavigationIndicator(int v) override { events.append(QStringLiteral("navigation %1").arg(v)); }
    void applyReceiverSettings() override { events.append(QStringLiteral("settings")); }
    void portCommandSent(int rate) override { events.append(QStringLiteral("port %1").arg(rate)); }
    double version = 0.0;
    std::function<Ubx::AckResult(const QByteArray &)> ack = [](const QByteArray &) { return Ubx::AckResult::Accepted; };
    double protocolVersion() const override { return version; }
    Ubx::AckResult sendAndAwaitAck(const QByteArray &c, int timeoutMs) override
    {
        sent.append(c);
        events.append(QStringLiteral("ack %1").arg(timeoutMs));
        return ack(c);
    }
};

const char *const switchedOff = "F100 0D01 0D04 0102 0130 0A09 0103 0121 0104 F103 F104 "
                                "F00A F009 F000 F001 F040 F006 F002 F007 F003 F004 F041 F005 F008";

} // namespace

class TestUbxConfiguration : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cfgPrtRateBytes_data();
    void cfgPrtRateBytes();
    void builders_data();
    void builders();
    void ecefOfRealFix_data();
    void ecefOfRealFix();
    void checksumAndCompleteness_data();
    void checksumAndCompleteness();
    void sequenceInUbxMode();
    void sequenceInNmeaMode();
    void noMonVerAnswerStopsTheSequence();
    void monVerWaitSucceedsThroughTheDecoder();
    void sequenceOverTheCommandChannel();
    void valSetFrames_data();
    void valSetFrames();
    void geodeticOfRealFix();
    void generationDecidesThePath_data();
    void generationDecidesThePath();
    void refusedValSetIsReported();
    void ackAndNakOverTheCommandChannel();
};

void TestUbxConfiguration::cfgPrtRateBytes_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<QByteArray>("rateBytes");
    QTest::newRow("9600") << 9600 << hex("80250000");
    QTest::newRow("115K setting") << 115000 << hex("38c10100");
    QTest::newRow("4800") << 4800 << hex("c0120000");
    QTest::newRow("57600") << 57600 << hex("00e10000");
}

void TestUbxConfiguration::cfgPrtRateBytes()
{
    QFETCH(int, rate);
    QFETCH(QByteArray, rateBytes);
    const QByteArray f = Ubx::cfgPrt(uint32_t(rate));
    QCOMPARE(f, hex("b5620600140001000000c0080000") + rateBytes + hex("030003000000" "0000"));
}

void TestUbxConfiguration::builders_data()
{
    QTest::addColumn<QByteArray>("built");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("CFG-MSG ZDA on") << Ubx::cfgMsg(0xF0, 0x08, 1) << hex("b5620601030" "0f00801");
    QTest::newRow("TIM-SVIN off") << Ubx::timSvinOff() << hex("b562060103000d0400");
    QTest::newRow("TIM-SVIN on") << Ubx::timSvinOn() << hex("b562060103000d0401");
    QTest::newRow("CFG-ANT") << Ubx::cfgAnt() << hex("b5620613040017000000");
    QTest::newRow("CFG-CFG") << Ubx::cfgCfgSave() << hex("b56206090c00000000000b04000000000000");
    QTest::newRow("MON-VER poll") << Ubx::monVerPoll() << hex("b5620a040000");
    QTest::newRow("AID-HUI poll") << Ubx::aidHuiPoll() << hex("b5620b020000");
    QTest::newRow("CFG-TMODE survey-in")
        << Ubx::cfgTmodeSurveyIn() << hex("b562061d1c00" "01000000" "00000000" "00000000" "00000000" "a00f0000" "90130000" "d0070000");
    QTest::newRow("CFG-TMODE2 survey-in")
        << Ubx::cfgTmode2SurveyIn() << hex("b562063d1c00" "01000000" "00000000" "00000000" "00000000" "a00f0000" "90130000" "d0070000");
    QTest::newRow("CFG-TMODE fixed")
        << Ubx::cfgTmodeFixed(-151029952, -348349794, 510853323)
        << hex("b562061d1c00" "02000000" "4077fff6" "9e9a3ceb" "cb00731e" "00000000" "00000000" "00000000");
    QTest::newRow("CFG-TMODE2 fixed")
        << Ubx::cfgTmode2Fixed(-151029952, -348349794, 510853323)
        << hex("b562063d1c00" "02000000" "4077fff6" "9e9a3ceb" "cb00731e" "00000000" "00000000" "00000000");
    QTest::newRow("CFG-NAV5 marine, mask 10")
        << Ubx::cfgNav5(5, 10) << hex("b562062424000700050300000000000000000a") + QByteArray(23, '\0');
    QTest::newRow("CFG-NAV5 negative mask sends 0")
        << Ubx::cfgNav5(0, -3) << hex("b5620624240007000003000000000000000000") + QByteArray(23, '\0');
    QTest::newRow("with checksum: CFG-PRT 9600")
        << Ubx::withChecksum(Ubx::cfgPrt(9600)) << hex("b5620600140001000000c00800008025000003000300000000008e95");
    QTest::newRow("with checksum: CFG-PRT 115000")
        << Ubx::withChecksum(Ubx::cfgPrt(115000)) << hex("b5620600140001000000c008000038c101000300030000000000e3f3");
    QTest::newRow("with checksum: MON-VER poll") << Ubx::withChecksum(Ubx::monVerPoll()) << hex("b5620a0400000e34");
    QTest::newRow("with checksum: CFG-ANT") << Ubx::withChecksum(Ubx::cfgAnt()) << hex("b56206130400170000003429");
    QTest::newRow("with checksum: CFG-CFG") << Ubx::withChecksum(Ubx::cfgCfgSave()) << hex("b56206090c00000000000b040000000000002a03");
}

void TestUbxConfiguration::builders()
{
    QFETCH(QByteArray, built);
    QFETCH(QByteArray, expected);
    QCOMPARE(built.toHex(), expected.toHex());
}

void TestUbxConfiguration::ecefOfRealFix_data()
{
    QTest::addColumn<double>("lat");
    QTest::addColumn<double>("lon");
    QTest::addColumn<double>("height");
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("z");
    // The LEA-4T fixes of the u-blox capture, with the receiver's own ECEF (gpsd's reference).
    QTest::newRow("20:35:40") << 53.563256267 << -113.439544853 << 635.4587 << -151029952 << -348349794 << 510853323;
    QTest::newRow("20:35:44") << 53.563254092 << -113.439545157 << 635.4758 << -151029962 << -348349812 << 510853310;
    QTest::newRow("equator, prime meridian") << 0.0 << 0.0 << 0.0 << 637813700 << 0 << 0;
    QTest::newRow("north pole") << 90.0 << 0.0 << 0.0 << 0 << 0 << 635675231;
}

void TestUbxConfiguration::ecefOfRealFix()
{
    QFETCH(double, lat);
    QFETCH(double, lon);
    QFETCH(double, height);
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(int, z);
    const Ubx::EcefCm e = Ubx::ecefCentimetres(lat, lon, height);
    // Within 2 cm of the receiver's own conversion.
    QVERIFY2(qAbs(e.x - x) <= 2, qPrintable(QString::number(e.x)));
    QVERIFY2(qAbs(e.y - y) <= 2, qPrintable(QString::number(e.y)));
    QVERIFY2(qAbs(e.z - z) <= 2, qPrintable(QString::number(e.z)));
}

void TestUbxConfiguration::checksumAndCompleteness_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<bool>("complete");
    QTest::newRow("poll") << hex("b5620a0400000e34") << true;
    QTest::newRow("TIM-SVIN off") << hex("b562060103000d04001b6e") << true;
    QTest::newRow("check bytes swapped") << hex("b562060103000d04006e1b") << false;
    QTest::newRow("length says more") << hex("b562060104000d04001b6e") << false;
    QTest::newRow("seven bytes") << hex("b5620a04000e34") << false;
    QTest::newRow("no sync") << hex("b5630a0400000e34") << false;
    QTest::newRow("empty") << QByteArray() << false;
}

void TestUbxConfiguration::checksumAndCompleteness()
{
    QFETCH(QByteArray, frame);
    QFETCH(bool, complete);
    QCOMPARE(Ubx::isCompleteFrame(frame), complete);
}

void TestUbxConfiguration::sequenceInUbxMode()
{
    RecordingHost host;
    QVERIFY(sendUbxConfiguration(host, 9, 115000));

    QList<QByteArray> expected { hex("b5620600140001000000c008000038c101000300030000000000"), hex("b5620a040000") };
    expected += cfgMsgCommands(switchedOff, "00");
    expected += hex("b5620613040017000000");
    expected += cfgMsgCommands("0121 0D01 0D04 0102 0130 0A09 0103 0104 0120", "01");
    expected += hex("b56206090c00000000000b04000000000000");
    QCOMPARE(host.sent, expected);

    const QString ublox = QString::number(int(AnswerFamily::Ublox));
    QCOMPARE(host.events.mid(0, 4), QStringList({ "send", "port 115000", "pause 100", "await " + ublox + " 3000" }));
    // After the outputs: navigation indicator, receiver settings, then the save.
    QCOMPARE(host.events.mid(host.events.size() - 3), QStringList({ "navigation 0", "settings", "send" }));
    QVERIFY(!host.events.join('|').contains("status"));
}

void TestUbxConfiguration::sequenceInNmeaMode()
{
    RecordingHost host;
    QVERIFY(sendUbxConfiguration(host, 10, 9600));
    QList<QByteArray> expected { hex("b5620600140001000000c0080000802500000300030000000000"), hex("b5620a040000") };
    expected += cfgMsgCommands(switchedOff, "00");
    expected += hex("b5620613040017000000");
    expected += cfgMsgCommands("F000 F002 F003 F004 F008", "01");
    expected += hex("b56206090c00000000000b04000000000000");
    QCOMPARE(host.sent, expected);
    QVERIFY(host.events.contains("status u-blox NMEA Mode"));
    QVERIFY(host.events.indexOf("status u-blox NMEA Mode") < host.events.indexOf("navigation 0"));
}

void TestUbxConfiguration::noMonVerAnswerStopsTheSequence()
{
    RecordingHost host;
    host.answer = [](const QByteArray &) { return false; };
    QVERIFY(!sendUbxConfiguration(host, 9, 9600));
    QCOMPARE(host.sent.size(), 2);
    QCOMPARE(host.sent[1], hex("b5620a040000"));
    QCOMPARE(host.events.last(), QString("status UBX ERROR: COM port setup failure"));
    QVERIFY(!host.events.contains("settings"));
    QVERIFY(!host.events.contains("navigation 0"));
}

void TestUbxConfiguration::monVerWaitSucceedsThroughTheDecoder()
{
    // The wait clears the u-blox answer flag, the receiver's reply is decoded meanwhile, and
    // the wait ends on the flag the decoder sets: only a MON-VER reply completes it.
    ReceiverState state;
    UbxDecoder decoder(DecoderContext { &state, nullptr, nullptr, nullptr, {} });
    QByteArray reply;
    RecordingHost host;
    host.answer = [&](const QByteArray &command) {
        state.setAnswered(AnswerFamily::Ublox, false);
        if (command == Ubx::monVerPoll() && !reply.isEmpty())
            decoder.decodeUbxFrame(reply);
        return state.answered(AnswerFamily::Ublox);
    };

    QByteArray monVer(40, '\0');
    monVer.replace(0, 4, "6.02");
    reply = Ubx::withChecksum(Ubx::frame(Ubx::Mon, 0x04, monVer));
    QVERIFY(sendUbxConfiguration(host, 9, 9600));
    QCOMPARE(state.firmwareVersionText, QString("6.02"));

    reply = Ubx::withChecksum(Ubx::frame(Ubx::Tim, 0x01, QByteArray(16, '\0')));
    QVERIFY(!sendUbxConfiguration(host, 9, 9600));
}

void TestUbxConfiguration::sequenceOverTheCommandChannel()
{
    ReceiverState state;
    state.receiverBusy = true;
    UbxDecoder decoder(DecoderContext { &state, nullptr, nullptr, nullptr, {} });
    ReceiverCommandChannel channel(state);
    channel.setPauseMs(0);
    channel.setSliceMs(20);

    // A receiver that answers the MON-VER poll a moment later, through the decoder.
    QList<QByteArray> wire;
    QObject::connect(&channel, &ReceiverCommandChannel::sendGpsMessage, [&](const QByteArray &m) {
        wire.append(m);
        if (m == hex("b5620a0400000e34")) {
            QTimer::singleShot(5, [&] {
                QVERIFY(!state.receiverBusy);   // the wait lets frames through
                decoder.decodeUbxFrame(Ubx::withChecksum(Ubx::frame(Ubx::Mon, 0x04, QByteArray(40, '1'))));
            });
        }
    });

    UbxChannelSetupHost host(channel, state);
    QStringList hooks;
    host.statusText = [&](const QString &t) { hooks.append(t); };
    host.navigationIndicator = [&](int v) { hooks.append(QString::number(v)); };
    host.receiverSettings = [&] { hooks.append("settings"); };
    host.portRateSent = [&](int r) { hooks.append(QString::number(r)); };

    QVERIFY(sendUbxConfiguration(host, 10, 19200));
    QCOMPARE(wire.size(), 2 + 24 + 1 + 5 + 1);
    for (const QByteArray &m : wire)
        QVERIFY2(Ubx::isCompleteFrame(m), m.toHex().constData());
    QCOMPARE(wire.first(), Ubx::withChecksum(Ubx::cfgPrt(19200)));
    QCOMPARE(hooks, QStringList({ "19200", "u-blox NMEA Mode", "0", "settings" }));
    QVERIFY(state.receiverBusy);
}

// Whole frames, check bytes included, worked out by hand from the key IDs and value sizes.
void TestUbxConfiguration::valSetFrames_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("survey-in") << Ubx::cfgValSet(Ubx::timeModeSurveyInValues())
                               << hex("b562068a1900000500000100032001100003409013000011000340d0070000f4aa");
    QTest::newRow("navigating") << Ubx::cfgValSet(Ubx::timeModeDisabledValues()) << hex("b562068a0900000500000100032000c29f");
    QTest::newRow("position hold") << Ubx::cfgValSet(Ubx::timeModeFixedValues({ 163983513, -422920651, 446888859 }))
                                   << hex("b562068a3d000005000001000320020200032000030003409930c6090400034035becae605000340"
                                          "9bfba21a0600032000070003200008000320000f000340000000004fe5");
    QTest::newRow("marine, mask 10") << Ubx::cfgValSet(Ubx::navigationValues(5, 10))
                                     << hex("b562068a13000005000021001120051100112003a40011200a23a7");
    QTest::newRow("port 115200") << Ubx::cfgValSet(Ubx::portValues(115200))
                                 << hex("b562068a2000000500000100524000c2010001007310010200731001010074100102007410012376");
    QTest::newRow("antenna") << Ubx::cfgValSet(Ubx::antennaValues())
                             << hex("b562068a1d00000500002e00a310012f00a310013100a310013300a310003500a310012b79");
    QTest::newRow("UBX outputs") << Ubx::cfgValSet(Ubx::modeOutputValues(9))
                                 << hex("b562068a3600000500005c009120017e0191200198009120012a0091200116009120015a03912001"
                                        "1b0091200139009120014800912001070091200172bd");
}

void TestUbxConfiguration::valSetFrames()
{
    QFETCH(QByteArray, frame);
    QFETCH(QByteArray, expected);
    QCOMPARE(Ubx::withChecksum(frame).toHex(), expected.toHex());
    QCOMPARE(Ubx::readValSet(expected).size(), Ubx::readValSet(frame).size());
}

// The M8T capture's NAV-POSECEF and NAV-POSLLH of the same epoch.
void TestUbxConfiguration::geodeticOfRealFix()
{
    const Ubx::Geodetic g = Ubx::geodeticFromEcef(1639835.13, -4229206.51, 4468888.59);
    QVERIFY(qAbs(g.latDeg - 44.7654405) < 1e-7);
    QVERIFY(qAbs(g.lonDeg - -68.8066651) < 1e-7);
    QVERIFY(qAbs(g.heightM - 13.684) < 0.01);
}

void TestUbxConfiguration::generationDecidesThePath_data()
{
    QTest::addColumn<double>("version");
    QTest::addColumn<QList<QByteArray>>("afterMonVer");
    QList<QByteArray> legacy = cfgMsgCommands(switchedOff, "00");
    legacy += hex("b5620613040017000000");
    QList<QByteArray> m8 = legacy;
    legacy += cfgMsgCommands("0121 0D01 0D04 0102 0130 0A09 0103 0104 0120", "01");
    legacy += Ubx::cfgCfgSave();
    m8 += cfgMsgCommands("0121 0D01 0D04 0102 0135 0A09 0103 0104 0120 0107", "01");
    m8 += Ubx::cfgCfgSave();
    QTest::newRow("unknown") << 0.0 << legacy;
    QTest::newRow("M8T, protocol 22") << 22.0 << m8;
    QTest::newRow("F9T, protocol 29.25")
        << 29.25 << QList<QByteArray> { Ubx::cfgValSet(Ubx::outputsOffValues()), Ubx::cfgValSet(Ubx::portValues(9600)),
                                        Ubx::cfgValSet(Ubx::antennaValues()), Ubx::cfgValSet(Ubx::modeOutputValues(9)) };
}

void TestUbxConfiguration::generationDecidesThePath()
{
    QFETCH(double, version);
    QFETCH(QList<QByteArray>, afterMonVer);
    RecordingHost host;
    host.version = version;
    QVERIFY(sendUbxConfiguration(host, 9, 9600));
    QCOMPARE(host.sent.mid(2), afterMonVer);
    QCOMPARE(host.events.count("ack 3000"), version >= 27 ? 4 : 0);
    // Generation 9 writes flash with every frame: no CFG-CFG after the settings.
    QCOMPARE(host.events.mid(host.events.indexOf("navigation 0")),
             version >= 27 ? QStringList({ "navigation 0", "settings" }) : QStringList({ "navigation 0", "settings", "send" }));
}

void TestUbxConfiguration::refusedValSetIsReported()
{
    RecordingHost host;
    host.version = 27.0;
    host.ack = [](const QByteArray &c) {
        return c == Ubx::cfgValSet(Ubx::antennaValues()) ? Ubx::AckResult::Refused : Ubx::AckResult::Accepted;
    };
    QVERIFY(sendUbxConfiguration(host, 10, 9600));
    QCOMPARE(host.events.filter("status"),
             QStringList({ "status UBX ERROR: the receiver refused CFG-VALSET CFG-HW-ANT_CFG_VOLTCTRL=1, CFG-HW-ANT_CFG_SHORTDET=1, "
                           "CFG-HW-ANT_CFG_OPENDET=1, CFG-HW-ANT_CFG_PWRDOWN=0, CFG-HW-ANT_CFG_RECOVER=1",
                           "status u-blox NMEA Mode" }));
}

// Over the program's channel a wait ends only on the acknowledgement of the command sent,
// and tells an ACK-ACK from an ACK-NAK.
void TestUbxConfiguration::ackAndNakOverTheCommandChannel()
{
    ReceiverState state;
    UbxDecoder decoder(DecoderContext { &state, nullptr, nullptr, nullptr, {} });
    ReceiverCommandChannel channel(state);
    channel.setPauseMs(0);
    channel.setSliceMs(10);
    QList<QByteArray> replies;
    QObject::connect(&channel, &ReceiverCommandChannel::sendGpsMessage, [&](const QByteArray &) {
        QTimer::singleShot(2, [&] {
            for (const QByteArray &r : std::as_const(replies))
                decoder.decodeUbxFrame(Ubx::withChecksum(r));
        });
    });
    UbxChannelSetupHost host(channel, state);
    const QByteArray command = Ubx::cfgValSet(Ubx::timeModeSurveyInValues());
    replies = { Ubx::frame(Ubx::Ack, 0x01, hex("0601")), Ubx::frame(Ubx::Ack, 0x00, hex("068a")) };
    QCOMPARE(host.sendAndAwaitAck(command, 500), Ubx::AckResult::Refused);
    replies = { Ubx::frame(Ubx::Ack, 0x01, hex("068a")) };
    QCOMPARE(host.sendAndAwaitAck(command, 500), Ubx::AckResult::Accepted);
    replies = { Ubx::frame(Ubx::Ack, 0x00, hex("0601")) };
    QCOMPARE(host.sendAndAwaitAck(command, 100), Ubx::AckResult::NoAnswer);
    QVERIFY(state.awaitedAnswerHeads.isEmpty());
}

QTEST_GUILESS_MAIN(TestUbxConfiguration)
#include "tst_ubxconfiguration.moc"
