// The reference location from the main window's menu: the dialog's checks, its database and
// what OK changes in the settings store, the averaging engine and the clock panel.

#include "app/ui/MainWindow.h"
#include "averaging/ReferenceLocation.h"
#include "averaging/ui/ReferenceLocationDialog.h"
#include "core/ui/MessageBoxes.h"
#include "support/TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

namespace {

// Seconds of the LMST shown on the sidereal label ("LMST hh:mm:ss.hh<br>GMST ...").
double shownLmst(const QLabel *label)
{
    const QRegularExpressionMatch m
        = QRegularExpression(QStringLiteral("LMST (\\d\\d):(\\d\\d):(\\d\\d\\.\\d\\d)")).match(label->text());
    return m.hasMatch() ? m.captured(1).toInt() * 3600.0 + m.captured(2).toInt() * 60.0 + m.captured(3).toDouble() : -1e9;
}

void typeInto(QLineEdit *edit, const QString &text)
{
    edit->selectAll();
    QTest::keyClicks(edit, text);
}

} // namespace

class TestUiReference : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void dialogToEngineSettingsAndClock();
};

void TestUiReference::dialogToEngineSettingsAndClock()
{
    TestSupport::TemporarySettings home;
    QSettings().setValue(QStringLiteral("GpsPortDialog/GPS Serial Port"), QStringLiteral("OFF"));
    QStringList boxes;
    MessageBoxes::setHandler([&boxes](const MessageBoxes::Box &box) {
        boxes << box.title + QLatin1Char('|') + box.text;
        return QMessageBox::Ok;
    });
    MainWindow w;
    const StationPosition precise { 51.12345678901, -1.98765432109, 100.004, 52.996 };
    w.averagingEngine().setReferenceLocation(precise);
    const QDateTime received(QDate(2026, 12, 5), QTime(21, 30, 15), Qt::UTC);
    w.station().state().receiverUtcDateTime.setDateTime(received);
    w.station().clockDisplay().setPpsConfigured(false);   // each time message redraws
    w.station().clockDisplay().timeMessage(w.station().now(), received);
    w.station().updateClockPanel();
    auto *sidereal = w.findChild<QLabel *>(QStringLiteral("SiderealLabel"));
    const double lmstBefore = shownLmst(sidereal);

    w.action(QStringLiteral("actionSet_Reference_Location"))->trigger();
    ReferenceLocationDialog *d = w.referenceLocationDialog();
    auto *name = d->findChild<QComboBox *>(QStringLiteral("IDC_REFDLG_NAME"));
    QLineEdit *field[4];
    for (int i = 0; i < 4; ++i)
        field[i] = d->findChild<QLineEdit *>(QLatin1String(
            std::array { "IDC_REFDLG_LATITUDE", "IDC_REFDLG_LONGITUDE", "IDC_REFDLG_ALT_WGS84", "IDC_REFDLG_ALT_MSL" }[i]));

    // Saved untouched, the fields keep the stored doubles, not the 7 decimals shown.
    name->setEditText(QStringLiteral("Roof"));
    d->findChild<QPushButton *>(QStringLiteral("IDC_REFDLG_SAVE_NAME"))->click();
    StationPosition stored;
    QSettings s;
    QVERIFY(ReferenceLocation::Database::load(s, QStringLiteral("Roof"), stored));
    QCOMPARE(stored.lat, precise.lat);

    // Refusals keep the dialog open: a sign with a hemisphere, one altitude changed alone.
    typeInto(field[0], QStringLiteral("-45 S"));
    QCOMPARE(field[0]->styleSheet(), QStringLiteral("color:red"));
    d->accept();
    typeInto(field[0], QStringLiteral("-45 30"));
    typeInto(field[1], QStringLiteral("12 30 36 E"));
    typeInto(field[3], QStringLiteral("480"));
    d->accept();
    QCOMPARE(boxes, QStringList({ "Numeric Error|Do not use both the \"-\" sign and N, S, E, or W indicators.",
                                  "Altitude(MSL) changed.|Altitude(WGS84) must be changed to match." }));
    QVERIFY(d->isVisible() && d->mslEdited());
    // A loaded record counts as untouched.
    d->IDC_REFDLG_NAME_activated(name->findText(QStringLiteral("Roof")));
    QVERIFY(!d->mslEdited() && !d->wgs84Edited());

    const QString typed[4] = { "-45 30", "12 30 36 E", "527.5", "480" };
    for (int i = 0; i < 4; ++i)
        typeInto(field[i], typed[i]);
    d->accept();
    QVERIFY(!d->isVisible());
    const StationPosition ref = w.averagingEngine().referencePosition();
    QVERIFY(ref.lat == -45.5 && ref.lon == 12.51 && ref.altGps == 527.5 && ref.altMsl == 480.0);
    QCOMPARE(s.value(QStringLiteral("GpsNavDialog/RefLocation/Longitude")).toString(),
             QStringLiteral("12.5099999999999998"));
    QCOMPARE(s.value(QStringLiteral("GpsNavDialog/RefLocation/MSL Altitude")).toString(),
             QStringLiteral("480.0000000000000000"));

    // The clock panel's LMST moved by the longitude difference (hundredths truncated).
    w.station().updateClockPanel();
    const double expected = (12.51 - precise.lon) / 360.0 * 86400.0;
    QVERIFY2(std::abs(shownLmst(sidereal) - lmstBefore - expected) < 0.02, qPrintable(sidereal->text()));
    MessageBoxes::setHandler({});
}

CHRONODE_TEST_GUI_MAIN(TestUiReference)
#include "tst_ui_reference.moc"
