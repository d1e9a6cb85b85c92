#pragma once

#include "transport/GpsTransport.h"

#include <QAbstractSocket>
#include <QTcpSocket>

// A receiver behind a serial-to-network bridge, reached at the port dialog's address
// ("a.b.c.d" on the default port, or "a.b.c.d:port"). Has no modem lines, so no 1PPS.
class TcpTransport : public GpsTransport
{
    Q_OBJECT
public:
    explicit TcpTransport(QObject *parent = nullptr);
    ~TcpTransport() override;

    // Starts connecting; returns false (with error 1) when the address is empty or malformed.
    bool open(const GpsPortSettings &settings) override;
    void close() override;
    // Connected or connecting (bytes written while connecting are sent once connected).
    bool isOpen() const override;
    bool isConnected() const override;
    QByteArray readAll() override;
    qint64 write(const QByteArray &bytes) override;
    bool waitForBytesWritten(int msecs) override;
    void clear() override;
    QString name() const override;

    // The serial-library error code reported for a socket error.
    static int errorCodeFor(QAbstractSocket::SocketError error);

    QTcpSocket &socket() { return m_socket; }

private:
    QTcpSocket m_socket;
    QString m_host;
    int m_port = 0;
};
