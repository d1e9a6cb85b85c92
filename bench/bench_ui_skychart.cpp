// Sky chart: one update with 40 satellites (the satellite table hands over its copy several
// times a second), one full redraw of the chart at 800 x 800, and the resident memory over a
// day of one-second updates. Runs offscreen; the settings go to a temporary folder.

#include "chart/ui/SatAzElChart.h"
#include "chart/ui/SatAzElChartDialog.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QSettings>
#include <QTemporaryDir>
#include <cstdio>

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
    QElapsedTimer t;
    qint64 spent = 0;
    for (int i = 0; i < updates; ++i, ++second) {
        fillSky(records, second);
        t.start();
        dialog.updateSatellites(records, 2);
        spent += t.nsecsElapsed();
        if (i % 100 == 0)
            QCoreApplication::processEvents();
    }
    const double updateMs = double(spent) / updates / 1e6;
    std::printf("sky chart: update with 40 satellites %.3f ms (limit 2 ms) %s\n", updateMs,
                updateMs < 2.0 ? "ok" : "SLOW");

    // Full redraw: the whole view rendered into an 800 x 800 image.
    QImage image(800, 800, QImage::Format_ARGB32_Premultiplied);
    const int redraws = 60;
    spent = 0;
    for (int i = 0; i < redraws + 5; ++i, ++second) {
        fillSky(records, second);
        dialog.updateSatellites(records, 2);
        t.start();
        QPainter painter(&image);
        dialog.chartView()->render(&painter);
        painter.end();
        if (i >= 5)
            spent += t.nsecsElapsed();
    }
    const double redrawMs = double(spent) / redraws / 1e6;
    std::printf("sky chart: full redraw at 800x800 %.2f ms (limit 10 ms) %s\n", redrawMs,
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
