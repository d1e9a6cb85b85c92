// The simulated u-blox timing module: its factory output, its answers to polls and settings
// (byte for byte), the port rate change, and its stream decoded by the program's own framer and
// UBX decoder giving back what the simulation meant. Expectations come from the simulation's
// truth (its epochs), never from the decoder.

#include "support/TestSupport.h"

#include "support/RecordingAveraging.h"
#include "core/ReceiverState.h"
#include "sim/SimulatedReceiver.h"
#include "sim/SimulatedUblox.h"
#include "receiver/framing/StreamFramer.h"
#include "receiver/ubx/UbxConfiguration.h"
#include "receiver/ubx/UbxDecoder.h"
#include "receiver/ubx/UbxEncoder.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

namespace {

constexpr qint64 T0 = 1767225600 + 5 * 3600 + 17;   // 2026-01-01 05:00:17 UTC
constexpr qint64 NowMs = (T0 - 1) * 1000 + 300;

SimulatedReceiverConfig lea6t()
{
    bool ok = false;
    SimulatedReceiverConfig c = SimulatedReceiverConfig::forModel(QStringLiteral("LEA-6T"), &ok);
    Q_ASSERT(ok);
    c.seed = 7;
    return c;
}

// As the link sends it: checksum appended, then CR LF.
QByteArray sent(const QByteArray &withoutChecksum)
{
    return Ubx::withChecksum(withoutChecksum) + "\r\n";
}

// The class/ID pairs of the UBX frames and the NMEA sentence heads of a byte stream, in order.
QStringList heads(const QByteArray &bytes)
{
    QStringList out;
    StreamFramer framer(ReceiverMode::UbloxUbx);
    framer.feed(bytes, [&out](const QByteArray &f) {
        if (f.startsWith('$'))
            out << QString::fromLatin1(f.mid(1, 5));
        else
            out << QString::fromLatin1(f.mid(2, 2).toHex(' ').toUpper());
    });
    return out;
}

} // namespace

class TestSimulatedUblox : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void modelNames_data();
    void modelNames();
    void factoryOutput();
    void answers_data();
    void answers();
    void pollsEchoTheSetting();
    void pollsOfMessages();
    void rateSwitch_data();
    void rateSwitch();
    void timingOutputsAfterSetUp();
    void decodesToTheSimulatedTruth();
    void timeOnlyFixTurnsSurveyOff();
    void garbledInputIsBounded();
    void toolWritesTheStream_data();
    void toolWritesTheStream();
};

void TestSimulatedUblox::modelNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("ublox");
    QTest::addColumn<QString>("modelName");
    QTest::addColumn<QByteArray>("firmware");
    QTest::newRow("LEA-6T") << "LEA-6T" << true << "LEA-6T" << QByteArray("7.03 (45970)");
    QTest::newRow("lower case, spaces") << " lea-4t " << true << "LEA-4T" << QByteArray("5.00 (32068)");
    QTest::newRow("u-blox") << "u-blox" << true << "u-blox" << QByteArray("7.03 (45970)");
    QTest::newRow("Motorola stays Motorola") << "M12+" << false << "M12+" << QByteArray();
}

void TestSimulatedUblox::modelNames()
{
    QFETCH(QString, name);
    QFETCH(bool, ublox);
    QFETCH(QString, modelName);
    QFETCH(QByteArray, firmware);
    bool ok = false;
    const SimulatedReceiverConfig c = SimulatedReceiverConfig::forModel(name, &ok);
    QVERIFY(ok);
    QCOMPARE(c.ublox, ublox);
    QCOMPARE(c.modelName, modelName);
    QVERIFY(SimulatedReceiverConfig::modelNames().contains(modelName));
    SimulatedReceiver rx(c);
    QCOMPARE(rx.ublox() != nullptr, ublox);
    if (ublox) {
        QCOMPARE(c.channels, 16);
        QCOMPARE(rx.dataRate(), 9600);
        // MON-VER carries the software version in its first 30 bytes.
        QCOMPARE(rx.ublox()->monVerFrame().mid(6, 30), firmware.leftJustified(30, '\0'));
    }
}

