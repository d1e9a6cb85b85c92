#include "receiver/framing/MotorolaFramer.h"

#include "receiver/framing/Checksums.h"

#include <array>
#include <cstring>

namespace {

struct LengthEntry
{
    char id[3];
    short length;
};

// Total message lengths, from the first '@' through the LF.
constexpr LengthEntry kLengths[] = {
    { "AA", 8 }, { "AB", 8 }, { "AC", 9 }, { "AD", 9 }, { "AE", 8 }, { "AJ", 8 }, { "AM", 11 },
    { "AN", 8 }, { "AO", 8 }, { "AP", 8 }, { "AQ", 8 }, { "AS", 8 }, { "Aa", 10 }, { "Ab", 10 },
    { "Ac", 11 }, { "Ad", 11 }, { "Ae", 11 }, { "Af", 15 }, { "Ag", 8 }, { "Ah", 8 }, { "Ai", 9 },
    { "Aj", 8 }, { "Ak", 9 }, { "Al", 9 }, { "Am", 12 }, { "An", 8 }, { "Ap", 25 }, { "Aq", 8 },
    { "Ar", 8 }, { "As", 20 }, { "At", 8 }, { "Au", 12 }, { "Av", 8 }, { "Aw", 8 }, { "Ax", 9 },
    { "Ay", 11 }, { "Az", 11 },
    { "Ba", 68 }, { "Bb", 92 }, { "Bc", 82 }, { "Bd", 23 }, { "Bf", 80 }, { "Bg", 122 }, { "Bj", 8 },
    { "Bk", 69 }, { "Bl", 41 }, { "Bn", 59 }, { "Bo", 8 },
    // The DGPS correction output has no fixed length: it ends at the first CR LF that
    // follows a matching checksum.
    { "Bh", MotorolaFramer::SelfDelimited },
    { "Ca", 9 }, { "Cb", 33 }, { "Cc", 80 }, { "Cd", 171 }, { "Ce", 52 }, { "Cf", 7 }, { "Cg", 8 },
    { "Ch", 9 }, { "Cj", 294 }, { "Ck", 7 }, { "Co", 29 },
    { "Ea", 76 }, { "Ec", 100 }, { "Eg", 158 }, { "Ek", 71 }, { "En", 69 }, { "Eq", 96 },
    { "Fa", 9 }, { "Fd", 189 },
    { "Ga", 20 }, { "Gb", 17 }, { "Gc", 8 }, { "Gd", 8 }, { "Ge", 8 }, { "Gf", 9 }, { "Gj", 21 },
    { "Gk", 13 }, { "Gl", 264 },
    { "Ha", 154 }, { "Hb", 54 }, { "Hn", 78 }, { "Hr", 170 },
    { "Ia", 10 }, { "Ip", 127 }, { "Ir", 7 },
    { "SP", 11 }, { "Sa", 184 }, { "Sc", 8 }, { "Sm", 8 }, { "So", 8 }, { "Sp", 8 }, { "St", 8 },
    { "Sx", 8 }, { "Sz", 8 },
    { "Tf", 12 }, { "Ti", 21 }, { "Tj", 27 }, { "Tk", 65 }, { "Tm", 19 }, { "Tn", 11 }, { "To", 142 },
    { "Tq", 7 }, { "Tr", 597 }, { "Ts", 17 },
    { "Wb", 9 }, { "Wm", 22 }, { "Wo", 9 }, { "Ws", 18 },
};

using LengthTable = std::array<short, 256 * 256>;

const LengthTable &lengthTable()
{
    static const LengthTable table = [] {
        LengthTable t;
        t.fill(MotorolaFramer::Unknown);
        for (int second = 0; second < 256; ++second)
            t['W' * 256 + second] = 0;
        for (const LengthEntry &e : kLengths)
            t[static_cast<uint8_t>(e.id[0]) * 256 + static_cast<uint8_t>(e.id[1])] = e.length;
        return t;
    }();
    return table;
}

} // namespace

MotorolaFramer::MotorolaFramer()
{
    m_accumulator.reserve(MaxFrameLength + 8);
}

int MotorolaFramer::messageLength(char family, char letter)
{
    return lengthTable()[static_cast<uint8_t>(family) * 256 + static_cast<uint8_t>(letter)];
}

void MotorolaFramer::reset()
{
    m_accumulator.resize(0);
    m_state = 0;
    m_expectedLength = 0;
    m_bbExtended = false;
}

void MotorolaFramer::finish(const FrameSink &sink)
{
    if (Checksums::motorolaFrameValid(m_accumulator))
        sink(QByteArray(m_accumulator.constData(), m_accumulator.size() - 3));
    reset();
}

