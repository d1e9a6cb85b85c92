#include "receiver/console/ManualCommand.h"

#include "receiver/framing/Checksums.h"

namespace ManualCommand {

namespace {

bool isHexDigit(QChar c)
{
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
}

// Characters a text parameter may hold: printable ASCII; inside an NMEA sentence neither "$"
// nor "*", which would end or restart it.
bool textAllowed(const QString &text, bool nmea)
{
    for (QChar c : text) {
        const ushort u = c.unicode();
        if (u < 0x20 || u > 0x7E)
            return false;
        if (nmea && (c == QLatin1Char('*') || c == QLatin1Char('$')))
            return false;
    }
    return true;
}

Result fail(Error e)
{
    Result r;
    r.error = e;
    return r;
}

} // namespace

QString normaliseHex(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text)
        if (!c.isSpace())
            out.append(c.toUpper());
    return out;
}

QString textToHex(const QString &text)
{
    return QString::fromLatin1(text.toLatin1().toHex().toUpper());
}

Result build(const CommandRow &row, const QString &parameters)
{
    const QByteArray prefix = row.prefixBytes();
    const int expected = row.parameterLength();
    QByteArray params;
    if (row.kind == CommandRow::Kind::Hex) {
        const QString hex = normaliseHex(parameters);
        for (QChar c : hex)
            if (!isHexDigit(c))
                return fail(Error::IllegalHex);
        if (hex.size() % 2)
            return fail(Error::Malformed);
        params = QByteArray::fromHex(hex.toLatin1());
    } else {
        if (!textAllowed(parameters, prefix.startsWith('$')))
            return fail(Error::Malformed);
        params = parameters.toLatin1();
    }
    if (expected >= 0 && params.size() != expected)
        return fail(Error::Malformed);
    Result r;
    r.message = prefix + params;
    if (row.isUbx()) {
        // The length field must describe the payload that goes out.
        if (r.message.size() < 6)
            return fail(Error::Malformed);
        const int declared = uint8_t(r.message.at(4)) | (uint8_t(r.message.at(5)) << 8);
        if (declared != r.message.size() - 6)
            return fail(Error::Malformed);
    }
    return r;
}

QString checksumText(const QByteArray &message)
{
    if (message.startsWith("@@") && message.size() >= 4)
        return QString::asprintf("%2.2X", Checksums::motorolaXor(QByteArrayView(message).sliced(2)));
    if (message.startsWith('$'))
        return QString::asprintf("*%2.2X", Checksums::nmeaXor(QByteArrayView(message).sliced(1)));
    if (message.size() >= 6 && uint8_t(message.at(0)) == 0xB5 && uint8_t(message.at(1)) == 0x62) {
        const Checksums::UbxChecksum ck = Checksums::ubxFletcher(QByteArrayView(message).sliced(2));
        return QString::asprintf("%2.2X%2.2X", ck.ckA, ck.ckB);
    }
    return {};
}

QString errorTitle(Error error)
{
    switch (error) {
    case Error::IllegalHex: return QStringLiteral("HEX Number Error");
    case Error::Malformed: return QStringLiteral("Message Error");
    case Error::None: break;
    }
    return {};
}

QString errorText(Error error)
{
    switch (error) {
    case Error::IllegalHex: return QStringLiteral("Illegal HEX character in parameter field.");
    case Error::Malformed: return QStringLiteral("Improperly formed message, cannot send.");
    case Error::None: break;
    }
    return {};
}

} // namespace ManualCommand
