#pragma once

#include "receiver/DecoderContext.h"

#include <QByteArrayView>
#include <QString>

// Whether decoded text lines are built: for a GPS log or tool that wants them, or once the
// raw-data window has been opened.
bool motorolaTextsWanted(const DecoderContext &context);

// printf-exact formatting of the decoded text lines.
QString motorolaFormat(const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Appends motorolaFormat's text without a temporary string.
void motorolaAppend(QString &to, const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

// The text of a frame that only carries data: "@@Cf" and "@@Cb" in words, others as the
// identifier and the data bytes in hex.
QString motorolaDataOnlyText(const DecoderContext &context, QByteArrayView frame);
