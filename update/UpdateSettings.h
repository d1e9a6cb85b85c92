#pragma once

#include <QString>

class QSettings;

// The settings of the update check (group "Updates"). Missing or unusable values take their
// defaults, which are written back when loaded.
struct UpdateSettings
{
    static constexpr qint64 CheckIntervalS = 86400;

    static QString defaultHost();
    static QString defaultManifestUrl();

    QString host;              // "Updates/Host": the only server updates come from
    QString manifestUrl;       // "Updates/ManifestUrl"
    bool autoCheck = true;     // "Updates/AutoCheck"
    QString dismissedVersion;  // "Updates/DismissedVersion"
    qint64 lastCheck = 0;      // "Updates/LastCheck", seconds since the epoch
    // "Updates/RequireSignature": kept and repaired like the others, but on Linux the signed
    // manifest is always required; no setting turns the signature check off.
    bool requireSignature = true;

    static UpdateSettings load(QSettings &settings);
    static void storeLastCheck(QSettings &settings, qint64 secondsSinceEpoch);
    static void storeDismissedVersion(QSettings &settings, const QString &version);
    static void storeAutoCheck(QSettings &settings, bool on);

    // An automatic check is due when none succeeded yet, the last one is a day or more old,
    // or it lies in the future (the clock was set back).
    bool checkDue(qint64 nowSecondsSinceEpoch) const;
};
