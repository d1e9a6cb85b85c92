// The station behind the remote-control link: real clients on a loopback port change the
// reference location, create, open and close real log files in a temporary log directory and
// receive the simulated counter's data lines.

#include "support/TestSupport.h"

#include "app/Station.h"
#include "averaging/Geoid.h"
#include "core/MotorolaModels.h"
#include "logging/LogRecorder.h"
#include "receiver/framing/StreamFramer.h"
#include "remote/RemoteControl.h"
#include "sim/SimulatedCounter.h"
#include "sim/SimulatedReceiver.h"
#include "tic/CounterProcessing.h"

#include <QDir>
#include <QTcpSocket>

namespace {

class Client
{
public:
    explicit Client(quint16 port)
    {
        m_socket.connectToHost(QHostAddress::LocalHost, port);
        read(1);
    }
    // Sends a command and returns the lines that answer it, without their line ends.
    QStringList ask(const QByteArray &command, int lines = 1)
    {
        m_socket.write(command + "\r\n");
        return read(lines);
    }
    QStringList read(int lines)
    {
        QElapsedTimer t;
        t.start();
        while (m_buffer.count("\r\n") < lines && t.elapsed() < 10000) {
            QTest::qWait(5);
            m_buffer += m_socket.readAll();
        }
        QStringList out;
        for (int i = 0; i < lines && m_buffer.contains("\r\n"); ++i) {
            const qsizetype end = m_buffer.indexOf("\r\n");
            out << QString::fromLatin1(m_buffer.left(end));
            m_buffer.remove(0, end + 2);
        }
        return out;
    }

private:
    QTcpSocket m_socket;
    QByteArray m_buffer;
};

QStringList filesIn(const QString &dir)
{
    return QDir(dir).entryList(QDir::Files, QDir::Name);
}

} // namespace

class TestRemoteStation : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void referenceLocation();
    void gpsLogFiles();
    void counterLogFiles();
    void counterDataStream();
};

void TestRemoteStation::referenceLocation()
{
    TestSupport::TemporarySettings temp;
    Station station;
    TelnetSettings settings { true, 0, QStringLiteral("127.0.0.1"), false };
    QVERIFY(station.remote().applySettings(settings));
    Client client(station.remote().server().port());
    const QString before = client.ask("$PKTWL,REFLOC").value(0);
    QCOMPARE(client.ask("$PKTWL,REFLOC,45 30 18.0 N,73.5W,120.5"), QStringList("$PKTWL,REFLOC,ERROR"));
    QCOMPARE(client.ask("$PKTWL,REFLOC"), QStringList(before));

    settings.allowChanges = true;
    station.remote().applySettings(settings);   // lets the client go; a new one connects
    Client allowed(station.remote().server().port());
    const double geoid = geoidSeparation(45.505, -73.5);
    const QString expected = QString::asprintf("$PKTWL,REFLOC,45.50500000,-73.50000000,%.2f,120.50", 120.5 + geoid);
    QCOMPARE(allowed.ask("$PKTWL,REFLOC,45 30 18.0 N,73.5W,120.5"), QStringList(expected));
    QCOMPARE(station.averaging().referencePosition().lat, 45.505);
    QCOMPARE(QSettings().value(QStringLiteral("GpsNavDialog/RefLocation/Latitude")).toDouble(), 45.505);
    QCOMPARE(allowed.ask("$PKTWL,REFLOC,45.5 30,0,0"), QStringList("$PKTWL,REFLOC,ERROR"));
    QCOMPARE(allowed.ask("$PKTWL,REFLOC"), QStringList(expected));
}

