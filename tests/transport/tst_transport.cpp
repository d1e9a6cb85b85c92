#include "receiver/framing/MotorolaFramer.h"
#include "sim/SimulatedReceiver.h"
#include "support/FramingHelpers.h"
#include "support/TestSupport.h"
#include "transport/GpsPortSettings.h"
#include "transport/GpsTransportFactory.h"
#include "transport/ReplayTransport.h"
#include "transport/SerialTransport.h"
#include "transport/TcpTransport.h"

#include <QRegularExpression>
#include <QSet>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryFile>
#include <QtTest>

namespace portsettings_tests {

class TestPortSettings : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void defaultsWrittenBack()
    {
        TestSupport::TemporarySettings temp;
        QSettings s;
        const GpsPortSettings loaded = GpsPortSettings::load(s);
        QCOMPARE(loaded, GpsPortSettings());
        s.sync();
        QSettings check;
        QCOMPARE(check.value(QStringLiteral("GpsPortDialog/GPS Serial Port")).toString(), QStringLiteral("SIMULATOR"));
        QCOMPARE(check.value(QStringLiteral("GpsPortDialog/GPS Serial Port Mode")).toString(), QStringLiteral("Motorola Binary"));
        QCOMPARE(check.value(QStringLiteral("GpsPortDialog/GPS Serial Port DataRate")).toInt(), 9600);
        QCOMPARE(check.value(QStringLiteral("GpsPortDialog/GPS Serial Port DataBits")).toInt(), 8);
        QCOMPARE(check.value(QStringLiteral("GpsPortDialog/GPS Serial Port StopBits")).toInt(), 1);
        QCOMPARE(check.value(QStringLiteral("GpsPortDialog/GPS Serial Port Parity")).toInt(), 0);
        QCOMPARE(check.value(QStringLiteral("GpsPortDialog/GPS Serial Port Handshake")).toInt(), 0);
        QCOMPARE(check.value(QStringLiteral("GpsPortDialog/GPS Serial Port PPS Interface")).toInt(), 1);
        QVERIFY(check.contains(QStringLiteral("GpsPortDialog/GPS Serial Port TcpIp Address")));
        QCOMPARE(check.value(QStringLiteral("GpsPortDialog/GPS Serial Port TcpIp Address")).toString(), QString());
        QCOMPARE(check.value(QStringLiteral("GpsPortDialog/GPS Do Not Initialize")).toBool(), false);
        QCOMPARE(check.value(QStringLiteral("GpsPortDialog/GPS AutoRestart")).toBool(), true);
        QVERIFY(!check.contains(QStringLiteral("GpsPortDialog/geometry")));
    }

