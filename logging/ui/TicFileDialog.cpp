#include "logging/ui/TicFileDialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

QRadioButton *radio(const char *name, const char *text, QButtonGroup *group, int id, QLayout *layout)
{
    auto *b = new QRadioButton(QString::fromLatin1(text));
    b->setObjectName(QString::fromLatin1(name));
    group->addButton(b, id);
    layout->addWidget(b);
    return b;
}

} // namespace

TicFileDialog::TicFileDialog(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("TicFileDialog"));
    auto *layout = new QVBoxLayout(this);

    auto *tag = new QGroupBox(QStringLiteral("Time Tag Format"), this);
    auto *tagLayout = new QVBoxLayout(tag);
    m_tagFormat = new QComboBox(tag);
    m_tagFormat->setObjectName(QStringLiteral("TicTimeTagFormat"));
    m_tagFormat->addItems({ QStringLiteral("Calendar (YYDDD.FFFFF)"), QStringLiteral("Modified Julian Day (MMMMM.FFFFF)"),
                            QStringLiteral("Excel Time (XXXXX.FFFFF)") });
    tagLayout->addWidget(m_tagFormat);
    layout->addWidget(tag);

    auto *timeLog = new QGroupBox(QStringLiteral("Time Interval Log"), this);
    auto *timeLayout = new QVBoxLayout(timeLog);
    m_timeLog = new QButtonGroup(this);
    radio("TicTimeLogEnable", "Enable", m_timeLog, 0, timeLayout);
    radio("TicTimeLogDisable", "Disable", m_timeLog, 1, timeLayout);
    auto *every = new QGroupBox(QStringLiteral("Log Every"), timeLog);
    auto *everyLayout = new QVBoxLayout(every);
    m_every = new QComboBox(every);
    m_every->setObjectName(QStringLiteral("TicTimeLogEvery"));
    m_every->addItem(QStringLiteral("Second"));
    for (int s : { 2, 3, 4, 5, 6, 10, 12, 15, 20, 30 })
        m_every->addItem(QStringLiteral("%1 Seconds").arg(s));
    m_every->addItems({ QStringLiteral("Minute"), QStringLiteral("Hour") });
    everyLayout->addWidget(m_every);
    timeLayout->addWidget(every);
    layout->addWidget(timeLog);

    auto *avg = new QGroupBox(QStringLiteral("Averaging Log"), this);
    auto *avgLayout = new QVBoxLayout(avg);
    m_averaging = new QButtonGroup(this);
    radio("TicAvgLogInt", "Internal", m_averaging, 0, avgLayout);
    radio("TicAvgLogTic", "TIC Data", m_averaging, 1, avgLayout);
    auto *period = new QGroupBox(QStringLiteral("Averaging Period"), avg);
    auto *periodLayout = new QVBoxLayout(period);
    m_period = new QLineEdit(period);
    m_period->setObjectName(QStringLiteral("TicAvgLogIntPeriod"));
    periodLayout->addWidget(m_period);
    avgLayout->addWidget(period);
    layout->addWidget(avg);

    m_saveSats = new QCheckBox(QStringLiteral("Save Satellite Events in Config Log"), this);
    m_saveSats->setObjectName(QStringLiteral("TicTimeCfgLogSaveSats"));
    m_autoRestart = new QCheckBox(QStringLiteral("Auto Restart TIC logs"), this);
    m_autoRestart->setObjectName(QStringLiteral("TicTimeLogAutorestart"));
    layout->addWidget(m_saveSats);
    layout->addWidget(m_autoRestart);
    layout->addStretch();
}

void TicFileDialog::load(const CounterLogSettings &s)
{
    m_tagFormat->setCurrentIndex(s.timeTagFormat);
    m_timeLog->button(s.timeLogEnabled ? 0 : 1)->setChecked(true);
    m_every->setCurrentIndex(s.everyIndex);
    m_averaging->button(s.counterAveraging ? 1 : 0)->setChecked(true);
    m_period->setText(QString::number(s.averagingPeriod));
    m_saveSats->setChecked(s.saveSatelliteEvents);
    m_autoRestart->setChecked(s.autoRestart);
}

bool TicFileDialog::periodValid() const
{
    bool ok = false;
    return m_period->text().toInt(&ok) >= 0 && ok;
}

CounterLogSettings TicFileDialog::store(CounterLogSettings s) const
{
    s.timeTagFormat = m_tagFormat->currentIndex();
    s.timeLogEnabled = m_timeLog->checkedId() != 1;
    s.everyIndex = m_every->currentIndex();
    s.counterAveraging = m_averaging->checkedId() == 1;
    if (periodValid())
        s.averagingPeriod = m_period->text().toInt();
    s.saveSatelliteEvents = m_saveSats->isChecked();
    s.autoRestart = m_autoRestart->isChecked();
    return s;
}
