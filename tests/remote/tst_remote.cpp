// The remote-control link: the command protocol against a recording station, the line rules,
// and the server with real clients on an ephemeral loopback port.

#include "support/TestSupport.h"

#include "remote/RemoteControl.h"

#include <QSignalSpy>
#include <QTcpSocket>

namespace {

// A station that records what it is asked to do. Setup words: "gps" (a GPS log is open),
// "tic" (a counter set is open), "fail" (opens and the reference set fail).
class RecordingStation : public RemoteStationActions
{
public:
    QStringList calls;
    bool gpsOpen = false;
    bool ticOpen = false;
    bool fail = false;

    QString versionText() const override { return QStringLiteral("1.2.10"); }
    QString referenceLocationText() const override { return m_ref; }
    bool setReferenceLocation(const QString &lat, const QString &lon, const QString &h) override
    {
        calls << QStringLiteral("ref %1 %2 %3").arg(lat, lon, h);
        if (!fail)
            m_ref = QStringLiteral("%1,%2,%3,%3").arg(lat, lon, h);
        return !fail;
    }
    GpsLogStatus gpsLogStatus() const override { return { gpsOpen, 2, QStringLiteral("/logs/STN_2026_340G.pvt") }; }
    void setGpsLogType(int type) override { calls << QStringLiteral("type %1").arg(type); }
    bool openGpsLog(const QString &prefix, OpenMode mode) override
    {
        calls << QStringLiteral("gps %1 %2").arg(prefix).arg(int(mode));
        return !fail;
    }
    bool closeGpsLog() override
    {
        calls << QStringLiteral("close gps");
        return gpsOpen;
    }
    bool counterLogOpen() const override { return ticOpen; }
    QString counterLogName() const override { return QStringLiteral("/logs/STN"); }
    bool openCounterLogs(const CounterLogRequest &r) override
    {
        auto opt = [](const auto &v) { return v ? QString::number(int(*v)) : QStringLiteral("-"); };
        calls << QStringLiteral("tic %1 %2 style %3 tag %4 ar %5 se %6 every %7 ticavg %8 period %9")
                     .arg(r.prefix).arg(int(r.mode)).arg(opt(r.style), opt(r.timeTagFormat), opt(r.autoRestart),
                                                         opt(r.saveSatelliteEvents), opt(r.timeLogEveryIndex),
                                                         opt(r.counterAveraging), opt(r.averagingPeriod));
        return !fail;
    }
    bool closeCounterLogs() override
    {
        calls << QStringLiteral("close tic");
        return ticOpen;
    }
    void setCounterSubscription(CounterData data, int lines) override
    {
        calls << QStringLiteral("sub %1 %2").arg(int(data)).arg(lines);
    }
    QString latestCounterLine(CounterData data) const override
    {
        return data == CounterData::Time ? QStringLiteral("26340.500000 1.2E-7") : QStringLiteral("26340.5 60 0.1");
    }

private:
    QString m_ref = QStringLiteral("45.50000000,-73.50000000,80.00,112.00");
};

QByteArray readLines(QTcpSocket &client, int lines, int timeoutMs = 5000)
{
    QByteArray all;
    QElapsedTimer t;
    t.start();
    while (all.count('\n') < lines && t.elapsed() < timeoutMs) {
        if (client.bytesAvailable() == 0)
            client.waitForReadyRead(50);
        QCoreApplication::processEvents();
        all += client.readAll();
    }
    return all;
}

} // namespace

class TestRemote : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void commands_data();
    void commands();
    void lineCheck_data();
    void lineCheck();
    void lineBuffer_data();
    void lineBuffer();
    void prefix_data();
    void prefix();
    void settingsRepair();
    void clientSession();
    void secondClientRefusedAndRestart();
    void commandRate();
    void slowReaderLosesDataLines();
    void idleClientClosed();
};

