#include "receiver/link/GpsSerialPortThread.h"

#include "core/ReceiverState.h"
#include "transport/GpsTransport.h"

#include "transport/PortErrors.h"

#include <QSignalBlocker>
#include <QDebug>
#include <QSettings>

GpsSerialPortThread::GpsSerialPortThread(ReceiverState *state, QObject *parent)
    : QThread(parent)
    , m_state(state)
{
    m_pollTimer.setInterval(10);
    m_pollTimer.setSingleShot(false);
    connect(&m_pollTimer, &QTimer::timeout, this, &GpsSerialPortThread::handleTimedPolls);
    m_sink = [this](const QByteArray &frame) { m_outQueue.append(frame); };
}

GpsSerialPortThread::~GpsSerialPortThread()
{
    stopGpsSerialPort();
    if (m_transport) {
        m_transport->disconnect(this);
        m_transport.reset();
    }
}

bool GpsSerialPortThread::isPortOpen() const
{
    return m_transport && m_transport->isOpen();
}

QString GpsSerialPortThread::errorDescription(int code)
{
    return PortErrors::description(code);
}

QString GpsSerialPortThread::errorMessage(const QString &portName, int code)
{
    return QStringLiteral("Can't open GPS Port %1\r\n\r\n\"%2\"").arg(portName, errorDescription(code));
}

int GpsSerialPortThread::pinMaskFor(int ppsInterface)
{
    switch (ppsInterface) {
    case 1: return GpsTransport::Dcd;
    case 2: return GpsTransport::Cts;
    case 3: return GpsTransport::Dsr;
    default: return 0;
    }
}

void GpsSerialPortThread::setPpsInterface(int ppsInterface)
{
    m_ppsInterface = ppsInterface;
    m_ppsPinMask = pinMaskFor(ppsInterface);
}

int GpsSerialPortThread::currentMode() const
{
    return m_state ? m_state->receiverMode : m_storedMode;
}

void GpsSerialPortThread::startPolling()
{
    if (!isRunning())
        start();
    // The poll runs for as long as the link is started, in every mode: framing and polling
    // share one thread, so they can never overlap.
    if (!m_pollTimer.isActive())
        m_pollTimer.start();
}

void GpsSerialPortThread::startGpsSerialPort(bool bLoadFirmwareMode)
{
    m_loadFirmwareMode = bLoadFirmwareMode;
    startPolling();

    QSettings settings;
    const GpsPortSettings port = GpsPortSettings::load(settings);
    closeTransport();
    m_portName = port.portName;
    m_storedMode = port.receiverMode();
    m_framedMode = m_storedMode;

    std::unique_ptr<GpsTransport> transport = m_factory.create(m_portName);
    if (!transport)
        return;   // "OFF": no receiver port
    attachTransport(std::move(transport), port);
}

void GpsSerialPortThread::useTransport(std::unique_ptr<GpsTransport> transport, const GpsPortSettings &settings)
{
    startPolling();
    closeTransport();
    m_storedMode = settings.receiverMode();
    m_framedMode = m_storedMode;
    if (!transport) {
        m_portName = GpsPortSettings::offPortName();
        return;
    }
    m_portName = transport->name();
    attachTransport(std::move(transport), settings);
}

void GpsSerialPortThread::attachTransport(std::unique_ptr<GpsTransport> transport, const GpsPortSettings &settings)
{
    m_transport = std::move(transport);
    connect(m_transport.get(), &GpsTransport::readyRead, this, &GpsSerialPortThread::handleReadyRead);
    connect(m_transport.get(), &GpsTransport::errorOccurred, this, &GpsSerialPortThread::handleError);
    m_ppsPinPrevious = false;
    m_ppsPinLevel = false;
    if (!m_transport->open(settings))
        qWarning() << "WARNING: Failed to open GPS serial port.";
}

void GpsSerialPortThread::closeTransport()
{
    if (!m_transport)
        return;
    m_transport->disconnect(this);
    if (m_transport->isOpen()) {
        m_transport->clear();
        m_transport->close();
    }
    // Deleted later: this may run from inside one of the transport's own signals.
    m_transport.release()->deleteLater();
}

void GpsSerialPortThread::stopGpsSerialPort()
{
    m_pollTimer.stop();
    if (m_transport && m_transport->isOpen()) {
        // A port whose device has gone fails its clear; that error must not reach the station
        // while it shuts down (its slots would run on members already destroyed).
        const QSignalBlocker quiet(m_transport.get());
        m_transport->clear();
        m_transport->close();
    }
    if (isRunning()) {
        quit();
        wait(2000);
    }
}

void GpsSerialPortThread::OnSendGpsMessage(QByteArray qbMsg)
{
    if (!isPortOpen())
        return;
    QByteArray message = qbMsg;
    if (message.isEmpty() || message.at(0) != 0x10)
        message.append("\r\n");
    m_transport->write(message);
    m_transport->waitForBytesWritten(250);
}

void GpsSerialPortThread::handleReadyRead()
{
    if (!m_transport)
        return;
    m_inputChunk = m_transport->readAll();
    m_framedMode = currentMode();
    if (m_framedMode != m_lastFramedMode) {
        m_lastFramedMode = m_framedMode;
        m_framer.setMode(m_framedMode);   // drops every partial message
    }
    if (m_inputChunk.isEmpty() || m_framedMode >= ReceiverMode::Search)
        return;
    // Frames are queued and handed on after the chunk is framed: a receiver of newGpsText may
    // run a local event loop (waiting for a command's answer) that reads more bytes.
    const QByteArray chunk = m_inputChunk;
    m_framer.feed(chunk, m_ppsPending, m_sink);
    drainQueue();
}

void GpsSerialPortThread::drainQueue()
{
    while (!m_outQueue.isEmpty())
        Q_EMIT newGpsText(m_outQueue.takeFirst());
}

void GpsSerialPortThread::handleError(int code)
{
    if (code == 0)
        return;
    Q_EMIT showErrorMessageBox(errorMessage(m_portName, code));
}

void GpsSerialPortThread::handleTimedPolls()
{
    if (!isPortOpen())
        return;
    m_ppsPinLevel = (m_transport->modemSignals() & m_ppsPinMask) != 0;
    if (m_ppsPinLevel == m_ppsPinPrevious)
        return;
    // Stored first: a receiver of PpsTick may run a local event loop that polls again.
    m_ppsPinPrevious = m_ppsPinLevel;
    if (m_ppsPinLevel) {
        if (m_ppsPending) {
            m_outQueue.append(ppsMarker());
            drainQueue();
        }
        m_ppsPending = true;
        Q_EMIT PpsTick();
    }
}
