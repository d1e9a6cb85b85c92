#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// One command of the manual command console's catalogue.
struct CommandRow
{
    // Which receivers and modes the row is listed for.
    enum class Group {
        MotorolaBinary,   // "@@" commands, Motorola binary mode
        MotorolaNmea,     // "$PMOTG" control sentences (and the SSR baud-rate change), Motorola NMEA mode
        Ublox,            // UBX poll and set messages, u-blox UBX mode
        UbloxNmea,        // CFG-MSG rate of one NMEA sentence, u-blox NMEA mode
        Garmin,           // Garmin and Chronode's own sentences, TX Oncore
    };
    // How the parameters are typed and checked.
    enum class Kind {
        Hex,    // hexadecimal digits, two a byte (white space allowed, any case)
        Text,   // printable ASCII text, sent as typed
    };

    QString name;          // shown in the command list: "@@Aa", "$GPGGA", "CFG-PRTb"
    QString prefix;        // as shown: "@@Aa", "$PMOTG,GGA,", "B56206001400" (UBX in hex)
    QString description;   // with the supporting models in brackets
    // Motorola: whole message length (7 + parameter bytes); UBX: payload length; NMEA: the
    // characters after "$" plus 5 ("*hh" and CR LF); -1: any length.
    int length = -1;
    QString defaults;      // default parameters (hex digits for Hex rows)
    Group group = Group::MotorolaBinary;
    Kind kind = Kind::Hex;

    // The prefix as the bytes that begin the message.
    QByteArray prefixBytes() const;
    // Number of parameter bytes (Hex) or characters (Text) the row expects; -1 for any.
    int parameterLength() const;
    bool isUbx() const { return prefix.startsWith(QLatin1String("B562")); }
    bool isMotorola() const { return prefix.startsWith(QLatin1String("@@")); }
};

// The built-in catalogue, in its fixed order, and the rows that suit a receiver.
namespace CommandCatalogue {

const QList<CommandRow> &rows();
// Index of the first row of this name (and group, when given); -1 when none.
int find(const QString &name);
int find(const QString &name, CommandRow::Group group);

// Indexes of the rows listed for a receiver mode and model: Motorola binary rows in the binary
// modes (the Synergy extension rows only for the SSR models, and the u-blox switch only for
// the u-blox-based SSR-M8 units), the nine NMEA control rows in Motorola NMEA mode, the nine
// UBX rows in u-blox UBX mode, the thirteen rate rows in u-blox NMEA mode, and the Garmin and
// proprietary rows for the TX Oncore.
QList<int> rowsFor(int receiverMode, int receiverModel);

} // namespace CommandCatalogue
