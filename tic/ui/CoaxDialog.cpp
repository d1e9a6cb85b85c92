#include "tic/ui/CoaxDialog.h"

#include "core/ui/MessageBoxes.h"
#include "tic/CoaxCalculator.h"
#include "tic/FieldRule.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

namespace {

const FieldRule kLength { true, 0, 9999 };

} // namespace

CoaxDialog::CoaxDialog(const QString &settingsGroup, QWidget *parent)
    : QDialog(parent)
    , m_group(settingsGroup)
{
    setObjectName(QStringLiteral("CoaxDialog"));
    setWindowTitle(QStringLiteral("Coax Delay Calculator"));
    auto *grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("Length"), this), 0, 0);
    grid->addWidget(new QLabel(QStringLiteral("Velocity Factor"), this), 0, 3);
    grid->addWidget(new QLabel(QStringLiteral("Delay (nsec)"), this), 0, 5);
    QLineEdit *lengths[2];
    QComboBox *units[2];
    QComboBox *factors[2];
    QLabel *delays[2];
    for (int i = 0; i < 2; ++i) {
        const QString n = QString::number(i + 1);
        lengths[i] = new QLineEdit(this);
        lengths[i]->setObjectName(QStringLiteral("IDC_DC_LENGTH") + n);
        units[i] = new QComboBox(this);
        units[i]->setObjectName(QStringLiteral("IDC_DC_LEN_DIM") + n);
        units[i]->addItems({ QStringLiteral("Feet"), QStringLiteral("Meters") });
        factors[i] = new QComboBox(this);
        factors[i]->setObjectName(QStringLiteral("IDC_DC_VF") + n);
        factors[i]->setEditable(true);
        factors[i]->addItems(CoaxCalculator::velocityFactorChoices());
        delays[i] = new QLabel(this);
        delays[i]->setObjectName(QStringLiteral("IDC_DC_DELAY") + n);
        grid->addWidget(lengths[i], i + 1, 0);
        grid->addWidget(units[i], i + 1, 1);
        grid->addWidget(new QLabel(QStringLiteral("/ ( C *"), this), i + 1, 2);
        grid->addWidget(factors[i], i + 1, 3);
        grid->addWidget(new QLabel(QStringLiteral(") ="), this), i + 1, 4);
        grid->addWidget(delays[i], i + 1, 5);
        connect(lengths[i], &QLineEdit::textEdited, this, &CoaxDialog::recompute);
        connect(units[i], &QComboBox::currentTextChanged, this, &CoaxDialog::recompute);
        connect(factors[i], &QComboBox::currentTextChanged, this, &CoaxDialog::recompute);
        QLineEdit *field = lengths[i];
        connect(field, &QLineEdit::editingFinished, this, [this, field] { checkLengthOnLeave(field); });
    }
    IDC_DC_LENGTH1 = lengths[0];
    IDC_DC_LENGTH2 = lengths[1];
    IDC_DC_LEN_DIM1 = units[0];
    IDC_DC_LEN_DIM2 = units[1];
    IDC_DC_VF1 = factors[0];
    IDC_DC_VF2 = factors[1];
    IDC_DC_DELAY1 = delays[0];
    IDC_DC_DELAY2 = delays[1];
    IDC_DC_TOTAL_DELAY = new QLabel(this);
    IDC_DC_TOTAL_DELAY->setObjectName(QStringLiteral("IDC_DC_TOTAL_DELAY"));
    grid->addWidget(new QLabel(QStringLiteral("Total Delay ="), this), 3, 3);
    grid->addWidget(IDC_DC_TOTAL_DELAY, 3, 5);
    grid->addWidget(new QLabel(QStringLiteral("nanoseconds"), this), 3, 6);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &CoaxDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CoaxDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(buttons);

    load();
    const QByteArray geometry = QSettings().value(m_group + QStringLiteral("/geometry")).toByteArray();
    if (!geometry.isEmpty())
        restoreGeometry(geometry);
}

