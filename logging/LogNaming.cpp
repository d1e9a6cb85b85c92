#include "logging/LogNaming.h"

#include <QDir>
#include <QRegularExpression>

namespace LogNaming {

QString defaultDirectory()
{
#ifdef Q_OS_WIN
    return QStringLiteral("C:/ChronodeData");
#else
    return QDir::homePath() + QStringLiteral("/ChronodeData");
#endif
}

QString cutBase(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const QString dir = path.left(slash + 1);
    QString name = path.mid(slash + 1);
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    if (dot >= 0)
        name.truncate(dot);
    // This program's names first, then those of files written with the day-only stamp.
    static const QRegularExpression stamps[] = {
        QRegularExpression(QStringLiteral("_\\d\\d\\d\\d_\\d\\d\\d[AT]_PORT_")),
        QRegularExpression(QStringLiteral("_\\d\\d\\d\\d_\\d\\d\\d[CG]")),
        QRegularExpression(QStringLiteral("_\\d\\d\\d\\d[AT]_PORT_")),
        QRegularExpression(QStringLiteral("_\\d\\d\\d\\d[CG]")),
    };
    for (const QRegularExpression &re : stamps) {
        const QRegularExpressionMatch m = re.match(name);
        if (m.hasMatch())
            name.truncate(m.capturedStart());
    }
    return dir + name;
}

QString prefixOf(const QString &path)
{
    const QString base = cutBase(path);
    return base.mid(base.lastIndexOf(QLatin1Char('/')) + 1);
}

QString dayStamp(const QDate &date)
{
    return QString::asprintf("_%04d_%03d", date.year(), date.dayOfYear());
}

QString counterExtension(int style)
{
    switch (style) {
    case 0: return QStringLiteral(".prn");
    case 2: return QStringLiteral(".txt");
    default: return QStringLiteral(".csv");
    }
}

QString counterTimeFile(const QString &base, const QDate &date, int port, int style)
{
    return base + dayStamp(date) + QString::asprintf("T_PORT_%02d", port) + counterExtension(style);
}

QString counterAverageFile(const QString &base, const QDate &date, int port, int style)
{
    return base + dayStamp(date) + QString::asprintf("A_PORT_%02d", port) + counterExtension(style);
}

QString counterConfigFile(const QString &base, const QDate &date)
{
    return base + dayStamp(date) + QStringLiteral("C.txt");
}

QStringList counterSet(const QString &base, const QDate &date, int style)
{
    QStringList files { counterConfigFile(base, date) };
    for (int port = 1; port <= 8; ++port) {
        files << counterTimeFile(base, date, port, style);
        files << counterAverageFile(base, date, port, style);
    }
    return files;
}

QString gpsExtension(int type, bool rinexObservation)
{
    switch (type) {
    case 1: return QStringLiteral(".bin");
    case 2: return QStringLiteral(".csv");
    case 4: return rinexObservation ? QStringLiteral(".obs") : QStringLiteral(".bin");
    default: return QStringLiteral(".txt");
    }
}

QString gpsFile(const QString &base, const QDate &date, int type, bool rinexObservation)
{
    return base + dayStamp(date) + QLatin1Char('G') + gpsExtension(type, rinexObservation);
}

} // namespace LogNaming
