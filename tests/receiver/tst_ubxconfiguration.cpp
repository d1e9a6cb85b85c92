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

QTEST_GUILESS_MAIN(TestUbxConfiguration)
#include "tst_ubxconfiguration.moc"
