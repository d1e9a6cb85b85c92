#include "transport/PortErrors.h"

namespace PortErrors {

QString description(int code)
{
    switch (code) {
    case DeviceNotFound:
        return QStringLiteral("An error occurred while attempting to open an non-existing device.");
    case Permission:
        return QStringLiteral("An error occurred while attempting to open an already opened device by another "
                              "process or a user not having enough permission and credentials to open.");
    case AlreadyOpen:
        return QStringLiteral("An error occurred while attempting to open an already opened device in this object.");
    case Write:
        return QStringLiteral("An I/O error occurred while writing the data.");
    case Read:
        return QStringLiteral("An I/O error occurred while reading the data.");
    case Resource:
        return QStringLiteral("An I/O error occurred when a resource becomes unavailable, e.g. when the device is "
                              "unexpectedly removed from the system.");
    case Unsupported:
        return QStringLiteral("The requested device operation is not supported or is prohibited by the running "
                              "operating system.");
    case Timeout:
        return QStringLiteral("A timeout error occurred. This value was introduced in QtSerialPort 5.2.");
    case NotOpen:
        return QStringLiteral("This error occurs when an operation is executed that can only be successfully "
                              "performed if the device is open. This value was introduced in QtSerialPort 5.2.");
    default:
        return QStringLiteral("Unknown Error");
    }
}

bool isLoss(int code)
{
    return code == DeviceNotFound || code == Permission || code == Read || code == Write || code == Resource
        || code == NotOpen;
}

} // namespace PortErrors
