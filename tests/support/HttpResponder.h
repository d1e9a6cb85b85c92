#pragma once

// A small HTTP/1.1 server on 127.0.0.1 for tests: each path answers with a fixed status,
// headers and body, optionally sent one byte at a time.

#include <QHash>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

class HttpResponder : public QObject
{
public:
    struct Reply
    {
        int status = 200;
        QByteArray body;
        QByteArray extraHeaders;    // complete lines, each ending in "\r\n"
        qint64 announcedLength = -1;   // Content-Length sent; -1: the body's size
        int dripMs = 0;             // > 0: one byte of the body every dripMs
    };

    HttpResponder()
    {
        m_server.listen(QHostAddress::LocalHost);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *s = m_server.nextPendingConnection()) {
                connect(s, &QTcpSocket::readyRead, s, [this, s] { onRequest(s); });
                connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
    }
    quint16 port() const { return m_server.serverPort(); }
    QString url(const QString &path) const { return QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(path); }
    void set(const QString &path, const Reply &reply) { m_replies.insert(path, reply); }
    QStringList requested;

private:
    void onRequest(QTcpSocket *s)
    {
        QByteArray &buffer = m_buffers[s];
        buffer += s->readAll();
        if (!buffer.contains("\r\n\r\n"))
            return;
        const QString path = QString::fromLatin1(buffer.split(' ').value(1));
        buffer.clear();
        requested.append(path);
        const Reply r = m_replies.value(path, Reply { 404, "missing", {}, -1, 0 });
        const qint64 length = r.announcedLength >= 0 ? r.announcedLength : r.body.size();
        s->write("HTTP/1.1 " + QByteArray::number(r.status) + " X\r\nContent-Length: " + QByteArray::number(length)
                 + "\r\nConnection: close\r\n" + r.extraHeaders + "\r\n");
        if (r.dripMs <= 0) {
            s->write(r.body);
            s->disconnectFromHost();
            return;
        }
        auto *timer = new QTimer(s);
        auto sent = std::make_shared<qsizetype>(0);
        connect(timer, &QTimer::timeout, s, [s, r, sent, timer] {
            if (*sent >= r.body.size()) {
                timer->stop();
                s->disconnectFromHost();
                return;
            }
            s->write(r.body.mid((*sent)++, 1));
        });
        timer->start(r.dripMs);
    }

    QTcpServer m_server;
    QHash<QString, Reply> m_replies;
    QHash<QTcpSocket *, QByteArray> m_buffers;
};
