#pragma once

#include "transport/GpsTransport.h"

#include <QSerialPort>

// A real serial port. Modem input lines come from the port's pinout signals; a device that
// cannot report them (a pseudo-terminal) is treated as having none, without error reports.
class SerialTransport : public GpsTransport
{
    Q_OBJECT
public:
    explicit SerialTransport(const QString &portName, QObject *parent = nullptr);
    ~SerialTransport() override;

    bool open(const GpsPortSettings &settings) override;
    void close() override;
    bool isOpen() const override;
    QByteArray readAll() override;
    qint64 write(const QByteArray &bytes) override;
    bool waitForBytesWritten(int msecs) override;
    void clear() override;
    int modemSignals() override;
    QString name() const override { return m_port.portName(); }

    // The port settings as they are applied to the device (with the fall-backs for values
    // outside their range).
    static QSerialPort::DataBits dataBitsFor(int stored);
    static QSerialPort::StopBits stopBitsFor(int stored);
    static QSerialPort::Parity parityFor(int stored);
    static QSerialPort::FlowControl flowControlFor(int stored);

    QSerialPort &port() { return m_port; }

private:
    void onError(QSerialPort::SerialPortError error);

    QSerialPort m_port;
    bool m_queryingSignals = false;
    bool m_noModemLines = false;
};
