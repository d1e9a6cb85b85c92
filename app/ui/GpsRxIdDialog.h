#pragma once

#include <QDialog>

class QCheckBox;
class QPlainTextEdit;
class QPushButton;

// The receiver-ID window: the receiver's identity texts. Unlike the raw-data window it keeps
// what arrives while it is hidden: the identity comes once, at set-up.
class GpsRxIdDialog : public QDialog
{
    Q_OBJECT
public:
    static constexpr const char *Separator = "---------------------------------\n";

    explicit GpsRxIdDialog(QWidget *parent = nullptr);

    QPlainTextEdit *textView() const { return GpsRxIdPlainTextEdit; }

public Q_SLOTS:
    void appendText(const QString &text);
    void on_ClearScreen_clicked();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void applyWrap();

    QPlainTextEdit *GpsRxIdPlainTextEdit = nullptr;
    QCheckBox *m_wrap = nullptr;
    QPushButton *m_clear = nullptr;
};
