#include "update/UpdateCheck.h"

#include "update/ToolProcess.h"
#include "update/UpdateSettings.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QSettings>

UpdateCheck::UpdateCheck(QObject *parent)
    : QObject(parent),
      m_network(new QNetworkAccessManager(this)),
      m_verifier(this),
      m_installedVersion(QStringLiteral(CHRONODE_VERSION)),
      m_now([] { return QDateTime::currentSecsSinceEpoch(); })
{
    m_periodic.setInterval(PeriodicIntervalMs);
    m_periodic.setTimerType(Qt::VeryCoarseTimer);
    connect(&m_periodic, &QTimer::timeout, this, &UpdateCheck::startAutomatic);
    connect(&m_verifier, &SignatureVerifier::finished, this, [this](bool trusted, const QString &problem) {
        if (m_running)
            onSignature(trusted ? QString() : problem);
    });
}

UpdateCheck::~UpdateCheck() = default;

void UpdateCheck::startAutomatic()
{
    if (!m_periodic.isActive())
        m_periodic.start();
    QSettings settings;
    const UpdateSettings s = UpdateSettings::load(settings);
    if (s.autoCheck && s.checkDue(m_now()) && !m_running)
        start(false);
}

void UpdateCheck::start(bool manual)
{
    if (m_running) {
        Result busy;
        busy.outcome = Outcome::Busy;
        busy.manual = manual;
        busy.error = QStringLiteral("A check for updates is already running.");
        emit finished(busy);
        return;
    }
    QSettings settings;
    const UpdateSettings s = UpdateSettings::load(settings);
    m_running = true;
    m_host = s.host;
    m_result = Result();
    m_result.manual = manual;
    m_result.manifestUrl = s.manifestUrl;
    m_result.host = s.host;
    renewFetch();
    connect(m_fetch.get(), &UpdateFetch::finished, this, &UpdateCheck::onManifest);
    m_fetch->start(QUrl(s.manifestUrl), m_limits);
}

void UpdateCheck::renewFetch()
{
    // The old fetch may be the one whose signal is being handled: it goes once that is over.
    if (m_fetch)
        m_fetch.release()->deleteLater();
    m_fetch = std::make_unique<UpdateFetch>(m_network, m_host);
}

void UpdateCheck::onManifest(const QString &error)
{
    if (!error.isEmpty())
        return fail(error);
    m_result.manifestBytes = m_fetch->body();
    const QString problem = UpdateRules::parseManifest(m_result.manifestBytes, m_host, m_result.manifest);
    if (!problem.isEmpty())
        return fail(problem);
    QSettings settings;
    const UpdateSettings s = UpdateSettings::load(settings);
    const QString latest = m_result.manifest.latestVersion;
    if (!UpdateRules::isNewer(latest, m_installedVersion))
        return succeed(Outcome::Latest);
    if (!m_result.manual && s.dismissedVersion == latest)
        return succeed(Outcome::Dismissed);
    // A newer version is reported only once the manifest's signature holds, so the dialog never
    // shows words or links the publisher did not sign.
    renewFetch();
    connect(m_fetch.get(), &UpdateFetch::finished, this, [this](const QString &sigError) {
        if (!sigError.isEmpty())
            return fail(QStringLiteral("The update manifest's signature could not be fetched. %1").arg(sigError));
        m_result.signature = m_fetch->body();
        m_verifier.verify(m_result.manifestBytes, m_result.signature);
    });
    m_fetch->start(QUrl(m_result.manifestUrl + QStringLiteral(".sig")), m_limits);
}

void UpdateCheck::onSignature(const QString &error)
{
    if (!error.isEmpty())
        return fail(QStringLiteral("The update manifest was refused: %1.").arg(error));
    const QString path = m_executablePath.isEmpty() ? QCoreApplication::applicationFilePath() : m_executablePath;
    queryPackageOwner(this, path, [this](bool owned) {
        m_result.installedFromPackage = owned;
        succeed(Outcome::Newer);
    });
}

void UpdateCheck::queryPackageOwner(QObject *context, const QString &path, std::function<void(bool)> done)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    if (canonical.isEmpty())
        return done(false);
    ToolProcess::run(context, QStringLiteral("dpkg-query"), { QStringLiteral("-S"), canonical }, 10000,
                     [done](int code, const QByteArray &) { done(code == 0); });
}

void UpdateCheck::succeed(Outcome outcome)
{
    const qint64 now = m_now();
    QSettings settings;
    UpdateSettings::storeLastCheck(settings, now);
    m_result.outcome = outcome;
    m_result.checkedAt = QDateTime::fromSecsSinceEpoch(now);
    m_running = false;
    emit finished(m_result);
}

void UpdateCheck::fail(const QString &error)
{
    m_result.outcome = Outcome::Failed;
    m_result.error = error;
    m_running = false;
    emit finished(m_result);
}
