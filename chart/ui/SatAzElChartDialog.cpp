#include "chart/ui/SatAzElChartDialog.h"

#include "chart/ui/Callout.h"
#include "chart/ui/SatAzElChart.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineSeries>
#include <QPainter>
#include <QPainterPath>
#include <QPolarChart>
#include <QPushButton>
#include <QScatterSeries>
#include <QSettings>
#include <QValueAxis>
#include <QVBoxLayout>
#include <cmath>

namespace {

// Legend order: Rising, Falling, No Doppler, SBAS, Horizon, Sky hole.
const char *const kColours[] = { "#0000ff", "#ff0000", "#009696", "#a000a0", "#008000", "#0000c8" };

QImage markerImage(int size, const QColor &colour, bool star)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(colour.darker(130), 1));
    p.setBrush(colour);
    const QPointF c(size / 2.0, size / 2.0);
    QPolygonF shape;
    if (star) {
        const double outer = size / 2.0 - 1.0, inner = outer * 0.42;
        for (int i = 0; i < 10; ++i) {
            const double r = (i % 2) ? inner : outer;
            const double a = -M_PI / 2 + i * M_PI / 5;
            shape << c + QPointF(r * std::cos(a), r * std::sin(a));
        }
    } else {
        const double h = size / 2.0 - 1.0;
        shape << c + QPointF(0, -h) << c + QPointF(h, 0) << c + QPointF(0, h) << c + QPointF(-h, 0);
    }
    p.drawPolygon(shape);
    return image;
}

} // namespace

SatAzElChartDialog::SatAzElChartDialog(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("SatAzElChartDialog"));
    setWindowTitle(QStringLiteral("Satellite Az-El Chart"));

    auto *grid = new QGridLayout(this);
    grid->setObjectName(QStringLiteral("gridLayout"));
    auto *vertical = new QVBoxLayout;
    vertical->setObjectName(QStringLiteral("verticalLayout"));
    m_view = new SatAzElChart(this);
    m_view->setObjectName(QStringLiteral("graphicsView"));
    m_view->setRenderHint(QPainter::Antialiasing);
    vertical->addWidget(m_view, 1);
    auto *horizontal = new QHBoxLayout;
    horizontal->setObjectName(QStringLiteral("horizontalLayout"));
    m_legendLabel = new QLabel(legendText(), this);
    m_legendLabel->setObjectName(QStringLiteral("ResetLabel"));
    m_legendLabel->setTextFormat(Qt::RichText);
    m_legendLabel->setWordWrap(true);
    horizontal->addWidget(m_legendLabel, 1);
    m_resetButton = new QPushButton(QStringLiteral("Reset the Horizon Line"), this);
    m_resetButton->setObjectName(QStringLiteral("IDC_HORIZON_RESET_BUTTON"));
    m_resetButton->setToolTip(QStringLiteral("Clear the accumulated horizon and sky hole lines and start them over"));
    m_resetButton->setAutoDefault(false);
    horizontal->addWidget(m_resetButton);
    vertical->addLayout(horizontal);
    m_azElLabel = new QLabel(this);
    m_azElLabel->setObjectName(QStringLiteral("AzElLabel"));
    vertical->addWidget(m_azElLabel);
    grid->addLayout(vertical, 0, 0);

    buildChart();
    connect(m_resetButton, &QPushButton::clicked, this, &SatAzElChartDialog::IDC_HORIZON_RESET_BUTTON_clicked);
    connect(m_view, &SatAzElChart::azElChanged, m_azElLabel, &QLabel::setText);
    connect(m_view, &SatAzElChart::chartReplaced, this, &SatAzElChartDialog::attachChart);
    connect(&m_model, &SkyChartModel::outlineChanged, this, [this] {
        if (isVisible())
            drawLines();
    });

    m_model.load();
    QSettings settings;
    const QByteArray geometry = settings.value(QStringLiteral("SatAzElChartDialog/geometry")).toByteArray();
    if (geometry.isEmpty() || !restoreGeometry(geometry))
        resize(640, 720);
    drawLines();
}

SatAzElChartDialog::~SatAzElChartDialog()
{
    m_model.flush();
}

QString SatAzElChartDialog::legendText()
{
    const QString symbols[] = { QStringLiteral("\u2605"), QStringLiteral("\u2605"), QStringLiteral("\u2605"),
                                QStringLiteral("\u25C6"), QStringLiteral("\u2501"), QStringLiteral("\u2501") };
    const QString words[] = { QStringLiteral("Rising"), QStringLiteral("Falling"), QStringLiteral("No Doppler"),
                              QStringLiteral("SBAS"), QStringLiteral("Horizon (min elevation)"),
                              QStringLiteral("Sky hole (max elevation)") };
    QString text;
    for (int i = 0; i < 6; ++i)
        // An item never breaks inside; the line breaks between items.
        text += QStringLiteral("<font color=\"%1\">%2</font>&nbsp;%3&nbsp;&nbsp; ")
                    .arg(QLatin1String(kColours[i]), symbols[i], QString(words[i]).replace(QLatin1Char(' '), QStringLiteral("&nbsp;")));
    return text + QStringLiteral("<br>Use arrow keys to scroll, +/- to zoom, and space to switch chart type.");
}

