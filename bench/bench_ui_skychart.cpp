// Sky chart: one update with 40 satellites (the satellite table hands over its copy several
// times a second), one full redraw of the chart at 800 x 800, and the resident memory over a
// day of one-second updates. Runs offscreen; the settings go to a temporary folder.

#include "chart/ui/SatAzElChart.h"
#include "chart/ui/SatAzElChartDialog.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QSettings>
#include <QTemporaryDir>
#include <cstdio>
#include <ctime>

namespace {

using Records = std::array<SatelliteRecord, ReceiverState::SatelliteSlots>;

// 40 satellites spread over the sky, moving a little each second.
void fillSky(Records &records, int second)
{
    records.fill(SatelliteRecord {});
    for (int i = 0; i < 40; ++i) {
        SatelliteRecord &r = records[size_t(i)];
        r.svId = i < 36 ? i + 1 : 120 + i;
        r.azimuth = (i * 37 + second / 30) % 360;
        r.elevation = 3 + (i * 11 + second / 120) % 85;
        r.cNo = 30 + i % 20;
        r.inTrack = i % 3 != 0;
        r.riseSet = (i % 3) - 1;
    }
}

// CPU time of the process (all its threads): on a shared machine the wall time says more about the neighbours.
qint64 cpuNs()
{
    timespec ts {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

long residentKb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    QCoreApplication::setOrganizationName(QStringLiteral("KTW Systems"));
    QCoreApplication::setApplicationName(QStringLiteral("Chronode"));
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());

    SatAzElChartDialog dialog;
    dialog.show();
    dialog.chartView()->setFixedSize(800, 800);
    dialog.adjustSize();
    QCoreApplication::processEvents();

    Records records;
    int second = 0;
    // Update: the dialog shown, so the series are rewritten each time.
    const int updates = 3000;
    for (int i = 0; i < 200; ++i, ++second) {
        fillSky(records, second);
        dialog.updateSatellites(records, 2);
    }
    qint64 spent = 0;
    qint64 t0 = 0;
    for (int i = 0; i < updates; ++i, ++second) {
        fillSky(records, second);
        t0 = cpuNs();
        dialog.updateSatellites(records, 2);
        spent += cpuNs() - t0;
        if (i % 100 == 0)
            QCoreApplication::processEvents();
    }
    const double updateMs = double(spent) / updates / 1e6;
    std::printf("sky chart: update with 40 satellites %.3f ms CPU (limit 2 ms) %s\n", updateMs,
                updateMs < 2.0 ? "ok" : "SLOW");

    // The same with the events it causes handled at once: the series' geometry and the repaint
    // of the shown window (as one update a second costs the running program).
    spent = 0;
    for (int i = 0; i < 300; ++i, ++second) {
        fillSky(records, second);
        t0 = cpuNs();
        dialog.updateSatellites(records, 2);
        QCoreApplication::processEvents();
        spent += cpuNs() - t0;
    }
    std::printf("sky chart: update with 40 satellites and repaint %.3f ms CPU\n", double(spent) / 300 / 1e6);

    // Full redraw: the whole view rendered into an 800 x 800 image.
    QImage image(800, 800, QImage::Format_ARGB32_Premultiplied);
    const int redraws = 60;
    spent = 0;
    for (int i = 0; i < redraws + 5; ++i, ++second) {
        fillSky(records, second);
        dialog.updateSatellites(records, 2);
        t0 = cpuNs();
        QPainter painter(&image);
        dialog.chartView()->render(&painter);
        painter.end();
        if (i >= 5)
            spent += cpuNs() - t0;
    }
    const double redrawMs = double(spent) / redraws / 1e6;
    std::printf("sky chart: full redraw at 800x800 %.2f ms CPU (limit 10 ms) %s\n", redrawMs,
                redrawMs < 10.0 ? "ok" : "SLOW");

    // Memory over a day of one-second updates, events processed as the program would.
    const long before = residentKb();
    for (int i = 0; i < 86400; ++i, ++second) {
        fillSky(records, second);
        dialog.updateSatellites(records, 2);
        if (i % 50 == 0)
            QCoreApplication::processEvents();
    }
    QCoreApplication::processEvents();
    const long after = residentKb();
    std::printf("sky chart: resident memory %ld kB before, %ld kB after 86400 updates (%+ld kB) %s\n", before,
                after, after - before, after - before < 1024 ? "flat" : "GROWS");
    dialog.model().flush();
    return 0;
}
