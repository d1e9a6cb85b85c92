#include "receiver/framing/NmeaUbxFramer.h"

#include "receiver/framing/Checksums.h"

#include <cstring>

namespace {

constexpr unsigned char kUbxSync1 = 0xB5;
constexpr unsigned char kUbxSync2 = 0x62;

inline bool isPrintable(unsigned char c)
{
    return c >= 0x20 && c <= 0x7E;
}

} // namespace

NmeaUbxFramer::NmeaUbxFramer()
{
    m_accumulator.reserve(MaxUbxPayload + 16);
}

void NmeaUbxFramer::reset()
{
    m_accumulator.resize(0);
    m_state = 0;
    m_ubxLength = 0;
}

// The common case of a message that lies whole in the chunk: the same decisions as the state
// machine below, taken on the chunk itself. `p` starts at 0xB5 or '$'. Returns the bytes used
// up, or 0 when the message runs past the end of the chunk.
qsizetype NmeaUbxFramer::frameInPlace(const unsigned char *p, qsizetype n, const FrameSink &sink)
{
    const char *c = reinterpret_cast<const char *>(p);
    if (p[0] == kUbxSync1) {
        if (n < 2)
            return 0;
        if (p[1] != kUbxSync2)
            return 1;
        if (n < 6)
            return 0;
        const int length = p[4] | (p[5] << 8);
        if (length >= MaxUbxPayload)
            return 6;
        const qsizetype total = length + 8;
        if (n < total)
            return 0;
        if (Checksums::ubxFrameValid(QByteArrayView(c, total)))
            sink(QByteArray(c, total));
        return total;
    }
    // '$': the sentence runs over printable characters up to CR or LF.
    const qsizetype room = MaxSentenceLength - 1;
    const qsizetype stop = std::min(n, 1 + room + 1);
    qsizetype k = 1;
    while (k < stop && isPrintable(p[k]))
        ++k;
    if (k - 1 > room)
        return 1 + room;   // too long: dropped
    if (k == n)
        return 0;
    if (p[k] == '\r' || p[k] == '\n') {
        if (Checksums::nmeaSentenceValid(QByteArrayView(c, k)))
            sink(QByteArray(c, k));
        return k + 1;
    }
    return k;   // a control or 8-bit byte ends it; that byte is looked at again
}

void NmeaUbxFramer::feed(QByteArrayView bytes, bool nmeaOnly, bool &ppsPending, const FrameSink &sink)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        switch (m_state) {
        case 0: {
            emitPendingPps(ppsPending, sink);
            m_accumulator.resize(0);
            qsizetype j = i;
            if (nmeaOnly) {
                const void *at = std::memchr(p + i, '$', static_cast<size_t>(n - i));
                j = at ? static_cast<const unsigned char *>(at) - p : n;
            } else {
                while (j < n && p[j] != '$' && p[j] != kUbxSync1)
                    ++j;
            }
            if (j >= n) {
                i = n;
                break;
            }
            const qsizetype used = frameInPlace(p + j, n - j, sink);
            if (used > 0) {
                i = j + used;
                break;
            }
            m_accumulator.append(static_cast<char>(p[j]));
            m_state = p[j] == '$' ? 9 : 1;
            i = j + 1;
            break;
        }
        case 1:
            if (p[i] != kUbxSync2) {
                reset();   // looked at again in state 0
                break;
            }
            m_accumulator.append(static_cast<char>(p[i++]));
            m_state = 2;
            break;
        case 2:   // class
        case 3:   // identifier
        case 4:   // length, low byte
            m_accumulator.append(static_cast<char>(p[i++]));
            ++m_state;
            break;
        case 5: { // length, high byte
            m_accumulator.append(static_cast<char>(p[i++]));
            const int length = static_cast<uint8_t>(m_accumulator[4]) | (static_cast<uint8_t>(m_accumulator[5]) << 8);
            if (length >= MaxUbxPayload) {
                reset();
                break;
            }
            m_ubxLength = length;
            m_state = length == 0 ? 7 : 6;
            break;
        }
        case 6: {
            const qsizetype take = std::min<qsizetype>(m_ubxLength + 6 - m_accumulator.size(), n - i);
            m_accumulator.append(reinterpret_cast<const char *>(p + i), take);
            i += take;
            if (m_accumulator.size() >= m_ubxLength + 6)
                m_state = 7;
            break;
        }
        case 7:
            m_accumulator.append(static_cast<char>(p[i++]));
            m_state = 8;
            break;
        case 8:
            m_accumulator.append(static_cast<char>(p[i++]));
            if (Checksums::ubxFrameValid(m_accumulator))
                sink(m_accumulator);
            reset();
            break;
        case 9: {
            qsizetype k = i;
            while (k < n && isPrintable(p[k]))
                ++k;
            const qsizetype room = MaxSentenceLength - m_accumulator.size();
            if (k - i > room) {
                // Too long to be a sentence: drop it and hunt again after what was kept.
                i += room;
                reset();
                break;
            }
            m_accumulator.append(reinterpret_cast<const char *>(p + i), k - i);
            i = k;
            if (k >= n)
                break;
            if (p[k] == '\r' || p[k] == '\n') {
                ++i;
                if (Checksums::nmeaSentenceValid(m_accumulator))
                    sink(m_accumulator);
            }
            // A control or 8-bit byte inside a sentence drops it; that byte is looked at
            // again in state 0.
            reset();
            break;
        }
        default:
            reset();
            break;
        }
    }
}
