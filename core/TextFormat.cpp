#include "core/TextFormat.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace TextFormat {

namespace {

constexpr int StackText = 1024;

class Out
{
public:
    Out(char *begin, int size)
        : m_pos(begin)
        , m_begin(begin)
        , m_end(begin + size - 1)
    {
    }
    bool put(const char *s, size_t n)
    {
        if (size_t(m_end - m_pos) < n)
            return false;
        std::memcpy(m_pos, s, n);
        m_pos += n;
        return true;
    }
    bool fill(char c, int n)
    {
        if (n <= 0)
            return true;
        if (m_end - m_pos < n)
            return false;
        std::memset(m_pos, c, size_t(n));
        m_pos += n;
        return true;
    }
    int length() const { return int(m_pos - m_begin); }
    // Room for n chars at the end, taken by advance(); null when there is none.
    char *room(size_t n) const { return size_t(m_end - m_pos) >= n ? m_pos : nullptr; }
    void advance(char *to) { m_pos = to; }

private:
    char *m_pos;
    char *m_begin;
    char *m_end;
};

struct Directive
{
    bool minus = false, plus = false, space = false, alt = false, zero = false;
    int width = 0;
    int precision = -1;
};

// Sign or prefix, then zeros, then the digits, padded to the width.
bool writeField(Out &out, const Directive &directive, const char *prefix, size_t prefixLength, int zeros, const char *digits,
          size_t digitCount)
{
    const int body = int(prefixLength) + zeros + int(digitCount);
    int pad = directive.width - body;
    if (directive.zero && !directive.minus) {
        zeros += pad > 0 ? pad : 0;
        pad = 0;
    }
    return (directive.minus || out.fill(' ', pad)) && out.put(prefix, prefixLength) && out.fill('0', zeros)
        && out.put(digits, digitCount) && (!directive.minus || out.fill(' ', pad));
}

bool integer(Flavour flavour, Out &out, Directive directive, bool negative, unsigned long long magnitude, char conv, bool isSigned)
{
    if (flavour == Flavour::Qt && (directive.plus || directive.space || directive.alt || (directive.zero && directive.minus)))
        return false;
    if (directive.alt && conv != 'x' && conv != 'X')
        return false;
    if (directive.precision >= 0 && directive.zero)
        return false;   // the two formatters treat this pair differently; rare
    const int base = conv == 'x' || conv == 'X' ? 16 : 10;
    if (directive.precision < 0 && directive.width <= 1 && !directive.alt && (negative || !isSigned || !(directive.plus || directive.space))
        && conv != 'X') {
        // The plain case: straight into the text.
        char *at = out.room(24);
        if (!at)
            return false;
        if (negative)
            *at++ = '-';
        out.advance(std::to_chars(at, at + 23, magnitude, base).ptr);
        return true;
    }
    char digits[24];
    size_t n = size_t(std::to_chars(digits, digits + sizeof digits, magnitude, base).ptr - digits);
    if (conv == 'X') {
        for (size_t i = 0; i < n; ++i)
            digits[i] = char(digits[i] >= 'a' ? digits[i] - 'a' + 'A' : digits[i]);
    }
    if (directive.precision == 0 && magnitude == 0) {
        if (flavour == Flavour::Qt)
            return false;
        n = 0;
    }
    char prefix[2];
    size_t prefixLength = 0;
    if (negative)
        prefix[prefixLength++] = '-';
    else if (isSigned && directive.plus)
        prefix[prefixLength++] = '+';
    else if (isSigned && directive.space)
        prefix[prefixLength++] = ' ';
    if (directive.alt && magnitude != 0) {
        prefix[0] = '0';
        prefix[1] = conv;
        prefixLength = 2;
    }
    const int zeros = directive.precision > int(n) ? directive.precision - int(n) : 0;
    return writeField(out, directive, prefix, prefixLength, zeros, digits, n);
}

// The fixed form with halves rounded away from zero, as QString::asprintf does; a half can only
// be exact when the value has at most precision + 1 binary places.
char *fixedAwayFromZero(char *first, char *last, double d, int precision)
{
    const double scaled = std::ldexp(std::fabs(d), precision + 1);
    if (scaled != std::trunc(scaled))
        return std::to_chars(first, last, d, std::chars_format::fixed, precision).ptr;
    char *end = std::to_chars(first, last, d, std::chars_format::fixed, precision + 1).ptr;
    const bool half = end[-1] == '5';
    --end;   // exact to one more place, so dropping it leaves the truncated value
    if (precision == 0)
        --end;   // and the point
    if (!half)
        return std::to_chars(first, last, d, std::chars_format::fixed, precision).ptr;
    char *p = end - 1;
    for (;; --p) {
        if (p < first || *p == '-') {
            // Carry out of the leading digit: one more digit in front.
            char *digitsStart = p + 1;
            std::memmove(digitsStart + 1, digitsStart, size_t(end - digitsStart));
            *digitsStart = '1';
            return end + 1;
        }
        if (*p == '.')
            continue;
        if (*p == '9') {
            *p = '0';
            continue;
        }
        ++*p;
        return end;
    }
}

bool floating(Flavour flavour, Out &out, Directive directive, double d, char conv)
{
    if (!std::isfinite(d))
        return false;
    const bool scientific = conv == 'e' || conv == 'E';
    if (flavour == Flavour::Qt && (scientific || directive.plus || directive.space || directive.alt || (directive.zero && directive.minus)))
        return false;
    const int precision = directive.precision < 0 ? 6 : directive.precision;
    if (precision > 60 || std::fabs(d) >= 1e60)
        return false;
    char text[160];
    char *end;
    if (scientific)
        end = std::to_chars(text, text + sizeof text, d, std::chars_format::scientific, precision).ptr;
    else if (flavour == Flavour::Qt)
        end = fixedAwayFromZero(text, text + sizeof text - 1, d, precision);
    else
        end = std::to_chars(text, text + sizeof text, d, std::chars_format::fixed, precision).ptr;
    // Negative values that print as zero: Qt's sign rule differs from the C library's.
    if (flavour == Flavour::Qt && text[0] == '-' && std::all_of(text + 1, end, [](char c) { return c == '0' || c == '.'; }))
        return false;
    const char *digits = text;
    char prefix[1];
    size_t prefixLength = 0;
    if (*digits == '-') {
        prefix[prefixLength++] = '-';
        ++digits;
    } else if (directive.plus) {
        prefix[prefixLength++] = '+';
    } else if (directive.space) {
        prefix[prefixLength++] = ' ';
    }
    if (directive.alt && precision == 0) {
        // The point stays: before the exponent, or at the end.
        char *e = scientific ? static_cast<char *>(std::memchr(text, 'e', size_t(end - text))) : end;
        std::memmove(e + 1, e, size_t(end - e));
        *e = '.';
        ++end;
    }
    if (conv == 'E') {
        for (char *p = text; p < end; ++p) {
            if (*p == 'e')
                *p = 'E';
        }
    }
    return writeField(out, directive, prefix, prefixLength, 0, digits, size_t(end - digits));
}

} // namespace

