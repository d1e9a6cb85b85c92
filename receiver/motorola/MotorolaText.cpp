#include "receiver/motorola/MotorolaText.h"

#include "core/ReceiverState.h"
#include "core/TextFormat.h"
#include "receiver/motorola/MotorolaFrame.h"

#include <cstdarg>

QString motorolaFormat(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    QString text = TextFormat::vformatC(format, args);
    va_end(args);
    return text;
}

void motorolaAppend(QString &to, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    TextFormat::vappendC(to, format, args);
    va_end(args);
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
            motorolaAppend(t, " %02X%02X%02X", unsigned(MotorolaFrame::u8(f, o)), unsigned(MotorolaFrame::u8(f, o + 1)),
                                unsigned(MotorolaFrame::u8(f, o + 2)));
        return t;
    }
    QString t = QString::fromLatin1(id) + QLatin1String(", ");
    for (qsizetype o = 4; o < f.size(); ++o)
        motorolaAppend(t, "%02X", unsigned(MotorolaFrame::u8(f, o)));
    return t;
}
