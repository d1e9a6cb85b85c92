#include "averaging/ui/GpsNavDialog.h"

#include "core/ui/MessageBoxes.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

const QString kGeometryKey = QStringLiteral("GpsNavDialog/geometry");

QLineEdit *makeEdit(QWidget *parent, const char *name, bool readOnly)
{
    auto *e = new QLineEdit(parent);
    e->setObjectName(QLatin1String(name));
    e->setReadOnly(readOnly);
    e->setMinimumWidth(70);
    e->setMaximumWidth(90);
    return e;
}

QPushButton *makeButton(QWidget *parent, const char *name, const QString &text)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    b->setAutoDefault(false);
    return b;
}

QString limitText(double v) { return QString::number(qint64(v)); }
QString weightText(double v) { return QString::asprintf("%.1f", v); }

} // namespace

GpsNavDialog::GpsNavDialog(AveragingEngine &engine, QWidget *parent)
    : QDialog(parent)
    , m_engine(engine)
{
    setObjectName(QStringLiteral("GpsNavDialog"));
    setWindowTitle(QStringLiteral("Averaging Parameters"));
    setModal(true);
    buildWidgets();

    connect(&m_engine, &AveragingEngine::countersChanged, this, [this] {
        if (isVisible())
            refreshCounters();
    });
    connect(&m_engine, &AveragingEngine::averagesChanged, this, [this] {
        if (isVisible()) {
            refreshCounters();
            refreshTable();
            m_timeAccuracy->setText(m_engine.timingStatusText());
        }
    });
    connect(&m_engine, &AveragingEngine::timingStatusChanged, this, [this] {
        if (isVisible())
            m_timeAccuracy->setText(m_engine.timingStatusText());
    });
    connect(&m_engine, &AveragingEngine::lockStatusChanged, this, [this] { refreshLockStatus(); });
    connect(&m_engine, &AveragingEngine::dopWeightingAvailabilityChanged, this,
            [this](bool available) { applyDopAvailability(available); });

    applyDopAvailability(m_engine.dopWeightingAvailable());
    fillFields();
    refreshCounters();
    refreshTable();
    refreshLockStatus();
}

GpsNavDialog::~GpsNavDialog()
{
    // Hiding the window moves the focus out of a field; no field check may run then.
    for (const Field &f : std::as_const(m_fields))
        f.edit->disconnect(this);
}

