#pragma once

#include "receiver/ubx/UbxConfiguration.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QList>

// What today's u-blox timing modules add to the simulated u-blox receiver: the messages of the
// M8 and F9 generations and the configuration-key interface of the F9T ("ZED-F9T", protocol
// 29.25; "NEO-M8T", protocol 22.00, has the messages but no configuration keys).
//   - NAV-PVT: valid date and time, a 3-D fix (time-only in position hold), the position meant
//     for the epoch, the satellites tracked and the PDOP;
//   - NAV-SAT: the simulated GPS sky, and for each GPS satellite a Galileo satellite of the same
//     number, a BeiDou one for numbers up to 37 and a GLONASS slot for numbers up to 24, on
//     other azimuths (+120, +240, +60 degrees) and a little lower; tracked satellites are used
//     (quality 7), the others searched (quality 1); all healthy;
//   - MON-RF: one RF block, antenna OK and powered;
//   - CFG-VALSET: output rates on UART 1 and the time mode (2 = position hold) are applied,
//     the port, antenna and navigation keys are taken as they come; a frame with a key the
//     receiver does not know is refused whole (ACK-NAK), as the receiver does.
namespace SimulatedUbloxF9 {

// What the messages need of one simulated second (the owner fills it from its epoch).
struct Epoch
{
    struct Satellite
    {
        int svId = 0;
        int elevation = 0;
        int azimuth = 0;
        int cNo = 0;
        bool tracked = false;
    };
    uint32_t towMs = 0;
    QDateTime utc;
    double latitude = 0, longitude = 0, height = 0, mslHeight = 0;
    int trackedCount = 0;
    int dopTenths = 0;
    int accuracyNs = 0;
    QList<Satellite> satellites;   // the GPS sky
};

QByteArray navPvt(const Epoch &e, bool timeOnly);
QByteArray navSat(const Epoch &e);
QByteArray monRf();

struct ValSet
{
    bool ok = false;
    QList<std::pair<Ubx::MessageId, int>> rates;   // output rate per message
    int timeMode = -1;                             // CFG-TMODE-MODE when set
    bool ecefSet = false;                          // CFG-TMODE-ECEF_X/Y/Z (cm) all given
    int32_t ecefCm[3] = { 0, 0, 0 };
    int minElevation = -1;                         // CFG-NAVSPG-INFIL_MINELEV when set
};
ValSet readValSet(QByteArrayView payload);

} // namespace SimulatedUbloxF9
