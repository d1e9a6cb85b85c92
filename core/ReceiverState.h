#pragma once

#include "core/GpsWeekRollover.h"
#include "core/ReceiverMode.h"
#include "core/ReceiverTime.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <array>
#include <cstdint>

// One record of the satellite table, indexed by satellite ID. svId 0 marks an empty slot
// whatever the other fields hold.
struct SatelliteRecord
{
    int32_t svId = 0;        // GPS PRN 1-32, SBAS 120-158, ...; above 256 never shown
    int32_t elevation = 0;   // degrees 0-90; negative = unknown
    int32_t azimuth = 0;     // degrees 0-359; negative = unknown
    int32_t cNo = 0;         // dB-Hz; 0 = no signal
    uint8_t inTrack = 0;     // 1 = reported in a channel of the last position message
    uint8_t trackMode = 0;   // channel tracking mode (Motorola 0-8, 8 = code lock)
    uint8_t svFlags = 0;     // status bits, see SvFlag
    int32_t riseSet = 0;     // +1 rising, -1 setting, 0 unknown
    int8_t used = -1;        // in the position fix: 1 yes, 0 no, -1 not reported

    bool operator==(const SatelliteRecord &) const = default;
};

namespace SvFlag {
// u-blox modes (9, 10)
constexpr uint8_t UbxUsed = 0x01;
constexpr uint8_t UbxUnhealthy = 0x10;
// every other mode
constexpr uint8_t ParityError = 0x01;
constexpr uint8_t SelectiveAvailability = 0x08;
constexpr uint8_t Unhealthy = 0x10;
constexpr uint8_t MomentumAlert = 0x40;
constexpr uint8_t MotorolaUsedInFix = 0x80;   // Motorola channel status; copied into `used`
} // namespace SvFlag

// The families whose answers receiver detection waits for. A decoder sets the flag of the
// family whose message it has just decoded; the waiting primitive clears it before sending.
enum class AnswerFamily : int {
    MotorolaNmea = 0,   // "$PMOTG" answers and $GPZDA
    GpAlm,              // "$GPALM"
    Garmin,             // Garmin proprietary echoes
    MotorolaBinary,     // "@@" frames
    Loran,              // LORAN output
    Ublox,              // UBX answers (MON-VER and other awaited UBX frames)
    Count
};

// A count shown in the status bar, with the flag the display clears once it has shown it.
struct ShownCount
{
    int32_t value = 0;
    bool changed = false;
    void set(int32_t v)
    {
        if (v != value)
            changed = true;
        value = v;
    }
};

// The receiver-model codes decided by identification (the names are in ReceiverModelInfo).
namespace ReceiverModelCode {
enum : int {
    Unknown = 0, GT = 1, GTPlus = 2, M12 = 3, M12Plus = 4, M12M = 5, PVT6 = 6, SL = 7, UT = 8,
    UTPlus = 9, VP = 10, XT = 11, VP6 = 12, GenericNmea = 15, CnxtNavman = 18, Signav = 19,
    Ublox = 20, TxOncore = 21, Ssr6Tf = 22, Ssr6Tr = 23, SsrM8F = 24, SsrM8T = 25,
};
}

// The decoded picture of the receiver. Decoders write it, the one-second cycle, the display,
// logs, remote commands and the PC clock read it. Owned by the station (one per main window);
// everything runs on the GUI thread, so there is no locking.
struct ReceiverState
{
    ReceiverState();

    // --- mode --------------------------------------------------------------------------
    int32_t receiverMode = ReceiverMode::Search;
    int32_t ppsInterface = 0;   // 0 none, 1 DCD, 2 CTS, 3 DSR

    // --- times -------------------------------------------------------------------------
    ReceiverTime receiverUtcDateTime;    // time of the last decoded time message
    ReceiverTime displayedUtcDateTime;   // copy made by the last clock-panel update
    int32_t leapSeconds = 0;             // GPS - UTC
    int32_t leapSecondPending = 0;       // 0 none, 1 +1 s pending, 2 -1 s pending
    int32_t utcOffsetSeconds = 0;        // from @@Bo
    double ppsQuantizationError = 0.0;   // ns, sawtooth correction of the next 1PPS
    bool ppsQuantizationErrorValid = false;
    int32_t pcClockOffsetMs = 0;        // PC clock minus receiver time, kept by the PC clock step
    // What the last time message said of itself: -1 it carries no such flags, 0 its time or
    // the leap seconds are not known yet, 1 both are known. The PC clock believes no 0.
    int32_t timeValidity = -1;
    // GPS week rollover correction applied to every received date (receiver settings).
    GpsWeekRollover weekRollover;
    // u-blox protocol version from MON-VER's "PROTVER" extension (e.g. 29.25); 0 when unknown.
    double ubxProtocolVersion = 0.0;
    // The last UBX acknowledgement: class and ID of the acknowledged command and whether it
    // was taken (ACK-ACK) or refused (ACK-NAK); `seen` false before the first.
    struct UbxAcknowledgement
    {
        bool seen = false;
        bool accepted = false;
        uint8_t cls = 0;
        uint8_t id = 0;
    } lastUbxAck;

