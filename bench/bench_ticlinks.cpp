// Eight counter links at work: the CPU they cost per second of readings and the longest
// single event delivery (a link slot, a timer, a socket notification) while they run.
//   bench_ticlinks [seconds]   (wall seconds per case, default 3)
//
// Case 1: eight simulated serial counters on a clock running 50 times fast (50 readings a
// second each). Case 2: eight SCPI counters over loopback TCP answering "READ?" every 20 ms
// (the simulated counters' own work is included). Both report the cost scaled to one reading
// a second per link, as a share of one core. The simulated counters do not fold in the
// receiver's sawtooth here, so the figures are the links' own work (and, for TCP, the
// in-process SCPI servers').

#include "sim/SimulatedCounter.h"
#include "tic/CounterLinks.h"
#include "tic/TicSerialPortThread.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sys/resource.h>
#include <time.h>

namespace {

double cpuSeconds()
{
    rusage u {};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

qint64 threadCpuNs()
{
    timespec ts {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// Times every event delivery: no call on the links' thread may block for long.
class TimedApplication : public QCoreApplication
{
public:
    using QCoreApplication::QCoreApplication;
    bool notify(QObject *receiver, QEvent *event) override
    {
        QElapsedTimer t;
        t.start();
        const qint64 cpu0 = threadCpuNs();
        const bool r = QCoreApplication::notify(receiver, event);
        const qint64 ns = t.nsecsElapsed();
        longestCpuNs = std::max(longestCpuNs, threadCpuNs() - cpu0);
        if (warm.isValid() && warm.elapsed() > 1000)
            steadyLongestNs = std::max(steadyLongestNs, ns);
        if (ns > longestNs) {
            longestNs = ns;
            longestWhat = QString::fromLatin1(receiver->metaObject()->className()) + QLatin1Char('/')
                + QString::number(int(event->type()));
        }
        ++deliveries;
        return r;
    }
    qint64 longestNs = 0;
    qint64 longestCpuNs = 0;   // the same deliveries in CPU time of this thread
    qint64 deliveries = 0;
    QString longestWhat;
    qint64 steadyLongestNs = 0;   // after the first second (connection and set-up done)
    QElapsedTimer warm;
};

struct Result
{
    qint64 lines = 0;
    double cpu = 0;
    qint64 longestPassNs = 0;
    qint64 passes = 0;
    QString longestWhat;
    qint64 steadyLongestNs = 0;
    qint64 longestCpuNs = 0;
};

Result run(TimedApplication &app, CounterLinks &links, int seconds)
{
    Result r;
    QObject::connect(&links, &CounterLinks::newTicText, &links, [&r] { ++r.lines; });
    app.longestNs = 0;
    app.deliveries = 0;
    app.steadyLongestNs = 0;
    app.longestCpuNs = 0;
    app.warm.start();
    const double cpu0 = cpuSeconds();
    links.startAll();
    QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
    QCoreApplication::exec();
    links.stopAll();
    r.cpu = cpuSeconds() - cpu0;
    r.longestPassNs = app.longestNs;
    r.passes = app.deliveries;
    r.longestWhat = app.longestWhat;
    r.steadyLongestNs = app.steadyLongestNs;
    r.longestCpuNs = app.longestCpuNs;
    return r;
}

void report(const char *name, const Result &r)
{
    const double perReadingUs = r.lines ? r.cpu / double(r.lines) * 1e6 : 0.0;
    // Eight links at one reading a second: 8 readings per second of CPU time.
    const double share = perReadingUs * 8 / 1e6 * 100.0;
    std::printf("%-28s %7lld lines  %8.1f us CPU/reading  8 links at 1/s: %.4f %% of a core  "
                "longest event delivery %.3f ms (of %lld, %s), after the first second %.3f ms; longest in CPU time %.3f ms\n",
                name, static_cast<long long>(r.lines), perReadingUs, share, double(r.longestPassNs) / 1e6,
                static_cast<long long>(r.passes), qPrintable(r.longestWhat), double(r.steadyLongestNs) / 1e6,
                double(r.longestCpuNs) / 1e6);
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_LOGGING_RULES", "*.debug=false");
    TimedApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    QTemporaryDir dir;
    QCoreApplication::setOrganizationName(QStringLiteral("KTW Systems"));
    QCoreApplication::setApplicationName(QStringLiteral("Chronode-bench"));
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());

    {
        QSettings s;
        for (int n = 1; n <= 8; ++n)
            s.setValue(TicPortSettings::keyPort(n), TicPortSettings::simulatorPortName());
        s.setValue(QStringLiteral("GpsPortDialog/Simulator Model"), QStringLiteral("M12+"));
    }
    CounterLinks serial;
    const SimulationClock fast = SimulationClock::startingAt(QDateTime::currentDateTimeUtc(), 50.0);
    for (int n = 1; n <= 8; ++n)
        serial.link(n).transportFactory().registerTransport(TicPortSettings::simulatorPortName(), [n, fast] {
            SimulatedCounterConfig c = SimulatedCounterConfig::forPort(n);
            c.foldSawtooth = false;
            return std::make_unique<SimulatedCounterTransport>(c, fast);
        });
    report("serial, simulated 50x", run(app, serial, seconds));

    std::vector<std::unique_ptr<SimulatedScpiCounter>> servers;
    {
        QSettings s;
        for (int n = 1; n <= 8; ++n) {
            SimulatedScpiCounter::Config c;
            c.readingIntervalMs = 20;
            c.counter = SimulatedCounterConfig::forPort(n);
            c.counter.foldSawtooth = false;
            servers.push_back(std::make_unique<SimulatedScpiCounter>(c));
            if (!servers.back()->listen()) {
                std::fprintf(stderr, "bench_ticlinks: cannot listen on 127.0.0.1\n");
                return 1;
            }
            s.setValue(TicPortSettings::keyPort(n), TicPortSettings::tcpIpPortName());
            s.setValue(TicPortSettings::keyTcpIpAddress(n), QStringLiteral("127.0.0.1:%1").arg(servers.back()->port()));
        }
    }
    CounterLinks tcp;
    report("SCPI over TCP, 50/s", run(app, tcp, seconds));
    return 0;
}
