#include "logging/ui/GpsLogTypeDialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QRadioButton>
#include <QVBoxLayout>

GpsLogTypeDialog::GpsLogTypeDialog(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("GpsLogTypeDialog"));
    setWindowTitle(QStringLiteral("Gps Log Type"));
    auto *layout = new QHBoxLayout(this);

    auto *types = new QGroupBox(QStringLiteral("Log Type"), this);
    types->setObjectName(QStringLiteral("DataTypeButtonGroupBox"));
    auto *typeLayout = new QVBoxLayout(types);
    m_type = new QButtonGroup(this);
    m_type->setObjectName(QStringLiteral("GpsLogDataTypeButtonGroup"));
    const struct
    {
        const char *name;
        const char *text;
    } buttons[] = {
        { "GpsLogRaw", "Raw Data (.txt)" },
        { "GpsLogBinary", "Binary Data (.bin)" },
        { "GpsLogPVT", "Time, Position, Velocity, Etc.(.csv)" },
        { "GpsLogNMEA", "NMEA Common Format PVT (.txt)" },
        { "GpsLogRINEX", "Rinex Data (Oncore raw for RINEX conversion .bin)" },
    };
    int id = 0;
    for (const auto &b : buttons) {
        auto *radio = new QRadioButton(QString::fromLatin1(b.text), types);
        radio->setObjectName(QString::fromLatin1(b.name));
        m_type->addButton(radio, id++);
        typeLayout->addWidget(radio);
    }
    layout->addWidget(types);

    auto *right = new QVBoxLayout;
    auto *every = new QGroupBox(QStringLiteral("Log Every"), this);
    every->setObjectName(QStringLiteral("LogEveryButtonGroupBox"));
    auto *everyLayout = new QVBoxLayout(every);
    m_every = new QComboBox(every);
    m_every->setObjectName(QStringLiteral("GpsLogEvery"));
    m_every->addItem(QStringLiteral("1 Second"));
    for (int s : { 2, 3, 4, 5, 6, 10, 12, 15, 20, 30, 60 })
        m_every->addItem(QStringLiteral("%1 Seconds").arg(s));
    everyLayout->addWidget(m_every);
    right->addWidget(every);
    m_autoRestart = new QCheckBox(QStringLiteral("Auto Restart GPS log"), this);
    m_autoRestart->setObjectName(QStringLiteral("GpsLogAutorestart"));
    m_gpsSeconds = new QCheckBox(QStringLiteral("Use GPS time instead of UTC"), this);
    m_gpsSeconds->setObjectName(QStringLiteral("UseGpsSecondNumber"));
    right->addWidget(m_autoRestart);
    right->addWidget(m_gpsSeconds);
    right->addStretch();
    layout->addLayout(right);
}

void GpsLogTypeDialog::load(const GpsLogSettings &s)
{
    if (QAbstractButton *b = m_type->button(s.type))
        b->setChecked(true);
    m_every->setCurrentIndex(s.everyIndex);
    m_autoRestart->setChecked(s.autoRestart);
    m_gpsSeconds->setChecked(s.useGpsSeconds);
}

GpsLogSettings GpsLogTypeDialog::store(GpsLogSettings s) const
{
    s.type = std::max(0, m_type->checkedId());   // Raw when none is checked
    s.everyIndex = m_every->currentIndex();
    s.autoRestart = m_autoRestart->isChecked();
    s.useGpsSeconds = m_gpsSeconds->isChecked();
    return s;
}
