#include "receiver/ProtocolDriver.h"

QString ProtocolDriver::unrecognisedLine(const QByteArray &message)
{
    QString out = QStringLiteral("?  ");
    out.reserve(3 + message.size());
    for (char ch : message) {
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 0x20 && c < 0x7F)
            out += QLatin1Char(ch);
        else
            out += QStringLiteral("<%1>").arg(c, 2, 16, QLatin1Char('0')).toUpper();
    }
    return out;
}
