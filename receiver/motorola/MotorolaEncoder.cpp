#include "receiver/motorola/MotorolaEncoder.h"

#include <QDate>
#include <QTime>

namespace MotorolaEncoder {

uint8_t checksum(QByteArrayView bytes)
{
    uint8_t x = 0;
    for (char c : bytes)
        x ^= uint8_t(c);
    return x;
}

QByteArray frame(const char id[2], QByteArrayView body)
{
    QByteArray f;
    f.reserve(body.size() + 7);
    f.append("@@", 2);
    f.append(id, 2);
    f.append(body.data(), body.size());
    f.append(char(checksum(f)));
    f.append("\r\n", 2);
    return f;
}

Body &Body::text(QByteArrayView t, qsizetype width, char pad)
{
    const qsizetype n = qMin(t.size(), width);
    m_b.append(t.data(), n);
    m_b.append(QByteArray(width - n, pad));
    return *this;
}

TimeStamp TimeStamp::fromUtc(const QDateTime &utc, uint32_t nanoseconds)
{
    const QDateTime u = utc.toUTC();
    TimeStamp t;
    t.year = u.date().year();
    t.month = u.date().month();
    t.day = u.date().day();
    t.hour = u.time().hour();
    t.minute = u.time().minute();
    t.second = u.time().second();
    t.nanoseconds = nanoseconds;
    return t;
}

namespace {

void putTime(Body &b, const TimeStamp &t)
{
    b.u8(uint8_t(t.month)).u8(uint8_t(t.day)).u16(uint16_t(t.year));
    b.u8(uint8_t(t.hour)).u8(uint8_t(t.minute)).u8(uint8_t(t.second)).u32(t.nanoseconds);
}

Channel channelAt(const std::vector<Channel> &channels, size_t i)
{
    return i < channels.size() ? channels[i] : Channel {};
}

QByteArray sixEight(const char id[2], const PositionMessage &m, size_t channelCount)
{
    Body b;
    putTime(b, m.time);                                             // 4-14
    b.i32(m.latitudeMas).i32(m.longitudeMas).i32(m.heightCm).i32(m.mslHeightCm);   // 15-30
    b.u16(m.speedCmS).u16(m.headingTenths).u16(m.dopTenths);        // 31-36
    b.u8(m.dopType).u8(m.visible).u8(m.tracked);                    // 37-39
    for (size_t i = 0; i < channelCount; ++i) {
        const Channel c = channelAt(m.channels, i);
        b.u8(c.svId).u8(c.mode).u8(c.signal).u8(uint8_t(c.status));
    }
    b.u8(uint8_t(m.receiverStatus));
    return frame(id, b.bytes());
}

QByteArray traim(const char id[2], const TraimMessage &m, size_t records)
{
    Body b;
    b.u8(m.rate).u8(m.traimEnabled).u16(m.alarmLimit).u8(m.ppsControl);   // 4-8
    for (uint8_t s : m.spare)                                              // 9-18
        b.u8(s);
    b.u8(m.pulseStatus).u8(m.ppsSync).u8(m.solutionStatus).u8(m.traimStatus);   // 19-22
    b.u16(m.accuracyNs).i8(m.sawtoothNs);                                  // 23-25
    for (size_t i = 0; i < records; ++i) {
        const auto r = i < m.residuals.size() ? m.residuals[i] : TraimMessage::Residual {};
        b.u8(r.svId).i32(r.offsetNs);
    }
    return frame(id, b.bytes());
}

QByteArray dops(const char id[2], const DopMessage &m, qsizetype wire)
{
    Body b;
    b.u16(m.gdop).u16(m.pdop).u16(m.hdop).u16(m.vdop).u16(m.tdop);
    b.i16(m.magneticVariation).i16(m.velocityNorth).i16(m.velocityEast).i16(m.velocityUp);
    b.u16(m.correctionAge);
    b.zeros(wire - 7 - b.size());
    return frame(id, b.bytes());
}

} // namespace

QByteArray ha(const PositionMessage &m)
{
    Body b;
    putTime(b, m.time);                                                               // 4-14
    b.i32(m.latitudeMas).i32(m.longitudeMas).i32(m.heightCm).i32(m.mslHeightCm);      // 15-30
    b.i32(m.rawLatitudeMas).i32(m.rawLongitudeMas).i32(m.rawHeightCm).i32(m.rawMslHeightCm);   // 31-46
    b.u16(m.speedCmS).u16(m.speed2dCmS).u16(m.headingTenths).u16(m.dopTenths);        // 47-54
    b.u8(m.visible).u8(m.tracked);                                                    // 55-56
    for (size_t i = 0; i < 12; ++i) {                                                 // 57-128
        const Channel c = channelAt(m.channels, i);
        b.u8(c.svId).u8(c.mode).u8(c.signal).u8(c.iode).u16(c.status);
    }
    b.u16(m.receiverStatus);                                                          // 129-130
    b.u16(0);                                                                         // 131-132
    b.i16(m.clockBiasNs).u32(m.oscillatorOffsetHz).i16(m.temperatureHalfDegrees);    // 133-140
    b.u8(m.utcParameters).u8(m.gmtOffset[0]).u8(m.gmtOffset[1]).u8(m.gmtOffset[2]);   // 141-144
    b.text(m.idTag, 6);                                                               // 145-150
    return frame("Ha", b.bytes());
}

QByteArray hb(const PositionMessage &m)
{
    Body b;
    putTime(b, m.time);                                                               // 4-14
    b.i32(m.latitudeMas).i32(m.longitudeMas).i32(m.heightCm).i32(m.mslHeightCm);      // 15-30
    b.u16(m.speedCmS).u16(m.headingTenths).u16(0).u16(m.dopTenths);                   // 31-38
    b.u8(m.visible).u8(m.tracked).u16(m.receiverStatus).u16(0);                       // 39-44
    b.text(m.idTag, 6);                                                               // 45-50
    return frame("Hb", b.bytes());
}

QByteArray ea(const PositionMessage &m) { return sixEight("Ea", m, 8); }
QByteArray ba(const PositionMessage &m) { return sixEight("Ba", m, 6); }

QByteArray bb(const std::vector<VisibleSatellite> &satellites)
{
    Body b;
    b.u8(uint8_t(qMin<size_t>(satellites.size(), 12)));
    for (size_t i = 0; i < 12; ++i) {
        const VisibleSatellite s = i < satellites.size() ? satellites[i] : VisibleSatellite {};
        b.u8(s.svId).i16(s.dopplerHz).u8(s.elevation).u16(s.azimuth).u8(s.health);
    }
    return frame("Bb", b.bytes());
}

QByteArray hn(const TraimMessage &m)
{
    Body b;
    b.u8(m.pulseStatus).u8(m.ppsSync).u8(m.solutionStatus).u8(m.traimStatus);   // 4-7
    b.u32(m.removedSvMask).u16(m.accuracyNs).i8(m.sawtoothNs);                   // 8-14
    for (size_t i = 0; i < 12; ++i) {                                            // 15-74
        const auto r = i < m.residuals.size() ? m.residuals[i] : TraimMessage::Residual {};
        b.u8(r.svId).i32(r.offsetNs);
    }
    return frame("Hn", b.bytes());
}

QByteArray en(const TraimMessage &m) { return traim("En", m, 8); }
QByteArray bn(const TraimMessage &m) { return traim("Bn", m, 6); }

QByteArray ek(const DopMessage &m) { return dops("Ek", m, 71); }
QByteArray bk(const DopMessage &m) { return dops("Bk", m, 69); }

QByteArray bj(int8_t leapStatus) { return frame("Bj", Body().i8(leapStatus).bytes()); }
QByteArray bo(uint8_t utcOffsetSeconds) { return frame("Bo", Body().u8(utcOffsetSeconds).bytes()); }

QByteArray gj(const LeapMessage &m)
{
    Body b;
    b.i8(m.presentLeapSeconds).i8(m.futureLeapSeconds).u16(m.year).u8(m.month).u8(m.day);
    b.i32(m.integerSeconds).u32(m.fractionNs);
    return frame("Gj", b.bytes());
}

QByteArray cj(const Identification &id)
{
    // The text runs from offset 4 to 290 as lines of the receiver's own layout; the makers
    // differ in the first line and in where a few fields sit.
    QByteArray t(294 - 3, ' ');
    t.replace(0, 4, "@@Cj");
    auto put = [&t](int off, QByteArrayView s) {
        for (qsizetype i = 0; i < s.size() && off + i < t.size(); ++i)
            t[off + i] = s[i];
    };
    const auto crlf = [&put](int off) { put(off, "\r\n"); };
    crlf(4);

    int versionOffset = CjVersionOffset;
    int modelOffset = CjModelOffset;
    switch (id.maker) {
    case Identification::Motorola: put(6, "COPYRIGHT 1991-2004 MOTOROLA INC."); break;
    case Identification::Synergy: put(6, "COPYRIGHT 2004-2016 SYNERGY SYS."); break;
    case Identification::ILotus:
        put(6, "COPYRIGHT 1991-2005 i-LOTUS");
        versionOffset = CjVersionOffsetILotus;
        break;
    case Identification::Conexant: put(6, "COPYRIGHT 1991-2001 CONEXANT SYS"); break;
    case Identification::Signav: put(6, "COPYRIGHT 1991-2002 SIGNAV   PTY"); break;
    case Identification::Sirf:
        put(6, "(C) 2000 SiRF TECHNOLOGY INC.");
        modelOffset = CjModelOffsetSirf;
        break;
    }
    crlf(39);
    put(41, "SFTW P/N # ");
    put(52, id.partNumber.left(15));
    crlf(67);
    put(versionOffset - 15, "SOFTWARE VER # ");
    put(versionOffset, id.softwareVersion.left(11));
    crlf(95);
    put(97, "SOFTWARE REV # ");
    put(CjRevisionOffset, id.softwareRevision.left(11));
    crlf(123);
    put(125, "SOFTWARE DATE  ");
    put(140, id.softwareDate.left(11));
    crlf(151);
    put(153, "MODEL #");
    put(modelOffset, id.modelNumber.left(178 - modelOffset + 1));
    crlf(179);
    put(181, "HWDR P/N # _____");
    crlf(207);
    put(209, "SERIAL #   ");
    put(220, id.serialNumber.left(15));
    crlf(235);
    put(237, "MANUFACTUR DATE 6B07");
    crlf(263);
    put(265, "OPTIONS LIST    IB");
    t.append(char(checksum(t)));
    t.append("\r\n", 2);
    return t;
}

int wireLength(char family, char letter)
{
    struct Entry
    {
        char f, l;
        int len;
    };
    static constexpr Entry table[] = {
        { 'H', 'a', 154 }, { 'H', 'b', 54 }, { 'E', 'a', 76 }, { 'B', 'a', 68 }, { 'B', 'b', 92 },
        { 'H', 'n', 78 }, { 'E', 'n', 69 }, { 'B', 'n', 59 }, { 'E', 'k', 71 }, { 'B', 'k', 69 },
        { 'B', 'j', 8 }, { 'B', 'o', 8 }, { 'G', 'j', 21 }, { 'C', 'j', 294 },
    };
    for (const Entry &e : table)
        if (e.f == family && e.l == letter)
            return e.len;
    return 0;
}

namespace {
struct RateEntry
{
    int rate;
    uint8_t hi, lo;
};
constexpr RateEntry rateTable[] = {
    { 300, 0x40, 0x03 },   { 1200, 0x40, 0x12 },  { 2400, 0x40, 0x24 },
    { 4800, 0x40, 0x48 },  { 9600, 0x00, 0x00 },  { 14400, 0x41, 0x44 },
    { 19200, 0x41, 0x92 }, { 38400, 0x43, 0x84 }, { 57600, 0x45, 0x76 },
    { 115000, 0x51, 0x50 },
};
} // namespace

std::array<uint8_t, 2> rateCode(int rate)
{
    for (const RateEntry &e : rateTable)
        if (e.rate == rate)
            return { e.hi, e.lo };
    return { 0, 0 };
}

int codeRate(uint8_t hi, uint8_t lo)
{
    for (const RateEntry &e : rateTable)
        if (e.hi == hi && e.lo == lo)
            return e.rate;
    return 0;
}

} // namespace MotorolaEncoder
