#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <array>
#include <cstdint>
#include <vector>

// Builds the Motorola Oncore "@@" messages a receiver sends, byte for byte as they travel on the
// wire: "@@", identifier, body, checksum, CR, LF. Used by the simulated receiver; it shares no
// code with the decoder on purpose, so that one can be checked against the other.
namespace MotorolaEncoder {

// Exclusive-or of the bytes (over a whole frame the two '@' cancel each other).
uint8_t checksum(QByteArrayView bytes);

// "@@" + id + body + checksum + CR LF.
QByteArray frame(const char id[2], QByteArrayView body);

// Big-endian body writer.
class Body
{
public:
    Body &u8(uint8_t v) { m_b.append(char(v)); return *this; }
    Body &i8(int8_t v) { return u8(uint8_t(v)); }
    Body &u16(uint16_t v) { return u8(uint8_t(v >> 8)).u8(uint8_t(v)); }
    Body &i16(int16_t v) { return u16(uint16_t(v)); }
    Body &u32(uint32_t v) { return u16(uint16_t(v >> 16)).u16(uint16_t(v)); }
    Body &i32(int32_t v) { return u32(uint32_t(v)); }
    Body &text(QByteArrayView t, qsizetype width, char pad = ' ');
    Body &zeros(qsizetype n) { m_b.append(QByteArray(n, '\0')); return *this; }
    const QByteArray &bytes() const { return m_b; }
    qsizetype size() const { return m_b.size(); }

private:
    QByteArray m_b;
};

// Date and time of a time message (taken as UTC by the program).
struct TimeStamp
{
    int year = 2000;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
    uint32_t nanoseconds = 0;

