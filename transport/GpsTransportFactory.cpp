#include "transport/GpsTransportFactory.h"

#include "transport/GpsPortSettings.h"
#include "transport/SerialTransport.h"
#include "transport/TcpTransport.h"

GpsTransportFactory::GpsTransportFactory()
{
    registerTransport(GpsPortSettings::tcpIpPortName(), [] { return std::make_unique<TcpTransport>(); });
    // The simulated receiver registers itself under GpsPortSettings::simulatorPortName().
}

void GpsTransportFactory::registerTransport(const QString &portName, Creator creator)
{
    if (creator)
        m_creators.insert(portName, std::move(creator));
    else
        m_creators.remove(portName);
}

bool GpsTransportFactory::isRegistered(const QString &portName) const
{
    return m_creators.contains(portName);
}

bool GpsTransportFactory::isReservedName(const QString &portName)
{
    return portName == GpsPortSettings::offPortName() || portName == GpsPortSettings::tcpIpPortName()
        || portName == GpsPortSettings::simulatorPortName();
}

std::unique_ptr<GpsTransport> GpsTransportFactory::create(const QString &portName) const
{
    if (portName.isEmpty() || portName == GpsPortSettings::offPortName())
        return nullptr;
    const auto it = m_creators.constFind(portName);
    if (it != m_creators.constEnd())
        return it.value()();
    if (isReservedName(portName))
        return nullptr;   // a reserved name with nothing behind it is no port
    return std::make_unique<SerialTransport>(portName);
}