void GpsNavDialog::buildWidgets()
{
    auto *top = new QVBoxLayout(this);

    auto *timeBox = new QGroupBox(QStringLiteral("Time Accuracy Estimate"), this);
    auto *timeLayout = new QHBoxLayout(timeBox);
    m_timeAccuracy = new QLabel(timeBox);
    m_timeAccuracy->setObjectName(QStringLiteral("IDC_TIME_ACCURACY_ESTIMATE"));
    m_timeAccuracy->setMinimumWidth(380);
    timeLayout->addWidget(m_timeAccuracy);
    top->addWidget(timeBox);

    auto *row = new QHBoxLayout;
    top->addLayout(row);

    auto *lockBox = new QGroupBox(QStringLiteral("Lock Status"), this);
    auto *lockLayout = new QGridLayout(lockBox);
    m_unlockCounter = makeEdit(lockBox, "IDC_UNLOCK_COUNTER", true);
    lockLayout->addWidget(new QLabel(QStringLiteral("Unlock counter"), lockBox), 0, 0);
    lockLayout->addWidget(m_unlockCounter, 0, 1);
    lockLayout->addWidget(makeButton(lockBox, "IDC_UNLOCK_COUNTER_RESET", QStringLiteral("Reset")), 0, 2);
    lockLayout->addWidget(new QLabel(QStringLiteral("Locked since"), lockBox), 1, 0);
    m_lockedSince = new QLabel(lockBox);
    m_lockedSince->setObjectName(QStringLiteral("IDC_LOCKED_SINCE"));
    lockLayout->addWidget(m_lockedSince, 1, 1, 1, 2);
    m_restartOnUnlock = new QCheckBox(QStringLiteral("Restart Averages on Unlock"), lockBox);
    m_restartOnUnlock->setObjectName(QStringLiteral("IDC_RESTART_AVG_ON_UNLOCK"));
    lockLayout->addWidget(m_restartOnUnlock, 2, 0, 1, 3);
    m_continueOnRestart = new QCheckBox(QStringLiteral("Continue on Program Restart"), lockBox);
    m_continueOnRestart->setObjectName(QStringLiteral("IDC_CONT_ON_PROG_RESTART"));
    lockLayout->addWidget(m_continueOnRestart, 3, 0, 1, 3);
    row->addWidget(lockBox);

    auto *resetBox = new QGroupBox(QStringLiteral("Reset"), this);
    auto *resetLayout = new QGridLayout(resetBox);
    m_posCounter = makeEdit(resetBox, "IDC_POS_FILTER_COUNTER", true);
    m_rmsCounter = makeEdit(resetBox, "IDC_RMS_FILTER_COUNTER", true);
    m_timingCounter = makeEdit(resetBox, "IDC_TIMING_FILTER_COUNTER", true);
    resetLayout->addWidget(new QLabel(QStringLiteral("Position Filter Counter:"), resetBox), 0, 0);
    resetLayout->addWidget(m_posCounter, 0, 1);
    resetLayout->addWidget(makeButton(resetBox, "IDC_POS_FILTER_RESET", QStringLiteral("Reset")), 0, 2);
    resetLayout->addWidget(new QLabel(QStringLiteral("RMS Filter Counter:"), resetBox), 1, 0);
    resetLayout->addWidget(m_rmsCounter, 1, 1);
    resetLayout->addWidget(makeButton(resetBox, "IDC_RMS_FILTER_RESET", QStringLiteral("Reset")), 1, 2);
    resetLayout->addWidget(new QLabel(QStringLiteral("Timing Filter Counter:"), resetBox), 2, 0);
    resetLayout->addWidget(m_timingCounter, 2, 1);
    resetLayout->addWidget(makeButton(resetBox, "IDC_TIMING_FILTER_RESET", QStringLiteral("Reset")), 2, 2);
    resetLayout->addWidget(makeButton(resetBox, "IDC_AVERAGING_RESET_ALL", QStringLiteral("Reset All")), 3, 2);
    row->addWidget(resetBox);

    auto *setupBox = new QGroupBox(QStringLiteral("Setup"), this);
    auto *setupLayout = new QGridLayout(setupBox);
    m_useDopWeighting = new QCheckBox(QStringLiteral("Use DOP Weighting"), setupBox);
    m_useDopWeighting->setObjectName(QStringLiteral("IDC_USE_DOP_WEIGHTING"));
    setupLayout->addWidget(m_useDopWeighting, 0, 0, 1, 2);
    m_posLimit = makeEdit(setupBox, "IDC_POS_FILTER_LIMIT", false);
    m_rmsLimit = makeEdit(setupBox, "IDC_RMS_FILTER_LIMIT", false);
    m_timingLimit = makeEdit(setupBox, "IDC_TIMING_FILTER_LIMIT", false);
    setupLayout->addWidget(new QLabel(QStringLiteral("Position Filter Limit:"), setupBox), 1, 0);
    setupLayout->addWidget(m_posLimit, 1, 1);
    setupLayout->addWidget(new QLabel(QStringLiteral("RMS Filter Limit:"), setupBox), 2, 0);
    setupLayout->addWidget(m_rmsLimit, 2, 1);
    setupLayout->addWidget(new QLabel(QStringLiteral("Timing Filter Limit:"), setupBox), 3, 0);
    setupLayout->addWidget(m_timingLimit, 3, 1);
    auto *weights = new QHBoxLayout;
    m_hdopWeight = makeEdit(setupBox, "IDC_HDOP_WEIGHTING_VALUE", false);
    m_vdopWeight = makeEdit(setupBox, "IDC_VDOP_WEIGHTING_VALUE", false);
    m_tdopWeight = makeEdit(setupBox, "IDC_TDOP_WEIGHTING_VALUE", false);
    for (QLineEdit *e : { m_hdopWeight, m_vdopWeight, m_tdopWeight }) {
        e->setMinimumWidth(40);
        e->setMaximumWidth(50);
    }
    weights->addWidget(new QLabel(QStringLiteral("Weighting Values: HDOP"), setupBox));
    weights->addWidget(m_hdopWeight);
    weights->addWidget(new QLabel(QStringLiteral("VDOP"), setupBox));
    weights->addWidget(m_vdopWeight);
    weights->addWidget(new QLabel(QStringLiteral("TDOP"), setupBox));
    weights->addWidget(m_tdopWeight);
    setupLayout->addLayout(weights, 4, 0, 1, 2);
    setupLayout->addWidget(makeButton(setupBox, "IDC_AVERAGING_DEFAULTS", QStringLiteral("Defaults")), 5, 1);
    row->addWidget(setupBox);

    auto *tableBox = new QGroupBox(QStringLiteral("Position Averaging - Error Terms"), this);
    auto *tableLayout = new QVBoxLayout(tableBox);
    m_table = new QTableWidget(6, AveragingEngine::QuantityCount, tableBox);
    m_table->setObjectName(QStringLiteral("AveragingTableWidget"));
    m_table->setHorizontalHeaderLabels({ QStringLiteral("Latitude"), QStringLiteral("Longitude"),
                                         QStringLiteral("- 2D -"), QStringLiteral("Alt(GPS)"),
                                         QStringLiteral("Alt(MSL)") });
    m_table->setVerticalHeaderLabels({ QStringLiteral("Ref-Avg (m)"), QStringLiteral("RMS:"),
                                       QStringLiteral("Avg-Cur (m)"), QStringLiteral("RMS:"),
                                       QStringLiteral("Ref-Cur (m)"), QStringLiteral("RMS:") });
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    for (int r = 0; r < m_table->rowCount(); ++r) {
        for (int c = 0; c < m_table->columnCount(); ++c) {
            auto *item = new QTableWidgetItem;
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            m_table->setItem(r, c, item);
        }
    }
    // All six rows without a scroll bar.
    m_table->setMinimumHeight(m_table->horizontalHeader()->sizeHint().height()
                              + m_table->verticalHeader()->defaultSectionSize() * m_table->rowCount()
                              + 2 * m_table->frameWidth() + 2);
    tableLayout->addWidget(m_table);
    top->addWidget(tableBox);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_okButton = buttons->button(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &GpsNavDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &GpsNavDialog::reject);
    top->addWidget(buttons);

    const auto connectButton = [this](const char *name, void (GpsNavDialog::*slot)()) {
        connect(findChild<QPushButton *>(QLatin1String(name)), &QPushButton::clicked, this, slot);
    };
    connectButton("IDC_POS_FILTER_RESET", &GpsNavDialog::IDC_POS_FILTER_RESET_clicked);
    connectButton("IDC_RMS_FILTER_RESET", &GpsNavDialog::IDC_RMS_FILTER_RESET_clicked);
    connectButton("IDC_TIMING_FILTER_RESET", &GpsNavDialog::IDC_TIMING_FILTER_RESET_clicked);
    connectButton("IDC_AVERAGING_RESET_ALL", &GpsNavDialog::IDC_AVERAGING_RESET_ALL_clicked);
    connectButton("IDC_UNLOCK_COUNTER_RESET", &GpsNavDialog::IDC_UNLOCK_COUNTER_RESET_clicked);
    connectButton("IDC_AVERAGING_DEFAULTS", &GpsNavDialog::IDC_AVERAGING_DEFAULTS_clicked);

    m_fields = { { m_posLimit, FieldKind::Limit },    { m_rmsLimit, FieldKind::Limit },
                 { m_timingLimit, FieldKind::Limit }, { m_hdopWeight, FieldKind::Weight },
                 { m_vdopWeight, FieldKind::Weight }, { m_tdopWeight, FieldKind::Weight } };
    for (const Field &f : std::as_const(m_fields)) {
        connect(f.edit, &QLineEdit::textEdited, this, [this, f] { fieldEdited(f); });
        connect(f.edit, &QLineEdit::editingFinished, this, [this, f] { fieldLeft(f); });
    }
}