    static TimeStamp fromUtc(const QDateTime &utc, uint32_t nanoseconds = 0);
};

// One receiver channel of a position message.
struct Channel
{
    uint8_t svId = 0;
    uint8_t mode = 0;      // 0 code search ... 8 code lock
    uint8_t signal = 0;    // dB-Hz, or AMU on the AMU models
    uint8_t iode = 0;      // 12-channel messages only
    uint16_t status = 0;   // one byte in the 6/8-channel messages
};

// Contents of a position/status/data message ("@@Ba", "@@Ea", "@@Ha", "@@Hb").
struct PositionMessage
{
    TimeStamp time;
    int32_t latitudeMas = 0;      // milliarcseconds, north positive
    int32_t longitudeMas = 0;     // milliarcseconds, east positive
    int32_t heightCm = 0;         // above the ellipsoid
    int32_t mslHeightCm = 0;      // above mean sea level (0 = not known)
    // Second (unfiltered) position set of "@@Ha".
    int32_t rawLatitudeMas = 0;
    int32_t rawLongitudeMas = 0;
    int32_t rawHeightCm = 0;
    int32_t rawMslHeightCm = 0;
    uint16_t speedCmS = 0;
    uint16_t speed2dCmS = 0;
    uint16_t headingTenths = 0;
    uint16_t dopTenths = 0;
    uint8_t dopType = 0;          // 6/8-ch byte 37: 0 PDOP, 1 HDOP; bit 5 survey; bits 6-7 antenna
    uint8_t visible = 0;
    uint8_t tracked = 0;
    std::vector<Channel> channels;   // padded with empty channels (or cut) to the family's count
    uint16_t receiverStatus = 0;     // "@@Ha"/"@@Hb": the word; 6/8-ch: the low byte
    // "@@Ha" tail.
    int16_t clockBiasNs = 0;
    uint32_t oscillatorOffsetHz = 0;
    int16_t temperatureHalfDegrees = 0;
    uint8_t utcParameters = 0;
    std::array<uint8_t, 3> gmtOffset {};
    QByteArray idTag = QByteArray(6, ' ');   // six characters
};

QByteArray ha(const PositionMessage &m);   // 12-channel, 154 bytes
QByteArray hb(const PositionMessage &m);   // 12-channel short, 54 bytes
QByteArray ea(const PositionMessage &m);   // 8-channel, 76 bytes
QByteArray ba(const PositionMessage &m);   // 6-channel, 68 bytes

// One record of "@@Bb".
struct VisibleSatellite
{
    uint8_t svId = 0;
    int16_t dopplerHz = 0;
    uint8_t elevation = 0;   // degrees
    uint16_t azimuth = 0;    // degrees
    uint8_t health = 0;
};
// Always 12 records (92 bytes); the count byte says how many are used.
QByteArray bb(const std::vector<VisibleSatellite> &satellites);

// T-RAIM and time solution ("@@Hn", "@@En", "@@Bn").
struct TraimMessage
{
    uint8_t rate = 1;
    uint8_t traimEnabled = 1;
    uint16_t alarmLimit = 10;      // units of 100 ns ("@@En"/"@@Bn")
    uint8_t ppsControl = 1;
    std::array<uint8_t, 10> spare { 0, 0, 1, 0, 0, 0, 0, 0, 0, 0 };   // "@@En"/"@@Bn" bytes 9-18
    uint8_t pulseStatus = 1;       // 1 on
    uint8_t ppsSync = 0;           // 0 UTC, 1 GPS
    uint8_t solutionStatus = 0;    // 0 OK, 1 alarm, 2 unknown
    uint8_t traimStatus = 0;       // 0 detect and isolate, 1 detect only, 2 neither
    uint32_t removedSvMask = 0;    // "@@Hn"
    uint16_t accuracyNs = 0;
    int8_t sawtoothNs = 0;
    struct Residual
    {
        uint8_t svId = 0;
        int32_t offsetNs = 0;
    };
    std::vector<Residual> residuals;   // padded or cut to the family's count
};
QByteArray hn(const TraimMessage &m);   // 78 bytes, 12 records
QByteArray en(const TraimMessage &m);   // 69 bytes, 8 records
QByteArray bn(const TraimMessage &m);   // 59 bytes, 6 records

// DOP and velocity ("@@Ek" 71 bytes, "@@Bk" 69 bytes).
struct DopMessage
{
    uint16_t gdop = 0, pdop = 0, hdop = 0, vdop = 0, tdop = 0;   // 0.1
    int16_t magneticVariation = 0;                                 // 0.1 degree
    int16_t velocityNorth = 0, velocityEast = 0, velocityUp = 0;   // cm/s
    uint16_t correctionAge = 0;
};
QByteArray ek(const DopMessage &m);
QByteArray bk(const DopMessage &m);

QByteArray bj(int8_t leapStatus);             // 0 none, 1 addition, 2 subtraction pending
QByteArray bo(uint8_t utcOffsetSeconds);
// "@@Gj": present and future leap seconds, date and time of the event.
struct LeapMessage
{
    int8_t presentLeapSeconds = 18;
    int8_t futureLeapSeconds = 18;
    uint16_t year = 2016;
    uint8_t month = 12;
    uint8_t day = 31;
    int32_t integerSeconds = 86400;
    uint32_t fractionNs = 0;
};
QByteArray gj(const LeapMessage &m);

// The receiver identification text ("@@Cj", 294 bytes).
struct Identification
{
    enum Maker { Motorola, Synergy, ILotus, Conexant, Signav, Sirf };
    Maker maker = Motorola;
    QByteArray modelNumber;        // "P283T12NR5", "B4121P1155", "SSR-6Tr+" ...
    QByteArray softwareVersion;    // e.g. "2"
    QByteArray softwareRevision;   // e.g. "0"
    QByteArray softwareDate = "MAY 18 2004";
    QByteArray serialNumber = "SIM0000001";
    QByteArray partNumber = "61-G10268A";
};
QByteArray cj(const Identification &id);
// Offsets (from the first '@') of the fields a reader takes from the identification text.
constexpr int CjVersionOffset = 84;
constexpr int CjVersionOffsetILotus = 83;
constexpr int CjRevisionOffset = 112;
constexpr int CjModelOffset = 164;
constexpr int CjModelOffsetSirf = 161;

// Wire length of a message this encoder builds (0 when it builds none with that identifier).
int wireLength(char family, char letter);

// Wire bytes of a rate-change command answer: the two code bytes of "@@Wb" for a port rate,
// or {0, 0} when the rate has none. codeRate() is the inverse (0 for an unknown code).
std::array<uint8_t, 2> rateCode(int rate);
int codeRate(uint8_t hi, uint8_t lo);

} // namespace MotorolaEncoder
