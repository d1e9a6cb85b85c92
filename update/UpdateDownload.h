#pragma once

#include "update/SignatureVerifier.h"
#include "update/UpdateCheck.h"
#include "update/UpdateFetch.h"

#include <QFile>
#include <QObject>
#include <QTemporaryDir>
#include <memory>

// Fetches the file a verified manifest names into a private temporary folder, hashing it as it
// arrives, then checks it: the published checksum file, the manifest's signature (again, on the
// exact bytes kept from the check) and the SHA-256 the signed manifest carries. Only a file that
// passes all three is moved to the download folder; it is never run. Any failure or a cancel
// removes every byte fetched.
class UpdateDownload : public QObject
{
    Q_OBJECT
public:
    static constexpr qint64 MaxDownloadBytes = 1024LL * 1024 * 1024;

    explicit UpdateDownload(QNetworkAccessManager *network, QObject *parent = nullptr);
    ~UpdateDownload() override;

    // Folder the verified file goes to (the user's download folder by default).
    void setDownloadFolder(const QString &folder) { m_downloadFolder = folder; }
    static QString defaultDownloadFolder();
    void setLimits(const UpdateFetch::Limits &small, int transferTimeoutMs);
    SignatureVerifier &verifier() { return m_verifier; }

    void start(const UpdateCheck::Result &check);
    void cancel();
    bool running() const { return m_running; }
    // The private folder while a download runs (empty otherwise).
    QString workFolder() const { return m_work ? m_work->path() : QString(); }

Q_SIGNALS:
    void status(const QString &text);
    void progress(qint64 received, qint64 total);
    // ok: the file was verified and saved at savedPathOrError; otherwise the reason.
    void finished(bool ok, const QString &savedPathOrError);

private:
    void onDownloaded(const QString &error);
    void onChecksumFile(const QString &error);
    void onSignature(bool trusted, const QString &problem);
    void fail(const QString &error);
    void renewFetch();
    QString uniqueTarget(const QString &name) const;

    QNetworkAccessManager *m_network;
    SignatureVerifier m_verifier;
    std::unique_ptr<UpdateFetch> m_fetch;
    std::unique_ptr<QTemporaryDir> m_work;
    QFile m_file;
    UpdateFetch::Limits m_smallLimits;
    int m_transferTimeoutMs = 30000;
    QString m_downloadFolder;
    UpdateCheck::Result m_check;
    QByteArray m_downloadSha256;
    QByteArray m_publishedSha256;
    bool m_running = false;
};