void TestRemote::commands_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("replies");   // lines joined with "|"
    QTest::addColumn<QString>("calls");     // the station's calls joined with "|"
    const QString s;
    QTest::newRow("exit") << s << "EXIT" << "DISCONNECTED" << "";
    QTest::newRow("pktwl exit") << s << "$PKTWL,EXIT" << "DISCONNECTED" << "";
    QTest::newRow("foo") << s << "FOO" << "FOO,UNKNOWN" << "";
    QTest::newRow("pktwl foo") << s << "$PKTWL,Foo" << "$PKTWL,Foo,UNKNOWN" << "";
    QTest::newRow("empty word") << s << "$PKTWL," << "$PKTWL,,UNKNOWN" << "";
    QTest::newRow("version") << s << "$PKTWL,VERSION" << "$PKTWL,VERSION,1.2.10" << "";
    QTest::newRow("version option") << s << "$pktwl,version, x " << "$pktwl,version,x,BADOPTION" << "";
    QTest::newRow("refloc") << s << "$PKTWL,REFLOC" << "$PKTWL,REFLOC,45.50000000,-73.50000000,80.00,112.00" << "";
    QTest::newRow("refloc lat only") << "allow" << "$PKTWL,REFLOC,45.5" << "$PKTWL,REFLOC,ERROR" << "";
    QTest::newRow("refloc not allowed") << s << "$PKTWL,REFLOC,45 30 N,73W,100" << "$PKTWL,REFLOC,ERROR" << "";
    QTest::newRow("refloc set") << "allow" << "$PKTWL,REFLOC,45 30 N,73W,100"
                                << "$PKTWL,REFLOC,45 30 N,73W,100,100" << "ref 45 30 N 73W 100";
    QTest::newRow("refloc refused") << "allow fail" << "$PKTWL,REFLOC,95,0,0" << "$PKTWL,REFLOC,ERROR" << "ref 95 0 0";
    QTest::newRow("log status lower") << s << "$pktwl,log,status" << "$pktwl,log,status,CLOSED" << "";
    QTest::newRow("log status open") << "gps" << "$PKTWL,LOG,STATUS"
                                     << "$PKTWL,LOG,STATUS,OPENED,PVT,/logs/STN_2026_340G.pvt" << "";
    QTest::newRow("log new no name") << "allow" << "$PKTWL,LOG,NEW,,PVT" << "$PKTWL,LOG,NEW,,PVT,NOFILENAME" << "";
    QTest::newRow("log new") << "allow" << "$PKTWL,LOG,NEW,STN,pvt" << "$PKTWL,LOG,NEW,STN,pvt,CREATED"
                             << "type 2|gps STN 0";
    QTest::newRow("log new not allowed") << s << "$PKTWL,LOG,NEW,STN,PVT" << "$PKTWL,LOG,NEW,STN,PVT,FAILED" << "";
    QTest::newRow("log new replace") << "allow" << "$PKTWL,LOG,NEW,STN.csv,RAW,replace"
                                     << "$PKTWL,LOG,NEW,STN.csv,RAW,CREATED" << "type 0|gps STN 1";
    QTest::newRow("log new bad option") << "allow" << "$PKTWL,LOG,NEW,STN,RAW,KEEP" << "$PKTWL,LOG,NEW,STN,RAW,BADOPTION"
                                        << "";
    QTest::newRow("log new fails") << "allow fail" << "$PKTWL,LOG,NEW,STN,XYZ" << "$PKTWL,LOG,NEW,STN,XYZ,FAILED"
                                   << "gps STN 0";
    QTest::newRow("log open") << "allow" << "$PKTWL,LOG,OPEN,STN_2026_340G,NMEA" << "$PKTWL,LOG,OPEN,STN_2026_340G,NMEA,OPENED"
                              << "type 3|gps STN 2";
    QTest::newRow("log open option") << "allow" << "$PKTWL,LOG,OPEN,STN,NMEA,REPLACE"
                                     << "$PKTWL,LOG,OPEN,STN,NMEA,BADOPTION" << "";
    QTest::newRow("log dotdot") << "allow" << "$PKTWL,LOG,NEW,../etc/x,RAW" << "$PKTWL,LOG,NEW,../etc/x,RAW,FAILED" << "";
    QTest::newRow("log slash") << "allow" << "$PKTWL,LOG,NEW,/tmp/x,RAW" << "$PKTWL,LOG,NEW,/tmp/x,RAW,FAILED" << "";
    QTest::newRow("log colon") << "allow" << "$PKTWL,LOG,NEW,C:x,RAW" << "$PKTWL,LOG,NEW,C:x,RAW,FAILED" << "";
    QTest::newRow("log backslash") << "allow" << "$PKTWL,LOG,OPEN,a\\b,RAW" << "$PKTWL,LOG,OPEN,a\\b,RAW,FAILED" << "";
    QTest::newRow("log close none open") << "allow tic" << "$PKTWL,LOG,CLOSE" << "$PKTWL,LOG,CLOSE,FAILED" << "close gps";
    QTest::newRow("log close") << "allow gps tic" << "$PKTWL,LOG,CLOSE" << "$PKTWL,LOG,CLOSE,CLOSED"
                               << "close gps|close tic";
    QTest::newRow("log foo") << s << "$PKTWL,LOG,FOO" << "$PKTWL,LOG,FOO,UNKNOWN" << "";
    QTest::newRow("ticlog new options") << "allow" << "$PKTWL,TICLOG,NEW,STN,comma,MJD,ARON,SEOFF,TI10,ALINT5"
                                        << "$PKTWL,TICLOG,NEW,STN,comma,MJD,ARON,SEOFF,TI10,ALINT5"
                                        << "tic STN 0 style 1 tag 1 ar 1 se 0 every 6 ticavg 0 period 300";
    QTest::newRow("ticlog replace") << "allow" << "$PKTWL,TICLOG,NEW,STN,TAB,EXCEL,AROFF,SEON,ALTIC30,REPLACE"
                                    << "$PKTWL,TICLOG,NEW,STN,TAB,EXCEL,AROFF,SEON,ALTIC30,REPLACE"
                                    << "tic STN 1 style 2 tag 2 ar 0 se 1 every - ticavg 1 period 1800";
    QTest::newRow("ticlog ti7") << "allow" << "$PKTWL,TICLOG,NEW,STN,SPACE,TI7" << "$PKTWL,TICLOG,NEW,STN,SPACE,TI7,BADOPTION" << "";
    QTest::newRow("ticlog ti05") << "allow" << "$PKTWL,TICLOG,NEW,STN,TI05" << "$PKTWL,TICLOG,NEW,STN,TI05,BADOPTION" << "";
    QTest::newRow("ticlog open replace") << "allow" << "$PKTWL,TICLOG,OPEN,STN,REPLACE"
                                         << "$PKTWL,TICLOG,OPEN,STN,REPLACE,BADOPTION" << "";
    QTest::newRow("ticlog no name") << "allow" << "$PKTWL,TICLOG,NEW" << "$PKTWL,TICLOG,NEW,,NOFILENAME" << "";
    QTest::newRow("ticlog not allowed") << s << "$PKTWL,TICLOG,NEW,STN,YDF" << "$PKTWL,TICLOG,NEW,STN,YDF,FAILED" << "";
    QTest::newRow("ticlog path") << "allow" << "$PKTWL,TICLOG,NEW,..\\STN" << "$PKTWL,TICLOG,NEW,..\\STN,FAILED" << "";
    QTest::newRow("ticlog new fails") << "allow fail" << "$PKTWL,TICLOG,NEW,STN_0337A_PORT_01.csv"
                                      << "$PKTWL,TICLOG,NEW,STN_0337A_PORT_01.csv|Cannot create files."
                                      << "tic STN 0 style - tag - ar - se - every - ticavg - period -";
    QTest::newRow("ticlog open fails") << "allow fail" << "$PKTWL,TICLOG,OPEN,STN"
                                       << "$PKTWL,TICLOG,OPEN,STN|Cannot open files.|The files for the current day do not exest."
                                       << "tic STN 2 style - tag - ar - se - every - ticavg - period -";
    QTest::newRow("ticlog close") << "allow tic" << "$PKTWL,TICLOG,CLOSE" << "$PKTWL,TICLOG,CLOSE,CLOSED" << "close tic";
    QTest::newRow("ticlog close none") << "allow" << "$PKTWL,TICLOG,CLOSE" << "$PKTWL,TICLOG,CLOSE,FAILED" << "close tic";
    QTest::newRow("ticlog status") << "tic" << "$PKTWL,TICLOG,STATUS" << "$PKTWL,TICLOG,STATUS,OPENED,/logs/STN" << "";
    QTest::newRow("ticdata once") << s << "$PKTWL,TICDATA,TIME,ONCE" << "$PKTWL,TICDATA,TIME,26340.500000 1.2E-7" << "sub 0 0";
    QTest::newRow("ticdata always") << s << "$PKTWL,ticdata,average,always" << "$PKTWL,TICDATA,AVERAGE,26340.5 60 0.1"
                                    << "sub 1 -1";
    QTest::newRow("ticdata off") << s << "$PKTWL,TICDATA,TIME,OFF" << "" << "sub 0 0";
    QTest::newRow("ticdata maybe") << s << "$PKTWL,TICDATA,TIME,MAYBE" << "$PKTWL,TICDATA,TIME,MAYBE,UNKNOWN" << "";
    QTest::newRow("ticdata what") << s << "$PKTWL,TICDATA,PHASE,ONCE" << "$PKTWL,TICDATA,PHASE,ONCE,UNKNOWN" << "";
}

