#pragma once

#include "core/ReceiverState.h"

#include "receiver/DecoderContext.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>
#include <memory>

class AveragingInput;
class JsonLineWriter;
class NmeaDecoder;

// One decoding run of chronode-decode: takes every framed message and writes the JSON line to
// print for it, or nothing. Members go out in the order a reader expects them: "frame", "text",
// "utc", "lat", "lon", "altEllipsoid", "altMsl", "visible", "tracked", "sats", "sawtoothNs",
// "model", "firmware", then the others in name order.
class DecodeSession
{
public:
    virtual ~DecodeSession() = default;
    virtual void decode(const QByteArray &message, JsonLineWriter &out) = 0;
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

// Whether a message left the satellite table as it was: equal bytes settle it without a
// comparison slot by slot.
bool sameSatellites(const ReceiverState &state, const decltype(ReceiverState::satellites) &before);

// JSON pieces shared by the modes, each written as one member.
namespace DecodeJson {
void utc(JsonLineWriter &out, const ReceiverState &state);          // "utc":"2000-08-25T04:50:00.000Z"
void satellites(JsonLineWriter &out, const ReceiverState &state);   // "sats":[{id, el, az, cno}, ...]
// "lat", "lon", "altEllipsoid", "altMsl".
void position(JsonLineWriter &out, double lat, double lon, double altEllipsoid, double altMsl);
} // namespace DecodeJson
