// Motorola decoding throughput on a long synthetic stream: framing alone, framing plus the
// decoder in process, and the chronode-decode tool end to end (JSON output included).
//
//   bench_decode [SECONDS_OF_STREAM]     (default 20000 simulated seconds, about 5 MB)

#include "core/ReceiverState.h"
#include "receiver/motorola/MotorolaDecoder.h"
#include "receiver/motorola/MotorolaFrame.h"
#include "receiver/framing/StreamFramer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>

using MotorolaFrame::Builder;

namespace {

// One second of an 8-channel timing receiver: position, T-RAIM, visible satellites, UTC offset.
QByteArray secondOfStream(int s)
{
    QByteArray out;
    Builder ea("Ea");
    ea.wireLength(76);
    ea.put8(4, 8).put8(5, 25).put16(6, 2020).put8(8, (s / 3600) % 24).put8(9, (s / 60) % 60).put8(10, s % 60);
    ea.put32(11, 353244).put32(15, 207766190 + s % 50).put32(19, 43281325).put32(23, 8644).put16(31, 16);
    ea.put16(33, 320).put16(35, 35).put8(38, 12).put8(39, 8);
    for (int c = 0; c < 8; ++c)
        ea.put8(40 + 4 * c, 1 + c * 3).put8(41 + 4 * c, 8).put8(42 + 4 * c, 40 + c).put8(43 + 4 * c, 0xA2);
    ea.put8(72, 0x20);
    out += ea.wire();

    Builder en("En");
    en.u8(1).u8(1).u16(10).u8(3).zeros(10).u8(1).u8(0).u8(0).u8(1).u16(54).i8(int8_t(s % 40 - 20));
    for (int c = 0; c < 8; ++c)
        en.u8(1 + c * 3).i32(294056 + c);
    out += en.wireLength(69).wire();

    Builder bb("Bb");
    bb.u8(12);
    for (int i = 0; i < 12; ++i)
        bb.u8(1 + i * 2).i16(int16_t(1000 - 170 * i)).u8(5 + i * 7).u16(30 * i).u8(0);
    out += bb.wire();

    Builder bo("Bo");
    out += bo.u8(18).wireLength(8).wire();
    return out;
}

void report(const char *what, qint64 bytes, qint64 messages, qint64 ns)
{
    const double s = ns / 1e9;
    std::printf("%-34s %8.2f MB/s  %10.0f messages/s  (%lld messages, %.3f s)\n", what, bytes / 1e6 / s,
                messages / s, static_cast<long long>(messages), s);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? qMax(1, atoi(argv[1])) : 20000;
    QByteArray stream;
    for (int s = 0; s < seconds; ++s)
        stream += secondOfStream(s);
    std::printf("Motorola stream: %d seconds, %.2f MB\n", seconds, stream.size() / 1e6);
    constexpr qsizetype Chunk = 4096;

    // Framing alone.
    {
        StreamFramer framer(ReceiverMode::MotorolaBinary);
        qint64 messages = 0;
        QElapsedTimer t;
        t.start();
        for (qsizetype pos = 0; pos < stream.size(); pos += Chunk)
            framer.feed(QByteArrayView(stream).sliced(pos, qMin(Chunk, stream.size() - pos)),
                        [&](const QByteArray &) { ++messages; });
        report("framing", stream.size(), messages, t.nsecsElapsed());
    }

    // Framing and decoding, with and without the text lines.
    for (bool texts : { false, true }) {
        ReceiverState state;
        DecoderContext ctx;
        ctx.state = &state;
        ctx.options.alwaysBuildTexts = texts;
        MotorolaDecoder decoder(ctx);
        StreamFramer framer(ReceiverMode::MotorolaBinary);
        qint64 messages = 0;
        qint64 textBytes = 0;
        QElapsedTimer t;
        t.start();
        for (qsizetype pos = 0; pos < stream.size(); pos += Chunk)
            framer.feed(QByteArrayView(stream).sliced(pos, qMin(Chunk, stream.size() - pos)),
                        [&](const QByteArray &f) {
                            ++messages;
                            textBytes += decoder.decodeMotorolaFrame(f).size();
                            if (messages % 4 == 0)
                                MotorolaDecoder::countDownPrecedence(state);
                        });
        report(texts ? "framing + decoding, texts" : "framing + decoding, no texts", stream.size(), messages,
               t.nsecsElapsed());
        if (texts && textBytes == 0)
            std::printf("warning: no text produced\n");
    }

    // The tool end to end.
    const QString tool = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("chronode-decode"));
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("stream.log"));
    QFile out(file);
    if (!QFile::exists(tool) || !out.open(QIODevice::WriteOnly)) {
        std::printf("chronode-decode: not built, skipped\n");
        return 0;
    }
    out.write("# synthetic Motorola stream\n");
    out.write(stream);
    out.close();
    QProcess p;
    p.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer t;
    t.start();
    p.start(tool, { QStringLiteral("--mode"), QStringLiteral("motorola"), file });
    if (!p.waitForFinished(600000) || p.exitCode() != 0) {
        std::printf("chronode-decode: failed\n");
        return 1;
    }
    report("chronode-decode (JSON out)", stream.size(), qint64(seconds) * 4, t.nsecsElapsed());
    return 0;
}
