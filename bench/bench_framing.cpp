// Frames large synthetic receiver streams and prints the throughput of each framer.
//   bench_framing [megabytes]   (default 128)

#include "receiver/framing/Checksums.h"
#include "receiver/framing/MotorolaFramer.h"
#include "receiver/framing/NmeaUbxFramer.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QRandomGenerator>

#include <cstdio>
#include <cstdlib>

namespace {

QByteArray motorola(const char *id, QRandomGenerator &rng, int count = -1)
{
    QByteArray f = QByteArray("@@") + id;
    int len = MotorolaFramer::messageLength(id[0], id[1]);
    if (count >= 0)
        len = std::max(len, 8 + 7 * count);
    for (int i = 4; i < len - 3; ++i)
        f.append(static_cast<char>(rng.bounded(256)));
    if (count >= 0)
        f[4] = static_cast<char>(count);
    f.append(static_cast<char>(Checksums::motorolaXor(f)));
    f.append("\r\n");
    return f;
}

QByteArray nmea(const QByteArray &body)
{
    return "$" + body + "*" + Checksums::hexByte(Checksums::nmeaXor(body)) + "\r\n";
}

QByteArray ubx(uint8_t cls, uint8_t id, int length, QRandomGenerator &rng)
{
    QByteArray f("\xB5\x62", 2);
    f.append(static_cast<char>(cls));
    f.append(static_cast<char>(id));
    f.append(static_cast<char>(length & 0xFF));
    f.append(static_cast<char>(length >> 8));
    for (int i = 0; i < length; ++i)
        f.append(static_cast<char>(rng.bounded(256)));
    const Checksums::UbxChecksum ck = Checksums::ubxFletcher(QByteArrayView(f).sliced(2));
    f.append(static_cast<char>(ck.ckA));
    f.append(static_cast<char>(ck.ckB));
    return f;
}

// One second of 12-channel Motorola output, repeated to about 1 MB.
QByteArray motorolaPattern()
{
    QRandomGenerator rng(1);
    QByteArray one;
    one += motorola("Ha", rng);
    one += motorola("Hn", rng);
    one += motorola("Bb", rng, 12);
    one += motorola("Bb", rng, 20);
    one += motorola("En", rng);
    one += motorola("Bo", rng);
    one += motorola("Ea", rng);
    QByteArray all;
    while (all.size() < (1 << 20))
        all += one;
    return all;
}

// u-blox output: UBX navigation frames mixed with NMEA sentences.
QByteArray ubloxPattern()
{
    QRandomGenerator rng(2);
    QByteArray one;
    one += ubx(0x01, 0x06, 52, rng);    // NAV-SOL
    one += ubx(0x01, 0x30, 8 + 12 * 16, rng);   // NAV-SVINFO
    one += nmea("GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W");
    one += ubx(0x0D, 0x01, 16, rng);    // TIM-TP
    one += nmea("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,");
    one += nmea("GPGSV,3,1,12,01,40,083,46,02,17,308,41,12,07,344,39,14,22,228,45");
    QByteArray all;
    while (all.size() < (1 << 20))
        all += one;
    return all;
}

struct Result
{
    double seconds;
    qint64 bytes;
    qint64 frames;
};

template <typename Feed>
Result run(const QByteArray &pattern, qint64 totalBytes, Feed feed)
{
    // Reads of varying size cut frames at every kind of place.
    static const int reads[] = { 4096, 1000, 65536, 17, 8192, 333 };
    qint64 done = 0;
    qint64 frames = 0;
    const FrameSink sink = [&frames](const QByteArray &f) { frames += f.size() > 0; };
    QElapsedTimer timer;
    timer.start();
    int r = 0;
    qsizetype pos = 0;
    while (done < totalBytes) {
        const qsizetype n = std::min<qsizetype>(reads[r++ % 6], pattern.size() - pos);
        feed(QByteArrayView(pattern).sliced(pos, n), sink);
        pos += n;
        if (pos == pattern.size())
            pos = 0;
        done += n;
    }
    return { timer.nsecsElapsed() / 1e9, done, frames };
}

void print(const char *name, const Result &r)
{
    std::printf("bench_framing %-22s %8.1f MB/s  (%lld MB, %lld frames, %.3f s)\n", name,
                r.bytes / 1e6 / r.seconds, static_cast<long long>(r.bytes / 1000000), static_cast<long long>(r.frames),
                r.seconds);
}

} // namespace

int main(int argc, char **argv)
{
    const qint64 megabytes = argc > 1 ? std::max(1L, std::atol(argv[1])) : 128;
    const qint64 total = megabytes * 1000 * 1000;

    const QByteArray moto = motorolaPattern();
    MotorolaFramer motorolaFramer;
    bool pps = false;
    print("motorola", run(moto, total, [&](QByteArrayView b, const FrameSink &s) { motorolaFramer.feed(b, pps, s); }));

    const QByteArray ublox = ubloxPattern();
    NmeaUbxFramer ubxFramer;
    print("ubx+nmea", run(ublox, total, [&](QByteArrayView b, const FrameSink &s) { ubxFramer.feed(b, false, pps, s); }));

    NmeaUbxFramer nmeaFramer;
    print("nmea-only", run(ublox, total, [&](QByteArrayView b, const FrameSink &s) { nmeaFramer.feed(b, true, pps, s); }));
    return 0;
}