    // --- per-second flags -------------------------------------------------------------
    bool timeMessageMissing = false;
    bool nmeaFirstOfSecond = false;
    bool nmeaTimePending = false;
    bool nmeaTimeSeen = false;
    bool outOfLock = true;

    // --- control flags ----------------------------------------------------------------
    bool receiverBusy = false;
    std::array<bool, static_cast<int>(AnswerFamily::Count)> commandAnswered {};
    bool closing = false;
    bool loranSeen = false;
    bool rawWindowOpened = false;
    bool gpsLogWriteNow = false;

    bool answered(AnswerFamily f) const { return commandAnswered[static_cast<int>(f)]; }
    void setAnswered(AnswerFamily f, bool v = true) { commandAnswered[static_cast<int>(f)] = v; }

    // Finer than the family flag: while this list is not empty, only a message that begins with
    // one of these heads answers the command being waited for (receiver detection sets it for
    // one wait, e.g. {"@@Cj"} or {"$GPZDA", "$PMOTG"}). Decoders report every message they
    // decoded through noteAnswer() with the message (or its header field).
    QList<QByteArray> awaitedAnswerHeads;
    void noteAnswer(AnswerFamily f, QByteArrayView message)
    {
        bool matches = awaitedAnswerHeads.isEmpty();
        for (const QByteArray &head : awaitedAnswerHeads)
            matches = matches || message.startsWith(head);
        if (matches)
            setAnswered(f);
    }

    // --- satellites -------------------------------------------------------------------
    static constexpr int SatelliteSlots = 256;
    std::array<SatelliteRecord, SatelliteSlots> satellites {};
    std::array<int32_t, SatelliteSlots> lastElevation {};   // -1 = none
    std::array<int32_t, SatelliteSlots> elevationTrend {};  // +1 / -1
    ShownCount visibleCount;
    ShownCount trackedCount;
    ShownCount usedCount;

    // --- indicators -------------------------------------------------------------------
    int32_t antennaState = -1;      // 0 OK, 1 OC short, 2 open, 3 no power, other unknown
    int32_t navigationState = -1;   // 0 navigating, 1 position hold, 2 surveying, other unknown

    // --- identity and capabilities ---------------------------------------------------
    int32_t receiverModel = ReceiverModelCode::Unknown;
    QString firmwareVersionText;
    double firmwareVersion = 0.0;
    QString softwareDateText;
    bool ssrPlus = false;
    bool ssrPlusPlus = false;
    bool nmeaCapable = true;
    int32_t channelCount = 0;
    int32_t channelCountUsed = 0;
    bool hasDgps = false;
    bool hasTraim = false;

    // Position-message precedence: counted down by the one-second cycle while above 0.
    int32_t haCountdown = 0;
    int32_t eaCountdown = 0;
    int32_t baCountdown = 0;
    int64_t lastBbTime = 0;   // ms since the epoch of the last @@Bb
    int64_t lastBbPollMs = 0; // ms since the epoch "@@Bb" was last asked for
    bool baSeen = false;      // a position message of each family has been decoded
    bool eaSeen = false;
    bool haSeen = false;

    // Motorola timing: T-RAIM and time-solution status, and the T-RAIM settings sent out.
    int32_t timeSolutionAccuracy = 0;   // ns, one sigma
    bool bnSeen = false;                // a T-RAIM message of each family has been decoded
    bool enSeen = false;
    bool hnSeen = false;
    bool receiverIdHnRequested = false; // the next @@Hn text replaces the receiver-ID window
    uint8_t traimRate = 0;
    uint8_t traimEnabled = 0;
    uint16_t traimAlarmLimit = 10;      // units of 100 ns
    uint8_t ppsControl = 1;

    // Stores the date-time of a decoded time message as receiverUtcDateTime, moved forward by
    // the week rollover correction, with the message's millisecond part.
    void storeReceiverTime(const QDateTime &utc, int32_t milliseconds);

    // Clears the satellite table and the per-satellite elevation history.
    void clearSatellites();
};
