#include "receiver/ui/GpsPortDialog.h"

#include "core/ui/MessageBoxes.h"
#include "core/ReceiverMode.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDebug>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QRadioButton>
#include <QSerialPortInfo>
#include <QSettings>
#include <QVBoxLayout>

namespace {

struct Choice
{
    const char *objectName;
    const char *label;
    int id;
};

QGroupBox *makeGroup(QWidget *parent, const QString &title, QButtonGroup *group, std::initializer_list<Choice> choices,
                     int columns = 1)
{
    auto *box = new QGroupBox(title, parent);
    auto *grid = new QGridLayout(box);
    int index = 0;
    for (const Choice &c : choices) {
        auto *button = new QRadioButton(QString::fromLatin1(c.label), box);
        button->setObjectName(QString::fromLatin1(c.objectName));
        group->addButton(button, c.id);
        grid->addWidget(button, index / columns, index % columns);
        ++index;
    }
    return box;
}

void checkId(QButtonGroup *group, int id, int fallback)
{
    QAbstractButton *b = group->button(id);
    if (!b)
        b = group->button(fallback);
    if (b)
        b->setChecked(true);
}

} // namespace

GpsPortDialog::GpsPortDialog(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("GpsPortDialog"));
    setWindowTitle(QStringLiteral("GPS Serial Port Settings"));

    GpsSerialPortNameList = new QComboBox(this);
    GpsSerialPortNameList->setObjectName(QStringLiteral("GpsSerialPortNameList"));
    GpsModeList = new QComboBox(this);
    GpsModeList->setObjectName(QStringLiteral("GpsModeList"));
    GpsModeList->addItems(ReceiverMode::portDialogTexts());
    TcpIpAddress = new QLineEdit(this);
    TcpIpAddress->setObjectName(QStringLiteral("TcpIpAddress"));
    TcpIpAddress->setPlaceholderText(QStringLiteral("192.168.10.123:9761"));
    NoGpsInitCheckBox = new QCheckBox(QStringLiteral("Minimize GPS Receiver Initialization"), this);
    NoGpsInitCheckBox->setObjectName(QStringLiteral("NoGpsInitCheckBox"));
    GpsAutoRestartCheckBox = new QCheckBox(QStringLiteral("Auto Restart GPS Receiver"), this);
    GpsAutoRestartCheckBox->setObjectName(QStringLiteral("GpsAutoRestartCheckBox"));

    PpsButtonGroup = new QButtonGroup(this);
    PpsButtonGroup->setObjectName(QStringLiteral("PpsButtonGroup"));
    DataRateButtonGroup = new QButtonGroup(this);
    DataRateButtonGroup->setObjectName(QStringLiteral("DataRateButtonGroup"));
    DataBitsButtonGroup = new QButtonGroup(this);
    DataBitsButtonGroup->setObjectName(QStringLiteral("DataBitsButtonGroup"));
    StopBitsButtonGroup = new QButtonGroup(this);
    StopBitsButtonGroup->setObjectName(QStringLiteral("StopBitsButtonGroup"));
    ParityButtonGroup = new QButtonGroup(this);
    ParityButtonGroup->setObjectName(QStringLiteral("ParityButtonGroup"));
    HandshakeButtonGroup = new QButtonGroup(this);
    HandshakeButtonGroup->setObjectName(QStringLiteral("HandshakeButtonGroup"));

    auto *rates = makeGroup(this, QStringLiteral("Data Rate"), DataRateButtonGroup,
                            { { "BAUD_300", "300 bps", 300 },
                              { "BAUD_1200", "1200 bps", 1200 },
                              { "BAUD_2400", "2400 bps", 2400 },
                              { "BAUD_4800", "4800 bps", 4800 },
                              { "BAUD_9600", "9600 bps", 9600 },
                              { "BAUD_14400", "14400 bps", 14400 },
                              { "BAUD_19200", "19200 bps", 19200 },
                              { "BAUD_38400", "38400 bps", 38400 },
                              { "BAUD_57600", "57600 bps", 57600 },
                              { "BAUD_115K", "115k bps", 115000 } },
                            2);
    auto *dataBits = makeGroup(this, QStringLiteral("Data Bits"), DataBitsButtonGroup,
                               { { "DATA_BITS_7", "7 bits", 7 }, { "DATA_BITS_8", "8 bits", 8 } });
    auto *stopBits = makeGroup(this, QStringLiteral("Stop Bits"), StopBitsButtonGroup,
                               { { "STOP_BITS_1", "1 bit", 1 }, { "STOP_BITS_2", "2 bits", 2 } });
    auto *parity = makeGroup(this, QStringLiteral("Parity"), ParityButtonGroup,
                             { { "PARITY_NONE", "None", 0 },
                               { "PARITY_ODD", "Odd", 1 },
                               { "PARITY_EVEN", "Even", 2 },
                               { "PARITY_MARK", "Mark", 3 },
                               { "PARITY_SPACE", "Space", 4 } });
    auto *handshake = makeGroup(this, QStringLiteral("Handshake"), HandshakeButtonGroup,
                                { { "HANDSHAKE_NONE", "None", 0 },
                                  { "HANDSHAKE_XON", "Xon/Xoff", 1 },
                                  { "HANDSHAKE_RTSCTS", "RTS/CTS", 2 },
                                  { "HANDSHAKE_DTRDSR", "DTR/DSR", 3 } });
    auto *pps = makeGroup(this, QStringLiteral("PPS Interface"), PpsButtonGroup,
                          { { "PPS_NONE", "None", 0 }, { "PPS_DCD", "DCD", 1 }, { "PPS_CTS", "CTS", 2 }, { "PPS_DSR", "DSR", 3 } });

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Port"), GpsSerialPortNameList);
    form->addRow(QStringLiteral("TCP/IP Address"), TcpIpAddress);
    form->addRow(QStringLiteral("Mode"), GpsModeList);

    auto *groups = new QGridLayout;
    groups->addWidget(rates, 0, 0, 2, 1);
    groups->addWidget(dataBits, 0, 1);
    groups->addWidget(stopBits, 1, 1);
    groups->addWidget(parity, 0, 2, 2, 1);
    groups->addWidget(handshake, 0, 3);
    groups->addWidget(pps, 1, 3);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &GpsPortDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &GpsPortDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(groups);
    layout->addWidget(NoGpsInitCheckBox);
    layout->addWidget(GpsAutoRestartCheckBox);
    layout->addWidget(buttons);

    connect(GpsSerialPortNameList, &QComboBox::currentTextChanged, this, &GpsPortDialog::updateAddressField);

    loadFromSettings();
    QSettings settings;
    const QByteArray geometry = settings.value(GpsPortSettings::keyGeometry()).toByteArray();
    if (!geometry.isEmpty())
        restoreGeometry(geometry);
}

