#pragma once

#include "chart/SkyOutline.h"
#include "core/ReceiverState.h"

#include <QList>
#include <QObject>
#include <QPointF>
#include <QTimer>
#include <array>
#include <bitset>
#include <functional>
#include <optional>

// One satellite as the sky chart takes it, in whole degrees.
struct SkySatellite
{
    int svId = 0;
    int azimuth = -1;     // negative = unknown
    int elevation = -1;   // negative = unknown
    int usable = 0;       // positive when the satellite can be used (its C/No)
    int riseSet = 0;      // +1 rising, -1 setting, 0 unknown
    bool used = false;    // tracked (u-blox modes: used in the solution)
};

// The sky chart without widgets: the accumulated outlines and their persistence, the
// satellites of the current update sorted into the chart's four scatter series, and the
// satellites the user pinned a label to.
//
// The outlines are saved when they change, at most once a minute, and by flush() (shutdown), so
// a crash loses at most a minute of outline.
class SkyChartModel : public QObject
{
    Q_OBJECT
public:
    enum Series { Rising = 0, Falling, NoDoppler, Sbas, SeriesCount };
    static constexpr qint64 SaveIntervalMs = 60000;
    static constexpr double PickTolerance = 0.009;
    using Clock = std::function<qint64()>;   // ms, any monotonic origin

    explicit SkyChartModel(QObject *parent = nullptr);
    ~SkyChartModel() override;

    void setClock(Clock clock) { m_clock = std::move(clock); }

    // What a satellite table record gives the chart: the C/No as usability, the rise/set field,
    // and as "used" the tracking flag (u-blox modes: the used-in-solution flag).
    static SkySatellite fromRecord(const SatelliteRecord &record, int receiverMode);
    // SBAS satellites (120-158) have their own series; the others go by rising or setting.
    static Series seriesOf(int svId, int riseSet);

    // One update: the current points are replaced by the satellites of `records` with a known
    // azimuth and elevation, and the outlines take every one of them.
    void update(const std::array<SatelliteRecord, ReceiverState::SatelliteSlots> &records, int receiverMode);
    // The same in steps (begin clears the points, end reports and schedules the save).
    void beginUpdate();
    void addSatellite(const SkySatellite &satellite);
    void endUpdate();

    // Points (azimuth, 90 - elevation) of a series in this update.
    const QList<QPointF> &points(Series series) const { return m_points[series]; }
    const QList<SkySatellite> &satellites() const { return m_current; }
    // The satellite plotted at a chart value (azimuth, 90 - elevation), within PickTolerance
    // in both.
    std::optional<SkySatellite> satelliteAt(const QPointF &value) const;
    // The label pinned to a satellite: "Prn: 5, Az: 123, El: 45 ".
    static QString calloutText(const SkySatellite &satellite);

    void setSelected(int svId, bool selected = true);
    bool isSelected(int svId) const { return svId >= 0 && svId < ReceiverState::SatelliteSlots && m_selected.test(size_t(svId)); }

    SkyOutline &outline() { return m_outline; }
    const SkyOutline &outline() const { return m_outline; }

    // Reads the stored outlines.
    void load();
    // Both lines unset and stored at once.
    void resetOutline();
    // Stores a pending change now (shutdown).
    void flush();
    bool savePending() const { return m_savePending; }
    // Milliseconds until a pending save; -1 when none is pending.
    qint64 pendingSaveDelayMs() const { return m_savePending ? m_timer.remainingTime() : -1; }
    int saveCount() const { return m_saveCount; }

Q_SIGNALS:
    // The current points were replaced.
    void updated();
    // An outline changed (or was reset or loaded): the drawn lines are stale.
    void outlineChanged();

private:
    void scheduleSave();
    void saveNow();
    qint64 now() const;

    SkyOutline m_outline;
    std::array<QList<QPointF>, SeriesCount> m_points;
    QList<SkySatellite> m_current;
    std::bitset<ReceiverState::SatelliteSlots> m_selected;
    bool m_changedInUpdate = false;

    Clock m_clock;
    QTimer m_timer;
    bool m_savePending = false;
    bool m_everSaved = false;
    qint64 m_lastSave = 0;
    int m_saveCount = 0;
};
