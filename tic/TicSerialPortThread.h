#pragma once

#include "tic/ScpiSession.h"
#include "tic/TicLineAssembler.h"
#include "tic/TicPortSettings.h"
#include "transport/GpsTransportFactory.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>
#include <memory>

class GpsTransport;

// The link to one time interval counter (port number 1..8): a serial port (or a registered
// transport such as the simulated counter) on which the counter prints ASCII readings, or a
// LAN counter reached over TCP and driven with SCPI. Each complete line leaves as newTicText
// "n reading". Derives from QThread for its owner's start/stop protocol; the thread runs an
// empty event loop and the transport, timer and slots live on the thread that made the
// object, so nothing here ever waits.
class TicSerialPortThread : public QThread
{
    Q_OBJECT
public:
    explicit TicSerialPortThread(QObject *parent = nullptr);
    ~TicSerialPortThread() override;

    // Where transports come from; register extra port names (the simulated counter) here.
    GpsTransportFactory &transportFactory() { return m_factory; }

    int portNumber() const { return m_portNumber; }
    QString portName() const { return m_portName; }
    // The settings the link was last started with.
    const TicPortSettings &settings() const { return m_settings; }
    GpsTransport *transport() const { return m_transport.get(); }
    bool isPortOpen() const;
    bool isTcp() const { return m_tcp; }
    const ScpiSession &session() const { return m_session; }
    // The last message handed to OnSendTicMessage.
    const QByteArray &outBuffer() const { return m_outBuffer; }

    // The serial library's description of an error code, the box text built from it, and the
    // debug text of a socket error code.
    static QString errorDescription(int code);
    static QString errorMessage(const QString &portName, int code);
    static QString socketErrorText(int code);

Q_SIGNALS:
    // One complete line: the port number, a blank and the line's characters.
    void newTicText(QByteArray text);
    void showErrorMessageBox(QString errmsg);
    // A serial port (or a registered transport) was opened for the counter.
    void newTicSerialPort(GpsTransport *pSerialPort);
    // What also goes to the debug log (connection events, SCPI answers, socket errors).
    void debugText(QString text);

public Q_SLOTS:
    // The first call fixes the port number; calls for another number are ignored. (Re)opens
    // the port from the stored settings of that number.
    void startTicSerialPort(int iTicPort);
    void stopTicSerialPort();
    // Writes a message to a serial counter, followed by CR CR LF unless it starts with 0x10.
    void OnSendTicMessage(QByteArray qbMsg);
    void serialPortReadyRead();
    void handleError(int code);
    void TcpIpConnected();
    void TcpIpReadyRead();
    void TcpIpConnectionError_Handler(int socketError);

private:
    void closeTransport();
    void openTcp();
    void sessionTimeout();
    void carryOut(const ScpiSession::Actions &actions);
    void debug(const QString &text);
    qint64 nowMs() const { return m_clock.elapsed(); }

    int m_portNumber = -1;
    QString m_portName = TicPortSettings::offPortName();
    TicPortSettings m_settings;
    GpsTransportFactory m_factory;
    std::unique_ptr<GpsTransport> m_transport;
    bool m_tcp = false;
    TicLineAssembler m_lines;
    ScpiSession m_session;
    QTimer m_sessionTimer;
    QElapsedTimer m_clock;
    QByteArray m_outBuffer;
};
