#include "core/Settings.h"

#include <cmath>

namespace Settings {

int readInt(QSettings &s, const QString &key, int def, int lo, int hi)
{
    const QVariant v = s.value(key);
    bool ok = false;
    int n = def;
    if (v.isValid()) {
        if (v.typeId() == QMetaType::QString || v.typeId() == QMetaType::QByteArray)
            n = v.toString().trimmed().toInt(&ok);
        else
            n = v.toInt(&ok);
    }
    if (!ok || n < lo || n > hi) {
        s.setValue(key, def);
        return def;
    }
    return n;
}

bool readBool(QSettings &s, const QString &key, bool def)
{
    const QVariant v = s.value(key);
    if (v.typeId() == QMetaType::Bool)
        return v.toBool();
    if (v.isValid()) {
        const QString t = v.toString().trimmed().toLower();
        if (t == QLatin1String("true") || t == QLatin1String("1"))
            return true;
        if (t == QLatin1String("false") || t == QLatin1String("0"))
            return false;
    }
    s.setValue(key, def);
    return def;
}

QString readText(QSettings &s, const QString &key, const QString &def,
                 const std::function<bool(const QString &)> &accept)
{
    const QVariant v = s.value(key);
    if (!v.isValid() || !v.canConvert<QString>() || (accept && !accept(v.toString()))) {
        s.setValue(key, def);
        return def;
    }
    return v.toString();
}

double readTextNumber(QSettings &s, const QString &key, double missingValue, double repairValue,
                      const std::function<bool(double)> &accept, QString (*format)(double))
{
    if (!s.contains(key)) {
        s.setValue(key, format(missingValue));
        return missingValue;
    }
    bool ok = false;
    const double v = s.value(key).toString().trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v) || (accept && !accept(v))) {
        s.setValue(key, format(repairValue));
        return repairValue;
    }
    return v;
}

} // namespace Settings
