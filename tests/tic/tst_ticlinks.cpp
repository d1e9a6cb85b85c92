#include "support/TestSupport.h"
#include "sim/SimulatedCounter.h"
#include "tic/CounterLinks.h"
#include "tic/ScpiSession.h"
#include "tic/TicSerialPortThread.h"

#include <QtTest>

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

// The counter links on real bytes: SCPI counters over TCP on the loopback interface and
// serial counters on pseudo-terminals.
class TestTicLinks : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void tcpCounter_data();
    void tcpCounter();
    void tcpAddressWithoutPort();
    void tcpIllegalAddressSwitchesOff();
    void serialLines_data();
    void serialLines();
    void eightSerialPorts();
    void sendTicMessage();
    void serialOpenError();
    void simulatedCounter();

private:
    struct Pty
    {
        int master = -1;
        int slave = -1;
        QString path;
    };
    Pty openPty();
    void useTcp(int port, const QString &address);
    void useSerial(int port, const QString &path);
    void attach(TicSerialPortThread &link);

    std::unique_ptr<TestSupport::TemporarySettings> m_settings;
    QList<Pty> m_ptys;
    QList<QByteArray> m_texts;
    QStringList m_debug;
    QStringList m_boxes;
};

void TestTicLinks::init()
{
    m_settings = std::make_unique<TestSupport::TemporarySettings>();
    m_texts.clear();
    m_debug.clear();
    m_boxes.clear();
}

void TestTicLinks::cleanup()
{
    for (const Pty &p : std::as_const(m_ptys)) {
        ::close(p.slave);
        ::close(p.master);
    }
    m_ptys.clear();
    m_settings.reset();
}

TestTicLinks::Pty TestTicLinks::openPty()
{
    Pty p;
    char name[256] = {};
    if (openpty(&p.master, &p.slave, name, nullptr, nullptr) != 0)
        return p;
    termios t {};
    tcgetattr(p.master, &t);
    cfmakeraw(&t);
    tcsetattr(p.master, TCSANOW, &t);
    fcntl(p.master, F_SETFL, fcntl(p.master, F_GETFL) | O_NONBLOCK);
    p.path = QString::fromLocal8Bit(name);
    m_ptys << p;
    return p;
}

void TestTicLinks::useTcp(int port, const QString &address)
{
    QSettings s;
    s.setValue(TicPortSettings::keyPort(port), TicPortSettings::tcpIpPortName());
    s.setValue(TicPortSettings::keyTcpIpAddress(port), address);
}

void TestTicLinks::useSerial(int port, const QString &path)
{
    QSettings s;
    s.setValue(TicPortSettings::keyPort(port), path);
    s.setValue(TicPortSettings::keyDataRate(port), 115200);
}

void TestTicLinks::attach(TicSerialPortThread &link)
{
    connect(&link, &TicSerialPortThread::newTicText, this, [this](const QByteArray &t) { m_texts << t; });
    connect(&link, &TicSerialPortThread::debugText, this, [this](const QString &t) { m_debug << t; });
    connect(&link, &TicSerialPortThread::showErrorMessageBox, this, [this](const QString &t) { m_boxes << t; });
}

void TestTicLinks::tcpCounter_data()
{
    using V = SimulatedScpiCounter::Variant;
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("variant");
    QTest::addColumn<bool>("byteByByte");
    QTest::addColumn<int>("readings");
    QTest::newRow("53230A") << "53230A" << int(V::Normal) << false << 4;
    QTest::newRow("BNC1105 byte by byte") << "BNC1105" << int(V::Normal) << true << 3;
    QTest::newRow("53220A byte by byte") << "53220A" << int(V::Normal) << true << 3;
    QTest::newRow("raw port") << "53230A" << int(V::RawPort) << false << 4;
    QTest::newRow("drops prompts") << "53230A" << int(V::DropPrompts) << false << 5;
    QTest::newRow("closes") << "53230A" << int(V::Closes) << false << 4;
}

