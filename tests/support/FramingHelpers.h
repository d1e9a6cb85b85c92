#pragma once

// Builders for well-formed receiver frames used by the receiver link tests.

#include "receiver/framing/Checksums.h"
#include "receiver/framing/MotorolaFramer.h"

#include <QByteArray>
#include <QList>

namespace Frames {

// "@@" + id + body + checksum + CR LF; the body is sized to the identifier's table length
// and filled with `fill` when not given.
inline QByteArray motorola(const char *id, QByteArray body = {}, char fill = 0)
{
    QByteArray f = QByteArray("@@") + id;
    if (body.isNull()) {
        const int len = MotorolaFramer::messageLength(id[0], id[1]);
        body = QByteArray(len - 7, fill);
    }
    f += body;
    f.append(static_cast<char>(Checksums::motorolaXor(f)));
    f += "\r\n";
    return f;
}

// A Motorola command as the link sends it ("@@" + identifier and parameters, checksum, CR LF),
// with the checksum computed here, independently of the project's own checksum code.
inline QByteArray command(const QByteArray &idAndParams)
{
    QByteArray c = "@@" + idAndParams;
    uint8_t x = 0;
    for (char ch : c)
        x ^= uint8_t(ch);
    c.append(char(x));
    c.append("\r\n");
    return c;
}

// The frame as the link hands it on: without checksum and CR LF.
inline QByteArray emitted(const QByteArray &wire)
{
    return wire.left(wire.size() - 3);
}

// "@@Bb" with a count byte and `records` seven-byte records.
inline QByteArray bb(int count, int records)
{
    QByteArray body;
    body.append(static_cast<char>(count));
    for (int r = 0; r < records; ++r) {
        const char rec[7] = { static_cast<char>(r + 1), 0, 0, 45, 0, 90, 0 };
        body.append(rec, 7);
    }
    return motorola("Bb", body);
}

inline QByteArray nmea(const QByteArray &body, const char *ending = "\r\n")
{
    return "$" + body + "*" + Checksums::hexByte(Checksums::nmeaXor(body)) + ending;
}

inline QByteArray nmeaEmitted(const QByteArray &body)
{
    return "$" + body + "*" + Checksums::hexByte(Checksums::nmeaXor(body));
}

inline QByteArray ubx(uint8_t cls, uint8_t id, const QByteArray &payload)
{
    QByteArray f("\xB5\x62", 2);
    f.append(static_cast<char>(cls));
    f.append(static_cast<char>(id));
    f.append(static_cast<char>(payload.size() & 0xFF));
    f.append(static_cast<char>((payload.size() >> 8) & 0xFF));
    f += payload;
    const Checksums::UbxChecksum ck = Checksums::ubxFletcher(QByteArrayView(f).sliced(2));
    f.append(static_cast<char>(ck.ckA));
    f.append(static_cast<char>(ck.ckB));
    return f;
}

} // namespace Frames
