#include "support/TestSupport.h"

#include "app/SatelliteTableModel.h"
#include "app/ui/MainWindow.h"
#include "core/ui/MessageBoxes.h"
#include "chart/ui/Callout.h"
#include "chart/ui/SatAzElChart.h"
#include "chart/ui/SatAzElChartDialog.h"
#include "receiver/motorola/MotorolaDecoder.h"
#include "sim/SimulatedReceiver.h"

#include <QLabel>
#include <QLineSeries>
#include <QPolarChart>
#include <QScatterSeries>
#include <QTest>
#include <QValueAxis>

namespace {

// A simulated M12+ day through the real decoder and satellite table, one update every
// `step` seconds: the "@@Bb" visible list (azimuth, elevation) and the "@@Ha" channels.
void feedDay(SatAzElChartDialog &dialog, int step)
{
    ReceiverState state;
    state.receiverMode = ReceiverMode::MotorolaBinary;
    state.receiverModel = ReceiverModelCode::M12Plus;
    DecoderContext context;
    context.state = &state;
    MotorolaDecoder decoder(context);
    SatelliteTableModel table;
    const SimulatedReceiver rx(SimulatedReceiverConfig::forModel(QStringLiteral("M12+")));
    const qint64 start = QDateTime(QDate(2026, 6, 21), QTime(0, 0), Qt::UTC).toSecsSinceEpoch();
    for (qint64 t = start; t < start + 86400; t += step) {
        const SimulatedEpoch e = rx.epochAt(t);
        decoder.decodeMotorolaFrame(rx.visibleFrame(e).chopped(3));
        decoder.decodeMotorolaFrame(rx.positionFrame(e, 'H').chopped(3));
        table.fill(state.satellites, state.receiverMode, SatelliteTableModel::Unsorted);
        dialog.updateSatellites(table.sortedCopy(), state.receiverMode);
    }
}

// Pixels near a colour (antialiased lines blend into the background).
int colourPixels(const QImage &image, QRgb colour)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            n += std::abs(qRed(p) - qRed(colour)) + std::abs(qGreen(p) - qGreen(colour))
                     + std::abs(qBlue(p) - qBlue(colour)) < 60;
        }
    return n;
}

} // namespace

class TestSatAzElChart : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { m_settings = std::make_unique<TestSupport::TemporarySettings>(); }
    void cleanup() { m_settings.reset(); }

    void simulatedDayKeepsOutlines();
    void keysSwitchAndScroll();
    void readOutAndCallouts();
    void mainWindowFeedsAndStores();

private:
    std::unique_ptr<TestSupport::TemporarySettings> m_settings;
};

void TestSatAzElChart::simulatedDayKeepsOutlines()
{
    SkyOutline::Horizon horizon;
    SkyOutline::SkyHole skyHole;
    {
        SatAzElChartDialog dialog;
        dialog.resize(700, 800);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        feedDay(dialog, 30);
        horizon = dialog.model().outline().horizon();
        skyHole = dialog.model().outline().skyHole();
        const int seen = int(std::count_if(horizon.begin(), horizon.end(), [](double v) { return v >= 0; }));
        QVERIFY2(seen > 90, qPrintable(QString::number(seen)));
        // In every 10-degree sector the highest satellite is at least as high as the lowest one.
        for (int i = 0; i < SkyOutline::HorizonSectors; ++i)
            if (horizon[size_t(i)] >= 0)
                QVERIFY(skyHole[size_t(i / 5)] >= 0 && skyHole[size_t(i / 5)] <= horizon[size_t(i)]);
        QCOMPARE(dialog.horizonSeries()->points(), dialog.model().outline().horizonPoints());
        int drawn = 0;
        for (int s = 0; s < SkyChartModel::SeriesCount; ++s)
            drawn += int(dialog.series(SkyChartModel::Series(s))->count());
        QVERIFY(drawn >= 8);

        // Reopening keeps the outlines and redraws them.
        dialog.hide();
        dialog.show();
        QCOMPARE(dialog.skyHoleSeries()->points(), dialog.model().outline().skyHolePoints());

        QApplication::processEvents();
        const QImage image = dialog.grab().toImage();
        const QString png = qEnvironmentVariable("CHRONODE_CHART_PNG");
        if (!png.isEmpty())
            QVERIFY(image.save(png));
        // Both lines are on the chart itself (not only in the legend under it); no satellites
        // this second, so no marker adds to the colours.
        dialog.updateSatellites({}, ReceiverMode::MotorolaBinary);
        QApplication::processEvents();
        const QImage chart = dialog.chartView()->grab().toImage();
        QVERIFY(colourPixels(chart, qRgb(0x00, 0x80, 0x00)) > 300);   // horizon line
        QVERIFY(colourPixels(chart, qRgb(0x00, 0x00, 0xc8)) > 100);   // sky-hole line
    } // the program ends

    // The next run starts with the same outlines.
    SatAzElChartDialog again;
    QCOMPARE(again.model().outline().horizon(), horizon);
    QCOMPARE(again.model().outline().skyHole(), skyHole);
}

