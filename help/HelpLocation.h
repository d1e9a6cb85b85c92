#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

// Where the help pages are and how a link between them is followed. A link never leaves the
// help folder: it is cut at "#", backslashes become slashes, each part of its path matches a
// file or folder of any letter case, and a link that leads outside or to nothing shows the
// index page instead.
namespace HelpLocation {

inline constexpr const char *ContentsFile = "Table of Contents.hhc";
inline constexpr const char *IndexPage = "index.htm";

// Folders searched in order: "help/Web" beside the program (also the build tree's copy),
// "../share/chronode/help" above it (an installed program), then "chronode/help" in the
// system's data folders.
QStringList candidateFolders(const QString &programDir);
// The first candidate that holds a contents file or an index page; empty when none does.
QString findRoot(const QString &programDir);
// The folder named when no help is found: "help/Web" beside the program, native separators.
QString expectedFolder(const QString &programDir);
// The rich text shown when the help pages are missing.
QString notFoundText(const QString &expectedFolder);

struct Target
{
    QString filePath;   // absolute path of an existing page inside the root
    QString fragment;   // anchor within the page, without "#"
    bool external = false;   // a link to another scheme (http, mailto): not followed
    bool found = false;      // false: filePath is the index page in place of a missing one
    QUrl url() const;
};

// Follows link from the page fromFile (absolute, inside root; empty: from the root itself).
Target resolve(const QString &root, const QString &fromFile, const QString &link);

} // namespace HelpLocation
