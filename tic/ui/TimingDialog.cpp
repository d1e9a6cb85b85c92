#include "tic/ui/TimingDialog.h"

#include "core/ui/MessageBoxes.h"
#include "tic/ui/CoaxDialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QVBoxLayout>
#include <cmath>

TimingDialog::TimingDialog(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("TimingDialog"));
    setWindowTitle(QStringLiteral("Timing Setup"));

    IDC_TIMING_EPOCH = addField(QStringLiteral("IDC_TIMING_EPOCH"), { true, 0, 999 });
    IDC_TIMING_1PPS_OFFSET = addField(QStringLiteral("IDC_TIMING_1PPS_OFFSET"), { false, 0, 999.999 });
    IDC_TIMING_ANTENNA_CABLE = addField(QStringLiteral("IDC_TIMING_ANTENNA_CABLE"), { false, 0, 20000 });
    IDC_TIMING_MEASUREMENT_CABLE = addField(QStringLiteral("IDC_TIMING_MEASUREMENT_CABLE"), { false, 0, 20000 });
    IDC_TIMING_RX_DELAY = addField(QStringLiteral("IDC_TIMING_RX_DELAY"), { false, 0, 1000 });
    IDC_TIMING_EXTRA_DELAY = addField(QStringLiteral("IDC_TIMING_EXTRA_DELAY"), { false, 0, 999.999 });
    IDC_TIMING_TRAIM_LIMIT = addField(QStringLiteral("IDC_TIMING_TRAIM_LIMIT"), { false, 250, 1000 });
    IDC_TIMING_UTC_CORRECTION = new QLabel(this);
    IDC_TIMING_TOTAL_EARLY = new QLabel(this);
    IDC_TIMING_TOTAL_LATE = new QLabel(this);
    IDC_TIMING_AUTO_CORRECT = new QCheckBox(QStringLiteral("Auto correct TIC data"), this);
    IDC_TIMING_TRAIM_KILL = new QCheckBox(QStringLiteral("Kill 1pps on fail"), this);

    auto *epoch = new QGroupBox(QStringLiteral("Epoch Offset - Sets GPS 1PPS Pulses LATE"), this);
    auto *epochForm = new QFormLayout(epoch);
    auto *reset = new QPushButton(QStringLiteral("Reset"), epoch);
    epochForm->addRow(QStringLiteral("Epoch (Coarse)"), IDC_TIMING_EPOCH);
    epochForm->addRow(QString(), new QLabel(QStringLiteral("milliseconds"), epoch));
    epochForm->addRow(QStringLiteral("Offset (Fine)"), IDC_TIMING_1PPS_OFFSET);
    epochForm->addRow(QString(), new QLabel(QStringLiteral("microseconds"), epoch));
    epochForm->addRow(reset);

    auto *instruments = new QGroupBox(QStringLiteral("Instrumentation Offset - Sets GPS 1PPS Pulses EARLY"), this);
    auto *instrumentForm = new QFormLayout(instruments);
    AntennaCoaxButton = new QPushButton(QStringLiteral("Antenna Coax Calculator"), instruments);
    MeasurementCoaxButton = new QPushButton(QStringLiteral("Measurement Coax Calculator"), instruments);
    instrumentForm->addRow(QStringLiteral("Antenna Cable Delay"), IDC_TIMING_ANTENNA_CABLE);
    instrumentForm->addRow(QString(), AntennaCoaxButton);
    instrumentForm->addRow(QStringLiteral("Measurement Cable Delay"), IDC_TIMING_MEASUREMENT_CABLE);
    instrumentForm->addRow(QString(), MeasurementCoaxButton);
    instrumentForm->addRow(QStringLiteral("Internal Receiver Delay"), IDC_TIMING_RX_DELAY);
    instrumentForm->addRow(QStringLiteral("UTC Correction"), IDC_TIMING_UTC_CORRECTION);
    instrumentForm->addRow(QStringLiteral("Intentional Extra Early Offset"), IDC_TIMING_EXTRA_DELAY);

    auto *totals = new QGroupBox(QStringLiteral("Total 1 PPS offset from UTC"), this);
    auto *totalsRow = new QHBoxLayout(totals);
    totalsRow->addWidget(IDC_TIMING_TOTAL_EARLY);
    totalsRow->addWidget(IDC_TIMING_TOTAL_LATE);

    auto *sawtooth = new QGroupBox(QStringLiteral("Sawtooth Correction"), this);
    auto *sawtoothRow = new QHBoxLayout(sawtooth);
    SawtoothButtonGroup = new QButtonGroup(this);
    const char *modes[] = { "Automatic", "Add", "Subtract", "Off" };
    for (int id = 0; id < 4; ++id) {
        auto *b = new QRadioButton(QString::fromLatin1(modes[id]), sawtooth);
        SawtoothButtonGroup->addButton(b, id);
        sawtoothRow->addWidget(b);
    }

    auto *traim = new QGroupBox(QStringLiteral("T-RAIM"), this);
    auto *traimRow = new QHBoxLayout(traim);
    traimRow->addWidget(IDC_TIMING_TRAIM_KILL);
    traimRow->addWidget(new QLabel(QStringLiteral("Limit:"), traim));
    traimRow->addWidget(IDC_TIMING_TRAIM_LIMIT);
    traimRow->addWidget(new QLabel(QStringLiteral("nanoseconds"), traim));

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto *defaults = buttons->addButton(QStringLiteral("Defaults"), QDialogButtonBox::ResetRole);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &TimingDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &TimingDialog::reject);
    connect(defaults, &QPushButton::clicked, this, &TimingDialog::on_Defaults_clicked);
    connect(reset, &QPushButton::clicked, this, &TimingDialog::on_Reset_clicked);
    connect(AntennaCoaxButton, &QPushButton::clicked, this,
            [this] { runCoax(m_antennaCoax, AntennaCoaxButton->text(), IDC_TIMING_ANTENNA_CABLE); });
    connect(MeasurementCoaxButton, &QPushButton::clicked, this,
            [this] { runCoax(m_measurementCoax, MeasurementCoaxButton->text(), IDC_TIMING_MEASUREMENT_CABLE); });

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(epoch);
    layout->addWidget(instruments);
    layout->addWidget(totals);
    layout->addWidget(IDC_TIMING_AUTO_CORRECT);
    layout->addWidget(sawtooth);
    layout->addWidget(traim);
    layout->addWidget(buttons);

    loadFromSettings();
    const QByteArray geometry = QSettings().value(TimingDelays::keyGeometry()).toByteArray();
    if (!geometry.isEmpty())
        restoreGeometry(geometry);
}

