#include "app/Station.h"
#include "app/ui/DisplaySnapshot.h"
#include "app/ui/MainWindow.h"
#include "remote/RemoteControl.h"
#include "transport/ReplayTransport.h"
#include "sim/SimulatedReceiver.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCursor>
#include <QDialog>
#include <QMainWindow>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QSettings>
#include <QTimer>
#include <QVersionNumber>

#include <cstdio>
#include <memory>

namespace {

// The program's main window, also while it is still being built (a port error box can open
// from its constructor).
QWidget *mainWindowWidget()
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (qobject_cast<QMainWindow *>(w))
            return w;
    }
    return nullptr;
}

// --dump-display: one snapshot of the window's texts a second, the file rewritten each time, so
// a run that is cut short still leaves what it showed. Only the last KeptSnapshots (two minutes)
// are kept, in memory and in the file, so a run of months writes a file of a few hundred kB.
class DisplayDump
{
public:
    explicit DisplayDump(const QString &fileName) : m_fileName(fileName) { m_elapsed.start(); }
    bool take()
    {
        const QWidget *window = mainWindowWidget();
        if (!window)
            return true;
        QJsonObject snapshot = DisplaySnapshot::take(*window);
        snapshot.insert(QStringLiteral("elapsedMs"), double(m_elapsed.elapsed()));
        m_snapshots.append(snapshot);
        while (m_snapshots.size() > KeptSnapshots)
            m_snapshots.removeFirst();
        QSaveFile file(m_fileName);
        if (!file.open(QIODevice::WriteOnly))
            return false;
        QJsonObject root;
        root.insert(QStringLiteral("snapshots"), m_snapshots);
        file.write(QJsonDocument(root).toJson(QJsonDocument::Indented));
        return file.commit();
    }

    static constexpr qsizetype KeptSnapshots = 120;

private:
    QString m_fileName;
    QElapsedTimer m_elapsed;
    QJsonArray m_snapshots;
};

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_AUTO_SCREEN_SCALE_FACTOR", "1");
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    // A station without a screen (a server, a container, a session over ssh) still runs: the
    // window is drawn offscreen, and the logs, the remote link and the clock work as ever.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY")
        && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        std::fprintf(stderr, "chronode: no display, running offscreen\n");
    }
