#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <QVersionNumber>

// The published update manifest, the checksum file beside the download and the rules every
// URL of an update must pass. Pure functions: no network, no files.
namespace UpdateRules {

// Manifests, signatures and checksum files are small; anything larger is refused unread.
constexpr qint64 MaxSmallFileBytes = 262144;

struct Manifest
{
    QString latestVersion;
    QUrl downloadUrl;
    QString releaseNotes;
    QByteArray sha256;      // 64 lower-case hex digits of the download, from the signed manifest
    QUrl infoUrl;           // where the release is described; the download URL when absent
};

// Parses a manifest. Returns an empty string and fills manifest, or the user-facing error.
// configuredHost is the update host every URL must name.
QString parseManifest(const QByteArray &bytes, const QString &configuredHost, Manifest &manifest);

// An empty string when the URL may be fetched for an update from configuredHost, otherwise
// why not. The parsed URL is judged: scheme https (plain http only to this machine), no user
// name or password, and the host equal to the configured one.
QString urlProblem(const QUrl &url, const QString &configuredHost);
bool isAcceptableUrl(const QUrl &url, const QString &configuredHost);

// The 64 hex digits of a checksum file in lower case, or an empty array when the file is not
// one SHA-256 digest (blanks, tabs and line ends may lead; anything may follow the digits).
QByteArray parseChecksumFile(const QByteArray &bytes);

// Whether the manifest's version is newer than the installed one (dotted numeric order).
bool isNewer(const QString &latest, const QString &installed);

// File name for the downloaded file: the last path part of the URL, or a fixed name when that
// part is empty, "." or "..", or holds a character that is unsafe in a file name.
QString downloadFileName(const QUrl &url);
inline constexpr const char *FallbackFileName = "Chronode-update";

} // namespace UpdateRules
