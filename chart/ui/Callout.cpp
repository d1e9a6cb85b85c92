#include "chart/ui/Callout.h"

#include <QChart>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

Callout::Callout(QChart *chart) : QGraphicsItem(chart), m_chart(chart)
{
    setZValue(11);
}

void Callout::setText(const QString &text)
{
    if (text == m_text)
        return;
    m_text = text;
    const QFontMetrics metrics(m_font);
    m_textRect = metrics.boundingRect(QRect(0, 0, 200, 100), Qt::AlignLeft, m_text);
    m_textRect.translate(5, 5);
    prepareGeometryChange();
    m_rect = m_textRect.adjusted(-5, -5, 5, 5);
}

void Callout::updateGeometry()
{
    prepareGeometryChange();
    setPos(m_chart->mapToPosition(m_anchor) + QPointF(10, -30));
}

QRectF Callout::boundingRect() const
{
    const QPointF anchor = mapFromParent(m_chart->mapToPosition(m_anchor));
    QRectF r;
    r.setLeft(qMin(m_rect.left(), anchor.x()));
    r.setRight(qMax(m_rect.right(), anchor.x()));
    r.setTop(qMin(m_rect.top(), anchor.y()));
    r.setBottom(qMax(m_rect.bottom(), anchor.y()));
    return r;
}

void Callout::paint(QPainter *painter, const QStyleOptionGraphicsItem *, QWidget *)
{
    QPainterPath path;
    path.addRoundedRect(m_rect, 5, 5);
    const QPointF anchor = mapFromParent(m_chart->mapToPosition(m_anchor));
    if (!m_rect.contains(anchor) && !m_anchor.isNull()) {
        // A wedge from the box's nearest lower corner to the satellite.
        const QPointF base = QPointF(m_rect.left() + 10, m_rect.bottom());
        QPainterPath wedge;
        wedge.moveTo(base);
        wedge.lineTo(anchor);
        wedge.lineTo(base + QPointF(10, 0));
        path = path.united(wedge);
    }
    painter->setBrush(QColor(255, 255, 224));
    painter->setPen(QColor(80, 80, 80));
    painter->drawPath(path);
    painter->setFont(m_font);
    painter->drawText(m_textRect, m_text);
}
