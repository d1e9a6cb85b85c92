#include "receiver/ubx/UbxEncoder.h"

#include "receiver/ubx/UbxConfiguration.h"

#include <QDate>
#include <QTime>
#include <cmath>

namespace UbxEncoder {

namespace {

uint32_t hundredths(double v)
{
    return v <= 0 ? 0u : uint32_t(qMin(65535.0, std::round(v * 100.0)));
}

} // namespace

PayloadWriter &PayloadWriter::text(const QString &s, int width)
{
    QByteArray t = s.toLatin1().left(width - 1);   // always NUL-terminated
    t.resize(width, '\0');
    m_bytes.append(t);
    return *this;
}

QByteArray PayloadWriter::frame(uint8_t cls, uint8_t id) const
{
    return Ubx::withChecksum(Ubx::frame(cls, id, m_bytes));
}

QByteArray navTimeUtc(uint32_t iTow, const QDateTime &utc, int32_t nano, uint32_t tAcc, uint8_t valid)
{
    const QDateTime t = utc.toUTC();
    return PayloadWriter()
        .u32(iTow)
        .u32(tAcc)
        .i32(nano)
        .u16(uint32_t(t.date().year()))
        .u8(uint32_t(t.date().month()))
        .u8(uint32_t(t.date().day()))
        .u8(uint32_t(t.time().hour()))
        .u8(uint32_t(t.time().minute()))
        .u8(uint32_t(t.time().second()))
        .u8(valid)
        .frame(Ubx::Nav, 0x21);
}

QByteArray navTimeGps(uint32_t iTow, int16_t week, int8_t leapSeconds, uint8_t valid, int32_t fTow, uint32_t tAcc)
{
    return PayloadWriter().u32(iTow).i32(fTow).u16(uint16_t(week)).u8(uint8_t(leapSeconds)).u8(valid).u32(tAcc).frame(Ubx::Nav, 0x20);
}

QByteArray navPosLlh(uint32_t iTow, double latDeg, double lonDeg, double heightM, double mslM, uint32_t hAccMm,
                     uint32_t vAccMm)
{
    return PayloadWriter()
        .u32(iTow)
        .i32(int32_t(std::llround(lonDeg * 1e7)))
        .i32(int32_t(std::llround(latDeg * 1e7)))
        .i32(int32_t(std::llround(heightM * 1000.0)))
        .i32(int32_t(std::llround(mslM * 1000.0)))
        .u32(hAccMm)
        .u32(vAccMm)
        .frame(Ubx::Nav, 0x02);
}

QByteArray navStatus(uint32_t iTow, uint8_t gpsFix, uint8_t flags, uint32_t ttffMs, uint32_t msss)
{
    return PayloadWriter().u32(iTow).u8(gpsFix).u8(flags).u8(0).u8(0).u32(ttffMs).u32(msss).frame(Ubx::Nav, 0x03);
}

QByteArray navDop(uint32_t iTow, const Dops &d)
{
    return PayloadWriter()
        .u32(iTow)
        .u16(hundredths(d.g))
        .u16(hundredths(d.p))
        .u16(hundredths(d.t))
        .u16(hundredths(d.v))
        .u16(hundredths(d.h))
        .u16(hundredths(d.n))
        .u16(hundredths(d.e))
        .frame(Ubx::Nav, 0x04);
}

QByteArray navVelNed(uint32_t iTow, uint32_t groundSpeedCmS, double headingDeg)
{
    return PayloadWriter()
        .u32(iTow)
        .zeros(12)              // velN, velE, velD
        .u32(groundSpeedCmS)    // speed (3-D): the same on the ground
        .u32(groundSpeedCmS)
        .i32(int32_t(std::llround(headingDeg * 1e5)))
        .u32(50)                // sAcc
        .u32(100000)            // cAcc
        .frame(Ubx::Nav, 0x12);
}

QByteArray navSvInfo(uint32_t iTow, const QList<SvChannel> &channels, uint8_t globalFlags)
{
    PayloadWriter w;
    const int n = int(qMin<qsizetype>(channels.size(), 255));
    w.u32(iTow).u8(uint32_t(n)).u8(globalFlags).u16(0);
    for (int i = 0; i < n; ++i) {
        const SvChannel &c = channels.at(i);
        w.u8(c.chn).u8(c.svid).u8(c.flags).u8(c.quality).u8(c.cno).u8(uint8_t(c.elev)).u16(uint16_t(c.azim)).i32(c.prRes);
    }
    return w.frame(Ubx::Nav, 0x30);
}

QByteArray timTp(uint32_t towMs, int32_t qErrPs, uint16_t week, uint32_t towSubMs, uint8_t flags)
{
    return PayloadWriter().u32(towMs).u32(towSubMs).i32(qErrPs).u16(week).u8(flags).u8(0).frame(Ubx::Tim, 0x01);
}

QByteArray timSvin(uint32_t durationS, uint32_t observations, bool valid, bool active, int32_t meanX, int32_t meanY,
                   int32_t meanZ, uint32_t meanV)
{
    return PayloadWriter()
        .u32(durationS)
        .i32(meanX)
        .i32(meanY)
        .i32(meanZ)
        .u32(meanV)
        .u32(observations)
        .u8(valid ? 1 : 0)
        .u8(active ? 1 : 0)
        .u16(0)
        .frame(Ubx::Tim, 0x04);
}

QByteArray monVer(const QString &software, const QString &hardware, const QStringList &extensions)
{
    PayloadWriter w;
    w.text(software, 30).text(hardware, 10);
    for (const QString &e : extensions)
        w.text(e, 30);
    return w.frame(Ubx::Mon, 0x04);
}

QByteArray monHw(uint8_t aStatus, uint8_t aPower, uint16_t noisePerMs, uint16_t agcCnt)
{
    return PayloadWriter()
        .zeros(16)         // pinSel, pinBank, pinDir, pinVal
        .u16(noisePerMs)
        .u16(agcCnt)
        .u8(aStatus)
        .u8(aPower)
        .u8(0x01)          // flags: RTC calibrated
        .u8(0)
        .u32(0x0001FFFF)   // usedMask
        .zeros(17)         // VP
        .u8(0)             // jamInd
        .u16(0)
        .zeros(12)         // pinIrq, pullH, pullL
        .frame(Ubx::Mon, 0x09);
}

QByteArray ackAck(uint8_t cls, uint8_t id)
{
    return PayloadWriter().u8(cls).u8(id).frame(Ubx::Ack, 0x01);
}

QByteArray ackNak(uint8_t cls, uint8_t id)
{
    return PayloadWriter().u8(cls).u8(id).frame(Ubx::Ack, 0x00);
}

bool frameId(QByteArrayView frame, uint8_t &cls, uint8_t &id)
{
    if (!Ubx::isCompleteFrame(frame))
        return false;
    cls = uint8_t(frame[2]);
    id = uint8_t(frame[3]);
    return true;
}

QByteArrayView payload(QByteArrayView frame)
{
    if (!Ubx::isCompleteFrame(frame))
        return {};
    return frame.sliced(6, frame.size() - 8);
}

bool isPoll(QByteArrayView frame, uint8_t cls, uint8_t id)
{
    uint8_t c = 0, i = 0;
    return frameId(frame, c, i) && c == cls && i == id && frame.size() == 8;
}

bool readCfgMsg(QByteArrayView frame, uint8_t &msgClass, uint8_t &msgId, uint8_t &rate)
{
    uint8_t c = 0, i = 0;
    if (!frameId(frame, c, i) || c != Ubx::Cfg || i != 0x01 || frame.size() != 8 + 3)
        return false;
    msgClass = uint8_t(frame[6]);
    msgId = uint8_t(frame[7]);
    rate = uint8_t(frame[8]);
    return true;
}

bool readCfgPrt(QByteArrayView frame, uint8_t &portId, uint32_t &baudRate)
{
    uint8_t c = 0, i = 0;
    if (!frameId(frame, c, i) || c != Ubx::Cfg || i != 0x00 || frame.size() != 8 + 20)
        return false;
    const QByteArrayView p = frame.sliced(6, 20);
    portId = uint8_t(p[0]);
    baudRate = uint32_t(uint8_t(p[8])) | (uint32_t(uint8_t(p[9])) << 8) | (uint32_t(uint8_t(p[10])) << 16)
        | (uint32_t(uint8_t(p[11])) << 24);
    return true;
}

} // namespace UbxEncoder
