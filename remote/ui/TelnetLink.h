#pragma once

#include "remote/RemoteControl.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;

// "Remote Control Link": switches the remote-control server on and off and chooses its port,
// the address it listens on and whether remote clients may change anything. Filled from the
// settings each time it is shown; OK writes them.
class TelnetLink : public QDialog
{
    Q_OBJECT
public:
    explicit TelnetLink(QWidget *parent = nullptr);

    // The choices as last accepted (or loaded).
    const TelnetSettings &settings() const { return m_settings; }

public Q_SLOTS:
    void accept() override;
    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    TelnetSettings m_settings;
    QCheckBox *m_activate;
    QLineEdit *m_port;
    QComboBox *m_address;
    QCheckBox *m_allowChanges;
};
