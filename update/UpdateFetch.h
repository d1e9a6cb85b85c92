#pragma once

#include <QByteArray>
#include <QCryptographicHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUrl>
#include <QNetworkReply>

class QIODevice;
class QNetworkAccessManager;


// One GET from the update server, bounded in size and time. The URL and every redirect must
// pass the update URL rule. The body is hashed (SHA-256) while it arrives and either kept in
// memory or written to a sink, chunk by chunk, so nothing waits for the whole file.
class UpdateFetch : public QObject
{
    Q_OBJECT
public:
    struct Limits
    {
        qint64 maxBytes = 262144;
        int transferTimeoutMs = 30000;   // longest pause between two pieces of the answer
        int totalTimeoutMs = 30000;      // longest whole transfer; 0 for no limit
    };

    UpdateFetch(QNetworkAccessManager *network, const QString &configuredHost, QObject *parent = nullptr);
    ~UpdateFetch() override;

    // Starts the fetch; finished() follows once. With a sink the body is written there.
    void start(const QUrl &url, const Limits &limits, QIODevice *sink = nullptr);
    void abort(const QString &error);
    bool running() const { return m_reply != nullptr; }

    QByteArray body() const { return m_body; }
    QByteArray sha256Hex() const { return m_sha256; }
    qint64 received() const { return m_received; }

Q_SIGNALS:
    void progress(qint64 received, qint64 total);
    // Empty error: the whole body arrived.
    void finished(const QString &error);

private:
    void readChunk();
    void finish(const QString &error);
    void checkHeaders();

    QNetworkAccessManager *m_network;
    QString m_host;
    Limits m_limits;
    QPointer<QIODevice> m_sink;
    QPointer<QNetworkReply> m_reply;
    QTimer m_totalTimer;
    QCryptographicHash m_hash { QCryptographicHash::Sha256 };
    QByteArray m_body;
    QByteArray m_sha256;
    qint64 m_received = 0;
    qint64 m_announced = -1;
    QString m_pendingError;
};
