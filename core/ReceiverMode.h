#pragma once

#include <QString>

// Which protocol family the link frames and the dispatcher decodes.
namespace ReceiverMode {
enum Value : int {
    MotorolaLoran = 0,
    MotorolaNmea = 1,
    MotorolaBinary = 2,
    MotorolaBinaryRxOnly = 3,
    GenericNmea = 6,
    UbloxUbx = 9,
    UbloxNmea = 10,
    Search = 11,
};

// Display text of a mode ("Motorola Binary", ...); empty for values without one.
QString text(int mode);
// Mode of a stored port-dialog text; anything but the six port-dialog texts gives Search (11).
int fromSettingsText(const QString &text);
// The six texts the port dialog offers, in its list order.
QStringList portDialogTexts();
} // namespace ReceiverMode
