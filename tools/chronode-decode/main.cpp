// chronode-decode: frames and decodes a receiver byte stream with the program's own framers and
// decoders and prints one JSON object per decoded message.
//
//   chronode-decode [--mode motorola|motorola-rx|motorola-nmea|generic-nmea|ubx|ublox-nmea]
//                   [--model NAME] [FILE|-]

#include "DecodeModes.h"

#include "core/ReceiverState.h"
#include "core/MotorolaModels.h"
#include "logging/RinexObservationWriter.h"
#include "receiver/framing/StreamFramer.h"
#include "receiver/ubx/UbxConfiguration.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStringList>
#include <QLocale>
#include <algorithm>
#include <cmath>
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

// Drops the leading comment lines of a capture.
QByteArray stripCommentHeader(const QByteArray &all)
{
    qsizetype pos = 0;
    while (pos < all.size() && all.at(pos) == '#') {
        const qsizetype nl = all.indexOf('\n', pos);
        if (nl < 0)
            return {};
        pos = nl + 1;
    }
    return all.mid(pos);
}

void appendJson(QByteArray &out, const QJsonValue &v);

void appendString(QByteArray &out, const QString &s)
{
    out += '"';
    const bool plain = std::all_of(s.cbegin(), s.cend(), [](QChar c) {
        return c.unicode() >= 0x20 && c.unicode() < 0x7F && c != QLatin1Char('"') && c != QLatin1Char('\\');
    });
    if (plain) {
        out += s.toLatin1();
        out += '"';
        return;
    }
    for (QChar qc : s) {
        const char16_t c = qc.unicode();
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20 || c >= 0x7F) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", unsigned(c));
                out += buf;
            } else {
                out += char(c);
            }
        }
    }
    out += '"';
}

// Keys in the order a reader expects them; keys a mode adds beyond these follow in name order.
const QStringList &keyOrder()
{
    static const QStringList order = { "frame", "text", "utc", "lat", "lon", "altEllipsoid", "altMsl", "visible",
                                       "tracked", "sats", "id", "el", "az", "cno", "sawtoothNs", "model", "firmware" };
    return order;
}

void appendObject(QByteArray &out, const QJsonObject &o)
{
    out += '{';
    bool first = true;
    auto member = [&](const QString &key, const QJsonValue &v) {
        if (!first)
            out += ',';
        first = false;
        appendString(out, key);
        out += ':';
        appendJson(out, v);
    };
    for (const QString &key : keyOrder()) {
        const auto it = o.constFind(key);
        if (it != o.constEnd())
            member(key, it.value());
    }
    for (auto it = o.constBegin(); it != o.constEnd(); ++it) {
        if (!keyOrder().contains(it.key()))
            member(it.key(), it.value());
    }
    out += '}';
}

void appendJson(QByteArray &out, const QJsonValue &v)
{
    switch (v.type()) {
    case QJsonValue::Object: appendObject(out, v.toObject()); break;
    case QJsonValue::Array: {
        out += '[';
        bool first = true;
        for (const QJsonValue &e : v.toArray()) {
            if (!first)
                out += ',';
            first = false;
            appendJson(out, e);
        }
        out += ']';
        break;
    }
    case QJsonValue::String: appendString(out, v.toString()); break;
    case QJsonValue::Bool: out += v.toBool() ? "true" : "false"; break;
    case QJsonValue::Double: {
        const double d = v.toDouble();
        if (!std::isfinite(d))
            out += "null";
        else if (d == std::trunc(d) && std::abs(d) < 1e15)
            out += QByteArray::number(qint64(d));
        else
            out += QByteArray::number(d, 'g', QLocale::FloatingPointShortest);
        break;
    }
    default: out += "null"; break;
    }
}

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
    const QByteArray bytes = stripCommentHeader(input.readAll());

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
    QByteArray out;
    out.reserve(1 << 17);
    const auto sink = [&](const QByteArray &message) {
        if (rinex.isOpen() && Ubx::isCompleteFrame(message) && quint8(message[2]) == Ubx::Rxm && quint8(message[3]) == 0x10) {
            if (const auto epoch = UbxRawEpoch::fromPayload(QByteArrayView(message).sliced(6, message.size() - 8)))
                rinex.writeEpoch(*epoch);
        }
        const QJsonObject o = session->decode(message);
        if (o.isEmpty())
            return;
        appendObject(out, o);
        out += '\n';
        if (out.size() > (1 << 16)) {
            std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
            out.truncate(0);   // keeps the buffer
        }
    };
    // Fed in port-sized chunks, as the link sees the stream.
    constexpr qsizetype Chunk = 4096;
    for (qsizetype pos = 0; pos < bytes.size(); pos += Chunk)
        framer.feed(QByteArrayView(bytes).sliced(pos, qMin(Chunk, bytes.size() - pos)), sink);
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    std::fflush(stdout);
    if (rinex.isOpen()) {
        rinex.close();
        std::fprintf(stderr, "%s: %lld epochs\n", qPrintable(rinexName), static_cast<long long>(rinex.epochsWritten()));
    }
    return 0;
}
