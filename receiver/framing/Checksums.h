#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <cstdint>

// The checksums of the three receiver protocol families. Shared by the framers (receive side),
// the command channel (send side), the simulated receiver and the command-line tools.
namespace Checksums {

// Motorola binary: exclusive-or of every byte given.
uint8_t motorolaXor(QByteArrayView bytes);
// A whole Motorola frame from the first '@' through CR LF: valid when it ends in CR LF and the
// byte before them is the exclusive-or of everything before it. A frame starting "@@Eq" only
// needs the CR LF.
bool motorolaFrameValid(QByteArrayView frame);

// UBX 8-bit Fletcher over the given bytes (class, id, both length bytes and payload).
struct UbxChecksum
{
    uint8_t ckA = 0;
    uint8_t ckB = 0;
};
UbxChecksum ubxFletcher(QByteArrayView bytes);
// A whole UBX frame from 0xB5 0x62 through CK_B: at least 8 bytes and both check bytes right.
bool ubxFrameValid(QByteArrayView frame);

// NMEA: exclusive-or of the characters given (those between '$' and '*').
uint8_t nmeaXor(QByteArrayView bytes);
// Two upper-case hexadecimal digits, as the receivers write them.
QByteArray hexByte(uint8_t value);
// A sentence from '$' up to and including its checksum field, without CR LF. With a '*' as the
// third-last character the two digits after it must be the upper-case checksum; without any
// '*' the sentence is accepted when it begins "$GP" or "$P" and holds a ','; a '*' anywhere
// else makes it invalid.
bool nmeaSentenceValid(QByteArrayView sentence);

} // namespace Checksums