QStringList GpsPortDialog::portList(const QStringList &systemPorts, const QStringList &extraNames, const QString &stored)
{
    QStringList names { GpsPortSettings::offPortName() };
    for (const QString &p : systemPorts)
        if (!names.contains(p))
            names << p;
    names << GpsPortSettings::tcpIpPortName();
    for (const QString &p : extraNames)
        if (!names.contains(p))
            names << p;
    if (!stored.isEmpty() && !names.contains(stored))
        names << stored;   // a port that is unplugged now stays selectable
    return names;
}

void GpsPortDialog::setExtraPortNames(const QStringList &names)
{
    m_extraPortNames = names;
    fillPortList(GpsSerialPortNameList->currentText());
}

void GpsPortDialog::fillPortList(const QString &selected)
{
    QStringList systemPorts;
    const auto infos = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : infos)
        systemPorts << info.portName();
    systemPorts.sort();
    GpsSerialPortNameList->blockSignals(true);
    GpsSerialPortNameList->clear();
    GpsSerialPortNameList->addItems(portList(systemPorts, m_extraPortNames, selected));
    GpsSerialPortNameList->setCurrentText(selected);
    GpsSerialPortNameList->blockSignals(false);
    updateAddressField();
}

void GpsPortDialog::updateAddressField()
{
    TcpIpAddress->setEnabled(GpsSerialPortNameList->currentText() == GpsPortSettings::tcpIpPortName());
}