// The common case of a message that lies whole in the chunk: the same decisions as the state
// machine below, taken on the chunk itself without copying into the accumulator. Returns how
// many bytes were used up from `p` (which starts at an '@'), or 0 when the message runs past
// the end of the chunk and has to be collected byte by byte.
qsizetype MotorolaFramer::frameInPlace(const char *p, qsizetype n, const FrameSink &sink)
{
    if (n < 4)
        return 0;
    if (p[1] != '@')
        return 1;   // a single '@'
    int length = messageLength(p[2], p[3]);
    if (length == SelfDelimited) {
        const qsizetype last = std::min<qsizetype>(n, MaxFrameLength);
        for (qsizetype k = MinFrameLength; k <= last; ++k) {
            if (endsFrame(QByteArrayView(p, k))) {
                sink(QByteArray(p, k - 3));
                return k;
            }
        }
        return n < MaxFrameLength ? 0 : 4;
    }
    if (length <= 4)
        return 4;   // unknown identifier, or an unlisted "W" one that can never verify
    if (p[2] == 'B' && p[3] == 'b') {
        if (n < 5)
            return 0;
        const int extended = 8 + 7 * std::min(static_cast<int>(static_cast<uint8_t>(p[4])), 64);
        if (extended > length) {
            if (n < BbTableLength)
                return 0;
            if (Checksums::motorolaFrameValid(QByteArrayView(p, BbTableLength))) {
                sink(QByteArray(p, BbTableLength - 3));
                return BbTableLength;
            }
            length = extended;
        }
    }
    if (n < length)
        return 0;
    if (Checksums::motorolaFrameValid(QByteArrayView(p, length)))
        sink(QByteArray(p, length - 3));
    return length;
}

void MotorolaFramer::feed(QByteArrayView bytes, bool &ppsPending, const FrameSink &sink)
{
    const char *p = bytes.data();
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        switch (m_state) {
        case 0: {
            emitPendingPps(ppsPending, sink);
            m_expectedLength = 0;
            m_bbExtended = false;
            const void *at = std::memchr(p + i, '@', static_cast<size_t>(n - i));
            if (!at) {
                i = n;
                break;
            }
            const qsizetype start = static_cast<const char *>(at) - p;
            const qsizetype next = frameInPlace(p + start, n - start, sink);
            if (next > 0) {
                i = start + next;
                break;
            }
            i = start + 1;
            m_accumulator.resize(0);
            m_accumulator.append('@');
            m_state = 1;
            break;
        }
        case 1:
            if (p[i] != '@') {
                reset();   // the byte is looked at again in state 0
                break;
            }
            m_accumulator.append(p[i++]);
            m_state = 2;
            break;
        case 2:
            m_accumulator.append(p[i++]);
            m_state = 3;
            break;
        case 3: {
            m_accumulator.append(p[i++]);
            const int length = messageLength(m_accumulator[2], m_accumulator[3]);
            if (length == SelfDelimited) {
                m_expectedLength = MaxFrameLength;
                m_state = 5;
                break;
            }
            if (length < 0) {
                reset();
                break;
            }
            m_expectedLength = length;
            m_state = 4;
            if (m_accumulator.size() >= m_expectedLength)
                finish(sink);
            break;
        }
        case 4: {
            const bool isBb = m_accumulator[2] == 'B' && m_accumulator[3] == 'b';
            qsizetype target = m_expectedLength;
            if (isBb) {
                // Stop at the count byte, and (for a count above the table's) at the table
                // length, where a message with fewer records than announced ends.
                if (m_accumulator.size() < 5)
                    target = 5;
                else if (m_bbExtended && m_accumulator.size() < BbTableLength)
                    target = BbTableLength;
            }
            const qsizetype take = std::min(target - m_accumulator.size(), n - i);
            m_accumulator.append(p + i, take);
            i += take;
            if (isBb && m_accumulator.size() == 5 && take > 0) {
                const int count = std::min(static_cast<int>(static_cast<uint8_t>(m_accumulator[4])), 64);
                const int extended = 8 + 7 * count;
                if (extended > m_expectedLength) {
                    m_expectedLength = extended;
                    m_bbExtended = true;
                }
            }
            if (isBb && m_bbExtended && m_accumulator.size() == BbTableLength
                && Checksums::motorolaFrameValid(m_accumulator)) {
                finish(sink);
                break;
            }
            if (m_accumulator.size() >= m_expectedLength)
                finish(sink);
            break;
        }
        case 5:
            // A self-delimited message, byte by byte up to the longest one.
            m_accumulator.append(p[i++]);
            if (endsFrame(m_accumulator))
                finish(sink);
            else if (m_accumulator.size() >= MaxFrameLength)
                reset();
            break;
        default:
            reset();
            break;
        }
    }
}

bool MotorolaFramer::endsFrame(QByteArrayView frame)
{
    return frame.size() >= MinFrameLength && frame.endsWith("\r\n") && Checksums::motorolaFrameValid(frame);
}
