#include "app/ui/DisplaySnapshot.h"

#include <QAbstractItemModel>
#include <QAbstractItemView>
#include <QJsonArray>
#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>
#include <QStatusBar>

namespace DisplaySnapshot {

namespace {

QJsonArray tableRows(const QAbstractItemView &view)
{
    QJsonArray rows;
    const QAbstractItemModel *model = view.model();
    if (!model)
        return rows;
    for (int r = 0; r < model->rowCount(); ++r) {
        QJsonArray cells;
        for (int c = 0; c < model->columnCount(); ++c) {
            const QModelIndex index = model->index(r, c);
            QString text = model->data(index, Qt::DisplayRole).toString();
            if (text.isEmpty()) {
                if (const auto *bar = qobject_cast<const QProgressBar *>(view.indexWidget(index)))
                    text = QString::number(bar->value());
            }
            cells.append(text);
        }
        rows.append(cells);
    }
    return rows;
}

// Named widgets of this window itself; the dialogs it owns are windows of their own.
bool shownName(const QWidget &widget, const QWidget &window)
{
    const QString name = widget.objectName();
    return !name.isEmpty() && !name.startsWith(QLatin1String("qt_")) && widget.window() == &window;
}

} // namespace

QJsonObject take(const QWidget &window)
{
    QJsonObject labels;
    for (const QLabel *label : window.findChildren<QLabel *>()) {
        if (shownName(*label, window))
            labels.insert(label->objectName(), label->text());
    }
    QJsonObject tables;
    for (const QAbstractItemView *view : window.findChildren<QAbstractItemView *>()) {
        if (shownName(*view, window))
            tables.insert(view->objectName(), tableRows(*view));
    }
    QJsonObject snapshot;
    snapshot.insert(QStringLiteral("title"), window.windowTitle());
    if (const auto *main = qobject_cast<const QMainWindow *>(&window))
        snapshot.insert(QStringLiteral("status"), main->statusBar()->currentMessage());
    snapshot.insert(QStringLiteral("labels"), labels);
    snapshot.insert(QStringLiteral("tables"), tables);
    return snapshot;
}

} // namespace DisplaySnapshot
