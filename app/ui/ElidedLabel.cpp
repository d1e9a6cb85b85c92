#include "app/ui/ElidedLabel.h"

#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QToolTip>

QSize ElidedLabel::minimumSizeHint() const
{
    // Room for about ten characters, the ellipsis included.
    QSize size = QLabel::minimumSizeHint();
    const int least = 10 * fontMetrics().averageCharWidth() + 2 * frameWidth() + 2 * margin();
    size.setWidth(qMin(size.width(), least));
    return size;
}

QString ElidedLabel::shownText() const
{
    const int width = contentsRect().width() - 2 * margin();
    return fontMetrics().elidedText(text(), Qt::ElideRight, qMax(0, width));
}

bool ElidedLabel::elided() const
{
    return shownText() != text();
}

void ElidedLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    drawFrame(&painter);
    const QRect area = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
    style()->drawItemText(&painter, area, QStyle::visualAlignment(layoutDirection(), alignment()), palette(),
                          isEnabled(), shownText(), foregroundRole());
}

bool ElidedLabel::event(QEvent *event)
{
    // The whole text as tool tip only while it is cut; a tool tip set by hand wins.
    if (event->type() == QEvent::ToolTip && toolTip().isEmpty()) {
        auto *help = static_cast<QHelpEvent *>(event);
        if (elided())
            QToolTip::showText(help->globalPos(), text(), this);
        else
            QToolTip::hideText();
        return true;
    }
    return QLabel::event(event);
}
