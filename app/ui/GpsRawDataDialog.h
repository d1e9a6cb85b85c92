#pragma once

#include <QDialog>

class QCheckBox;
class QPlainTextEdit;
class QPushButton;

// The raw-data window: receiver traffic as text ("->" from the receiver, "<-" to it). Text
// that arrives while the window is hidden is not kept.
class GpsRawDataDialog : public QDialog
{
    Q_OBJECT
public:
    explicit GpsRawDataDialog(QWidget *parent = nullptr);

    QPlainTextEdit *textView() const { return m_text; }

public Q_SLOTS:
    // Adds the text as a new paragraph while the window is visible; with wrapping off the text
    // is trimmed of leading and trailing white space first.
    void appendText(const QString &text);
    void on_ClearScreen_clicked();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void applyWrap();

    QPlainTextEdit *m_text = nullptr;
    QCheckBox *m_wrap = nullptr;
    QPushButton *m_clear = nullptr;
};
