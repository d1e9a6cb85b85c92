#pragma once

#include <QList>
#include <QPointF>
#include <QString>
#include <array>

class QSettings;

// The two outlines the sky chart accumulates, in the chart's radial unit (90 - elevation, so 0
// is the zenith and 90 the horizon):
//  - the horizon line, one value per 2-degree azimuth sector: the lowest elevation at which a
//    satellite in use was seen there (the largest radial value);
//  - the sky-hole line, one value per 10-degree sector: the highest elevation reached there
//    (the smallest radial value).
// A sector that has seen nothing holds Unset.
class SkyOutline
{
public:
    static constexpr int HorizonSectors = 180;
    static constexpr int SkyHoleSectors = 36;
    static constexpr int HorizonWidth = 360 / HorizonSectors;
    static constexpr int SkyHoleWidth = 360 / SkyHoleSectors;
    static constexpr double Unset = -1.0;

    using Horizon = std::array<double, HorizonSectors>;
    using SkyHole = std::array<double, SkyHoleSectors>;

    SkyOutline();

    // One satellite of the current second, in whole degrees. Counts only when it is above the
    // horizon, usable (a positive value, e.g. its C/No), used, and its azimuth is known.
    // Returns whether either line changed (the dirty flag is then set too).
    bool addSatellite(int azimuth, int elevation, int usable, bool used);

    const Horizon &horizon() const { return m_horizon; }
    const SkyHole &skyHole() const { return m_skyHole; }

    // Set whenever a line changed; the chart clears it once it has redrawn the lines.
    bool dirty() const { return m_dirty; }
    void clearDirty() { m_dirty = false; }

    // Both lines unset again (dirty).
    void reset();

    // Points of a line for the chart: (sector start azimuth, value) per sector and a closing
    // point at 360 with the first sector's value. An unset sector lies on the horizon (90).
    QList<QPointF> horizonPoints() const;
    QList<QPointF> skyHolePoints() const;

    // --- settings ----------------------------------------------------------------------
    static QString keyHorizon() { return QStringLiteral("SatAzElChartDialog/HorizonLine"); }
    static QString keySkyHole() { return QStringLiteral("SatAzElChartDialog/SkyHoleLine"); }
    // The numbers printed with two decimals and joined by ",".
    static QString encode(const double *values, int count);
    // A stored list: empty parts dropped; used only when it has exactly `count` parts; each part
    // that reads as a number from 0 to 90 replaces Unset, any other part leaves Unset.
    static bool decode(const QString &text, double *values, int count);
    // Reads both lines (a line whose stored list is not usable stays unset); sets dirty.
    void load(QSettings &settings);
    void save(QSettings &settings) const;

private:
    static QList<QPointF> points(const double *values, int count, int width);

    Horizon m_horizon;
    SkyHole m_skyHole;
    bool m_dirty = true;
};
