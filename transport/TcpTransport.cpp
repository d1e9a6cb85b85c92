#include "transport/TcpTransport.h"

#include "transport/GpsPortSettings.h"
#include "transport/PortErrors.h"

TcpTransport::TcpTransport(QObject *parent)
    : GpsTransport(parent)
{
    connect(&m_socket, &QTcpSocket::readyRead, this, &GpsTransport::readyRead);
    connect(&m_socket, &QAbstractSocket::errorOccurred, this,
            [this](QAbstractSocket::SocketError error) {
                const int code = errorCodeFor(error);
                // A dropped or refused link is closed before it is reported.
                if (PortErrors::isLoss(code) && m_socket.state() != QAbstractSocket::UnconnectedState)
                    m_socket.abort();
                Q_EMIT errorOccurred(code);
            });
}

TcpTransport::~TcpTransport()
{
    QObject::disconnect(&m_socket, nullptr, this, nullptr);
    m_socket.abort();
}

int TcpTransport::errorCodeFor(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
    case QAbstractSocket::HostNotFoundError:
    case QAbstractSocket::NetworkError:
        return 1;   // no such device
    case QAbstractSocket::SocketAccessError:
        return 2;   // permission
    case QAbstractSocket::RemoteHostClosedError:
        return 6;   // resource gone
    case QAbstractSocket::SocketTimeoutError:
        return 9;
    case QAbstractSocket::UnsupportedSocketOperationError:
        return 7;
    default:
        return 8;   // unknown
    }
}

bool TcpTransport::open(const GpsPortSettings &settings)
{
    m_socket.abort();
    GpsPortSettings::TcpAddress address;
    if (settings.tcpIpAddress.isEmpty() || !GpsPortSettings::parseTcpIpAddress(settings.tcpIpAddress, &address)
        || address.port > 65535) {
        m_host.clear();
        m_port = 0;
        Q_EMIT errorOccurred(1);
        return false;
    }
    m_host = address.host;
    m_port = address.port > 0 ? address.port : GpsPortSettings::DefaultTcpPort;
    m_socket.connectToHost(m_host, static_cast<quint16>(m_port));
    return true;
}

void TcpTransport::close()
{
    m_socket.abort();
}

bool TcpTransport::isOpen() const
{
    return m_socket.state() == QAbstractSocket::ConnectedState
        || m_socket.state() == QAbstractSocket::ConnectingState
        || m_socket.state() == QAbstractSocket::HostLookupState;
}

bool TcpTransport::isConnected() const
{
    return m_socket.state() == QAbstractSocket::ConnectedState;
}

QByteArray TcpTransport::readAll()
{
    return m_socket.readAll();
}

qint64 TcpTransport::write(const QByteArray &bytes)
{
    return m_socket.write(bytes);
}

bool TcpTransport::waitForBytesWritten(int msecs)
{
    if (m_socket.state() != QAbstractSocket::ConnectedState)
        return false;
    return m_socket.waitForBytesWritten(msecs);
}

void TcpTransport::clear()
{
    m_socket.readAll();
}

QString TcpTransport::name() const
{
    return GpsPortSettings::tcpIpPortName();
}
