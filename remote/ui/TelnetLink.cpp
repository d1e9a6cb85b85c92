#include "remote/ui/TelnetLink.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

namespace {
const QString kGeometryKey = QStringLiteral("TelnetLink/geometry");
const QString kGoodStyle = QStringLiteral("border: 1px solid black");
const QString kBadStyle = QStringLiteral("border: 2px solid red");
}

TelnetLink::TelnetLink(QWidget *parent)
    : QDialog(parent)
    , m_activate(new QCheckBox(QStringLiteral("Activate Remote Control Link (Telnet)"), this))
    , m_port(new QLineEdit(this))
    , m_address(new QComboBox(this))
    , m_allowChanges(new QCheckBox(QStringLiteral("Allow remote changes"), this))
{
    setObjectName(QStringLiteral("TelnetLink"));
    setWindowTitle(QStringLiteral("Remote Control Link"));
    m_activate->setObjectName(QStringLiteral("IDC_TELNET_LINK_ACTIVATE"));
    m_port->setObjectName(QStringLiteral("IDC_TELNET_LINK_PORT"));
    m_port->setMaxLength(32767);
    m_port->setToolTip(QStringLiteral("Enter IP addtess"));
    m_address->setObjectName(QStringLiteral("IDC_TELNET_LINK_ADDRESS"));
    m_address->setEditable(true);
    m_address->addItems({ QStringLiteral("127.0.0.1"), QStringLiteral("::1"), QStringLiteral("0.0.0.0"),
                          QStringLiteral("::") });
    m_address->setToolTip(QStringLiteral("127.0.0.1 and ::1 accept clients on this computer only; 0.0.0.0 and :: "
                                         "accept them from every network this computer is on."));
    m_allowChanges->setObjectName(QStringLiteral("IDC_TELNET_LINK_ALLOW_CHANGES"));
    m_allowChanges->setToolTip(QStringLiteral("Without it remote clients may only ask: setting the reference "
                                              "location and creating, opening or closing logs are refused."));

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Telnet Server Port Number"), m_port);
    form->addRow(QStringLiteral("Listen Address"), m_address);
    auto *buttons = new QDialogButtonBox(this);
    QPushButton *ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("OK"));
    ok->setDefault(true);
    QPushButton *cancel = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("CANCEL"));
    connect(buttons, &QDialogButtonBox::accepted, this, &TelnetLink::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &TelnetLink::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_activate);
    layout->addLayout(form);
    layout->addWidget(m_allowChanges);
    layout->addWidget(buttons);
}

void TelnetLink::showEvent(QShowEvent *event)
{
    QSettings settings;
    restoreGeometry(settings.value(kGeometryKey).toByteArray());
    m_settings = TelnetSettings::load(settings);
    m_activate->setChecked(m_settings.activate);
    m_port->setStyleSheet(kGoodStyle);
    m_port->setText(QString::number(m_settings.port));
    m_address->setStyleSheet(QString());
    m_address->setCurrentText(m_settings.listenAddress);
    m_allowChanges->setChecked(m_settings.allowChanges);
    QDialog::showEvent(event);
}

void TelnetLink::accept()
{
    const int port = TelnetSettings::portFromText(m_port->text());
    if (port < 0) {
        m_port->setStyleSheet(kBadStyle);
        m_port->setFocus();
        if (m_port->text().isEmpty())
            m_port->setText(QString::number(TelnetSettings::DefaultPort));
        return;
    }
    m_port->setStyleSheet(kGoodStyle);
    const QString address = m_address->currentText().trimmed();
    if (!TelnetSettings::validAddress(address)) {
        m_address->setStyleSheet(kBadStyle);
        m_address->setFocus();
        return;
    }
    m_address->setStyleSheet(QString());
    m_settings = { m_activate->isChecked(), port, address, m_allowChanges->isChecked() };
    QSettings settings;
    m_settings.save(settings);
    QDialog::accept();
}

void TelnetLink::done(int result)
{
    QSettings().setValue(kGeometryKey, saveGeometry());
    QDialog::done(result);
}
