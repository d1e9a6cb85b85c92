#include "receiver/nmea/NmeaDriver.h"

#include "receiver/ProtocolTable.h"

DecodeResult NmeaDriver::decodeSentence(NmeaDecoder &decoder, const QByteArray &message, const QString &echoPrefix)
{
    DecodeResult r;
    r.recognised = message.startsWith('$') && decoder.decodeNmeaSentence(message);
    if (!r.recognised)
        return r;
    r.lines << echoPrefix + QString::fromLatin1(message);
    const QString decoded = decoder.displayText();
    if (!decoded.isEmpty())
        r.lines << decoded;
    r.changes = decoder.lastChanges();
    return r;
}

DecodeResult NmeaDriver::decode(const QByteArray &message)
{
    DecodeResult r = decodeSentence(m_decoder, message, QStringLiteral("-> "));
    if (!r.recognised)
        r.lines << unrecognisedLine(message);
    return r;
}

std::unique_ptr<ProtocolDriver> makeNmeaDriver(const DecoderContext &context)
{
    return std::make_unique<NmeaDriver>(context);
}
