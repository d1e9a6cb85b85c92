#pragma once

#include <QList>
#include <QString>

// The contents tree of the help pages, read from a compiled-help style contents file
// ("Table of Contents.hhc"): nested <UL> lists of <OBJECT type="text/sitemap"> entries whose
// <param name="Name"> is the title and <param name="Local"> the page.
struct HelpContentsItem
{
    QString title;
    QString target;   // page relative to the help folder; empty for a book without a page
    QList<HelpContentsItem> children;
};

namespace HelpContents {

// The file is read as a stream of tags, not line by line: several tags may share a line and one
// tag may span lines. An entry becomes an item when its object ends, so a book with a name and
// no page still appears; the pending title is cleared after each item. An opening <UL> nests
// under the item made last; a stray </UL> is ignored.
QList<HelpContentsItem> parse(const QString &text);
// The tree of a file; empty when it cannot be read.
QList<HelpContentsItem> parseFile(const QString &path);

// Every target in the tree, depth first.
QStringList targets(const QList<HelpContentsItem> &items);

} // namespace HelpContents
