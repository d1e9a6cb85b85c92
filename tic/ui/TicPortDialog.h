#pragma once

#include "tic/TicPortSettings.h"

#include <QDialog>
#include <QStringList>
#include <array>

class QButtonGroup;
class QComboBox;
class QLineEdit;

// "TIC Serial Port Settings": the settings of the eight counter ports. A port selector shows
// one port at a time; the values of all eight are kept while the dialog is open, and OK
// checks every TCP/IP address and writes the keys of all eight ports.
class TicPortDialog : public QDialog
{
    Q_OBJECT
public:
    using AllPorts = std::array<TicPortSettings, TicPortSettings::PortCount>;

    explicit TicPortDialog(QWidget *parent = nullptr);

    // Re-reads the stored settings of all ports (also done each time the dialog is shown).
    void loadFromSettings();
    // The settings as the dialog holds them (the shown port as its widgets show it).
    AllPorts currentSettings() const;
    int shownPort() const { return m_shown; }
    void showPort(int n);

    // The port list: "OFF", "TCP/IP", the extra names (the simulated counter), the system's
    // ports, and finally `stored` when it is none of these.
    static QStringList portList(const QStringList &systemPorts, const QStringList &extraNames, const QString &stored);

    QComboBox *PortSelector = nullptr;
    QComboBox *TicSerialPortNameList = nullptr;
    QLineEdit *TcpIpAddress = nullptr;
    QButtonGroup *DataRateButtonGroup = nullptr;
    QButtonGroup *StopBitsButtonGroup = nullptr;
    QButtonGroup *DataBitsButtonGroup = nullptr;
    QButtonGroup *HandshakeButtonGroup = nullptr;
    QButtonGroup *ParityButtonGroup = nullptr;
    QButtonGroup *UnitButtonGroup = nullptr;

public Q_SLOTS:
    void accept() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void storeShown();
    void fillWidgets(const TicPortSettings &p);
    void updateAddressField();

    AllPorts m_ports;
    int m_shown = 1;
};
