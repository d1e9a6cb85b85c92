#pragma once

// gpsd's own decoding of a shared capture: the JSON reports of its NAME.chk file beside the
// capture, the independent reference the decoders are held against.

#include "support/TestSupport.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QList>

namespace GpsdCheck {

// The reports of one class ("TPV", "SKY", ...) in file order, or every report when `cls` is
// empty; empty when the check file is absent.
inline QList<QJsonObject> reports(const QString &capture, const QString &cls = {})
{
    QList<QJsonObject> list;
    QFile f(TestSupport::capturesDir() + QLatin1Char('/') + capture + QStringLiteral(".chk"));
    if (TestSupport::capturesDir().isEmpty() || !f.open(QIODevice::ReadOnly))
        return list;
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (!line.startsWith('{'))
            continue;
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        if (cls.isEmpty() || o.value(QStringLiteral("class")).toString() == cls)
            list.append(o);
    }
    return list;
}

} // namespace GpsdCheck
