#pragma once

#include <QChartView>

class QValueAxis;

// The sky chart's view: arrow keys scroll, "+" and "-" zoom, space switches between the polar
// chart and a rectangular one (the series and axes move across, the title stays), and the
// azimuth and elevation under the mouse are reported as "Az: 123.4   El: 45.6".
class SatAzElChart : public QChartView
{
    Q_OBJECT
public:
    explicit SatAzElChart(QWidget *parent = nullptr);

    // The two axes (object names "azimuthAxis" and "radialAxis") of the present chart.
    QValueAxis *azimuthAxis() const;
    QValueAxis *radialAxis() const;
    bool isPolar() const;

    // Replaces the chart by one of the other kind.
    void switchChartType();
    // The read-out text for a chart value (azimuth, 90 - elevation).
    static QString azElText(const QPointF &value);

Q_SIGNALS:
    void azElChanged(const QString &text);
    // The chart was replaced; items drawn on the old one are gone.
    void chartReplaced(QChart *chart);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
};
