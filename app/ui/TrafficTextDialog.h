#pragma once

#include <QDialog>

class QCheckBox;
class QPlainTextEdit;
class QPushButton;

// A read-only text window for receiver traffic: a Verdana text view that keeps a bounded
// number of paragraphs (months of running must not grow memory), a wrap check box (no wrap
// when unchecked, widget width when checked or partly checked), a "Clear Screen" button and
// the window geometry kept under "<object name>/geometry".
class TrafficTextDialog : public QDialog
{
    Q_OBJECT
public:
    struct Layout
    {
        QString objectName;       // also the settings group of the geometry
        QString title;
        QString textObjectName;
        QString wrapText;
        QString legend;           // optional label beside the buttons
        int maxParagraphs;
        QSize size;
    };

    TrafficTextDialog(const Layout &layout, QWidget *parent);

    QPlainTextEdit *textView() const { return m_text; }

public Q_SLOTS:
    void on_ClearScreen_clicked();

protected:
    bool wrapping() const;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void applyWrap();

    QString m_geometryKey;
    QPlainTextEdit *m_text = nullptr;
    QCheckBox *m_wrap = nullptr;
    QPushButton *m_clear = nullptr;
};
