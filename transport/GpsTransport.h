#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

struct GpsPortSettings;

// A byte pipe to the receiver. Transports carry bytes, never protocol: a real serial port, a
// TCP socket (serial-to-network bridge), the simulated receiver and a capture replay all feed
// the same framers through this interface.
class GpsTransport : public QObject
{
    Q_OBJECT
public:
    // Modem input bits, with the serial library's pinout-signal values.
    enum ModemSignal : int { Dcd = 0x08, Dsr = 0x10, Cts = 0x80 };

    using QObject::QObject;
    ~GpsTransport() override = default;

    // Opens (or re-opens) with the given settings. On failure emits errorOccurred with a
    // serial-library error code and returns false.
    virtual bool open(const GpsPortSettings &settings) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // Open and able to carry bytes now (a network link that is still connecting is open but
    // not connected).
    virtual bool isConnected() const { return isOpen(); }
    // Everything received and not yet read.
    virtual QByteArray readAll() = 0;
    virtual qint64 write(const QByteArray &bytes) = 0;
    virtual bool waitForBytesWritten(int msecs) { Q_UNUSED(msecs); return true; }
    // Drops whatever is buffered in both directions.
    virtual void clear() {}
    // Current modem input lines as ModemSignal bits; 0 when the transport has none (a TCP
    // link, a pseudo-terminal).
    virtual int modemSignals() { return 0; }
    virtual QString name() const = 0;

Q_SIGNALS:
    void readyRead();
    // Error codes follow the serial library's numbering (1 device not found, 2 permission, ...;
    // PortErrors). An error that loses the device closes the transport before it is reported,
    // so nothing handling the report can read from a dead port.
    void errorOccurred(int code);
};
