// The help viewer: pages, back and forward, the missing-page and missing-help cases, F1.

#include "app/ui/MainWindow.h"
#include "core/ui/MessageBoxes.h"
#include "help/HelpLocation.h"
#include "help/ui/HelpWindow.h"
#include "support/TestSupport.h"

#include <QDialog>
#include <QPushButton>
#include <QTextBrowser>
#include <QTreeWidget>
#include <QtTest>

class TestHelpWindow : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void navigation();
    void missingHelpFolder();
    void everyWindowHasItsPage();

private:
    QString page(const char *name) const { return QFileInfo(m_dir.filePath(QLatin1String(name))).canonicalFilePath(); }
    QTemporaryDir m_dir;
};

void TestHelpWindow::initTestCase()
{
    MessageBoxes::setHandler([](const MessageBoxes::Box &) { return QMessageBox::Ok; });
    const QList<QPair<const char *, QByteArray>> files = {
        { "index.htm", "<html><head><title>Index</title></head><body>index</body></html>" },
        { "Alpha.htm", "<html><head><title>Alpha</title></head><body><a href=\"beta.HTM#end\">b</a></body></html>" },
        { "Beta.htm", "<html><head><title>Beta</title></head><body><p id=\"end\">b</p></body></html>" },
        { "Table of Contents.hhc", "<UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"Start\">"
                                   "<param name=\"Local\" value=\"index.htm\"></OBJECT><UL><LI><OBJECT type=\"text/sitemap\">"
                                   "<param name=\"Name\" value=\"Second\"><param name=\"Local\" value=\"Beta.htm\">"
                                   "</OBJECT></UL></UL>" },
    };
    for (const auto &[name, bytes] : files) {
        QFile f(m_dir.filePath(QLatin1String(name)));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
}

void TestHelpWindow::navigation()
{
    TestSupport::TemporarySettings settings;
    HelpWindow w(nullptr, m_dir.path());
    QTreeWidget *tree = w.contentsTree();
    QCOMPARE(tree->topLevelItemCount(), 1);
    QCOMPARE(tree->topLevelItem(0)->child(0)->text(0), QStringLiteral("Second"));

    w.showHelp(QStringLiteral("Alpha.htm"));
    QCOMPARE(w.browser()->source().toLocalFile(), page("Alpha.htm"));
    QCOMPARE(w.windowTitle(), QStringLiteral("Chronode Help - Alpha"));
    const QList<QPushButton *> buttons = w.findChildren<QPushButton *>();
    QPushButton *backButton = nullptr, *forwardButton = nullptr, *contents = nullptr;
    for (QPushButton *b : buttons) {
        if (b->text() == QLatin1String("< Back"))
            backButton = b;
        else if (b->text() == QLatin1String("Forward >"))
            forwardButton = b;
        else if (b->text() == QLatin1String("Contents"))
            contents = b;
    }
    QVERIFY(backButton && forwardButton && contents);

    // A link written in another letter case, with an anchor.
    emit w.browser()->anchorClicked(QUrl(QStringLiteral("beta.HTM#end")));
    QCOMPARE(w.browser()->source(), QUrl::fromLocalFile(page("Beta.htm")).resolved(QUrl(QStringLiteral("#end"))));
    QCOMPARE(w.windowTitle(), QStringLiteral("Chronode Help - Beta"));
    QVERIFY(backButton->isEnabled());
    QVERIFY(!forwardButton->isEnabled());
    backButton->click();
    QCOMPARE(w.browser()->source().toLocalFile(), page("Alpha.htm"));
    QVERIFY(forwardButton->isEnabled());
    forwardButton->click();
    QCOMPARE(w.browser()->source().toLocalFile(), page("Beta.htm"));

    // A missing page shows the index; a contents entry shows its page.
    w.showHelp(QStringLiteral("Gamma.htm"));
    QCOMPARE(w.browser()->source().toLocalFile(), page("index.htm"));
    emit tree->itemClicked(tree->topLevelItem(0)->child(0), 0);
    QCOMPARE(w.browser()->source().toLocalFile(), page("Beta.htm"));
    QCOMPARE(tree->currentItem(), tree->topLevelItem(0)->child(0));

    // The contents pane's state outlives the window.
    contents->click();
    QVERIFY(tree->isHidden());
    w.close();
    QCOMPARE(QSettings().value(QStringLiteral("HelpWindow/contentsShown")).toBool(), false);
    HelpWindow again(nullptr, m_dir.path());
    QVERIFY(again.contentsTree()->isHidden());
}

void TestHelpWindow::missingHelpFolder()
{
    TestSupport::TemporarySettings settings;
    HelpWindow w(nullptr, m_dir.filePath(QStringLiteral("no such folder")));
    w.showHelp(QStringLiteral("Alpha.htm"));
    const QString expected = QDir::toNativeSeparators(QCoreApplication::applicationDirPath() + QStringLiteral("/help/Web"));
    QCOMPARE(w.browser()->toPlainText(),
             QStringLiteral("Help pages not found\nChronode looked for its help pages in:\n%1\nThey are installed with the "
                            "program. If this copy was built from source, copy the help folder beside the executable.")
                 .arg(expected));
}

void TestHelpWindow::everyWindowHasItsPage()
{
    // The build tree's copy of the pages sits beside the test programs, as beside the program.
    const QString root = HelpLocation::findRoot(QCoreApplication::applicationDirPath());
    QVERIFY(!root.isEmpty());
    TestSupport::TemporarySettings settings;
    MainWindow main;
    main.setReceiverConnector([] {});
    QList<QWidget *> windows = { &main };
    for (QDialog *d : main.findChildren<QDialog *>())
        windows << d;
    for (QWidget *window : windows) {
        const auto t = HelpLocation::resolve(root, QString(), HelpWindow::pageFor(window));
        QVERIFY2(t.found, qPrintable(HelpWindow::pageFor(window)));
    }

    // F1 in a window opens its page.
    QDialog *raw = main.findChild<QDialog *>(QStringLiteral("GpsRawDataDialog"));
    QVERIFY(raw);
    raw->show();
    QTest::keyClick(raw, Qt::Key_F1);
    HelpWindow *help = nullptr;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *h = qobject_cast<HelpWindow *>(w))
            help = h;
    QVERIFY(help && help->isVisible());
    QCOMPARE(QFileInfo(help->browser()->source().toLocalFile()).fileName(), QStringLiteral("GpsRawDataDialog.htm"));
}

QTEST_MAIN(TestHelpWindow)
#include "tst_ui_helpwindow.moc"
