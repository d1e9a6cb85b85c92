#include "chart/ui/SatAzElChart.h"

#include <QAbstractSeries>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPolarChart>
#include <QValueAxis>

SatAzElChart::SatAzElChart(QWidget *parent) : QChartView(parent)
{
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
}

QValueAxis *SatAzElChart::azimuthAxis() const
{
    for (QAbstractAxis *a : chart()->axes())
        if (a->objectName() == QLatin1String("azimuthAxis"))
            return qobject_cast<QValueAxis *>(a);
    return nullptr;
}

QValueAxis *SatAzElChart::radialAxis() const
{
    for (QAbstractAxis *a : chart()->axes())
        if (a->objectName() == QLatin1String("radialAxis"))
            return qobject_cast<QValueAxis *>(a);
    return nullptr;
}

bool SatAzElChart::isPolar() const
{
    return chart()->chartType() == QChart::ChartTypePolar;
}

QString SatAzElChart::azElText(const QPointF &value)
{
    return QStringLiteral("Az: %1   El: %2").arg(value.x(), 0, 'f', 1).arg(90.0 - value.y(), 0, 'f', 1);
}

void SatAzElChart::switchChartType()
{
    QChart *old = chart();
    const bool toPolar = old->chartType() != QChart::ChartTypePolar;
    QChart *next = toPolar ? new QPolarChart : new QChart;
    next->setTitle(old->title());
    next->legend()->setVisible(old->legend()->isVisible());
    next->setMargins(old->margins());

    QValueAxis *azimuth = azimuthAxis();
    QValueAxis *radial = radialAxis();
    const QList<QAbstractSeries *> series = old->series();
    for (QAbstractSeries *s : series)
        old->removeSeries(s);
    for (QAbstractAxis *a : old->axes())
        old->removeAxis(a);

    if (toPolar) {
        auto *polar = static_cast<QPolarChart *>(next);
        radial->setReverse(false);   // the zenith in the centre
        polar->addAxis(azimuth, QPolarChart::PolarOrientationAngular);
        polar->addAxis(radial, QPolarChart::PolarOrientationRadial);
    } else {
        radial->setReverse(true);    // the zenith on top, the horizon at the bottom
        next->addAxis(azimuth, Qt::AlignBottom);
        next->addAxis(radial, Qt::AlignLeft);
    }
    for (QAbstractSeries *s : series) {
        next->addSeries(s);
        s->attachAxis(azimuth);
        s->attachAxis(radial);
    }
    setChart(next);
    delete old;
    emit chartReplaced(next);
}

void SatAzElChart::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Left: chart()->scroll(-1, 0); break;
    case Qt::Key_Right: chart()->scroll(1, 0); break;
    case Qt::Key_Up: chart()->scroll(0, 1); break;
    case Qt::Key_Down: chart()->scroll(0, -1); break;
    case Qt::Key_Plus: chart()->zoomIn(); break;
    case Qt::Key_Minus: chart()->zoomOut(); break;
    case Qt::Key_Space: switchChartType(); break;
    default: QChartView::keyPressEvent(event); return;
    }
    event->accept();
}

void SatAzElChart::mouseMoveEvent(QMouseEvent *event)
{
    const QPointF inChart = chart()->mapFromScene(mapToScene(event->position().toPoint()));
    if (!chart()->series().isEmpty())
        emit azElChanged(azElText(chart()->mapToValue(inChart)));
    QChartView::mouseMoveEvent(event);
}
