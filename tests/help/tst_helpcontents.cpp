// The contents-file parser, link resolution inside the help folder, and the shipped pages.

#include "help/HelpContents.h"
#include "help/HelpLocation.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// "title=target" per item, children in brackets: a compact picture of the tree.
QString outline(const QList<HelpContentsItem> &items)
{
    QStringList parts;
    for (const HelpContentsItem &item : items)
        parts << item.title + QLatin1Char('=') + item.target
                     + (item.children.isEmpty() ? QString() : QLatin1Char('[') + outline(item.children) + QLatin1Char(']'));
    return parts.join(QLatin1Char(','));
}

QString entry(const char *name, const char *local)
{
    QString s = QStringLiteral("<LI><OBJECT type=\"text/sitemap\">");
    if (name)
        s += QStringLiteral("<param name=\"Name\" value=\"%1\">").arg(QLatin1String(name));
    if (local)
        s += QStringLiteral("<param name=\"Local\" value=\"%1\">").arg(QLatin1String(local));
    return s + QStringLiteral("</OBJECT>\n");
}

void write(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

} // namespace

class TestHelpContents : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void parse_data();
    void parse();
    void resolve_data();
    void resolve();
    void shippedPagesLinkOnlyToShippedPages();
};

void TestHelpContents::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("tree");
    QTest::newRow("nested three deep")
        << "<UL>\n" + entry("A", "a.htm") + "<UL>\n" + entry("B", "b.htm") + "<UL>\n" + entry("C", "c.htm")
               + "</UL>\n</UL>\n" + entry("D", "d.htm") + "</UL>\n"
        << "A=a.htm[B=b.htm[C=c.htm]],D=d.htm";
    QTest::newRow("book without a page") << "<UL>" + entry("Book", nullptr) + "<UL>" + entry("P", "p.htm") + "</UL></UL>"
                                         << "Book=[P=p.htm]";
    QTest::newRow("several tags on one line, one tag over two lines")
        << QStringLiteral("<ul><li><object type=\"text/sitemap\"><param name=\"Name\" value=\"One\"><param\n name=\"Local\" "
                          "value=\"1.htm\"></object><li><OBJECT><PARAM NAME=name VALUE='Two'><param name=\"local\" "
                          "value=\"2.htm\"></OBJECT></ul>")
        << "One=1.htm,Two=2.htm";
    QTest::newRow("page without a name, title not carried over")
        << entry("First", "1.htm") + entry(nullptr, "2.htm") << "First=1.htm,=2.htm";
    QTest::newRow("entity in a title") << entry("Set &amp; Go", "s.htm") << "Set & Go=s.htm";
    QTest::newRow("stray closing list") << "</UL>" + entry("A", "a.htm") + "</UL></UL>" << "A=a.htm";
    QTest::newRow("parameters outside an object") << QStringLiteral("<param name=\"Local\" value=\"x.htm\">") << "";
}

void TestHelpContents::parse()
{
    QFETCH(QString, text);
    QFETCH(QString, tree);
    QCOMPARE(outline(HelpContents::parse(text)), tree);
}

void TestHelpContents::resolve_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("file");     // relative to the root
    QTest::addColumn<QString>("fragment");
    QTest::addColumn<bool>("found");
    QTest::newRow("plain") << "" << "Page.htm" << "Page.htm" << "" << true;
    QTest::newRow("anchor") << "" << "Page.htm#part" << "Page.htm" << "part" << true;
    QTest::newRow("anchor on the same page") << "sub/Deep.htm" << "#top" << "sub/Deep.htm" << "top" << true;
    QTest::newRow("letter case") << "" << "SUB/deep.HTM" << "sub/Deep.htm" << "" << true;
    QTest::newRow("backslashes") << "" << "sub\\Deep.htm" << "sub/Deep.htm" << "" << true;
    QTest::newRow("relative to the page") << "sub/Deep.htm" << "../Page.htm" << "Page.htm" << "" << true;
    QTest::newRow("encoded blank") << "" << "Two%20Words.htm" << "Two Words.htm" << "" << true;
    QTest::newRow("out of the folder") << "" << "../outside.htm" << "index.htm" << "" << false;
    QTest::newRow("out through a folder") << "sub/Deep.htm" << "../../outside.htm" << "index.htm" << "" << false;
    QTest::newRow("absolute path outside") << "" << "file:///etc/hostname" << "index.htm" << "" << false;
    QTest::newRow("symbolic link out") << "" << "escape.htm" << "index.htm" << "" << false;
    QTest::newRow("missing page") << "" << "Nothing.htm" << "index.htm" << "" << false;
    QTest::newRow("a folder") << "" << "sub" << "index.htm" << "" << false;
}

