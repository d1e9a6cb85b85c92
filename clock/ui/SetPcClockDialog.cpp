#include "clock/ui/SetPcClockDialog.h"

#include "clock/PcClockSync.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {
const QString kGeometryKey = QStringLiteral("SetPcClockDialog/geometry");
}

SetPcClockDialog::SetPcClockDialog(PcClockSync &sync, QWidget *parent)
    : QDialog(parent)
    , m_sync(sync)
{
    setObjectName(QStringLiteral("SetPcClockDialog"));
    setWindowTitle(QStringLiteral("Set PC Clock"));
    auto *layout = new QVBoxLayout(this);
    auto *columns = new QHBoxLayout;
    layout->addLayout(columns);

    auto *periodic = new QGroupBox(QStringLiteral("Periodic"));
    periodic->setObjectName(QStringLiteral("IDC_PERIODIC_BUTTON_GROUP"));
    auto *periodicLayout = new QVBoxLayout(periodic);
    m_modes = new QButtonGroup(this);
    static const char *const modeNames[][2] = {
        { "IDC_CLOCK_SYNC_DISABLE", "Disable" }, { "IDC_CLOCK_SYNC_ONCE", "One Time" },
        { "IDC_CLOCK_SYNC_SEC", "Every Second" }, { "IDC_CLOCK_SYNC_MIN", "Every Minute" },
        { "IDC_CLOCK_SYNC_HOUR", "Every Hour" },  { "IDC_CLOCK_SYNC_DAY", "Every Day" },
    };
    for (int id = 0; id < 6; ++id) {
        auto *radio = new QRadioButton(QString::fromLatin1(modeNames[id][1]));
        radio->setObjectName(QString::fromLatin1(modeNames[id][0]));
        m_modes->addButton(radio, id);
        periodicLayout->addWidget(radio);
    }
    columns->addWidget(periodic);

    auto *right = new QVBoxLayout;
    columns->addLayout(right);
    auto *limits = new QGroupBox(QStringLiteral("Limits"));
    auto *limitsLayout = new QVBoxLayout(limits);
    auto *deltaRow = new QHBoxLayout;
    m_delta = new QCheckBox(QStringLiteral("When PC clock error exceeds"));
    m_delta->setObjectName(QStringLiteral("IDC_CLOCK_SYNC_DELTA"));
    m_deltaMs = new QLineEdit;
    m_deltaMs->setObjectName(QStringLiteral("IDC_CLOCK_SYNC_DELTA_MS"));
    m_deltaMs->setMaximumWidth(60);
    deltaRow->addWidget(m_delta);
    deltaRow->addWidget(m_deltaMs);
    deltaRow->addWidget(new QLabel(QStringLiteral("msec")));
    limitsLayout->addLayout(deltaRow);
    auto *amc = new QGroupBox(QStringLiteral("Maximum Correction"));
    auto *amcLayout = new QHBoxLayout(amc);
    m_amcOn = new QCheckBox(QStringLiteral("Activate"));
    m_amcOn->setObjectName(QStringLiteral("IDC_AMC_ON"));
    m_amcQty = new QSpinBox;
    m_amcQty->setObjectName(QStringLiteral("IDC_AMC_QTY"));
    m_amcQty->setRange(0, 9999);
    m_amcUnits = new QComboBox;
    m_amcUnits->setObjectName(QStringLiteral("IDC_AMC_UNITS"));
    m_amcUnits->addItems({ QStringLiteral("Hour(s)"), QStringLiteral("Minute(s)"), QStringLiteral("Second(s)") });
    amcLayout->addWidget(m_amcOn);
    amcLayout->addWidget(m_amcQty);
    amcLayout->addWidget(m_amcUnits);
    limitsLayout->addWidget(amc);
    right->addWidget(limits);

    auto *special = new QGroupBox(QStringLiteral("Special Purpose Modes"));
    auto *specialLayout = new QVBoxLayout(special);
    m_overrideTraim = new QCheckBox(QStringLiteral("Override TRAIM (no 1PPS)"));
    m_overrideTraim->setObjectName(QStringLiteral("IDC_CLOCK_SYNC_OVERRIDE_TRAIM"));
    m_overrideIntegrity = new QCheckBox(QStringLiteral("Override integrity check (too few satellites)"));
    m_overrideIntegrity->setObjectName(QStringLiteral("IDC_CLOCK_SYNC_OVERRIDE_INTEGRITY"));
    specialLayout->addWidget(m_overrideTraim);
    specialLayout->addWidget(m_overrideIntegrity);
    right->addWidget(special);

    // How the corrections reach the clock on this system.
    auto *method = new QGroupBox(QStringLiteral("Method"));
    auto *methodLayout = new QVBoxLayout(method);
    m_methods = new QButtonGroup(this);
    auto *chrony = new QRadioButton(QStringLiteral("Feed chrony (no privilege needed)"));
    chrony->setObjectName(QStringLiteral("IDC_CLOCK_SYNC_METHOD_CHRONY"));
    auto *kernel = new QRadioButton(QStringLiteral("Set the clock directly (needs CAP_SYS_TIME)"));
    kernel->setObjectName(QStringLiteral("IDC_CLOCK_SYNC_METHOD_KERNEL"));
    m_methods->addButton(chrony, PcClockSettings::ChronyFeed);
    m_methods->addButton(kernel, PcClockSettings::KernelSetter);
    m_chronySocket = new QLineEdit;
    m_chronySocket->setObjectName(QStringLiteral("IDC_CLOCK_SYNC_CHRONY_SOCKET"));
    auto *socketRow = new QFormLayout;
    socketRow->addRow(QStringLiteral("chrony socket"), m_chronySocket);
    methodLayout->addWidget(chrony);
    methodLayout->addLayout(socketRow);
    methodLayout->addWidget(kernel);
    layout->addWidget(method);

    auto *counters = new QFormLayout;
    m_count = new QLabel;
    m_count->setObjectName(QStringLiteral("IDC_CLOCK_SYNC_COUNT"));
    m_ntpHits = new QLabel;
    m_ntpHits->setObjectName(QStringLiteral("IDC_CLOCK_SYNC_NTPHITS"));
    m_last = new QLabel;
    m_last->setObjectName(QStringLiteral("IDC_CLOCK_SYNC_LAST"));
    counters->addRow(QStringLiteral("Clock Resets"), m_count);
    counters->addRow(QStringLiteral("NTP Hits"), m_ntpHits);
    counters->addRow(QStringLiteral("Time of last sync"), m_last);
    layout->addLayout(counters);

    m_refused = new QLabel;
    m_refused->setObjectName(QStringLiteral("IDC_CLOCK_SYNC_REFUSED"));
    m_refused->setWordWrap(true);
    m_allowFar = new QCheckBox(QStringLiteral("Allow this correction once"));
    m_allowFar->setObjectName(QStringLiteral("IDC_CLOCK_SYNC_ALLOW_FAR"));
    layout->addWidget(m_refused);
    layout->addWidget(m_allowFar);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("CANCEL"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &SetPcClockDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &SetPcClockDialog::reject);
    connect(m_delta, &QCheckBox::toggled, this, &SetPcClockDialog::IDC_CLOCK_SYNC_DELTA_toggled);

    connect(&m_sync, &PcClockSync::countersChanged, this, [this] {
        if (isVisible())
            refreshCounters();
    });
    connect(&m_sync, &PcClockSync::modeChanged, this, [this](int mode) {
        if (QAbstractButton *b = m_modes->button(mode))
            b->setChecked(true);
    });
    connect(&m_sync, &PcClockSync::correctionRefused, this, [this] {
        if (isVisible())
            refreshCounters();
    });

    restoreGeometry(QSettings().value(kGeometryKey).toByteArray());
}

