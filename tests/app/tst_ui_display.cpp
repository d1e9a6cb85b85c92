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
    void init();
    void cleanup();

    void rawDataClosedStaysEmpty();
    void rawDataWrap_data();
    void rawDataWrap();
    void rawDataKeepsBoundedHistory();
    void textWindowsLook_data();
    void textWindowsLook();
    void textWindowGeometryKept_data();
    void textWindowGeometryKept();
    void satelliteTableOnlyChangedCellsRewritten();
    void satelliteTableClearsAndSkipsWhileClosing();
    void sortButtonsStoreAndReorder_data();
    void sortButtonsStoreAndReorder();
    void indicators_data();
    void indicators();
    void clockModes_data();
    void clockModes();
    void navigationFormatRewritesPositions();
    void screenshotWithDecodedCapture_data();
    void screenshotWithDecodedCapture();

private:
    std::unique_ptr<TestSupport::TemporarySettings> m_settings;
};

void TestDisplay::init()
{
    m_settings = std::make_unique<TestSupport::TemporarySettings>();
    QSettings().setValue(QStringLiteral("GpsPortDialog/GPS Serial Port"), QStringLiteral("OFF"));
    MessageBoxes::setHandler([](const MessageBoxes::Box &) { return QMessageBox::Ok; });
}

void TestDisplay::cleanup()
{
    MessageBoxes::setHandler({});
    m_settings.reset();
}

void TestDisplay::rawDataClosedStaysEmpty()
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

void TestDisplay::rawDataWrap_data()
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

void TestDisplay::rawDataWrap()
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

void TestDisplay::rawDataKeepsBoundedHistory()
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

void TestDisplay::textWindowsLook_data()
{
    QTest::addColumn<bool>("rawWindow");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("wrapText");
    QTest::newRow("raw data") << true << "GPS Raw Data" << "Wrap text ";
    QTest::newRow("receiver ID") << false << "Receiver ID  Message" << "Wrap text";
}

void TestDisplay::textWindowsLook()
{
    QFETCH(bool, rawWindow);
    QFETCH(QString, title);
    QFETCH(QString, wrapText);

    std::unique_ptr<QDialog> dialog;
    QPlainTextEdit *view = nullptr;
    if (rawWindow) {
        auto *d = new GpsRawDataDialog;
        view = d->textView();
        dialog.reset(d);
    } else {
        auto *d = new GpsRxIdDialog;
        view = d->textView();
        dialog.reset(d);
        QCOMPARE(view->objectName(), QStringLiteral("GpsRxIdPlainTextEdit"));
    }
    QCOMPARE(dialog->windowTitle(), title);
    QCOMPARE(wrapBox(dialog.get())->text(), wrapText);
    QVERIFY(view->isReadOnly());
    QCOMPARE(view->font().family(), QStringLiteral("Verdana"));
    auto *clear = dialog->findChild<QPushButton *>(QStringLiteral("ClearScreen"));
    QCOMPARE(clear->text(), QStringLiteral("Clear Screen"));
    QCOMPARE(clear->styleSheet(),
             QStringLiteral("QPushButton {\n\tbackground-color: rgb(170, 255, 255);\n}\n"
                            "QPushButton::hover{\n\tbackground-color: rgb(170, 255, 127);\n}"));
    bool legend = false;
    for (QLabel *label : dialog->findChildren<QLabel *>())
        legend = legend || label->text() == QStringLiteral("   \"->\" = from GPS,    \"<-\" = to GPS");
    QCOMPARE(legend, rawWindow);
    QCOMPARE(dialog->isVisible(), false);
}

void TestDisplay::textWindowGeometryKept_data()
{
    QTest::addColumn<bool>("rawWindow");
    QTest::addColumn<QString>("key");
    QTest::newRow("raw data") << true << "GpsRawDataDialog/geometry";
    QTest::newRow("receiver ID") << false << "GpsRxIdDialog/geometry";
}

void TestDisplay::textWindowGeometryKept()
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

void TestDisplay::satelliteTableOnlyChangedCellsRewritten()
{
    MainWindow w;
    ReceiverState &state = w.station().state();
    state.receiverMode = ReceiverMode::MotorolaBinary;
    state.satellites[4] = sat(5, 30, 120, 41);
    state.satellites[9] = sat(10, 62, 45, 47);
    StationDisplay &display = w;
    display.updateSatelliteTable();

    SatelliteTableView *table = w.satelliteTable();
    QCOMPARE(table->cellText(0, 4), QStringLiteral("  20  |  30  |  40  |  50"));
    QCOMPARE(table->cellText(1, 0), QStringLiteral("5"));
    QCOMPARE(table->cellText(2, 0), QStringLiteral("10"));
    QCOMPARE(table->cellText(2, 1), QStringLiteral("62  "));
    QCOMPARE(table->bar(2)->value(), 47);
    QCOMPARE(table->bar(2)->format(), QStringLiteral("Available"));

    // Mark cells that must not be touched by the next fill.
    table->item(1, 0)->setText(QStringLiteral("mark"));
    table->item(1, 3)->setText(QStringLiteral("mark"));
    table->item(2, 0)->setText(QStringLiteral("mark"));
    table->bar(1)->setFormat(QStringLiteral("mark"));

    state.satellites[9].cNo = 50;
    QSignalSpy refilled(&w, &MainWindow::satelliteTableUpdated);
    display.updateSatelliteTable();
    QCOMPARE(refilled.count(), 1);
    QCOMPARE(table->cellText(1, 0), QStringLiteral("mark"));
    QCOMPARE(table->cellText(1, 3), QStringLiteral("mark"));
    QCOMPARE(table->bar(1)->format(), QStringLiteral("mark"));
    QCOMPARE(table->cellText(2, 0), QStringLiteral("mark"));
    QCOMPARE(table->cellText(2, 3), QStringLiteral("50"));
    QCOMPARE(table->bar(2)->value(), 50);
    QCOMPARE(w.satelliteTableModel().sortedCopy()[9].cNo, 50);
}

