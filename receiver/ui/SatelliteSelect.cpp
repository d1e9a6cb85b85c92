#include "receiver/ui/SatelliteSelect.h"

#include "receiver/setup/ReceiverSettings.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

namespace {
const QString kGeometryKey = QStringLiteral("SatelliteSelect/geometry");
}

SatelliteSelect::SatelliteSelect(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("SatelliteSelect"));
    setWindowTitle(QStringLiteral("Satellite Select"));
    auto *grid = new QGridLayout;
    for (int i = 0; i < 32; ++i) {
        auto *box = new QCheckBox(QStringLiteral("PRN %1").arg(i + 1, 2, 10, QLatin1Char('0')), this);
        box->setObjectName(QStringLiteral("IDC_SAT_PRN_%1").arg(i + 1));
        m_boxes[size_t(i)] = box;
        grid->addWidget(box, i % 8, i / 8);
    }
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    QPushButton *all = buttons->addButton(QStringLiteral("Use All"), QDialogButtonBox::ResetRole);
    all->setObjectName(QStringLiteral("IDC_SAT_USE_ALL"));
    connect(all, &QPushButton::clicked, this, [this] { setIgnoreMask(0); });
    connect(buttons, &QDialogButtonBox::accepted, this, &SatelliteSelect::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &SatelliteSelect::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(buttons);
}

void SatelliteSelect::load()
{
    QSettings settings;
    setIgnoreMask(ReceiverSettings::load(settings).satelliteIgnoreMask);
    const QByteArray geometry = settings.value(kGeometryKey).toByteArray();
    if (!geometry.isEmpty())
        restoreGeometry(geometry);
}

uint32_t SatelliteSelect::ignoreMask() const
{
    uint32_t mask = 0;
    for (size_t i = 0; i < m_boxes.size(); ++i)
        if (m_boxes[i]->isChecked())
            mask |= 1u << i;
    return mask;
}

void SatelliteSelect::setIgnoreMask(uint32_t mask)
{
    for (size_t i = 0; i < m_boxes.size(); ++i)
        m_boxes[i]->setChecked((mask >> i) & 1u);
}

void SatelliteSelect::accept()
{
    {
        QSettings settings;
        ReceiverSettings r = ReceiverSettings::load(settings);
        r.satelliteIgnoreMask = ignoreMask();
        r.save(settings);
        settings.setValue(kGeometryKey, saveGeometry());
    }
    QDialog::accept();
}

void SatelliteSelect::reject()
{
    QSettings settings;
    settings.setValue(kGeometryKey, saveGeometry());
    QDialog::reject();
}
