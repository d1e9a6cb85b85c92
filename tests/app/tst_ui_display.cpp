#include "support/TestSupport.h"

#include "app/ui/GpsRawDataDialog.h"
#include "app/ui/GpsRxIdDialog.h"
#include "app/ui/MainWindow.h"
#include "core/ui/MessageBoxes.h"
#include "app/ui/SatelliteTableView.h"
#include "receiver/framing/MotorolaFramer.h"
#include "receiver/framing/NmeaUbxFramer.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimeZone>
#include <QSignalSpy>
#include <QTest>

namespace {

SatelliteRecord sat(int id, int el, int az, int cNo, int trackMode = 8, int flags = 0)
{
    SatelliteRecord r;
    r.svId = id;
    r.elevation = el;
    r.azimuth = az;
    r.cNo = cNo;
    r.trackMode = uint8_t(trackMode);
    r.svFlags = uint8_t(flags);
    return r;
}

QCheckBox *wrapBox(QWidget *dialog)
{
    return dialog->findChild<QCheckBox *>(QStringLiteral("WrapText"));
}

} // namespace

class TestDisplay : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_settings = std::make_unique<TestSupport::TemporarySettings>();
        QSettings().setValue(QStringLiteral("GpsPortDialog/GPS Serial Port"), QStringLiteral("OFF"));
        MessageBoxes::setHandler([](const MessageBoxes::Box &) { return QMessageBox::Ok; });
    }

    void cleanup()
    {
        MessageBoxes::setHandler({});
        m_settings.reset();
    }

    void rawDataClosedStaysEmpty()
    {
        MainWindow w;
        w.show();
        GpsRawDataDialog *raw = w.rawDataDialog();
        w.appendPlainText_to_RawDataDialog_and_Log(QStringLiteral("-> @@Ha while closed"));
        w.action(QStringLiteral("actionGps_Raw_Data"))->trigger();
        QVERIFY(raw->isVisible());
        QVERIFY(raw->textView()->toPlainText().isEmpty());

        w.appendPlainText_to_RawDataDialog_and_Log(QStringLiteral("-> one"));
        w.appendPlainText_to_RawDataDialog_and_Log(QStringLiteral("<- two"));
        QCOMPARE(raw->textView()->toPlainText(), QStringLiteral("-> one\n<- two"));

        raw->hide();
        w.appendPlainText_to_RawDataDialog_and_Log(QStringLiteral("-> hidden"));
        raw->show();
        QCOMPARE(raw->textView()->blockCount(), 2);

        raw->findChild<QPushButton *>(QStringLiteral("ClearScreen"))->click();
        QVERIFY(raw->textView()->toPlainText().isEmpty());
    }

    void rawDataWrap_data()
    {
        QTest::addColumn<int>("checkState");
        QTest::addColumn<int>("wrapMode");
        QTest::addColumn<QString>("shown");

        QTest::newRow("unchecked: no wrap, trimmed")
            << int(Qt::Unchecked) << int(QPlainTextEdit::NoWrap) << "-> $GPGGA,1";
        QTest::newRow("checked: widget width, kept")
            << int(Qt::Checked) << int(QPlainTextEdit::WidgetWidth) << "  -> $GPGGA,1\t";
        QTest::newRow("partly checked wraps")
            << int(Qt::PartiallyChecked) << int(QPlainTextEdit::WidgetWidth) << "  -> $GPGGA,1\t";
    }
    void rawDataWrap()
    {
        QFETCH(int, checkState);
        QFETCH(int, wrapMode);
        QFETCH(QString, shown);

        GpsRawDataDialog raw;
        QCheckBox *wrap = wrapBox(&raw);
        QVERIFY(wrap);
        QCOMPARE(wrap->text(), QStringLiteral("Wrap text "));
        QCOMPARE(wrap->checkState(), Qt::Unchecked);
        QCOMPARE(int(raw.textView()->lineWrapMode()), int(QPlainTextEdit::NoWrap));
        wrap->setTristate(true);
        wrap->setCheckState(Qt::CheckState(checkState));
        QCOMPARE(int(raw.textView()->lineWrapMode()), wrapMode);

        raw.show();
        raw.appendText(QStringLiteral("  -> $GPGGA,1\t"));
        QCOMPARE(raw.textView()->toPlainText(), shown);
    }

    void rawDataKeepsBoundedHistory()
    {
        GpsRawDataDialog raw;
        raw.show();
        const int limit = raw.textView()->maximumBlockCount();
        QVERIFY(limit > 0);
        for (int i = 0; i < limit + 300; ++i)
            raw.appendText(QStringLiteral("-> line %1").arg(i));
        QCOMPARE(raw.textView()->blockCount(), limit);
        // The oldest lines go; the newest stays last.
        QVERIFY(raw.textView()->toPlainText().endsWith(QStringLiteral("-> line %1").arg(limit + 299)));
        QVERIFY(!raw.textView()->toPlainText().startsWith(QStringLiteral("-> line 0\n")));
    }

    void textWindowGeometryKept_data()
    {
        QTest::addColumn<bool>("rawWindow");
        QTest::addColumn<QString>("key");
        QTest::newRow("raw data") << true << "GpsRawDataDialog/geometry";
        QTest::newRow("receiver ID") << false << "GpsRxIdDialog/geometry";
    }
    void textWindowGeometryKept()
    {
        QFETCH(bool, rawWindow);
        QFETCH(QString, key);
        auto make = [rawWindow]() -> std::unique_ptr<QDialog> {
            if (rawWindow)
                return std::make_unique<GpsRawDataDialog>();
            return std::make_unique<GpsRxIdDialog>();
        };
        {
            std::unique_ptr<QDialog> d = make();
            d->show();
            QVERIFY(QTest::qWaitForWindowExposed(d.get()));
            d->resize(517, 333);
            d->hide();
            QVERIFY(!QSettings().value(key).toByteArray().isEmpty());
        }
        std::unique_ptr<QDialog> again = make();
        again->show();
        QVERIFY(QTest::qWaitForWindowExposed(again.get()));
        QCOMPARE(again->size(), QSize(517, 333));
    }

    void satelliteTableClearsAndSkipsWhileClosing()
    {
        MainWindow w;
        ReceiverState &state = w.station().state();
        state.receiverMode = ReceiverMode::UbloxUbx;
        state.satellites[1] = sat(1, 30, 120, 41, 0, SvFlag::UbxUsed);
        state.satellites[2] = sat(2, 40, 220, 39, 0, SvFlag::UbxUsed);
        StationDisplay &display = w;
        display.updateSatelliteTable();
        SatelliteTableView *table = w.satelliteTable();
        QCOMPARE(table->cellText(2, 0), QStringLiteral("2"));
        QCOMPARE(table->bar(2)->format(), QStringLiteral("GPS"));

        // Satellite 2 leaves the solution: in UBX mode its row vanishes.
        state.satellites[2].svFlags = 0;
        display.updateSatelliteTable();
        QCOMPARE(table->cellText(2, 0), QString());
        QCOMPARE(table->cellText(2, 3), QString());
        QCOMPARE(table->bar(2)->value(), table->bar(2)->minimum());
        QCOMPARE(table->bar(2)->format(), QString());

        w.close();
        state.satellites[1].cNo = 20;
        display.updateSatelliteTable();
        QCOMPARE(table->cellText(1, 3), QStringLiteral("41"));
    }

    // Each scale mark stands where a bar showing its value ends, at any column width.
    void barScaleStandsWhereBarsEnd_data()
    {
        QTest::addColumn<int>("width");
        QTest::newRow("narrow") << 420;
        QTest::newRow("stretched") << 1300;
    }
    void barScaleStandsWhereBarsEnd()
    {
        QFETCH(int, width);
        SatelliteTableView table;
        table.resize(width, 400);
        table.show();
        QVERIFY(QTest::qWaitForWindowExposed(&table));
        QProgressBar *bar = table.bar(1);
        const QList<int> marks = table.barScalePositions();
        for (int i = 0; i < 4; ++i) {
            bar->setValue(20 + 10 * i);
            const QImage image = bar->grab().toImage();
            int end = -1;   // last filled (blue) pixel across the middle of the bar
            for (int x = 0; x < image.width(); ++x)
                end = image.pixelColor(x, image.height() / 2).blue() > image.pixelColor(x, image.height() / 2).red() + 40 ? x : end;
            QVERIFY2(qAbs(bar->x() + end - marks.value(i)) <= 2, qPrintable(QString::number(marks.value(i))));
        }
    }

    void sortButtonsStoreAndReorder_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("first");
        QTest::newRow("PRN") << "SatSortBtn_PRN" << 0 << "3";
        QTest::newRow("elevation") << "SatSortBtn_El" << 1 << "17";
        QTest::newRow("azimuth") << "SatSortBtn_Azm" << 2 << "9";
        QTest::newRow("C/No") << "SatSortBtn_CNo" << 3 << "3";
    }
    void sortButtonsStoreAndReorder()
    {
        QFETCH(QString, button);
        QFETCH(int, mode);
        QFETCH(QString, first);
        MainWindow w;
        QCOMPARE(w.satelliteSortMode(), 4);
        ReceiverState &state = w.station().state();
        state.receiverMode = ReceiverMode::MotorolaBinary;
        state.satellites[0] = sat(9, 20, 10, 40);
        state.satellites[1] = sat(17, 70, 200, 35);
        state.satellites[2] = sat(3, 45, 300, 48);
        StationDisplay &display = w;
        display.updateSatelliteTable();
        QCOMPARE(w.satelliteTable()->cellText(1, 0), QStringLiteral("9"));

        QTest::mousePress(w.findChild<QPushButton *>(button), Qt::LeftButton);
        QCOMPARE(w.satelliteSortMode(), mode);
        QCOMPARE(QSettings().value(QStringLiteral("MainWindow/Satellite Sort Mode")).toInt(), mode);
        QCOMPARE(w.satelliteTable()->cellText(1, 0), first);
    }

    void navigationFormatRewritesPositions()
    {
        MainWindow w;
        auto *positions = w.findChild<QTableWidget *>(QStringLiteral("PositionTable"));
        w.action(QStringLiteral("actiondegrees_dd_ddd"))->trigger();
        const QString decimal = positions->item(3, 1)->text();   // reference latitude
        QVERIFY(!decimal.isEmpty());
        w.action(QStringLiteral("actiondegrees_minutes_seconds_dd_mm_ss_sss"))->trigger();
        QCOMPARE(QSettings().value(QStringLiteral("MainWindow/Navigation Data Format")).toInt(), 2);
        QVERIFY(positions->item(3, 1)->text() != decimal);
    }

    // Renders the main window with a real capture decoded into it and saves the picture under
    // screenshots/ in the build folder (main.png is the one the README shows).
    void screenshotWithDecodedCapture_data()
    {
        QTest::addColumn<QString>("capture");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("picture");
        QTest::newRow("Oncore binary") << "oncore-binary.log" << int(ReceiverMode::MotorolaBinary) << "main.png";
        QTest::newRow("u-blox UBX") << "ublox-lea-4t.log" << int(ReceiverMode::UbloxUbx) << "main-ublox.png";
    }
    void screenshotWithDecodedCapture()
    {
        QFETCH(QString, capture);
        QFETCH(int, mode);
        QFETCH(QString, picture);
        const QByteArray bytes = TestSupport::captureBytes(capture);
        if (bytes.isEmpty())
            QSKIP("capture not present");

        MainWindow w;
        w.resize(w.sizeHint().expandedTo(QSize(900, 760)));
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.station().state().receiverMode = mode;

        int frames = 0;
        const FrameSink sink = [&](const QByteArray &frame) {
            w.OnNewGpsText(frame);
            if (++frames % 25 == 0)
                w.OnClockTick();
        };
        bool ppsPending = false;
        if (mode == ReceiverMode::MotorolaBinary) {
            MotorolaFramer framer;
            framer.feed(bytes, ppsPending, sink);
        } else {
            NmeaUbxFramer framer;
            framer.feed(bytes, false, ppsPending, sink);
        }
        w.OnClockTick();
        QVERIFY(frames > 25);
        QCoreApplication::processEvents();

        // The decoders filled the satellite table through the display.
        SatelliteTableView *table = w.satelliteTable();
        QVERIFY(w.satelliteTableModel().shownRows() > 0);
        QVERIFY(!table->cellText(1, 0).isEmpty());
        QVERIFY(!table->bar(1)->format().isEmpty());

        const QString dir = QStringLiteral(CHRONODE_BINARY_DIR) + QStringLiteral("/screenshots");
        QVERIFY(QDir().mkpath(dir));
        const QString path = dir + QLatin1Char('/') + picture;
        QFile::remove(path);
        QVERIFY(w.grab().save(path, "PNG"));
        QVERIFY(!QImage(path).isNull());
    }

private:
    std::unique_ptr<TestSupport::TemporarySettings> m_settings;
};

QTEST_MAIN(TestDisplay)
#include "tst_ui_display.moc"
