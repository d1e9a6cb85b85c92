#include "update/UpdateManifest.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

namespace UpdateRules {

namespace {

bool isLoopbackHost(const QString &host)
{
    return host == QLatin1String("127.0.0.1") || host == QLatin1String("localhost") || host == QLatin1String("::1");
}

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

} // namespace

QString urlProblem(const QUrl &url, const QString &configuredHost)
{
    if (!url.isValid() || url.isRelative())
        return QStringLiteral("it is not a complete URL");
    const QString scheme = url.scheme().toLower();
    const QString host = url.host().toLower();
    if (scheme != QLatin1String("https") && !(scheme == QLatin1String("http") && isLoopbackHost(host)))
        return QStringLiteral("it is not https");
    if (!url.userInfo().isEmpty())
        return QStringLiteral("it carries a user name or password");
    if (host.isEmpty() || host != configuredHost.trimmed().toLower())
        return QStringLiteral("its host %1 is not the update server %2").arg(host, configuredHost);
    return {};
}

bool isAcceptableUrl(const QUrl &url, const QString &configuredHost)
{
    return urlProblem(url, configuredHost).isEmpty();
}

QString parseManifest(const QByteArray &bytes, const QString &configuredHost, Manifest &manifest)
{
    if (bytes.size() > MaxSmallFileBytes)
        return QStringLiteral("The file from the update server is unreasonably large.");
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        const QString why = error.error != QJsonParseError::NoError ? error.errorString()
                                                                     : QStringLiteral("not an object");
        return QStringLiteral("The update manifest is not valid JSON (%1).").arg(why);
    }
    const QJsonObject o = doc.object();
    Manifest m;
    m.latestVersion = o.value(QLatin1String("latest_version")).toString().trimmed();
    if (m.latestVersion.isEmpty() || QVersionNumber::fromString(m.latestVersion).isNull())
        return QStringLiteral("The update manifest has no latest_version.");
    const QString url = o.value(QLatin1String("download_url")).toString().trimmed();
    if (url.isEmpty())
        return QStringLiteral("The update manifest has no download_url.");
    m.downloadUrl = QUrl(url, QUrl::StrictMode);
    const QString problem = urlProblem(m.downloadUrl, configuredHost);
    if (problem == QLatin1String("it is not https") || !m.downloadUrl.isValid())
        return QStringLiteral("The update manifest's download_url is not https.");
    if (!problem.isEmpty())
        return QStringLiteral("The update manifest's download_url is refused: %1.").arg(problem);
    m.releaseNotes = o.value(QLatin1String("release_notes")).toString();
    m.sha256 = parseChecksumFile(o.value(QLatin1String("sha256")).toString().toLatin1());
    if (m.sha256.isEmpty())
        return QStringLiteral("The update manifest has no valid sha256.");
    const QString info = o.value(QLatin1String("info_url")).toString().trimmed();
    m.infoUrl = info.isEmpty() ? m.downloadUrl : QUrl(info, QUrl::StrictMode);
    if (!isAcceptableUrl(m.infoUrl, configuredHost))
        m.infoUrl = m.downloadUrl;
    manifest = m;
    return {};
}

QByteArray parseChecksumFile(const QByteArray &bytes)
{
    if (bytes.size() > MaxSmallFileBytes)
        return {};
    qsizetype i = 0;
    while (i < bytes.size() && (bytes[i] == ' ' || bytes[i] == '\t' || bytes[i] == '\r' || bytes[i] == '\n'))
        ++i;
    const qsizetype start = i;
    while (i < bytes.size() && isHexDigit(bytes[i]))
        ++i;
    if (i - start != 64)
        return {};
    return bytes.mid(start, 64).toLower();
}

bool isNewer(const QString &latest, const QString &installed)
{
    return QVersionNumber::compare(QVersionNumber::fromString(latest.trimmed()),
                                   QVersionNumber::fromString(installed.trimmed())) > 0;
}

QString downloadFileName(const QUrl &url)
{
    // The last part of the path as sent, then decoded: an encoded slash stays inside the name.
    const QString name = QUrl::fromPercentEncoding(url.path(QUrl::FullyEncoded).section(QLatin1Char('/'), -1).toLatin1());
    bool unsafe = name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..");
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || QStringLiteral("\"*/:<>?\\|").contains(c))
            unsafe = true;
    }
    return unsafe ? QString::fromLatin1(FallbackFileName) : name;
}

} // namespace UpdateRules
