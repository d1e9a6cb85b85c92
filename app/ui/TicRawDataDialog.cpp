#include "app/ui/TicRawDataDialog.h"

#include <QPlainTextEdit>

TicRawDataDialog::TicRawDataDialog(QWidget *parent)
    : TrafficTextDialog({ QStringLiteral("TicRawDataDialog"), QStringLiteral("TIC Raw Data"),
                          QStringLiteral("RawPlainTextEdit"), QStringLiteral("Wrap text"),
                          QStringLiteral("    \"->\" = from TIC,    \"<-\" = to TIC [Raw Data]"), 5000,
                          QSize(560, 380) },
                        parent)
{
}

void TicRawDataDialog::appendText(const QString &text)
{
    if (isVisible())
        textView()->appendPlainText(text.trimmed());
}

void TicRawDataDialog::showEvent(QShowEvent *event)
{
    textView()->clear();
    TrafficTextDialog::showEvent(event);
}
