// The PC clock: what one clock step costs (it runs at every 1PPS edge and after every time
// message; target under 50 µs), and how much the chrony feed's samples scatter when the
// station runs on the simulated receiver, whose 1PPS the link polls every 10 ms. The samples
// go through the real feed to a datagram socket this program reads in chronyd's place.

#include "app/Station.h"
#include "app/StationPcClock.h"
#include "averaging/AveragingEngine.h"
#include "clock/ChronySockFeed.h"
#include "clock/PcClockSync.h"
#include "core/ReceiverState.h"
#include "receiver/link/GpsSerialPortThread.h"
#include "receiver/link/ReceiverCommandChannel.h"
#include "receiver/setup/ReceiverDetection.h"
#include "sim/SimulatedReceiverTransport.h"
#include "transport/GpsPortSettings.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

qint64 cpuNanoseconds()
{
    timespec ts {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

struct NmeaLog : PcClockLogLines
{
    qint64 lines = 0;
    bool writeNow(const ReceiverState &) override { return true; }
    bool nmeaLogOpen() const override { return true; }
    void writeNmeaLine(const QString &line) override { lines += line.size() > 0; }
};

// Steps of a setter scheduled every second, writing both log lines each second.
void stepCost(const QString &settingsDir)
{
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir);
    {
        QSettings s;
        PcClockSettings p;
        p.mode = PcClockSettings::EverySecond;
        p.save(s);
    }
    AveragingEngine engine;
    engine.updatePosition(52.5, 13.4, 100, 60);
    NmeaLog log;
    PcClockSync sync;
    FakePcClock *clock = nullptr;
    sync.setBackendFactory([&](const PcClockSettings &, QString *) {
        auto f = std::make_unique<FakePcClock>();
        clock = f.get();
        return f;
    });
    sync.setLog(&log);
    sync.setAveraging(&engine);
    sync.startUp();
    ReceiverState state;
    state.outOfLock = false;
    QDateTime t = QDateTime::currentDateTimeUtc();
    t = t.addMSecs(-t.time().msec());
    constexpr int steps = 100000;
    const qint64 start = cpuNanoseconds();
    for (int i = 0; i < steps; ++i) {
        state.storeReceiverTime(t, 0);
        clock->setTrueUs(t.toMSecsSinceEpoch() * 1000);
        sync.clockStep(state, true);
        sync.clockStep(state, false);
        t = t.addSecs(1);
    }
    const double perStepUs = double(cpuNanoseconds() - start) / 1000.0 / (2.0 * steps);
    std::printf("clock step (setter, every second, both log lines): %.2f us per step (target < 50 us), %lld lines\n",
                perStepUs, static_cast<long long>(log.lines));
}

// Feed samples of the station on the simulated receiver for `seconds` seconds.
void feedJitter(const QString &dir, int seconds)
{
    const QByteArray path = QFile::encodeName(dir + QStringLiteral("/chrony.sock"));
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK, 0);
    sockaddr_un addr {};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.constData(), size_t(path.size()));
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
        std::printf("chrony feed: no socket to listen on\n");
        return;
    }
    bool ok = false;
    const SimulatedReceiverConfig config = SimulatedReceiverConfig::forModel(QStringLiteral("M12+"), &ok);
    {
        QSettings s;
        s.setValue(GpsPortSettings::keyPort(), GpsPortSettings::simulatorPortName());
        s.setValue(GpsPortSettings::keyMode(), QStringLiteral("Motorola Binary"));
        PcClockSettings p;
        p.mode = PcClockSettings::EverySecond;
        p.overrideIntegrity = true;
        p.chronySocket = QFile::decodeName(path);
        p.save(s);
    }
    Station station;
    station.link().transportFactory().registerTransport(GpsPortSettings::simulatorPortName(), [&config] {
        return std::make_unique<SimulatedReceiverTransport>(config, SimulationClock::startingAt(QDateTime::currentDateTimeUtc()));
    });
    station.commandChannel().setPauseMs(0);
    StationPcClock clock(station);
    clock.startUp();
    {
        QSettings s;
        station.readPortSettings(s);
    }
    station.startGpsSerialPort(false);
    if (!station.detection().initialiseReceiver()) {
        std::printf("chrony feed: the simulated receiver did not answer\n");
        return;
    }
    QList<double> offsets;
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < seconds * 1000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
        char buf[64];
        while (::recv(fd, buf, sizeof buf, 0) == ChronySockFeed::SampleSize) {
            double offset = 0;
            std::memcpy(&offset, buf + 16, sizeof offset);
            offsets << offset;
        }
    }
    ::close(fd);
    if (offsets.size() < 3) {
        std::printf("chrony feed: only %lld samples\n", static_cast<long long>(offsets.size()));
        return;
    }
    // The whole-second part belongs to the simulated receiver's start, the rest to the poll.
    double sum = 0, sumSquares = 0;
    for (double o : offsets) {
        const double frac = o - std::round(o);
        sum += frac;
        sumSquares += frac * frac;
    }
    const double n = offsets.size();
    const double mean = sum / n;
    std::printf("chrony feed: %lld samples, whole seconds %+.0f, offset mean %.3f ms, std dev %.3f ms (1PPS polled every 10 ms)\n",
                static_cast<long long>(offsets.size()), std::round(offsets.last()), mean * 1e3, std::sqrt(std::max(0.0, sumSquares / n - mean * mean)) * 1e3);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_LOGGING_RULES", "*.debug=false");
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("KTW Systems"));
    QCoreApplication::setApplicationName(QStringLiteral("Chronode"));
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QTemporaryDir dir;
    stepCost(dir.path());
    feedJitter(dir.path(), argc > 1 ? QByteArray(argv[1]).toInt() : 30);
    return 0;
}
