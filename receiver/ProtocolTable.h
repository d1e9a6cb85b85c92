#pragma once

#include <QString>
#include <memory>
#include <span>

class ProtocolDriver;
struct DecoderContext;

// How the link cuts a receiver mode's byte stream into messages.
enum class Framing {
    None,      // nothing is framed (the search, unknown modes)
    Loran,     // text lines of the Motorola LORAN output
    Motorola,  // "@@" binary frames
    Nmea,      // NMEA sentences only
    NmeaUbx,   // UBX frames and the NMEA sentences mixed with them
};

// The protocol families; each is one driver.
enum class ProtocolFamily { None, Loran, Motorola, Nmea, Ublox };

// One receiver mode: how it is framed, which driver decodes it and what chronode-decode calls it.
// This table is the only place that maps receiver modes to protocol families; the station's
// dispatch, the stream framer, the receiver settings and chronode-decode all read it. A new
// protocol family is one driver folder and one row here.
struct ProtocolRow
{
    int mode;
    Framing framing;
    ProtocolFamily family;
    const char *toolName;   // chronode-decode --mode name; null where the tool offers none
    bool receiveOnly;       // nothing is ever sent to the receiver in this mode
    std::unique_ptr<ProtocolDriver> (*makeDriver)(const DecoderContext &context);
};

std::span<const ProtocolRow> protocolTable();
// The row of a receiver mode; null for the search (11) and unknown values.
const ProtocolRow *protocolRow(int mode);
Framing framingOf(int mode);
ProtocolFamily familyOf(int mode);

// Driver factories, each defined beside its driver.
std::unique_ptr<ProtocolDriver> makeLoranDriver(const DecoderContext &context);
std::unique_ptr<ProtocolDriver> makeMotorolaDriver(const DecoderContext &context);
std::unique_ptr<ProtocolDriver> makeNmeaDriver(const DecoderContext &context);
std::unique_ptr<ProtocolDriver> makeUbloxDriver(const DecoderContext &context);