void TestSimulatedUblox::factoryOutput()
{
    SimulatedReceiver rx(lea6t());
    QVERIFY(rx.streamHeader().startsWith("$GPTXT,01,01,02,u-blox ag - www.u-blox.com*"));
    const QByteArray first = rx.secondOutput(T0);
    const SimulatedEpoch e = rx.epochAt(T0);
    const int gsv = (int(e.satellites.size()) + 3) / 4;
    QStringList expected { "GPGGA", "GPGLL", "GPGSA" };
    for (int i = 0; i < gsv; ++i)
        expected << "GPGSV";
    expected << "GPRMC" << "GPVTG";
    // The antenna text goes out once, with the first second.
    QCOMPARE(heads(first), expected + QStringList { "GPTXT" });
    QVERIFY(first.contains("$GPTXT,01,01,02,ANTSTATUS=OK*"));
    const QByteArray second = rx.secondOutput(T0 + 1);
    QCOMPARE(heads(second), expected);
    QVERIFY(!second.contains("ZDA"));
    QVERIFY(!second.contains('\xB5'));
    // The sentences are the simulation's own NMEA for the same epoch.
    QVERIFY(first.startsWith(rx.nmeaSentence(e, "GGA")));
}

void TestSimulatedUblox::answers_data()
{
    QTest::addColumn<QByteArray>("command");   // without checksum
    QTest::addColumn<QByteArray>("answer");    // whole frames, hex
    // ACK-ACK / ACK-NAK: B5 62 05 01|00 02 00 class id CK_A CK_B.
    QTest::newRow("CFG-MSG NAV-TIMEUTC on") << Ubx::cfgMsg(0x01, 0x21, 1) << QByteArray("b5620501020006010f38");
    QTest::newRow("CFG-MSG ZDA on") << Ubx::cfgMsg(0xF0, 0x08, 1) << QByteArray("b5620501020006010f38");
    QTest::newRow("CFG-ANT") << Ubx::cfgAnt() << QByteArray("b562050102000613214a");
    QTest::newRow("CFG-CFG save") << Ubx::cfgCfgSave() << QByteArray("b5620501020006091740");
    QTest::newRow("CFG-NAV5") << Ubx::cfgNav5(2, 10) << QByteArray("b562050102000624325b");
    QTest::newRow("CFG-TMODE2 survey") << Ubx::cfgTmode2SurveyIn() << QByteArray("b56205010200063d4b74");
    QTest::newRow("CFG-MSG of wrong length") << Ubx::frame(Ubx::Cfg, 0x01, QByteArray(5, '\1'))
                                              << QByteArray("b5620500020006010e33");
    QTest::newRow("unknown CFG ID") << Ubx::frame(Ubx::Cfg, 0x77, QByteArray(4, '\0'))
                                    << QByteArray("b56205000200067784a9");
    QTest::newRow("MON-VER poll") << Ubx::monVerPoll() << QByteArray();
    QTest::newRow("NAV-PVT poll: not a LEA-6T message") << Ubx::frame(Ubx::Nav, 0x07) << QByteArray("");
}

void TestSimulatedUblox::answers()
{
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, answer);
    SimulatedReceiver rx(lea6t());
    const QByteArray got = rx.receive(sent(command), NowMs);
    if (command == Ubx::monVerPoll()) {
        QCOMPARE(got, rx.ublox()->monVerFrame());
        ReceiverState state;
        DecoderContext ctx;
        ctx.state = &state;
        UbxDecoder decoder(ctx);
        QVERIFY(decoder.decodeUbxFrame(got).startsWith("UBX-MON-VER"));
        QCOMPARE(state.firmwareVersionText, QStringLiteral("7.03 (45970)"));
        QVERIFY(state.answered(AnswerFamily::Ublox));
    } else {
        QCOMPARE(got.toHex(), answer);
    }
    QCOMPARE(rx.ublox()->receivedFrames().size(), 1);
}