// ---------------------------------------------------------------------------------------------

void GpsNavDialog::reloadSettings()
{
    QSettings settings;
    m_engine.reloadSettings(settings);
    fillFields();
    refreshCounters();
    refreshTable();
}

void GpsNavDialog::setVisible(bool visible)
{
    if (visible && !isVisible())
        prepareForOpening();
    QDialog::setVisible(visible);
}

void GpsNavDialog::prepareForOpening()
{
    // The engine holds the live averages and the accepted settings: reloading the stored ones
    // here would throw away everything averaged since they were saved.
    QSettings settings;
    const QByteArray geometry = settings.value(kGeometryKey).toByteArray();
    if (!geometry.isEmpty())
        restoreGeometry(geometry);
    fillFields();
    refreshCounters();
    refreshTable();
    refreshLockStatus();
    m_timeAccuracy->setText(m_engine.timingStatusText());
}

void GpsNavDialog::fillFields()
{
    m_useDopWeighting->setChecked(m_engine.useDopWeighting());
    m_restartOnUnlock->setChecked(m_engine.restartOnUnlock());
    m_continueOnRestart->setChecked(m_engine.continueOnRestart());
    m_posLimit->setText(limitText(m_engine.positionWeightLimit()));
    m_rmsLimit->setText(limitText(m_engine.rmsWeightLimit()));
    m_timingLimit->setText(limitText(m_engine.timingWeightLimit()));
    m_hdopWeight->setText(weightText(m_engine.hdopWeight()));
    m_vdopWeight->setText(weightText(m_engine.vdopWeight()));
    m_tdopWeight->setText(weightText(m_engine.tdopWeight()));
    for (const Field &f : std::as_const(m_fields))
        checkField(f, false);
    updateOkButton();
    applyDopAvailability(m_engine.dopWeightingAvailable());
}

