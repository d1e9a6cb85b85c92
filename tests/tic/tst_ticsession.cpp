#include "support/TestSupport.h"
#include "tic/ScpiSession.h"
#include "tic/TicLineAssembler.h"
#include "tic/TicPortSettings.h"
#include "tic/TicSerialPortThread.h"

#include <QRandomGenerator>
#include <QtTest>

// The plain classes of the counter link: line assembly, the SCPI conversation and the port
// settings, driven byte by byte without sockets.
class TestTicSession : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void assembler_data();
    void assembler();
    void assemblerFuzz();
    void settingsRepair_data();
    void settingsRepair();
    void setupSequence_data();
    void setupSequence();
    void rawPortIdentifiedByIdn();
    void silenceAndBackoff();
    void anonymousCounterStaysSilent();
    void sessionFuzz();
    void errorTexts();
};

using Lines = QList<QByteArray>;

void TestTicSession::assembler_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Lines>("lines");
    QTest::newRow("CR") << QByteArray("+1.5E-07\r-2E-09\r") << Lines { "+1.5E-07", "-2E-09" };
    QTest::newRow("LF only") << QByteArray("0.1 chA\n0.2 chA\n") << Lines { "0.1 chA", "0.2 chA" };
    QTest::newRow("CR LF once") << QByteArray("a\r\nb\r\n") << Lines { "a", "b" };
    QTest::newRow("empty lines dropped") << QByteArray("\r\n\r\n\n\rx\n\n") << Lines { "x" };
    QTest::newRow("control bytes dropped") << QByteArray("1\x00" "2\x07" "3\t4\x7f\r", 9) << Lines { "1234" };
    QTest::newRow("no end yet") << QByteArray("123") << Lines {};
    QTest::newRow("256 kept") << QByteArray(256, '7') + "\r" << Lines { QByteArray(256, '7') };
    QTest::newRow("257 dropped whole") << QByteArray(257, '7') + "\rnext\r" << Lines { "next" };
    QTest::newRow("300 dropped, tail never a reading")
        << QByteArray(290, '9') + "1.5E-07\r\n2E-07\r\n" << Lines { "2E-07" };
    QTest::newRow("unit bytes kept") << QByteArray("12.5 \xc2\xb5s\r") << Lines { "12.5 \xc2\xb5s" };
}

void TestTicSession::assembler()
{
    QFETCH(QByteArray, bytes);
    QFETCH(Lines, lines);
    // Every chunk boundary gives the same lines.
    for (qsizetype cut = 0; cut <= bytes.size(); ++cut) {
        TicLineAssembler a;
        Lines got = a.feed(bytes.left(cut));
        got += a.feed(bytes.mid(cut));
        QCOMPARE(got, lines);
    }
}

void TestTicSession::assemblerFuzz()
{
    QRandomGenerator rng(19);
    for (int round = 0; round < 300; ++round) {
        QByteArray bytes;
        const int size = int(rng.bounded(1, 1500));
        for (int i = 0; i < size; ++i) {
            const quint32 r = rng.bounded(100);
            bytes.append(r < 8 ? '\r' : r < 14 ? '\n' : r < 18 ? char(rng.bounded(256)) : char('0' + rng.bounded(10)));
        }
        TicLineAssembler whole;
        const Lines expected = whole.feed(bytes);
        TicLineAssembler pieces;
        Lines got;
        for (qsizetype pos = 0; pos < bytes.size();) {
            const qsizetype n = rng.bounded(1, 40);
            pieces.feed(bytes.mid(pos, n), got);
            pos += n;
        }
        QCOMPARE(got, expected);
        for (const QByteArray &line : got) {
            QVERIFY(!line.isEmpty() && line.size() <= TicLineAssembler::MaxLine);
            for (char c : line)
                QVERIFY(uchar(c) >= 0x20 && c != 0x7f);
        }
    }
}

