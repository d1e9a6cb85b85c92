#pragma once

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// "Coax Delay Calculator": the delay of up to two cable runs. Each calculator keeps its
// entries under its own settings group (the text of the button that opened it).
class CoaxDialog : public QDialog
{
    Q_OBJECT
public:
    CoaxDialog(const QString &settingsGroup, QWidget *parent = nullptr);

    const QString &settingsGroup() const { return m_group; }
    // The rounded total (ns) of the two runs as shown.
    double totalDelayNs() const { return m_total; }
    bool entriesValid() const;

    QLineEdit *IDC_DC_LENGTH1 = nullptr;
    QLineEdit *IDC_DC_LENGTH2 = nullptr;
    QComboBox *IDC_DC_LEN_DIM1 = nullptr;
    QComboBox *IDC_DC_LEN_DIM2 = nullptr;
    QComboBox *IDC_DC_VF1 = nullptr;
    QComboBox *IDC_DC_VF2 = nullptr;
    QLabel *IDC_DC_DELAY1 = nullptr;
    QLabel *IDC_DC_DELAY2 = nullptr;
    QLabel *IDC_DC_TOTAL_DELAY = nullptr;

public Q_SLOTS:
    void accept() override;
    void recompute();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void load();
    void checkLengthOnLeave(QLineEdit *field);

    QString m_group;
    QPushButton *m_ok = nullptr;
    double m_total = 0.0;
};