void GpsNavDialog::refreshCounters()
{
    m_posCounter->setText(QString::asprintf("%i", int(m_engine.positionCount())));
    m_rmsCounter->setText(QString::asprintf("%i", int(m_engine.rmsCount())));
    m_timingCounter->setText(QString::asprintf("%i", int(m_engine.timingCount())));
    m_unlockCounter->setText(QString::asprintf("%i", m_engine.unlockCount()));
}

void GpsNavDialog::refreshTable()
{
    for (int k = 0; k < AveragingEngine::KindCount; ++k) {
        for (int q = 0; q < AveragingEngine::QuantityCount; ++q) {
            const char *format = q == AveragingEngine::TwoD ? "%8.2f" : "%7.2f";
            const auto kind = AveragingEngine::DifferenceKind(k);
            const auto quantity = AveragingEngine::Quantity(q);
            m_table->item(2 * k, q)->setText(QString::asprintf(format, m_engine.term(kind, quantity)));
            m_table->item(2 * k + 1, q)->setText(QString::asprintf(format, m_engine.rmsValue(kind, quantity)));
        }
    }
}

void GpsNavDialog::refreshLockStatus()
{
    m_unlockCounter->setText(QString::asprintf("%i", m_engine.unlockCount()));
    m_lockedSince->setText(m_engine.lockedSinceText());
}

void GpsNavDialog::applyDopAvailability(bool available)
{
    if (!available)
        m_useDopWeighting->setChecked(false);
    for (QWidget *w : { static_cast<QWidget *>(m_useDopWeighting), static_cast<QWidget *>(m_hdopWeight),
                        static_cast<QWidget *>(m_vdopWeight), static_cast<QWidget *>(m_tdopWeight) })
        w->setEnabled(available);
}

// ---------------------------------------------------------------------------------------------
// field checks

bool GpsNavDialog::checkField(const Field &field, bool tell)
{
    static const QRegularExpression limitPattern(QStringLiteral("^[+]?[0-9]+"));
    static const QRegularExpression weightPattern(QStringLiteral("^[-+]?[0-9]*\\.?[0-9]+"));
    const bool isLimit = field.kind == FieldKind::Limit;
    const QString text = field.edit->text().trimmed();
    const QRegularExpressionMatch m = (isLimit ? limitPattern : weightPattern).match(text);

    bool ok = m.hasMatch() && m.capturedLength(0) == text.size();
    if (!ok) {
        if (tell)
            MessageBoxes::warning(this, QStringLiteral("Error"), QStringLiteral("Extraneous characters in the field."));
    } else {
        const double v = m.captured(0).toDouble();
        ok = isLimit ? (v >= 0.0 && v <= 99999.0) : (v >= 0.0 && v <= 99.0);
        if (!ok && tell)
            MessageBoxes::warning(this, QStringLiteral("Numeric Error"),
                                  isLimit ? QStringLiteral("Field is out of range.\nMust be between 0 and 99999")
                                          : QStringLiteral("Field is out of range.\nMust be between 0 and 99.0"));
    }
    field.edit->setStyleSheet(ok ? QStringLiteral("color:black") : QStringLiteral("color:red"));
    return ok;
}