void TestTicLinks::tcpCounter()
{
    QFETCH(QString, model);
    QFETCH(int, variant);
    QFETCH(bool, byteByByte);
    QFETCH(int, readings);
    SimulatedScpiCounter::Config config;
    config.model = model;
    config.variant = SimulatedScpiCounter::Variant(variant);
    config.byteByByte = byteByByte;
    config.readingIntervalMs = 40;
    config.closeAfterReadings = 2;
    config.counter.foldSawtooth = false;
    SimulatedScpiCounter counter(config);
    QVERIFY(counter.listen());
    useTcp(4, QStringLiteral("127.0.0.1:%1").arg(counter.port()));
    TicSerialPortThread link;
    attach(link);
    link.startTicSerialPort(4);
    QTRY_VERIFY_WITH_TIMEOUT(m_texts.size() >= readings, 15000);
    link.stopTicSerialPort();

    const auto found = ScpiSession::identify(model.toLatin1());
    QList<QByteArray> expected = ScpiSession::setupCommands(found);
    if (config.variant == SimulatedScpiCounter::Variant::RawPort)
        expected.prepend("*IDN?");
    QCOMPARE(counter.commands().mid(0, expected.size()), expected);
    // After the set-up, nothing but "READ?" (a reconnection starts the set-up again).
    for (const QByteArray &c : counter.commands().mid(expected.size()))
        if (c != "READ?")
            QCOMPARE(config.variant, SimulatedScpiCounter::Variant::Closes);
    if (config.variant != SimulatedScpiCounter::Variant::RawPort)
        QCOMPARE(counter.commandsWithoutPrompt(), 0);
    // Every reading is one line of port 4, in order; the set-up answer is not among them.
    for (int i = 0; i < m_texts.size(); ++i)
        QCOMPARE(m_texts[i], "4 " + counter.readings()[i]);
    if (found == ScpiSession::Model::Keysight5322x)
        QVERIFY(m_debug.contains(QStringLiteral("Port 4 answer to SYST:COMM:LAN:CONT?: 5000")));
    if (config.variant == SimulatedScpiCounter::Variant::Closes) {
        QVERIFY(counter.connections() >= 2);
        QVERIFY(m_debug.contains(QStringLiteral("SOCKET ERROR: Remote host closed")));
    }
}

void TestTicLinks::tcpAddressWithoutPort()
{
    SimulatedScpiCounter::Config config;
    config.readingIntervalMs = 40;
    config.counter.foldSawtooth = false;
    SimulatedScpiCounter counter(config);
    if (!counter.listen(5024))
        QSKIP("port 5024 is taken on this machine");
    useTcp(1, QStringLiteral("127.0.0.1"));
    TicSerialPortThread link;
    attach(link);
    link.startTicSerialPort(1);
    QTRY_VERIFY_WITH_TIMEOUT(!m_texts.isEmpty(), 10000);
    QVERIFY(m_texts.first().startsWith("1 +"));
}

void TestTicLinks::tcpIllegalAddressSwitchesOff()
{
    useTcp(6, QStringLiteral("192.168.1:80"));
    TicSerialPortThread link;
    link.startTicSerialPort(6);
    QCOMPARE(link.portName(), QStringLiteral("OFF"));
    QCOMPARE(QSettings().value(TicPortSettings::keyPort(6)).toString(), QStringLiteral("OFF"));
    QVERIFY(!link.transport());
    // Another port number never takes the link over.
    useTcp(2, QStringLiteral("127.0.0.1:1"));
    link.startTicSerialPort(2);
    QCOMPARE(link.portNumber(), 6);
    QVERIFY(!link.transport());
}

void TestTicLinks::serialLines_data()
{
    QTest::addColumn<int>("piece");
    QTest::newRow("whole") << 10000;
    QTest::newRow("bytes") << 1;
    QTest::newRow("3") << 3;
    QTest::newRow("17") << 17;
}

void TestTicLinks::serialLines()
{
    QFETCH(int, piece);
    const Pty p = openPty();
    if (p.master < 0)
        QSKIP("no pseudo-terminals on this machine");
    useSerial(7, p.path);
    TicSerialPortThread link;
    attach(link);
    link.startTicSerialPort(7);
    QVERIFY(link.isPortOpen());
    const QByteArray stream = "# header\r\n0.000000123 chA\r+1.5E-07\n\n-2.5E-09\r\n" + QByteArray(300, '8')
        + "\r\n12.5 ns\r\nend\r";
    for (qsizetype pos = 0; pos < stream.size(); pos += piece) {
        const QByteArray part = stream.mid(pos, piece);
        QCOMPARE(::write(p.master, part.constData(), size_t(part.size())), ssize_t(part.size()));
        if (piece < 100)
            QTest::qWait(1);
    }
    const QList<QByteArray> expected { "7 # header", "7 0.000000123 chA", "7 +1.5E-07", "7 -2.5E-09", "7 12.5 ns",
                                       "7 end" };
    QTRY_COMPARE_WITH_TIMEOUT(m_texts.size(), expected.size(), 5000);
    QCOMPARE(m_texts, expected);
    link.stopTicSerialPort();
    QVERIFY(!link.isPortOpen());
}