void TestRemoteStation::gpsLogFiles()
{
    TestSupport::TemporarySettings temp;
    QTemporaryDir logs;
    {
        QSettings s;
        s.setValue(QStringLiteral("LogFiles/GpsLogFileDirectory"), logs.path());
        s.setValue(QStringLiteral("LogFiles/GpsFileNamePrefix"), QStringLiteral("VORA"));
    }
    Station station;
    {
        QSettings s;
        station.logs().reload(s);
    }
    QVERIFY(station.remote().applySettings({ true, 0, QStringLiteral("127.0.0.1"), true }));
    Client client(station.remote().server().port());
    QCOMPARE(client.ask("$PKTWL,LOG,STATUS"), QStringList("$PKTWL,LOG,STATUS,CLOSED"));
    QCOMPARE(client.ask("$PKTWL,LOG,NEW,../STN,PVT"), QStringList("$PKTWL,LOG,NEW,../STN,PVT,FAILED"));
    QCOMPARE(client.ask("$PKTWL,LOG,NEW,STN,PVT"), QStringList("$PKTWL,LOG,NEW,STN,PVT,CREATED"));
    const QStringList created = filesIn(logs.path());
    QCOMPARE(created.size(), 1);
    QVERIFY2(created[0].startsWith(QLatin1String("STN_")) && created[0].endsWith(QLatin1String("G.csv")),
             qPrintable(created[0]));
    const QString full = logs.path() + QLatin1Char('/') + created[0];
    QCOMPARE(client.ask("$PKTWL,LOG,STATUS"), QStringList("$PKTWL,LOG,STATUS,OPENED,PVT," + full));
    QCOMPARE(client.ask("$pktwl,log,close"), QStringList("$pktwl,log,close,CLOSED"));
    QCOMPARE(client.ask("$PKTWL,LOG,NEW,STN,PVT"), QStringList("$PKTWL,LOG,NEW,STN,PVT,FAILED"));   // exists
    QCOMPARE(client.ask("$PKTWL,LOG,OPEN,STN,PVT"), QStringList("$PKTWL,LOG,OPEN,STN,PVT,OPENED"));
    QCOMPARE(client.ask("$PKTWL,LOG,CLOSE"), QStringList("$PKTWL,LOG,CLOSE,CLOSED"));
    QFile before(full);
    QVERIFY(before.open(QIODevice::ReadOnly));
    const QByteArray old = before.readAll();
    QVERIFY(old.contains(". Created GPS PVT Data Log") && old.contains(". Opened GPS PVT Data Log"));
    QCOMPARE(client.ask("$PKTWL,LOG,NEW,STN,PVT,REPLACE"), QStringList("$PKTWL,LOG,NEW,STN,PVT,CREATED"));
    QFile backup(full + QStringLiteral(".bak"));
    QVERIFY(backup.open(QIODevice::ReadOnly));
    QCOMPARE(backup.readAll(), old);
    QVERIFY(!QFile(full).size() || QFile(full).size() < old.size());
    // Nothing remote touched the stored name or type.
    QSettings s;
    QCOMPARE(s.value(QStringLiteral("LogFiles/GpsFileNamePrefix")).toString(), QStringLiteral("VORA"));
    QCOMPARE(s.value(QStringLiteral("LogFiles/GpsLogFileDirectory")).toString(), logs.path());
}

void TestRemoteStation::counterLogFiles()
{
    TestSupport::TemporarySettings temp;
    QTemporaryDir logs;
    {
        QSettings s;
        s.setValue(QStringLiteral("LogFiles/TicLogFileDirectory"), logs.path());
        s.setValue(QStringLiteral("LogFiles/TicFileNamePrefix"), QStringLiteral("VORA"));
    }
    Station station;
    QVERIFY(station.remote().applySettings({ true, 0, QStringLiteral("127.0.0.1"), true }));
    Client client(station.remote().server().port());
    QCOMPARE(client.ask("$PKTWL,TICLOG,OPEN,TIC", 3),
             QStringList({ "$PKTWL,TICLOG,OPEN,TIC", "Cannot open files.", "The files for the current day do not exest." }));
    QCOMPARE(QSettings().value(QStringLiteral("LogFiles/TicLogOpen")).toBool(), false);
    QCOMPARE(client.ask("$PKTWL,TICLOG,NEW,TIC,TAB,TI5,ALINT2"), QStringList("$PKTWL,TICLOG,NEW,TIC,TAB,TI5,ALINT2"));
    const QStringList files = filesIn(logs.path());
    QCOMPARE(files.size(), 17);
    QVERIFY(files.filter(QRegularExpression(QStringLiteral("^TIC_\\d{4}_\\d{3}T_PORT_0[1-8]\\.txt$"))).size() == 8);
    QCOMPARE(client.ask("$PKTWL,TICLOG,STATUS"), QStringList("$PKTWL,TICLOG,STATUS,OPENED," + logs.path() + "/TIC"));
    QSettings s;
    QCOMPARE(s.value(QStringLiteral("LogFiles/TicLogStyle")).toInt(), 2);
    QCOMPARE(s.value(QStringLiteral("LogFiles/TicTimeLogEvery")).toInt(), 4);
    QCOMPARE(s.value(QStringLiteral("LogFiles/AveragingLogPeriod")).toString(), QStringLiteral("120"));
    QCOMPARE(s.value(QStringLiteral("LogFiles/TicFileNamePrefix")).toString(), QStringLiteral("VORA"));
    QCOMPARE(client.ask("$PKTWL,TICLOG,CLOSE"), QStringList("$PKTWL,TICLOG,CLOSE,CLOSED"));
    QCOMPARE(client.ask("$PKTWL,TICLOG,STATUS"), QStringList("$PKTWL,TICLOG,STATUS,CLOSED"));
    QCOMPARE(client.ask("$PKTWL,TICLOG,NEW,TIC,REPLACE"), QStringList("$PKTWL,TICLOG,NEW,TIC,REPLACE"));
    QVERIFY(QFile::exists(logs.path() + QLatin1Char('/') + files.filter(QStringLiteral("C.txt")).value(0) + ".bak"));
}

