#pragma once

#include <QByteArrayView>
#include <QStringView>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

// Writes JSON Lines straight into one reused buffer and hands it to a FILE in large blocks:
// no intermediate JSON objects, no locale, no printf. Numbers print as chronode-decode always
// printed them: integral values below 1e15 as integers, others in the shortest form that
// reads back exactly (decimal or exponent, whichever is shorter, decimal on a tie, exponent
// with at least two digits), non-finite values as null. Strings escape '"', '\\', \n, \r and
// \t by name and every other UTF-16 code unit outside printable ASCII as \uXXXX.
class JsonLineWriter
{
public:
    // Blocks of at least this size go to the file.
    static constexpr size_t BlockSize = 1 << 16;

    // With a null file the text stays in the buffer (see text()).
    explicit JsonLineWriter(std::FILE *out)
        : m_out(out)
    {
        grow(2 * BlockSize);
    }
    ~JsonLineWriter()
    {
        flush();
        std::free(m_begin);
    }
    JsonLineWriter(const JsonLineWriter &) = delete;
    JsonLineWriter &operator=(const JsonLineWriter &) = delete;

    void beginObject() { open('{'); }
    void endObject() { close('}'); }
    void beginArray() { open('['); }
    void endArray() { close(']'); }

    // A member name: plain ASCII that needs no escaping.
    JsonLineWriter &key(std::string_view name)
    {
        reserve(name.size() + 4);
        if (m_needComma)
            *m_pos++ = ',';
        *m_pos++ = '"';
        std::memcpy(m_pos, name.data(), name.size());
        m_pos += name.size();
        *m_pos++ = '"';
        *m_pos++ = ':';
        m_afterKey = true;
        return *this;
    }

    void integer(long long v)
    {
        separate(24);
        m_pos = std::to_chars(m_pos, m_pos + 24, v).ptr;
    }

    void number(double d)
    {
        separate(32);
        if (!std::isfinite(d)) {
            put("null", 4);
        } else if (d == std::trunc(d) && std::abs(d) < 1e15) {
            m_pos = std::to_chars(m_pos, m_pos + 24, static_cast<long long>(d)).ptr;
        } else {
            m_pos = shortest(m_pos, d);
        }
    }

    void boolean(bool b)
    {
        separate(5);
        if (b)
            put("true", 4);
        else
            put("false", 5);
    }

    void string(QStringView s)
    {
        separate(2 + 6 * size_t(s.size()));
        char *o = m_pos;
        *o++ = '"';
        const char16_t *p = s.utf16();
        const char16_t *const e = p + s.size();
        // Four code units at a time while all of them print as they are.
        for (; e - p >= 4; p += 4) {
            std::uint64_t w;
            std::memcpy(&w, p, 8);
            if (!plainQuad(w))
                break;
            o[0] = char(w);
            o[1] = char(w >> 16);
            o[2] = char(w >> 32);
            o[3] = char(w >> 48);
            o += 4;
        }
        for (; p < e; ++p)
            o = escape(o, *p);
        *o++ = '"';
        m_pos = o;
    }

    // Bytes taken as Latin-1, as a QString::fromLatin1 of them would print.
    void latin1(QByteArrayView s)
    {
        separate(2 + 6 * size_t(s.size()));
        char *o = m_pos;
        *o++ = '"';
        for (const char c : s)
            o = escape(o, static_cast<unsigned char>(c));
        *o++ = '"';
        m_pos = o;
    }

    // Ends the line; a full block goes to the file.
    void endLine()
    {
        reserve(1);
        *m_pos++ = '\n';
        m_needComma = false;
        m_afterKey = false;
        if (size_t(m_pos - m_begin) >= BlockSize)
            flush();
    }

    // Writes out what the buffer holds; false once a write has failed.
    bool flush()
    {
        if (m_out && m_pos != m_begin) {
            const size_t n = size_t(m_pos - m_begin);
            if (std::fwrite(m_begin, 1, n, m_out) != n)
                m_failed = true;
            m_pos = m_begin;
        }
        return !m_failed;
    }

    // What has not been written out yet.
    QByteArrayView text() const { return QByteArrayView(m_begin, m_pos - m_begin); }

