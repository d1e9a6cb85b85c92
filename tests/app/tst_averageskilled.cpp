// Averages of a station killed with SIGKILL: a child station averages an accelerated hour and a
// half and is killed; what it saved at the top of the hour is what a restart reads back.

#include "support/TestSupport.h"

#include "app/Station.h"
#include "averaging/AveragingEngine.h"
#include "receiver/link/GpsSerialPortThread.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <cstdio>

namespace {

const QDateTime kStart(QDate(2026, 6, 9), QTime(11, 59, 59), Qt::UTC);
constexpr int kSeconds = 5401;   // 11:59:59 to 13:29:59

// A position that drifts, so that every average differs from the one a second later.
double latitudeAt(int second) { return 52.0 + second * 1e-7; }

// The killed station: one fix and one edge per accelerated second; it prints its average and
// counters after the 13:00:00 edge and again at the end, says "ready", then waits to be killed.
int runKilledStation()
{
    QCoreApplication::setOrganizationName(QStringLiteral("KTW Systems"));
    QCoreApplication::setApplicationName(QStringLiteral("Chronode"));
    Station station;
    qint64 nowMs = kStart.toMSecsSinceEpoch();
    station.setClock([&nowMs] { return nowMs; });
    AveragingEngine &engine = station.averaging();
    engine.setFixType(3);
    engine.setTimingSatellites(8);
    const auto report = [&engine] {
        std::printf("%.12f %.3f\n", engine.averagedPosition().lat, engine.positionCount());
    };
    for (int second = 0; second < kSeconds; ++second) {
        const QDateTime utc = kStart.addSecs(second);
        nowMs = utc.toMSecsSinceEpoch();
        engine.updateLockStatus(0, utc);
        engine.updatePosition(latitudeAt(second), 7.0, 120.0, 70.0, 0);
        station.state().receiverUtcDateTime.setDateTime(utc);
        station.state().timeMessageMissing = false;
        emit station.link().PpsTick();
        if (utc.time() == QTime(13, 0, 0))
            report();
    }
    report();
    std::puts("ready");
    std::fflush(stdout);
    QThread::sleep(60);
    return 3;
}

} // namespace

class TestAveragesKilled : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void killedLosesAtMostTheLastHour()
    {
        TestSupport::TemporarySettings settings;
        QTemporaryDir dir;
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("CHRONODE_AVERAGES_CHILD"), QStringLiteral("1"));
        env.insert(QStringLiteral("HOME"), dir.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.path() + QStringLiteral("/config"));
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForStarted(10000));
        QByteArray out;
        for (int i = 0; i < 200 && !out.contains("ready\n"); ++i) {
            QVERIFY(child.waitForReadyRead(120000));
            out += child.readAll();
        }
        child.kill();   // SIGKILL: no shutdown save
        QVERIFY(child.waitForFinished(10000));
        const QList<QByteArray> lines = out.split('\n');
        QCOMPARE(lines.size(), 4);
        const QList<QByteArray> atHour = lines[0].split(' ');
        const QList<QByteArray> atKill = lines[1].split(' ');
        QCOMPARE(atHour.size(), 2);
        // The half hour after the save moved the average: the kill lost it, and only it.
        QVERIFY(atKill[0].toDouble() > atHour[0].toDouble() + 1e-6);

        QSettings killed(dir.path() + QStringLiteral("/config/KTW Systems/Chronode.conf"), QSettings::IniFormat);
        QVERIFY(killed.contains(QStringLiteral("GpsNavDialog/Averaging Data/Averages - Position")));
        AveragingEngine restarted;
        restarted.loadSettings(killed);
        QVERIFY2(qAbs(restarted.averagedPosition().lat - atHour[0].toDouble()) < 1e-11,
                 qPrintable(QString::number(restarted.averagedPosition().lat, 'f', 12) + " saved, "
                            + QString::fromLatin1(atHour[0]) + " at 13:00:00"));
        QCOMPARE(restarted.positionCount(), atHour[1].toDouble());
        QVERIFY(restarted.positionCount() > 1.0);
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsSet("CHRONODE_AVERAGES_CHILD"))
        return runKilledStation();
    qputenv("CHRONODE_TESTING", "1");
    return TestSupport::runTests<TestAveragesKilled>(argc, argv);
}

#include "tst_averageskilled.moc"
