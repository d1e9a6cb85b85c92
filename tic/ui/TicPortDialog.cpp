#include "tic/ui/TicPortDialog.h"

#include "core/ui/MessageBoxes.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
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
    int id;   // the stored value
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

QString illegalAddressText(const QString &address)
{
    return QStringLiteral("IP Address error:\n  ") + address
        + QStringLiteral("\n\nThe format must be like this\n  192.168.10.123\n\nor, if you want to also define the port:\n"
                         "  192.168.10.123:9761");
}

} // namespace

TicPortDialog::TicPortDialog(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("TicPortDialog"));
    setWindowTitle(QStringLiteral("TIC Serial Port Settings"));

    PortSelector = new QComboBox(this);
    PortSelector->setObjectName(QStringLiteral("PortSelector"));
    for (int n = 1; n <= TicPortSettings::PortCount; ++n)
        PortSelector->addItem(QStringLiteral("PORT %1").arg(n), n);
    TicSerialPortNameList = new QComboBox(this);
    TicSerialPortNameList->setObjectName(QStringLiteral("TicSerialPortNameList"));
    TcpIpAddress = new QLineEdit(this);
    TcpIpAddress->setObjectName(QStringLiteral("TcpIpAddress"));
    TcpIpAddress->setPlaceholderText(QStringLiteral("192.168.10.123"));

    DataRateButtonGroup = new QButtonGroup(this);
    StopBitsButtonGroup = new QButtonGroup(this);
    DataBitsButtonGroup = new QButtonGroup(this);
    HandshakeButtonGroup = new QButtonGroup(this);
    ParityButtonGroup = new QButtonGroup(this);
    UnitButtonGroup = new QButtonGroup(this);

    auto *rates = makeGroup(this, QStringLiteral("Data Rate"), DataRateButtonGroup,
                            { { "TIC_BAUD_300", "300 bps", 300 },
                              { "TIC_BAUD_1200", "1200 bps", 1200 },
                              { "TIC_BAUD_2400", "2400 bps", 2400 },
                              { "TIC_BAUD_4800", "4800 bps", 4800 },
                              { "TIC_BAUD_9600", "9600 bps", 9600 },
                              { "TIC_BAUD_14400", "14400 bps", 14400 },
                              { "TIC_BAUD_19200", "19200 bps", 19200 },
                              { "TIC_BAUD_38400", "38400 bps", 38400 },
                              { "TIC_BAUD_57600", "57600 bps", 57600 },
                              { "TIC_BAUD_115K", "115k bps", 115200 } },
                            2);
    auto *stopBits = makeGroup(this, QStringLiteral("Stop Bits"), StopBitsButtonGroup,
                               { { "TIC_STOP_BITS_1", "1 bit", 1 }, { "TIC_STOP_BITS_2", "2 bits", 2 } });
    auto *dataBits = makeGroup(this, QStringLiteral("Data Bits"), DataBitsButtonGroup,
                               { { "TIC_DATA_BITS_7", "7 bits", 7 }, { "TIC_DATA_BITS_8", "8 bits", 8 } });
    auto *handshake = makeGroup(this, QStringLiteral("Handshake"), HandshakeButtonGroup,
                                { { "TIC_HANDSHAKE_NONE", "None", 0 },
                                  { "TIC_HANDSHAKE_XON", "Xon/Xoff", 1 },
                                  { "TIC_HANDSHAKE_RTSCTS", "RTS/CTS", 2 },
                                  { "TIC_HANDSHAKE_DTRDSR", "DTR/DSR", 3 } });
    // Shown in this order, stored as 3 for Mark and 4 for Space.
    auto *parity = makeGroup(this, QStringLiteral("Parity"), ParityButtonGroup,
                             { { "TIC_PARITY_NONE", "None", 0 },
                               { "TIC_PARITY_ODD", "Odd", 1 },
                               { "TIC_PARITY_EVEN", "Even", 2 },
                               { "TIC_PARITY_SPACE", "Space", 4 },
                               { "TIC_PARITY_MARK", "Mark", 3 } });

    // The unit of a reading written as a bare number (no exponent, no unit after it).
    auto *unit = makeGroup(this, QStringLiteral("Bare Number Unit"), UnitButtonGroup,
                           { { "TIC_UNIT_S", "s", 0 },
                             { "TIC_UNIT_MS", "ms", 1 },
                             { "TIC_UNIT_US", "us", 2 },
                             { "TIC_UNIT_NS", "ns", 3 },
                             { "TIC_UNIT_PS", "ps", 4 } });

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("TIC Port"), PortSelector);
    form->addRow(QStringLiteral("Serial Port"), TicSerialPortNameList);
    form->addRow(QStringLiteral("TCP/IP Address"), TcpIpAddress);

    auto *groups = new QGridLayout;
    groups->addWidget(rates, 0, 0, 2, 1);
    groups->addWidget(stopBits, 0, 1);
    groups->addWidget(dataBits, 1, 1);
    groups->addWidget(handshake, 0, 2);
    groups->addWidget(parity, 1, 2);
    groups->addWidget(unit, 0, 3, 2, 1);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &TicPortDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &TicPortDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(groups);
    layout->addWidget(buttons);

    connect(TicSerialPortNameList, &QComboBox::currentTextChanged, this, &TicPortDialog::updateAddressField);
    connect(PortSelector, &QComboBox::currentIndexChanged, this, [this](int index) {
        storeShown();
        m_shown = index + 1;
        fillWidgets(m_ports[std::size_t(index)]);
    });

    loadFromSettings();
    QSettings settings;
    const QByteArray geometry = settings.value(TicPortSettings::keyGeometry()).toByteArray();
    if (!geometry.isEmpty())
        restoreGeometry(geometry);
}

