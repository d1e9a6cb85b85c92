#pragma once

#include "receiver/setup/ReceiverSettings.h"

#include <QDialog>
#include <functional>

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QSpinBox;

// "GPS Receiver Mode Selections": the user's receiver settings. Each radio-button group is a
// button group whose ids are the stored values. OK stores every key, then runs the
// applyReceiverSettings callback (the station sends the commands for the current mode).
class GpsRxDialog : public QDialog
{
    Q_OBJECT
public:
    explicit GpsRxDialog(QWidget *parent = nullptr);

    // Re-reads the stored settings into the widgets (also done each time the dialog is shown).
    void loadFromSettings();
    // The settings as the widgets show them.
    ReceiverSettings currentSettings() const;
    void showSettings(const ReceiverSettings &settings);

    // The receiver the constellation boxes are for: they are active only for the SSR-M8 models
    // in Motorola binary mode; Galileo needs firmware 3.01 or later.
    // PVT6 emulation is offered for 8-channel receivers only (a box already checked stays
    // enabled, so that it can be cleared).
    void setReceiver(int receiverMode, int receiverModel, double firmwareVersion, int channelCount = 0);
    // The constellation rule the boxes break now (shown under them); empty when none.
    QString constellationProblem() const;

    // Called after OK stored the settings.
    std::function<void(const ReceiverSettings &)> applyReceiverSettings;

    // Widgets, named as their object names.
    QButtonGroup *GpsModeGroup = nullptr;
    QButtonGroup *PositionFixGroup = nullptr;
    QButtonGroup *SatelliteSelectionGroup = nullptr;
    QButtonGroup *IonoGroup = nullptr;
    QButtonGroup *TropoGroup = nullptr;
    QButtonGroup *GeometryGroup = nullptr;
    QButtonGroup *ApplicationTypeGroup = nullptr;
    QButtonGroup *PpsRateGroup = nullptr;
    QButtonGroup *PpsDurationGroup = nullptr;
    QButtonGroup *WeekRolloverGroup = nullptr;
    QSpinBox *WeekRolloverEpochsSpinBox = nullptr;
    QCheckBox *LocalTimeCheckBox = nullptr;
    QCheckBox *EmulatePvt6CheckBox = nullptr;
    QCheckBox *GarminCheckBox = nullptr;
    QPushButton *ReceiverTypeButton = nullptr;   // opens GpsRxType
    QCheckBox *DgpsActivateCheckBox = nullptr;
    QSpinBox *DgpsRateSpinBox = nullptr;
    QCheckBox *AlignMessagesCheckBox = nullptr;
    QSpinBox *ElevationMaskSpinBox = nullptr;
    QGroupBox *ConstellationGroup = nullptr;
    QCheckBox *SatGpsCheckBox = nullptr;
    QCheckBox *SatGlonassCheckBox = nullptr;
    QCheckBox *SatGalileoCheckBox = nullptr;
    QCheckBox *SatBeidouCheckBox = nullptr;
    QCheckBox *SatQzssCheckBox = nullptr;
    QCheckBox *SatSbasCheckBox = nullptr;
    QLabel *ConstellationRuleLabel = nullptr;
    QPushButton *RestoreNavigationButton = nullptr;
    QPushButton *RestoreTimingButton = nullptr;
    QPushButton *RestoreSpecialButton = nullptr;
    QPushButton *OkButton = nullptr;

public Q_SLOTS:
    void accept() override;
    // The three "Restore defaults" buttons.
    void restoreNavigationDefaults();
    void restorePrecisionTimingDefaults();
    void restoreSpecialPurposeDefaults();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void checkConstellations();

    ReceiverSettings m_shown;   // fields the dialog has no widget for (the ignore mask)
    bool m_constellationsActive = false;
    bool m_galileoCapable = true;
    bool m_pvt6Offered = false;
};
