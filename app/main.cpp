#include "app/Station.h"
#include "app/ui/MainWindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCursor>
#include <QVersionNumber>

#include <cstdio>
#include <memory>

int main(int argc, char *argv[])
{
    qputenv("QT_AUTO_SCREEN_SCALE_FACTOR", "1");
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Chronode"));
    QCoreApplication::setApplicationVersion(QVersionNumber::fromString(QStringLiteral("1.2.10")).toString());

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("GNSS timing station: receiver, time interval counters, logs."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption replay(QStringLiteral("replay"),
                                    QStringLiteral("Feed the receiver link from a recorded byte stream."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption mode(QStringLiteral("mode"),
                                  QStringLiteral("Receiver mode: a number (2, 6, 9, ...) or its name "
                                                 "(\"Motorola Binary\", \"Generic NMEA\", \"u-blox UBX\", ...)."),
                                  QStringLiteral("M"));
    const QCommandLineOption simModel(QStringLiteral("sim-model"),
                                      QStringLiteral("Receiver model the simulated receiver pretends to be."),
                                      QStringLiteral("NAME"));
    parser.addOption(replay);
    parser.addOption(mode);
    parser.addOption(simModel);
    parser.process(app);

    StationLaunchOptions options;
    options.replayFile = parser.value(replay);
    options.mode = parser.value(mode);
    options.simModel = parser.value(simModel);
    if (!options.mode.isEmpty() && Station::modeFromOption(options.mode) < 0) {
        std::fprintf(stderr, "chronode: unknown receiver mode \"%s\"\n", qPrintable(options.mode));
        return 2;
    }

    int result = 0;
    {
        auto window = std::make_unique<MainWindow>(nullptr, options);
        QApplication::setOverrideCursor(QCursor(Qt::ArrowCursor));
        window->show();
        emit window->window_loaded();
        if (!window->closing())
            window->connectReceiver();
        if (window->isVisible())
            result = app.exec();
    }
    return result;
}
