#pragma once

#include "logging/CounterLogSet.h"

#include <QWidget>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;

// The counter log options panel shown beside the counter log file dialog.
class TicFileDialog : public QWidget
{
    Q_OBJECT
public:
    explicit TicFileDialog(QWidget *parent = nullptr);
    void load(const CounterLogSettings &settings);
    CounterLogSettings store(CounterLogSettings settings) const;
    // The averaging period field holds a whole number of seconds.
    bool periodValid() const;

private:
    QComboBox *m_tagFormat = nullptr;
    QButtonGroup *m_timeLog = nullptr;
    QComboBox *m_every = nullptr;
    QButtonGroup *m_averaging = nullptr;
    QLineEdit *m_period = nullptr;
    QCheckBox *m_saveSats = nullptr;
    QCheckBox *m_autoRestart = nullptr;
};
