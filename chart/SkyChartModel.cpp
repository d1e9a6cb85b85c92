#include "chart/SkyChartModel.h"

#include <QElapsedTimer>
#include <QSettings>
#include <algorithm>
#include <cmath>

SkyChartModel::SkyChartModel(QObject *parent) : QObject(parent)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &SkyChartModel::saveNow);
    for (QList<QPointF> &list : m_points)
        list.reserve(64);
    m_current.reserve(64);
}

SkyChartModel::~SkyChartModel()
{
    flush();
}

qint64 SkyChartModel::now() const
{
    if (m_clock)
        return m_clock();
    static QElapsedTimer since;
    if (!since.isValid())
        since.start();
    return since.elapsed();
}

SkySatellite SkyChartModel::fromRecord(const SatelliteRecord &record, int receiverMode)
{
    SkySatellite s;
    s.svId = record.svId;
    s.azimuth = record.azimuth;
    s.elevation = record.elevation;
    s.usable = record.cNo;
    s.riseSet = record.riseSet;
    const bool ublox = receiverMode == ReceiverMode::UbloxUbx || receiverMode == ReceiverMode::UbloxNmea;
    s.used = ublox ? (record.svFlags & SvFlag::UbxUsed) != 0 : record.inTrack != 0;
    return s;
}

SkyChartModel::Series SkyChartModel::seriesOf(int svId, int riseSet)
{
    if (svId >= 120 && svId <= 158)
        return Sbas;
    return riseSet > 0 ? Rising : riseSet < 0 ? Falling : NoDoppler;
}

void SkyChartModel::beginUpdate()
{
    for (QList<QPointF> &list : m_points)
        list.clear();
    m_current.clear();
    m_changedInUpdate = false;
}

void SkyChartModel::addSatellite(const SkySatellite &s)
{
    // A satellite whose azimuth or elevation is unknown has no place on the chart.
    if (s.svId <= 0 || s.svId >= ReceiverState::SatelliteSlots || s.azimuth < 0 || s.elevation < 0)
        return;
    if (m_outline.addSatellite(s.azimuth, s.elevation, s.usable, s.used))
        m_changedInUpdate = true;
    m_points[seriesOf(s.svId, s.riseSet)].append(QPointF(s.azimuth, 90 - std::min(s.elevation, 90)));
    m_current.append(s);
}

void SkyChartModel::endUpdate()
{
    emit updated();
    if (m_changedInUpdate) {
        emit outlineChanged();
        scheduleSave();
    }
}

void SkyChartModel::update(const std::array<SatelliteRecord, ReceiverState::SatelliteSlots> &records,
                           int receiverMode)
{
    beginUpdate();
    for (const SatelliteRecord &r : records) {
        if (r.svId != 0)
            addSatellite(fromRecord(r, receiverMode));
    }
    endUpdate();
}

std::optional<SkySatellite> SkyChartModel::satelliteAt(const QPointF &value) const
{
    for (const SkySatellite &s : m_current) {
        const double r = 90 - std::min(s.elevation, 90);
        if (std::abs(value.x() - s.azimuth) <= PickTolerance && std::abs(value.y() - r) <= PickTolerance)
            return s;
    }
    return std::nullopt;
}

QString SkyChartModel::calloutText(const SkySatellite &s)
{
    return QStringLiteral("Prn: %1, Az: %2, El: %3 ").arg(s.svId).arg(double(s.azimuth), 0, 'g').arg(double(s.elevation), 0, 'g');
}

void SkyChartModel::setSelected(int svId, bool selected)
{
    if (svId >= 0 && svId < ReceiverState::SatelliteSlots)
        m_selected.set(size_t(svId), selected);
}

void SkyChartModel::load()
{
    QSettings settings;
    m_outline.load(settings);
    emit outlineChanged();
}

void SkyChartModel::resetOutline()
{
    m_outline.reset();
    m_timer.stop();
    m_savePending = false;
    saveNow();
    emit outlineChanged();
}

void SkyChartModel::flush()
{
    if (m_savePending)
        saveNow();
}

void SkyChartModel::scheduleSave()
{
    if (m_savePending)
        return;
    m_savePending = true;
    const qint64 wait = m_everSaved ? std::max<qint64>(0, m_lastSave + SaveIntervalMs - now()) : 0;
    m_timer.start(std::chrono::milliseconds(wait));
}

void SkyChartModel::saveNow()
{
    m_timer.stop();
    m_savePending = false;
    QSettings settings;
    m_outline.save(settings);
    m_lastSave = now();
    m_everSaved = true;
    ++m_saveCount;
}