void TestTicSession::settingsRepair_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QVariant>("repaired");
    QTest::newRow("missing port 1") << 1 << TicPortSettings::keyPort(1) << QVariant() << QVariant("SIMULATOR");
    QTest::newRow("missing port 3") << 3 << TicPortSettings::keyPort(3) << QVariant() << QVariant("OFF");
    QTest::newRow("kept serial") << 5 << TicPortSettings::keyPort(5) << QVariant("ttyUSB0") << QVariant("ttyUSB0");
    QTest::newRow("115200") << 2 << TicPortSettings::keyDataRate(2) << QVariant("115200") << QVariant(115200);
    QTest::newRow("115000 no rate") << 2 << TicPortSettings::keyDataRate(2) << QVariant("115000") << QVariant(9600);
    QTest::newRow("rate text") << 8 << TicPortSettings::keyDataRate(8) << QVariant("fast") << QVariant(9600);
    QTest::newRow("handshake 4") << 4 << TicPortSettings::keyHandshake(4) << QVariant(4) << QVariant(0);
    QTest::newRow("handshake 3") << 4 << TicPortSettings::keyHandshake(4) << QVariant(3) << QVariant(3);
    QTest::newRow("stop bits 0") << 6 << TicPortSettings::keyStopBits(6) << QVariant(0) << QVariant(1);
    QTest::newRow("parity 5") << 7 << TicPortSettings::keyParity(7) << QVariant(5) << QVariant(0);
    QTest::newRow("parity space") << 7 << TicPortSettings::keyParity(7) << QVariant(4) << QVariant(4);
    QTest::newRow("data bits 6") << 1 << TicPortSettings::keyDataBits(1) << QVariant(6) << QVariant(8);
    QTest::newRow("data bits 7") << 1 << TicPortSettings::keyDataBits(1) << QVariant(7) << QVariant(7);
}

void TestTicSession::settingsRepair()
{
    QFETCH(int, port);
    QFETCH(QString, key);
    QFETCH(QVariant, stored);
    QFETCH(QVariant, repaired);
    TestSupport::TemporarySettings temp;
    QSettings s;
    if (stored.isValid())
        s.setValue(key, stored);
    const TicPortSettings p = TicPortSettings::load(s, port);
    QCOMPARE(s.value(key).toString(), repaired.toString());
    // The loaded value is the repaired one, and a second load changes nothing.
    QCOMPARE(TicPortSettings::load(s, port), p);
    for (const QString &k : { TicPortSettings::keyPort(port), TicPortSettings::keyDataRate(port),
                              TicPortSettings::keyHandshake(port), TicPortSettings::keyStopBits(port),
                              TicPortSettings::keyParity(port), TicPortSettings::keyDataBits(port) })
        QVERIFY2(s.contains(k), qPrintable(k));
}

namespace {

// A scripted counter transcript: what the counter sends after each of the session's writes.
struct Exchange
{
    ScpiSession session { 3 };
    Lines writes;
    Lines readings;
    QStringList debug;
    qint64 now = 0;

    void take(const ScpiSession::Actions &a)
    {
        writes += a.writes;
        readings += a.readings;
        debug += a.debug;
    }
    void connect()
    {
        ScpiSession::Actions a;
        session.connected(now, a);
        take(a);
    }
    // Sends `bytes` cut at `cut` (when inside).
    void receive(const QByteArray &bytes, qsizetype cut = -1)
    {
        ScpiSession::Actions a;
        if (cut > 0 && cut < bytes.size()) {
            session.received(bytes.left(cut), now, a);
            session.received(bytes.mid(cut), now, a);
        } else {
            session.received(bytes, now, a);
        }
        take(a);
    }
    void wait(qint64 ms)
    {
        now += ms;
        ScpiSession::Actions a;
        session.timerExpired(now, a);
        take(a);
    }
};

Lines withEnds(const Lines &commands)
{
    Lines out;
    for (const QByteArray &c : commands)
        out << c + "\r\n";
    return out;
}

} // namespace

void TestTicSession::setupSequence_data()
{
    QTest::addColumn<QByteArray>("model");
    QTest::addColumn<int>("found");
    QTest::newRow("53230A") << QByteArray("53230A") << int(ScpiSession::Model::Keysight5322x);
    QTest::newRow("53220A") << QByteArray("53220A") << int(ScpiSession::Model::Keysight5322x);
    QTest::newRow("BNC1105") << QByteArray("BNC1105") << int(ScpiSession::Model::Bnc1105);
}

