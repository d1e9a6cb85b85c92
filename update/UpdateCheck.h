#pragma once

#include "update/SignatureVerifier.h"
#include "update/UpdateFetch.h"
#include "update/UpdateManifest.h"

#include <QDateTime>
#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>

class QNetworkAccessManager;

// The check for a newer version: fetches the manifest and, when it names a newer version,
// its detached signature, which gpgv must accept with the publisher key before the result is
// reported. Nothing here blocks: every step is a signal away, so the one-second cycle runs on.
class UpdateCheck : public QObject
{
    Q_OBJECT
public:
    enum class Outcome { Failed, Newer, Latest, Dismissed, Busy };
    Q_ENUM(Outcome)

    struct Result
    {
        Outcome outcome = Outcome::Failed;
        bool manual = false;
        QString manifestUrl;
        QString host;                  // the update server every URL was held to
        QString error;                 // Failed: why, in the user's words
        UpdateRules::Manifest manifest;
        QByteArray manifestBytes;      // exactly as signed
        QByteArray signature;
        QDateTime checkedAt;
        bool installedFromPackage = false;   // Debian's package system owns the program
    };

    static constexpr int PeriodicIntervalMs = 3600 * 1000;

    explicit UpdateCheck(QObject *parent = nullptr);
    ~UpdateCheck() override;

    void setInstalledVersion(const QString &version) { m_installedVersion = version; }
    QString installedVersion() const { return m_installedVersion; }
    // Program file whose package ownership decides how updates are installed.
    void setExecutablePath(const QString &path) { m_executablePath = path; }
    void setLimits(const UpdateFetch::Limits &limits) { m_limits = limits; }
    void setClock(std::function<qint64()> secondsSinceEpoch) { m_now = std::move(secondsSinceEpoch); }
    SignatureVerifier &verifier() { return m_verifier; }
    QNetworkAccessManager *network() const { return m_network; }
    QTimer &periodicTimer() { return m_periodic; }
    bool running() const { return m_running; }

    // Starts a check; a second one while one runs reports Busy at once.
    void start(bool manual);
    // The automatic check: runs when "AutoCheck" is on and a check is due; from then on it is
    // offered again every hour, so a station that runs for months still checks once a day.
    void startAutomatic();

    // Whether a Debian package owns the file (dpkg-query -S); the answer arrives later.
    static void queryPackageOwner(QObject *context, const QString &path, std::function<void(bool)> done);

Q_SIGNALS:
    void finished(const UpdateCheck::Result &result);

private:
    void renewFetch();
    void onManifest(const QString &error);
    void onSignature(const QString &error);
    void succeed(Outcome outcome);
    void fail(const QString &error);

    QNetworkAccessManager *m_network;
    SignatureVerifier m_verifier;
    std::unique_ptr<UpdateFetch> m_fetch;
    UpdateFetch::Limits m_limits;
    QString m_installedVersion;
    QString m_executablePath;
    std::function<qint64()> m_now;
    QTimer m_periodic;
    QString m_host;
    bool m_running = false;
    Result m_result;
};

Q_DECLARE_METATYPE(UpdateCheck::Result)