void TestRemote::commands()
{
    QFETCH(QString, setup);
    QFETCH(QString, command);
    QFETCH(QString, replies);
    QFETCH(QString, calls);
    RecordingStation station;
    station.gpsOpen = setup.contains(QLatin1String("gps"));
    station.ticOpen = setup.contains(QLatin1String("tic"));
    station.fail = setup.contains(QLatin1String("fail"));
    RemoteCommandInterpreter interpreter(station);
    interpreter.setAllowChanges(setup.contains(QLatin1String("allow")));
    QStringList sent;
    connect(&interpreter, &RemoteCommandInterpreter::reply, this,
            [&sent](const QByteArray &line) { sent << QString::fromLatin1(line); });
    QSignalSpy exits(&interpreter, &RemoteCommandInterpreter::exitRequested);
    interpreter.processCommand(command.toLatin1());
    QCOMPARE(sent.join(QLatin1Char('|')), replies);
    QCOMPARE(station.calls.join(QLatin1Char('|')), calls);
    QCOMPARE(exits.size(), replies == QLatin1String("DISCONNECTED") ? 1 : 0);
}

void TestRemote::lineCheck_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("command");   // empty: echoed as malformed
    QTest::newRow("status") << QByteArray("$PKTWL,STATUS") << QByteArray("$PKTWL,STATUS");
    QTest::newRow("lower prefix") << QByteArray("$pktwl,log,status") << QByteArray("$pktwl,log,status");
    QTest::newRow("exit") << QByteArray("EXIT") << QByteArray("EXIT");
    QTest::newRow("exit lower") << QByteArray("exit") << QByteArray();
    QTest::newRow("exit checksum") << QByteArray("EXIT*45") << QByteArray("EXIT");
    QTest::newRow("exit wrong checksum") << QByteArray("EXIT*54") << QByteArray();
    QTest::newRow("gp no comma") << QByteArray("$GPZDA") << QByteArray();
    QTest::newRow("gp comma") << QByteArray("$GPZDA,") << QByteArray("$GPZDA,");
    QTest::newRow("checksum") << QByteArray("$PKTWL,VERSION*22") << QByteArray("$PKTWL,VERSION");
    QTest::newRow("checksum lower hex") << QByteArray("$PKTWL,TICLOG,STATUS*5a") << QByteArray();
    QTest::newRow("checksum no dollar") << QByteArray("PKTWL,VERSION*72") << QByteArray("PKTWL,VERSION");
    QTest::newRow("star inside") << QByteArray("$PKTWL,A*B,C") << QByteArray();
    QTest::newRow("short") << QByteArray("*00") << QByteArray();
    QTest::newRow("hello") << QByteArray("hello") << QByteArray();
}