void TestSimulatedUblox::pollsEchoTheSetting()
{
    SimulatedReceiver rx(lea6t());
    // CFG-PRT: the port as it stands (UART 1, 8N1, 9600, UBX+NMEA+RTCM in, UBX+NMEA out), then ACK-ACK.
    QByteArray got = rx.receive(sent(Ubx::frame(Ubx::Cfg, 0x00)), NowMs);
    QCOMPARE(got.toHex(), QByteArray("b5620600140001000000c008000080250000070003000000000092b5"
                                     "b5620501020006000e37"));
    ReceiverState state;
    DecoderContext ctx;
    ctx.state = &state;
    UbxDecoder decoder(ctx);
    QVERIFY(decoder.decodeUbxFrame(got.left(28)).contains("portID = UART #1, res0 = 0, res1 = 0, mode = 000008C0, baudRate = 9600"));

    // CFG-MSG poll: the rate of the message on UART 1 (GGA on from the factory, ZDA off).
    got = rx.receive(sent(Ubx::frame(Ubx::Cfg, 0x01, QByteArray::fromHex("f000"))), NowMs);
    QCOMPARE(got.toHex(), QByteArray("b56206010800f0000001000000000028b5620501020006010f38"));
    got = rx.receive(sent(Ubx::frame(Ubx::Cfg, 0x01, QByteArray::fromHex("f008"))), NowMs);
    QCOMPARE(got.mid(6, 8).toHex(), QByteArray("f008000000000000"));

    // A time-pulse setting comes back as it was set.
    QByteArray tp5(32, '\0');
    tp5[0] = 0;
    tp5[4] = char(0x32);
    tp5[28] = char(0x77);
    QCOMPARE(rx.receive(sent(Ubx::frame(Ubx::Cfg, 0x31, tp5)), NowMs).left(6).toHex(), QByteArray("b56205010200"));
    got = rx.receive(sent(Ubx::frame(Ubx::Cfg, 0x31)), NowMs);
    QCOMPARE(got.left(40), Ubx::withChecksum(Ubx::frame(Ubx::Cfg, 0x31, tp5)));
    QCOMPARE(got.mid(40).toHex(), QByteArray("b5620501020006313f68"));
}

void TestSimulatedUblox::pollsOfMessages()
{
    // A poll is answered once with the message for the coming pulse; output stays off.
    SimulatedReceiver rx(lea6t());
    ReceiverState state;
    DecoderContext ctx;
    ctx.state = &state;
    UbxDecoder decoder(ctx);
    const QByteArray utc = rx.receive(sent(Ubx::frame(Ubx::Nav, 0x21)), NowMs);
    QCOMPARE(utc, SimulatedUblox::navTimeUtc(rx.epochAt(T0), 18));
    QVERIFY(!decoder.decodeUbxFrame(utc).isEmpty());
    QCOMPARE(state.receiverUtcDateTime.dateTime(), QDateTime::fromSecsSinceEpoch(T0, Qt::UTC));
    QCOMPARE(rx.ublox()->rate(Ubx::Nav, 0x21), 0);

    // AID-HUI: UTC parameters valid, no leap second announced.
    const QByteArray hui = rx.receive(sent(Ubx::aidHuiPoll()), NowMs);
    QCOMPARE(hui.size(), 72 + 8);
    state.leapSecondPending = 1;
    const QString text = decoder.decodeUbxFrame(hui);
    QVERIFY2(text.contains("utcLS = 18,") && text.contains("utcLSF = 18 ") && text.contains("LS Pending = 0,"),
             qPrintable(text));
    QCOMPARE(state.leapSecondPending, 0);
    QVERIFY(state.answered(AnswerFamily::Ublox));
}

void TestSimulatedUblox::rateSwitch_data()
{
    QTest::addColumn<int>("mismatch");
    QTest::newRow("silent") << int(RateMismatch::Silent);
    QTest::newRow("garbage") << int(RateMismatch::Garbage);
}