QLineEdit *TimingDialog::addField(const QString &name, const FieldRule &rule)
{
    auto *edit = new QLineEdit(this);
    edit->setObjectName(name);
    m_fields.append({ edit, rule });
    const Field f = m_fields.last();
    connect(edit, &QLineEdit::textEdited, this, &TimingDialog::updateTotals);
    connect(edit, &QLineEdit::editingFinished, this, [this, f] { checkOnLeave(f); });
    return edit;
}

void TimingDialog::fill(const TimingDelays &d)
{
    IDC_TIMING_EPOCH->setText(QString::number(d.epochOffsetMs));
    IDC_TIMING_1PPS_OFFSET->setText(QString::asprintf("%.3f", d.ppsFineOffsetUs));
    IDC_TIMING_ANTENNA_CABLE->setText(QString::asprintf("%.1f", d.antennaCableDelayNs));
    IDC_TIMING_MEASUREMENT_CABLE->setText(QString::asprintf("%.1f", d.measurementCableDelayNs));
    IDC_TIMING_RX_DELAY->setText(QString::asprintf("%.1f", d.rxDelayNs));
    IDC_TIMING_EXTRA_DELAY->setText(QString::asprintf("%.3f", d.extraDelayUs));
    IDC_TIMING_TRAIM_LIMIT->setText(QString::asprintf("%.1f", d.traimLimitNs));
    IDC_TIMING_AUTO_CORRECT->setChecked(d.ticAutoCorrect);
    IDC_TIMING_TRAIM_KILL->setChecked(d.traimKill1pps);
    if (QAbstractButton *b = SawtoothButtonGroup->button(d.sawtoothMode))
        b->setChecked(true);
    updateTotals();
}

