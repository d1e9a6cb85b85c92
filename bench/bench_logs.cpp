// The logs' costs: the minute flush of the 18 files (eight ports' time and average files, the
// configuration log, the GPS log), the midnight reopen of both families, a day of 1 Hz RINEX
// observations for 12 satellites, and what the logs add to a station with eight counters.
//   bench_logs [hours]   (station run length, default 1)

#include "app/Station.h"
#include "core/ReceiverState.h"
#include "logging/LogRecorder.h"
#include "receiver/framing/MotorolaFramer.h"
#include "sim/SimulatedCounter.h"
#include "sim/SimulatedReceiver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <time.h>
#include <vector>

namespace {

qint64 threadCpuNs()
{
    timespec ts {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

struct NoCommands : ReceiverCommandSink
{
    void sendGpsRxCommand(const QByteArray &) override {}
};

constexpr qint64 kStart = 1798675200;   // 2027-01-01 00:00:00 UTC

void configure(const QString &dir, int gpsType)
{
    QSettings s;
    s.setValue(QStringLiteral("LogFiles/GpsLogFileDirectory"), dir);
    s.setValue(QStringLiteral("LogFiles/TicLogFileDirectory"), dir);
    s.setValue(QStringLiteral("LogFiles/GpsLogDataType"), gpsType);
    s.setValue(QStringLiteral("LogFiles/GPSLogEvery"), 0);
    s.setValue(QStringLiteral("LogFiles/TicTimeLogEvery"), 0);
    s.setValue(QStringLiteral("LogFiles/AveragingLogPeriod"), QStringLiteral("60"));
}

// The flush of a minute's records and the reopen at a day change.
void flushAndReopen(const QString &dir)
{
    configure(dir, 0);
    ReceiverState state;
    qint64 ms = kStart * 1000;
    LogRecorder logs(&state, [&] { return ms; });
    QSettings settings;
    logs.reload(settings);
    logs.counters().setTimeTag([](qint64 s) { return QString::number(s); });
    state.receiverUtcDateTime.setDateTime(QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC));
    logs.counters().open(0);
    logs.gps().open(0);
    std::vector<double> flushMs, reopenMs, reopenCpuMs;
    const QString record = QStringLiteral("60000.00001 0.000000123456 1.234 3 0.000 -0.123456 0.000 18 0.00");
    for (int day = 0; day < 20; ++day) {
        for (int minute = 0; minute < 10; ++minute) {
            for (int s = 0; s < 60; ++s) {
                for (int port = 1; port <= 8; ++port)
                    logs.counters().writeTimeRecord(port, record);
                logs.gps().writeRawText(QStringLiteral("-> @@Ha, 01/01/2027, 00:00:00.000000000, raw text of a second"));
            }
            QElapsedTimer t;
            t.start();
            logs.counters().flushAll();
            logs.gps().flush();
            flushMs.push_back(double(t.nsecsElapsed()) / 1e6);
        }
        ms += 86400000;
        state.receiverUtcDateTime.setDateTime(QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC));
        QElapsedTimer t;
        t.start();
        const qint64 cpu = threadCpuNs();
        logs.counters().closeQuiet();
        logs.counters().reopenForToday();
        logs.gps().closeQuiet();
        logs.gps().openNew();
        reopenMs.push_back(double(t.nsecsElapsed()) / 1e6);
        reopenCpuMs.push_back(double(threadCpuNs() - cpu) / 1e6);
    }
    logs.shutdown();
    std::printf("minute flush of 18 files: median %.3f ms, worst %.3f ms (target under 5 ms)\n", median(flushMs),
                *std::max_element(flushMs.begin(), flushMs.end()));
    std::printf("midnight reopen of both families: median %.3f ms (%.3f ms CPU), worst %.3f ms (target under 20 ms)\n",
                median(reopenMs), median(reopenCpuMs), *std::max_element(reopenMs.begin(), reopenMs.end()));
}

// A day of 1 Hz RINEX epochs of 12 satellites through the GPS log.
void rinexDay(const QString &dir)
{
    configure(dir, 4);
    ReceiverState state;
    state.receiverMode = 9;
    qint64 ms = kStart * 1000;
    GpsDataLog log(&state, [&] { return ms; });
    QSettings settings;
    log.reload(settings);
    state.receiverUtcDateTime.setDateTime(QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC));
    log.open(2);
    state.gpsLogWriteNow = true;
    UbxRawEpoch epoch;
    epoch.week = 2399;
    for (int i = 0; i < 12; ++i) {
        UbxRawMeasurement m;
        m.sv = uint8_t(i * 2 + 1);
        m.pseudorange = 20000000.0 + 100000.0 * i;
        m.carrierPhase = 105000000.0 + 500000.0 * i;
        m.doppler = float(-2000 + 300 * i);
        m.cno = int8_t(35 + i);
        m.quality = 7;
        epoch.measurements.push_back(m);
    }
    const qint64 cpu = threadCpuNs();
    for (int s = 0; s < 86400; ++s) {
        epoch.towMs = 432000000 + s * 1000;
        for (UbxRawMeasurement &m : epoch.measurements) {
            m.pseudorange += 1.5;
            m.carrierPhase += 7.9;
        }
        log.writeRawEpoch(epoch);
        if (s % 60 == 0)
            log.flush();
    }
    log.close();
    std::printf("a day of 1 Hz RINEX, 12 satellites: %.2f s CPU (target under 5 s)\n",
                double(threadCpuNs() - cpu) / 1e9);
}

