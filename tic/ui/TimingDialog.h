#pragma once

#include "core/TimingDelays.h"
#include "tic/FieldRule.h"

#include <QDialog>
#include <QList>

class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class CoaxDialog;

// "Timing Setup": the epoch offset, the cable, receiver and extra delays, the T-RAIM limit and
// the sawtooth correction. Fields are checked while typing (red, OK disabled) and when left
// (a message box); OK stores every key.
class TimingDialog : public QDialog
{
    Q_OBJECT
public:
    explicit TimingDialog(QWidget *parent = nullptr);

    // Re-reads the stored settings into the fields (also each time the dialog is shown).
    void loadFromSettings();
    // The values as the fields show them (only meaningful while fieldsValid()).
    TimingDelays currentDelays() const;
    bool fieldsValid() const;

    QLineEdit *IDC_TIMING_EPOCH = nullptr;
    QLineEdit *IDC_TIMING_1PPS_OFFSET = nullptr;
    QLineEdit *IDC_TIMING_ANTENNA_CABLE = nullptr;
    QLineEdit *IDC_TIMING_MEASUREMENT_CABLE = nullptr;
    QLineEdit *IDC_TIMING_RX_DELAY = nullptr;
    QLineEdit *IDC_TIMING_EXTRA_DELAY = nullptr;
    QLineEdit *IDC_TIMING_TRAIM_LIMIT = nullptr;
    QLabel *IDC_TIMING_UTC_CORRECTION = nullptr;
    QLabel *IDC_TIMING_TOTAL_EARLY = nullptr;
    QLabel *IDC_TIMING_TOTAL_LATE = nullptr;
    QCheckBox *IDC_TIMING_AUTO_CORRECT = nullptr;
    QCheckBox *IDC_TIMING_TRAIM_KILL = nullptr;
    QButtonGroup *SawtoothButtonGroup = nullptr;
    QPushButton *AntennaCoaxButton = nullptr;
    QPushButton *MeasurementCoaxButton = nullptr;

public Q_SLOTS:
    void accept() override;
    // Field values of a fresh station (the defaults of the stored keys).
    void on_Defaults_clicked();
    void on_Reset_clicked();
    void updateTotals();

protected:
    void showEvent(QShowEvent *event) override;

private:
    struct Field
    {
        QLineEdit *edit;
        FieldRule rule;
    };
    QLineEdit *addField(const QString &name, const FieldRule &rule);
    void fill(const TimingDelays &d);
    void checkOnLeave(const Field &f);
    void runCoax(CoaxDialog *&dialog, const QString &group, QLineEdit *target);

    QList<Field> m_fields;
    QPushButton *m_ok = nullptr;
    CoaxDialog *m_antennaCoax = nullptr;
    CoaxDialog *m_measurementCoax = nullptr;
};