void TestSatAzElChart::keysSwitchAndScroll()
{
    SatAzElChartDialog dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    SatAzElChart *view = dialog.chartView();
    const QString title = view->chart()->title();
    QTest::keyClick(view, Qt::Key_Space);
    QVERIFY(!view->isPolar());
    QCOMPARE(view->chart()->title(), title);
    QCOMPARE(view->chart()->series().size(), 6);
    QCOMPARE(view->chart()->axes().size(), 2);
    QVERIFY(view->radialAxis()->isReverse());   // horizon at the bottom

    QTest::keyClick(view, Qt::Key_Right);
    QVERIFY(view->azimuthAxis()->min() > 0.0);
    QTest::keyClick(view, Qt::Key_Left);
    QCOMPARE(view->azimuthAxis()->min(), 0.0);
    const double span = view->azimuthAxis()->max() - view->azimuthAxis()->min();
    QTest::keyClick(view, Qt::Key_Plus);
    QVERIFY(view->azimuthAxis()->max() - view->azimuthAxis()->min() < span);

    QTest::keyClick(view, Qt::Key_Space);
    QVERIFY(view->isPolar());
    QVERIFY(!view->radialAxis()->isReverse());
    QCOMPARE(view->chart()->series().size(), 6);
}

void TestSatAzElChart::readOutAndCallouts()
{
    SatAzElChartDialog dialog;
    dialog.resize(600, 700);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    SatAzElChart *view = dialog.chartView();

    // The centre of the polar chart is the zenith.
    const QPointF centre = view->chart()->mapToScene(view->chart()->plotArea().center());
    QTest::mouseMove(view->viewport(), view->mapFromScene(centre));
    const QString readOut = dialog.findChild<QLabel *>(QStringLiteral("AzElLabel"))->text();
    QVERIFY2(readOut.contains(QRegularExpression(QStringLiteral("^Az: \\d+\\.\\d   El: (89\\.\\d|90\\.0)$"))), qPrintable(readOut));
    QCOMPARE(SatAzElChart::azElText(QPointF(359.96, 0.04)), QStringLiteral("Az: 360.0   El: 90.0"));

    std::array<SatelliteRecord, ReceiverState::SatelliteSlots> records {};
    records[17] = { 17, 45, 123, 40, 1, 8, 0, 1 };
    dialog.updateSatellites(records, ReceiverMode::MotorolaBinary);
    dialog.satelliteClicked(QPointF(123.5, 45.0));   // beside it: nothing
    QVERIFY(dialog.callouts().isEmpty());
    // The mouse on the star, then a click.
    QApplication::processEvents();
    const QPoint star = view->mapFromScene(view->chart()->mapToScene(view->chart()->mapToPosition(QPointF(123, 45))));
    QTest::mouseMove(view->viewport(), star);
    Callout *hovered = dialog.currentCallout();
    QVERIFY(hovered && hovered->isVisible());
    QCOMPARE(hovered->text(), QStringLiteral("Prn: 17, Az: 123, El: 45 "));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, star);
    QCOMPARE(dialog.callouts().size(), 1);
    QCOMPARE(dialog.callouts().value(17), hovered);   // pinned where it was
    QVERIFY(!dialog.currentCallout());
    records[17].elevation = 46;
    dialog.updateSatellites(records, ReceiverMode::MotorolaBinary);
    Callout *callout = dialog.callouts().value(17);
    QCOMPARE(callout->text(), QStringLiteral("Prn: 17, Az: 123, El: 46 "));
    QCOMPARE(callout->anchor(), QPointF(123, 44));
    QVERIFY(callout->isVisible());
    records[17] = {};
    dialog.updateSatellites(records, ReceiverMode::MotorolaBinary);
    QVERIFY(!callout->isVisible());   // gone from the sky, label hidden
    // The pin survives a switch of chart kind.
    records[17] = { 17, 45, 123, 40, 1, 8, 0, 1 };
    QTest::keyClick(view, Qt::Key_Space);
    dialog.updateSatellites(records, ReceiverMode::MotorolaBinary);
    QCOMPARE(dialog.callouts().value(17)->scene(), view->chart()->scene());
}

// The window hands each satellite table fill to the chart, and its shutdown stores the outline
// even within the minute after the last save.
void TestSatAzElChart::mainWindowFeedsAndStores()
{
    QSettings().setValue(QStringLiteral("GpsPortDialog/GPS Serial Port"), QStringLiteral("OFF"));
    MessageBoxes::setHandler([](const MessageBoxes::Box &) { return QMessageBox::Ok; });
    {
        MainWindow w;
        w.setReceiverConnector([] {});
        ReceiverState &state = w.station().state();
        state.receiverMode = ReceiverMode::MotorolaBinary;
        state.satellites[9] = { 9, 20, 100, 40, 1, 8, 0, -1 };
        w.updateSatelliteTable();
        QCOMPARE(w.satAzElChartDialog()->model().satellites().size(), 1);
        QTRY_COMPARE(w.satAzElChartDialog()->model().saveCount(), 1);
        state.satellites[9].elevation = 10;
        w.updateSatelliteTable();
        QVERIFY(w.satAzElChartDialog()->model().savePending());
        w.close();
    }
    MessageBoxes::setHandler({});
    QCOMPARE(QSettings().value(SkyOutline::keyHorizon()).toString().split(',').value(50), QStringLiteral("80.00"));
}

QTEST_MAIN(TestSatAzElChart)
#include "tst_ui_satazelchart.moc"