void TestRemote::lineCheck()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, command);
    QCOMPARE(TelnetTcpServer::checkLine(line).value_or(QByteArray()), command);
}

void TestRemote::lineBuffer_data()
{
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QByteArray>("lines");   // joined with "|", an overlong line shown as "#"
    QTest::addColumn<int>("pending");
    using L = QList<QByteArray>;
    QTest::newRow("cr lf") << L { "$PKTWL,A\r\n$PKTWL,B\r\n" } << QByteArray("$PKTWL,A|$PKTWL,B") << 0;
    QTest::newRow("lf stays") << L { "$PKTWL,A\n", "X\r" } << QByteArray("$PKTWL,A\nX") << 0;
    QTest::newRow("split") << L { "$PKT", "WL,A", "\r", "\nEX" } << QByteArray("$PKTWL,A") << 2;
    QTest::newRow("cr nul") << L { "EXIT\r", QByteArray("\0", 1), "EXIT\r" } << QByteArray("EXIT|EXIT") << 0;
    QTest::newRow("blank lines") << L { "\r\r\n\rA\r" } << QByteArray("A") << 0;
    QTest::newRow("negotiation") << L { QByteArray("\xff\xfb\x01\xff\xfd\x03" "EX\xff\xfa\x18\x01\xff\xf0IT\r", 17) }
                                 << QByteArray("EXIT") << 0;
    QTest::newRow("iac iac") << L { QByteArray("A\xff\xff" "B\r", 5) } << QByteArray("A\xff" "B") << 0;
    QTest::newRow("split iac") << L { QByteArray("A\xff", 2), QByteArray("\xfd", 1), QByteArray("\x01" "B\r", 3) }
                               << QByteArray("AB") << 0;
    QTest::newRow("1024 kept") << L { QByteArray(1024, 'x') + "\r" } << QByteArray(1024, 'x') << 0;
    QTest::newRow("1025 overlong") << L { QByteArray(600, 'x'), QByteArray(425, 'x') + "\rEXIT\r" }
                                   << QByteArray("#|EXIT") << 0;
    QTest::newRow("overlong unfinished") << L { QByteArray(5000, 'x') } << QByteArray() << 1024;
}

