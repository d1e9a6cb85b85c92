// Simulated receiver throughput: simulated seconds of continuous output generated per second of
// CPU time, per receiver family, as chronode-sim generates them. A simulated day (86 400
// seconds) must take seconds, not minutes, so long tests and benchmarks can run on it.

#include "sim/SimulatedReceiver.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QStringList>
#include <cstdio>
#include <ctime>

namespace {

qint64 cpuNanoseconds()
{
    timespec ts {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

struct Figures
{
    qint64 ns = 0;
    qint64 bytes = 0;
};

// Generates `seconds` seconds of continuous output from `first` on, the way chronode-sim does.
Figures generate(const SimulatedReceiverConfig &config, qint64 first, qint64 seconds)
{
    SimulatedReceiver rx(config);
    Figures f;
    const qint64 start = cpuNanoseconds();
    f.bytes = rx.streamHeader().size();
    for (qint64 s = first; s < first + seconds; ++s)
        f.bytes += rx.secondOutput(s).size();
    f.ns = cpuNanoseconds() - start;
    return f;
}

// The truth alone (sky, clock, position): what the tests compare the decoded stream with.
qint64 truthOnly(const SimulatedReceiverConfig &config, qint64 first, qint64 seconds, qint64 &sink)
{
    SimulatedReceiver rx(config);
    const qint64 start = cpuNanoseconds();
    for (qint64 s = first; s < first + seconds; ++s)
        sink += qint64(rx.epochAt(s).satellites.size());
    return cpuNanoseconds() - start;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const qint64 first = QDateTime(QDate(2026, 3, 1), QTime(0, 0), Qt::UTC).toSecsSinceEpoch();
    const qint64 day = 86400;

    for (const QString &model : { QStringLiteral("M12+"), QStringLiteral("UT+"), QStringLiteral("VP"),
                                  QStringLiteral("PVT6") }) {
        const SimulatedReceiverConfig config = SimulatedReceiverConfig::forModel(model);
        generate(config, first, 600);   // warm-up
        const Figures f = generate(config, first, day);
        std::printf("simulator %-5s %2d ch: simulated day in %.3f s of CPU time (%.0f simulated seconds per second, "
                    "%.1f MB)\n",
                    qPrintable(model), config.channels, double(f.ns) / 1e9, double(day) * 1e9 / double(f.ns),
                    double(f.bytes) / 1e6);
    }
    qint64 sink = 0;
    const SimulatedReceiverConfig config = SimulatedReceiverConfig::forModel(QStringLiteral("M12+"));
    const qint64 ns = truthOnly(config, first, day, sink);
    std::printf("simulator sky and clock alone: %.0f simulated seconds per second (%.1f us per second)\n",
                double(day) * 1e9 / double(ns), double(ns) / 1e3 / double(day));
    std::printf("(checksum %lld)\n", sink);
    return 0;
}
