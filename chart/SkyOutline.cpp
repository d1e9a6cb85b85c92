#include "chart/SkyOutline.h"

#include <QSettings>
#include <QStringList>
#include <algorithm>

SkyOutline::SkyOutline()
{
    m_horizon.fill(Unset);
    m_skyHole.fill(Unset);
}

bool SkyOutline::addSatellite(int azimuth, int elevation, int usable, bool used)
{
    // An unknown (negative) azimuth says nothing about where the sky is open.
    if (elevation <= 0 || usable <= 0 || !used || azimuth < 0)
        return false;
    const double r = 90.0 - std::min(elevation, 90);
    const int a = std::min(azimuth, 359);
    bool changed = false;
    double &h = m_horizon[size_t(a / HorizonWidth)];
    if (h < 0.0 || r > h) {
        h = r;
        changed = true;
    }
    double &s = m_skyHole[size_t(a / SkyHoleWidth)];
    if (s < 0.0 || r < s) {
        s = r;
        changed = true;
    }
    m_dirty = m_dirty || changed;
    return changed;
}

void SkyOutline::reset()
{
    m_horizon.fill(Unset);
    m_skyHole.fill(Unset);
    m_dirty = true;
}

QList<QPointF> SkyOutline::points(const double *values, int count, int width)
{
    // Unset sectors lie on the horizon: nothing has been seen there yet, so nothing is known
    // to be open above it.
    auto radial = [](double v) { return v < 0.0 ? 90.0 : v; };
    QList<QPointF> out;
    out.reserve(count + 1);
    for (int i = 0; i < count; ++i)
        out.append(QPointF(double(i * width), radial(values[i])));
    out.append(QPointF(360.0, radial(values[0])));
    return out;
}

QList<QPointF> SkyOutline::horizonPoints() const
{
    return points(m_horizon.data(), HorizonSectors, HorizonWidth);
}

QList<QPointF> SkyOutline::skyHolePoints() const
{
    return points(m_skyHole.data(), SkyHoleSectors, SkyHoleWidth);
}

QString SkyOutline::encode(const double *values, int count)
{
    QStringList parts;
    parts.reserve(count);
    for (int i = 0; i < count; ++i)
        parts.append(QString::number(values[i], 'f', 2));
    return parts.join(QLatin1Char(','));
}

bool SkyOutline::decode(const QString &text, double *values, int count)
{
    std::fill(values, values + count, Unset);
    const QStringList parts = text.split(QLatin1Char(','), Qt::SkipEmptyParts);
    if (parts.size() != count)
        return false;
    for (int i = 0; i < count; ++i) {
        bool ok = false;
        const double v = parts[i].trimmed().toDouble(&ok);
        if (ok && v >= 0.0 && v <= 90.0)
            values[i] = v;
    }
    return true;
}

void SkyOutline::load(QSettings &settings)
{
    decode(settings.value(keyHorizon()).toString(), m_horizon.data(), HorizonSectors);
    decode(settings.value(keySkyHole()).toString(), m_skyHole.data(), SkyHoleSectors);
    m_dirty = true;
}

void SkyOutline::save(QSettings &settings) const
{
    settings.setValue(keyHorizon(), encode(m_horizon.data(), HorizonSectors));
    settings.setValue(keySkyHole(), encode(m_skyHole.data(), SkyHoleSectors));
}