void TestRemote::lineBuffer()
{
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QByteArray, lines);
    QFETCH(int, pending);
    TelnetLineBuffer buffer;
    for (const QByteArray &c : chunks)
        buffer.feed(c);
    QList<QByteArray> got;
    while (buffer.hasLine()) {
        const TelnetLineBuffer::Line line = buffer.takeLine();
        got << (line.overlong ? QByteArray("#") : line.text);
    }
    QCOMPARE(got.join('|'), lines);
    QCOMPARE(buffer.pendingBytes(), qsizetype(pending));
}

void TestRemote::prefix_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("prefix");   // empty: refused
    QTest::newRow("bare") << "Station-1_a" << "Station-1_a";
    QTest::newRow("extension") << "VORA.csv" << "VORA";
    QTest::newRow("picked counter file") << "ABC_0123T_PORT_02.prn" << "ABC";
    QTest::newRow("picked year file") << "ABC_2026_337A_PORT_01" << "ABC";
    QTest::newRow("picked gps file") << "ABC_2026_337G.pvt" << "ABC";
    QTest::newRow("40") << QString(40, QLatin1Char('a')) << QString(40, QLatin1Char('a'));
    QTest::newRow("41") << QString(41, QLatin1Char('a')) << "";
    QTest::newRow("stamp only") << "123C" << "";
    QTest::newRow("dotdot") << "../x" << "";
    QTest::newRow("two dots") << "a..b" << "";
    QTest::newRow("slash") << "a/b" << "";
    QTest::newRow("colon") << "C:a" << "";
    QTest::newRow("backslash") << "a\\b" << "";
    QTest::newRow("blank") << "a b" << "";
    QTest::newRow("non ascii") << QString::fromUtf8("Sta\u00dfe") << "";
}

