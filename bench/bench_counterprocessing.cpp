// A day of eight counters through the counter processing: CPU per reading and the time one
// second of work takes (its sawtooth, eight readings with their corrections and averages).
//   bench_counterprocessing [days]   (default 1)

#include "core/ReceiverState.h"
#include "sim/SimulatedCounter.h"
#include "tic/CounterProcessing.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>

#include <algorithm>
#include <array>
#include <memory>
#include <cstdio>
#include <cstdlib>
#include <time.h>
#include <vector>

namespace {

qint64 threadCpuNs()
{
    timespec ts {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int days = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1;
    QTemporaryDir dir;
    QCoreApplication::setOrganizationName(QStringLiteral("KTW Systems"));
    QCoreApplication::setApplicationName(QStringLiteral("Chronode-bench"));
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());

    // The counters' lines and the receiver's sawtooth, made before the clock starts.
    constexpr qint64 start = 1767225600;
    const qint64 seconds = 86400;
    std::vector<std::unique_ptr<SimulatedCounter>> counters;
    for (int n = 1; n <= 8; ++n) {
        SimulatedCounterConfig c = SimulatedCounterConfig::forPort(n);
        c.receiverModel = QStringLiteral("M12+");
        counters.push_back(std::make_unique<SimulatedCounter>(c));
    }
    std::vector<std::array<QByteArray, 8>> lines(static_cast<std::size_t>(seconds));
    std::vector<double> sawtooth(static_cast<std::size_t>(seconds));
    for (qint64 i = 0; i < seconds; ++i) {
        sawtooth[std::size_t(i)] = counters[0]->sawtoothNs(start + i);
        for (int n = 0; n < 8; ++n) {
            QByteArray l = QByteArray::number(n + 1) + ' ' + counters[std::size_t(n)]->line(start + i);
            l.chop(2);
            lines[std::size_t(i)][std::size_t(n)] = l;
        }
    }

    ReceiverState state;
    CounterProcessing p;
    p.setReceiverState(&state);
    p.setAveragingPeriod(60);
    p.setTimeLogInterval(1);
    qint64 processed = 0;
    QObject::connect(&p, &CounterProcessing::processedText, [&processed] { ++processed; });
    std::vector<qint64> perSecondNs, perSecondCpuNs;
    perSecondNs.reserve(std::size_t(seconds) * std::size_t(days));
    perSecondCpuNs.reserve(std::size_t(seconds) * std::size_t(days));
    const qint64 cpuStart = threadCpuNs();
    QElapsedTimer total;
    total.start();
    for (int d = 0; d < days; ++d) {
        for (qint64 i = 0; i < seconds; ++i) {
            QElapsedTimer t;
            t.start();
            const qint64 cpu0 = threadCpuNs();
            const qint64 second = start + d * 86400 + i;
            p.receiverSawtooth(second, sawtooth[std::size_t(i)]);
            for (const QByteArray &l : lines[std::size_t(i)])
                p.processTicLine(l, second);
            p.tick(second);
            perSecondNs.push_back(t.nsecsElapsed());
            perSecondCpuNs.push_back(threadCpuNs() - cpu0);
        }
    }
    const double totalS = double(total.nsecsElapsed()) / 1e9;
    const double cpuS = double(threadCpuNs() - cpuStart) / 1e9;
    std::sort(perSecondNs.begin(), perSecondNs.end());
    std::sort(perSecondCpuNs.begin(), perSecondCpuNs.end());
    const auto pick = [](const std::vector<qint64> &v, double q) {
        return double(v[std::size_t(q * double(v.size() - 1))]) / 1e6;
    };
    const auto at = [&](double q) { return pick(perSecondNs, q); };
    const double readings = 8.0 * double(seconds) * days;
    std::printf("%.0f readings (%lld window lines) in %.3f s wall, %.3f s CPU: %.2f us CPU per reading\n",
                readings, static_cast<long long>(processed), totalS, cpuS, cpuS / readings * 1e6);
    std::printf("one second of eight counters: median %.3f ms, 99.9th percentile %.3f ms, max %.3f ms\n", at(0.5),
                at(0.999), at(1.0));
    std::printf("the same in CPU time: median %.3f ms, 99.9th percentile %.3f ms, max %.3f ms\n",
                pick(perSecondCpuNs, 0.5), pick(perSecondCpuNs, 0.999), pick(perSecondCpuNs, 1.0));
    return 0;
}