void TestSimulatedUblox::rateSwitch()
{
    QFETCH(int, mismatch);
    SimulatedReceiverConfig c = lea6t();
    c.rateMismatch = RateMismatch(mismatch);
    SimulatedReceiver rx(c);
    rx.setLinkRate(9600);
    // The acknowledgement still goes out at 9600; then the port is at 115000.
    QCOMPARE(rx.receive(sent(Ubx::cfgPrt(115000)), NowMs).toHex(), QByteArray("b5620501020006000e37"));
    QCOMPARE(rx.dataRate(), 115000);

    // At the old rate: nothing the link could frame, and commands go unheard.
    const QByteArray noise = rx.secondOutput(T0);
    QCOMPARE(noise.isEmpty(), mismatch == int(RateMismatch::Silent));
    QVERIFY(heads(noise).isEmpty());
    QVERIFY(rx.receive(sent(Ubx::monVerPoll()), NowMs).isEmpty());
    QCOMPARE(rx.ublox()->receivedFrames().size(), 1);

    // At the new rate it talks again, and reports the new rate when asked.
    rx.setLinkRate(115000);
    QVERIFY(heads(rx.secondOutput(T0 + 1)).contains("GPGGA"));
    QCOMPARE(rx.receive(sent(Ubx::monVerPoll()), NowMs), rx.ublox()->monVerFrame());
    const QByteArray prt = rx.receive(sent(Ubx::frame(Ubx::Cfg, 0x00)), NowMs);
    QCOMPARE(prt.mid(6 + 8, 4).toHex(), QByteArray("38c10100"));

    // A rate nobody uses is refused and changes nothing.
    QCOMPARE(rx.receive(sent(Ubx::cfgPrt(0)), NowMs).toHex(), QByteArray("b5620500020006000d32"));
    QCOMPARE(rx.dataRate(), 115000);
}

void TestSimulatedUblox::timingOutputsAfterSetUp()
{
    // The program's UBX set-up, message by message, as the link sends it in one stream.
    SimulatedReceiver rx(lea6t());
    QByteArray stream;
    for (const Ubx::MessageId &m : Ubx::messagesSwitchedOff())
        stream += sent(Ubx::cfgMsg(m.cls, m.id, 0));
    for (const Ubx::MessageId &m : Ubx::ubxModeMessages())
        stream += sent(Ubx::cfgMsg(m.cls, m.id, 1));
    const QByteArray acks = rx.receive(stream, NowMs);
    const int commands = int(Ubx::messagesSwitchedOff().size() + Ubx::ubxModeMessages().size());
    QCOMPARE(acks, UbxEncoder::ackAck(Ubx::Cfg, 0x01).repeated(commands));

    rx.secondOutput(T0);
    QCOMPARE(heads(rx.secondOutput(T0 + 1)),
             QStringList({ "01 21", "01 20", "01 02", "01 03", "01 04", "01 30", "0D 01", "0D 04", "0A 09" }));
    // configureForTiming() leaves the unit the same way.
    SimulatedReceiver other(lea6t());
    other.ublox()->configureForTiming();
    other.secondOutput(T0);
    QCOMPARE(other.secondOutput(T0 + 1), rx.secondOutput(T0 + 1));
}

