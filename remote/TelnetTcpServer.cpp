#include "remote/TelnetTcpServer.h"

#include <QDebug>
#include <QLoggingCategory>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>

// Server events go to the debug output under this category (formatted only while it is on).
Q_LOGGING_CATEGORY(lcTelnet, "chronode.telnet")

namespace {
// Bytes the socket takes in from the system before it waits for us; beyond it TCP holds the
// sender back.
constexpr qint64 SocketReadBuffer = 64 * 1024;

qint64 monotonicMs()
{
    static QElapsedTimer timer;
    if (!timer.isValid())
        timer.start();
    return timer.elapsed();
}
} // namespace

TelnetTcpServer::TelnetTcpServer(QObject *parent)
    : QObject(parent)
    , m_server(new QTcpServer(this))
    , m_clock(monotonicMs)
{
    connect(m_server, &QTcpServer::newConnection, this, &TelnetTcpServer::newConnection);
    m_pump.setSingleShot(true);
    connect(&m_pump, &QTimer::timeout, this, &TelnetTcpServer::onReadyRead);
    m_idle.setSingleShot(true);
    m_idle.setInterval(DefaultIdleMs);
    connect(&m_idle, &QTimer::timeout, this, [this] {
        qCDebug(lcTelnet) << "Telnet client idle, closed.";
        if (m_socket)
            m_socket->abort();
    });
    qCDebug(lcTelnet) << "Telnet Server created.";
}

TelnetTcpServer::~TelnetTcpServer()
{
    if (m_server->isListening()) {
        m_server->close();
        qCDebug(lcTelnet) << "Telnet Server closed.";
    }
    if (m_socket) {
        detachClient(false);
        qCDebug(lcTelnet) << "Telnet Socket closed.";
    }
}

void TelnetTcpServer::setIdleTimeout(int ms)
{
    m_idle.setInterval(ms);
    if (m_idle.isActive())
        m_idle.start();
}

bool TelnetTcpServer::isListening() const
{
    return m_server->isListening();
}

bool TelnetTcpServer::listen()
{
    if (!m_server->listen(m_address, m_port))
        return false;
    m_port = m_server->serverPort();
    return true;
}

bool TelnetTcpServer::Start(quint16 port, const QHostAddress &address)
{
    if (m_server->isListening()) {
        m_server->close();
        qCDebug(lcTelnet) << "Server closed.";
    }
    if (m_socket) {
        detachClient(true);
        qCDebug(lcTelnet) << "Socket closed.";
    }
    m_port = port;
    m_address = address;
    if (!listen()) {
        qCDebug(lcTelnet) << "Telnet server could not listen" << m_server->errorString();
        return false;
    }
    qCDebug(lcTelnet) << "Telnet server started.";
    return true;
}

void TelnetTcpServer::stop()
{
    if (m_server->isListening())
        m_server->close();
    if (m_socket)
        detachClient(false);
}

// The client leaves without a word from us: gracefully (what was written still goes out) or
// at once. Its signals are cut first, so its disconnection does not listen again.
void TelnetTcpServer::detachClient(bool graceful)
{
    QTcpSocket *socket = m_socket;
    m_socket = nullptr;
    m_pump.stop();
    m_idle.stop();
    m_buffer.clear();
    socket->disconnect(this);
    if (graceful) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        socket->disconnectFromHost();
        if (socket->state() == QAbstractSocket::UnconnectedState) {
            socket->deleteLater();
        } else {
            // A client that does not take its last lines is not waited for long.
            QTimer::singleShot(5000, socket, [socket] {
                socket->abort();
                socket->deleteLater();
            });
        }
    } else {
        socket->abort();
        socket->deleteLater();
    }
    Q_EMIT clientDisconnected();
}

void TelnetTcpServer::newConnection()
{
    QTcpSocket *socket = m_server->nextPendingConnection();
    if (!socket)
        return;
    if (m_socket) {   // only reachable when two connections were pending at once
        socket->abort();
        socket->deleteLater();
        return;
    }
    m_server->close();
    m_socket = socket;
    socket->setParent(this);
    socket->setReadBufferSize(SocketReadBuffer);
    socket->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    m_buffer.clear();
    m_windowStart = m_clock();
    m_windowCommands = 0;
    connect(socket, &QTcpSocket::stateChanged, this, &TelnetTcpServer::onSocketStateChanged);
    connect(socket, &QTcpSocket::readyRead, this, &TelnetTcpServer::onReadyRead);
    connect(socket, &QTcpSocket::bytesWritten, this, [this] { m_idle.start(); });
    socket->write(Greeting);
    socket->flush();
    m_idle.start();
    qCDebug(lcTelnet) << "Telnet client connected. Server listening for commands.";
    Q_EMIT clientConnected();
    if (socket->bytesAvailable() > 0)
        schedulePump(0);
}

