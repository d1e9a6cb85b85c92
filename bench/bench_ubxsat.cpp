// NAV-SAT decoding with 60 satellites (GPS, GLONASS, Galileo, BeiDou, SBAS, QZSS): time per
// frame with the raw-data window closed (no texts, the program's usual case) and open.
// The figure to keep: under 5 microseconds of CPU time per frame without texts (CPU time of
// the decoding thread, so other work on a shared machine does not count; wall time beside it).
//
//   bench_ubxsat [FRAMES]     (default 200000)

#include "core/ReceiverState.h"
#include "receiver/ubx/UbxDecoder.h"
#include "receiver/ubx/UbxEncoder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <ctime>

namespace {
double threadCpuSeconds()
{
    timespec ts {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + ts.tv_nsec / 1e9;
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int frames = argc > 1 ? qMax(1, atoi(argv[1])) : 200000;
    static const int systems[][2] = { { 0, 1 }, { 6, 1 }, { 2, 1 }, { 3, 1 }, { 1, 120 }, { 5, 1 } };
    UbxEncoder::PayloadWriter w;
    w.u32(416032000).u8(1).u8(60).u16(0);
    for (int i = 0; i < 60; ++i) {
        const int *sys = systems[i % 6];
        w.u8(uint32_t(sys[0])).u8(uint32_t(sys[1] + i / 6)).u8(uint32_t(20 + i % 30)).u8(uint32_t(5 + i))
            .u16(uint32_t(i * 6)).u16(0).u32(0x191F);
    }
    const QByteArray frame = w.frame(0x01, 0x35);

    for (bool texts : { false, true }) {
        ReceiverState state;
        DecoderContext ctx;
        ctx.state = &state;
        ctx.options.alwaysBuildTexts = texts;
        UbxDecoder decoder(ctx);
        const int n = texts ? qMax(1, frames / 20) : frames;
        qsizetype chars = 0;
        QElapsedTimer t;
        t.start();
        const double cpu0 = threadCpuSeconds();
        for (int i = 0; i < n; ++i)
            chars += decoder.decodeUbxFrame(frame).size();
        const double cpuUs = (threadCpuSeconds() - cpu0) * 1e6 / n;
        const double wallUs = t.nsecsElapsed() / 1e3 / n;
        std::printf("NAV-SAT, 60 satellites, %-9s %8.3f us/frame CPU, %8.3f wall  (%d frames, %d visible, %lld chars)\n",
                    texts ? "texts:" : "no texts:", cpuUs, wallUs, n, state.visibleCount.value, static_cast<long long>(chars));
    }
    return 0;
}