void TestDisplay::satelliteTableClearsAndSkipsWhileClosing()
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

void TestDisplay::sortButtonsStoreAndReorder_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("first");
    QTest::newRow("PRN") << "SatSortBtn_PRN" << 0 << "3";
    QTest::newRow("elevation") << "SatSortBtn_El" << 1 << "17";
    QTest::newRow("azimuth") << "SatSortBtn_Azm" << 2 << "9";
    QTest::newRow("C/No") << "SatSortBtn_CNo" << 3 << "3";
}

void TestDisplay::sortButtonsStoreAndReorder()
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

void TestDisplay::indicators_data()
{
    QTest::addColumn<bool>("antenna");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("style");
    QTest::newRow("antenna short") << true << 1 << "Ant OC Short"
                                   << "padding: 2px 5px; color:white; background-color:red";
    QTest::newRow("antenna unknown value") << true << 7 << "Ant Unknown"
                                           << "padding: 2px 5px; color:black; background-color:white";
    QTest::newRow("position hold") << false << 1 << "Position Hold"
                                   << "padding: 2px 5px; color:white; background-color:green";
    QTest::newRow("surveying") << false << 2 << "Surveying"
                               << "padding: 2px 5px; color:black; background-color:yellow";
}

void TestDisplay::indicators()
{
    QFETCH(bool, antenna);
    QFETCH(int, value);
    QFETCH(QString, text);
    QFETCH(QString, style);
    MainWindow w;
    auto *antennaLabel = w.findChild<QLabel *>(QStringLiteral("AntennaLabel"));
    auto *navLabel = w.findChild<QLabel *>(QStringLiteral("NavigationLabel"));
    QCOMPARE(antennaLabel->text(), QStringLiteral("Ant Unkown"));
    QCOMPARE(navLabel->text(), QStringLiteral("Nav Unknown"));
    const QString white = QStringLiteral("padding: 2px 5px; color:black; background-color:white");
    QCOMPARE(antennaLabel->styleSheet(), white);
    QCOMPARE(navLabel->styleSheet(), white);

    StationDisplay &display = w;
    if (antenna)
        display.setAntennaIndicator(value);
    else
        display.setNavigationIndicator(value);
    QLabel *label = antenna ? antennaLabel : navLabel;
    QCOMPARE(label->text(), text);
    QCOMPARE(label->styleSheet(), style);
    QCOMPARE(antenna ? w.station().state().antennaState : w.station().state().navigationState, value);
    // The other indicator is untouched.
    QCOMPARE((antenna ? navLabel : antennaLabel)->styleSheet(), white);
}

void TestDisplay::clockModes_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("stored");
    QTest::addColumn<QString>("pattern");

    // 789 ms reads as the previous second (the pulse belongs to the next one).
    QTest::newRow("UTC") << "actionUTC" << 0 << R"(^12:34\.55\.789$)";
    QTest::newRow("PC") << "actionPC" << 1 << R"(^\d\d:\d\d:\d\d\.\d\d\d$)";
    QTest::newRow("LMST") << "actionLMST" << 2 << R"(^\d\d:\d\d:\d\d\.\d\d$)";
    QTest::newRow("GMST") << "actionGMST" << 3 << R"(^\d\d:\d\d:\d\d\.\d\d$)";
    QTest::newRow("MJD") << "actionMJD" << 4 << R"(^61\d\d\d\.\d+$)";
    QTest::newRow("PC - UTC") << "actionPC_U" << 5 << R"(^12\.345$)";
    QTest::newRow("TIC leaves the label") << "actionTIC" << 6 << R"(^counter$)";
    QTest::newRow("TIC raw leaves the label") << "actionTIC_Raw" << 7 << R"(^counter$)";
}

void TestDisplay::clockModes()
{
    QFETCH(QString, action);
    QFETCH(int, stored);
    QFETCH(QString, pattern);
    MainWindow w;
    ReceiverState &state = w.station().state();
    state.receiverUtcDateTime.setDateTime(QDateTime(QDate(2026, 3, 14), QTime(12, 34, 56), Qt::UTC));
    state.receiverUtcDateTime.setMilliseconds(789);
    state.pcClockOffsetMs = 12345;
    auto *clock = w.findChild<QLabel *>(QStringLiteral("ClockLabel"));
    clock->setText(QStringLiteral("counter"));

    w.action(action)->trigger();
    QCOMPARE(w.clockDisplayMode(), stored);
    QCOMPARE(QSettings().value(QStringLiteral("MainWindow/ClockDisplay")).toInt(), stored);
    QVERIFY2(QRegularExpression(pattern).match(clock->text()).hasMatch(), qPrintable(clock->text()));
}

void TestDisplay::navigationFormatRewritesPositions()
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
void TestDisplay::screenshotWithDecodedCapture_data()
{
    QTest::addColumn<QString>("capture");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("picture");
    QTest::newRow("Oncore binary") << "oncore-binary.log" << int(ReceiverMode::MotorolaBinary) << "main.png";
    QTest::newRow("u-blox UBX") << "ublox-lea-4t.log" << int(ReceiverMode::UbloxUbx) << "main-ublox.png";
}

void TestDisplay::screenshotWithDecodedCapture()
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

QTEST_MAIN(TestDisplay)
#include "tst_ui_display.moc"