void TelnetTcpServer::onSocketStateChanged(QAbstractSocket::SocketState socketState)
{
    if (socketState != QAbstractSocket::UnconnectedState || !m_socket)
        return;
    detachClient(false);
    if (listen())
        qCDebug(lcTelnet) << "Telnet client disconnected. Server listening for new connection.";
    else
        qCDebug(lcTelnet) << "Telnet client disconnected. Server tries to listen for new connection but failed.";
}

void TelnetTcpServer::schedulePump(int delayMs)
{
    if (!m_pump.isActive() || m_pump.remainingTime() > delayMs)
        m_pump.start(delayMs);
}

// Takes what the client sent, a bounded amount per pass: at most LinesPerPass lines, and no
// command beyond CommandsPerSecond in the current second. What is left waits for the next pass.
void TelnetTcpServer::onReadyRead()
{
    QTcpSocket *socket = m_socket;
    if (!socket)
        return;
    // The replies of one pass go out together, with one flush at its end.
    m_batching = true;
    pump(socket);
    m_batching = false;
    if (m_socket == socket)
        socket->flush();
}

void TelnetTcpServer::pump(QTcpSocket *socket)
{
    for (int handled = 0; handled < LinesPerPass; ++handled) {
        if (!m_buffer.hasLine()) {
            if (socket->bytesAvailable() <= 0)
                return;
            while (!m_buffer.hasLine() && socket->bytesAvailable() > 0) {
                m_idle.start();
                m_buffer.feed(socket->read(ReadChunk));
            }
            if (!m_buffer.hasLine())
                return;
        }
        const qint64 now = m_clock();
        if (now - m_windowStart >= 1000) {
            m_windowStart = now;
            m_windowCommands = 0;
        }
        if (m_windowCommands >= CommandsPerSecond) {
            schedulePump(int(m_windowStart + 1000 - now));
            return;
        }
        handleLine(m_buffer.takeLine());
        if (m_socket != socket)
            return;   // the command closed the client
    }
    schedulePump(0);
}

void TelnetTcpServer::handleLine(const TelnetLineBuffer::Line &line)
{
    if (line.overlong) {
        qCDebug(lcTelnet) << "Overlong TELNET line discarded.";
        sendLine(" ???");
        return;
    }
    qCDebug(lcTelnet) << "Received TELNET Message ->" << line.text;
    const std::optional<QByteArray> command = checkLine(line.text);
    if (!command) {
        qCDebug(lcTelnet) << "Invalid Telnet Command Format ->" << line.text;
        sendLine(line.text + " ???");
        return;
    }
    qCDebug(lcTelnet) << "Valid Telnet Command Format ->" << *command;
    ++m_windowCommands;
    Q_EMIT sendTelnetCommand(*command);
}

std::optional<QByteArray> TelnetTcpServer::checkLine(const QByteArray &line)
{
    const qsizetype n = line.size();
    if (n >= 4 && line.at(n - 3) == '*') {
        unsigned char sum = 0;
        for (qsizetype i = 1; i < n - 3; ++i)
            sum ^= static_cast<unsigned char>(line.at(i));
        if (line.right(2) != QString::asprintf("%2.2X", sum).toLatin1())
            return std::nullopt;
        return line.left(n - 3);
    }
    if (line.contains('*'))
        return std::nullopt;
    const bool proprietary = line.left(5).toUpper() == "$PKTW";
    if ((line.startsWith("$GP") || proprietary) && line.contains(','))
        return line;
    if (line == "EXIT")
        return line;
    return std::nullopt;
}

QByteArray TelnetTcpServer::withChecksum(const QByteArray &line)
{
    unsigned char sum = 0;
    for (qsizetype i = 1; i < line.size(); ++i)
        sum ^= static_cast<unsigned char>(line.at(i));
    return line + '*' + QString::asprintf("%2.2X", sum).toLatin1();
}

void TelnetTcpServer::writeLine(const QByteArray &line)
{
    // Never a bare LF inside a line: each becomes a line end of its own.
    QByteArray text = line;
    while (text.endsWith('\n') || text.endsWith('\r'))
        text.chop(1);
    text.replace("\r\n", "\n");
    text.replace('\r', "");
    text.replace("\n", "\r\n");
    // A write can find the client gone, and its disconnection detaches it at once.
    QTcpSocket *socket = m_socket;
    socket->write(text + "\r\n");
    if (m_socket != socket)
        return;
    if (!m_batching)
        socket->flush();
    if (m_socket != socket)
        return;
    if (socket->bytesToWrite() > CloseBytes) {
        qCDebug(lcTelnet) << "Telnet client does not read its data, closed.";
        detachClient(false);
        listen();
    }
}

void TelnetTcpServer::sendLine(const QByteArray &line)
{
    if (m_socket)
        writeLine(line);
}

void TelnetTcpServer::sendDataLine(const QByteArray &line)
{
    if (!m_socket)
        return;
    if (m_socket->bytesToWrite() > DataDropBytes) {
        ++m_dropped;
        return;
    }
    writeLine(line);
}
