// Averaging engine throughput: one pass runs for every position the receiver delivers, so a
// year of one-second fixes is 31 536 000 passes.

#include "averaging/AveragingEngine.h"

#include <QCoreApplication>
#include <QDateTime>
#include <cstdio>
#include <ctime>
#include <random>
#include <vector>

namespace {

struct Fix
{
    double lat, lon, altGps, altMsl, hdop, vdop;
};

std::vector<Fix> noisyFixes(std::size_t count)
{
    std::mt19937_64 rng(42);
    std::normal_distribution<double> n(0.0, 1.0);
    std::uniform_real_distribution<double> dop(0.7, 2.5);
    std::vector<Fix> fixes(count);
    for (Fix &f : fixes) {
        const double up = 5.0 * n(rng);
        f = { 52.5 + 3.0 * n(rng) / 111111.1, 13.4 + 2.0 * n(rng) / 67640.0, 100.0 + up, 60.0 + up, dop(rng),
              dop(rng) * 1.3 };
    }
    return fixes;
}

void prepare(AveragingEngine &e)
{
    e.setFixType(3);
    e.setTimingErrorTerms(10.0, 20.0);
    e.setTimingSatellites(9);
    e.updateLockStatus(0, QDateTime::currentDateTimeUtc());
}

qint64 cpuNanoseconds()
{
    timespec ts {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

// Runs `passes` passes through the decoders' interface; returns the CPU nanoseconds used (the
// wall time on a shared machine says more about the neighbours than about the engine).
qint64 run(AveragingEngine &e, const std::vector<Fix> &fixes, qint64 passes, bool withLocator, double &sink)
{
    const qint64 start = cpuNanoseconds();
    const std::size_t n = fixes.size();
    for (qint64 i = 0; i < passes; ++i) {
        const Fix &f = fixes[std::size_t(i) % n];
        e.setDops(-1, -1, f.hdop, f.vdop, -1);
        if (withLocator)
            sink += e.updatePosition(f.lat, f.lon, f.altGps, f.altMsl, 0).size();
        else
            static_cast<AveragingInput &>(e).updatePosition(f.lat, f.lon, f.altGps, f.altMsl);
    }
    const qint64 ns = cpuNanoseconds() - start;
    sink += e.avgLat() + e.tsigmaAvg();
    return ns;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const std::vector<Fix> fixes = noisyFixes(1 << 16);
    double sink = 0.0;

    {
        AveragingEngine e;
        prepare(e);
        run(e, fixes, 100000, false, sink);   // warm-up
        const qint64 passes = 5000000;
        const qint64 ns = run(e, fixes, passes, false, sink);
        std::printf("averaging: %.0f passes per second (%.1f ns per pass)\n", passes * 1e9 / double(ns),
                    double(ns) / double(passes));
    }
    {
        AveragingEngine e;
        prepare(e);
        const qint64 passes = 1000000;
        const qint64 ns = run(e, fixes, passes, true, sink);
        std::printf("averaging with grid locator: %.0f passes per second (%.1f ns per pass)\n",
                    passes * 1e9 / double(ns), double(ns) / double(passes));
    }
    {
        AveragingEngine e;
        prepare(e);
        const qint64 year = 365LL * 86400LL;
        const qint64 ns = run(e, fixes, year, false, sink);
        std::printf("averaging: simulated year of 1 s fixes (%lld passes) in %.3f s of CPU time\n", year, double(ns) / 1e9);
    }
    std::printf("(checksum %.3f)\n", sink);
    return 0;
}
