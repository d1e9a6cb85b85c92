#include "tic/FieldRule.h"

#include <QRegularExpression>

FieldRule::Result FieldRule::check(const QString &text) const
{
    static const QRegularExpression whole(QStringLiteral("^\\+?[0-9]+$"));
    static const QRegularExpression decimal(QStringLiteral("^[-+]?([0-9]+\\.?[0-9]*|\\.[0-9]+)$"));
    const QString t = text.trimmed();
    if (!(integer ? whole : decimal).match(t).hasMatch())
        return Result::Extraneous;
    const double v = t.toDouble();
    return v < low || v > high ? Result::OutOfRange : Result::Ok;
}

QString FieldRule::rangeText() const
{
    if (integer)
        return QString::asprintf("Field is out of range.\nMust be between %i and %i", int(low), int(high));
    return QString::asprintf("Field is out of range.\nMust be between %.3f and %.3f", low, high);
}
