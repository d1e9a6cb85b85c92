#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>

class QWidget;

// Every modal message box of the program goes through here, so tests can answer boxes
// without a user: install a handler that records the box and returns the button to press.
namespace MessageBoxes {

enum class Kind { Information, Warning, Critical, Question };

struct Box
{
    Kind kind;
    QString title;
    QString text;
    QMessageBox::StandardButtons buttons;
};

using Handler = std::function<QMessageBox::StandardButton(const Box &)>;

// Installs a handler (tests); an empty handler restores the real boxes. Returns the old one.
Handler setHandler(Handler handler);

QMessageBox::StandardButton show(QWidget *parent, const Box &box);

inline QMessageBox::StandardButton information(QWidget *parent, const QString &title, const QString &text,
                                               QMessageBox::StandardButtons buttons = QMessageBox::Ok)
{
    return show(parent, { Kind::Information, title, text, buttons });
}
inline QMessageBox::StandardButton warning(QWidget *parent, const QString &title, const QString &text,
                                           QMessageBox::StandardButtons buttons = QMessageBox::Ok)
{
    return show(parent, { Kind::Warning, title, text, buttons });
}
inline QMessageBox::StandardButton critical(QWidget *parent, const QString &title, const QString &text,
                                            QMessageBox::StandardButtons buttons = QMessageBox::Ok)
{
    return show(parent, { Kind::Critical, title, text, buttons });
}
inline QMessageBox::StandardButton question(QWidget *parent, const QString &title, const QString &text,
                                            QMessageBox::StandardButtons buttons = QMessageBox::Yes | QMessageBox::No)
{
    return show(parent, { Kind::Question, title, text, buttons });
}

} // namespace MessageBoxes
