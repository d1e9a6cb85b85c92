#pragma once

#include "averaging/AveragingEngine.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

// "Averaging Parameters": shows and edits the station's averaging engine. The engine runs
// whether or not the dialog is shown; opening the dialog reloads the settings and the saved
// averages, OK writes every setting (including the averages), Cancel only the window geometry.
class GpsNavDialog : public QDialog
{
    Q_OBJECT
public:
    // The engine is the station's, already started from the settings.
    explicit GpsNavDialog(AveragingEngine &engine, QWidget *parent = nullptr);
    ~GpsNavDialog() override;

    AveragingEngine &engine() { return m_engine; }
    const AveragingEngine &engine() const { return m_engine; }

    // Receiver initialisation: reload the settings, reset the averages unless continuing.
    void reloadSettings();

    void setVisible(bool visible) override;

public Q_SLOTS:
    void accept() override;
    void reject() override;

    void IDC_POS_FILTER_RESET_clicked();
    void IDC_RMS_FILTER_RESET_clicked();
    void IDC_TIMING_FILTER_RESET_clicked();
    void IDC_AVERAGING_RESET_ALL_clicked();
    void IDC_UNLOCK_COUNTER_RESET_clicked();
    void IDC_AVERAGING_DEFAULTS_clicked();

private:
    enum class FieldKind { Limit, Weight };
    struct Field
    {
        QLineEdit *edit;
        FieldKind kind;
    };

    void buildWidgets();
    void prepareForOpening();
    void fillFields();
    void refreshCounters();
    void refreshTable();
    void refreshLockStatus();
    void applyDopAvailability(bool available);
    // Checks one field: colours it and, when `tell`, explains a failure in a message box.
    bool checkField(const Field &field, bool tell);
    void fieldEdited(const Field &field);
    void fieldLeft(const Field &field);
    void updateOkButton();
    void storeGeometry();

    AveragingEngine &m_engine;

    QCheckBox *m_useDopWeighting = nullptr;
    QCheckBox *m_restartOnUnlock = nullptr;
    QCheckBox *m_continueOnRestart = nullptr;
    QLineEdit *m_posLimit = nullptr;
    QLineEdit *m_rmsLimit = nullptr;
    QLineEdit *m_timingLimit = nullptr;
    QLineEdit *m_hdopWeight = nullptr;
    QLineEdit *m_vdopWeight = nullptr;
    QLineEdit *m_tdopWeight = nullptr;
    QLineEdit *m_posCounter = nullptr;
    QLineEdit *m_rmsCounter = nullptr;
    QLineEdit *m_timingCounter = nullptr;
    QLineEdit *m_unlockCounter = nullptr;
    QLabel *m_lockedSince = nullptr;
    QLabel *m_timeAccuracy = nullptr;
    QPushButton *m_okButton = nullptr;
    QTableWidget *m_table = nullptr;
    QList<Field> m_fields;
    bool m_leaving = false;   // a leave-check's message box is up, or the dialog is closing
};
