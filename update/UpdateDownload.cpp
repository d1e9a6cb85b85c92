#include "update/UpdateDownload.h"

#include "update/UpdateManifest.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTimer>

UpdateDownload::UpdateDownload(QNetworkAccessManager *network, QObject *parent)
    : QObject(parent), m_network(network), m_verifier(this), m_downloadFolder(defaultDownloadFolder())
{
    connect(&m_verifier, &SignatureVerifier::finished, this, &UpdateDownload::onSignature);
}

UpdateDownload::~UpdateDownload()
{
    m_fetch.reset();
    m_file.close();
}

QString UpdateDownload::defaultDownloadFolder()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    if (folder.isEmpty())
        folder = QDir::homePath();
    return folder;
}

void UpdateDownload::setLimits(const UpdateFetch::Limits &small, int transferTimeoutMs)
{
    m_smallLimits = small;
    m_transferTimeoutMs = transferTimeoutMs;
}

void UpdateDownload::renewFetch()
{
    if (m_fetch)
        m_fetch.release()->deleteLater();
    m_fetch = std::make_unique<UpdateFetch>(m_network, m_check.host);
}

void UpdateDownload::start(const UpdateCheck::Result &check)
{
    if (m_running)
        return;
    m_running = true;
    m_check = check;
    m_downloadSha256.clear();
    m_publishedSha256.clear();
    m_work = std::make_unique<QTemporaryDir>();   // created 0700: only this user reads it
    if (!m_work->isValid())
        return fail(QStringLiteral("Could not write to %1.").arg(QDir::tempPath()));
    m_file.setFileName(m_work->filePath(UpdateRules::downloadFileName(check.manifest.downloadUrl)));
    if (!m_file.open(QIODevice::WriteOnly))
        return fail(QStringLiteral("Could not write to %1.").arg(m_file.fileName()));

    emit status(QStringLiteral("Connecting to the update server..."));
    renewFetch();
    connect(m_fetch.get(), &UpdateFetch::progress, this, [this](qint64 received, qint64 total) {
        emit progress(received, total);
        emit status(total > 0 ? QStringLiteral("Downloading... %1 of %2 KB").arg(received / 1024).arg(total / 1024)
                              : QStringLiteral("Downloading... %1 KB").arg(received / 1024));
    });
    connect(m_fetch.get(), &UpdateFetch::finished, this, &UpdateDownload::onDownloaded);
    UpdateFetch::Limits limits;
    limits.maxBytes = MaxDownloadBytes;
    limits.transferTimeoutMs = m_transferTimeoutMs;
    limits.totalTimeoutMs = 0;   // a large file on a slow line may take long, as long as it moves
    m_fetch->start(check.manifest.downloadUrl, limits, &m_file);
}

void UpdateDownload::onDownloaded(const QString &error)
{
    if (!error.isEmpty())
        return fail(error);
    m_downloadSha256 = m_fetch->sha256Hex();
    if (!m_file.flush()) {
        return fail(QStringLiteral("Could not write to %1.").arg(m_file.fileName()));
    }
    m_file.close();
    renewFetch();
    connect(m_fetch.get(), &UpdateFetch::finished, this, &UpdateDownload::onChecksumFile);
    QUrl checksumUrl = m_check.manifest.downloadUrl;
    checksumUrl.setPath(checksumUrl.path() + QStringLiteral(".sha256"));
    m_fetch->start(checksumUrl, m_smallLimits);
}

void UpdateDownload::onChecksumFile(const QString &error)
{
    if (!error.isEmpty())
        return fail(error);
    m_publishedSha256 = UpdateRules::parseChecksumFile(m_fetch->body());
    if (m_publishedSha256.isEmpty())
        return fail(QStringLiteral("The published checksum file is not a SHA-256 digest."));
    emit status(QStringLiteral("Verifying the download..."));
    m_verifier.verify(m_check.manifestBytes, m_check.signature);
}

void UpdateDownload::onSignature(bool trusted, const QString &problem)
{
    if (!m_running)
        return;
    if (!trusted)
        return fail(QStringLiteral("The update manifest's signature was refused (%1), so the download has NOT been kept.").arg(problem));
    // Re-read the digest from the bytes gpgv just accepted, not from anything parsed before.
    UpdateRules::Manifest signedManifest;
    const QString parseError = UpdateRules::parseManifest(m_check.manifestBytes, m_check.host, signedManifest);
    if (!parseError.isEmpty())
        return fail(parseError);
    for (const QByteArray &expected : { signedManifest.sha256, m_publishedSha256 }) {
        if (expected != m_downloadSha256) {
            return fail(QStringLiteral("The downloaded file does not match its published checksum, so it has NOT been run.\n\n"
                                       "Expected %1\nGot      %2")
                            .arg(QString::fromLatin1(expected), QString::fromLatin1(m_downloadSha256)));
        }
    }
    QDir().mkpath(m_downloadFolder);
    const QString target = uniqueTarget(QFileInfo(m_file.fileName()).fileName());
    if (target.isEmpty() || !QFile::rename(m_file.fileName(), target))
        return fail(QStringLiteral("Could not write to %1.").arg(target.isEmpty() ? m_downloadFolder : target));
    // Readable and writable by the user only; never executable.
    QFile::setPermissions(target, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    m_work.reset();
    m_running = false;
    emit finished(true, target);
}

QString UpdateDownload::uniqueTarget(const QString &name) const
{
    const QDir dir(m_downloadFolder);
    if (!dir.exists(name))
        return dir.filePath(name);
    const QFileInfo info(name);
    const QString base = info.completeBaseName().isEmpty() ? name : info.completeBaseName();
    const QString suffix = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
    for (int i = 1; i < 100; ++i) {
        const QString candidate = QStringLiteral("%1 (%2)%3").arg(base).arg(i).arg(suffix);
        if (!dir.exists(candidate))
            return dir.filePath(candidate);
    }
    return {};
}

void UpdateDownload::cancel()
{
    if (!m_running)
        return;
    emit status(QStringLiteral("Cancelling the download..."));
    fail(QStringLiteral("The download was cancelled."));
}

void UpdateDownload::fail(const QString &error)
{
    if (m_fetch) {
        m_fetch->disconnect(this);
        m_fetch->abort(QString());
        m_fetch.release()->deleteLater();
    }
    m_file.close();
    m_work.reset();   // removes the partial or refused file with its folder
    m_running = false;
    emit finished(false, error);
}
