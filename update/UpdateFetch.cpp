#include "update/UpdateFetch.h"

#include "update/UpdateManifest.h"

#include <QFileDevice>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

UpdateFetch::UpdateFetch(QNetworkAccessManager *network, const QString &configuredHost, QObject *parent)
    : QObject(parent), m_network(network), m_host(configuredHost)
{
    m_totalTimer.setSingleShot(true);
    connect(&m_totalTimer, &QTimer::timeout, this, [this] {
        abort(QStringLiteral("Could not reach the update server: no complete answer within %1 seconds.")
                  .arg(m_limits.totalTimeoutMs / 1000.0));
    });
}

UpdateFetch::~UpdateFetch()
{
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        m_reply->deleteLater();
    }
}

void UpdateFetch::start(const QUrl &url, const Limits &limits, QIODevice *sink)
{
    m_limits = limits;
    m_sink = sink;
    m_hash.reset();
    m_body.clear();
    m_sha256.clear();
    m_received = 0;
    m_announced = -1;
    m_pendingError.clear();
    const QString problem = UpdateRules::urlProblem(url, m_host);
    if (!problem.isEmpty()) {
        m_pendingError = QStringLiteral("The update URL %1 is refused: %2.").arg(url.toString(), problem);
        QTimer::singleShot(0, this, [this] { emit finished(m_pendingError); });
        return;
    }

    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Chronode-Updater"));
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
    request.setMaximumRedirectsAllowed(5);
    request.setTransferTimeout(m_limits.transferTimeoutMs);
    m_reply = m_network->get(request);

    connect(m_reply, &QNetworkReply::redirected, this, [this](const QUrl &target) {
        const QString why = UpdateRules::urlProblem(target, m_host);
        if (why.isEmpty())
            emit m_reply->redirectAllowed();
        else
            abort(QStringLiteral("The update server redirected to %1, which is refused: %2.").arg(target.toString(), why));
    });
    connect(m_reply, &QNetworkReply::metaDataChanged, this, &UpdateFetch::checkHeaders);
    connect(m_reply, &QNetworkReply::readyRead, this, &UpdateFetch::readChunk);
    connect(m_reply, &QNetworkReply::downloadProgress, this, [this](qint64, qint64 total) {
        emit progress(m_received, m_announced >= 0 ? m_announced : total);
    });
    connect(m_reply, &QNetworkReply::finished, this, [this] {
        if (!m_reply)
            return;
        readChunk();
        if (!m_pendingError.isEmpty())
            return finish(m_pendingError);
        const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (status >= 300)
            return finish(QStringLiteral("The update server answered %1.").arg(status));
        if (m_announced >= 0 && m_received < m_announced)
            return finish(QStringLiteral("The download ended early (%1 of %2 bytes).").arg(m_received).arg(m_announced));
        if (m_reply->error() != QNetworkReply::NoError) {
            const QString why = m_reply->error() == QNetworkReply::OperationCanceledError
                ? QStringLiteral("nothing arrived for %1 seconds").arg(m_limits.transferTimeoutMs / 1000.0)
                : m_reply->errorString();
            return finish(QStringLiteral("Could not reach the update server: %1").arg(why));
        }
        m_sha256 = m_hash.result().toHex();
        finish(QString());
    });
    if (m_limits.totalTimeoutMs > 0)
        m_totalTimer.start(m_limits.totalTimeoutMs);
}

void UpdateFetch::checkHeaders()
{
    if (!m_reply)
        return;
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status >= 300 && status < 400)
        return;   // a redirect: judged by the redirect handler
    bool ok = false;
    const qint64 length = m_reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&ok);
    m_announced = ok ? length : -1;
    if (ok && length > m_limits.maxBytes)
        abort(QStringLiteral("The file from the update server is unreasonably large."));
}

void UpdateFetch::readChunk()
{
    if (!m_reply || !m_pendingError.isEmpty())
        return;
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status >= 300) {
        m_reply->readAll();   // an error page or redirect body is not the file
        return;
    }
    const QByteArray chunk = m_reply->readAll();
    if (chunk.isEmpty())
        return;
    m_received += chunk.size();
    if (m_received > m_limits.maxBytes)
        return abort(QStringLiteral("The file from the update server is unreasonably large."));
    m_hash.addData(chunk);
    if (m_sink) {
        if (m_sink->write(chunk) != chunk.size()) {
            const auto *file = qobject_cast<QFileDevice *>(m_sink.data());
            return abort(QStringLiteral("Could not write to %1.").arg(file ? file->fileName() : QString()));
        }
    } else {
        m_body += chunk;
    }
}

void UpdateFetch::abort(const QString &error)
{
    if (!m_reply)
        return;
    m_pendingError = error;
    finish(error);
}

void UpdateFetch::finish(const QString &error)
{
    m_totalTimer.stop();
    if (QNetworkReply *reply = m_reply) {
        m_reply = nullptr;
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
    emit finished(error);
}
