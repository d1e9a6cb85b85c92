#include "help/HelpLocation.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace HelpLocation {

QStringList candidateFolders(const QString &programDir)
{
    QStringList folders = { QDir(programDir).filePath(QStringLiteral("help/Web")),
                            QDir::cleanPath(programDir + QStringLiteral("/../share/chronode/help")) };
    folders += QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, QStringLiteral("chronode/help"),
                                         QStandardPaths::LocateDirectory);
    return folders;
}

QString findRoot(const QString &programDir)
{
    for (const QString &folder : candidateFolders(programDir)) {
        const QDir dir(folder);
        if (dir.exists(QString::fromLatin1(ContentsFile)) || dir.exists(QString::fromLatin1(IndexPage)))
            return QFileInfo(folder).canonicalFilePath();
    }
    return {};
}

QString expectedFolder(const QString &programDir)
{
    return QDir::toNativeSeparators(QDir(programDir).absoluteFilePath(QStringLiteral("help/Web")));
}

QString notFoundText(const QString &expectedFolder)
{
    return QStringLiteral("<h3>Help pages not found</h3><p>Chronode looked for its help pages in:</p><p><b>%1</b></p>"
                          "<p>They are installed with the program. If this copy was built from source, copy the "
                          "<i>help</i> folder beside the executable.</p>")
        .arg(expectedFolder.toHtmlEscaped());
}

QUrl Target::url() const
{
    QUrl u = QUrl::fromLocalFile(filePath);
    if (!fragment.isEmpty())
        u.setFragment(fragment);
    return u;
}

namespace {

// The entry of dir named like name in any letter case; an exact match wins.
QString matchEntry(const QDir &dir, const QString &name)
{
    if (dir.exists(name))
        return name;
    const QStringList entries = dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    for (const QString &entry : entries) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return entry;
    }
    return {};
}

} // namespace

Target resolve(const QString &root, const QString &fromFile, const QString &link)
{
    Target t;
    const QString canonicalRoot = QFileInfo(root).canonicalFilePath();
    const QString index = QDir(canonicalRoot).filePath(QString::fromLatin1(IndexPage));
    t.filePath = index;

    QString text = link.trimmed();
    text.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const QUrl asUrl(text);
    const QString scheme = asUrl.scheme().toLower();
    if (!scheme.isEmpty() && scheme != QLatin1String("file") && scheme.size() > 1) {
        t.external = true;
        return t;
    }
    QString path = text;
    if (scheme == QLatin1String("file"))
        path = asUrl.toLocalFile() + (asUrl.hasFragment() ? QLatin1Char('#') + asUrl.fragment() : QString());
    const qsizetype hash = path.indexOf(QLatin1Char('#'));
    if (hash >= 0) {
        t.fragment = path.mid(hash + 1);
        path.truncate(hash);
    }
    path = QUrl::fromPercentEncoding(path.toUtf8());
    if (canonicalRoot.isEmpty())
        return t;

    QString relative;
    if (path.isEmpty()) {
        if (fromFile.isEmpty())
            return t;
        relative = QDir(canonicalRoot).relativeFilePath(fromFile);
    } else if (QDir::isAbsolutePath(path)) {
        relative = QDir(canonicalRoot).relativeFilePath(path);
    } else {
        const QString fromDir = fromFile.isEmpty() ? canonicalRoot : QFileInfo(fromFile).absolutePath();
        relative = QDir(canonicalRoot).relativeFilePath(QDir(fromDir).filePath(path));
    }
    relative = QDir::cleanPath(relative);
    if (relative.isEmpty() || relative == QLatin1String(".") || relative.startsWith(QLatin1String("../"))
        || relative == QLatin1String("..") || QDir::isAbsolutePath(relative))
        return t;

    QDir dir(canonicalRoot);
    const QStringList parts = relative.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (int i = 0; i < parts.size(); ++i) {
        const QString entry = matchEntry(dir, parts[i]);
        if (entry.isEmpty())
            return t;
        if (i + 1 < parts.size() && !dir.cd(entry))
            return t;
        if (i + 1 == parts.size()) {
            const QFileInfo info(dir.filePath(entry));
            // A symbolic link out of the folder is refused like a path out of it.
            const QString canonical = info.canonicalFilePath();
            if (!info.isFile() || !canonical.startsWith(canonicalRoot + QLatin1Char('/')))
                return t;
            t.filePath = canonical;
            t.found = true;
        }
    }
    return t;
}

} // namespace HelpLocation