void TestTicLinks::eightSerialPorts()
{
    QList<Pty> ptys;
    for (int n = 1; n <= 8; ++n) {
        ptys << openPty();
        if (ptys.last().master < 0)
            QSKIP("not enough pseudo-terminals");
        useSerial(n, ptys.last().path);
    }
    CounterLinks links;
    connect(&links, &CounterLinks::newTicText, this, [this](const QByteArray &t) { m_texts << t; });
    links.startAll();
    for (int round = 0; round < 3; ++round)
        for (int n = 1; n <= 8; ++n) {
            const QByteArray line = QByteArray::number(n * 1000 + round) + "E-12\r\n";
            QCOMPARE(::write(ptys[n - 1].master, line.constData(), size_t(line.size())), ssize_t(line.size()));
        }
    QTRY_COMPARE_WITH_TIMEOUT(m_texts.size(), 24, 5000);
    for (int n = 1; n <= 8; ++n) {
        QList<QByteArray> own;
        for (const QByteArray &t : std::as_const(m_texts))
            if (t.startsWith(QByteArray::number(n) + ' '))
                own << t;
        QCOMPARE(own, QList<QByteArray>({ QByteArray::number(n) + ' ' + QByteArray::number(n * 1000) + "E-12",
                                          QByteArray::number(n) + ' ' + QByteArray::number(n * 1000 + 1) + "E-12",
                                          QByteArray::number(n) + ' ' + QByteArray::number(n * 1000 + 2) + "E-12" }));
    }
    // The dialog's OK restarts exactly the ports whose settings changed.
    auto before = CounterLinks::loadAll();
    auto after = before;
    after[2].dataRate = 9600;
    after[6].portName = TicPortSettings::offPortName();
    QSettings s;
    after[6].save(s, 7);
    QCOMPARE(links.restartChanged(before, after), QList<int>({ 3, 7 }));
    QVERIFY(!links.link(7).isPortOpen());
    QVERIFY(links.link(1).isPortOpen());
}

void TestTicLinks::sendTicMessage()
{
    const Pty p = openPty();
    if (p.master < 0)
        QSKIP("no pseudo-terminals on this machine");
    useSerial(2, p.path);
    TicSerialPortThread link;
    link.startTicSerialPort(2);
    link.OnSendTicMessage("*RST");
    link.OnSendTicMessage(QByteArray("\x10\x01\x02", 3));
    QCOMPARE(link.outBuffer(), QByteArray("\x10\x01\x02", 3));
    const QByteArray expected = QByteArray("*RST\r\r\n") + QByteArray("\x10\x01\x02", 3);
    QByteArray got;
    QTRY_VERIFY_WITH_TIMEOUT(([&] {
        char buffer[64];
        const ssize_t n = ::read(p.master, buffer, sizeof buffer);
        if (n > 0)
            got.append(buffer, n);
        return got.size() >= expected.size();
    }()), 5000);
    QCOMPARE(got, expected);
}

void TestTicLinks::serialOpenError()
{
    useSerial(5, QStringLiteral("/dev/chronode-no-such-counter"));
    TicSerialPortThread link;
    attach(link);
    link.startTicSerialPort(5);
    QTRY_COMPARE_WITH_TIMEOUT(m_boxes.size(), 1, 2000);
    QCOMPARE(m_boxes.first(), TicSerialPortThread::errorMessage(QStringLiteral("/dev/chronode-no-such-counter"), 1));
}

void TestTicLinks::simulatedCounter()
{
    // Port 1 of a fresh station is the simulated counter: TICC lines, "#" header first.
    TicSerialPortThread link;
    SimulatedCounterTransport::registerIn(link.transportFactory(), 1);
    attach(link);
    link.startTicSerialPort(1);
    QCOMPARE(link.portName(), QStringLiteral("SIMULATOR"));
    QTRY_VERIFY_WITH_TIMEOUT(m_texts.size() >= 3, 3000);
    QVERIFY(m_texts[0].startsWith("1 # "));
    QVERIFY(m_texts[2].startsWith("1 0.0000001") && m_texts[2].endsWith(" chA"));
}

QTEST_GUILESS_MAIN(TestTicLinks)
#include "tst_ticlinks.moc"
