#pragma once

#include <QWidget>
#include <functional>

class QPushButton;
class QSplitter;
class QTextBrowser;
class QTreeWidget;
class QTreeWidgetItem;

// The help viewer: the contents tree beside a text browser showing the HTML help pages, with
// back and forward through the pages seen and a button that hides or shows the contents.
class HelpWindow : public QWidget
{
    Q_OBJECT
public:
    // root: the help folder; by default the one found for this program (see HelpLocation).
    explicit HelpWindow(QWidget *parent = nullptr, const QString &root = QString());
    ~HelpWindow() override;

    // Opens the window on a page (relative to the help folder); index.htm when empty or missing.
    void showHelp(const QString &page = QString());
    // The page that describes a window: its class name with ".htm".
    static QString pageFor(const QWidget *window);
    // Watches target (the application) for F1 in any window and hands that window to open;
    // the watch ends with context.
    static void installHelpKey(QObject *target, QObject *context, std::function<void(QWidget *)> open);

    QString root() const { return m_root; }
    QTextBrowser *browser() const { return m_browser; }
    QTreeWidget *contentsTree() const { return m_tree; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void openLink(const QUrl &link);
    void followSource(const QUrl &url);
    void saveState();
    void restoreState();

    QString m_root;
    QTreeWidget *m_tree = nullptr;
    QTextBrowser *m_browser = nullptr;
    QSplitter *m_splitter = nullptr;
    QPushButton *m_back = nullptr;
    QPushButton *m_forward = nullptr;
    QPushButton *m_contents = nullptr;
};