void TestSimulatedUblox::decodesToTheSimulatedTruth()
{
    SimulatedReceiver rx(lea6t());
    rx.ublox()->configureForTiming();
    ReceiverState state;
    RecordingAveraging averaging;
    RecordingCommands commands;
    DecoderContext ctx;
    ctx.state = &state;
    ctx.averaging = &averaging;
    ctx.commands = &commands;
    UbxDecoder decoder(ctx);
    StreamFramer framer(ReceiverMode::UbloxUbx);

    QSet<int> sawtooths;
    for (qint64 t = T0; t < T0 + 120; ++t) {
        const SimulatedEpoch truth = rx.epochAt(t);
        QList<QByteArray> frames;
        framer.feed(rx.secondOutput(t), [&frames](const QByteArray &f) { frames << f; });
        QCOMPARE(frames.size(), 9);
        averaging.positions.clear();
        averaging.dops.clear();
        state.ppsQuantizationErrorValid = false;
        for (const QByteArray &f : std::as_const(frames))
            QVERIFY2(!decoder.decodeUbxFrame(f).isEmpty(), f.toHex().constData());

        QCOMPARE(state.receiverUtcDateTime.dateTime(), truth.utc);
        QCOMPARE(state.leapSeconds, 18);
        QVERIFY(state.ppsQuantizationErrorValid);
        QCOMPARE(state.ppsQuantizationError, double(truth.sawtoothNs));
        sawtooths.insert(truth.sawtoothNs);
        QCOMPARE(state.visibleCount.value, truth.visibleCount);
        QCOMPARE(state.trackedCount.value, truth.trackedCount);
        for (const SimulatedSatellite &s : truth.satellites) {
            const SatelliteRecord &r = state.satellites[size_t(s.svId)];
            QCOMPARE(r.svId, s.svId);
            QCOMPARE(r.elevation, s.elevation);
            QCOMPARE(r.azimuth, s.azimuth);
            QCOMPARE(r.cNo, s.cNo);
            QCOMPARE(int(r.inTrack), s.channel >= 0 ? 1 : 0);
            QCOMPARE(int(r.svFlags & 0x01), s.channel >= 0 ? 1 : 0);
        }
        QCOMPARE(averaging.positions.size(), 1);
        QVERIFY(std::abs(averaging.positions[0].lat - truth.latitude) <= 0.5e-7 + 1e-12);
        QVERIFY(std::abs(averaging.positions[0].lon - truth.longitude) <= 0.5e-7 + 1e-12);
        QVERIFY(std::abs(averaging.positions[0].altGps - truth.height) <= 0.0005 + 1e-9);
        QVERIFY(std::abs(averaging.positions[0].altMsl - truth.mslHeight) <= 0.0005 + 1e-9);
        QCOMPARE(averaging.dops.size(), 1);
        QCOMPARE(averaging.dops[0].pdop, truth.dopTenths / 10.0);
        QCOMPARE(averaging.fixTypes.last(), truth.trackedCount >= 4 ? 3 : truth.trackedCount == 3 ? 2 : 0);
        QCOMPARE(state.antennaState, 0);
    }
    // Two minutes cover the sawtooth's sweep through both signs.
    QVERIFY(*std::min_element(sawtooths.begin(), sawtooths.end()) < 0);
    QVERIFY(*std::max_element(sawtooths.begin(), sawtooths.end()) > 0);
    QVERIFY(commands.sent.isEmpty());
}

void TestSimulatedUblox::timeOnlyFixTurnsSurveyOff()
{
    // A unit told its fixed position reports a time-only fix; the decoder answers each such
    // NAV-STATUS with TIM-SVIN off, which the unit acknowledges and obeys.
    SimulatedReceiver rx(lea6t());
    rx.ublox()->configureForTiming();
    const Ubx::EcefCm p = Ubx::ecefCentimetres(47.366389, 8.548611, 510.0);
    QCOMPARE(rx.receive(sent(Ubx::cfgTmode2Fixed(p.x, p.y, p.z)), NowMs), UbxEncoder::ackAck(Ubx::Cfg, 0x3D));
    QVERIFY(rx.ublox()->timeOnlyFix());
    QVERIFY(rx.positionHold());

    ReceiverState state;
    RecordingCommands commands;
    DecoderContext ctx;
    ctx.state = &state;
    ctx.commands = &commands;
    UbxDecoder decoder(ctx);
    StreamFramer framer(ReceiverMode::UbloxUbx);
    framer.feed(rx.secondOutput(T0), [&](const QByteArray &f) { decoder.decodeUbxFrame(f); });
    QVERIFY(decoder.timeOnlyFix());
    QCOMPARE(state.navigationState, 1);
    QCOMPARE(commands.sent, QList<QByteArray>({ Ubx::timSvinOff() }));
    QCOMPARE(rx.receive(sent(commands.sent.first()), NowMs), UbxEncoder::ackAck(Ubx::Cfg, 0x01));
    QVERIFY(!heads(rx.secondOutput(T0 + 1)).contains("0D 04"));
    // Holding its position, the unit reports the same place every second.
    QCOMPARE(rx.epochAt(T0).latitude, rx.epochAt(T0 + 500).latitude);
}