void SetPcClockDialog::setVisible(bool visible)
{
    if (visible && !isVisible()) {
        fillFields();
        refreshCounters();
    }
    QDialog::setVisible(visible);
}

void SetPcClockDialog::fillFields()
{
    QSettings store;
    PcClockSettings p = PcClockSettings::load(store);
    p.mode = m_sync.mode();   // a one-time set may have switched it off since
    if (QAbstractButton *b = m_modes->button(p.mode))
        b->setChecked(true);
    m_delta->setChecked(p.thresholdOn);
    m_deltaMs->setText(QString::number(p.thresholdMs));
    m_deltaMs->setEnabled(p.thresholdOn);
    m_amcOn->setChecked(p.maxCorrectionOn);
    m_amcQty->setValue(p.maxCorrectionQty);
    m_amcUnits->setCurrentIndex(p.maxCorrectionUnits);
    m_overrideTraim->setChecked(p.overrideTraim);
    m_overrideIntegrity->setChecked(p.overrideIntegrity);
    if (QAbstractButton *b = m_methods->button(p.method))
        b->setChecked(true);
    m_chronySocket->setText(p.chronySocket);
    m_allowFar->setChecked(false);
}

void SetPcClockDialog::refreshCounters()
{
    m_count->setText(PcClockSync::counterText(m_sync.clockResets()));
    m_ntpHits->setText(PcClockSync::counterText(m_sync.ntpHits()));
    m_last->setText(m_sync.lastSyncText());
    const QString refused = m_sync.refusedText();
    m_refused->setText(refused);
    m_refused->setVisible(!refused.isEmpty());
    m_allowFar->setVisible(!refused.isEmpty());
}

void SetPcClockDialog::IDC_CLOCK_SYNC_DELTA_toggled(bool on)
{
    m_deltaMs->setEnabled(on);
}

void SetPcClockDialog::accept()
{
    PcClockSettings p;
    p.mode = m_modes->checkedId() < 0 ? 0 : m_modes->checkedId();
    bool ok = false;
    const int ms = m_deltaMs->text().trimmed().toInt(&ok);
    p.thresholdOn = m_delta->isChecked();
    p.thresholdMs = ms;
    if (!ok || ms < 1 || ms > 999) {
        p.thresholdMs = 1;
        p.thresholdOn = false;
        m_deltaMs->setText(QStringLiteral("1"));
        m_delta->setChecked(false);
    }
    p.maxCorrectionOn = m_amcOn->isChecked();
    p.maxCorrectionQty = m_amcQty->value();
    p.maxCorrectionUnits = m_amcUnits->currentIndex();
    p.overrideTraim = m_overrideTraim->isChecked();
    p.overrideIntegrity = m_overrideIntegrity->isChecked();
    p.method = m_methods->checkedId() < 0 ? PcClockSettings::ChronyFeed : m_methods->checkedId();
    p.chronySocket = m_chronySocket->text().trimmed();
    if (!p.chronySocket.startsWith(QLatin1Char('/')))
        p.chronySocket = PcClockSettings::defaultChronySocket();
    {
        QSettings store;
        p.save(store);
    }
    saveGeometry();
    const bool allowFar = !m_allowFar->isHidden() && m_allowFar->isChecked();
    QDialog::accept();
    m_sync.loadSettings();
    if (allowFar)
        m_sync.allowFarCorrectionOnce();
}

void SetPcClockDialog::reject()
{
    saveGeometry();
    QDialog::reject();
}

void SetPcClockDialog::saveGeometry()
{
    QSettings().setValue(kGeometryKey, QDialog::saveGeometry());
}