// CPU of a station with eight counters and a 12-channel receiver, with and without logs.
double stationCpuPerSecond(const QString &dir, int seconds, bool logging)
{
    configure(dir, 1);
    qint64 ms = kStart * 1000;
    NoCommands none;
    Station station;
    station.setClock([&] { return ms; });
    station.setCommandSink(&none);
    QSettings settings;
    station.readCounterSettings(settings);
    station.logs().reload(settings);
    station.state().receiverMode = 2;
    station.state().channelCount = 12;
    SimulatedReceiver receiver;
    receiver.setContinuousRate("Ha", 1);
    receiver.setContinuousRate("Hn", 1);
    std::vector<std::unique_ptr<SimulatedCounter>> counters;
    for (int n = 1; n <= 8; ++n)
        counters.push_back(std::make_unique<SimulatedCounter>(SimulatedCounterConfig::forPort(n)));
    // Inputs made before the clock starts.
    std::vector<QByteArray> rx(static_cast<std::size_t>(seconds));
    std::vector<std::array<QByteArray, 8>> lines(static_cast<std::size_t>(seconds));
    for (int i = 0; i < seconds; ++i) {
        rx[std::size_t(i)] = receiver.secondOutput(kStart + i);
        for (int n = 0; n < 8; ++n)
            lines[std::size_t(i)][std::size_t(n)] =
                QByteArray::number(n + 1) + ' ' + counters[std::size_t(n)]->line(kStart + i).trimmed();
    }
    MotorolaFramer framer;
    auto second = [&](int i) {
        ms = (kStart + i) * 1000 + 20;
        station.OnClockTick();
        bool pps = false;
        framer.feed(rx[std::size_t(i)], pps, [&](const QByteArray &m) { station.OnNewGpsText(m); });
        for (const QByteArray &l : lines[std::size_t(i)])
            station.OnNewTicText(l);
    };
    second(0);
    second(1);
    if (logging) {
        station.logs().counters().open(2);
        station.logs().gps().open(2);
    }
    const qint64 cpu = threadCpuNs();
    for (int i = 2; i < seconds; ++i)
        second(i);
    const double perSecond = double(threadCpuNs() - cpu) / 1e9 / double(seconds - 2);
    station.logs().shutdown();
    return perSecond;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int hours = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1;
    QTemporaryDir dir;
    QCoreApplication::setOrganizationName(QStringLiteral("KTW Systems"));
    QCoreApplication::setApplicationName(QStringLiteral("Chronode-bench"));
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());

    flushAndReopen(dir.path() + QStringLiteral("/flush"));
    rinexDay(dir.path() + QStringLiteral("/rinex"));
    const int seconds = hours * 3600;
    const double without = stationCpuPerSecond(dir.path() + QStringLiteral("/plain"), seconds, false);
    const double with = stationCpuPerSecond(dir.path() + QStringLiteral("/logged"), seconds, true);
    std::printf("station with eight counters: %.1f us CPU per second without logs, %.1f us with (Binary GPS log, "
                "1 s time logs)\n",
                without * 1e6, with * 1e6);
    std::printf("logging adds %.4f %% of a core (target under 0.2 %%)\n", (with - without) * 100.0);
    return 0;
}