int formatFast(Flavour flavour, char *buffer, int size, const char *format, va_list args)
{
    Out out(buffer, size);
    const char *f = format;
    while (*f) {
        if (*f != '%') {
            const char *next = std::strchr(f, '%');
            const size_t n = next ? size_t(next - f) : std::strlen(f);
            if (!out.put(f, n))
                return -1;
            f += n;
            continue;
        }
        ++f;
        if (*f == '%') {
            if (!out.put("%", 1))
                return -1;
            ++f;
            continue;
        }
        Directive directive;
        for (;; ++f) {
            if (*f == '-')
                directive.minus = true;
            else if (*f == '+')
                directive.plus = true;
            else if (*f == ' ')
                directive.space = true;
            else if (*f == '#')
                directive.alt = true;
            else if (*f == '0')
                directive.zero = true;
            else
                break;
        }
        for (; *f >= '0' && *f <= '9'; ++f) {
            directive.width = directive.width * 10 + (*f - '0');
            if (directive.width > 200)
                return -1;
        }
        if (*f == '.') {
            ++f;
            directive.precision = 0;
            for (; *f >= '0' && *f <= '9'; ++f) {
                directive.precision = directive.precision * 10 + (*f - '0');
                if (directive.precision > 200)
                    return -1;
            }
        }
        int longs = 0, shorts = 0;
        bool size_t_ = false;
        for (;; ++f) {
            if (*f == 'l')
                ++longs;
            else if (*f == 'h')
                ++shorts;
            else if (*f == 'z')
                size_t_ = true;
            else
                break;
        }
        if (longs > 2 || shorts > 2 || (size_t_ && (longs || shorts)) || (longs && shorts))
            return -1;
        if (shorts && flavour == Flavour::Qt)
            return -1;   // QString::asprintf reads the full int: its text, not ours
        const char conv = *f++;
        bool ok;
        switch (conv) {
        case 'd':
        case 'i': {
            long long v;
            if (longs == 2)
                v = va_arg(args, long long);
            else if (longs == 1)
                v = va_arg(args, long);
            else if (size_t_)
                v = va_arg(args, ptrdiff_t);
            else
                v = va_arg(args, int);
            if (shorts == 1)
                v = short(v);
            else if (shorts == 2)
                v = static_cast<signed char>(v);
            const unsigned long long magnitude = v < 0 ? 0ULL - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
            ok = integer(flavour, out, directive, v < 0, magnitude, conv, true);
            break;
        }
        case 'u':
        case 'x':
        case 'X': {
            unsigned long long v;
            if (longs == 2)
                v = va_arg(args, unsigned long long);
            else if (longs == 1)
                v = va_arg(args, unsigned long);
            else if (size_t_)
                v = va_arg(args, size_t);
            else
                v = va_arg(args, unsigned);
            if (shorts == 1)
                v = static_cast<unsigned short>(v);
            else if (shorts == 2)
                v = static_cast<unsigned char>(v);
            ok = integer(flavour, out, directive, false, v, conv, false);
            break;
        }
        case 'f':
        case 'F':
        case 'e':
        case 'E':
            if (longs || shorts || size_t_)
                return -1;
            ok = floating(flavour, out, directive, va_arg(args, double), conv);
            break;
        case 'c': {
            if (longs || shorts || size_t_ || directive.precision >= 0)
                return -1;
            const int c = va_arg(args, int);
            const char ch = char(c);
            ok = c > 0 && c < 0x80 && writeField(out, directive, "", 0, 0, &ch, 1);
            break;
        }
        case 's': {
            if (longs || shorts || size_t_ || directive.precision >= 0 || directive.zero)
                return -1;
            const char *s = va_arg(args, const char *);
            if (!s)
                return -1;
            const size_t n = std::strlen(s);
            // Qt pads by characters, not bytes.
            if (flavour == Flavour::Qt && directive.width > 0 && std::any_of(s, s + n, [](char c) { return c & 0x80; }))
                return -1;
            ok = writeField(out, directive, "", 0, 0, s, n);
            break;
        }
        default:
            return -1;
        }
        if (!ok)
            return -1;
    }
    return out.length();
}

