#include "tic/TicSerialPortThread.h"

#include "transport/GpsTransport.h"
#include "transport/TcpTransport.h"

#include "transport/PortErrors.h"

#include <QDebug>
#include <QSettings>
#include <algorithm>

TicSerialPortThread::TicSerialPortThread(QObject *parent)
    : QThread(parent)
{
    m_clock.start();
    m_sessionTimer.setSingleShot(true);
    connect(&m_sessionTimer, &QTimer::timeout, this, &TicSerialPortThread::sessionTimeout);
}

TicSerialPortThread::~TicSerialPortThread()
{
    stopTicSerialPort();
    if (m_transport) {
        m_transport->disconnect(this);
        m_transport.reset();
    }
}

bool TicSerialPortThread::isPortOpen() const
{
    return m_transport && m_transport->isOpen();
}

QString TicSerialPortThread::errorDescription(int code)
{
    return PortErrors::description(code);
}

QString TicSerialPortThread::errorMessage(const QString &portName, int code)
{
    return QStringLiteral("Can't open TIC Port %1\r\n\r\n\"%2\"").arg(portName, errorDescription(code));
}

QString TicSerialPortThread::socketErrorText(int code)
{
    static const char *const texts[] = {
        "Connection refused", "Remote host closed", "Host not found", "Socket Access", "Socket Resource",
        "Socket Timeout", "Datagram Too Large", "Network", "Address is already in use",
        "Socket Address Not Available", "Unsupported Socket Operation", "Unfinished Socket Operation",
        "Proxy Authentication Required", "Ssl Handshake Failed", "Proxy Connection Refused",
        "Proxy Connection Closed", "Proxy Connection Timeout", "Proxy Not Found", "Proxy Protocol", "Operation",
        "Ssl Internal", "Ssl Invalid User Data",
    };
    if (code == QAbstractSocket::UnknownSocketError)
        return QStringLiteral("SOCKET ERROR: Unknown Socket");
    if (code >= 0 && code < int(std::size(texts)))
        return QStringLiteral("SOCKET ERROR: ") + QLatin1String(texts[code]);
    return QStringLiteral("SOCKET ERROR: unknown error type");
}

void TicSerialPortThread::debug(const QString &text)
{
    qDebug().noquote() << text;
    Q_EMIT debugText(text);
}

void TicSerialPortThread::startTicSerialPort(int iTicPort)
{
    if (m_portNumber < 0) {
        if (iTicPort < 1 || iTicPort > TicPortSettings::PortCount)
            return;
        m_portNumber = iTicPort;
        m_session.setPortNumber(iTicPort);
    } else if (iTicPort != m_portNumber) {
        return;
    }
    if (!isRunning())
        start();
    closeTransport();

    QSettings store;
    m_settings = TicPortSettings::load(store, m_portNumber);
    m_portName = m_settings.portName;
    if (m_portName == TicPortSettings::offPortName())
        return;
    if (m_portName == TicPortSettings::tcpIpPortName()) {
        GpsPortSettings::TcpAddress address;
        if (m_settings.tcpIpAddress.isEmpty() || !GpsPortSettings::parseTcpIpAddress(m_settings.tcpIpAddress, &address)
            || address.port > 65535) {
            // An address that does not parse switches the port off, in the store too.
            debug(QStringLiteral("Port %1, illegal TCP/IP address \"%2\": port set to OFF")
                      .arg(m_portNumber)
                      .arg(m_settings.tcpIpAddress));
            m_portName = m_settings.portName = TicPortSettings::offPortName();
            store.setValue(TicPortSettings::keyPort(m_portNumber), m_portName);
            return;
        }
        openTcp();
        return;
    }

    m_transport = m_factory.create(m_portName);
    if (!m_transport)
        return;
    m_tcp = false;
    m_lines.clear();
    connect(m_transport.get(), &GpsTransport::readyRead, this, &TicSerialPortThread::serialPortReadyRead);
    connect(m_transport.get(), &GpsTransport::errorOccurred, this, &TicSerialPortThread::handleError);
    if (m_transport && m_transport->open(m_settings.transportSettings()))
        Q_EMIT newTicSerialPort(m_transport.get());
}

