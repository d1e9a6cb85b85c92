// chronode-decode: frames and decodes a receiver byte stream with the program's own framers and
// decoders and prints one JSON object per decoded message.
//
//   chronode-decode [--mode motorola|motorola-rx|motorola-nmea|generic-nmea|ubx|ublox-nmea]
//                   [--model NAME] [FILE|-]

#include "DecodeModes.h"
#include "JsonLineWriter.h"

#include "core/ReceiverState.h"
#include "core/MotorolaModels.h"
#include "logging/RinexObservationWriter.h"
#include "receiver/framing/StreamFramer.h"
#include "receiver/ubx/UbxConfiguration.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <cstdio>

namespace {

constexpr int UsageError = 2;

int fail(const QString &message)
{
    std::fprintf(stderr, "chronode-decode: %s\n", qPrintable(message));
    return UsageError;
}

void printUsage(FILE *to)
{
    QStringList names;
    for (const DecodeMode &m : decodeModes())
        names << m.name;
    std::fprintf(to,
                 "usage: chronode-decode [--mode %s] [--model NAME] [--rinex OBSFILE] [FILE|-]\n"
                 "Frames and decodes a receiver byte stream (leading '#' lines are skipped) and\n"
                 "prints one JSON object per decoded message. --rinex also writes the u-blox raw\n"
                 "measurements (RXM-RAW) as a RINEX 2.11 observation file (replaced if present).\n",
                 qPrintable(names.join(QLatin1Char('|'))));
}

// Drops the leading '#' comment lines of a capture as the blocks of the stream go by.
class CommentHeaderSkipper
{
public:
    QByteArrayView pass(QByteArrayView block)
    {
        qsizetype pos = 0;
        while (!m_done && pos < block.size()) {
            if (m_inComment) {
                const qsizetype nl = block.indexOf('\n', pos);
                if (nl < 0)
                    return {};
                pos = nl + 1;
                m_inComment = false;
            } else if (block.at(pos) == '#') {
                m_inComment = true;
            } else {
                m_done = true;
            }
        }
        return block.sliced(pos);
    }

private:
    bool m_inComment = false;
    bool m_done = false;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QString modeName = QStringLiteral("motorola");
    QString modelName;
    QString rinexName;
    QString file;
    bool haveFile = false;

    const QStringList args = app.arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args.at(i);
        auto value = [&](const QString &option, QString &into) -> bool {
            if (a == option) {
                if (i + 1 >= args.size())
                    return false;
                into = args.at(++i);
                return true;
            }
            into = a.mid(option.size() + 1);
            return true;
        };
        if (a == QLatin1String("-h") || a == QLatin1String("--help")) {
            printUsage(stdout);
            return 0;
        } else if (a == QLatin1String("--mode") || a.startsWith(QLatin1String("--mode="))) {
            if (!value(QStringLiteral("--mode"), modeName))
                return fail(QStringLiteral("option --mode needs a value"));
        } else if (a == QLatin1String("--model") || a.startsWith(QLatin1String("--model="))) {
            if (!value(QStringLiteral("--model"), modelName))
                return fail(QStringLiteral("option --model needs a value"));
        } else if (a == QLatin1String("--rinex") || a.startsWith(QLatin1String("--rinex="))) {
            if (!value(QStringLiteral("--rinex"), rinexName) || rinexName.isEmpty())
                return fail(QStringLiteral("option --rinex needs a value"));
        } else if (a.startsWith(QLatin1Char('-')) && a != QLatin1String("-")) {
            printUsage(stderr);
            return fail(QStringLiteral("unknown option '%1'").arg(a));
        } else if (haveFile) {
            return fail(QStringLiteral("more than one input file given"));
        } else {
            file = a;
            haveFile = true;
        }
    }

    const DecodeMode *mode = findDecodeMode(modeName);
    if (!mode)
        return fail(QStringLiteral("unknown mode '%1'").arg(modeName));
    if (!mode->makeSession)
        return fail(QStringLiteral("mode '%1' has no decoder in this build").arg(modeName));

    ReceiverState state;
    state.receiverMode = mode->receiverMode;
    if (!modelName.isEmpty()) {
        const int code = MotorolaModels::codeOfName(modelName);
        if (code < 0)
            return fail(QStringLiteral("unknown receiver model '%1'").arg(modelName));
        state.receiverModel = code;
    }

    QFile input;
    bool opened;
    if (!haveFile || file == QLatin1String("-"))
        opened = input.open(stdin, QIODevice::ReadOnly);
    else {
        input.setFileName(file);
        opened = input.open(QIODevice::ReadOnly);
    }
    if (!opened)
        return fail(QStringLiteral("cannot read '%1': %2").arg(haveFile ? file : QStringLiteral("-"), input.errorString()));

    RinexObservationWriter rinex;
    if (!rinexName.isEmpty()) {
        RinexHeaderInfo info;
        info.program = QStringLiteral("chronode-decode");
        info.markerName = QFileInfo(rinexName).completeBaseName();
        info.comments << QStringLiteral("from ") + (haveFile ? QFileInfo(file).fileName() : QStringLiteral("standard input"));
        QFile::remove(rinexName);
        if (!rinex.open(rinexName, info))
            return fail(QStringLiteral("cannot write '%1': %2").arg(rinexName, rinex.errorString()));
    }

    std::unique_ptr<DecodeSession> session = mode->makeSession(state);
    StreamFramer framer(mode->receiverMode);
    JsonLineWriter out(stdout);
    const auto sink = [&](const QByteArray &message) {
        if (rinex.isOpen() && Ubx::isCompleteFrame(message) && quint8(message[2]) == Ubx::Rxm && quint8(message[3]) == 0x10) {
            if (const auto epoch = UbxRawEpoch::fromPayload(QByteArrayView(message).sliced(6, message.size() - 8)))
                rinex.writeEpoch(*epoch);
        }
        session->decode(message, out);
    };
    // Read in large blocks and fed in port-sized chunks, as the link sees the stream.
    constexpr qsizetype Block = 1 << 16;
    constexpr qsizetype Chunk = 4096;
    QByteArray block(Block, Qt::Uninitialized);
    CommentHeaderSkipper header;
    for (;;) {
        const qint64 n = input.read(block.data(), Block);
        if (n <= 0)
            break;
        const QByteArrayView bytes = header.pass(QByteArrayView(block.constData(), n));
        for (qsizetype pos = 0; pos < bytes.size(); pos += Chunk)
            framer.feed(bytes.sliced(pos, qMin(Chunk, bytes.size() - pos)), sink);
    }
    const bool written = out.flush() && std::fflush(stdout) == 0;
    if (rinex.isOpen()) {
        rinex.close();
        std::fprintf(stderr, "%s: %lld epochs\n", qPrintable(rinexName), static_cast<long long>(rinex.epochsWritten()));
    }
    return written ? 0 : 1;
}
