#include "app/ui/SatelliteTableView.h"

#include "app/SatelliteTableModel.h"

#include <QHeaderView>
#include <QPainter>
#include <QProgressBar>
#include <QStyleOptionProgressBar>
#include <QStyledItemDelegate>

#include <algorithm>

namespace {

// Draws the header cell over the bars as a scale whose marks stand where the bars end for
// those values, whatever width the stretched column has; the other cells as usual.
class BarScaleDelegate : public QStyledItemDelegate
{
public:
    explicit BarScaleDelegate(SatelliteTableView *view)
        : QStyledItemDelegate(view), m_view(view) {}

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        if (index.row() != 0) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        const QList<int> marks = m_view->barScalePositions();
        const QFontMetrics metrics(option.font);
        painter->save();
        painter->setPen(option.palette.color(QPalette::Text));
        for (int i = 0; i < marks.size(); ++i) {
            const QString label = QString::number(SatelliteTableModel::BarScaleMarks[size_t(i)]);
            const int w = metrics.horizontalAdvance(label);
            painter->drawText(QRect(marks[i] - w / 2, option.rect.top(), w, option.rect.height()),
                              Qt::AlignCenter, label);
            if (i + 1 < marks.size()) {
                const int mid = (marks[i] + marks[i + 1]) / 2;
                painter->drawLine(mid, option.rect.top() + 3, mid, option.rect.bottom() - 3);
            }
        }
        painter->restore();
    }

private:
    SatelliteTableView *m_view;
};

} // namespace

SatelliteTableView::SatelliteTableView(QWidget *parent)
    : QTableWidget(SatelliteTableModel::DisplayRows + 1, SatelliteTableModel::Columns, parent)
{
    setObjectName(QStringLiteral("SatelliteTable"));
    horizontalHeader()->hide();
    verticalHeader()->hide();
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::NoSelection);
    setFocusPolicy(Qt::NoFocus);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);

    auto *scale = new QTableWidgetItem(SatelliteTableModel::BarScaleText);
    scale->setFont(QFont(QStringLiteral("Courier New"), font().pointSize()));
    setItem(0, SatelliteTableModel::BarColumn, scale);
    setItemDelegateForColumn(SatelliteTableModel::BarColumn, new BarScaleDelegate(this));

    for (int row = 1; row <= SatelliteTableModel::DisplayRows; ++row) {
        for (int column = 0; column < SatelliteTableModel::BarColumn; ++column) {
            auto *item = new QTableWidgetItem;
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            setItem(row, column, item);
        }
        auto *bar = new QProgressBar(this);
        bar->setRange(SatelliteTableModel::BarMinimum, SatelliteTableModel::BarMaximum);
        bar->setValue(SatelliteTableModel::BarMinimum);
        bar->setTextVisible(true);
        bar->setFormat(QString());
        bar->setAlignment(Qt::AlignCenter);
        setCellWidget(row, SatelliteTableModel::BarColumn, bar);
    }
    const QStringList heads = { QStringLiteral("PRN"), QStringLiteral("El"), QStringLiteral("Azm"),
                                QStringLiteral("C/No") };
    for (int column = 0; column < heads.size(); ++column) {
        auto *item = new QTableWidgetItem(heads[column]);
        item->setTextAlignment(Qt::AlignCenter);
        QFont bold = item->font();
        bold.setBold(true);
        item->setFont(bold);
        setItem(0, column, item);
    }
    const int digit = fontMetrics().horizontalAdvance(QLatin1Char('0'));
    setColumnWidth(SatelliteTableModel::PrnColumn, digit * 6);
    setColumnWidth(SatelliteTableModel::ElevationColumn, digit * 7);
    setColumnWidth(SatelliteTableModel::AzimuthColumn, digit * 6);
    setColumnWidth(SatelliteTableModel::CNoColumn, digit * 6);
    horizontalHeader()->setStretchLastSection(true);
}

QSize SatelliteTableView::sizeHint() const
{
    int height = 2 * frameWidth();
    for (int r = 0; r < rowCount(); ++r)
        height += rowHeight(r);
    int width = 2 * frameWidth();
    for (int c = 0; c < columnCount(); ++c)
        width += columnWidth(c);
    // the bar column stretches; give it room for the longest status texts
    width += fontMetrics().horizontalAdvance(QLatin1Char('0')) * 36;
    return QSize(width, height);
}

QList<int> SatelliteTableView::barScalePositions() const
{
    QList<int> out;
    const QProgressBar *first = bar(1);
    if (!first)
        return out;
    // The filled part of a bar, as the style lays it out, in viewport coordinates; before the
    // bars are placed, the cell they will fill.
    QStyleOptionProgressBar option;
    option.initFrom(first);
    option.rect = first->rect();
    const QRect cell = visualRect(model()->index(1, SatelliteTableModel::BarColumn));
    const QRect placed = first->geometry().width() > 0 ? first->geometry() : cell;
    option.rect.setSize(placed.size());
    const QRect contents = first->style()->subElementRect(QStyle::SE_ProgressBarContents, &option, first);
    for (int value : SatelliteTableModel::BarScaleMarks)
        out << placed.x() + contents.x() + SatelliteTableModel::barOffset(value, contents.width());
    return out;
}

QProgressBar *SatelliteTableView::bar(int row) const
{
    return qobject_cast<QProgressBar *>(cellWidget(row, SatelliteTableModel::BarColumn));
}

QString SatelliteTableView::cellText(int row, int column) const
{
    const QTableWidgetItem *it = item(row, column);
    return it ? it->text() : QString();
}

void SatelliteTableView::setCellText(int row, int column, const QString &text)
{
    QTableWidgetItem *it = item(row, column);
    if (!it) {
        it = new QTableWidgetItem;
        it->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        setItem(row, column, it);
    }
    it->setText(text);
}

void SatelliteTableView::apply(const SatelliteTableUpdate &update)
{
    for (const SatelliteCell &cell : update.cells) {
        if (cell.column == SatelliteTableModel::BarColumn) {
            if (QProgressBar *b = bar(cell.row)) {
                b->setValue(cell.barValue);
                b->setFormat(cell.text);
            }
        } else {
            setCellText(cell.row, cell.column, cell.text);
        }
    }
    for (int row : update.clearedRows) {
        for (int column = 0; column < SatelliteTableModel::BarColumn; ++column)
            setCellText(row, column, QString());
        if (QProgressBar *b = bar(row)) {
            b->setValue(b->minimum());
            b->setFormat(QString());
        }
    }
}