#endif
    QApplication app(argc, argv);
    // The settings store is named before anything (the station included) reads it.
    QCoreApplication::setOrganizationName(QStringLiteral("KTW Systems"));
    QCoreApplication::setApplicationName(QStringLiteral("Chronode"));
    QCoreApplication::setApplicationVersion(QStringLiteral(CHRONODE_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("GNSS timing station: receiver, time interval counters, logs."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption replay(QStringLiteral("replay"),
                                    QStringLiteral("Feed the receiver link from a recorded byte stream. Without "
                                                   "--mode the mode follows what the recording holds."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption mode(QStringLiteral("mode"),
                                  QStringLiteral("Receiver mode: a number (2, 6, 9, ...) or its name "
                                                 "(\"Motorola Binary\", \"Generic NMEA\", \"u-blox UBX\", ...)."),
                                  QStringLiteral("M"));
    const QCommandLineOption simModel(QStringLiteral("sim-model"),
                                      QStringLiteral("Receiver model the simulated receiver pretends to be."),
                                      QStringLiteral("NAME"));
    const QCommandLineOption quitAfter(QStringLiteral("quit-after"),
                                       QStringLiteral("Close the program after this many seconds."),
                                       QStringLiteral("SECONDS"));
    const QCommandLineOption dumpDisplay(QStringLiteral("dump-display"),
                                         QStringLiteral("Write the window's texts (clock, time information, position "
                                                        "and satellite tables, status bar) to FILE as JSON, once a "
                                                        "second and when the program closes; the file keeps the "
                                                        "last 120 snapshots."),
                                         QStringLiteral("FILE"));
    const QCommandLineOption speed(QStringLiteral("speed"),
                                   QStringLiteral("Run the simulated receiver and a replayed recording FACTOR times "
                                                  "faster than real time (1 to 10000; long runs in little time). "
                                                  "The 1PPS cycle keeps up as far as the line's 10 ms poll allows."),
                                   QStringLiteral("FACTOR"));
    parser.addOption(replay);
    parser.addOption(speed);
    parser.addOption(mode);
    parser.addOption(simModel);
    parser.addOption(quitAfter);
    const QCommandLineOption remotePort(QStringLiteral("remote-port"),
                                        QStringLiteral("Start the remote control link at once on this port (0: any free "
                                                       "port) and the stored listen address; prints where it listens."),
                                        QStringLiteral("PORT"));
    parser.addOption(dumpDisplay);
    parser.addOption(remotePort);
    parser.process(app);

    StationLaunchOptions options;
    options.replayFile = parser.value(replay);
    options.mode = parser.value(mode);
    options.simModel = parser.value(simModel);
    if (parser.isSet(speed)) {
        bool ok = false;
        options.speed = parser.value(speed).toDouble(&ok);
        if (!ok || !(options.speed >= 1.0) || options.speed > 10000.0) {
            std::fprintf(stderr, "chronode: --speed needs a factor from 1 to 10000, not \"%s\"\n",
                         qPrintable(parser.value(speed)));
            return 2;
        }
    }
    if (!options.mode.isEmpty() && Station::modeFromOption(options.mode) < 0) {
        std::fprintf(stderr, "chronode: unknown receiver mode \"%s\"\n", qPrintable(options.mode));
        return 2;
    }
    if (!options.simModel.isEmpty()) {
        bool known = false;
        SimulatedReceiverConfig::forModel(options.simModel, &known);
        if (!known) {
            std::fprintf(stderr, "chronode: unknown simulated receiver model \"%s\"; known models: %s\n",
                         qPrintable(options.simModel),
                         qPrintable(SimulatedReceiverConfig::modelNames().join(QStringLiteral(", "))));
            return 2;
        }
    }
    if (!options.replayFile.isEmpty() && options.mode.isEmpty()) {
        // A recording is framed by the family it holds; a Motorola one is only listened to.
        const int suggested = ReplayTransport::suggestedModeForFile(options.replayFile);
        if (suggested < 0) {
            std::fprintf(stderr, "chronode: cannot read \"%s\"\n", qPrintable(options.replayFile));
            return 2;
        }
        options.mode = QString::number(suggested);
    }
    double quitAfterSeconds = -1;
    if (parser.isSet(quitAfter)) {
        bool ok = false;
        quitAfterSeconds = parser.value(quitAfter).toDouble(&ok);
        if (!ok || !(quitAfterSeconds >= 0) || quitAfterSeconds > 2.0e6) {
            std::fprintf(stderr, "chronode: --quit-after needs a number of seconds, not \"%s\"\n",
                         qPrintable(parser.value(quitAfter)));
            return 2;
        }
    }

    int result = 0;
    {
        // Both timers run from before the window is built: a box opened by its constructor
        // (a port that cannot be opened) must not keep an unattended run waiting.
        std::unique_ptr<DisplayDump> dump;
        QTimer dumpTimer;
        if (parser.isSet(dumpDisplay)) {
            dump = std::make_unique<DisplayDump>(parser.value(dumpDisplay));
            dumpTimer.setInterval(1000);
            QObject::connect(&dumpTimer, &QTimer::timeout, &app, [&dump] { dump->take(); });
            dumpTimer.start();
        }
        // The quit timer also fires inside receiver detection's waits and inside message boxes;
        // the boxes are dismissed, closing the window makes the waits return, and a closed
        // window skips the event loop below.
        bool quitRequested = false;
        bool windowBuilt = false;
        QTimer quitTimer;
        quitTimer.setSingleShot(true);
        if (quitAfterSeconds >= 0) {
            quitTimer.setInterval(int(quitAfterSeconds * 1000));
            QObject::connect(&quitTimer, &QTimer::timeout, &app, [&] {
                quitRequested = true;
                dumpTimer.stop();
                if (dump && !dump->take())
                    result = 1;
                for (QWidget *w : QApplication::topLevelWidgets()) {
                    if (auto *box = qobject_cast<QDialog *>(w); box && box->isVisible() && box->isModal())
                        box->reject();
                }
                if (QWidget *w = mainWindowWidget(); w && windowBuilt)
                    w->close();
                QCoreApplication::exit(result);
            });
            quitTimer.start();
        }

        auto window = std::make_unique<MainWindow>(nullptr, options);
        windowBuilt = true;
        if (quitRequested) {
            window->close();
            return result;
        }

        if (parser.isSet(remotePort)) {
            const int port = parser.value(remotePort).toInt();
            QSettings settings;
            TelnetSettings remote = TelnetSettings::load(settings);
            remote.activate = true;
            remote.port = port;
            RemoteControl &control = window->station().remote();
            if (port < 0 || port > 65535 || !control.applySettings(remote)) {
                std::fprintf(stderr, "chronode: the remote control link cannot listen on port %s\n",
                             qPrintable(parser.value(remotePort)));
                return 2;
            }
            std::fprintf(stderr, "chronode: remote control listening on %s port %u\n",
                         qPrintable(control.server().address().toString()), unsigned(control.server().port()));
        }
        QApplication::setOverrideCursor(QCursor(Qt::ArrowCursor));
        window->show();
        emit window->window_loaded();
        if (!window->closing())
            window->connectReceiver();
        if (window->isVisible())
            result = app.exec();
        // Closed by the user (or the remote link): the last picture too.
        if (dump && !quitRequested && !dump->take() && result == 0)
            result = 1;
    }
    return result;
}
