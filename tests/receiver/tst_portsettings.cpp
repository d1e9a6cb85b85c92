#include "support/TestSupport.h"
#include "transport/GpsPortSettings.h"
#include "transport/GpsTransportFactory.h"
#include "transport/SerialTransport.h"
#include "transport/TcpTransport.h"

#include <QSettings>
#include <QtTest>

class TestPortSettings : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void defaultsWrittenBack();
    void repair_data();
    void repair();
    void roundTrip();
    void modeText_data();
    void modeText();
    void serialMappings_data();
    void serialMappings();
    void tcpAddress_data();
    void tcpAddress();
    void factory_data();
    void factory();
    void tcpOpenWithoutAddressFails();
};

void TestPortSettings::defaultsWrittenBack()
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

void TestPortSettings::repair_data()
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

void TestPortSettings::repair()
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

void TestPortSettings::roundTrip()
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

void TestPortSettings::modeText_data()
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

void TestPortSettings::modeText()
{
    QFETCH(QString, text);
    QFETCH(int, mode);
    GpsPortSettings p;
    p.modeText = text;
    QCOMPARE(p.receiverMode(), mode);
}

void TestPortSettings::serialMappings_data()
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

void TestPortSettings::serialMappings()
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

void TestPortSettings::tcpAddress_data()
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

void TestPortSettings::tcpAddress()
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

void TestPortSettings::factory_data()
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

void TestPortSettings::factory()
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

void TestPortSettings::tcpOpenWithoutAddressFails()
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

QTEST_GUILESS_MAIN(TestPortSettings)
#include "tst_portsettings.moc"
