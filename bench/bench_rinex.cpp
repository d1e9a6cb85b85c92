// A day of 1 Hz RINEX for 12 satellites: 86 400 RXM-RAW frames decoded and written to an
// observation file in a temporary folder, as the station's RINEX log does, with the file
// flushed once a minute. The figure to keep: under 5 s of CPU time for the day (CPU time of
// this thread, user and system, so other work on a shared machine does not count).
//
//   bench_rinex [SECONDS]     (default 86400)

#include "core/ReceiverState.h"
#include "logging/RinexObservationWriter.h"
#include "receiver/ubx/UbxConfiguration.h"
#include "receiver/ubx/UbxDecoder.h"
#include "receiver/ubx/UbxEncoder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

double threadCpuSeconds()
{
    timespec ts {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + ts.tv_nsec / 1e9;
}

uint64_t bitsOf(double v)
{
    uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

// One second of twelve satellites moving along their passes.
QByteArray rxmRaw(int second)
{
    UbxEncoder::PayloadWriter w;
    w.u32(uint32_t(second) * 1000).u16(2400).u8(12).u8(0);
    for (int sv = 1; sv <= 12; ++sv) {
        const double doppler = 4000.0 * std::cos(sv + second / 20000.0);
        const double range = 2.3e7 - 1e6 * std::sin(sv + second / 20000.0) + 0.37 * sv;
        const uint64_t cp = bitsOf(range / 0.1903 + 1e3 * sv);
        const uint64_t pr = bitsOf(range);
        float d = float(doppler);
        uint32_t db;
        std::memcpy(&db, &d, sizeof db);
        w.u32(uint32_t(cp)).u32(uint32_t(cp >> 32)).u32(uint32_t(pr)).u32(uint32_t(pr >> 32)).u32(db);
        w.u8(uint32_t(sv)).u8(7).u8(uint32_t(30 + sv)).u8(second % 997 == sv ? 1 : 0);
    }
    return w.frame(Ubx::Rxm, 0x10);
}

struct Log : GpsLogRecorder
{
    RinexObservationWriter writer;
    void writeBinaryRecord(const QByteArray &) override {}
    void writeRawEpoch(const UbxRawEpoch &epoch) override { writer.writeEpoch(epoch); }
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? qMax(1, atoi(argv[1])) : 86400;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("VORA_2026_004R.obs"));

    ReceiverState state;
    Log log;
    DecoderContext ctx;
    ctx.state = &state;
    ctx.gpsLog = &log;
    UbxDecoder decoder(ctx);
    if (!log.writer.open(path, {}))
        return 1;

    double framing = 0.0;
    QElapsedTimer t;
    t.start();
    const double cpu0 = threadCpuSeconds();
    for (int s = 0; s < seconds; ++s) {
        const double f0 = threadCpuSeconds();
        const QByteArray frame = rxmRaw(s);
        framing += threadCpuSeconds() - f0;
        decoder.decodeUbxFrame(frame);
        if (s % 60 == 59)
            log.writer.flush();
    }
    log.writer.close();
    const double cpu = threadCpuSeconds() - cpu0 - framing;
    std::printf("RINEX, %d s at 1 Hz, 12 satellites: %.3f s CPU decode and write (target under 5 s), %.3f s wall, "
                "%lld epochs, %.1f MB\n",
                seconds, cpu, t.nsecsElapsed() / 1e9, static_cast<long long>(log.writer.epochsWritten()),
                QFileInfo(path).size() / 1e6);
    return 0;
}