void SatAzElChartDialog::buildChart()
{
    auto *chart = new QPolarChart;
    chart->setTitle(QStringLiteral("Satellite Azimuth / Elevation"));
    chart->legend()->setVisible(false);
    chart->setMargins(QMargins(4, 4, 4, 4));

    auto *azimuth = new QValueAxis;
    azimuth->setObjectName(QStringLiteral("azimuthAxis"));
    azimuth->setRange(0, 360);
    azimuth->setTickCount(13);
    azimuth->setLabelFormat(QStringLiteral("%d"));
    auto *radial = new QValueAxis;
    radial->setObjectName(QStringLiteral("radialAxis"));
    radial->setRange(0, 90);
    radial->setTickCount(4);
    radial->setMinorTickCount(7);
    radial->setLabelFormat(QStringLiteral("%d"));
    chart->addAxis(azimuth, QPolarChart::PolarOrientationAngular);
    chart->addAxis(radial, QPolarChart::PolarOrientationRadial);

    const char *const names[] = { "Rising", "Falling", "No Doppler", "SBAS" };
    for (int i = 0; i < SkyChartModel::SeriesCount; ++i) {
        auto *s = new QScatterSeries;
        const bool sbas = i == SkyChartModel::Sbas;
        const int size = sbas ? 14 : 22;
        s->setName(QLatin1String(names[i]));
        s->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
        s->setMarkerSize(size);
        s->setBrush(markerImage(size, QColor(QLatin1String(kColours[i])), !sbas));
        s->setPen(QColor(Qt::transparent));
        s->setColor(QColor(QLatin1String(kColours[i])));
        connect(s, &QScatterSeries::clicked, this, &SatAzElChartDialog::satelliteClicked);
        connect(s, &QScatterSeries::hovered, this, &SatAzElChartDialog::satelliteHovered);
        m_series[size_t(i)] = s;
    }
    m_horizon = new QLineSeries;
    m_horizon->setName(QStringLiteral("Horizon"));
    m_horizon->setPen(QPen(QColor(QLatin1String(kColours[4])), 1));
    m_skyHole = new QLineSeries;
    m_skyHole->setName(QStringLiteral("Sky hole"));
    m_skyHole->setPen(QPen(QColor(QLatin1String(kColours[5])), 2));

    // Lines under the satellites.
    for (QAbstractSeries *s : { static_cast<QAbstractSeries *>(m_horizon), static_cast<QAbstractSeries *>(m_skyHole) }) {
        chart->addSeries(s);
        s->attachAxis(azimuth);
        s->attachAxis(radial);
    }
    for (QScatterSeries *s : m_series) {
        chart->addSeries(s);
        s->attachAxis(azimuth);
        s->attachAxis(radial);
    }
    m_view->setChart(chart);
}

void SatAzElChartDialog::attachChart(QChart *)
{
    // The labels went with the old chart; the selection flags remain.
    m_pinned.clear();
    m_current = nullptr;
    placeCallouts();
}

void SatAzElChartDialog::updateSatellites(const std::array<SatelliteRecord, ReceiverState::SatelliteSlots> &records,
                                          int receiverMode)
{
    m_model.update(records, receiverMode);
    if (!isVisible())
        return;
    drawPoints();
    if (m_model.outline().dirty())
        drawLines();
}

void SatAzElChartDialog::drawPoints()
{
    for (int i = 0; i < SkyChartModel::SeriesCount; ++i) {
        const QList<QPointF> &points = m_model.points(SkyChartModel::Series(i));
        if (points != m_series[size_t(i)]->points())
            m_series[size_t(i)]->replace(points);
    }
    placeCallouts();
}

void SatAzElChartDialog::drawLines()
{
    m_horizon->replace(m_model.outline().horizonPoints());
    m_skyHole->replace(m_model.outline().skyHolePoints());
    m_model.outline().clearDirty();
}

void SatAzElChartDialog::placeCallouts()
{
    QChart *chart = m_view->chart();
    for (const SkySatellite &s : m_model.satellites()) {
        if (!m_model.isSelected(s.svId))
            continue;
        Callout *&c = m_pinned[s.svId];
        if (!c)
            c = new Callout(chart);
        c->setText(SkyChartModel::calloutText(s));
        c->setAnchor(QPointF(s.azimuth, 90 - std::min(s.elevation, 90)));
        c->updateGeometry();
        c->show();
    }
    // A pinned satellite that is not in the sky this second keeps its label hidden.
    for (auto it = m_pinned.begin(); it != m_pinned.end(); ++it) {
        bool present = false;
        for (const SkySatellite &s : m_model.satellites())
            present = present || s.svId == it.key();
        if (!present)
            it.value()->hide();
    }
}

void SatAzElChartDialog::satelliteHovered(const QPointF &value, bool over)
{
    const std::optional<SkySatellite> hit = over ? m_model.satelliteAt(value) : std::nullopt;
    if (!hit || m_model.isSelected(hit->svId)) {
        if (m_current)
            m_current->hide();
        return;
    }
    if (!m_current)
        m_current = new Callout(m_view->chart());
    m_current->setText(SkyChartModel::calloutText(*hit));
    m_current->setAnchor(QPointF(hit->azimuth, 90 - std::min(hit->elevation, 90)));
    m_current->updateGeometry();
    m_current->show();
}

void SatAzElChartDialog::satelliteClicked(const QPointF &value)
{
    const std::optional<SkySatellite> hit = m_model.satelliteAt(value);
    if (!hit || m_model.isSelected(hit->svId))
        return;
    m_model.setSelected(hit->svId);
    if (m_current) {
        m_pinned.insert(hit->svId, m_current);
        m_current = nullptr;
    }
    placeCallouts();
}

void SatAzElChartDialog::IDC_HORIZON_RESET_BUTTON_clicked()
{
    m_model.resetOutline();
    drawLines();
}

void SatAzElChartDialog::saveState()
{
    m_model.flush();
    QSettings().setValue(QStringLiteral("SatAzElChartDialog/geometry"), saveGeometry());
}

void SatAzElChartDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    drawPoints();
    drawLines();
}

void SatAzElChartDialog::hideEvent(QHideEvent *event)
{
    saveState();
    QDialog::hideEvent(event);
}