QStringList TicPortDialog::portList(const QStringList &systemPorts, const QStringList &extraNames,
                                    const QString &stored)
{
    QStringList names { TicPortSettings::offPortName(), TicPortSettings::tcpIpPortName() };
    for (const QStringList *list : { &extraNames, &systemPorts })
        for (const QString &p : *list)
            if (!names.contains(p))
                names << p;
    if (!stored.isEmpty() && !names.contains(stored))
        names << stored;   // a port that is unplugged now stays selectable
    return names;
}

void TicPortDialog::loadFromSettings()
{
    QSettings settings;
    for (int n = 1; n <= TicPortSettings::PortCount; ++n)
        m_ports[std::size_t(n - 1)] = TicPortSettings::load(settings, n);
    fillWidgets(m_ports[std::size_t(m_shown - 1)]);
}

void TicPortDialog::showPort(int n)
{
    if (n >= 1 && n <= TicPortSettings::PortCount)
        PortSelector->setCurrentIndex(n - 1);
}

void TicPortDialog::fillWidgets(const TicPortSettings &p)
{
    QStringList systemPorts;
    const auto infos = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : infos)
        systemPorts << info.portName();
    systemPorts.sort();
    TicSerialPortNameList->blockSignals(true);
    TicSerialPortNameList->clear();
    TicSerialPortNameList->addItems(portList(systemPorts, { TicPortSettings::simulatorPortName() }, p.portName));
    TicSerialPortNameList->setCurrentText(p.portName);
    TicSerialPortNameList->blockSignals(false);
    TcpIpAddress->setText(p.tcpIpAddress);
    checkId(DataRateButtonGroup, p.dataRate, 9600);
    checkId(StopBitsButtonGroup, p.stopBits, 1);
    checkId(DataBitsButtonGroup, p.dataBits, 8);
    checkId(HandshakeButtonGroup, p.handshake, 0);
    checkId(ParityButtonGroup, p.parity, 0);
    checkId(UnitButtonGroup, p.bareUnit, 0);
    updateAddressField();
}

void TicPortDialog::storeShown()
{
    TicPortSettings &p = m_ports[std::size_t(m_shown - 1)];
    p.portName = TicSerialPortNameList->currentText();
    p.tcpIpAddress = TcpIpAddress->text().trimmed();
    p.dataRate = DataRateButtonGroup->checkedId();
    p.stopBits = StopBitsButtonGroup->checkedId();
    p.dataBits = DataBitsButtonGroup->checkedId();
    p.handshake = HandshakeButtonGroup->checkedId();
    p.parity = ParityButtonGroup->checkedId();
    p.bareUnit = UnitButtonGroup->checkedId();
}

TicPortDialog::AllPorts TicPortDialog::currentSettings() const
{
    const_cast<TicPortDialog *>(this)->storeShown();
    return m_ports;
}

void TicPortDialog::updateAddressField()
{
    TcpIpAddress->setEnabled(TicSerialPortNameList->currentText() == TicPortSettings::tcpIpPortName());
}

void TicPortDialog::accept()
{
    const AllPorts ports = currentSettings();
    for (int n = 1; n <= TicPortSettings::PortCount; ++n) {
        const TicPortSettings &p = ports[std::size_t(n - 1)];
        if (p.portName != TicPortSettings::tcpIpPortName())
            continue;
        GpsPortSettings::TcpAddress address;
        if (!p.tcpIpAddress.isEmpty() && GpsPortSettings::parseTcpIpAddress(p.tcpIpAddress, &address)
            && address.port <= 65535)
            continue;
        showPort(n);
        MessageBoxes::warning(this, QStringLiteral("Illegal IP Address"), illegalAddressText(p.tcpIpAddress));
        return;
    }
    QSettings settings;
    for (int n = 1; n <= TicPortSettings::PortCount; ++n)
        ports[std::size_t(n - 1)].save(settings, n);
    settings.setValue(TicPortSettings::keyGeometry(), saveGeometry());
    QDialog::accept();
}

void TicPortDialog::showEvent(QShowEvent *event)
{
    loadFromSettings();
    QDialog::showEvent(event);
}
