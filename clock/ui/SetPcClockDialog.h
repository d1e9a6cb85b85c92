#pragma once

#include <QDialog>

class PcClockSync;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;

// "Set PC Clock": the schedule, limits and method of the PC clock synchronisation, its
// counters, and the one-time permission for a correction the rollover guard refused.
class SetPcClockDialog : public QDialog
{
    Q_OBJECT
public:
    explicit SetPcClockDialog(PcClockSync &sync, QWidget *parent = nullptr);

    void setVisible(bool visible) override;

public Q_SLOTS:
    void accept() override;
    void reject() override;
    void IDC_CLOCK_SYNC_DELTA_toggled(bool on);

private:
    void fillFields();
    void refreshCounters();
    void saveGeometry();

    PcClockSync &m_sync;
    QButtonGroup *m_modes = nullptr;
    QButtonGroup *m_methods = nullptr;
    QCheckBox *m_delta = nullptr;
    QLineEdit *m_deltaMs = nullptr;
    QCheckBox *m_amcOn = nullptr;
    QSpinBox *m_amcQty = nullptr;
    QComboBox *m_amcUnits = nullptr;
    QCheckBox *m_overrideTraim = nullptr;
    QCheckBox *m_overrideIntegrity = nullptr;
    QLineEdit *m_chronySocket = nullptr;
    QLabel *m_count = nullptr;
    QLabel *m_ntpHits = nullptr;
    QLabel *m_last = nullptr;
    QLabel *m_refused = nullptr;
    QCheckBox *m_allowFar = nullptr;
};
