#include "receiver/motorola/MotorolaText.h"

#include "core/ReceiverState.h"
#include "receiver/motorola/MotorolaFrame.h"

#include <cstdarg>
#include <cstdio>

QString motorolaFormat(const char *format, ...)
{
    char buffer[512];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n < 0)
        return {};
    if (n < int(sizeof buffer))
        return QString::fromLatin1(buffer, n);
    QByteArray big(n + 1, '\0');
    va_start(args, format);
    std::vsnprintf(big.data(), big.size(), format, args);
    va_end(args);
    big.truncate(n);
    return QString::fromLatin1(big);
}

bool motorolaTextsWanted(const DecoderContext &context)
{
    return context.options.alwaysBuildTexts || (context.state && context.state->rawWindowOpened);
}

QString motorolaDataOnlyText(const DecoderContext &context, QByteArrayView f)
{
    if (!motorolaTextsWanted(context))
        return QStringLiteral("");
    const QByteArray id = f.first(4).toByteArray();
    if (id == "@@Cf")
        return QStringLiteral("Receiver Set to Default Values");
    if (id == "@@Cb" && f.size() >= 6) {
        QString t = motorolaFormat("@@Cb SF %d PG %02d DATA:", int(MotorolaFrame::u8(f, 4)), int(MotorolaFrame::u8(f, 5)));
        for (qsizetype o = 6; o + 2 < f.size(); o += 3)
            t += motorolaFormat(" %02X%02X%02X", unsigned(MotorolaFrame::u8(f, o)), unsigned(MotorolaFrame::u8(f, o + 1)),
                                unsigned(MotorolaFrame::u8(f, o + 2)));
        return t;
    }
    QString t = QString::fromLatin1(id) + QLatin1String(", ");
    for (qsizetype o = 4; o < f.size(); ++o)
        t += motorolaFormat("%02X", unsigned(MotorolaFrame::u8(f, o)));
    return t;
}
