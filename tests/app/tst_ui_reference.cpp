// The reference location from the main window's menu: the dialog's checks, its database and
// what OK changes in the settings store, the averaging engine and the clock panel.

#include "app/ui/MainWindow.h"
#include "averaging/ReferenceLocation.h"
#include "averaging/ui/ReferenceLocationDialog.h"
#include "core/ui/MessageBoxes.h"
#include "receiver/ui/SatelliteSelect.h"
#include "support/RecordingAveraging.h"
#include "support/TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
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
    void init()
    {
        m_settings = std::make_unique<TestSupport::TemporarySettings>();
        QSettings().setValue(QStringLiteral("GpsPortDialog/GPS Serial Port"), QStringLiteral("OFF"));
        m_boxes.clear();
        MessageBoxes::setHandler([this](const MessageBoxes::Box &box) {
            m_boxes << box.title + QLatin1Char('|') + box.text;
            return QMessageBox::Ok;
        });
    }
    void cleanup()
    {
        MessageBoxes::setHandler({});
        m_settings.reset();
    }

    void okSetsTheReferenceEverywhere()
    {
        MainWindow w;
        Station &station = w.station();
        station.state().receiverUtcDateTime.setDateTime(QDateTime(QDate(2026, 12, 5), QTime(21, 30, 15), Qt::UTC));
        station.updateClockPanel();
        auto *sidereal = w.findChild<QLabel *>(QStringLiteral("SiderealLabel"));
        QVERIFY(sidereal);
        const double lmstBefore = shownLmst(sidereal);
        const double lonBefore = w.averagingEngine().referencePosition().lon;

        w.action(QStringLiteral("actionSet_Reference_Location"))->trigger();
        ReferenceLocationDialog *d = w.referenceLocationDialog();
        QVERIFY(d->isVisible());
        auto *lat = d->findChild<QLineEdit *>(QStringLiteral("IDC_REFDLG_LATITUDE"));
        auto *lon = d->findChild<QLineEdit *>(QStringLiteral("IDC_REFDLG_LONGITUDE"));
        auto *wgs = d->findChild<QLineEdit *>(QStringLiteral("IDC_REFDLG_ALT_WGS84"));
        auto *msl = d->findChild<QLineEdit *>(QStringLiteral("IDC_REFDLG_ALT_MSL"));
        typeInto(lat, QStringLiteral("-45 30"));
        typeInto(lon, QStringLiteral("12 30 36 E"));
        typeInto(msl, QStringLiteral("480"));

        // One altitude alone is refused, the dialog stays open.
        d->accept();
        QCOMPARE(m_boxes, QStringList { "Altitude(MSL) changed.|Altitude(WGS84) must be changed to match." });
        QVERIFY(d->isVisible());
        typeInto(wgs, QStringLiteral("527.5"));
        d->accept();
        QVERIFY(!d->isVisible());

        const StationPosition ref = w.averagingEngine().referencePosition();
        QCOMPARE(ref.lat, -45.5);
        QCOMPARE(ref.lon, 12.51);
        QCOMPARE(ref.altGps, 527.5);
        QCOMPARE(ref.altMsl, 480.0);
        QSettings s;
        QCOMPARE(s.value(QStringLiteral("GpsNavDialog/RefLocation/Latitude")).toString(),
                 QStringLiteral("-45.5000000000000000"));
        QCOMPARE(s.value(QStringLiteral("GpsNavDialog/RefLocation/Longitude")).toString(),
                 QStringLiteral("12.5099999999999998"));

        // The clock panel's LMST moved by the longitude difference (hundredths truncated).
        station.updateClockPanel();
        const double expected = (12.51 - lonBefore) / 360.0 * 86400.0;
        QVERIFY2(std::abs(shownLmst(sidereal) - lmstBefore - expected) < 0.02, qPrintable(sidereal->text()));
    }

    // Untouched fields keep the stored double, a database record loads as untouched, and a
    // refused coordinate is explained while the dialog stays open.
    void fieldsAndDatabase()
    {
        MainWindow w;
        const StationPosition precise { 51.12345678901, -1.98765432109, 100.004, 52.996 };
        w.averagingEngine().setReferenceLocation(precise);
        w.action(QStringLiteral("actionSet_Reference_Location"))->trigger();
        ReferenceLocationDialog *d = w.referenceLocationDialog();
        auto *name = d->findChild<QComboBox *>(QStringLiteral("IDC_REFDLG_NAME"));
        auto *lat = d->findChild<QLineEdit *>(QStringLiteral("IDC_REFDLG_LATITUDE"));
        name->setEditText(QStringLiteral("Roof"));
        d->findChild<QPushButton *>(QStringLiteral("IDC_REFDLG_SAVE_NAME"))->click();
        StationPosition stored;
        QSettings s;
        QVERIFY(ReferenceLocation::Database::load(s, QStringLiteral("Roof"), stored));
        QCOMPARE(stored.lat, precise.lat);   // not the 7 decimals shown

        typeInto(d->findChild<QLineEdit *>(QStringLiteral("IDC_REFDLG_ALT_MSL")), QStringLiteral("60"));
        typeInto(lat, QStringLiteral("-45 S"));
        QCOMPARE(lat->styleSheet(), QStringLiteral("color:red"));
        d->accept();
        QCOMPARE(m_boxes, QStringList { "Numeric Error|Do not use both the \"-\" sign and N, S, E, or W indicators." });
        QVERIFY(d->isVisible() && d->mslEdited());
        d->IDC_REFDLG_NAME_activated(name->findText(QStringLiteral("Roof")));
        QVERIFY(!d->mslEdited() && !d->wgs84Edited());
        d->accept();
        QCOMPARE(w.averagingEngine().referencePosition().lon, precise.lon);
    }

    // OK in "Satellite Select" stores the mask and sends the settings again, mask included.
    void satelliteSelectResendsTheMask()
    {
        MainWindow w;
        RecordingCommands sink;
        w.station().setCommandSink(&sink);
        w.station().state().receiverMode = ReceiverMode::MotorolaBinary;
        w.station().state().channelCount = 12;
        w.action(QStringLiteral("actionSatellite_Select"))->trigger();
        SatelliteSelect *d = w.satelliteSelectDialog();
        d->findChild<QCheckBox *>(QStringLiteral("IDC_SAT_PRN_1"))->click();
        d->findChild<QCheckBox *>(QStringLiteral("IDC_SAT_PRN_32"))->click();
        d->accept();
        QCOMPARE(QSettings().value(QStringLiteral("GpsRxDialog/Satellite Ignore Mask")).toString(),
                 QStringLiteral("80000001"));
        QVERIFY(sink.sent.contains(QByteArray("@@Am") + QByteArray::fromHex("007ffffffe")));
        w.station().setCommandSink(nullptr);
    }

private:
    std::unique_ptr<TestSupport::TemporarySettings> m_settings;
    QStringList m_boxes;
};

CHRONODE_TEST_GUI_MAIN(TestUiReference)
#include "tst_ui_reference.moc"