void GpsPortDialog::loadFromSettings()
{
    QSettings settings;
    const GpsPortSettings p = GpsPortSettings::load(settings);
    fillPortList(p.portName);
    const int modeIndex = GpsModeList->findText(p.modeText);
    GpsModeList->setCurrentIndex(modeIndex >= 0 ? modeIndex : 0);
    checkId(DataRateButtonGroup, p.dataRate, 9600);
    checkId(DataBitsButtonGroup, p.dataBits == 7 ? 7 : 8, 8);
    checkId(StopBitsButtonGroup, p.stopBits == 2 ? 2 : 1, 1);
    checkId(ParityButtonGroup, p.parity, 0);
    checkId(HandshakeButtonGroup, p.handshake, 0);
    checkId(PpsButtonGroup, p.ppsInterface, 0);
    TcpIpAddress->setText(p.tcpIpAddress);
    NoGpsInitCheckBox->setChecked(p.doNotInitialize);
    GpsAutoRestartCheckBox->setChecked(p.autoRestart);
}

GpsPortSettings GpsPortDialog::currentSettings() const
{
    GpsPortSettings p;
    p.portName = GpsSerialPortNameList->currentText();
    p.modeText = GpsModeList->currentText();
    p.dataRate = DataRateButtonGroup->checkedId();
    p.dataBits = DataBitsButtonGroup->checkedId();
    p.stopBits = StopBitsButtonGroup->checkedId();
    p.parity = ParityButtonGroup->checkedId();
    p.handshake = HandshakeButtonGroup->checkedId();
    p.ppsInterface = PpsButtonGroup->checkedId();
    p.tcpIpAddress = TcpIpAddress->text();
    p.doNotInitialize = NoGpsInitCheckBox->isChecked();
    p.autoRestart = GpsAutoRestartCheckBox->isChecked();
    return p;
}

void GpsPortDialog::setBaud(int rate)
{
    QAbstractButton *button = DataRateButtonGroup->button(rate);
    if (!button) {
        qWarning("GpsPortDialog::SetBaud bad argument == %i", rate);
        DataRateButtonGroup->button(9600)->setChecked(true);
        return;
    }
    button->setChecked(true);
    QSettings().setValue(GpsPortSettings::keyDataRate(), rate);
}

void GpsPortDialog::setMode(int mode)
{
    const QString text = ReceiverMode::text(mode);
    const int index = text.isEmpty() ? -1 : GpsModeList->findText(text);
    if (index < 0) {
        qWarning("GpsPortDialog::Set Mode bad argument == %i", mode);
        return;
    }
    GpsModeList->setCurrentIndex(index);
    QSettings().setValue(GpsPortSettings::keyMode(), text);
}

QString GpsPortDialog::illegalAddressText(const QString &address)
{
    return QStringLiteral("IP Address error:\n  ") + address
        + QStringLiteral("\n\nThe format must be like this\n  192.168.10.123\n\nor, if you want to also define the port:\n"
                         "  192.168.10.123:9761");
}

bool GpsPortDialog::checkTcpIpAddress()
{
    const QString text = TcpIpAddress->text();
    if (GpsPortSettings::parseTcpIpAddress(text))
        return true;
    MessageBoxes::warning(this, QStringLiteral("Illegal IP Address"), illegalAddressText(text), QMessageBox::Ok);
    return false;
}

void GpsPortDialog::accept()
{
    if (!checkTcpIpAddress())
        return;
    QSettings settings;
    currentSettings().save(settings);
    settings.setValue(GpsPortSettings::keyGeometry(), saveGeometry());
    QDialog::accept();
}

void GpsPortDialog::showEvent(QShowEvent *event)
{
    loadFromSettings();
    QDialog::showEvent(event);
}