QString vformatC(const char *format, va_list args)
{
    char buffer[StackText];
    va_list copy;
    va_copy(copy, args);
    int n = formatFast(Flavour::C, buffer, sizeof buffer, format, copy);
    va_end(copy);
    if (n >= 0)
        return QString::fromLatin1(buffer, n);
    va_copy(copy, args);
    n = std::vsnprintf(buffer, sizeof buffer, format, copy);
    va_end(copy);
    if (n < 0)
        return {};
    if (n < int(sizeof buffer))
        return QString::fromLatin1(buffer, n);
    QByteArray big(n + 1, '\0');
    va_copy(copy, args);
    std::vsnprintf(big.data(), size_t(big.size()), format, copy);
    va_end(copy);
    big.truncate(n);
    return QString::fromLatin1(big);
}

QString vformatQt(const char *format, va_list args)
{
    char buffer[StackText];
    va_list copy;
    va_copy(copy, args);
    const int n = formatFast(Flavour::Qt, buffer, sizeof buffer, format, copy);
    va_end(copy);
    if (n >= 0)
        return QString::fromUtf8(buffer, n);
    va_copy(copy, args);
    QString text = QString::vasprintf(format, copy);
    va_end(copy);
    return text;
}

void vappendC(QString &to, const char *format, va_list args)
{
    char buffer[StackText];
    va_list copy;
    va_copy(copy, args);
    const int n = formatFast(Flavour::C, buffer, sizeof buffer, format, copy);
    va_end(copy);
    if (n >= 0)
        to.append(QLatin1StringView(buffer, n));
    else
        to.append(vformatC(format, args));
}

void vappendQt(QString &to, const char *format, va_list args)
{
    char buffer[StackText];
    va_list copy;
    va_copy(copy, args);
    const int n = formatFast(Flavour::Qt, buffer, sizeof buffer, format, copy);
    va_end(copy);
    if (n >= 0 && std::none_of(buffer, buffer + n, [](char c) { return c & 0x80; }))
        to.append(QLatin1StringView(buffer, n));
    else
        to.append(vformatQt(format, args));
}

} // namespace TextFormat

void appendText(QString &to, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    TextFormat::vappendQt(to, format, args);
    va_end(args);
}

QString formatText(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    QString text = TextFormat::vformatQt(format, args);
    va_end(args);
    return text;
}
