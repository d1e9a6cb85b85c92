#pragma once

#include <QJsonObject>
#include <QString>

class QWidget;

// What a window shows, as text: every named label, the cells of every named table or list
// view, the status-bar message and the window title. Used by the program's --dump-display
// option, so the running program can be checked from outside without a screen.
namespace DisplaySnapshot {

// {"title": ..., "status": ..., "labels": {name: text}, "tables": {name: [[cell, ...], ...]}}.
// Labels showing a pixmap give "" as text; a table cell holding a progress bar gives its value.
QJsonObject take(const QWidget &window);

} // namespace DisplaySnapshot
