#include "receiver/ProtocolTable.h"

#include "core/ReceiverMode.h"

#include <array>

namespace {

using F = Framing;
using P = ProtocolFamily;
using namespace ReceiverMode;

const std::array<ProtocolRow, 7> kRows { {
    { MotorolaLoran, F::Loran, P::Loran, nullptr, false, makeLoranDriver },
    { MotorolaNmea, F::Nmea, P::Nmea, "motorola-nmea", false, makeNmeaDriver },
    { MotorolaBinary, F::Motorola, P::Motorola, "motorola", false, makeMotorolaDriver },
    { MotorolaBinaryRxOnly, F::Motorola, P::Motorola, "motorola-rx", true, makeMotorolaDriver },
    { GenericNmea, F::Nmea, P::Nmea, "generic-nmea", false, makeNmeaDriver },
    { UbloxUbx, F::NmeaUbx, P::Ublox, "ubx", false, makeUbloxDriver },
    { UbloxNmea, F::NmeaUbx, P::Ublox, "ublox-nmea", false, makeUbloxDriver },
} };

} // namespace

std::span<const ProtocolRow> protocolTable()
{
    return kRows;
}

const ProtocolRow *protocolRow(int mode)
{
    for (const ProtocolRow &row : kRows) {
        if (row.mode == mode)
            return &row;
    }
    return nullptr;
}

Framing framingOf(int mode)
{
    const ProtocolRow *row = protocolRow(mode);
    return row ? row->framing : Framing::None;
}

ProtocolFamily familyOf(int mode)
{
    const ProtocolRow *row = protocolRow(mode);
    return row ? row->family : ProtocolFamily::None;
}