void GpsNavDialog::fieldEdited(const Field &field)
{
    checkField(field, false);
    updateOkButton();
}

void GpsNavDialog::fieldLeft(const Field &field)
{
    if (m_leaving || !isVisible())
        return;
    m_leaving = true;
    if (!checkField(field, true))
        field.edit->setFocus();
    m_leaving = false;
    updateOkButton();
}

void GpsNavDialog::updateOkButton()
{
    bool all = true;
    for (const Field &f : std::as_const(m_fields))
        all = f.edit->styleSheet() != QLatin1String("color:red") && all;
    m_okButton->setEnabled(all);
}

// ---------------------------------------------------------------------------------------------
// buttons

void GpsNavDialog::accept()
{
    m_leaving = true;   // no leave-checks while OK checks every field itself
    for (const Field &f : std::as_const(m_fields)) {
        if (!checkField(f, true)) {
            f.edit->setFocus();
            m_leaving = false;
            updateOkButton();
            return;
        }
    }

    m_engine.setUseDopWeighting(m_useDopWeighting->isChecked());
    m_engine.setRestartOnUnlock(m_restartOnUnlock->isChecked());
    m_engine.setContinueOnRestart(m_continueOnRestart->isChecked());
    m_engine.setPositionWeightLimit(m_posLimit->text().trimmed().toDouble());
    m_engine.setRmsWeightLimit(m_rmsLimit->text().trimmed().toDouble());
    m_engine.setTimingWeightLimit(m_timingLimit->text().trimmed().toDouble());
    m_engine.setHdopWeight(m_hdopWeight->text().trimmed().toDouble());
    m_engine.setVdopWeight(m_vdopWeight->text().trimmed().toDouble());
    m_engine.setTdopWeight(m_tdopWeight->text().trimmed().toDouble());

    storeGeometry();
    QSettings settings;
    m_engine.saveSettings(settings);
    QDialog::accept();
    m_leaving = false;
}

void GpsNavDialog::reject()
{
    storeGeometry();
    m_leaving = true;   // closing with a bad field open is no reason for a message box
    QDialog::reject();
    m_leaving = false;
}

void GpsNavDialog::storeGeometry()
{
    QSettings settings;
    settings.setValue(kGeometryKey, QDialog::saveGeometry());
}

void GpsNavDialog::IDC_POS_FILTER_RESET_clicked()
{
    m_engine.resetPositionFilter();
    refreshCounters();
}

void GpsNavDialog::IDC_RMS_FILTER_RESET_clicked()
{
    m_engine.resetRmsFilter();
    refreshCounters();
}

void GpsNavDialog::IDC_TIMING_FILTER_RESET_clicked()
{
    m_engine.resetTimingFilter();
    refreshCounters();
}

void GpsNavDialog::IDC_AVERAGING_RESET_ALL_clicked()
{
    m_engine.resetAllFilters();
    refreshCounters();
}

void GpsNavDialog::IDC_UNLOCK_COUNTER_RESET_clicked()
{
    m_engine.resetUnlockCounter();
    refreshCounters();
}

void GpsNavDialog::IDC_AVERAGING_DEFAULTS_clicked()
{
    m_posLimit->setText(limitText(AveragingEngine::DefaultPositionWeightLimit));
    m_rmsLimit->setText(limitText(AveragingEngine::DefaultRmsWeightLimit));
    m_timingLimit->setText(limitText(AveragingEngine::DefaultTimingWeightLimit));
    m_hdopWeight->setText(QStringLiteral("1.5"));
    m_vdopWeight->setText(QStringLiteral("2.0"));
    m_tdopWeight->setText(QStringLiteral("1.5"));
    m_useDopWeighting->setChecked(m_engine.dopWeightingAvailable());
    m_restartOnUnlock->setChecked(false);
    m_continueOnRestart->setChecked(true);
    for (const Field &f : std::as_const(m_fields))
        checkField(f, false);
    updateOkButton();
}
