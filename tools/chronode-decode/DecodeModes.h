#pragma once

#include "receiver/DecoderContext.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <functional>
#include <memory>

struct ReceiverState;
class AveragingInput;
class NmeaDecoder;

// One decoding run of chronode-decode: takes every framed message and returns the JSON object
// to print for it (an empty object prints nothing).
class DecodeSession
{
public:
    virtual ~DecodeSession() = default;
    virtual QJsonObject decode(const QByteArray &message) = 0;
};

// A --mode of the tool: its name, the receiver mode the stream is framed in and the decoder
// for that mode. Adding a protocol family means adding one entry to decodeModes().
struct DecodeMode
{
    QString name;
    int receiverMode = 0;
    // Null while the mode has no decoder in this build.
    std::function<std::unique_ptr<DecodeSession>(ReceiverState &)> makeSession;
};

const QList<DecodeMode> &decodeModes();
// The u-blox modes ("ubx", "ublox-nmea"): UBX frames and the NMEA sentences mixed with them.
std::unique_ptr<DecodeSession> makeUbxDecodeSession(ReceiverState &state);
// The NMEA modes ("motorola-nmea", "generic-nmea").
std::unique_ptr<DecodeSession> makeNmeaDecodeSession(ReceiverState &state);
const DecodeMode *findDecodeMode(const QString &name);

// The decoders' context in the tool: the state, the recording engine (if any), and every text
// built even with no window to show it.
DecoderContext decodeContext(ReceiverState &state, AveragingInput *engine = nullptr);

// JSON pieces shared by the modes.
namespace DecodeJson {
QString utc(const ReceiverState &state);             // "2000-08-25T04:50:00.000Z"
QJsonArray satellites(const ReceiverState &state);   // [{id, el, az, cno}, ...] of the table
// "sentence", and the decoder's "text" and "warning" when it has them.
void insertSentence(QJsonObject &o, const QByteArray &sentence, const NmeaDecoder &nmea);
// "lat", "lon", "altEllipsoid", "altMsl".
void insertPosition(QJsonObject &o, double lat, double lon, double altEllipsoid, double altMsl);
} // namespace DecodeJson