// The counter's readings, paired with the simulated receiver's sawtooth, go out as data lines
// while the client is subscribed, and stop after OFF.
void TestRemoteStation::counterDataStream()
{
    TestSupport::TemporarySettings temp;
    {
        QSettings s;
        s.setValue(QStringLiteral("LogFiles/TicTimeLogEvery"), 0);
        s.setValue(QStringLiteral("LogFiles/TimeIntervalLogButtonGroup"), 0);
    }
    Station station;
    station.state().receiverMode = 2;
    station.state().receiverModel = ReceiverModelCode::M12Plus;
    {
        QSettings s;
        station.readCounterSettings(s);
    }
    QVERIFY(station.remote().applySettings({ true, 0, QStringLiteral("127.0.0.1"), false }));
    Client client(station.remote().server().port());
    SimulatedReceiver rx(SimulatedReceiverConfig::forModel(QStringLiteral("M12+")));
    SimulatedCounterConfig c = SimulatedCounterConfig::forPort(2);
    c.receiverModel = QStringLiteral("M12+");
    const SimulatedCounter counter(c);
    StreamFramer framer(2);
    qint64 nowMs = 0;
    station.setClock([&nowMs] { return nowMs; });
    constexpr qint64 day = 20000LL * 86400;
    auto run = [&](qint64 from, qint64 to) {
        for (qint64 s = from; s < to; ++s) {
            nowMs = (s - 1) * 1000 + 100;
            framer.feed(rx.secondOutput(s), [&station](const QByteArray &f) { station.OnNewGpsText(f); });
            nowMs = s * 1000 + 60;
            QByteArray line = counter.line(s);
            line.chop(2);
            station.OnNewTicText("2 " + line);
        }
    };
    run(day, day + 3);
    QCOMPARE(client.ask("$PKTWL,TICDATA,TIME,ALWAYS").value(0), QStringLiteral("$PKTWL,TICDATA,TIME,"));
    run(day + 3, day + 8);
    const QStringList lines = client.read(5);
    QCOMPARE(lines.size(), 5);
    for (int i = 0; i < 5; ++i) {
        QVERIFY2(lines[i].startsWith(QLatin1String("$PKTWL,TICDATA,TIME,2,")), qPrintable(lines[i]));
        QCOMPARE(lines[i].split(QLatin1Char(' ')).value(2), QString::asprintf("%05.3f", double(counter.sawtoothNs(day + 3 + i))));
    }
    client.ask("$PKTWL,TICDATA,TIME,OFF", 0);
    QTRY_COMPARE(station.remote().interpreter().remoteTimeLines(), 0);
    run(day + 8, day + 10);
    QCOMPARE(client.read(1), QStringList());
}

CHRONODE_TEST_MAIN(TestRemoteStation)
#include "tst_remotestation.moc"
