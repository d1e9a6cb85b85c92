#include "core/ReceiverMode.h"

#include <QStringList>

namespace ReceiverMode {

QString text(int mode)
{
    switch (mode) {
    case MotorolaLoran: return QStringLiteral("Motorola LORAN");
    case MotorolaNmea: return QStringLiteral("Motorola NMEA");
    case MotorolaBinary: return QStringLiteral("Motorola Binary");
    case MotorolaBinaryRxOnly: return QStringLiteral("Motorola Binary Rx Only");
    case GenericNmea: return QStringLiteral("Generic NMEA");
    case UbloxUbx: return QStringLiteral("u-blox UBX");
    case UbloxNmea: return QStringLiteral("u-blox NMEA");
    case Search: return QStringLiteral("Search");
    default: return QString();
    }
}

QStringList portDialogTexts()
{
    return { text(MotorolaBinary), text(MotorolaBinaryRxOnly), text(MotorolaNmea),
             text(UbloxUbx), text(UbloxNmea), text(GenericNmea) };
}

int fromSettingsText(const QString &t)
{
    for (int mode : { MotorolaBinary, MotorolaBinaryRxOnly, MotorolaNmea, UbloxUbx, UbloxNmea, GenericNmea }) {
        if (t == text(mode))
            return mode;
    }
    return Search;
}

} // namespace ReceiverMode
