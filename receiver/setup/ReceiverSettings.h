#pragma once

#include "core/GpsWeekRollover.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdint>
#include <functional>

class QSettings;
class ReceiverCommandSink;
struct ReceiverState;

// The user's receiver choices ("GPS Receiver Mode Selections"), kept under "GpsRxDialog/".
//
// Button-group fields hold the id of the checked button; -1 means nothing was stored yet, and
// then the group's default button counts (the effective...() accessors). Defaults chosen for a
// fixed timing antenna:
//   Gps Mode 0 "3-D Nav"            Position Fix Mode 0 "All in view"
//   Satellite Selection 0 "Best Geometry ->"   Ionospheric/Tropospheric Delay 0 (corrections on)
//   GeometryButton 1 (PDOP)         Application Type 4 (Static)
//   Pps Rate 0 "1 PPS"              Pps Duration 0 "200 msec (long)"
struct ReceiverSettings
{
    // Navigation modes (the "Gps Mode" button ids; also the averaging engine's GPS mode).
    enum GpsMode { Nav3D = 0, Nav2D = 1, Nav0D = 2 };
    enum ApplicationType { Air = 0, Handheld = 1, Land = 2, Marine = 3, Static = 4 };

    static constexpr int DefaultGpsMode = Nav3D;
    static constexpr int DefaultPositionFixMode = 0;
    static constexpr int DefaultSatelliteSelection = 0;
    static constexpr int DefaultIonospheric = 0;
    static constexpr int DefaultTropospheric = 0;
    static constexpr int DefaultGeometryButton = 1;
    static constexpr int DefaultApplicationType = Static;
    static constexpr int DefaultPpsRate = 0;
    static constexpr int DefaultPpsDuration = 0;
    static constexpr int DefaultDgpsRate = 30;
    static constexpr int DefaultElevationMask = 5;
    static constexpr int MaxDgpsRate = 255;        // one byte, seconds per message
    static constexpr int MaxElevationMask = 89;    // degrees

    // Constellation bits of "@@Sc".
    enum Constellation : uint8_t {
        Gps = 0x01, Glonass = 0x02, Galileo = 0x04, Beidou = 0x08, Qzss = 0x10, Sbas = 0x80,
    };

    int gpsMode = -1;                 // "Gps Mode": 0 3-D, 1 2-D, 2 0-D (timing)
    bool localTime = false;           // "Gps Rx On Local Time"
    bool emulatePvt6 = false;         // "Emulate Pvt6"
    int positionFixMode = -1;         // 0 all in view, 1 best 4
    int satelliteSelection = -1;      // 0 best geometry, 1 highest in the sky
    int ionospheric = -1;             // 0 on, 1 disabled
    int tropospheric = -1;            // 0 on, 1 disabled
    int geometryButton = -1;          // 0 GDOP, 1 PDOP, 2 HDOP, 3 VDOP, 4 TDOP
    bool dgpsActivate = false;
    int dgpsRate = DefaultDgpsRate;   // seconds per message, 0..255
    bool alignMessages = false;
    int elevationMask = DefaultElevationMask;   // degrees, 0..89
    int applicationType = -1;         // 0 air, 1 handheld, 2 land, 3 marine, 4 static
    int ppsRate = -1;                 // 0 1 PPS, 1 100 PPS
    int ppsDuration = -1;             // 0 long (200 ms), 1 short (30 us)
    bool satGps = false;
    bool satGlonass = false;
    bool satGalileo = false;
    bool satBeidou = false;
    bool satQzss = false;
    bool satSbas = false;
    // "Garmin Rx": a Garmin receiver in Generic NMEA mode gets $PGRMC and $PGRMI at set-up.
    bool garmin = false;
    // Satellites the receiver must not use (bit n-1 = PRN n), from the satellite selection
    // dialog; stored as "%08X" text under "GpsRxDialog/Satellite Ignore Mask".
    uint32_t satelliteIgnoreMask = 0;
    // GPS week rollover correction of received dates: 0 none (default), 1 automatic, 2 a fixed
    // number of 1024-week epochs (1-4), stored under "Week Rollover" and "Week Rollover Epochs".
    int weekRollover = GpsWeekRollover::None;
    int weekRolloverEpochs = 1;
    GpsWeekRollover rollover() const
    {
        GpsWeekRollover r;
        r.mode = weekRollover;
        r.fixedEpochs = weekRolloverEpochs;
        return r;
    }

