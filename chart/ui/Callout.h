#pragma once

#include <QFont>
#include <QGraphicsItem>
#include <QPointF>
#include <QRectF>
#include <QString>

class QChart;

// A label on the sky chart pointing at one satellite: a rounded box with the text, joined to
// the satellite's point by a wedge. Its anchor is a chart value (azimuth, 90 - elevation).
class Callout : public QGraphicsItem
{
public:
    explicit Callout(QChart *chart);

    void setText(const QString &text);
    QString text() const { return m_text; }
    void setAnchor(const QPointF &value) { m_anchor = value; }
    QPointF anchor() const { return m_anchor; }
    // Places the label beside its anchor's present position on the chart.
    void updateGeometry();

    QRectF boundingRect() const override;
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

private:
    QChart *m_chart;
    QString m_text;
    QRectF m_textRect;
    QRectF m_rect;
    QPointF m_anchor;
    QFont m_font;
};