void TestTicSession::setupSequence()
{
    QFETCH(QByteArray, model);
    QFETCH(int, found);
    const QByteArray prompt = model + "> ";
    const Lines setup = ScpiSession::setupCommands(ScpiSession::Model(found));
    QVERIFY(setup.size() >= 14);
    // The whole conversation, with every counter message cut at every byte boundary.
    const QByteArray greeting = "Welcome to the " + model + " counter\r\n" + prompt;
    const QByteArray readingMsg = "+1.234567890123E-07\r\n" + prompt;
    for (qsizetype cut = 0; cut < readingMsg.size(); ++cut) {
        Exchange x;
        x.connect();
        x.receive(greeting, std::min(cut, greeting.size() - 1));
        QCOMPARE(int(x.session.model()), found);
        for (int i = 1; i < setup.size(); ++i) {
            const bool query = setup[i - 1].endsWith('?');
            x.receive(query ? "5000\r\n" + prompt : prompt, cut);
        }
        QCOMPARE(x.writes, withEnds(setup));
        QVERIFY(x.readings.isEmpty());
        x.receive(prompt);
        x.receive(readingMsg, cut);
        x.receive("-2.5E-09\r\n" + prompt, cut);
        QCOMPARE(x.writes.mid(setup.size()), withEnds({ "READ?", "READ?", "READ?" }));
        QCOMPARE(x.readings, Lines({ "+1.234567890123E-07", "-2.5E-09" }));
        if (setup.contains("SYST:COMM:LAN:CONT?"))
            QVERIFY(x.debug.contains("Port 3 answer to SYST:COMM:LAN:CONT?: 5000"));
        // Data without a prompt sends nothing.
        const qsizetype before = x.writes.size();
        x.receive("+3E-09\r\n");
        QCOMPARE(x.writes.size(), before);
        QCOMPARE(x.readings.size(), 3);
    }
}

void TestTicSession::rawPortIdentifiedByIdn()
{
    Exchange x;
    x.connect();
    x.wait(999);
    QVERIFY(x.writes.isEmpty());
    x.wait(1);
    QCOMPARE(x.writes, Lines({ "*IDN?\r\n" }));
    x.receive("Keysight Technologies,53230A,MY1,A.02.14\n");
    // No prompts: every command up to the query goes at once, the query's answer lets the rest go.
    const Lines setup = ScpiSession::setupCommands(ScpiSession::Model::Keysight5322x);
    const int query = int(setup.indexOf("SYST:COMM:LAN:CONT?"));
    QCOMPARE(x.writes.mid(1), withEnds(setup.mid(0, query + 1)));
    x.receive("5000\n");
    QCOMPARE(x.writes.mid(1), withEnds(setup) + withEnds({ "READ?" }));
    x.receive("+1.0E-07\n");
    QCOMPARE(x.readings, Lines({ "+1.0E-07" }));
    QCOMPARE(x.writes.last(), QByteArray("READ?\r\n"));
    QVERIFY(!x.session.promptsSeen());
}

void TestTicSession::silenceAndBackoff()
{
    Exchange x;
    x.connect();
    x.receive("53230A> ");
    const qsizetype sent = x.writes.size();
    QCOMPARE(x.writes.last(), QByteArray("CONFigure:TINTerval (@1),(@2)\r\n"));
    // A lost prompt: the command goes again after 3 s of silence, not before.
    x.wait(2999);
    QCOMPARE(x.writes.size(), sent);
    x.wait(1);
    QCOMPARE(x.writes.size(), sent + 1);
    QCOMPARE(x.writes.last(), QByteArray("CONFigure:TINTerval (@1),(@2)\r\n"));
    // Closed connections: reconnection after 5, 10, 20, 40, 60, 60 s.
    for (int expected : { 5000, 10000, 20000, 40000, 60000, 60000 }) {
        ScpiSession::Actions a;
        x.session.disconnected(x.now, a);
        QCOMPARE(x.session.deadline() - x.now, qint64(expected));
        ScpiSession::Actions early;
        x.session.timerExpired(x.now + expected - 1, early);
        QVERIFY(!early.reconnect);
        x.now += expected;
        ScpiSession::Actions due;
        x.session.timerExpired(x.now, due);
        QVERIFY(due.reconnect);
        x.connect();
    }
    // A reading earns the short back-off back.
    x.receive("53230A> ");
    while (x.session.state() != ScpiSession::State::Polling)
        x.receive("53230A> ");
    x.receive("+1E-07\r\n53230A> ");
    QCOMPARE(x.session.nextBackoffMs(), ScpiSession::FirstBackoffMs);
}

