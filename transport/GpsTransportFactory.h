#pragma once

#include <QHash>
#include <QString>
#include <functional>
#include <memory>

class GpsTransport;

// Makes the transport for a port name. "OFF" (and a reserved name with nothing registered for
// it, such as "SIMULATOR" before the simulated receiver is registered) means no port at all;
// "TCP/IP" is a TCP link to a serial-to-network bridge; registered names get their creator;
// every other name is a serial port. Owned by the link, so each link may register its own.
class GpsTransportFactory
{
public:
    using Creator = std::function<std::unique_ptr<GpsTransport>()>;

    GpsTransportFactory();

    // Registers (or replaces) the transport made for a port name, e.g.
    //   link.transportFactory().registerTransport("SIMULATOR", [] { return std::make_unique<...>(); });
    void registerTransport(const QString &portName, Creator creator);
    bool isRegistered(const QString &portName) const;

    // Null for "no port".
    std::unique_ptr<GpsTransport> create(const QString &portName) const;

    // Names that never mean a serial device.
    static bool isReservedName(const QString &portName);

private:
    QHash<QString, Creator> m_creators;
};
