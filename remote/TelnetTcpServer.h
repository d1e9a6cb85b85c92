#pragma once

#include "remote/TelnetLineBuffer.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>
#include <functional>
#include <optional>

class QTcpServer;

// The remote-control link: a TCP server for one client at a time. While a client is connected
// the server does not listen, so a second client is refused by the system. The client is
// greeted, its bytes are cut into lines (a fresh line buffer per client), each line's form is
// checked, and valid lines go out through sendTelnetCommand; malformed ones are echoed back
// followed by " ???". Replies and data lines go to the client with CR LF.
//
// The limits keep a client from stalling the station: at most LinesPerPass lines are handled
// per pass of the event loop and at most CommandsPerSecond commands a second; the socket's read
// buffer is bounded so a fast sender is held back by TCP itself. Data lines are dropped while
// more than DataDropBytes wait to be sent, and the client is closed when more than CloseBytes
// wait. A client that neither sends nor takes anything for the idle time is closed.
class TelnetTcpServer : public QObject
{
    Q_OBJECT
public:
    static constexpr int LinesPerPass = 64;
    static constexpr int CommandsPerSecond = 50;
    static constexpr qint64 DataDropBytes = 256 * 1024;
    static constexpr qint64 CloseBytes = 1024 * 1024;
    static constexpr int DefaultIdleMs = 15 * 60 * 1000;
    static constexpr qint64 ReadChunk = 16 * 1024;
    static constexpr char Greeting[] = "Hello client, this is Chronode.\r\n";

    using Clock = std::function<qint64()>;   // monotonic milliseconds

    explicit TelnetTcpServer(QObject *parent = nullptr);
    ~TelnetTcpServer() override;

    // Closes any client quietly and listens afresh on the address and port (0: any free port).
    bool Start(quint16 port, const QHostAddress &address = QHostAddress(QHostAddress::LocalHost));
    // Stops listening and closes the client.
    void stop();

    // A reply: written at once (followed by CR LF) when a client is connected.
    void sendLine(const QByteArray &line);
    // A subscribed data line: like a reply, but dropped while the client lags behind.
    void sendDataLine(const QByteArray &line);

    bool isListening() const;
    bool hasClient() const { return m_socket != nullptr; }
    // The port listened on (the one chosen by the system when Start was given 0).
    quint16 port() const { return m_port; }
    QHostAddress address() const { return m_address; }
    qint64 droppedDataLines() const { return m_dropped; }

    void setIdleTimeout(int ms);
    void setClock(Clock clock) { m_clock = std::move(clock); }

    // The form check of one received line: the line without its checksum when it is a command,
    // nothing when it is to be echoed as malformed.
    static std::optional<QByteArray> checkLine(const QByteArray &line);
    // "$PKTWL,..." -> "$PKTWL,...*hh"
    static QByteArray withChecksum(const QByteArray &line);

Q_SIGNALS:
    void sendTelnetCommand(const QByteArray &qbComand);
    void clientConnected();
    void clientDisconnected();

private Q_SLOTS:
    void newConnection();
    void onReadyRead();
    void onSocketStateChanged(QAbstractSocket::SocketState socketState);

private:
    bool listen();
    void detachClient(bool graceful);
    void pump(QTcpSocket *socket);
    void handleLine(const TelnetLineBuffer::Line &line);
    void writeLine(const QByteArray &line);
    void schedulePump(int delayMs);

    QTcpServer *m_server = nullptr;
    QPointer<QTcpSocket> m_socket;
    quint16 m_port = 0;
    QHostAddress m_address { QHostAddress::LocalHost };
    TelnetLineBuffer m_buffer;
    QTimer m_pump;
    QTimer m_idle;
    Clock m_clock;
    qint64 m_windowStart = 0;
    int m_windowCommands = 0;
    qint64 m_dropped = 0;
    bool m_batching = false;
};