    // The number text of d (see the class comment), at out; returns its end. Needs 32 chars.
    static char *shortest(char *out, double d)
    {
        char sci[40];
        const char *p = sci;
        const char *end = std::to_chars(sci, sci + sizeof sci, d, std::chars_format::scientific).ptr;
        if (*p == '-')
            *out++ = *p++;
        const char *e = static_cast<const char *>(std::memchr(p, 'e', size_t(end - p)));
        char digits[24];
        int nd = 0;
        for (const char *q = p; q < e; ++q) {
            if (*q != '.')
                digits[nd++] = *q;
        }
        int exp10 = 0;
        for (const char *q = e + 2; q < end; ++q)
            exp10 = exp10 * 10 + (*q - '0');
        if (e[1] == '-')
            exp10 = -exp10;
        // Digits d1 d2 ... stand for 0.d1d2... * 10^point.
        const int point = exp10 + 1;
        const int exponentLength = nd + (nd > 1 ? 1 : 0) + 2 + (std::abs(exp10) >= 100 ? 3 : 2);
        const int decimalLength = point <= 0 ? 2 - point + nd : (point >= nd ? point : nd + 1);
        if (decimalLength > exponentLength) {
            std::memcpy(out, p, size_t(end - p));
            return out + (end - p);
        }
        if (point <= 0) {
            *out++ = '0';
            *out++ = '.';
            std::memset(out, '0', size_t(-point));
            out += -point;
            std::memcpy(out, digits, size_t(nd));
            return out + nd;
        }
        if (point >= nd) {
            std::memcpy(out, digits, size_t(nd));
            std::memset(out + nd, '0', size_t(point - nd));
            return out + point;
        }
        std::memcpy(out, digits, size_t(point));
        out += point;
        *out++ = '.';
        std::memcpy(out, digits + point, size_t(nd - point));
        return out + (nd - point);
    }

private:
    void reserve(size_t n)
    {
        if (size_t(m_end - m_pos) < n)
            grow(size_t(m_pos - m_begin) + n);
    }

    void grow(size_t need)
    {
        size_t cap = size_t(m_end - m_begin);
        while (cap < need)
            cap = cap ? 2 * cap : BlockSize;
        const size_t used = size_t(m_pos - m_begin);
        char *p = static_cast<char *>(std::realloc(m_begin, cap));
        if (!p)
            std::abort();
        m_begin = p;
        m_pos = p + used;
        m_end = p + cap;
    }

    // Room for n more chars and the comma before an array element.
    void separate(size_t n)
    {
        reserve(n + 1);
        if (m_needComma && !m_afterKey)
            *m_pos++ = ',';
        m_needComma = true;
        m_afterKey = false;
    }

    void open(char c)
    {
        separate(1);
        *m_pos++ = c;
        m_needComma = false;
    }

    void close(char c)
    {
        reserve(1);
        *m_pos++ = c;
        m_needComma = true;
        m_afterKey = false;
    }

    void put(const char *s, size_t n)
    {
        std::memcpy(m_pos, s, n);
        m_pos += n;
    }

    // Whether four UTF-16 code units (one per 16-bit lane) are all printable ASCII other than
    // '"' and '\\'.
    static bool plainQuad(std::uint64_t w)
    {
        constexpr std::uint64_t Ones = 0x0001000100010001ULL;
        constexpr std::uint64_t Bit7 = 0x0080008000800080ULL;
        constexpr std::uint64_t Bit15 = 0x8000800080008000ULL;
        auto hasLane = [](std::uint64_t x) { return ((x - Ones) & ~x & Bit15) != 0; };   // a zero lane
        return (w & 0xFF80FF80FF80FF80ULL) == 0          // all below 0x80
            && ((w + 0x60 * Ones) & Bit7) == Bit7       // all from 0x20
            && ((w + Ones) & Bit7) == 0                 // none is 0x7F
            && !hasLane(w ^ ('"' * Ones)) && !hasLane(w ^ ('\\' * Ones));
    }

    // Writes c at o, escaped where needed; returns the end. A local pointer, since stores
    // through char* could otherwise alias the members.
    static char *escape(char *o, char16_t c)
    {
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
            *o++ = char(c);
            return o;
        }
        *o++ = '\\';
        switch (c) {
        case '"': *o++ = '"'; return o;
        case '\\': *o++ = '\\'; return o;
        case '\n': *o++ = 'n'; return o;
        case '\r': *o++ = 'r'; return o;
        case '\t': *o++ = 't'; return o;
        default: break;
        }
        static constexpr char hex[] = "0123456789abcdef";
        *o++ = 'u';
        *o++ = hex[(c >> 12) & 0xF];
        *o++ = hex[(c >> 8) & 0xF];
        *o++ = hex[(c >> 4) & 0xF];
        *o++ = hex[c & 0xF];
        return o;
    }

    std::FILE *m_out;
    char *m_begin = nullptr;
    char *m_pos = nullptr;
    char *m_end = nullptr;
    bool m_needComma = false;
    bool m_afterKey = false;
    bool m_failed = false;
};
