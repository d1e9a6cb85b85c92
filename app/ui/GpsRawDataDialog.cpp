#include "app/ui/GpsRawDataDialog.h"

#include <QPlainTextEdit>

GpsRawDataDialog::GpsRawDataDialog(QWidget *parent)
    : TrafficTextDialog({ QStringLiteral("GpsRawDataDialog"), QStringLiteral("GPS Raw Data"),
                          QStringLiteral("GpsRawDataPlainTextEdit"), QStringLiteral("Wrap text "),
                          QStringLiteral("   \"->\" = from GPS,    \"<-\" = to GPS"), 5000, QSize(640, 420) },
                        parent)
{
}

void GpsRawDataDialog::appendText(const QString &text)
{
    if (!isVisible())
        return;
    textView()->appendPlainText(wrapping() ? text : text.trimmed());
}
