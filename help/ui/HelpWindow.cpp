#include "help/ui/HelpWindow.h"

#include "help/HelpContents.h"
#include "help/HelpLocation.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QCoreApplication>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QSettings>
#include <QSplitter>
#include <QTextBrowser>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

const QString kGeometry = QStringLiteral("HelpWindow/geometry");
const QString kSplitter = QStringLiteral("HelpWindow/splitter");
const QString kContentsShown = QStringLiteral("HelpWindow/contentsShown");
constexpr int TargetRole = Qt::UserRole + 1;

void addItems(QTreeWidgetItem *parent, QTreeWidget *tree, const QList<HelpContentsItem> &items)
{
    for (const HelpContentsItem &item : items) {
        auto *node = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree);
        node->setText(0, item.title);
        node->setData(0, TargetRole, item.target);
        addItems(node, tree, item.children);
    }
}

class HelpKeyFilter : public QObject
{
public:
    HelpKeyFilter(QObject *context, std::function<void(QWidget *)> open) : QObject(context), m_open(std::move(open)) {}

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
            return false;
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() != Qt::Key_F1 || key->modifiers() != Qt::NoModifier)
            return false;
        m_open(static_cast<QWidget *>(watched)->window());
        return true;
    }

private:
    std::function<void(QWidget *)> m_open;
};

} // namespace

void HelpWindow::installHelpKey(QObject *target, QObject *context, std::function<void(QWidget *)> open)
{
    target->installEventFilter(new HelpKeyFilter(context, std::move(open)));
}

HelpWindow::HelpWindow(QWidget *parent, const QString &root)
    : QWidget(parent, Qt::Window),
      m_root(root.isEmpty() ? HelpLocation::findRoot(QCoreApplication::applicationDirPath()) : QFileInfo(root).canonicalFilePath())
{
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowTitle(QStringLiteral("Chronode Help"));

    m_back = new QPushButton(QStringLiteral("< Back"), this);
    m_forward = new QPushButton(QStringLiteral("Forward >"), this);
    m_contents = new QPushButton(QStringLiteral("Contents"), this);
    m_contents->setCheckable(true);
    m_back->setEnabled(false);
    m_forward->setEnabled(false);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_contents);
    buttons->addWidget(m_back);
    buttons->addWidget(m_forward);
    buttons->addStretch(1);

    m_tree = new QTreeWidget(this);
    m_tree->setObjectName(QStringLiteral("HelpContentsTree"));
    m_tree->setHeaderHidden(true);
    m_browser = new QTextBrowser(this);
    m_browser->setObjectName(QStringLiteral("HelpBrowser"));
    m_browser->setOpenLinks(false);
    m_splitter = new QSplitter(this);
    m_splitter->setObjectName(QStringLiteral("HelpSplitter"));
    m_splitter->addWidget(m_tree);
    m_splitter->addWidget(m_browser);
    m_splitter->setStretchFactor(1, 1);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(m_splitter, 1);
    resize(820, 600);

    if (!m_root.isEmpty())
        addItems(nullptr, m_tree, HelpContents::parseFile(QDir(m_root).filePath(QString::fromLatin1(HelpLocation::ContentsFile))));
    m_tree->expandToDepth(0);

    connect(m_back, &QPushButton::clicked, m_browser, &QTextBrowser::backward);
    connect(m_forward, &QPushButton::clicked, m_browser, &QTextBrowser::forward);
    connect(m_browser, &QTextBrowser::backwardAvailable, m_back, &QPushButton::setEnabled);
    connect(m_browser, &QTextBrowser::forwardAvailable, m_forward, &QPushButton::setEnabled);
    connect(m_contents, &QPushButton::toggled, m_tree, &QWidget::setVisible);
    connect(m_browser, &QTextBrowser::anchorClicked, this, &HelpWindow::openLink);
    connect(m_browser, &QTextBrowser::sourceChanged, this, &HelpWindow::followSource);
    connect(m_tree, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem *item) {
        const QString target = item->data(0, TargetRole).toString();
        if (!target.isEmpty())
            showHelp(target);
    });
    connect(m_tree, &QTreeWidget::itemClicked, m_tree, &QTreeWidget::itemActivated);
    restoreState();
}

HelpWindow::~HelpWindow() = default;

QString HelpWindow::pageFor(const QWidget *window)
{
    return window ? QString::fromLatin1(window->metaObject()->className()) + QStringLiteral(".htm") : QString();
}

void HelpWindow::showHelp(const QString &page)
{
    if (m_root.isEmpty()) {
        m_browser->setHtml(HelpLocation::notFoundText(HelpLocation::expectedFolder(QCoreApplication::applicationDirPath())));
        setWindowTitle(QStringLiteral("Chronode Help"));
    } else {
        const HelpLocation::Target target = HelpLocation::resolve(m_root, QString(), page);
        m_browser->setSource(target.url());
    }
    // Over a modal dialog the viewer must be modal too, or the dialog would block it.
    QWidget *modal = QApplication::activeModalWidget();
    const Qt::WindowModality wanted = modal && modal != this ? Qt::ApplicationModal : Qt::NonModal;
    if (windowModality() != wanted) {
        hide();
        setWindowModality(wanted);
    }
    show();
    raise();
    activateWindow();
}

void HelpWindow::openLink(const QUrl &link)
{
    if (m_root.isEmpty())
        return;
    const QString from = m_browser->source().toLocalFile();
    const HelpLocation::Target target = HelpLocation::resolve(m_root, from, link.toString());
    if (!target.external)
        m_browser->setSource(target.url());
}

void HelpWindow::followSource(const QUrl &url)
{
    const QString title = m_browser->documentTitle().trimmed();
    setWindowTitle(title.isEmpty() ? QStringLiteral("Chronode Help") : QStringLiteral("Chronode Help - %1").arg(title));
    const QString relative = QDir(m_root).relativeFilePath(url.toLocalFile());
    for (QTreeWidgetItemIterator it(m_tree); *it; ++it) {
        if ((*it)->data(0, TargetRole).toString().compare(relative, Qt::CaseInsensitive) == 0) {
            const QSignalBlocker block(m_tree);
            m_tree->setCurrentItem(*it);
            break;
        }
    }
}

void HelpWindow::restoreState()
{
    QSettings settings;
    const QByteArray geometry = settings.value(kGeometry).toByteArray();
    if (!geometry.isEmpty())
        restoreGeometry(geometry);
    const QByteArray splitter = settings.value(kSplitter).toByteArray();
    if (!splitter.isEmpty())
        m_splitter->restoreState(splitter);
    const bool shown = settings.value(kContentsShown, true).toBool();
    m_contents->setChecked(shown);
    m_tree->setVisible(shown);
}

void HelpWindow::saveState()
{
    QSettings settings;
    settings.setValue(kGeometry, saveGeometry());
    settings.setValue(kSplitter, m_splitter->saveState());
    settings.setValue(kContentsShown, m_contents->isChecked());
}

void HelpWindow::closeEvent(QCloseEvent *event)
{
    saveState();
    QWidget::closeEvent(event);
}
