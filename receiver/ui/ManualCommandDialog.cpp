#include "receiver/ui/ManualCommandDialog.h"

#include "core/ReceiverMode.h"
#include "core/ReceiverState.h"
#include "core/ui/MessageBoxes.h"
#include "receiver/console/CommandCatalogue.h"
#include "receiver/console/ManualCommand.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

namespace {
const QString kGeometryKey = QStringLiteral("ManualCommandDialog/geometry");
}

ManualCommandDialog::ManualCommandDialog(const ReceiverState &state, Sender send, QWidget *parent)
    : QDialog(parent), m_state(state), m_send(std::move(send))
{
    setObjectName(QStringLiteral("ManualCommandDialog"));
    setWindowTitle(QStringLiteral("Manual Commands"));

    auto *layout = new QVBoxLayout(this);
    auto *warning = new QLabel(QStringLiteral("WARNING:  Improper use of this capability could render the system inoperable."), this);
    warning->setObjectName(QStringLiteral("IDC_WARNING_LABEL"));
    warning->setStyleSheet(QStringLiteral("color:red"));
    warning->setWordWrap(true);
    layout->addWidget(warning);

    auto *form = new QFormLayout;
    auto field = [this](const char *name, bool readOnly) {
        auto *e = new QLineEdit(this);
        e->setObjectName(QLatin1String(name));
        e->setReadOnly(readOnly);
        return e;
    };
    m_command = new QComboBox(this);
    m_command->setObjectName(QStringLiteral("IDC_COMMAND"));
    m_prefix = field("IDC_COMMAND_PREFIX", true);
    m_description = field("IDC_COMMAND_DESCRIPTION", true);
    m_parameters = field("IDC_PARAMETERS", false);
    m_checksum = field("IDC_CHECKSUM", true);
    m_ascii = field("IDC_ASCII_PARAMETERS", false);
    m_ascii->setPlaceholderText(QStringLiteral("Type this command's text parameter here; the HEX field follows."));
    m_ascii->setToolTip(m_ascii->placeholderText());
    m_asciiLabel = new QLabel(QStringLiteral("Parameters (ASCII text)"), this);
    m_asciiLabel->setObjectName(QStringLiteral("IDC_ASCII_LABEL"));
    form->addRow(QStringLiteral("Command"), m_command);
    form->addRow(QStringLiteral("Command Prefix"), m_prefix);
    form->addRow(QStringLiteral("Command Description"), m_description);
    form->addRow(QStringLiteral("Parameters (HEX if binary mode)"), m_parameters);
    form->addRow(QStringLiteral("Checksum"), m_checksum);
    form->addRow(m_asciiLabel, m_ascii);
    layout->addLayout(form);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    m_sendButton = new QPushButton(QStringLiteral("Send"), this);
    m_sendButton->setObjectName(QStringLiteral("IDC_SEND"));
    m_sendButton->setAutoDefault(false);
    auto *close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("IDC_CLOSE"));
    close->setAutoDefault(false);
    buttons->addWidget(m_sendButton);
    buttons->addWidget(close);
    layout->addLayout(buttons);

    connect(m_command, &QComboBox::currentIndexChanged, this, &ManualCommandDialog::IDC_COMMAND_currentIndexChanged);
    connect(m_parameters, &QLineEdit::textEdited, this, &ManualCommandDialog::IDC_PARAMETERS_textEdited);
    connect(m_parameters, &QLineEdit::editingFinished, this, &ManualCommandDialog::IDC_PARAMETERS_editingFinished);
    connect(m_ascii, &QLineEdit::textEdited, this, &ManualCommandDialog::IDC_ASCII_PARAMETERS_textEdited);
    connect(m_sendButton, &QPushButton::clicked, this, &ManualCommandDialog::IDC_SEND_clicked);
    connect(close, &QPushButton::clicked, this, &QDialog::close);

    // The receiver may change mode, model or busy state while the window is open.
    m_refreshTimer.setInterval(250);
    connect(&m_refreshTimer, &QTimer::timeout, this, &ManualCommandDialog::refresh);

    restoreGeometry(QSettings().value(kGeometryKey).toByteArray());
    refresh();
}

bool ManualCommandDialog::sendAllowed(const ReceiverState &state)
{
    return state.receiverMode != ReceiverMode::MotorolaBinaryRxOnly && !state.receiverBusy;
}

const CommandRow *ManualCommandDialog::currentRow() const
{
    const int i = m_command->currentIndex();
    if (i < 0 || i >= m_rows.size())
        return nullptr;
    return &CommandCatalogue::rows().at(m_rows[i]);
}

