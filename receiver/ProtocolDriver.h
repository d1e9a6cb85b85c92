#pragma once

#include "receiver/DecoderContext.h"

#include <QByteArray>
#include <QStringList>

// What a driver made of one message: the lines for the raw-data window, in order ("-> " echoes
// and decoded texts, or a "?  " line for a message it did not recognise), whether those lines
// also go to a Raw GPS log, and what the message changed (DecodeChange bits).
struct DecodeResult
{
    bool recognised = false;
    QStringList lines;
    bool toLog = true;
    int changes = 0;
};

// One protocol family: decodes the messages the link frames in its receiver modes and sends the
// family's timed polls. Drivers are made from the protocol table with the station's decoder
// context and live as long as the station.
class ProtocolDriver
{
public:
    virtual ~ProtocolDriver() = default;

    // One message as the link emits it (see MessageDecoders.h for each family's form).
    virtual DecodeResult decode(const QByteArray &message) = 0;
    // The family's polls at a 1PPS tick whose receiver UTC second is `second`; `nowMs` is the
    // station's clock.
    virtual void tick(int second, qint64 nowMs) { Q_UNUSED(second); Q_UNUSED(nowMs); }
    // Decoder options changed (the receiver's local-time setting).
    virtual void setOptions(const DecoderOptions &options) { Q_UNUSED(options); }

    // The "?  " line of an unrecognised message: printable bytes as they are, others "<%2.2X>".
    static QString unrecognisedLine(const QByteArray &message);
};