void TestRemote::prefix()
{
    QFETCH(QString, field);
    QFETCH(QString, prefix);
    QCOMPARE(RemoteCommandInterpreter::prefixFromField(field).value_or(QString()), prefix);
}

void TestRemote::settingsRepair()
{
    TestSupport::TemporarySettings temp;
    QSettings s;
    s.setValue(QStringLiteral("TelnetDialog/TelnetServerPort"), QStringLiteral("1023"));
    s.setValue(QStringLiteral("TelnetDialog/TelnetListenAddress"), QStringLiteral("300.1.2.3"));
    s.setValue(QStringLiteral("TelnetDialog/TelnetActivate"), QStringLiteral("yes"));
    const TelnetSettings t = TelnetSettings::load(s);
    QCOMPARE(t.port, 32325);
    QCOMPARE(t.listenAddress, QStringLiteral("127.0.0.1"));
    QCOMPARE(t.activate, false);
    QCOMPARE(t.allowChanges, false);
    QCOMPARE(s.value(QStringLiteral("TelnetDialog/TelnetServerPort")).toInt(), 32325);
    QCOMPARE(s.value(QStringLiteral("TelnetDialog/TelnetListenAddress")).toString(), QStringLiteral("127.0.0.1"));
    QCOMPARE(s.value(QStringLiteral("TelnetDialog/AllowRemoteChanges")).toBool(), false);
}

// Greeting, CR versus LF, a malformed and an overlong line, lower case, a checksum, EXIT.
void TestRemote::clientSession()
{
    RecordingStation station;
    RemoteControl remote(station);
    QVERIFY(remote.applySettings({ true, 0, QStringLiteral("127.0.0.1"), false }));
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, remote.server().port());
    QCOMPARE(readLines(client, 1), QByteArray("Hello client, this is Chronode.\r\n"));
    client.write("$PKTWL,VERSION\n");
    QCOMPARE(readLines(client, 1, 300), QByteArray());   // LF alone ends nothing
    client.write("\r" + QByteArray(3000, 'z') + "\r\n$pktwl,log,status\r\nexit\r\n");
    client.write(TelnetTcpServer::withChecksum("$PKTWL,REFLOC") + "\r\n");
    QCOMPARE(readLines(client, 5), QByteArray("$PKTWL,VERSION,1.2.10\r\n ???\r\n$pktwl,log,status,CLOSED\r\n"
                                              "exit ???\r\n$PKTWL,REFLOC,45.50000000,-73.50000000,80.00,112.00\r\n"));
    client.write("$PKTWL,TICDATA,TIME,ALWAYS\rEXIT\r");
    QCOMPARE(readLines(client, 2), QByteArray("$PKTWL,TICDATA,TIME,26340.500000 1.2E-7\r\nDISCONNECTED\r\n"));
    QTRY_COMPARE(client.state(), QAbstractSocket::UnconnectedState);
    QVERIFY(remote.server().isListening());
    QCOMPARE(station.calls, QStringList({ "sub 0 -1", "sub 0 0", "sub 1 0" }));   // EXIT ends the subscription
}

