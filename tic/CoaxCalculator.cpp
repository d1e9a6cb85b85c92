#include "tic/CoaxCalculator.h"

#include <QRegularExpression>
#include <cmath>

namespace CoaxCalculator {

QStringList velocityFactorChoices()
{
    return { "0.659 Poly", "0.660 Poly", "0.685 RG-316/U", "0.695 Teflon", "0.700 RG-8X/Marine", "0.780 Foam",
             "0.820 micro-cell foam", "0.840 air dielectric", "0.870 micro-cell foam", "0.890 micro-cell foam",
             "9086", "9096", "9913", "LMR-1200", "LMR-1700", "LMR-240", "LMR-400", "LMR-500", "LMR-600", "LMR-900",
             "RG-174/U", "RG-178B/U", "RG-196A/U", "RG-213", "RG-214/U", "RG-223/U", "RG-58/U", "RG-58A/U",
             "RG-58C/U", "RG-59/CATV", "RG-59B/U", "RG-6/QUAD CATV", "RG-62A/U", "RG-8FM", "RG-8X" };
}

double velocityFactor(const QString &text)
{
    const QString upper = text.trimmed().toUpper();
    static const QRegularExpression decimal(QStringLiteral("\\+?[0-9]*\\.[0-9]+"));
    const QRegularExpressionMatch m = decimal.match(upper);
    if (m.hasMatch())
        return m.captured(0).toDouble();
    static const struct
    {
        double vf;
        const char *names[7];
    } table[] = {
        { 0.659, { "RG-58A/U", "RG-58C/U", "RG-213", "RG-59B/U" } },
        { 0.66, { "POLY", "RG-58/U", "RG-214/U", "RG-223/U" } },
        { 0.685, { "RG-316/U" } },
        { 0.695, { "TEFLON", "RG-174/U", "RG-178B/U", "RG-196A/U" } },
        { 0.7, { "RG-8X/Marine" } },
        { 0.78, { "FOAM", "RG-8X", "RG-8FM", "RG-59/CATV" } },
        { 0.82, { "MICRO-CELL FOAM", "RG-6/QUAD CATV" } },
        { 0.84, { "AIR DIELECTRIC", "AIR", "9086", "9096", "9913", "LMR-240", "RG-62A/U" } },
        { 0.85, { "LMR-400" } },
        { 0.86, { "LMR-500" } },
        { 0.87, { "LMR-600", "LMR-900", "MICROCELL FOAM" } },
        { 0.88, { "LMR-1200" } },
        { 0.89, { "LMR-1700" } },
    };
    for (const auto &row : table)
        for (const char *name : row.names)
            if (name && upper.compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
                return row.vf;
    return 0.0;
}

bool isUsableVelocityFactor(double vf)
{
    return vf > 0.0 && vf <= 1.0;
}

double roundToTenth(double ns)
{
    return std::trunc(ns * 10.0 + 0.5) / 10.0;
}

double delayNs(int length, const QString &unit, double vf)
{
    if (!isUsableVelocityFactor(vf))
        return 0.0;
    const double metres = (unit.trimmed().toUpper() == QLatin1String("FEET") ? 0.3048 : 1.0) * length;
    return roundToTenth(metres / (vf * SpeedOfLightMPerNs));
}

} // namespace CoaxCalculator
