#include "help/HelpContents.h"

#include <QFile>
#include <QRegularExpression>

namespace HelpContents {

namespace {

QString attribute(const QString &attributes, const QString &name)
{
    static const QRegularExpression re(QStringLiteral(R"re(([A-Za-z_:-]+)\s*=\s*(?:"([^"]*)"|'([^']*)'|([^\s"'>]+)))re"));
    for (auto it = re.globalMatch(attributes); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        if (m.captured(1).compare(name, Qt::CaseInsensitive) == 0) {
            QString v = m.captured(2) + m.captured(3) + m.captured(4);
            v.replace(QLatin1String("&lt;"), QLatin1String("<"));
            v.replace(QLatin1String("&gt;"), QLatin1String(">"));
            v.replace(QLatin1String("&quot;"), QLatin1String("\""));
            v.replace(QLatin1String("&#39;"), QLatin1String("'"));
            v.replace(QLatin1String("&amp;"), QLatin1String("&"));
            return v;
        }
    }
    return {};
}

} // namespace

QList<HelpContentsItem> parse(const QString &text)
{
    QList<HelpContentsItem> top;
    // Path of indices from the top to the list that receives new items; the item made last is
    // remembered as a path too, so an opening <UL> can nest under it.
    QList<int> open;          // the current level's owner, as indices; empty: top level
    QList<QList<int>> stack;  // owners of the enclosing levels
    QList<int> lastMade;
    bool haveLast = false;
    bool inObject = false;
    QString title, target;

    const auto listAt = [&top](const QList<int> &path) -> QList<HelpContentsItem> & {
        QList<HelpContentsItem> *list = &top;
        for (int i : path)
            list = &(*list)[i].children;
        return *list;
    };

    static const QRegularExpression tag(QStringLiteral(R"(<\s*(/?)\s*([A-Za-z]+)([^>]*)>)"));
    for (auto it = tag.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const bool closing = !m.captured(1).isEmpty();
        const QString name = m.captured(2).toLower();
        if (name == QLatin1String("ul")) {
            if (!closing) {
                stack.append(open);
                // Nest under the item made last when it sits in the current level; otherwise
                // the new level belongs to the current level's owner.
                if (haveLast && lastMade.size() == open.size() + 1 && lastMade.mid(0, open.size()) == open)
                    open = lastMade;
            } else if (!stack.isEmpty()) {
                open = stack.takeLast();
            }
        } else if (name == QLatin1String("object")) {
            if (!closing) {
                inObject = true;
                title.clear();
                target.clear();
            } else if (inObject) {
                QList<HelpContentsItem> &list = listAt(open);
                list.append({ title, target, {} });
                lastMade = open;
                lastMade.append(int(list.size()) - 1);
                haveLast = true;
                inObject = false;
                title.clear();
                target.clear();
            }
        } else if (name == QLatin1String("param") && inObject) {
            const QString param = attribute(m.captured(3), QStringLiteral("name"));
            if (param.compare(QLatin1String("Name"), Qt::CaseInsensitive) == 0)
                title = attribute(m.captured(3), QStringLiteral("value"));
            else if (param.compare(QLatin1String("Local"), Qt::CaseInsensitive) == 0)
                target = attribute(m.captured(3), QStringLiteral("value"));
        }
    }
    return top;
}

QList<HelpContentsItem> parseFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return parse(QString::fromUtf8(f.read(4 * 1024 * 1024)));
}

QStringList targets(const QList<HelpContentsItem> &items)
{
    QStringList out;
    for (const HelpContentsItem &item : items) {
        if (!item.target.isEmpty())
            out.append(item.target);
        out += targets(item.children);
    }
    return out;
}

} // namespace HelpContents
