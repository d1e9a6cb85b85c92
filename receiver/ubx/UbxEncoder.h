#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <cstdint>

// The receiver's side of the UBX protocol: the messages a u-blox timing module sends, as
// complete frames (check bytes included), and readers for the configuration commands it is
// sent. Used by the simulated u-blox receiver, the benchmarks and the tests; field layouts are
// those UbxDecoder reads.
namespace UbxEncoder {

// Little-endian payload writer; frame() wraps the payload into a complete frame.
class PayloadWriter
{
public:
    PayloadWriter &u8(uint32_t v)
    {
        m_bytes.append(char(v & 0xFF));
        return *this;
    }
    PayloadWriter &u16(uint32_t v) { return u8(v).u8(v >> 8); }
    PayloadWriter &u32(uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
    PayloadWriter &i32(int32_t v) { return u32(uint32_t(v)); }
    PayloadWriter &zeros(int n)
    {
        m_bytes.append(QByteArray(n, '\0'));
        return *this;
    }
    // Latin-1 text in a field of `width` bytes, cut to leave room for the closing NUL.
    PayloadWriter &text(const QString &s, int width);
    QByteArray frame(uint8_t cls, uint8_t id) const;

private:
    QByteArray m_bytes;
};

// NAV-TIMEUTC at a UTC time; nano is the signed fraction of the second in nanoseconds and is
// added to `utc` truncated to the whole second. valid 0x07 = TOW, week and UTC valid.
QByteArray navTimeUtc(uint32_t iTow, const QDateTime &utc, int32_t nano = 0, uint32_t tAcc = 10, uint8_t valid = 0x07);
// NAV-TIMEGPS; valid 0x07 = TOW, week and leap seconds valid.
QByteArray navTimeGps(uint32_t iTow, int16_t week, int8_t leapSeconds, uint8_t valid = 0x07, int32_t fTow = 0,
                      uint32_t tAcc = 10);
// NAV-POSLLH from degrees and metres (rounded to 1e-7 degree and millimetres).
QByteArray navPosLlh(uint32_t iTow, double latDeg, double lonDeg, double heightM, double mslM, uint32_t hAccMm = 2000,
                     uint32_t vAccMm = 3000);
// NAV-STATUS; gpsFix 0 none, 2 2-D, 3 3-D, 5 time only.
QByteArray navStatus(uint32_t iTow, uint8_t gpsFix, uint8_t flags = 0x0D, uint32_t ttffMs = 30000, uint32_t msss = 0);
// NAV-DOP from plain values (sent in units of 0.01).
struct Dops
{
    double g = 0, p = 0, t = 0, v = 0, h = 0, n = 0, e = 0;
};
QByteArray navDop(uint32_t iTow, const Dops &dops);
// NAV-VELNED with the ground speed in cm/s and the heading in degrees.
QByteArray navVelNed(uint32_t iTow, uint32_t groundSpeedCmS, double headingDeg);

// One channel block of NAV-SVINFO.
struct SvChannel
{
    uint8_t chn = 0;
    uint8_t svid = 0;
    uint8_t flags = 0;     // bit 0 used, bit 4 unhealthy, ...
    uint8_t quality = 0;   // 0 idle ... 4 code lock ... 7 carrier lock
    uint8_t cno = 0;
    int8_t elev = 0;
    int16_t azim = 0;
    int32_t prRes = 0;     // cm
};
QByteArray navSvInfo(uint32_t iTow, const QList<SvChannel> &channels, uint8_t globalFlags = 0x00);

// TIM-TP: qErr in picoseconds; flags bit 0 = UTC time base, bit 1 = UTC available.
QByteArray timTp(uint32_t towMs, int32_t qErrPs, uint16_t week, uint32_t towSubMs = 0, uint8_t flags = 0x03);
// TIM-SVIN progress of a survey-in.
QByteArray timSvin(uint32_t durationS, uint32_t observations, bool valid, bool active, int32_t meanX = 0,
                   int32_t meanY = 0, int32_t meanZ = 0, uint32_t meanV = 0);
// MON-VER: 30-byte software, 10-byte hardware and 30-byte extension strings.
QByteArray monVer(const QString &software, const QString &hardware, const QStringList &extensions = {});
// MON-HW with the antenna status (0 init, 1 unknown, 2 OK, 3 short, 4 open) and power.
QByteArray monHw(uint8_t aStatus, uint8_t aPower = 1, uint16_t noisePerMs = 80, uint16_t agcCnt = 4000);
// ACK-ACK and ACK-NAK for a command of the given class and ID.
QByteArray ackAck(uint8_t cls, uint8_t id);
QByteArray ackNak(uint8_t cls, uint8_t id);

// --- commands the receiver is sent -----------------------------------------------------------

// Class and ID of a complete, checksum-correct frame; false for anything else.
bool frameId(QByteArrayView frame, uint8_t &cls, uint8_t &id);
// The payload of a complete frame (empty for anything else).
QByteArrayView payload(QByteArrayView frame);
// A poll: a complete frame of this class and ID with no payload.
bool isPoll(QByteArrayView frame, uint8_t cls, uint8_t id);
// CFG-MSG setting a rate on the current port (3-byte form): the target message and its rate.
bool readCfgMsg(QByteArrayView frame, uint8_t &msgClass, uint8_t &msgId, uint8_t &rate);
// CFG-PRT carrying a port configuration (20-byte form): port ID and baud rate.
bool readCfgPrt(QByteArrayView frame, uint8_t &portId, uint32_t &baudRate);

} // namespace UbxEncoder