    void repair_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QVariant>("loaded");      // value of the field after load
        QTest::addColumn<QVariant>("afterwards");  // what the store holds afterwards
        QTest::newRow("rate not a number") << GpsPortSettings::keyDataRate() << QVariant("fast") << QVariant(9600) << QVariant("9600");
        QTest::newRow("rate off the list kept") << GpsPortSettings::keyDataRate() << QVariant("115200") << QVariant(115200) << QVariant("115200");
        QTest::newRow("pps text") << GpsPortSettings::keyPpsInterface() << QVariant("DCD") << QVariant(1) << QVariant("1");
        QTest::newRow("parity 9 kept") << GpsPortSettings::keyParity() << QVariant("9") << QVariant(9) << QVariant("9");
        QTest::newRow("autorestart garbage") << GpsPortSettings::keyAutoRestart() << QVariant("maybe") << QVariant(true) << QVariant("true");
        QTest::newRow("do not init true") << GpsPortSettings::keyDoNotInitialize() << QVariant("true") << QVariant(true) << QVariant("true");
        QTest::newRow("empty port name") << GpsPortSettings::keyPort() << QVariant("") << QVariant("SIMULATOR") << QVariant("SIMULATOR");
        QTest::newRow("OFF stays OFF") << GpsPortSettings::keyPort() << QVariant("OFF") << QVariant("OFF") << QVariant("OFF");
        QTest::newRow("unknown mode kept") << GpsPortSettings::keyMode() << QVariant("Trimble TSIP") << QVariant("Trimble TSIP")
                                           << QVariant("Trimble TSIP");
    }
    void repair()
    {
        QFETCH(QString, key);
        QFETCH(QVariant, stored);
        QFETCH(QVariant, loaded);
        QFETCH(QVariant, afterwards);
        TestSupport::TemporarySettings temp;
        {
            QSettings s;
            s.setValue(key, stored);
        }
        QSettings s;
        const GpsPortSettings p = GpsPortSettings::load(s);
        QVariant field;
        if (key == GpsPortSettings::keyDataRate())
            field = p.dataRate;
        else if (key == GpsPortSettings::keyPpsInterface())
            field = p.ppsInterface;
        else if (key == GpsPortSettings::keyParity())
            field = p.parity;
        else if (key == GpsPortSettings::keyAutoRestart())
            field = p.autoRestart;
        else if (key == GpsPortSettings::keyDoNotInitialize())
            field = p.doNotInitialize;
        else if (key == GpsPortSettings::keyPort())
            field = p.portName;
        else if (key == GpsPortSettings::keyMode())
            field = p.modeText;
        QCOMPARE(field, loaded);
        s.sync();
        QCOMPARE(QSettings().value(key).toString(), afterwards.toString());
    }

    void roundTrip()
    {
        TestSupport::TemporarySettings temp;
        GpsPortSettings p;
        p.portName = QStringLiteral("/dev/ttyUSB3");
        p.modeText = QStringLiteral("u-blox UBX");
        p.dataRate = 115000;
        p.dataBits = 7;
        p.stopBits = 2;
        p.parity = 4;
        p.handshake = 2;
        p.ppsInterface = 3;
        p.tcpIpAddress = QStringLiteral("10.1.2.3:4001");
        p.doNotInitialize = true;
        p.autoRestart = false;
        {
            QSettings s;
            p.save(s);
        }
        QSettings s;
        QCOMPARE(GpsPortSettings::load(s), p);
        QCOMPARE(p.receiverMode(), 9);
    }

    void modeText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("mode");
        QTest::newRow("binary") << QStringLiteral("Motorola Binary") << 2;
        QTest::newRow("rx only") << QStringLiteral("Motorola Binary Rx Only") << 3;
        QTest::newRow("motorola nmea") << QStringLiteral("Motorola NMEA") << 1;
        QTest::newRow("ubx") << QStringLiteral("u-blox UBX") << 9;
        QTest::newRow("ublox nmea") << QStringLiteral("u-blox NMEA") << 10;
        QTest::newRow("generic") << QStringLiteral("Generic NMEA") << 6;
        QTest::newRow("loran is no port mode") << QStringLiteral("Motorola LORAN") << 11;
        QTest::newRow("case matters") << QStringLiteral("motorola binary") << 11;
    }
    void modeText()
    {
        QFETCH(QString, text);
        QFETCH(int, mode);
        GpsPortSettings p;
        p.modeText = text;
        QCOMPARE(p.receiverMode(), mode);
    }

    void serialMappings_data()
    {
        QTest::addColumn<int>("stored");
        QTest::addColumn<int>("dataBits");
        QTest::addColumn<int>("stopBits");
        QTest::addColumn<int>("parity");
        QTest::addColumn<int>("flow");
        QTest::newRow("0") << 0 << 8 << 1 << int(QSerialPort::NoParity) << int(QSerialPort::NoFlowControl);
        QTest::newRow("1") << 1 << 8 << 1 << int(QSerialPort::OddParity) << int(QSerialPort::SoftwareControl);
        QTest::newRow("2") << 2 << 8 << 2 << int(QSerialPort::EvenParity) << int(QSerialPort::HardwareControl);
        QTest::newRow("3") << 3 << 8 << 1 << int(QSerialPort::MarkParity) << int(QSerialPort::NoFlowControl);
        QTest::newRow("4") << 4 << 8 << 1 << int(QSerialPort::SpaceParity) << int(QSerialPort::NoFlowControl);
        QTest::newRow("7") << 7 << 7 << 1 << int(QSerialPort::NoParity) << int(QSerialPort::NoFlowControl);
        QTest::newRow("-1") << -1 << 8 << 1 << int(QSerialPort::NoParity) << int(QSerialPort::NoFlowControl);
    }
    void serialMappings()
    {
        QFETCH(int, stored);
        QFETCH(int, dataBits);
        QFETCH(int, stopBits);
        QFETCH(int, parity);
        QFETCH(int, flow);
        QCOMPARE(int(SerialTransport::dataBitsFor(stored)), dataBits);
        QCOMPARE(int(SerialTransport::stopBitsFor(stored)), stopBits);
        QCOMPARE(int(SerialTransport::parityFor(stored)), parity);
        QCOMPARE(int(SerialTransport::flowControlFor(stored)), flow);
    }

    void tcpAddress_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::newRow("empty") << QString() << true << QString() << 0;
        QTest::newRow("four numbers") << QStringLiteral("192.168.10.123") << true << QStringLiteral("192.168.10.123") << 0;
        QTest::newRow("with port") << QStringLiteral("192.168.10.123:9761") << true << QStringLiteral("192.168.10.123") << 9761;
        QTest::newRow("not range checked") << QStringLiteral("300.1.1.999") << true << QStringLiteral("300.1.1.999") << 0;
        QTest::newRow("three numbers") << QStringLiteral("192.168.10") << false << QString() << 0;
        QTest::newRow("five numbers") << QStringLiteral("1.2.3.4.5") << false << QString() << 0;
        QTest::newRow("colon no port") << QStringLiteral("1.2.3.4:") << false << QString() << 0;
        QTest::newRow("trailing text") << QStringLiteral("1.2.3.4:80x") << false << QString() << 0;
        QTest::newRow("trailing newline") << QStringLiteral("1.2.3.4\n") << false << QString() << 0;
        QTest::newRow("host name") << QStringLiteral("gps.local") << false << QString() << 0;
        QTest::newRow("leading space") << QStringLiteral(" 1.2.3.4") << false << QString() << 0;
        QTest::newRow("negative") << QStringLiteral("1.2.-3.4") << false << QString() << 0;
    }
    void tcpAddress()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(QString, host);
        QFETCH(int, port);
        GpsPortSettings::TcpAddress address;
        QCOMPARE(GpsPortSettings::parseTcpIpAddress(text, &address), ok);
        if (ok) {
            QCOMPARE(address.host, host);
            QCOMPARE(address.port, port);
        }
    }

    void factory_data()
    {
        QTest::addColumn<QString>("portName");
        QTest::addColumn<QString>("kind");   // none, tcp, serial
        QTest::newRow("OFF") << QStringLiteral("OFF") << QStringLiteral("none");
        QTest::newRow("empty") << QString() << QStringLiteral("none");
        QTest::newRow("SIMULATOR before it is registered") << QStringLiteral("SIMULATOR") << QStringLiteral("none");
        QTest::newRow("TCP/IP") << QStringLiteral("TCP/IP") << QStringLiteral("tcp");
        QTest::newRow("ttyS0") << QStringLiteral("ttyS0") << QStringLiteral("serial");
        QTest::newRow("dev path") << QStringLiteral("/dev/pts/7") << QStringLiteral("serial");
    }
    void factory()
    {
        QFETCH(QString, portName);
        QFETCH(QString, kind);
        GpsTransportFactory f;
        std::unique_ptr<GpsTransport> t = f.create(portName);
        if (kind == QLatin1String("none")) {
            QVERIFY(!t);
        } else if (kind == QLatin1String("tcp")) {
            QVERIFY(dynamic_cast<TcpTransport *>(t.get()));
        } else {
            auto *serial = dynamic_cast<SerialTransport *>(t.get());
            QVERIFY(serial);
            QVERIFY(!serial->port().portName().isEmpty());
            QVERIFY(portName.endsWith(serial->port().portName()));
            QVERIFY(!serial->isOpen());
        }
    }

    void tcpOpenWithoutAddressFails()
    {
        TcpTransport t;
        QList<int> errors;
        connect(&t, &GpsTransport::errorOccurred, this, [&](int code) { errors.append(code); });
        GpsPortSettings p;
        p.tcpIpAddress = QStringLiteral("not an address");
        QVERIFY(!t.open(p));
        QVERIFY(!t.isOpen());
        p.tcpIpAddress.clear();
        QVERIFY(!t.open(p));
        p.tcpIpAddress = QStringLiteral("127.0.0.1:65536");
        QVERIFY(!t.open(p));
        QCOMPARE(errors, (QList<int> { 1, 1, 1 }));
    }
};

} // namespace portsettings_tests

