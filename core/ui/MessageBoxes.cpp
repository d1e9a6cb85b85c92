#include "core/ui/MessageBoxes.h"

namespace MessageBoxes {

namespace {
Handler &currentHandler()
{
    static Handler handler;
    return handler;
}
} // namespace

Handler setHandler(Handler handler)
{
    Handler old = std::move(currentHandler());
    currentHandler() = std::move(handler);
    return old;
}

QMessageBox::StandardButton show(QWidget *parent, const Box &box)
{
    if (currentHandler())
        return currentHandler()(box);
    switch (box.kind) {
    case Kind::Information: return QMessageBox::information(parent, box.title, box.text, box.buttons);
    case Kind::Warning: return QMessageBox::warning(parent, box.title, box.text, box.buttons);
    case Kind::Critical: return QMessageBox::critical(parent, box.title, box.text, box.buttons);
    case Kind::Question: return QMessageBox::question(parent, box.title, box.text, box.buttons);
    }
    return QMessageBox::NoButton;
}

} // namespace MessageBoxes