void CoaxDialog::load()
{
    QSettings s;
    IDC_DC_LENGTH1->setText(s.value(m_group + QStringLiteral("/dLength_1"), 0).toString());
    IDC_DC_LENGTH2->setText(s.value(m_group + QStringLiteral("/dLength_2"), 0).toString());
    IDC_DC_LEN_DIM1->setCurrentText(s.value(m_group + QStringLiteral("/Dimension_1"), QStringLiteral("Feet")).toString());
    IDC_DC_LEN_DIM2->setCurrentText(s.value(m_group + QStringLiteral("/Dimension_2"), QStringLiteral("Feet")).toString());
    IDC_DC_VF1->setCurrentText(s.value(m_group + QStringLiteral("/VelocityFactor_1"), QStringLiteral("LMR-240")).toString());
    IDC_DC_VF2->setCurrentText(s.value(m_group + QStringLiteral("/VelocityFactor_2"), QStringLiteral("LMR-240")).toString());
    recompute();
}

bool CoaxDialog::entriesValid() const
{
    for (const QLineEdit *field : { IDC_DC_LENGTH1, IDC_DC_LENGTH2 })
        if (kLength.check(field->text()) != FieldRule::Result::Ok)
            return false;
    // A run with a length needs a velocity factor that is one.
    const QLineEdit *lengths[] = { IDC_DC_LENGTH1, IDC_DC_LENGTH2 };
    const QComboBox *factors[] = { IDC_DC_VF1, IDC_DC_VF2 };
    for (int i = 0; i < 2; ++i)
        if (lengths[i]->text().toInt() > 0
            && !CoaxCalculator::isUsableVelocityFactor(CoaxCalculator::velocityFactor(factors[i]->currentText())))
            return false;
    return true;
}

void CoaxDialog::recompute()
{
    const QLineEdit *lengths[] = { IDC_DC_LENGTH1, IDC_DC_LENGTH2 };
    const QComboBox *units[] = { IDC_DC_LEN_DIM1, IDC_DC_LEN_DIM2 };
    const QComboBox *factors[] = { IDC_DC_VF1, IDC_DC_VF2 };
    QLabel *delays[] = { IDC_DC_DELAY1, IDC_DC_DELAY2 };
    double sum = 0.0;
    for (int i = 0; i < 2; ++i) {
        const bool ok = kLength.check(lengths[i]->text()) == FieldRule::Result::Ok;
        const_cast<QLineEdit *>(lengths[i])->setStyleSheet(ok ? QString() : QStringLiteral("color:red"));
        const double d = ok ? CoaxCalculator::delayNs(lengths[i]->text().toInt(), units[i]->currentText(),
                                                      CoaxCalculator::velocityFactor(factors[i]->currentText()))
                            : 0.0;
        delays[i]->setText(QString::asprintf("%.1f", d));
        sum += d;
    }
    m_total = CoaxCalculator::roundToTenth(sum);
    IDC_DC_TOTAL_DELAY->setText(QString::asprintf("%.1f", m_total));
    if (m_ok)
        m_ok->setEnabled(entriesValid());
}

void CoaxDialog::checkLengthOnLeave(QLineEdit *field)
{
    switch (kLength.check(field->text())) {
    case FieldRule::Result::Extraneous:
        MessageBoxes::warning(this, FieldRule::extraneousTitle(), FieldRule::extraneousText());
        break;
    case FieldRule::Result::OutOfRange:
        MessageBoxes::warning(this, FieldRule::rangeTitle(), kLength.rangeText());
        break;
    case FieldRule::Result::Ok:
        break;
    }
}

void CoaxDialog::accept()
{
    if (!entriesValid())
        return;
    QSettings s;
    s.setValue(m_group + QStringLiteral("/dLength_1"), IDC_DC_LENGTH1->text().toInt());
    s.setValue(m_group + QStringLiteral("/dLength_2"), IDC_DC_LENGTH2->text().toInt());
    s.setValue(m_group + QStringLiteral("/Dimension_1"), IDC_DC_LEN_DIM1->currentText());
    s.setValue(m_group + QStringLiteral("/Dimension_2"), IDC_DC_LEN_DIM2->currentText());
    s.setValue(m_group + QStringLiteral("/VelocityFactor_1"), IDC_DC_VF1->currentText());
    s.setValue(m_group + QStringLiteral("/VelocityFactor_2"), IDC_DC_VF2->currentText());
    s.setValue(m_group + QStringLiteral("/geometry"), saveGeometry());
    QDialog::accept();
}

void CoaxDialog::showEvent(QShowEvent *event)
{
    load();
    QDialog::showEvent(event);
}
