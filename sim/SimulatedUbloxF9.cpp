#include "sim/SimulatedUbloxF9.h"

#include "receiver/ubx/UbxEncoder.h"

#include <algorithm>
#include <cmath>

namespace SimulatedUbloxF9 {

QByteArray navPvt(const Epoch &e, bool timeOnly)
{
    const uint32_t tow = e.towMs;
    const QDate d = e.utc.date();
    const QTime t = e.utc.time();
    const uint8_t fix = timeOnly ? 5 : e.trackedCount >= 4 ? 3 : e.trackedCount == 3 ? 2 : 0;
    UbxEncoder::PayloadWriter w;
    w.u32(tow).u16(uint32_t(d.year())).u8(uint32_t(d.month())).u8(uint32_t(d.day()));
    w.u8(uint32_t(t.hour())).u8(uint32_t(t.minute())).u8(uint32_t(t.second()));
    w.u8(0x37)                                  // date, time and fully resolved
        .u32(uint32_t(std::max(e.accuracyNs, 1))).i32(0)
        .u8(fix).u8(fix ? 0x01 : 0x00).u8(0xEA).u8(uint32_t(e.trackedCount))
        .i32(int32_t(std::lround(e.longitude * 1e7))).i32(int32_t(std::lround(e.latitude * 1e7)))
        .i32(int32_t(std::lround(e.height * 1000.0))).i32(int32_t(std::lround(e.mslHeight * 1000.0)))
        .u32(1500).u32(2300)                    // hAcc, vAcc (mm)
        .zeros(20)                              // velocity N, E, D, ground speed, heading
        .u32(100).u32(18000000)                 // sAcc, headAcc
        .u16(uint32_t(e.dopTenths * 10))        // pDOP (0.01)
        .zeros(14);                             // flags3, reserved, headVeh, magDec, magAcc
    return w.frame(Ubx::Nav, 0x07);
}

QByteArray navSat(const Epoch &e)
{
    const uint32_t tow = e.towMs;
    struct Block
    {
        int gnss, sv, cno, elev, azim;
        bool tracked;
    };
    QList<Block> blocks;
    for (const Epoch::Satellite &s : e.satellites)
        blocks.append({ 0, s.svId, s.tracked ? s.cNo : 0, s.elevation, s.azimuth, s.tracked });
    for (const Epoch::Satellite &s : e.satellites) {
        const bool tracked = s.tracked;
        const int cno = tracked ? std::max(0, s.cNo - 2) : 0;
        blocks.append({ 2, s.svId, cno, s.elevation * 3 / 4, (s.azimuth + 120) % 360, tracked });
        if (s.svId <= 37)
            blocks.append({ 3, s.svId, cno, s.elevation * 2 / 3, (s.azimuth + 240) % 360, tracked });
        if (s.svId <= 24)
            blocks.append({ 6, s.svId, cno, s.elevation / 2, (s.azimuth + 60) % 360, tracked });
    }
    blocks.resize(std::min<qsizetype>(blocks.size(), 80));
    UbxEncoder::PayloadWriter w;
    w.u32(tow).u8(1).u8(uint32_t(blocks.size())).u16(0);
    for (const Block &b : blocks) {
        // Flags: quality 7 and used while tracked, 1 (searching) otherwise; healthy.
        const uint32_t flags = (b.tracked ? 0x07 | 0x08 : 0x01) | 0x10;
        w.u8(uint32_t(b.gnss)).u8(uint32_t(b.sv)).u8(uint32_t(std::clamp(b.cno, 0, 255)))
            .u8(uint32_t(uint8_t(int8_t(b.elev)))).u16(uint32_t(uint16_t(int16_t(b.azim)))).u16(0).u32(flags);
    }
    return w.frame(Ubx::Nav, 0x35);
}

QByteArray monRf()
{
    UbxEncoder::PayloadWriter w;
    w.u8(0).u8(1).u16(0);                                    // version, one block
    w.u8(0).u8(0).u8(2).u8(1).u32(0).u32(0)                 // block 0: antenna OK, powered
        .u16(80).u16(5000).u8(10).u8(0).u8(120).u8(0).u8(120).zeros(3);
    return w.frame(Ubx::Mon, 0x38);
}

ValSet readValSet(QByteArrayView payload)
{
    ValSet v;
    if (payload.size() < 4 || uint8_t(payload[0]) != 0 || uint8_t(payload[1]) == 0)
        return v;
    const QList<Ubx::KeyValue> values = Ubx::readValSet(Ubx::frame(Ubx::Cfg, 0x8A, payload));
    if (values.isEmpty())
        return v;
    unsigned seen = 0;
    for (const Ubx::KeyValue &kv : values) {
        Ubx::MessageId m;
        if (Ubx::outputMessageOfKey(kv.key, m))
            v.rates.append({ m, int(kv.value) });
        else if (kv.key == Ubx::Key::TmodeMode)
            v.timeMode = int(kv.value);
        else if (kv.key == Ubx::Key::TmodeEcefX || kv.key == Ubx::Key::TmodeEcefY || kv.key == Ubx::Key::TmodeEcefZ) {
            v.ecefCm[kv.key - Ubx::Key::TmodeEcefX] = int32_t(uint32_t(kv.value));
            seen |= 1u << (kv.key - Ubx::Key::TmodeEcefX);
        } else if (kv.key == Ubx::Key::NavSpgMinElev)
            v.minElevation = int(int8_t(kv.value));
        else if (Ubx::keyName(kv.key).startsWith(QLatin1String("0x")))
            return ValSet {};   // a key it does not know
    }
    v.ecefSet = seen == 7;
    v.ok = true;
    return v;
}

} // namespace SimulatedUbloxF9
