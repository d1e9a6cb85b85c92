#pragma once

#include "chart/SkyChartModel.h"

#include <QDialog>
#include <QHash>
#include <array>

class QChart;
class QLabel;
class QLineSeries;
class QPushButton;
class QScatterSeries;
class Callout;
class SatAzElChart;

// "Satellite Az-El Chart": the satellites of the current second on a polar azimuth/elevation
// chart, coloured by rising and setting, with the accumulated horizon and sky-hole outlines.
// Made once by the main window and kept (hidden when closed) for the program's life; the
// outlines accumulate whether or not it is shown.
class SatAzElChartDialog : public QDialog
{
    Q_OBJECT
public:
    explicit SatAzElChartDialog(QWidget *parent = nullptr);
    ~SatAzElChartDialog() override;

    SkyChartModel &model() { return m_model; }
    SatAzElChart *chartView() const { return m_view; }
    QScatterSeries *series(SkyChartModel::Series s) const { return m_series[s]; }
    QLineSeries *horizonSeries() const { return m_horizon; }
    QLineSeries *skyHoleSeries() const { return m_skyHole; }
    // Labels pinned to satellites, by satellite number.
    const QHash<int, Callout *> &callouts() const { return m_pinned; }
    // The label that follows the mouse; null until the mouse first reaches a satellite.
    Callout *currentCallout() const { return m_current; }

    // The rich-text legend under the chart.
    static QString legendText();

public Q_SLOTS:
    // One update from the satellite table's sorted copy.
    void updateSatellites(const std::array<SatelliteRecord, ReceiverState::SatelliteSlots> &records,
                          int receiverMode);
    // The mouse is over a plotted satellite (or left it): the current label follows it.
    void satelliteHovered(const QPointF &value, bool over);
    // A plotted satellite was clicked at this chart value: the current label stays pinned to
    // it, and a fresh one serves the next.
    void satelliteClicked(const QPointF &value);
    void IDC_HORIZON_RESET_BUTTON_clicked();
    // Stores a pending outline change and the geometry (shutdown).
    void saveState();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void buildChart();
    void attachChart(QChart *chart);
    void drawPoints();
    void drawLines();
    void placeCallouts();

    SkyChartModel m_model;
    SatAzElChart *m_view = nullptr;
    QLabel *m_legendLabel = nullptr;
    QLabel *m_azElLabel = nullptr;
    QPushButton *m_resetButton = nullptr;
    std::array<QScatterSeries *, SkyChartModel::SeriesCount> m_series {};
    QLineSeries *m_horizon = nullptr;
    QLineSeries *m_skyHole = nullptr;
    QHash<int, Callout *> m_pinned;
    Callout *m_current = nullptr;   // follows the mouse until pinned
};
