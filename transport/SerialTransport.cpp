#include "transport/SerialTransport.h"

#include "transport/GpsPortSettings.h"
#include "transport/PortErrors.h"

SerialTransport::SerialTransport(const QString &portName, QObject *parent)
    : GpsTransport(parent)
{
    m_port.setPortName(portName);
    connect(&m_port, &QSerialPort::readyRead, this, &GpsTransport::readyRead);
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialTransport::onError);
}

SerialTransport::~SerialTransport()
{
    QObject::disconnect(&m_port, nullptr, this, nullptr);
    if (m_port.isOpen())
        m_port.close();
}

QSerialPort::DataBits SerialTransport::dataBitsFor(int stored)
{
    return stored == 7 ? QSerialPort::Data7 : QSerialPort::Data8;
}

QSerialPort::StopBits SerialTransport::stopBitsFor(int stored)
{
    return stored == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop;
}

QSerialPort::Parity SerialTransport::parityFor(int stored)
{
    switch (stored) {
    case 1: return QSerialPort::OddParity;
    case 2: return QSerialPort::EvenParity;
    case 3: return QSerialPort::MarkParity;
    case 4: return QSerialPort::SpaceParity;
    default: return QSerialPort::NoParity;
    }
}

QSerialPort::FlowControl SerialTransport::flowControlFor(int stored)
{
    switch (stored) {
    case 1: return QSerialPort::SoftwareControl;
    case 2: return QSerialPort::HardwareControl;
    default: return QSerialPort::NoFlowControl;   // including 3 (DTR/DSR)
    }
}

bool SerialTransport::open(const GpsPortSettings &settings)
{
    if (m_port.isOpen())
        m_port.close();
    m_noModemLines = false;
    m_port.setBaudRate(settings.dataRate, QSerialPort::AllDirections);
    m_port.setFlowControl(flowControlFor(settings.handshake));
    m_port.setStopBits(stopBitsFor(settings.stopBits));
    m_port.setParity(parityFor(settings.parity));
    m_port.setDataBits(dataBitsFor(settings.dataBits));
    return m_port.open(QIODevice::ReadWrite);
}

void SerialTransport::close()
{
    if (m_port.isOpen()) {
        m_port.clear(QSerialPort::AllDirections);
        m_port.close();
    }
}

bool SerialTransport::isOpen() const
{
    return m_port.isOpen();
}

QByteArray SerialTransport::readAll()
{
    return m_port.readAll();
}

qint64 SerialTransport::write(const QByteArray &bytes)
{
    return m_port.write(bytes);
}

bool SerialTransport::waitForBytesWritten(int msecs)
{
    return m_port.waitForBytesWritten(msecs);
}

void SerialTransport::clear()
{
    if (m_port.isOpen())
        m_port.clear(QSerialPort::AllDirections);
}

int SerialTransport::modemSignals()
{
    if (!m_port.isOpen() || m_noModemLines)
        return 0;
    m_queryingSignals = true;
    const QSerialPort::PinoutSignals pins = m_port.pinoutSignals();
    m_queryingSignals = false;
    if (m_port.error() != QSerialPort::NoError) {
        // A device without modem lines (a pseudo-terminal, some USB bridges) fails here on
        // every poll: remember it rather than reporting an error a hundred times a second.
        m_noModemLines = true;
        m_port.clearError();
        return 0;
    }
    return static_cast<int>(pins) & (Dcd | Dsr | Cts);
}

void SerialTransport::onError(QSerialPort::SerialPortError error)
{
    if (error == QSerialPort::NoError || m_queryingSignals)
        return;
    // A vanished device keeps signalling, and whoever handles the report may run an event loop
    // that would read it again: close first. Reopening is the owner's call.
    if (PortErrors::isLoss(int(error)) && m_port.isOpen())
        m_port.close();
    Q_EMIT errorOccurred(static_cast<int>(error));
}
