#include "update/UpdateSettings.h"

#include <QSettings>
#include <QUrl>

namespace {

const QString kHost = QStringLiteral("Updates/Host");
const QString kManifestUrl = QStringLiteral("Updates/ManifestUrl");
const QString kAutoCheck = QStringLiteral("Updates/AutoCheck");
const QString kDismissed = QStringLiteral("Updates/DismissedVersion");
const QString kLastCheck = QStringLiteral("Updates/LastCheck");
const QString kRequireSignature = QStringLiteral("Updates/RequireSignature");

bool readBool(QSettings &settings, const QString &key, bool fallback)
{
    const QVariant v = settings.value(key);
    const QString text = v.toString().trimmed().toLower();
    if (text == QLatin1String("true") || text == QLatin1String("1"))
        return true;
    if (text == QLatin1String("false") || text == QLatin1String("0"))
        return false;
    settings.setValue(key, fallback);
    return fallback;
}

} // namespace

QString UpdateSettings::defaultHost()
{
    return QStringLiteral("updates.ktw-systems.example");
}

QString UpdateSettings::defaultManifestUrl()
{
    return QStringLiteral("https://%1/sw_distribution/chronode/manifest.json").arg(defaultHost());
}

UpdateSettings UpdateSettings::load(QSettings &settings)
{
    UpdateSettings s;
    s.host = settings.value(kHost).toString().trimmed().toLower();
    const QUrl hostProbe(QStringLiteral("https://") + s.host + QLatin1Char('/'), QUrl::StrictMode);
    if (s.host.isEmpty() || !hostProbe.isValid() || hostProbe.host() != s.host) {
        s.host = defaultHost();
        settings.setValue(kHost, s.host);
    }
    s.manifestUrl = settings.value(kManifestUrl).toString().trimmed();
    const QUrl manifest(s.manifestUrl, QUrl::StrictMode);
    if (s.manifestUrl.isEmpty() || !manifest.isValid() || manifest.isRelative()) {
        s.manifestUrl = defaultManifestUrl();
        settings.setValue(kManifestUrl, s.manifestUrl);
    }
    s.autoCheck = readBool(settings, kAutoCheck, true);
    if (!settings.contains(kDismissed))
        settings.setValue(kDismissed, QString());
    s.dismissedVersion = settings.value(kDismissed).toString().trimmed();
    bool ok = false;
    s.lastCheck = settings.value(kLastCheck).toLongLong(&ok);
    if (!ok) {
        s.lastCheck = 0;
        settings.setValue(kLastCheck, 0);
    }
    s.requireSignature = readBool(settings, kRequireSignature, true);
    return s;
}

void UpdateSettings::storeLastCheck(QSettings &settings, qint64 secondsSinceEpoch)
{
    settings.setValue(kLastCheck, secondsSinceEpoch);
}

void UpdateSettings::storeDismissedVersion(QSettings &settings, const QString &version)
{
    settings.setValue(kDismissed, version);
}

void UpdateSettings::storeAutoCheck(QSettings &settings, bool on)
{
    settings.setValue(kAutoCheck, on);
}

bool UpdateSettings::checkDue(qint64 now) const
{
    return lastCheck <= 0 || now - lastCheck >= CheckIntervalS || lastCheck > now;
}