void TimingDialog::loadFromSettings()
{
    QSettings settings;
    fill(TimingDelays::load(settings));
}

TimingDelays TimingDialog::currentDelays() const
{
    TimingDelays d;
    d.epochOffsetMs = IDC_TIMING_EPOCH->text().trimmed().toInt();
    d.ppsFineOffsetUs = IDC_TIMING_1PPS_OFFSET->text().trimmed().toDouble();
    d.antennaCableDelayNs = IDC_TIMING_ANTENNA_CABLE->text().trimmed().toDouble();
    d.measurementCableDelayNs = IDC_TIMING_MEASUREMENT_CABLE->text().trimmed().toDouble();
    d.rxDelayNs = IDC_TIMING_RX_DELAY->text().trimmed().toDouble();
    d.extraDelayUs = IDC_TIMING_EXTRA_DELAY->text().trimmed().toDouble();
    d.traimLimitNs = IDC_TIMING_TRAIM_LIMIT->text().trimmed().toDouble();
    d.ticAutoCorrect = IDC_TIMING_AUTO_CORRECT->isChecked();
    d.traimKill1pps = IDC_TIMING_TRAIM_KILL->isChecked();
    d.sawtoothMode = SawtoothButtonGroup->checkedId() < 0 ? 0 : SawtoothButtonGroup->checkedId();
    return d;
}

bool TimingDialog::fieldsValid() const
{
    for (const Field &f : m_fields)
        if (f.rule.check(f.edit->text()) != FieldRule::Result::Ok)
            return false;
    return true;
}

void TimingDialog::updateTotals()
{
    for (const Field &f : std::as_const(m_fields))
        f.edit->setStyleSheet(f.rule.check(f.edit->text()) == FieldRule::Result::Ok ? QString()
                                                                                   : QStringLiteral("color:red"));
    const bool valid = fieldsValid();
    m_ok->setEnabled(valid);
    if (!valid)
        return;
    const TimingDelays d = currentDelays();
    IDC_TIMING_UTC_CORRECTION->setText(QString::asprintf("%.0f", std::trunc(d.utcCorrectionNs())));
    const TimingDelays::EpochOffsets e = d.epochOffsets();
    IDC_TIMING_TOTAL_EARLY->setText(QString::asprintf("%.0f", std::trunc(e.earlyUs)));
    IDC_TIMING_TOTAL_LATE->setText(QString::asprintf("%.0f", std::trunc(e.lateUs)));
}

void TimingDialog::checkOnLeave(const Field &f)
{
    switch (f.rule.check(f.edit->text())) {
    case FieldRule::Result::Extraneous:
        MessageBoxes::warning(this, FieldRule::extraneousTitle(), FieldRule::extraneousText());
        break;
    case FieldRule::Result::OutOfRange:
        MessageBoxes::warning(this, FieldRule::rangeTitle(), f.rule.rangeText());
        break;
    case FieldRule::Result::Ok:
        break;
    }
}

void TimingDialog::on_Defaults_clicked()
{
    fill(TimingDelays());
}

void TimingDialog::on_Reset_clicked()
{
    IDC_TIMING_EPOCH->setText(QStringLiteral("0"));
    IDC_TIMING_1PPS_OFFSET->setText(QStringLiteral("0.000"));
    updateTotals();
}

void TimingDialog::runCoax(CoaxDialog *&dialog, const QString &group, QLineEdit *target)
{
    if (!dialog)
        dialog = new CoaxDialog(group, this);
    if (dialog->exec() != QDialog::Accepted)
        return;
    target->setText(QString::asprintf("%.0f", std::trunc(dialog->totalDelayNs() + 0.5)));
    updateTotals();
}

void TimingDialog::accept()
{
    if (!fieldsValid())
        return;
    QSettings settings;
    currentDelays().save(settings);
    settings.setValue(TimingDelays::keyGeometry(), saveGeometry());
    QDialog::accept();
}

void TimingDialog::showEvent(QShowEvent *event)
{
    loadFromSettings();
    QDialog::showEvent(event);
}