void TicSerialPortThread::openTcp()
{
    auto tcp = std::make_unique<TcpTransport>();
    QTcpSocket &socket = tcp->socket();
    connect(&socket, &QTcpSocket::connected, this, &TicSerialPortThread::TcpIpConnected);
    connect(tcp.get(), &GpsTransport::readyRead, this, &TicSerialPortThread::TcpIpReadyRead);
    connect(&socket, &QAbstractSocket::errorOccurred, this,
            [this](QAbstractSocket::SocketError e) { TcpIpConnectionError_Handler(int(e)); });
    connect(&socket, &QAbstractSocket::disconnected, this, [this] {
        ScpiSession::Actions a;
        m_session.disconnected(nowMs(), a);
        carryOut(a);
    });
    m_transport = std::move(tcp);
    m_tcp = true;
    m_session.reset();
    m_session.setPortNumber(m_portNumber);
    m_transport->open(m_settings.transportSettings());
}

void TicSerialPortThread::closeTransport()
{
    m_sessionTimer.stop();
    m_session.reset();
    m_lines.clear();
    m_tcp = false;
    if (!m_transport)
        return;
    m_transport->disconnect(this);
    if (auto *tcp = qobject_cast<TcpTransport *>(m_transport.get()))
        tcp->socket().disconnect(this);
    if (m_transport->isOpen()) {
        m_transport->clear();
        m_transport->close();
    }
    // Deleted later: this may run from inside one of the transport's own signals.
    m_transport.release()->deleteLater();
}

void TicSerialPortThread::stopTicSerialPort()
{
    m_sessionTimer.stop();
    if (m_transport) {
        if (auto *tcp = qobject_cast<TcpTransport *>(m_transport.get()))
            tcp->socket().disconnect(this);   // no reconnection after a stop
        if (m_transport->isOpen()) {
            m_transport->clear();
            m_transport->close();
        }
    }
    m_session.reset();
    if (isRunning()) {
        quit();
        wait(2000);
    }
}

void TicSerialPortThread::OnSendTicMessage(QByteArray qbMsg)
{
    m_outBuffer = qbMsg;
    if (!isPortOpen() || m_tcp)
        return;
    QByteArray message = qbMsg;
    if (message.isEmpty() || message.at(0) != 0x10)
        message.append("\r\r\n");
    m_transport->write(message);
}

void TicSerialPortThread::serialPortReadyRead()
{
    if (!m_transport || m_tcp)
        return;
    QList<QByteArray> lines;
    m_lines.feed(m_transport->readAll(), lines);
    const QByteArray prefix = QByteArray::number(m_portNumber) + ' ';
    for (const QByteArray &line : std::as_const(lines))
        Q_EMIT newTicText(prefix + line);
}

void TicSerialPortThread::handleError(int code)
{
    if (code == 0)
        return;
    Q_EMIT showErrorMessageBox(errorMessage(m_portName, code));
}

void TicSerialPortThread::TcpIpConnected()
{
    ScpiSession::Actions a;
    m_session.connected(nowMs(), a);
    carryOut(a);
}

void TicSerialPortThread::TcpIpReadyRead()
{
    if (!m_transport || !m_tcp)
        return;
    ScpiSession::Actions a;
    m_session.received(m_transport->readAll(), nowMs(), a);
    carryOut(a);
}

void TicSerialPortThread::TcpIpConnectionError_Handler(int socketError)
{
    debug(socketErrorText(socketError));
    ScpiSession::Actions a;
    m_session.disconnected(nowMs(), a);
    carryOut(a);
}

void TicSerialPortThread::sessionTimeout()
{
    ScpiSession::Actions a;
    m_session.timerExpired(nowMs(), a);
    carryOut(a);
}

void TicSerialPortThread::carryOut(const ScpiSession::Actions &a)
{
    for (const QString &text : a.debug)
        debug(text);
    if (m_transport && m_tcp) {
        for (const QByteArray &bytes : a.writes)
            m_transport->write(bytes);
    }
    const QByteArray prefix = QByteArray::number(m_portNumber) + ' ';
    for (const QByteArray &reading : a.readings)
        Q_EMIT newTicText(prefix + reading);
    if (a.reconnect && m_transport && m_tcp) {
        debug(QStringLiteral("Port %1, reconnecting").arg(m_portNumber));
        m_transport->open(m_settings.transportSettings());
    }
    // The transport may have been replaced by a receiver of newTicText; the session then
    // belongs to the new one and keeps its own deadline.
    const qint64 deadline = m_session.deadline();
    if (deadline < 0) {
        m_sessionTimer.stop();
        return;
    }
    m_sessionTimer.start(int(std::clamp<qint64>(deadline - nowMs(), 0, 120000)));
}
