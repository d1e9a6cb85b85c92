// chronode-sim: writes the byte stream a simulated Motorola receiver sends in continuous mode.
//
//   chronode-sim --model NAME --seconds N [--start ISO-TIME] [--seed S] [--out FILE]
//
// The stream starts with the receiver's identification ("@@Cj") and UTC offset ("@@Bo"), as a
// receiver that was just asked for them, followed by one second of continuous output per
// simulated second: the position message of its channel family, its T-RAIM status (when the
// model has T-RAIM) and the visible-satellite list. A u-blox model ("LEA-6T") writes its factory
// NMEA output, or with --ubx the UBX timing messages the program's set-up switches on.
//
//   chronode-sim --counter [--port N] [--format scpi|ticc|ticc-ti|ns] --seconds N ...
//
// writes instead the lines a time interval counter prints while measuring that receiver's
// 1PPS (one reading a second, the receiver's sawtooth folded in).

#include "sim/SimulatedCounter.h"
#include "sim/SimulatedReceiver.h"
#include "sim/SimulatedUblox.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QTimeZone>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("chronode-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(CHRONODE_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Writes the continuous-mode byte stream of a simulated Motorola timing receiver."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption modelOpt(QStringLiteral("model"),
        QStringLiteral("Receiver model: %1.").arg(SimulatedReceiverConfig::modelNames().join(QStringLiteral(", "))),
        QStringLiteral("NAME"), SimulatedReceiverConfig::defaultModelName());
    const QCommandLineOption secondsOpt(QStringLiteral("seconds"), QStringLiteral("Seconds to simulate."),
                                        QStringLiteral("N"), QStringLiteral("60"));
    const QCommandLineOption startOpt(QStringLiteral("start"),
        QStringLiteral("UTC time of the first second, ISO 8601 (default: now)."), QStringLiteral("ISO-TIME"));
    const QCommandLineOption seedOpt(QStringLiteral("seed"), QStringLiteral("Seed of the simulated sky."),
                                     QStringLiteral("S"), QStringLiteral("1"));
    const QCommandLineOption outOpt(QStringLiteral("out"), QStringLiteral("Output file (default: standard output)."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption ubxOpt(QStringLiteral("ubx"),
        QStringLiteral("u-blox models: the UBX timing output the program's set-up leaves on, instead of the factory NMEA."));
    const QCommandLineOption counterOpt(QStringLiteral("counter"),
        QStringLiteral("Write a time interval counter's readings of the receiver's 1PPS instead."));
    const QCommandLineOption portOpt(QStringLiteral("port"),
        QStringLiteral("Counter port 1-8 (its offset and default format)."), QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption formatOpt(QStringLiteral("format"),
        QStringLiteral("Counter line format: scpi, ticc, ticc-ti or ns (default: the port's)."), QStringLiteral("F"));
    parser.addOptions({ modelOpt, secondsOpt, startOpt, seedOpt, outOpt, ubxOpt, counterOpt, portOpt, formatOpt });
    parser.process(app);

    bool known = false;
    SimulatedReceiverConfig config = SimulatedReceiverConfig::forModel(parser.value(modelOpt), &known);
    if (!known) {
        std::fprintf(stderr, "chronode-sim: unknown model \"%s\" (known: %s)\n", qPrintable(parser.value(modelOpt)),
                     qPrintable(SimulatedReceiverConfig::modelNames().join(QStringLiteral(", "))));
        return 2;
    }
    bool ok = false;
    const qint64 seconds = parser.value(secondsOpt).toLongLong(&ok);
    if (!ok || seconds < 0 || seconds > 10ll * 366 * 86400) {
        std::fprintf(stderr, "chronode-sim: --seconds needs a whole number from 0 to 316224000\n");
        return 2;
    }
    config.seed = parser.value(seedOpt).toULongLong(&ok);
    if (!ok) {
        std::fprintf(stderr, "chronode-sim: --seed needs a whole number\n");
        return 2;
    }
    QDateTime start = QDateTime::currentDateTimeUtc();
    if (parser.isSet(startOpt)) {
        start = QDateTime::fromString(parser.value(startOpt), Qt::ISODate);
        if (!start.isValid()) {
            std::fprintf(stderr, "chronode-sim: --start is not an ISO 8601 time\n");
            return 2;
        }
        if (start.timeSpec() == Qt::LocalTime)
            start.setTimeSpec(Qt::UTC);   // a time without a zone is taken as UTC
    }
    const qint64 first = start.toSecsSinceEpoch();

    QFile out;
    if (parser.isSet(outOpt)) {
        out.setFileName(parser.value(outOpt));
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            std::fprintf(stderr, "chronode-sim: cannot write %s: %s\n", qPrintable(out.fileName()),
                         qPrintable(out.errorString()));
            return 1;
        }
    } else if (!out.open(stdout, QIODevice::WriteOnly)) {
        return 1;
    }

    if (parser.isSet(counterOpt)) {
        const int port = parser.value(portOpt).toInt(&ok);
        if (!ok || port < 1 || port > 8) {
            std::fprintf(stderr, "chronode-sim: --port needs a number from 1 to 8\n");
            return 2;
        }
        SimulatedCounterConfig counterConfig = SimulatedCounterConfig::forPort(port);
        counterConfig.receiverModel = config.modelName;
        counterConfig.receiverSeed = config.seed;
        if (parser.isSet(formatOpt)) {
            const auto format = SimulatedCounterConfig::formatFromName(parser.value(formatOpt));
            if (!format) {
                std::fprintf(stderr, "chronode-sim: --format is one of scpi, ticc, ticc-ti, ns\n");
                return 2;
            }
            counterConfig.format = *format;
        }
        const SimulatedCounter counter(counterConfig);
        QByteArray lines = counter.header();
        for (qint64 s = first; s < first + seconds; ++s)
            lines += counter.line(s);
        if (out.write(lines) != lines.size() || !out.flush())
            return 1;
        return 0;
    }

    SimulatedReceiver rx(config);
    if (parser.isSet(ubxOpt) && rx.ublox())
        rx.ublox()->configureForTiming();
    QByteArray buffer = rx.streamHeader();
    for (qint64 s = first; s < first + seconds; ++s) {
        buffer += rx.secondOutput(s);
        if (buffer.size() > (1 << 20)) {
            if (out.write(buffer) != buffer.size())
                return 1;
            buffer.clear();
        }
    }
    if (out.write(buffer) != buffer.size() || !out.flush()) {
        std::fprintf(stderr, "chronode-sim: write failed: %s\n", qPrintable(out.errorString()));
        return 1;
    }
    return 0;
}
