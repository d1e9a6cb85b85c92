#pragma once

#include <QString>

// The serial library's descriptions of its error codes, shown in the receiver's and the
// counters' port error texts.
namespace PortErrors {

// Error codes as the serial library numbers them.
enum Code : int {
    NoError = 0,
    DeviceNotFound = 1,
    Permission = 2,
    AlreadyOpen = 3,
    Write = 4,
    Read = 5,
    Resource = 6,
    Unsupported = 7,
    Unknown = 8,
    Timeout = 9,
    NotOpen = 10,
};

// The description of an error code ("Unknown Error" for codes without one).
QString description(int code);

// Whether an error leaves the link without its device (the port is closed when it happens).
bool isLoss(int code);

} // namespace PortErrors
