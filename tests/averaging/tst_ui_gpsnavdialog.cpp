#include "averaging/ui/GpsNavDialog.h"

#include "core/ReceiverState.h"
#include "core/ui/MessageBoxes.h"

#include "support/TestSupport.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>
#include <memory>

namespace {

const QDateTime kNow(QDate(2026, 3, 1), QTime(0, 0, 7), Qt::UTC);

template<typename T>
T *child(QObject *parent, const char *name)
{
    T *w = parent->findChild<T *>(QLatin1String(name));
    if (!w)
        qFatal("missing child %s", name);
    return w;
}

QPushButton *okButton(GpsNavDialog &d)
{
    return d.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok);
}

void click(GpsNavDialog &d, const char *name) { QTest::mouseClick(child<QPushButton>(&d, name), Qt::LeftButton); }

} // namespace

// The station's engine as the station starts it: settings loaded, averages restored.
AveragingEngine &startedEngine(AveragingEngine &engine, const ReceiverState *state = nullptr)
{
    engine.setReceiverState(state);
    QSettings settings;
    engine.startUp(settings);
    return engine;
}

class TestGpsNavDialog : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        m_settings = std::make_unique<TestSupport::TemporarySettings>();
        m_boxes.clear();
        MessageBoxes::setHandler([this](const MessageBoxes::Box &box) {
            m_boxes << box;
            return QMessageBox::Ok;
        });
    }

    void cleanup()
    {
        MessageBoxes::setHandler({});
        m_settings.reset();
    }

    void validation_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("title");   // empty: the field passes
        QTest::addColumn<QString>("message");
        const QString extra = QStringLiteral("Extraneous characters in the field.");
        const QString limitRange = QStringLiteral("Field is out of range.\nMust be between 0 and 99999");
        const QString weightRange = QStringLiteral("Field is out of range.\nMust be between 0 and 99.0");
        QTest::newRow("limit ok") << "IDC_POS_FILTER_LIMIT" << "3600" << "" << "";
        QTest::newRow("limit plus") << "IDC_RMS_FILTER_LIMIT" << "+99999" << "" << "";
        QTest::newRow("limit zero") << "IDC_TIMING_FILTER_LIMIT" << "0" << "" << "";
        QTest::newRow("limit too big") << "IDC_POS_FILTER_LIMIT" << "100000" << "Numeric Error" << limitRange;
        QTest::newRow("limit minus") << "IDC_POS_FILTER_LIMIT" << "-5" << "Error" << extra;
        QTest::newRow("limit fraction") << "IDC_RMS_FILTER_LIMIT" << "28800.0" << "Error" << extra;
        QTest::newRow("limit letters") << "IDC_TIMING_FILTER_LIMIT" << "12a" << "Error" << extra;
        QTest::newRow("limit empty") << "IDC_POS_FILTER_LIMIT" << "" << "Error" << extra;
        QTest::newRow("weight ok") << "IDC_HDOP_WEIGHTING_VALUE" << "2.5" << "" << "";
        QTest::newRow("weight leading point") << "IDC_VDOP_WEIGHTING_VALUE" << ".5" << "" << "";
        QTest::newRow("weight top") << "IDC_TDOP_WEIGHTING_VALUE" << "99" << "" << "";
        QTest::newRow("weight above") << "IDC_TDOP_WEIGHTING_VALUE" << "99.5" << "Numeric Error" << weightRange;
        QTest::newRow("weight negative") << "IDC_HDOP_WEIGHTING_VALUE" << "-1" << "Numeric Error" << weightRange;
        QTest::newRow("weight trailing point") << "IDC_VDOP_WEIGHTING_VALUE" << "1." << "Error" << extra;
        QTest::newRow("weight junk") << "IDC_HDOP_WEIGHTING_VALUE" << "1.5x" << "Error" << extra;
    }
    void validation()
    {
        QFETCH(QString, field);
        QFETCH(QString, text);
        QFETCH(QString, title);
        QFETCH(QString, message);
        const bool passes = title.isEmpty();

        AveragingEngine dEngine;
        GpsNavDialog d(startedEngine(dEngine));
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        auto *edit = child<QLineEdit>(&d, field.toLatin1().constData());
        edit->setFocus();
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
        // while typing: colour and OK button only, no box
        QCOMPARE(edit->styleSheet(), passes ? QStringLiteral("color:black") : QStringLiteral("color:red"));
        QCOMPARE(okButton(d)->isEnabled(), passes);
        QVERIFY(m_boxes.isEmpty());

        // leaving the field explains the failure and keeps the focus there
        QMetaObject::invokeMethod(edit, "editingFinished");
        if (passes) {
            QVERIFY(m_boxes.isEmpty());
        } else {
            QCOMPARE(m_boxes.size(), 1);
            QCOMPARE(m_boxes[0].title, title);
            QCOMPARE(m_boxes[0].text, message);
            QVERIFY(edit->hasFocus());
        }

        // a bad field keeps the dialog open on OK
        m_boxes.clear();
        d.accept();
        QCOMPARE(d.isVisible(), !passes);
        QCOMPARE(m_boxes.size(), passes ? 0 : 1);
    }

    void okWritesSettings()
    {
        AveragingEngine dEngine;
        GpsNavDialog d(startedEngine(dEngine));
        d.engine().setFixType(3);
        d.engine().setTimingSatellites(6);
        d.engine().updateLockStatus(0, kNow);
        d.engine().updatePosition(41.7658, -72.6734, 20.0, 52.0, 0);
        d.engine().updatePosition(41.7659, -72.6735, 21.0, 53.0, 0);
        d.show();
        // opening keeps the two positions averaged so far
        d.engine().updatePosition(41.7658, -72.6734, 20.0, 52.0, 0);
        d.engine().updatePosition(41.7660, -72.6736, 22.0, 54.0, 0);

        child<QLineEdit>(&d, "IDC_POS_FILTER_LIMIT")->setText("3600");
        child<QLineEdit>(&d, "IDC_RMS_FILTER_LIMIT")->setText("+7200");
        child<QLineEdit>(&d, "IDC_HDOP_WEIGHTING_VALUE")->setText("3");
        child<QLineEdit>(&d, "IDC_TDOP_WEIGHTING_VALUE")->setText(".5");
        child<QCheckBox>(&d, "IDC_USE_DOP_WEIGHTING")->setChecked(false);
        child<QCheckBox>(&d, "IDC_CONT_ON_PROG_RESTART")->setChecked(true);
        QTest::mouseClick(okButton(d), Qt::LeftButton);
        QVERIFY(!d.isVisible());
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QVERIFY(m_boxes.isEmpty());

        QCOMPARE(d.engine().positionWeightLimit(), 3600.0);
        QCOMPARE(d.engine().rmsWeightLimit(), 7200.0);
        QCOMPARE(d.engine().hdopWeight(), 3.0);
        QVERIFY(!d.engine().useDopWeighting());
        QVERIFY(d.engine().continueOnRestart());

        // Stored in the formats tst_averaging's persistenceRoundTrip pins.
        QVERIFY(!QSettings().value("GpsNavDialog/geometry").toByteArray().isEmpty());

        // A new program run continues from the saved averages.
        AveragingEngine nextEngine;
        GpsNavDialog next(startedEngine(nextEngine));
        QVERIFY(!next.engine().seedPending());
        QCOMPARE(next.engine().positionCount(), 5.0);
        QCOMPARE(next.engine().avgLat(), d.engine().avgLat());
    }

    void cancelWritesOnlyGeometry()
    {
        AveragingEngine dEngine;
        GpsNavDialog d(startedEngine(dEngine));
        d.show();
        child<QLineEdit>(&d, "IDC_POS_FILTER_LIMIT")->setText("3600");
        child<QCheckBox>(&d, "IDC_RESTART_AVG_ON_UNLOCK")->setChecked(false);
        QTest::mouseClick(d.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Cancel), Qt::LeftButton);
        QVERIFY(!d.isVisible());
        QCOMPARE(d.result(), int(QDialog::Rejected));
        QCOMPARE(d.engine().positionWeightLimit(), 28800.0);
        QVERIFY(d.engine().restartOnUnlock());
        QSettings s;
        QCOMPARE(s.value("GpsNavDialog/Averaging Data/Position Weight Limit").toString(), QStringLiteral("028800.0"));
        QCOMPARE(s.value("GpsNavDialog/Averaging Data/Restart Averages On Unlock").toBool(), true);
        QVERIFY(!s.contains("GpsNavDialog/Averaging Data/Averages - Position"));
        QVERIFY(!s.value("GpsNavDialog/geometry").toByteArray().isEmpty());

        // reopening shows the stored values again
        d.show();
        QCOMPARE(child<QLineEdit>(&d, "IDC_POS_FILTER_LIMIT")->text(), QStringLiteral("28800"));
        QVERIFY(child<QCheckBox>(&d, "IDC_RESTART_AVG_ON_UNLOCK")->isChecked());
    }

    void defaultsButton()
    {
        {
            QSettings s;
            s.setValue("GpsNavDialog/Averaging Data/Position Weight Limit", "000100.0");
            s.setValue("GpsNavDialog/Averaging Data/HDOP Weight", "09.0");
            s.setValue("GpsNavDialog/Averaging Data/Use DOP Weighting", false);
            s.setValue("GpsNavDialog/Averaging Data/Restart Averages On Startup", false);
        }
        AveragingEngine dEngine;
        GpsNavDialog d(startedEngine(dEngine));
        d.show();
        QCOMPARE(child<QLineEdit>(&d, "IDC_POS_FILTER_LIMIT")->text(), QStringLiteral("100"));
        child<QLineEdit>(&d, "IDC_VDOP_WEIGHTING_VALUE")->setText("abc");
        click(d, "IDC_AVERAGING_DEFAULTS");
        QCOMPARE(child<QLineEdit>(&d, "IDC_POS_FILTER_LIMIT")->text(), QStringLiteral("28800"));
        QCOMPARE(child<QLineEdit>(&d, "IDC_RMS_FILTER_LIMIT")->text(), QStringLiteral("86400"));
        QCOMPARE(child<QLineEdit>(&d, "IDC_TIMING_FILTER_LIMIT")->text(), QStringLiteral("28800"));
        QCOMPARE(child<QLineEdit>(&d, "IDC_HDOP_WEIGHTING_VALUE")->text(), QStringLiteral("1.5"));
        QCOMPARE(child<QLineEdit>(&d, "IDC_VDOP_WEIGHTING_VALUE")->text(), QStringLiteral("2.0"));
        QCOMPARE(child<QLineEdit>(&d, "IDC_VDOP_WEIGHTING_VALUE")->styleSheet(), QStringLiteral("color:black"));
        QCOMPARE(child<QLineEdit>(&d, "IDC_TDOP_WEIGHTING_VALUE")->text(), QStringLiteral("1.5"));
        QVERIFY(child<QCheckBox>(&d, "IDC_USE_DOP_WEIGHTING")->isChecked());
        QVERIFY(!child<QCheckBox>(&d, "IDC_RESTART_AVG_ON_UNLOCK")->isChecked());
        QVERIFY(child<QCheckBox>(&d, "IDC_CONT_ON_PROG_RESTART")->isChecked());
        QVERIFY(okButton(d)->isEnabled());
        // nothing is stored until OK
        QCOMPARE(d.engine().positionWeightLimit(), 100.0);
        QCOMPARE(QSettings().value("GpsNavDialog/Averaging Data/HDOP Weight").toString(), QStringLiteral("09.0"));
        d.accept();
        QCOMPARE(QSettings().value("GpsNavDialog/Averaging Data/HDOP Weight").toString(), QStringLiteral("01.5"));
        QCOMPARE(QSettings().value("GpsNavDialog/Averaging Data/Restart Averages On Unlock").toBool(), false);
    }

    void tableAndCounters()
    {
        AveragingEngine dEngine;
        GpsNavDialog d(startedEngine(dEngine));
        d.show();
        AveragingEngine &e = d.engine();
        e.setReferenceLocation(0.0, 0.0, 10.0, 5.0);   // one metre of latitude is 1/111111.1 degree
        e.setUseDopWeighting(false);
        e.setFixType(3);
        e.setTimingErrorTerms(10, 100);
        e.setTimingSatellites(5);
        e.updateLockStatus(0, kNow);
        e.updatePosition(3.0 / 111111.1, 4.0 / 111111.1, 12.5, 7.25, 0);   // seeds the averages
        auto *table = child<QTableWidget>(&d, "AveragingTableWidget");
        // Ref-Avg row: -3 m, -4 m, 5 m in 2D, -2.5 m and -2.25 m
        QCOMPARE(table->item(0, 0)->text(), QStringLiteral("  -3.00"));
        QCOMPARE(table->item(0, 1)->text(), QStringLiteral("  -4.00"));
        QCOMPARE(table->item(0, 2)->text(), QStringLiteral("    5.00"));
        QCOMPARE(table->item(0, 3)->text(), QStringLiteral("  -2.50"));
        QCOMPARE(table->item(0, 4)->text(), QStringLiteral("  -2.25"));
        // Its RMS after one pass over an initial 0 with counter 2: sqrt(x^2 / 2)
        QCOMPARE(table->item(1, 2)->text(), QString::asprintf("%8.2f", 5.0 / std::sqrt(2.0)));
        QCOMPARE(table->item(1, 0)->text(), QStringLiteral("   2.12"));
        // Avg-Cur is zero on the seeding fix
        QCOMPARE(table->item(2, 0)->text(), QStringLiteral("   0.00"));
        QCOMPARE(table->item(3, 2)->text(), QStringLiteral("    0.00"));
        QCOMPARE(table->item(4, 3)->text(), QStringLiteral("  -2.50"));

        QCOMPARE(child<QLineEdit>(&d, "IDC_POS_FILTER_COUNTER")->text(), QStringLiteral("2"));
        QCOMPARE(child<QLineEdit>(&d, "IDC_RMS_FILTER_COUNTER")->text(), QStringLiteral("2"));
        QCOMPARE(child<QLineEdit>(&d, "IDC_TIMING_FILTER_COUNTER")->text(), QStringLiteral("2"));
        QCOMPARE(child<QLabel>(&d, "IDC_LOCKED_SINCE")->text(), QStringLiteral("01-Mar-2026 00:00:07 UTC"));
        QCOMPARE(child<QLabel>(&d, "IDC_TIME_ACCURACY_ESTIMATE")->text(),
                 QStringLiteral("Tsigma 164 nsec (max 164, average  82, min 164)"));

        e.setTimingSatellites(2);
        e.updateLockStatus(0, kNow.addSecs(1));
        QCOMPARE(child<QLineEdit>(&d, "IDC_UNLOCK_COUNTER")->text(), QStringLiteral("1"));
        QCOMPARE(child<QLabel>(&d, "IDC_LOCKED_SINCE")->text(), QString());
        e.updatePosition(0, 0, 0, 0, 0);
        QCOMPARE(child<QLabel>(&d, "IDC_TIME_ACCURACY_ESTIMATE")->text(),
                 QStringLiteral("No Timing Solution. Not enough satellites tracked."));
        QCOMPARE(child<QLineEdit>(&d, "IDC_POS_FILTER_COUNTER")->text(), QStringLiteral("1"));
        QCOMPARE(table->item(0, 2)->text(), QStringLiteral("    0.00"));
    }

    void dopSwitchOffDisablesFields()
    {
        ReceiverState state;
        state.receiverMode = ReceiverMode::MotorolaBinary;
        state.receiverModel = ReceiverModelCode::M12M;
        AveragingEngine dEngine;
        GpsNavDialog d(startedEngine(dEngine, &state));
        d.show();
        QVERIFY(!d.engine().useDopWeighting());
        QVERIFY(!child<QCheckBox>(&d, "IDC_USE_DOP_WEIGHTING")->isEnabled());
        QVERIFY(!child<QCheckBox>(&d, "IDC_USE_DOP_WEIGHTING")->isChecked());
        QVERIFY(!child<QLineEdit>(&d, "IDC_HDOP_WEIGHTING_VALUE")->isEnabled());
        QVERIFY(!child<QLineEdit>(&d, "IDC_TDOP_WEIGHTING_VALUE")->isEnabled());
        d.accept();
        QCOMPARE(QSettings().value("GpsNavDialog/Averaging Data/Use DOP Weighting").toBool(), false);

        // A VP reports usable DOPs: a receiver initialisation brings the fields back.
        state.receiverModel = ReceiverModelCode::VP;
        QSettings().setValue("GpsNavDialog/Averaging Data/Use DOP Weighting", true);
        d.reloadSettings();
        QVERIFY(d.engine().useDopWeighting());
        QVERIFY(child<QCheckBox>(&d, "IDC_USE_DOP_WEIGHTING")->isEnabled());
        QVERIFY(child<QCheckBox>(&d, "IDC_USE_DOP_WEIGHTING")->isChecked());
        QVERIFY(child<QLineEdit>(&d, "IDC_VDOP_WEIGHTING_VALUE")->isEnabled());
    }

    // Opening and cancelling the dialog keeps what was averaged since the averages were saved.
    void openingKeepsTheLiveAverages()
    {
        QSettings().setValue("GpsNavDialog/Averaging Data/Restart Averages On Startup", true);
        QSettings().setValue("GpsNavDialog/Averaging Data/Averages - Weights", "500 400 300 200");
        AveragingEngine dEngine;
        GpsNavDialog d(startedEngine(dEngine));
        QCOMPARE(d.engine().positionCount(), 500.0);
        d.engine().resetPositionFilter();
        d.show();
        QTest::mouseClick(d.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Cancel), Qt::LeftButton);
        QCOMPARE(d.engine().positionCount(), 1.0);
        QCOMPARE(child<QLineEdit>(&d, "IDC_POS_FILTER_COUNTER")->text().toDouble(), 1.0);
    }

private:
    std::unique_ptr<TestSupport::TemporarySettings> m_settings;
    QList<MessageBoxes::Box> m_boxes;
};

QTEST_MAIN(TestGpsNavDialog)
#include "tst_ui_gpsnavdialog.moc"
