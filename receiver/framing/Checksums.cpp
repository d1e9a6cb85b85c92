#include "receiver/framing/Checksums.h"

namespace Checksums {

uint8_t motorolaXor(QByteArrayView bytes)
{
    uint8_t x = 0;
    for (char c : bytes)
        x ^= static_cast<uint8_t>(c);
    return x;
}

bool motorolaFrameValid(QByteArrayView frame)
{
    const qsizetype n = frame.size();
    if (n < 3 || frame[n - 2] != '\r' || frame[n - 1] != '\n')
        return false;
    // "@@Eq" (ASCII position message) is accepted on its CR LF alone: receivers are known
    // to send it with a bad checksum byte.
    if (n >= 4 && frame.first(4) == QByteArrayView("@@Eq"))
        return true;
    return motorolaXor(frame.first(n - 3)) == static_cast<uint8_t>(frame[n - 3]);
}

UbxChecksum ubxFletcher(QByteArrayView bytes)
{
    unsigned a = 0;
    unsigned b = 0;
    for (char c : bytes) {
        a = (a + static_cast<uint8_t>(c)) & 0xFF;
        b = (b + a) & 0xFF;
    }
    return { static_cast<uint8_t>(a), static_cast<uint8_t>(b) };
}

bool ubxFrameValid(QByteArrayView frame)
{
    const qsizetype n = frame.size();
    if (n < 8)
        return false;
    const UbxChecksum ck = ubxFletcher(frame.sliced(2, n - 4));
    return ck.ckA == static_cast<uint8_t>(frame[n - 2]) && ck.ckB == static_cast<uint8_t>(frame[n - 1]);
}

uint8_t nmeaXor(QByteArrayView bytes)
{
    return motorolaXor(bytes);
}

QByteArray hexByte(uint8_t value)
{
    static const char digits[] = "0123456789ABCDEF";
    const char out[2] = { digits[value >> 4], digits[value & 0x0F] };
    return QByteArray(out, 2);
}

bool nmeaSentenceValid(QByteArrayView s)
{
    const qsizetype n = s.size();
    // A star in the first place has nothing before it to check (and no body to read).
    if (n >= 4 && s[n - 3] == '*') {
        static const char digits[] = "0123456789ABCDEF";
        const uint8_t x = nmeaXor(s.sliced(1, n - 4));
        return s[n - 2] == digits[x >> 4] && s[n - 1] == digits[x & 0x0F];
    }
    if (s.contains('*'))
        return false;
    return (s.startsWith("$GP") || s.startsWith("$P")) && s.contains(',');
}

} // namespace Checksums