    int effectiveGpsMode() const { return orDefault(gpsMode, DefaultGpsMode); }
    int effectivePositionFixMode() const { return orDefault(positionFixMode, DefaultPositionFixMode); }
    int effectiveSatelliteSelection() const { return orDefault(satelliteSelection, DefaultSatelliteSelection); }
    int effectiveIonospheric() const { return orDefault(ionospheric, DefaultIonospheric); }
    int effectiveTropospheric() const { return orDefault(tropospheric, DefaultTropospheric); }
    int effectiveGeometryButton() const { return orDefault(geometryButton, DefaultGeometryButton); }
    int effectiveApplicationType() const { return orDefault(applicationType, DefaultApplicationType); }
    int effectivePpsRate() const { return orDefault(ppsRate, DefaultPpsRate); }
    int effectivePpsDuration() const { return orDefault(ppsDuration, DefaultPpsDuration); }
    bool shortPulse() const { return effectivePpsDuration() == 1; }

    // The constellation boxes as the "@@Sc" bit mask (before the one-bit rule of the command).
    uint8_t constellationMask() const;
    void setConstellationMask(uint8_t mask);

    // Reads every key. Missing keys take their default, unreadable or out-of-range values are
    // replaced by it; both are written back at once.
    static ReceiverSettings load(QSettings &settings);
    // Writes every key (not the dialog geometry).
    void save(QSettings &settings) const;

    bool operator==(const ReceiverSettings &) const = default;

    // Key names.
    static QString keyGpsMode() { return QStringLiteral("GpsRxDialog/Gps Mode"); }
    static QString keyLocalTime() { return QStringLiteral("GpsRxDialog/Gps Rx On Local Time"); }
    static QString keyEmulatePvt6() { return QStringLiteral("GpsRxDialog/Emulate Pvt6"); }
    static QString keyPositionFixMode() { return QStringLiteral("GpsRxDialog/Position Fix Mode"); }
    static QString keySatelliteSelection() { return QStringLiteral("GpsRxDialog/Satellite Selection"); }
    static QString keyIonospheric() { return QStringLiteral("GpsRxDialog/Ionospheric Delay"); }
    static QString keyTropospheric() { return QStringLiteral("GpsRxDialog/Tropospheric Delay"); }
    static QString keyGeometryButton() { return QStringLiteral("GpsRxDialog/GeometryButton"); }
    static QString keyGeometry() { return QStringLiteral("GpsRxDialog/Geometry"); }
    static QString keyDgpsActivate() { return QStringLiteral("GpsRxDialog/DGPS Activate"); }
    static QString keyDgpsRate() { return QStringLiteral("GpsRxDialog/DGPS Rate"); }
    static QString keyAlignMessages() { return QStringLiteral("GpsRxDialog/Align Messages"); }
    static QString keyElevationMask() { return QStringLiteral("GpsRxDialog/Elevation Mask"); }
    static QString keyApplicationType() { return QStringLiteral("GpsRxDialog/Application Type"); }
    static QString keyPpsRate() { return QStringLiteral("GpsRxDialog/Pps Rate"); }
    static QString keyPpsDuration() { return QStringLiteral("GpsRxDialog/Pps Duration"); }
    static QString keySatGps() { return QStringLiteral("GpsRxDialog/Sat Gps"); }
    static QString keySatGlonass() { return QStringLiteral("GpsRxDialog/Sat Glonass"); }
    static QString keySatGalileo() { return QStringLiteral("GpsRxDialog/Sat Galileo"); }
    static QString keySatBeidou() { return QStringLiteral("GpsRxDialog/Sat Beidou"); }
    static QString keySatQzss() { return QStringLiteral("GpsRxDialog/Sat Qzss"); }
    static QString keySatSbas() { return QStringLiteral("GpsRxDialog/Sat Sbas"); }
    static QString keyGarmin() { return QStringLiteral("GpsRxDialog/Garmin"); }
    static QString keySatelliteIgnoreMask() { return QStringLiteral("GpsRxDialog/Satellite Ignore Mask"); }
    static QString keyWeekRollover() { return QStringLiteral("GpsRxDialog/Week Rollover"); }
    static QString keyWeekRolloverEpochs() { return QStringLiteral("GpsRxDialog/Week Rollover Epochs"); }

private:
    static int orDefault(int v, int def) { return v < 0 ? def : v; }
};

