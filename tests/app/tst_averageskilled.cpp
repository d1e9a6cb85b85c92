// A child station averages an accelerated 11:59:59-13:29:59 on a drifting position and is killed
// with SIGKILL; a restart reads back the averages of 13:00:00, losing only the last half hour.
#include "support/TestSupport.h"

#include "app/Station.h"
#include "averaging/AveragingEngine.h"
#include "receiver/link/GpsSerialPortThread.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

static int runKilledStation()
{
    QCoreApplication::setOrganizationName(QStringLiteral("KTW Systems"));
    QCoreApplication::setApplicationName(QStringLiteral("Chronode"));
    Station station;
    AveragingEngine &e = station.averaging();
    e.setFixType(3);
    e.setTimingSatellites(8);
    QByteArray out;
    for (int second = 0; second <= 5400; ++second) {
        const QDateTime utc = QDateTime(QDate(2026, 6, 9), QTime(11, 59, 59), Qt::UTC).addSecs(second);
        station.setClock([utc] { return utc.toMSecsSinceEpoch(); });
        e.updateLockStatus(0, utc);
        e.updatePosition(52.0 + second * 1e-7, 7.0, 120.0, 70.0, 0);
        station.state().receiverUtcDateTime.setDateTime(utc);
        station.state().timeMessageMissing = false;
        emit station.link().PpsTick();
        if (utc.time() == QTime(13, 0, 0) || second == 5400)
            out += QByteArray::number(e.averagedPosition().lat, 'f', 12) + ' ' + QByteArray::number(e.positionCount()) + '\n';
    }
    std::fputs(out.constData(), stdout);
    std::fflush(stdout);
    QThread::sleep(60);
    return 3;
}

class TestAveragesKilled : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void killedLosesAtMostTheLastHour()
    {
        QTemporaryDir dir;
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("CHRONODE_AVERAGES_CHILD"), QStringLiteral("1"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.path());
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {});
        QByteArray out;
        while (out.count('\n') < 2 && child.waitForReadyRead(120000))
            out += child.readAll();
        child.kill();   // SIGKILL: no shutdown save
        QVERIFY(child.waitForFinished(10000));
        const QList<QByteArray> atHour = out.split('\n').value(0).split(' '), atKill = out.split('\n').value(1).split(' ');
        QCOMPARE(atKill.size(), 2);
        QVERIFY(atKill[0].toDouble() > atHour[0].toDouble() + 1e-6);   // the half hour moved the average
        QSettings killed(dir.path() + QStringLiteral("/KTW Systems/Chronode.conf"), QSettings::IniFormat);
        AveragingEngine restarted;
        restarted.loadSettings(killed);
        QVERIFY(qAbs(restarted.averagedPosition().lat - atHour[0].toDouble()) < 1e-11);
        QCOMPARE(restarted.positionCount(), atHour[1].toDouble());
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsSet("CHRONODE_AVERAGES_CHILD"))
        return runKilledStation();
    return TestSupport::runTests<TestAveragesKilled>(argc, argv);
}

#include "tst_averageskilled.moc"
