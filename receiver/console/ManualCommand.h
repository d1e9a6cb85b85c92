#pragma once

#include "receiver/console/CommandCatalogue.h"

#include <QByteArray>
#include <QString>

// Builds and checks a hand-made command from a catalogue row and the typed parameters. The
// message is what the send path takes: it completes the checksum and the line end.
namespace ManualCommand {

enum class Error {
    None,
    IllegalHex,   // a character other than 0-9, A-F in a hex row's parameters
    Malformed,    // wrong length, half a byte, or characters a text row cannot carry
};

struct Result
{
    QByteArray message;   // prefix and parameters; empty on error
    Error error = Error::None;
    bool ok() const { return error == Error::None; }
};

// White space removed and upper-cased, as the hex field shows it.
QString normaliseHex(const QString &text);
// The text's characters as hex digits ("AB" -> "4142"), for the hex field that follows the
// text field.
QString textToHex(const QString &text);

Result build(const CommandRow &row, const QString &parameters);

// The checksum of the message being built, by family: Motorola "%2.2X" over the bytes after
// "@@"; NMEA "*%2.2X" over the characters after "$"; UBX "%2.2X%2.2X" (CK_A CK_B) over the
// bytes after the sync characters. Empty for anything else.
QString checksumText(const QByteArray &message);

// Title and text of the box that stops a send.
QString errorTitle(Error error);
QString errorText(Error error);

} // namespace ManualCommand
