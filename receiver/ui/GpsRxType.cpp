#include "receiver/ui/GpsRxType.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QRadioButton>
#include <QSettings>
#include <QVBoxLayout>

GpsRxType::GpsRxType(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("GpsRxType"));
    setWindowTitle(QStringLiteral("GPS Receiver Type"));
    auto *familyBox = new QGroupBox(QStringLiteral("Receiver"), this);
    auto *familyLayout = new QVBoxLayout(familyBox);
    FamilyGroup = new QButtonGroup(this);
    FamilyGroup->setObjectName(QStringLiteral("FamilyGroup"));
    const QStringList families = ReceiverType::families();
    for (int i = 0; i < families.size(); ++i) {
        auto *b = new QRadioButton(families[i], familyBox);
        FamilyGroup->addButton(b, i);
        familyLayout->addWidget(b);
    }
    m_firmwareBox = new QGroupBox(QStringLiteral("Firmware"), this);
    m_firmwareLayout = new QVBoxLayout(m_firmwareBox);
    FirmwareGroup = new QButtonGroup(this);
    FirmwareGroup->setObjectName(QStringLiteral("FirmwareGroup"));
    connect(FamilyGroup, &QButtonGroup::idClicked, this, [this](int family) { showRanges(family, 0); });

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &GpsRxType::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &GpsRxType::reject);
    auto *row = new QHBoxLayout;
    row->addWidget(familyBox);
    row->addWidget(m_firmwareBox);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(buttons);
    setChoice(ReceiverType::DefaultChoice);
}

void GpsRxType::showRanges(int family, int range)
{
    for (QAbstractButton *b : FirmwareGroup->buttons()) {
        FirmwareGroup->removeButton(b);
        delete b;
    }
    const QStringList ranges = ReceiverType::firmwareRanges(family);
    for (int i = 0; i < ranges.size(); ++i) {
        auto *b = new QRadioButton(ranges[i], m_firmwareBox);
        FirmwareGroup->addButton(b, i);
        m_firmwareLayout->addWidget(b);
    }
    if (QAbstractButton *b = FirmwareGroup->button(range))
        b->setChecked(true);
}

int GpsRxType::choice() const
{
    const int c = ReceiverType::choiceOf(FamilyGroup->checkedId(), FirmwareGroup->checkedId());
    return c < 0 ? ReceiverType::DefaultChoice : c;
}

void GpsRxType::setChoice(int choice)
{
    const int family = ReceiverType::familyOf(choice);
    if (QAbstractButton *b = FamilyGroup->button(family))
        b->setChecked(true);
    showRanges(family, ReceiverType::rangeOf(choice));
}

void GpsRxType::load()
{
    QSettings settings;
    setChoice(ReceiverType::load(settings).choice);
    const QByteArray geometry = settings.value(ReceiverType::keyGeometry()).toByteArray();
    if (!geometry.isEmpty())
        restoreGeometry(geometry);
}

void GpsRxType::accept()
{
    QSettings settings;
    ReceiverType t;
    t.choice = choice();
    t.save(settings);
    settings.setValue(ReceiverType::keyGeometry(), saveGeometry());
    QDialog::accept();
}

void GpsRxType::reject()
{
    QSettings settings;
    settings.setValue(ReceiverType::keyGeometry(), saveGeometry());
    QDialog::reject();
}
