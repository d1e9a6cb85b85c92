#pragma once

#include <QDialog>
#include <QList>
#include <QTimer>
#include <functional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
struct CommandRow;
struct ReceiverState;

// "Manual Commands": picks a catalogue command that suits the present receiver, lets the user
// edit its parameters, shows the checksum the frame will carry and sends it through the
// station's command path (which completes checksum and line end). Send is off in receive-only
// mode and while the receiver is being set up.
class ManualCommandDialog : public QDialog
{
    Q_OBJECT
public:
    using Sender = std::function<void(const QByteArray &)>;

    ManualCommandDialog(const ReceiverState &state, Sender send, QWidget *parent = nullptr);

    // Whether a command may go out now: not in receive-only mode, not while the receiver is
    // being set up.
    static bool sendAllowed(const ReceiverState &state);

    // Catalogue indexes of the listed rows.
    const QList<int> &listedRows() const { return m_rows; }
    // Lists the rows for the present receiver (kept when they did not change) and refreshes Send.
    void refresh();
    // Chooses a listed row by name; false when it is not listed.
    bool chooseCommand(const QString &name);
    const CommandRow *currentRow() const;

public Q_SLOTS:
    void IDC_COMMAND_currentIndexChanged(int index);
    void IDC_PARAMETERS_textEdited(const QString &text);
    void IDC_PARAMETERS_editingFinished();
    void IDC_ASCII_PARAMETERS_textEdited(const QString &text);
    void IDC_SEND_clicked();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    QString parameters() const;
    void updateChecksum();
    bool textInAsciiField() const;

    const ReceiverState &m_state;
    Sender m_send;
    QList<int> m_rows;
    int m_listedMode = -1;
    int m_listedModel = -1;
    QTimer m_refreshTimer;

    QComboBox *m_command = nullptr;
    QLineEdit *m_prefix = nullptr;
    QLineEdit *m_description = nullptr;
    QLineEdit *m_parameters = nullptr;
    QLineEdit *m_checksum = nullptr;
    QLabel *m_asciiLabel = nullptr;
    QLineEdit *m_ascii = nullptr;
    QPushButton *m_sendButton = nullptr;
};
