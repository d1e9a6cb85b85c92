#pragma once

#include "transport/GpsPortSettings.h"

#include <QDialog>
#include <QStringList>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QRadioButton;

// The receiver port settings dialog. Each radio-button group is a button group whose ids are
// the stored values; OK checks the TCP address and writes every key.
class GpsPortDialog : public QDialog
{
    Q_OBJECT
public:
    explicit GpsPortDialog(QWidget *parent = nullptr);

    // Re-reads the stored settings into the widgets (also done each time the dialog is shown).
    void loadFromSettings();
    // The settings as the widgets show them.
    GpsPortSettings currentSettings() const;

    // Used by receiver detection: check the button / list entry and store the value at once.
    // An unknown rate logs a warning and checks 9600 without storing; an unknown mode logs a
    // warning and changes nothing.
    void setBaud(int rate);
    void setMode(int mode);

    // Whether the address field is acceptable; shows the "Illegal IP Address" box when not.
    bool checkTcpIpAddress();
    // The text of that box for an address.
    static QString illegalAddressText(const QString &address);

    // The port list: "OFF", the given system ports, "TCP/IP", then the extra names (such as
    // the simulated receiver), and finally `stored` when it is none of these.
    static QStringList portList(const QStringList &systemPorts, const QStringList &extraNames, const QString &stored);
    // Names offered besides the system's ports; the simulated receiver by default.
    void setExtraPortNames(const QStringList &names);

    // Widgets, named as their object names.
    QComboBox *GpsSerialPortNameList = nullptr;
    QComboBox *GpsModeList = nullptr;
    QLineEdit *TcpIpAddress = nullptr;
    QCheckBox *NoGpsInitCheckBox = nullptr;
    QCheckBox *GpsAutoRestartCheckBox = nullptr;
    QButtonGroup *PpsButtonGroup = nullptr;
    QButtonGroup *DataRateButtonGroup = nullptr;
    QButtonGroup *DataBitsButtonGroup = nullptr;
    QButtonGroup *StopBitsButtonGroup = nullptr;
    QButtonGroup *ParityButtonGroup = nullptr;
    QButtonGroup *HandshakeButtonGroup = nullptr;

public Q_SLOTS:
    void accept() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void fillPortList(const QString &selected);
    void updateAddressField();

    QStringList m_extraPortNames { GpsPortSettings::simulatorPortName() };
};