void TestRemote::secondClientRefusedAndRestart()
{
    RecordingStation station;
    RemoteControl remote(station);
    QVERIFY(remote.applySettings({ true, 0, QStringLiteral("127.0.0.1"), false }));
    const quint16 first = remote.server().port();
    QTcpSocket a;
    a.connectToHost(QHostAddress::LocalHost, first);
    QVERIFY(readLines(a, 1).startsWith("Hello"));
    QTRY_VERIFY(!remote.server().isListening());
    QTcpSocket b;
    b.connectToHost(QHostAddress::LocalHost, first);
    QVERIFY(!b.waitForConnected(2000));
    QCOMPARE(b.error(), QAbstractSocket::ConnectionRefusedError);

    // A restart on another port lets the client go without a word and listens there.
    QVERIFY(remote.server().Start(0));
    QVERIFY(remote.server().port() != first);
    QTRY_COMPARE(a.state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(a.readAll(), QByteArray());
    QTcpSocket c;
    c.connectToHost(QHostAddress::LocalHost, remote.server().port());
    QVERIFY(readLines(c, 1).startsWith("Hello"));
    c.disconnectFromHost();
    QTRY_VERIFY(remote.server().isListening());
    remote.applySettings({ false, 0, QStringLiteral("127.0.0.1"), false });
    QVERIFY(!remote.server().isListening());
}

// 120 commands at once: 50 answered in the first second of the server's clock, 50 more in the
// next, the rest in the third.
void TestRemote::commandRate()
{
    RecordingStation station;
    RemoteControl remote(station);
    qint64 now = 1000000;
    remote.server().setClock([&now] { return now; });
    QVERIFY(remote.applySettings({ true, 0, QStringLiteral("127.0.0.1"), false }));
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, remote.server().port());
    readLines(client, 1);
    QByteArray burst;
    for (int i = 0; i < 120; ++i)
        burst += "$PKTWL,VERSION\r";
    client.write(burst);
    QCOMPARE(readLines(client, 50).count('\n'), 50);
    QCOMPARE(readLines(client, 1, 1500).count('\n'), 0);
    now += 1000;
    QCOMPARE(readLines(client, 50).count('\n'), 50);
    now += 1000;
    QCOMPARE(readLines(client, 20).count('\n'), 20);
}

void TestRemote::slowReaderLosesDataLines()
{
    RecordingStation station;
    RemoteControl remote(station);
    QVERIFY(remote.applySettings({ true, 0, QStringLiteral("127.0.0.1"), false }));
    QTcpSocket client;
    client.setReadBufferSize(4096);
    client.connectToHost(QHostAddress::LocalHost, remote.server().port());
    QTRY_VERIFY(remote.server().hasClient());
    const QByteArray line = "$PKTWL,TICDATA,TIME,1," + QByteArray(1000, '7');
    for (int i = 0; i < 65536 && remote.server().droppedDataLines() == 0; ++i) {
        remote.sendDataLine(line);
        if (i % 64 == 0)
            QCoreApplication::processEvents();
    }
    QVERIFY(remote.server().droppedDataLines() > 0);
    QVERIFY(remote.server().hasClient());   // data lines alone never get a client closed
}

void TestRemote::idleClientClosed()
{
    RecordingStation station;
    RemoteControl remote(station);
    remote.server().setIdleTimeout(300);
    QVERIFY(remote.applySettings({ true, 0, QStringLiteral("127.0.0.1"), false }));
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, remote.server().port());
    readLines(client, 1);
    QTRY_COMPARE_WITH_TIMEOUT(client.state(), QAbstractSocket::UnconnectedState, 5000);
    QTRY_VERIFY(remote.server().isListening());
}

CHRONODE_TEST_MAIN(TestRemote)
#include "tst_remote.moc"