void TestTicSession::anonymousCounterStaysSilent()
{
    Exchange x;
    x.connect();
    x.receive("Welcome to a counter\r\n> ");
    x.wait(1000);
    QCOMPARE(x.writes, Lines({ "*IDN?\r\n" }));
    x.receive("Simulated Instruments,TI-1,0,1.0\r\n> ");
    x.wait(3000);
    QCOMPARE(x.session.state(), ScpiSession::State::Silent);
    QVERIFY(x.debug.contains("Port 3, TicSerialPortThread::InitializeTcpIpTIC() No response.\r\n"));
    x.receive("> ");
    x.wait(60000);
    QCOMPARE(x.writes.size(), 1);
    QCOMPARE(x.session.deadline(), qint64(-1));
}

void TestTicSession::sessionFuzz()
{
    // Random answers cut at random points: never more than one command per prompt once
    // prompting, readings only numbers, and (without '>' in the bytes) the same actions
    // however the bytes are cut.
    QRandomGenerator rng(20);
    const QByteArray alphabet = "0123456789+-.E \r\n53230ABNC1105READ?";
    for (int round = 0; round < 200; ++round) {
        QByteArray bytes;
        const int size = int(rng.bounded(1, 600));
        for (int i = 0; i < size; ++i)
            bytes.append(alphabet.at(rng.bounded(int(alphabet.size()))));
        auto run = [&](bool cutRandomly) {
            Exchange x;
            x.connect();
            for (int i = 0; i < 40 && x.session.state() != ScpiSession::State::Polling; ++i)
                x.receive("53230A> ");
            for (qsizetype pos = 0; pos < bytes.size();) {
                const qsizetype n = cutRandomly ? rng.bounded(1, 30) : bytes.size();
                x.receive(bytes.mid(pos, n));
                pos += n;
            }
            return x;
        };
        const Exchange whole = run(false);
        const Exchange cut = run(true);
        QCOMPARE(cut.readings, whole.readings);
        QCOMPARE(cut.writes, whole.writes);
        // No prompt in the bytes: nothing sent after the first "READ?".
        QCOMPARE(whole.writes.size(), ScpiSession::setupCommands(ScpiSession::Model::Keysight5322x).size() + 1);
        for (const QByteArray &r : whole.readings)
            QVERIFY(ScpiSession::isNumber(r));
        // With prompts mixed in, each prompt sends at most one command.
        Exchange p;
        p.connect();
        int prompts = 0;
        for (qsizetype pos = 0; pos < bytes.size();) {
            const qsizetype n = rng.bounded(1, 30);
            QByteArray chunk = bytes.mid(pos, n);
            if (rng.bounded(3) == 0) {
                chunk += "53230A> ";
                ++prompts;
            }
            const qsizetype before = p.writes.size();
            p.receive(chunk);
            QVERIFY(p.writes.size() - before <= 1);
            pos += n;
        }
        QVERIFY(p.writes.size() <= prompts + 1);
    }
}

void TestTicSession::errorTexts()
{
    QCOMPARE(TicSerialPortThread::errorMessage(QStringLiteral("ttyS3"), 2),
             QStringLiteral("Can't open TIC Port ttyS3\r\n\r\n\"An error occurred while attempting to open an already "
                            "opened device by another process or a user not having enough permission and credentials "
                            "to open.\""));
    QCOMPARE(TicSerialPortThread::errorDescription(10),
             QStringLiteral("This error occurs when an operation is executed that can only be successfully performed "
                            "if the device is open. This value was introduced in QtSerialPort 5.2."));
    QCOMPARE(TicSerialPortThread::errorDescription(8), QStringLiteral("Unknown Error"));
    QCOMPARE(TicSerialPortThread::socketErrorText(0), QStringLiteral("SOCKET ERROR: Connection refused"));
    QCOMPARE(TicSerialPortThread::socketErrorText(8), QStringLiteral("SOCKET ERROR: Address is already in use"));
    QCOMPARE(TicSerialPortThread::socketErrorText(21), QStringLiteral("SOCKET ERROR: Ssl Invalid User Data"));
    QCOMPARE(TicSerialPortThread::socketErrorText(-1), QStringLiteral("SOCKET ERROR: Unknown Socket"));
    QCOMPARE(TicSerialPortThread::socketErrorText(22), QStringLiteral("SOCKET ERROR: unknown error type"));
}

QTEST_GUILESS_MAIN(TestTicSession)
#include "tst_ticsession.moc"
