#include "support/TestSupport.h"

#include "core/ReceiverState.h"
#include "app/Station.h"
#include "app/ui/MainWindow.h"
#include "core/ui/MessageBoxes.h"
#include "averaging/AveragingEngine.h"
#include "averaging/ui/GpsNavDialog.h"
#include "receiver/setup/ReceiverSettings.h"
#include "receiver/ui/GpsRxDialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

class TestGpsRxDialog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void showsDefaultButtonsWhenNothingStored()
    {
        TestSupport::TemporarySettings temp;
        GpsRxDialog d;
        QCOMPARE(d.windowTitle(), QStringLiteral("GPS Receiver Mode Selections"));
        QCOMPARE(d.GpsModeGroup->checkedId(), 0);
        QCOMPARE(d.GpsModeGroup->checkedButton()->objectName(), QStringLiteral("IDC_GPS_MODE_3D_RADIO"));
        QCOMPARE(d.ApplicationTypeGroup->checkedId(), 4);
        QCOMPARE(d.GeometryGroup->checkedId(), 1);
        QCOMPARE(d.PpsDurationGroup->checkedButton()->text(), QStringLiteral("200 msec (long)"));
        QCOMPARE(d.ElevationMaskSpinBox->value(), 5);
        QCOMPARE(d.DgpsRateSpinBox->value(), 30);
        // The missing keys were written back with their defaults.
        QCOMPARE(QSettings().value(ReceiverSettings::keyGpsMode()).toInt(), -1);
    }

    void acceptStoresAndApplies()
    {
        TestSupport::TemporarySettings temp;
        {
            QSettings s;
            s.setValue(ReceiverSettings::keyGpsMode(), 1);
            s.setValue(ReceiverSettings::keySatelliteIgnoreMask(), QStringLiteral("00000004"));
        }
        GpsRxDialog d;
        QCOMPARE(d.GpsModeGroup->checkedId(), 1);
        QList<ReceiverSettings> applied;
        d.applyReceiverSettings = [&](const ReceiverSettings &r) {
            // Stored before the commands go out.
            QCOMPARE(QSettings().value(ReceiverSettings::keyGpsMode()).toInt(), 2);
            applied << r;
        };
        d.GpsModeGroup->button(2)->click();
        d.ApplicationTypeGroup->button(3)->click();
        d.PpsDurationGroup->button(1)->click();
        d.ElevationMaskSpinBox->setValue(10);
        d.LocalTimeCheckBox->setChecked(true);
        d.accept();

        QCOMPARE(applied.size(), 1);
        const ReceiverSettings r = applied.first();
        QCOMPARE(r.gpsMode, 2);
        QCOMPARE(r.applicationType, 3);
        QVERIFY(r.shortPulse());
        QCOMPARE(r.elevationMask, 10);
        QVERIFY(r.localTime);
        QCOMPARE(r.satelliteIgnoreMask, 4u);   // kept though the dialog has no widget for it
        QSettings s;
        QCOMPARE(ReceiverSettings::load(s), r);
        QVERIFY(!s.value(ReceiverSettings::keyGeometry()).toByteArray().isEmpty());
    }

    void cancelStoresNothing()
    {
        TestSupport::TemporarySettings temp;
        GpsRxDialog d;
        bool applied = false;
        d.applyReceiverSettings = [&](const ReceiverSettings &) { applied = true; };
        d.GpsModeGroup->button(2)->click();
        d.reject();
        QVERIFY(!applied);
        QCOMPARE(QSettings().value(ReceiverSettings::keyGpsMode()).toInt(), -1);
    }

    void restoreButtonsResetTheirGroupOnly()
    {
        TestSupport::TemporarySettings temp;
        GpsRxDialog d;
        d.GpsModeGroup->button(2)->click();
        d.ElevationMaskSpinBox->setValue(20);
        d.PpsRateGroup->button(1)->click();
        d.AlignMessagesCheckBox->setChecked(true);
        d.DgpsActivateCheckBox->setChecked(true);
        d.DgpsRateSpinBox->setValue(5);

        d.RestoreNavigationButton->click();
        QCOMPARE(d.GpsModeGroup->checkedId(), 0);
        QCOMPARE(d.ElevationMaskSpinBox->value(), 5);
        QCOMPARE(d.PpsRateGroup->checkedId(), 1);
        QVERIFY(d.DgpsActivateCheckBox->isChecked());

        d.RestoreTimingButton->click();
        QCOMPARE(d.PpsRateGroup->checkedId(), 0);
        QVERIFY(!d.AlignMessagesCheckBox->isChecked());
        QVERIFY(d.DgpsActivateCheckBox->isChecked());

        d.RestoreSpecialButton->click();
        QVERIFY(!d.DgpsActivateCheckBox->isChecked());
        QCOMPARE(d.DgpsRateSpinBox->value(), 30);
    }

    // The rules themselves are tst_receiversettings' part; here the label, the OK button and
    // the re-check on every click.
    void constellationRules_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("model");
        QTest::addColumn<double>("firmware");
        QTest::addColumn<int>("mask");
        QTest::addColumn<bool>("active");
        QTest::addColumn<QString>("rule");
        QTest::newRow("M8T GPS+GLONASS") << 2 << 25 << 3.10 << 0x03 << true << QString();
        QTest::newRow("M8T QZSS alone") << 2 << 25 << 3.10 << 0x10 << true
                                        << QStringLiteral("QZSS is only available together with GPS");
        QTest::newRow("M12+ inactive") << 2 << 4 << 3.10 << 0x10 << false << QString();
        QTest::newRow("M8T in NMEA inactive") << 1 << 25 << 3.10 << 0x10 << false << QString();
    }
    void constellationRules()
    {
        QFETCH(int, mode);
        QFETCH(int, model);
        QFETCH(double, firmware);
        QFETCH(int, mask);
        QFETCH(bool, active);
        QFETCH(QString, rule);
        TestSupport::TemporarySettings temp;
        GpsRxDialog d;
        d.setReceiver(mode, model, firmware);
        QCOMPARE(d.ConstellationGroup->isEnabled(), active);
        ReceiverSettings r = d.currentSettings();
        r.setConstellationMask(uint8_t(mask));
        d.showSettings(r);
        QCOMPARE(d.ConstellationRuleLabel->text(), rule);
        QCOMPARE(d.OkButton->isEnabled(), rule.isEmpty());

        // Every click re-checks: clearing the boxes clears the rule.
        for (QCheckBox *c : { d.SatGpsCheckBox, d.SatGlonassCheckBox, d.SatGalileoCheckBox, d.SatBeidouCheckBox,
                              d.SatQzssCheckBox, d.SatSbasCheckBox })
            c->setChecked(false);
        QVERIFY(d.ConstellationRuleLabel->text().isEmpty());
        QVERIFY(d.OkButton->isEnabled());
    }

    // The main window's menu opens the dialog; the stored navigation mode reaches the averaging at
    // start-up and again when OK applies a new one.
    void mainWindowMenuAppliesSettings()
    {
        TestSupport::TemporarySettings temp;
        MessageBoxes::setHandler([](const MessageBoxes::Box &) { return QMessageBox::Ok; });
        {
            QSettings s;
            s.setValue(QStringLiteral("GpsPortDialog/GPS Serial Port"), QStringLiteral("OFF"));
            s.setValue(ReceiverSettings::keyGpsMode(), 2);
        }
        {
            MainWindow w;
            w.setReceiverConnector([] {});
            QCOMPARE(w.gpsNavDialog()->engine().gpsMode(), 2);
            QList<int> applied;
            connect(&w.station(), &Station::receiverSettingsApplied, this, [&](int mode, bool) { applied << mode; });

            w.action(QStringLiteral("actionSet_GPS_Receiver_Interface"))->trigger();
            GpsRxDialog *d = w.gpsRxDialog();
            QVERIFY(d);
            QVERIFY(d->isVisible());
            QCOMPARE(d->GpsModeGroup->checkedId(), 2);
            d->GpsModeGroup->button(1)->click();
            d->accept();
            QCOMPARE(applied, QList<int> { 1 });
            QCOMPARE(w.gpsNavDialog()->engine().gpsMode(), 1);
            QCOMPARE(QSettings().value(ReceiverSettings::keyGpsMode()).toInt(), 1);
            w.station().setClosing();
        }
        MessageBoxes::setHandler({});
    }
};

QTEST_MAIN(TestGpsRxDialog)
#include "tst_ui_gpsrxdialog.moc"
