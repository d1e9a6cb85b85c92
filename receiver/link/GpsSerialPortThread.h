#pragma once

#include "transport/GpsPortSettings.h"
#include "transport/GpsTransportFactory.h"
#include "receiver/framing/StreamFramer.h"

#include <QByteArray>
#include <QList>
#include <QThread>
#include <QTimer>
#include <memory>

class GpsTransport;
struct ReceiverState;

// The link to the GPS receiver: opens the configured port (serial, TCP bridge or a registered
// transport), frames its bytes for the current receiver mode into whole verified messages,
// watches the 1PPS modem line and writes commands. Derives from QThread for its owner's
// start/stop protocol, but the thread only runs an empty event loop: the transport, timer and
// every slot live on the thread that made the object (the GUI thread), so signals arrive as
// direct calls.
class GpsSerialPortThread : public QThread
{
    Q_OBJECT
public:
    // `state` supplies receiverMode at each read; it must outlive the link. May be null, in
    // which case the mode stored in the port settings is used.
    explicit GpsSerialPortThread(ReceiverState *state, QObject *parent = nullptr);
    ~GpsSerialPortThread() override;

    // Where transports come from; register extra port names (e.g. the simulated receiver) here.
    GpsTransportFactory &transportFactory() { return m_factory; }

    // Opens an already made transport with the given settings instead of the stored ones
    // (tests, capture replay). Replaces any open transport.
    void useTransport(std::unique_ptr<GpsTransport> transport, const GpsPortSettings &settings);

    GpsTransport *transport() const { return m_transport.get(); }
    bool isPortOpen() const;
    QString portName() const { return m_portName; }
    int ppsInterface() const { return m_ppsInterface; }
    int ppsPinMask() const { return m_ppsPinMask; }
    bool ppsPending() const { return m_ppsPending; }
    int framedMode() const { return m_framedMode; }
    bool loadFirmwareMode() const { return m_loadFirmwareMode; }
    bool isPolling() const { return m_pollTimer.isActive(); }

    // The serial library's description of an error code, and the box text built from it.
    static QString errorDescription(int code);
    static QString errorMessage(const QString &portName, int code);
    // Modem-signal mask of a PPS Interface value (0 none, 1 DCD, 2 CTS, 3 DSR).
    static int pinMaskFor(int ppsInterface);

Q_SIGNALS:
    // One whole verified message, or the marker "-- PPS --".
    void newGpsText(QByteArray text);
    void showErrorMessageBox(QString errmsg);
    // A rising edge on the 1PPS input.
    void PpsTick();
    // Declared for a firmware upload path; not emitted.
    void newGpsSerialPort(GpsTransport *pSerialPort);

public Q_SLOTS:
    // (Re)opens the port with the stored settings.
    void startGpsSerialPort(bool bLoadFirmwareMode);
    void stopGpsSerialPort();
    // Writes a message, followed by CR LF unless it starts with 0x10.
    void OnSendGpsMessage(QByteArray qbMsg);
    void handleReadyRead();
    void handleError(int code);
    void handleTimedPolls();
    void setPpsInterface(int ppsInterface);

private:
    void attachTransport(std::unique_ptr<GpsTransport> transport, const GpsPortSettings &settings);
    void closeTransport();
    void startPolling();
    void drainQueue();
    int currentMode() const;

    ReceiverState *m_state;
    GpsTransportFactory m_factory;
    std::unique_ptr<GpsTransport> m_transport;

    QByteArray m_inputChunk;
    bool m_loadFirmwareMode = false;
    bool m_ppsPinPrevious = false;
    bool m_ppsPinLevel = false;
    int m_ppsInterface = 0;
    int m_ppsPinMask = 0;
    bool m_ppsPending = false;
    int m_framedMode = 11;
    int m_lastFramedMode = 11;
    int m_storedMode = 11;
    QString m_portName;
    QTimer m_pollTimer;
    StreamFramer m_framer;
    FrameSink m_sink;
    QList<QByteArray> m_outQueue;   // framed, not yet handed on
};