// The station's reference position, for position hold (Motorola "@@As", u-blox fixed
// position) and the Garmin initialisation. Without a valid position none of them is sent.
struct ReceiverReferencePosition
{
    bool valid = false;
    double latDeg = 0.0;      // north positive
    double lonDeg = 0.0;      // east positive
    double heightEllipsoidM = 0.0;
    double heightMslM = 0.0;
};

// One command of the settings sequence, without checksum (the send path completes it).
struct ReceiverSettingsCommand
{
    QByteArray bytes;
    bool awaitAnswer = false;   // send and wait for the answer with the same identifier

    bool operator==(const ReceiverSettingsCommand &) const = default;
};

namespace ReceiverSettingsCommands {

// Every command for the current receiver mode, in sending order: the Motorola binary sequence
// (mode 2), CFG-NAV5 and the time mode (u-blox modes 9, 10; CFG-TMODE and CFG-TMODE2 for a
// receiver of unknown protocol version, CFG-TMODE2 alone from version 15, configuration keys
// awaiting their acknowledgement from 27); nothing in the other modes.
// Reads the receiver identity (model, channel count) and the T-RAIM state from `state`.
QList<ReceiverSettingsCommand> forReceiver(const ReceiverSettings &settings, const ReceiverState &state,
                                          const ReceiverReferencePosition &reference);
// The bytes alone.
QList<QByteArray> bytesOf(const QList<ReceiverSettingsCommand> &commands);

// The Garmin sentences ($PGRMC with the fix mode and altitude, $PGRMI with the position);
// $PGRMI only with a valid reference position. Without checksum.
QList<QByteArray> garmin(const ReceiverSettings &settings, const ReceiverReferencePosition &reference);

// PVT6 emulation is offered to 8-channel receivers only.
bool pvt6Offered(const ReceiverState &state);
// The channel count the settings sequence works with: 6 for an 8-channel receiver emulating a
// PVT6 (its "@@Ba"/"@@Bk"/"@@Bn" message set, position hold by "@@At"), else the receiver's.
int channelsUsed(const ReceiverSettings &settings, const ReceiverState &state);

// The "@@Sc" constellation byte: the mask, or GPS alone when fewer than two bits are set.
uint8_t constellationCommandByte(uint8_t mask);

// A constellation rule the boxes break, as the dialog shows it; empty when they are fine.
// `galileoCapable` is false for SSR-M8 firmware before 3.01.
QString constellationProblem(uint8_t mask, bool galileoCapable);

// ", PVT6 Mode" appended to or removed from a receiver description.
QString withPvt6Suffix(const QString &description, bool pvt6);

} // namespace ReceiverSettingsCommands

// How the awaited commands wait: the answer must come within timeoutMs; incoming frames go on
// being decoded meanwhile (the receiver-busy flag is lowered for the wait).
struct ReceiverSettingsWait
{
    int timeoutMs = 3000;
    bool enabled = true;   // false: awaited commands are only sent (tests, recording sinks)
    // Told the text of a UBX command the receiver refused (ACK-NAK), e.g. for the raw-data window.
    std::function<void(const QString &)> refused;
};

// Sends the settings for the current receiver mode through `sink` and updates the state they
// touch: in Motorola binary mode the channel count used (6 with PVT6 emulation, else the
// receiver's) and the request that the next "@@Hn" text fills the receiver-ID window.
void applyReceiverSettings(ReceiverState &state, const ReceiverSettings &settings,
                           const ReceiverReferencePosition &reference, ReceiverCommandSink &sink,
                           const ReceiverSettingsWait &wait = {});
