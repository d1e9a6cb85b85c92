#include "app/ui/TicDataDialogs.h"

#include <QPlainTextEdit>

TicDataDialog::TicDataDialog(const Layout &layout, QWidget *parent)
    : TrafficTextDialog(layout, parent)
{
}

void TicDataDialog::appendText(const QString &text)
{
    if (isVisible())
        textView()->appendPlainText(text.trimmed());
}

void TicDataDialog::showEvent(QShowEvent *event)
{
    textView()->clear();
    TrafficTextDialog::showEvent(event);
}

TicRawDataDialog::TicRawDataDialog(QWidget *parent)
    : TicDataDialog({ QStringLiteral("TicRawDataDialog"), QStringLiteral("TIC Raw Data"),
                      QStringLiteral("RawPlainTextEdit"), QStringLiteral("Wrap text"),
                      QStringLiteral("    \"->\" = from TIC,    \"<-\" = to TIC [Raw Data]"), 5000, QSize(560, 380) },
                    parent)
{
}

TicProcessedDataDialog::TicProcessedDataDialog(QWidget *parent)
    : TicDataDialog({ QStringLiteral("TicProcessedDataDialog"), QStringLiteral("TIC Processed Data"),
                      QStringLiteral("ProcessedPlainTextEdit"), QStringLiteral("Wrap text"),
                      QStringLiteral("    \"->\" = from TIC,    \"<-\" = to TIC [Processed Data]"), 5000,
                      QSize(720, 380) },
                    parent)
{
}
