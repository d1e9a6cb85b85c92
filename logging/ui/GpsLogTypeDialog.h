#pragma once

#include "logging/GpsDataLog.h"

#include <QWidget>

class QButtonGroup;
class QCheckBox;
class QComboBox;

// "Gps Log Type": the log-type panel shown inside the GPS log file dialog.
class GpsLogTypeDialog : public QWidget
{
    Q_OBJECT
public:
    explicit GpsLogTypeDialog(QWidget *parent = nullptr);
    void load(const GpsLogSettings &settings);
    // The settings with this panel's choices (directory and prefix kept).
    GpsLogSettings store(GpsLogSettings settings) const;

private:
    QButtonGroup *m_type = nullptr;
    QComboBox *m_every = nullptr;
    QCheckBox *m_autoRestart = nullptr;
    QCheckBox *m_gpsSeconds = nullptr;
};
