#include "support/TestSupport.h"
#include "core/ui/MessageBoxes.h"
#include "tic/ui/CoaxDialog.h"
#include "tic/ui/TimingDialog.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

class TestTimingDialogs : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void coaxCalculator();
    void timingFields_data();
    void timingFields();
    void timingTotalsAndStore();
};

namespace {

QPushButton *okOf(QDialog &d)
{
    return d.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok);
}

void type(QLineEdit *field, const QString &text)
{
    field->selectAll();
    QTest::keyClicks(field, text);
}

} // namespace

void TestTimingDialogs::coaxCalculator()
{
    TestSupport::TemporarySettings temp;
    CoaxDialog d(QStringLiteral("Antenna Coax Calculator"));
    type(d.IDC_DC_LENGTH1, QStringLiteral("100"));
    d.IDC_DC_VF1->setCurrentText(QStringLiteral("LMR-240"));
    QCOMPARE(d.IDC_DC_DELAY1->text(), QStringLiteral("121.0"));
    QCOMPARE(d.IDC_DC_TOTAL_DELAY->text(), QStringLiteral("121.0"));
    QVERIFY(okOf(d)->isEnabled());
    d.IDC_DC_VF1->setCurrentText(QStringLiteral("no such cable"));
    QVERIFY(!okOf(d)->isEnabled());
    d.IDC_DC_VF1->setCurrentText(QStringLiteral(".66"));
    QVERIFY(okOf(d)->isEnabled());
    type(d.IDC_DC_LENGTH2, QStringLiteral("12a"));
    QCOMPARE(d.IDC_DC_LENGTH2->styleSheet(), QStringLiteral("color:red"));
    QVERIFY(!okOf(d)->isEnabled());
    type(d.IDC_DC_LENGTH2, QStringLiteral("0"));
    d.accept();
    QCOMPARE(d.result(), int(QDialog::Accepted));
    QSettings s;
    QCOMPARE(s.value(QStringLiteral("Antenna Coax Calculator/dLength_1")).toInt(), 100);
    QCOMPARE(s.value(QStringLiteral("Antenna Coax Calculator/VelocityFactor_1")).toString(), QStringLiteral(".66"));
    QCOMPARE(d.totalDelayNs(), 154.0);   // 30.48 m / (0.66 c)
}

void TestTimingDialogs::timingFields_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("message");
    QTest::newRow("epoch range") << "IDC_TIMING_EPOCH" << "1000" << "Numeric Error"
                                 << "Field is out of range.\nMust be between 0 and 999";
    QTest::newRow("epoch decimal") << "IDC_TIMING_EPOCH" << "1.5" << "Error" << "Extraneous characters in the field.";
    QTest::newRow("fine range") << "IDC_TIMING_1PPS_OFFSET" << "1000" << "Numeric Error"
                                << "Field is out of range.\nMust be between 0.000 and 999.999";
    QTest::newRow("traim low") << "IDC_TIMING_TRAIM_LIMIT" << "100" << "Numeric Error"
                               << "Field is out of range.\nMust be between 250.000 and 1000.000";
    QTest::newRow("cable text") << "IDC_TIMING_ANTENNA_CABLE" << "12 ns" << "Error"
                                << "Extraneous characters in the field.";
}

void TestTimingDialogs::timingFields()
{
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(QString, title);
    QFETCH(QString, message);
    TestSupport::TemporarySettings temp;
    QList<MessageBoxes::Box> boxes;
    MessageBoxes::setHandler([&](const MessageBoxes::Box &b) {
        boxes << b;
        return QMessageBox::Ok;
    });
    TimingDialog d;
    auto *edit = d.findChild<QLineEdit *>(field);
    QVERIFY(edit);
    QVERIFY(okOf(d)->isEnabled());
    type(edit, text);
    QCOMPARE(edit->styleSheet(), QStringLiteral("color:red"));
    QVERIFY(!okOf(d)->isEnabled());
    Q_EMIT edit->editingFinished();
    MessageBoxes::setHandler({});
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].title, title);
    QCOMPARE(boxes[0].text, message);
    d.accept();
    QVERIFY(!QSettings().contains(TimingDelays::keyGeometry()));
}

void TestTimingDialogs::timingTotalsAndStore()
{
    TestSupport::TemporarySettings temp;
    TimingDialog d;
    QCOMPARE(d.IDC_TIMING_UTC_CORRECTION->text(), QStringLiteral("55"));
    type(d.IDC_TIMING_EPOCH, QStringLiteral("999"));
    type(d.IDC_TIMING_1PPS_OFFSET, QStringLiteral("500"));
    type(d.IDC_TIMING_ANTENNA_CABLE, QStringLiteral("121"));
    QCOMPARE(d.IDC_TIMING_TOTAL_EARLY->text(), QStringLiteral("-500"));
    QCOMPARE(d.IDC_TIMING_TOTAL_LATE->text(), QStringLiteral("999500"));
    QCOMPARE(d.IDC_TIMING_UTC_CORRECTION->text(), QStringLiteral("176"));
    d.SawtoothButtonGroup->button(2)->click();
    d.accept();
    QSettings s;
    QCOMPARE(s.value(TimingDelays::keyEpoch()).toString(), QStringLiteral("999"));
    QCOMPARE(s.value(TimingDelays::keyPpsDelay()).toString(), QStringLiteral("500.000"));
    QCOMPARE(s.value(TimingDelays::keyAntennaCable()).toString(), QStringLiteral("121.0"));
    QCOMPARE(s.value(TimingDelays::keySawtooth()).toString(), QStringLiteral("2"));
    d.on_Defaults_clicked();
    QCOMPARE(d.IDC_TIMING_RX_DELAY->text(), QStringLiteral("55.0"));
    QCOMPARE(d.IDC_TIMING_EPOCH->text(), QStringLiteral("0"));
}

QTEST_MAIN(TestTimingDialogs)
#include "tst_ui_timingdialogs.moc"