// Capture replay: cutting a capture into seconds and playing one second per 1PPS edge.
namespace replay_tests {

namespace {

constexpr qint64 T0 = 1767225600;   // 2026-01-01 00:00:00 UTC

QByteArray ubxNav(uint8_t id, uint32_t itowMs, int extra)
{
    QByteArray payload;
    for (int i = 0; i < 4; ++i)
        payload.append(char((itowMs >> (8 * i)) & 0xFF));
    return Frames::ubx(0x01, id, payload + QByteArray(extra, '\x11'));
}

// Seconds of a simulated receiver's continuous output, with an answer that sits before the
// first position message.
QByteArray simulatedStream(const QString &model, int seconds)
{
    SimulatedReceiver rx(SimulatedReceiverConfig::forModel(model));
    QByteArray s = rx.identificationFrame();
    for (qint64 t = T0; t < T0 + seconds; ++t)
        s += rx.secondOutput(t);
    return s;
}

} // namespace

class TestReplay : public QObject
{
    Q_OBJECT

private Q_SLOTS:

    void commentsAreStripped_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("stream");
        QTest::newRow("header") << QByteArray("# Name: x\n#\n# more\n@@Bo\x12?\r\n") << QByteArray("@@Bo\x12?\r\n");
        QTest::newRow("raw") << QByteArray("@@Bo\x12?\r\n# not a header\n") << QByteArray("@@Bo\x12?\r\n# not a header\n");
        QTest::newRow("only comments, no newline") << QByteArray("# a\n# b") << QByteArray();
        QTest::newRow("empty") << QByteArray() << QByteArray();
    }
    void commentsAreStripped()
    {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, stream);
        QCOMPARE(ReplayTransport::stripComments(file), stream);
    }

    void secondsFromTimeMessages_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<int>("seconds");
        QTest::addColumn<QByteArray>("startsWith");   // every second after the first begins so
        QTest::newRow("M12+ Ha") << simulatedStream("M12+", 7) << 7 << QByteArray("@@Ha");
        QTest::newRow("UT+ Ea") << simulatedStream("UT+", 5) << 5 << QByteArray("@@Ea");
        QTest::newRow("XT Ba") << simulatedStream("XT", 4) << 4 << QByteArray("@@Ba");
        QByteArray n;
        for (int s = 0; s < 3; ++s) {
            const QByteArray hms = "1200" + QByteArray::number(10 + s);
            n += Frames::nmea("GPRMC," + hms + ",A,4722.0,N,00832.9,E,0.0,0.0,010126,,");
            n += Frames::nmea("GPGGA," + hms + ",4722.0,N,00832.9,E,1,09,1.0,462.4,M,47.6,M,,");
            n += Frames::nmea("GPGSV,1,1,01,07,45,120,44");
        }
        QTest::newRow("NMEA") << n << 3 << QByteArray("$GPRMC");
        QByteArray u;
        for (uint32_t s = 0; s < 4; ++s) {
            u += ubxNav(0x03, 1000 * (100 + s), 12);   // NAV-STATUS
            u += ubxNav(0x06, 1000 * (100 + s), 48);   // NAV-SOL
            u += QByteArray("\xB5\x62\x0D\x01\x00\x00\x0E\x37", 8);   // another class: not a clock
        }
        QTest::newRow("UBX") << u << 4 << QByteArray("\xB5\x62\x01\x03", 4);
        // A time message with a broken checksum does not start a second.
        QByteArray broken = simulatedStream("UT+", 3);
        const qsizetype second = broken.indexOf("@@Ea", broken.indexOf("@@Ea") + 1);
        broken[second + 20] = char(broken[second + 20] ^ 0x55);
        QTest::newRow("damaged position message") << broken << 2 << QByteArray("@@Ea");
    }
    void secondsFromTimeMessages()
    {
        QFETCH(QByteArray, stream);
        QFETCH(int, seconds);
        QFETCH(QByteArray, startsWith);
        const QList<QByteArray> parts = ReplayTransport::splitSeconds(stream);
        QCOMPARE(parts.size(), seconds);
        QCOMPARE(parts.join(), stream);
        for (int i = 1; i < parts.size(); ++i)
            QVERIFY2(parts[i].startsWith(startsWith), qPrintable(QString::number(i)));
    }

    void streamWithoutTimesIsPacedByRate()
    {
        const QByteArray stream(2500, 'x');
        const QList<QByteArray> parts = ReplayTransport::splitSeconds(stream);
        QCOMPARE(parts.size(), 3);
        QCOMPARE(parts[0].size(), 960);
        QCOMPARE(parts.join(), stream);
        QVERIFY(ReplayTransport::splitSeconds({}).isEmpty());
    }

    void suggestedMode_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<int>("mode");
        QTest::newRow("Motorola") << simulatedStream("VP", 2) << 3;
        QTest::newRow("UBX") << ubxNav(0x06, 5000, 4) << 9;
        QTest::newRow("NMEA") << Frames::nmea("GPGGA,120000,,,,,0,00,,,,,,,") << 6;
        QTest::newRow("nothing") << QByteArray("noise") << 6;
    }
    void suggestedMode()
    {
        QFETCH(QByteArray, stream);
        QFETCH(int, mode);
        QCOMPARE(ReplayTransport::suggestedMode(stream), mode);
    }

    void oneSecondPerEdge()
    {
        const QByteArray stream = simulatedStream("M12+", 4);
        const QList<QByteArray> parts = ReplayTransport::splitSeconds(stream);
        ReplayTransport t(stream, SimulationClock::manual(T0 * 1000 + 250));
        QSignalSpy ready(&t, &GpsTransport::readyRead);
        QSignalSpy edges(&t, &ReplayTransport::ppsEdge);
        QSignalSpy done(&t, &ReplayTransport::finished);
        QVERIFY(t.open(GpsPortSettings()));
        QCOMPARE(t.write("@@Cj"), qint64(4));   // swallowed
        bool previous = false;
        int rising = 0;
        QList<QByteArray> received;
        qint64 finishedAt = -1;
        for (qint64 ms = 260; ms <= 6000; ms += 10) {
            t.clock().setNowMs(T0 * 1000 + ms);
            t.pump();
            if (finishedAt < 0 && !done.isEmpty())
                finishedAt = ms;
            const bool level = t.modemSignals() & GpsTransport::Dcd;
            if (level && !previous)
                ++rising;
            previous = level;
            const QByteArray got = t.readAll();
            if (!got.isEmpty()) {
                received << got;
                // Each second's bytes come just after its edge, never before.
                QCOMPARE(ms % 1000, qint64(PacedPpsSource::MessageDelayMs));
            }
        }
        QCOMPARE(edges.count(), 4);
        // One more edge, without bytes, closes the last second so that it can be shown.
        QCOMPARE(rising, 5);
        QCOMPARE(finishedAt, qint64(5000));
        QCOMPARE(received, parts);
        QCOMPARE(ready.count(), 4);
        QCOMPARE(done.count(), 1);
        QVERIFY(t.isFinished());
        QCOMPARE(t.secondsPlayed(), 4);
    }

    void loopingStartsOver()
    {
        const QByteArray stream = simulatedStream("UT+", 2);
        ReplayTransport t(stream, SimulationClock::manual(T0 * 1000));
        t.setLooping(true);
        QSignalSpy done(&t, &ReplayTransport::finished);
        t.open(GpsPortSettings());
        QByteArray all;
        for (int s = 1; s <= 5; ++s) {
            t.clock().setNowMs((T0 + s) * 1000 + 100);
            t.pump();
            all += t.readAll();
        }
        const QList<QByteArray> parts = ReplayTransport::splitSeconds(stream);
        QCOMPARE(all, parts[0] + parts[1] + parts[0] + parts[1] + parts[0]);
        QCOMPARE(done.count(), 0);
        QVERIFY(!t.isFinished());
    }

    void missingFileFailsToOpen()
    {
        ReplayTransport t(QStringLiteral("/nonexistent/capture.log"), SimulationClock::manual(0));
        QSignalSpy errors(&t, &GpsTransport::errorOccurred);
        QVERIFY(!t.open(GpsPortSettings()));
        QVERIFY(!t.isOpen());
        QCOMPARE(errors.count(), 1);
        QCOMPARE(errors.first().first().toInt(), 1);
        QCOMPARE(t.name(), QStringLiteral("capture.log"));

        // A file with a header loads without it.
        QTemporaryFile f;
        QVERIFY(f.open());
        const QByteArray stream = simulatedStream("VP", 3);
        f.write("# Name: simulated VP\n#\n" + stream);
        f.close();
        ReplayTransport fromFile(f.fileName(), SimulationClock::manual(0));
        QVERIFY(fromFile.open(GpsPortSettings()));
        QCOMPARE(fromFile.seconds().join(), stream);
        QCOMPARE(fromFile.seconds().size(), 3);
        QCOMPARE(ReplayTransport::suggestedModeForFile(f.fileName()), 3);
        QCOMPARE(ReplayTransport::suggestedModeForFile(QStringLiteral("/nonexistent/capture.log")), -1);
    }

    void oncoreCaptureIsCutAtItsPositionMessages()
    {
        CHRONODE_REQUIRE_CAPTURE(bytes, "oncore-binary.log");
        const QList<QByteArray> parts = ReplayTransport::splitSeconds(bytes);
        QCOMPARE(parts.join(), bytes);
        QCOMPARE(ReplayTransport::suggestedMode(bytes), 3);
        // One second per distinct time of the "@@Ea" messages, each (after the first) opening with one.
        MotorolaFramer framer;
        bool pps = false;
        QList<QByteArray> times;
        framer.feed(bytes, pps, [&times](const QByteArray &f) {
            if (f.startsWith("@@Ea") && !times.contains(f.mid(8, 3)))
                times << f.mid(8, 3);
        });
        QVERIFY(times.size() >= 10);
        QCOMPARE(parts.size(), times.size());
        for (int i = 1; i < parts.size(); ++i)
            QVERIFY(parts[i].startsWith("@@Ea"));
    }

    void otherCapturesAreCutAtTheirTimes_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("mode");
        QTest::newRow("Oncore NMEA") << "oncore.log" << 6;
        QTest::newRow("Garmin NMEA") << "garmin15x.log" << 6;
        QTest::newRow("u-blox UBX") << "ublox-lea-4t.log" << 9;
    }
    void otherCapturesAreCutAtTheirTimes()
    {
        QFETCH(QString, file);
        QFETCH(int, mode);
        const QByteArray bytes = TestSupport::captureBytes(file);
        if (bytes.isEmpty())
            QSKIP("capture not present");
        const QList<QByteArray> parts = ReplayTransport::splitSeconds(bytes);
        QCOMPARE(parts.join(), bytes);
        QCOMPARE(ReplayTransport::suggestedMode(bytes), mode);
        if (mode == 6) {
            // As many seconds as distinct RMC/GGA times, each opening with its first sentence.
            QSet<QByteArray> times;
            const QRegularExpression re(QStringLiteral("\\$G[PN](RMC|GGA),(\\d{6})"));
            for (auto it = re.globalMatch(QString::fromLatin1(bytes)); it.hasNext();)
                times.insert(it.next().captured(2).toLatin1());
            QVERIFY(times.size() >= 5);
            QCOMPARE(parts.size(), times.size());
            for (int i = 1; i < parts.size(); ++i)
                QVERIFY(parts[i].startsWith("$GPRMC") || parts[i].startsWith("$GPGGA"));
        } else {
            QVERIFY(parts.size() >= 2);
            for (int i = 1; i < parts.size(); ++i)
                QVERIFY(parts[i].startsWith("\xB5\x62\x01"));
        }
    }
};

} // namespace replay_tests

CHRONODE_TEST_MAIN(portsettings_tests::TestPortSettings, replay_tests::TestReplay)
#include "tst_transport.moc"