void ManualCommandDialog::refresh()
{
    if (m_state.receiverMode != m_listedMode || m_state.receiverModel != m_listedModel) {
        m_listedMode = m_state.receiverMode;
        m_listedModel = m_state.receiverModel;
        const QList<int> rows = CommandCatalogue::rowsFor(m_listedMode, m_listedModel);
        if (rows != m_rows) {
            m_rows = rows;
            const QSignalBlocker block(m_command);
            m_command->clear();
            for (int i : m_rows)
                m_command->addItem(CommandCatalogue::rows().at(i).name);
            m_command->setCurrentIndex(m_rows.isEmpty() ? -1 : 0);
            IDC_COMMAND_currentIndexChanged(m_command->currentIndex());
        }
    }
    m_sendButton->setEnabled(m_send && currentRow() && sendAllowed(m_state));
}

bool ManualCommandDialog::chooseCommand(const QString &name)
{
    const int i = m_command->findText(name);
    if (i < 0)
        return false;
    m_command->setCurrentIndex(i);
    IDC_COMMAND_currentIndexChanged(i);
    return true;
}

bool ManualCommandDialog::textInAsciiField() const
{
    // Binary rows that carry text (manufacturing data) are typed in the text field.
    const CommandRow *row = currentRow();
    return row && row->kind == CommandRow::Kind::Text && row->isMotorola();
}

void ManualCommandDialog::IDC_COMMAND_currentIndexChanged(int)
{
    const CommandRow *row = currentRow();
    m_prefix->setText(row ? row->prefix : QString());
    m_description->setText(row ? row->description : QString());
    const bool asciiField = textInAsciiField();
    const bool hex = row && row->kind == CommandRow::Kind::Hex;
    m_parameters->setReadOnly(asciiField);
    m_ascii->setEnabled(hex || asciiField);
    const int chars = row ? row->parameterLength() : -1;
    m_asciiLabel->setText(chars > 0 && (hex || asciiField)
                              ? QStringLiteral("Parameters (ASCII text, %1 characters)").arg(chars)
                              : QStringLiteral("Parameters (ASCII text)"));
    if (asciiField) {
        m_ascii->setText(row->defaults);
        m_parameters->setText(ManualCommand::textToHex(row->defaults));
    } else {
        m_ascii->clear();
        m_parameters->setText(row ? row->defaults : QString());
    }
    updateChecksum();
    m_sendButton->setEnabled(m_send && row && sendAllowed(m_state));
}

QString ManualCommandDialog::parameters() const
{
    return textInAsciiField() ? m_ascii->text() : m_parameters->text();
}

void ManualCommandDialog::updateChecksum()
{
    const CommandRow *row = currentRow();
    if (!row) {
        m_checksum->clear();
        return;
    }
    // The checksum of what is typed so far, whole or not; nothing while the hex is illegal.
    QByteArray message = row->prefixBytes();
    if (row->kind == CommandRow::Kind::Hex) {
        const QString hex = ManualCommand::normaliseHex(parameters());
        const QByteArray digits = hex.toLatin1();
        bool legal = true;
        for (char c : digits)
            legal = legal && QByteArrayLiteral("0123456789ABCDEF").contains(c);
        if (!legal) {
            m_checksum->clear();
            return;
        }
        message += QByteArray::fromHex(digits.left(digits.size() & ~1));
    } else {
        message += parameters().toLatin1();
    }
    m_checksum->setText(ManualCommand::checksumText(message));
}

void ManualCommandDialog::IDC_PARAMETERS_textEdited(const QString &)
{
    m_ascii->clear();
    updateChecksum();
}

void ManualCommandDialog::IDC_PARAMETERS_editingFinished()
{
    const CommandRow *row = currentRow();
    if (row && row->kind == CommandRow::Kind::Hex && !m_parameters->isReadOnly())
        m_parameters->setText(ManualCommand::normaliseHex(m_parameters->text()));
}

void ManualCommandDialog::IDC_ASCII_PARAMETERS_textEdited(const QString &text)
{
    m_parameters->setText(ManualCommand::textToHex(text));
    updateChecksum();
}

void ManualCommandDialog::IDC_SEND_clicked()
{
    const CommandRow *row = currentRow();
    if (!row || !m_send || !sendAllowed(m_state))
        return;
    const ManualCommand::Result r = ManualCommand::build(*row, parameters());
    if (!r.ok()) {
        MessageBoxes::warning(this, ManualCommand::errorTitle(r.error), ManualCommand::errorText(r.error));
        return;
    }
    m_send(r.message);
}

void ManualCommandDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    refresh();
    m_refreshTimer.start();
}

void ManualCommandDialog::hideEvent(QHideEvent *event)
{
    m_refreshTimer.stop();
    QSettings().setValue(kGeometryKey, saveGeometry());
    QDialog::hideEvent(event);
}
