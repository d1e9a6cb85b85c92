#pragma once

#include "core/ReceiverState.h"

#include <QList>
#include <QString>
#include <array>
#include <optional>

// One cell the satellite table widget has to rewrite. Rows are display rows 1 to 15 (row 0 is
// the header). For the bar column (4) `text` is the bar text and `barValue` its value.
struct SatelliteCell
{
    int row = 0;
    int column = 0;
    QString text;
    int barValue = 0;

    bool operator==(const SatelliteCell &) const = default;
};

// What one fill asks the widget to do: rewrite these cells, and blank these rows (empty
// cells, bar back to its minimum, no text).
struct SatelliteTableUpdate
{
    QList<SatelliteCell> cells;
    QList<int> clearedRows;
};

// The satellite table of the main window, without widgets: it sorts a working copy of the
// receiver's 256 records, picks the ones to show, builds their texts and remembers what each
// row shows so that a fill only reports the cells that changed.
class SatelliteTableModel
{
public:
    static constexpr int DisplayRows = 15;
    static constexpr int Columns = 5;
    enum Column { PrnColumn = 0, ElevationColumn = 1, AzimuthColumn = 2, CNoColumn = 3, BarColumn = 4 };
    enum SortMode { SortByPrn = 0, SortByElevation = 1, SortByAzimuth = 2, SortByCNo = 3, Unsorted = 4 };
    static constexpr int BarMinimum = 16;
    static constexpr int BarMaximum = 55;
    static const QString BarScaleText;   // header text over the bars
    // The marks of the bar scale, and where a value falls across a bar whose filled part
    // runs `width` pixels from BarMinimum to BarMaximum.
    static constexpr std::array<int, 4> BarScaleMarks { 20, 30, 40, 50 };
    static int barOffset(int value, int width);

    using Records = std::array<SatelliteRecord, ReceiverState::SatelliteSlots>;

    // One fill. In mode 9 it zeroes the C/No of the master records not used in the solution
    // (so they drop out of the table), which is why the master table is not const.
    SatelliteTableUpdate fill(Records &master, int receiverMode, int sortMode);

    // The sorted working copy of the last fill (the sky chart draws from it).
    const Records &sortedCopy() const { return m_sorted; }
    // Number of rows the last fill showed.
    int shownRows() const { return m_shownRows; }
    // Forgets what the rows show: the next fill writes every cell.
    void invalidate();

    // --- the pieces, each usable on its own ------------------------------------------------
    static void sortRecords(Records &records, int sortMode);
    static bool isShown(const SatelliteRecord &record, int receiverMode);
    static int barValue(int cNo);
    static QString prnText(const SatelliteRecord &record);
    static QString elevationText(const SatelliteRecord &record);
    static QString azimuthText(const SatelliteRecord &record);
    static QString cNoText(const SatelliteRecord &record, int receiverMode);
    static QString barText(const SatelliteRecord &record, int receiverMode);
    static QString trackModeName(int trackMode);
    // The bar text when it is not a tracking-mode name: system or SBAS name and status flags.
    static QString statusText(const SatelliteRecord &record, int receiverMode);
    // "GPS, ", "SBAS, ", ... by ID range; empty for an ID outside every range.
    static QString systemPart(int svId);
    // "EGNOS AOR-E 15°W, " ... for the SBAS satellites with a name; empty otherwise.
    static QString sbasNamePart(int svId);

private:
    Records m_sorted {};
    std::array<std::optional<SatelliteRecord>, DisplayRows> m_shadow {};
    std::array<bool, DisplayRows> m_rowCleared {};
    int m_shownRows = 0;
    int m_lastMode = -1;
};

// Text and style sheet of a status-bar indicator.
struct IndicatorLook
{
    QString text;
    QString styleSheet;
    bool operator==(const IndicatorLook &) const = default;
};

namespace StationIndicators {
IndicatorLook antenna(int value);
IndicatorLook navigation(int value);
// What the indicators show before any receiver message ("Ant Unknown").
IndicatorLook antennaAtStart();
IndicatorLook navigationAtStart();
} // namespace StationIndicators

// The "%1.1d Visible" label: shows a new text only when the count's changed flag is set and
// the text differs from the one last shown.
class VisibleCountLabel
{
public:
    // Clears the flag; returns the text to show, or nothing when the label keeps its text.
    std::optional<QString> update(ShownCount &count);

private:
    QString m_lastText;
};
