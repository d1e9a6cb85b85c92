#pragma once

#include <QString>

#include <cstdarg>

// printf-style formatting for the text lines the decoders build for every message, without the
// general machinery of the C library or of Qt (one stack buffer, std::to_chars for numbers).
// Each flavour prints exactly what the formatter it stands in for prints:
//   TextFormat::C   std::vsnprintf: halves round to even, "%.0d" of 0 prints nothing;
//   TextFormat::Qt  QString::asprintf: halves round away from zero, "%.0d" of 0 prints "0".
// Conversions d i u x X c s f F e E and %% with flags, width and precision are done here;
// anything else (other conversions, '*', long double, non-finite numbers, very long texts) is
// handed to the formatter stood in for, so the text is the same either way.
namespace TextFormat {

enum class Flavour { C, Qt };

// Formats into out (at most size - 1 chars, not terminated); returns the length, or -1 when
// the text needs the formatter stood in for. args is consumed either way.
int formatFast(Flavour flavour, char *out, int size, const char *format, va_list args);

// The C library's text as Latin-1 / QString::asprintf's text.
QString vformatC(const char *format, va_list args);
QString vformatQt(const char *format, va_list args);
// Append the same texts to a string.
void vappendC(QString &to, const char *format, va_list args);
void vappendQt(QString &to, const char *format, va_list args);

} // namespace TextFormat

// Same text as QString::asprintf(format, ...).
QString formatText(const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Appends the same text as QString::asprintf(format, ...) without a temporary string.
void appendText(QString &to, const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;
