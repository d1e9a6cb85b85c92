#include "app/ui/GpsRxIdDialog.h"

#include <QPlainTextEdit>

GpsRxIdDialog::GpsRxIdDialog(QWidget *parent)
    : TrafficTextDialog({ QStringLiteral("GpsRxIdDialog"), QStringLiteral("Receiver ID  Message"),
                          QStringLiteral("GpsRxIdPlainTextEdit"), QStringLiteral("Wrap text"), QString(), 2000,
                          QSize(560, 420) },
                        parent)
{
}

void GpsRxIdDialog::appendText(const QString &text)
{
    textView()->appendPlainText(text);
}
