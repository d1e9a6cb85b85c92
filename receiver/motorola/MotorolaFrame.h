#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <cstdint>

// Small helpers for Motorola "@@" binary frames: big-endian field access with bounds checks,
// the exclusive-or checksum and a builder for outgoing commands and synthetic frames.
namespace MotorolaFrame {

// Exclusive-or of every byte of the frame (the two '@' bytes cancel each other).
inline uint8_t checksum(QByteArrayView bytes)
{
    uint8_t x = 0;
    for (char c : bytes)
        x ^= static_cast<uint8_t>(c);
    return x;
}

// Reads of big-endian fields. Offsets count from the first '@'. Out-of-range reads give 0, so
// a short or damaged frame can never read past its end.
inline uint8_t u8(QByteArrayView f, qsizetype off)
{
    return (off >= 0 && off < f.size()) ? static_cast<uint8_t>(f[off]) : 0;
}
inline int8_t i8(QByteArrayView f, qsizetype off) { return static_cast<int8_t>(u8(f, off)); }
inline uint16_t u16(QByteArrayView f, qsizetype off)
{
    return static_cast<uint16_t>((u8(f, off) << 8) | u8(f, off + 1));
}
inline int16_t i16(QByteArrayView f, qsizetype off) { return static_cast<int16_t>(u16(f, off)); }
inline uint32_t u32(QByteArrayView f, qsizetype off)
{
    return (uint32_t(u8(f, off)) << 24) | (uint32_t(u8(f, off + 1)) << 16)
        | (uint32_t(u8(f, off + 2)) << 8) | uint32_t(u8(f, off + 3));
}
inline int32_t i32(QByteArrayView f, qsizetype off) { return static_cast<int32_t>(u32(f, off)); }

// Builds a frame from "@@" + identifier and big-endian fields. body() is what the link hands
// to the decoder (no checksum, CR, LF); wire() is what a receiver sends.
class Builder
{
public:
    explicit Builder(const char id[2]) { m_bytes = QByteArray("@@") + QByteArray(id, 2); }
    Builder &u8(uint8_t v) { m_bytes.append(char(v)); return *this; }
    Builder &i8(int8_t v) { return u8(static_cast<uint8_t>(v)); }
    Builder &u16(uint16_t v) { return u8(uint8_t(v >> 8)).u8(uint8_t(v)); }
    Builder &i16(int16_t v) { return u16(static_cast<uint16_t>(v)); }
    Builder &u32(uint32_t v) { return u16(uint16_t(v >> 16)).u16(uint16_t(v)); }
    Builder &i32(int32_t v) { return u32(static_cast<uint32_t>(v)); }
    Builder &bytes(QByteArrayView b) { m_bytes.append(b.data(), b.size()); return *this; }
    Builder &zeros(qsizetype n) { m_bytes.append(QByteArray(n, '\0')); return *this; }
    // Writes a byte at an absolute offset, growing the frame with zeros when needed.
    Builder &put8(qsizetype off, uint8_t v)
    {
        if (m_bytes.size() <= off)
            m_bytes.append(QByteArray(off + 1 - m_bytes.size(), '\0'));
        m_bytes[off] = char(v);
        return *this;
    }
    Builder &put16(qsizetype off, uint16_t v) { return put8(off, uint8_t(v >> 8)).put8(off + 1, uint8_t(v)); }
    Builder &put32(qsizetype off, uint32_t v) { return put16(off, uint16_t(v >> 16)).put16(off + 2, uint16_t(v)); }
    // Pads (or cuts) the frame to the length the link would emit for a wire length.
    Builder &wireLength(qsizetype total)
    {
        const qsizetype n = total - 3;
        if (m_bytes.size() < n)
            m_bytes.append(QByteArray(n - m_bytes.size(), '\0'));
        else
            m_bytes.truncate(n);
        return *this;
    }
    qsizetype size() const { return m_bytes.size(); }
    QByteArray body() const { return m_bytes; }
    QByteArray wire() const
    {
        QByteArray w = m_bytes;
        w.append(char(checksum(m_bytes)));
        w.append("\r\n", 2);
        return w;
    }

private:
    QByteArray m_bytes;
};

} // namespace MotorolaFrame