void TestSimulatedUblox::garbledInputIsBounded()
{
    SimulatedReceiver rx(lea6t());
    // A frame with a wrong checksum, a length beyond any frame, noise and NMEA: nothing answers,
    // and a good poll after all that still does.
    QByteArray bad = Ubx::withChecksum(Ubx::monVerPoll());
    bad[bad.size() - 1] = char(bad.back() ^ 0x01);
    QByteArray noise = bad + QByteArray::fromHex("b56206010005") + "$PUBX,00*33\r\n";
    for (int i = 0; i < 3000; ++i)
        noise += char(i * 37 % 251);
    QVERIFY(rx.receive(noise, NowMs).isEmpty());
    QVERIFY(rx.ublox()->receivedFrames().isEmpty());
    QCOMPARE(rx.receive(sent(Ubx::monVerPoll()), NowMs), rx.ublox()->monVerFrame());
    // A frame split over many writes is taken when complete.
    const QByteArray poll = Ubx::withChecksum(Ubx::monVerPoll());
    for (int i = 0; i < poll.size() - 1; ++i)
        QVERIFY(rx.receive(poll.mid(i, 1), NowMs).isEmpty());
    QCOMPARE(rx.receive(poll.right(1), NowMs), rx.ublox()->monVerFrame());
}

void TestSimulatedUblox::toolWritesTheStream_data()
{
    QTest::addColumn<bool>("ubx");
    QTest::newRow("factory NMEA") << false;
    QTest::newRow("--ubx timing output") << true;
}

void TestSimulatedUblox::toolWritesTheStream()
{
    QFETCH(bool, ubx);
    const QString bin = QStringLiteral(CHRONODE_BINARY_DIR);
    const QString sim = bin + "/chronode-sim", decode = bin + "/chronode-decode";
    if (!QFileInfo::exists(sim) || !QFileInfo::exists(decode))
        QSKIP("chronode-sim or chronode-decode not built");
    QStringList args { "--model", "LEA-6T", "--seconds", "10", "--start", "2026-01-01T05:00:17Z", "--seed", "7" };
    if (ubx)
        args << "--ubx";
    QProcess simP;
    simP.start(sim, args);
    QVERIFY(simP.waitForFinished(30000));
    QCOMPARE(simP.exitCode(), 0);
    const QByteArray stream = simP.readAllStandardOutput();
    SimulatedReceiver rx(lea6t());
    if (ubx)
        rx.ublox()->configureForTiming();
    QByteArray expected = rx.streamHeader();
    for (qint64 t = T0; t < T0 + 10; ++t)
        expected += rx.secondOutput(t);
    QCOMPARE(stream, expected);

    // Decoded by the decode tool, its times (and in UBX its sawtooth) are the simulation's.
    QProcess decP;
    decP.start(decode, { "--mode", ubx ? "ubx" : "ublox-nmea", "-" });
    decP.write(stream);
    decP.closeWriteChannel();
    QVERIFY(decP.waitForFinished(30000));
    QCOMPARE(decP.exitCode(), 0);
    QList<QDateTime> times;
    QList<int> sawtooths;
    for (const QByteArray &line : decP.readAllStandardOutput().split('\n')) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        if (o.value("sentence").toString().startsWith("$GPRMC") || o.value("ubx").toString() == "01 21")
            times << QDateTime::fromString(o.value("utc").toString(), Qt::ISODateWithMs);
        if (o.value("ubx").toString() == "0D 01")
            sawtooths << o.value("sawtoothNs").toInt(999);
    }
    QCOMPARE(times.size(), 10);
    QCOMPARE(sawtooths.size(), ubx ? 10 : 0);
    for (int i = 0; i < 10; ++i) {
        QCOMPARE(times[i], rx.epochAt(T0 + i).utc);
        if (ubx)
            QCOMPARE(sawtooths[i], rx.epochAt(T0 + i).sawtoothNs);
    }
}

QTEST_GUILESS_MAIN(TestSimulatedUblox)
#include "tst_simulatedublox.moc"