void TestHelpContents::resolve()
{
    QFETCH(QString, from);
    QFETCH(QString, link);
    QFETCH(QString, file);
    QFETCH(QString, fragment);
    QFETCH(bool, found);
    QTemporaryDir outer;
    const QString root = outer.filePath(QStringLiteral("help"));
    for (const char *name : { "index.htm", "Page.htm", "sub/Deep.htm", "Two Words.htm" })
        write(root + QLatin1Char('/') + QLatin1String(name), "<html></html>");
    write(outer.filePath(QStringLiteral("outside.htm")), "secret");
    QVERIFY(QFile::link(outer.filePath(QStringLiteral("outside.htm")), root + QStringLiteral("/escape.htm")));
    const QString canonical = QFileInfo(root).canonicalFilePath();

    const HelpLocation::Target t = HelpLocation::resolve(root, from.isEmpty() ? QString() : canonical + QLatin1Char('/') + from, link);
    QCOMPARE(t.filePath, canonical + QLatin1Char('/') + file);
    QCOMPARE(t.found, found);
    if (found)
        QCOMPARE(t.fragment, fragment);
    QVERIFY(!t.external);
    QVERIFY(HelpLocation::resolve(root, QString(), QStringLiteral("https://example.org/")).external);
}

void TestHelpContents::shippedPagesLinkOnlyToShippedPages()
{
    const QString root = QStringLiteral(CHRONODE_SOURCE_DIR "/help/pages");
    const QString canonical = QFileInfo(root).canonicalFilePath();
    const QStringList listed = HelpContents::targets(HelpContents::parseFile(root + QStringLiteral("/Table of Contents.hhc")));
    QVERIFY(listed.size() > 20);

    QSet<QString> reached;
    for (const QString &target : listed) {
        const HelpLocation::Target t = HelpLocation::resolve(root, QString(), target);
        QVERIFY2(t.found, qPrintable(QStringLiteral("contents entry %1").arg(target)));
        reached.insert(t.filePath);
    }
    static const QRegularExpression href(QStringLiteral(R"re(href\s*=\s*"([^"]*)")re"), QRegularExpression::CaseInsensitiveOption);
    const QStringList pages = QDir(root).entryList({ QStringLiteral("*.htm") }, QDir::Files);
    for (const QString &page : pages) {
        const QString path = canonical + QLatin1Char('/') + page;
        QVERIFY2(reached.contains(path), qPrintable(page + QStringLiteral(" is not in the contents")));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString html = QString::fromUtf8(f.readAll());
        QVERIFY2(html.contains(QLatin1String("<title>")), qPrintable(page));
        for (auto it = href.globalMatch(html); it.hasNext();) {
            const QString link = it.next().captured(1);
            const HelpLocation::Target t = HelpLocation::resolve(root, path, link);
            QVERIFY2(t.found && !t.external, qPrintable(QStringLiteral("%1 links to %2").arg(page, link)));
            if (!t.fragment.isEmpty()) {
                QFile target(t.filePath);
                QVERIFY(target.open(QIODevice::ReadOnly));
                QVERIFY2(target.readAll().contains("id=\"" + t.fragment.toUtf8() + "\""),
                         qPrintable(QStringLiteral("%1 links to the missing anchor %2").arg(page, link)));
            }
        }
    }
}

QTEST_GUILESS_MAIN(TestHelpContents)
#include "tst_helpcontents.moc"
