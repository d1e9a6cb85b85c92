#include "sim/SimulatedUblox.h"

#include "sim/SimulatedUbloxF9.h"
#include "receiver/ubx/UbxConfiguration.h"
#include "receiver/ubx/UbxEncoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr qint64 GpsEpochUnix = 315964800;   // 1980-01-06 00:00:00 UTC
constexpr qint64 SecondsPerWeek = 604800;
constexpr qsizetype MaxInput = 8192;
constexpr int MaxPayload = 1024;

qint64 floorDiv(qint64 a, qint64 b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

class Writer
{
public:
    Writer &u8(uint32_t v)
    {
        m_bytes.append(char(v & 0xFF));
        return *this;
    }
    Writer &u16(uint32_t v) { return u8(v).u8(v >> 8); }
    Writer &u32(uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
    Writer &i32(int32_t v) { return u32(uint32_t(v)); }
    Writer &zeros(int n)
    {
        m_bytes.append(QByteArray(n, '\0'));
        return *this;
    }
    Writer &f64(double v)
    {
        uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        return u32(uint32_t(bits)).u32(uint32_t(bits >> 32));
    }
    QByteArray bytes() const { return m_bytes; }
    QByteArray frame(uint8_t cls, uint8_t id) const { return Ubx::withChecksum(Ubx::frame(cls, id, m_bytes)); }

private:
    QByteArray m_bytes;
};

uint16_t le16(QByteArrayView p, qsizetype at)
{
    return uint16_t(uint8_t(p[at]) | uint8_t(p[at + 1]) << 8);
}

uint32_t le32(QByteArrayView p, qsizetype at)
{
    return uint32_t(uint8_t(p[at])) | uint32_t(uint8_t(p[at + 1])) << 8 | uint32_t(uint8_t(p[at + 2])) << 16
        | uint32_t(uint8_t(p[at + 3])) << 24;
}

QByteArray label(uint8_t cls, uint8_t id)
{
    return QByteArray::number(cls, 16).rightJustified(2, '0').toUpper() + ' '
        + QByteArray::number(id, 16).rightJustified(2, '0').toUpper();
}

struct Model
{
    const char *name;
    const char *software;
    const char *hardware;
    const char *extension;
};
constexpr Model Models[] = {
    { "LEA-6T", "7.03 (45970)", "00040007", "PROTVER 14.00" },
    { "LEA-4T", "5.00 (32068)", "00040001", "TIM 1.00" },
    { "u-blox", "7.03 (45970)", "00040007", "PROTVER 14.00" },
    { "NEO-M8T", "ROM CORE 3.01 (107888)", "00080000", "PROTVER=22.00" },
    { "ZED-F9T", "EXT CORE 1.00 (535349)", "00190000", "PROTVER=29.25" },
};
// Models that send RXM-RAW (the timing modules of generations 4 to 6).
bool hasRawOutput(int model) { return model <= 2; }
// Models that take CFG-VALSET (generation 9).
bool takesConfigurationKeys(int model) { return QByteArray(Models[model].name) == "ZED-F9T"; }

const Model *modelNamed(const QString &name)
{
    for (const Model &m : Models)
        if (name.trimmed().compare(QLatin1String(m.name), Qt::CaseInsensitive) == 0)
            return &m;
    return nullptr;
}

// NMEA sentences of the standard class (F0) it can send, in output order.
struct Sentence
{
    uint8_t id;
    const char *type;
};
constexpr Sentence Sentences[] = {
    { 0x00, "GGA" }, { 0x01, "GLL" }, { 0x02, "GSA" }, { 0x03, "GSV" },
    { 0x04, "RMC" }, { 0x05, "VTG" }, { 0x08, "ZDA" },
};
constexpr uint8_t TxtId = 0x41;

// UBX messages it can send, in output order.
constexpr Ubx::MessageId Outputs[] = {
    { Ubx::Nav, 0x21 }, { Ubx::Nav, 0x20 }, { Ubx::Nav, 0x02 }, { Ubx::Nav, 0x03 }, { Ubx::Nav, 0x04 },
    { Ubx::Nav, 0x30 }, { Ubx::Nav, 0x12 }, { Ubx::Tim, 0x01 }, { Ubx::Tim, 0x04 }, { Ubx::Mon, 0x09 },
    { Ubx::Nav, 0x07 }, { Ubx::Nav, 0x35 }, { Ubx::Mon, 0x38 }, { Ubx::Rxm, 0x10 },
};

SimulatedUbloxF9::Epoch f9Epoch(const SimulatedEpoch &e, uint32_t towMs)
{
    SimulatedUbloxF9::Epoch f { towMs, e.utc, e.latitude, e.longitude, e.height, e.mslHeight, e.trackedCount,
                                e.dopTenths, e.accuracyNs, {} };
    for (const SimulatedSatellite &s : e.satellites)
        f.satellites.append({ s.svId, s.elevation, s.azimuth, s.cNo, s.channel >= 0 });
    return f;
}

} // namespace

SimulatedUblox::SimulatedUblox(SimulatedSky &sky, SimulatedLine &line)
    : m_sky(sky)
    , m_line(line)
{
    if (const Model *m = modelNamed(sky.config().modelName))
        m_model = int(m - Models);
    // Factory state: the standard NMEA set once a second, no ZDA, no UBX output.
    for (const Sentence &s : Sentences)
        if (s.id != 0x08)
            m_rates.insert(key(Ubx::NmeaStd, s.id), 1);
    m_rates.insert(key(Ubx::NmeaStd, TxtId), 1);
}

bool SimulatedUblox::configure(const QString &name, SimulatedReceiverConfig &config)
{
    const Model *m = modelNamed(name);
    if (!m)
        return false;
    config.modelName = QString::fromLatin1(m->name);
    config.ublox = true;
    config.channels = 16;
    config.amuSignal = false;
    config.hasTraim = false;
    config.hasDgps = false;
    config.dataRate = 9600;
    return true;
}

QStringList SimulatedUblox::modelNames()
{
    QStringList names;
    for (const Model &m : Models)
        names << QString::fromLatin1(m.name);
    return names;
}

void SimulatedUblox::setRate(uint8_t cls, uint8_t id, int rate)
{
    const uint16_t k = key(cls, id);
    if (cls == Ubx::NmeaStd && id == TxtId && rate > 0 && m_rates.value(k, 0) == 0)
        m_txtPending = true;
    if (rate > 0)
        m_rates.insert(k, rate);
    else
        m_rates.remove(k);
}

void SimulatedUblox::configureForTiming()
{
    m_rates.clear();
    for (const Ubx::MessageId &m : Ubx::ubxModeMessages())
        setRate(m.cls, m.id, 1);
}

// --- messages --------------------------------------------------------------------------------

void SimulatedUblox::gpsTime(qint64 utcSecond, int leapSeconds, int &week, uint32_t &towMs)
{
    const qint64 gps = utcSecond - GpsEpochUnix + leapSeconds;
    week = int(floorDiv(gps, SecondsPerWeek));
    towMs = uint32_t((gps - qint64(week) * SecondsPerWeek) * 1000);
}

QByteArray SimulatedUblox::navTimeUtc(const SimulatedEpoch &e, int leapSeconds)
{
    int week;
    uint32_t tow;
    gpsTime(e.utcSecond, leapSeconds, week, tow);
    return UbxEncoder::navTimeUtc(tow, e.utc, 0, uint32_t(e.accuracyNs), 0x07);
}

QByteArray SimulatedUblox::navSvInfo(const SimulatedEpoch &e, int leapSeconds)
{
    int week;
    uint32_t tow;
    gpsTime(e.utcSecond, leapSeconds, week, tow);
    QList<UbxEncoder::SvChannel> channels;
    for (const SimulatedSatellite &s : e.satellites) {
        UbxEncoder::SvChannel c;
        const bool tracked = s.channel >= 0;
        c.chn = tracked ? uint8_t(s.channel) : 255;
        c.svid = uint8_t(s.svId);
        c.flags = tracked ? 0x01 : 0x00;
        c.quality = tracked ? 7 : 1;
        c.cno = uint8_t(std::clamp(s.cNo, 0, 255));
        c.elev = int8_t(s.elevation);
        c.azim = int16_t(s.azimuth);
        channels << c;
    }
    return UbxEncoder::navSvInfo(tow, channels, 0x04);
}

QByteArray SimulatedUblox::navDop(const SimulatedEpoch &e, int leapSeconds, bool timeOnly)
{
    int week;
    uint32_t tow;
    gpsTime(e.utcSecond, leapSeconds, week, tow);
    UbxEncoder::Dops d;
    d.p = e.dopTenths / 10.0;
    d.h = e.dopTenths * 0.06;
    d.v = e.dopTenths * 0.08;
    d.t = timeOnly ? 1.0 : d.p / 2.0;
    d.g = std::sqrt(d.p * d.p + d.t * d.t);
    d.n = d.h * 0.7;
    d.e = d.h * 0.7;
    return UbxEncoder::navDop(tow, d);
}

QByteArray SimulatedUblox::timTp(const SimulatedEpoch &e, int leapSeconds)
{
    int week;
    uint32_t tow;
    gpsTime(e.utcSecond, leapSeconds, week, tow);
    return UbxEncoder::timTp(tow, int32_t(e.sawtoothNs) * 1000, uint16_t(week), 0, 0x03);
}

QByteArray SimulatedUblox::rxmRaw(const SimulatedEpoch &e, int leapSeconds, uint64_t seed)
{
    constexpr double C = 299792458.0;
    constexpr double Lambda = C / 1575.42e6;
    constexpr double Pi = 3.14159265358979323846;
    constexpr double PeakDoppler = 4200.0;   // Hz, at rise and set
    int week;
    uint32_t tow;
    gpsTime(e.utcSecond, leapSeconds, week, tow);
    // The receiver clock runs a little off; a timing receiver keeps it within a microsecond.
    const double clockMetres = C * 1e-9 * 300.0 * std::sin(double(e.utcSecond) / 900.0);
    Writer w;
    int count = 0;
    Writer blocks;
    for (const SimulatedSatellite &s : e.satellites) {
        if (s.channel < 0)
            continue;
        // dRange/dt = -Lambda * Doppler, with Doppler = PeakDoppler cos(pi u) over the pass.
        const double u = s.passFraction;
        const double range = 25.8e6 - Lambda * PeakDoppler * s.passSeconds / Pi * std::sin(Pi * u);
        const double noise = double(int64_t(SimulatedSky::hash(seed, 900, uint64_t(s.svId), uint64_t(e.utcSecond)) % 2001) - 1000) / 1000.0;
        const bool phaseLocked = s.cNo >= 30;
        const double cycles = double(SimulatedSky::hash(seed, 901, uint64_t(s.svId)) % 1000) * 1000.0;
        const double phase = phaseLocked ? (range + clockMetres) / Lambda + cycles : 0.0;
        const float doppler = float(PeakDoppler * std::cos(Pi * u));
        blocks.f64(phase).f64(range + clockMetres + noise);
        uint32_t dopplerBits;
        std::memcpy(&dopplerBits, &doppler, sizeof dopplerBits);
        blocks.u32(dopplerBits).u8(uint32_t(s.svId)).u8(phaseLocked ? 7 : 4).u8(uint32_t(std::clamp(s.cNo, 0, 127)))
            .u8(phaseLocked ? 0 : 3);
        ++count;
    }
    w.i32(int32_t(tow)).u16(uint32_t(week)).u8(uint32_t(count)).u8(0);
    return Ubx::withChecksum(Ubx::frame(Ubx::Rxm, 0x10, w.bytes() + blocks.bytes()));
}

QByteArray SimulatedUblox::monVerFrame() const
{
    const Model &m = Models[m_model];
    return UbxEncoder::monVer(QString::fromLatin1(m.software), QString::fromLatin1(m.hardware),
                              { QString::fromLatin1(m.extension) });
}

QByteArray SimulatedUblox::aidHuiFrame(qint64 utcSecond) const
{
    // UTC parameters with no leap second announced: the change week and day lie in the past.
    int week;
    uint32_t tow;
    gpsTime(utcSecond, m_sky.config().leapSeconds, week, tow);
    const int ls = m_sky.config().leapSeconds;
    return Writer()
        .u32(0xFFFFFFFF)     // health
        .f64(0.0)            // utcA0
        .f64(0.0)            // utcA1
        .i32(int32_t(tow / 1000))
        .u16(uint32_t(week & 0xFF))
        .u16(uint32_t(ls))   // utcLS
        .u16(uint32_t((week - 200) & 0xFF))   // utcWNF
        .u16(1)              // utcDN
        .u16(uint32_t(ls))   // utcLSF
        .u16(0)
        .zeros(32)           // Klobuchar parameters
        .u32(0x03)           // health and UTC valid
        .frame(Ubx::Aid, 0x02);
}

// --- the line --------------------------------------------------------------------------------

QByteArray SimulatedUblox::streamHeader() const
{
    if (rate(Ubx::NmeaStd, TxtId) <= 0)
        return {};
    const Model &m = Models[m_model];
    const QByteArray text = SimulatedSky::nmeaLine("GPTXT,01,01,02,u-blox ag - www.u-blox.com")
        + SimulatedSky::nmeaLine(QByteArray("GPTXT,01,01,02,HW ") + m.hardware)
        + SimulatedSky::nmeaLine(QByteArray("GPTXT,01,01,02,ROM CORE ") + m.software);
    return m_line.onTheLine(text, 0);
}

QByteArray SimulatedUblox::secondOutput(qint64 utcSecond)
{
    if (!m_line.rateMatches())
        return m_line.mismatchedSecond(utcSecond);
    const auto due = [&](uint8_t cls, uint8_t id) {
        const int r = rate(cls, id);
        return r > 0 && floorDiv(utcSecond, r) * r == utcSecond;
    };
    const SimulatedEpoch e = m_sky.epochAt(utcSecond);
    const int leap = m_sky.config().leapSeconds;
    int week;
    uint32_t tow;
    gpsTime(utcSecond, leap, week, tow);

    QByteArray out;
    for (const Ubx::MessageId &m : Outputs) {
        if (!due(m.cls, m.id))
            continue;
        const uint16_t k = key(m.cls, m.id);
        switch (k) {
        case 0x0121: out += navTimeUtc(e, leap); break;
        case 0x0120: out += UbxEncoder::navTimeGps(tow, int16_t(week), int8_t(leap)); break;
        case 0x0102: out += UbxEncoder::navPosLlh(tow, e.latitude, e.longitude, e.height, e.mslHeight); break;
        case 0x0103: {
            const uint8_t fix = m_timeOnly ? 5 : e.trackedCount >= 4 ? 3 : e.trackedCount == 3 ? 2 : 0;
            out += UbxEncoder::navStatus(tow, fix, fix ? 0x0D : 0x0C, 30000, tow);
            break;
        }
        case 0x0104: out += navDop(e, leap, m_timeOnly); break;
        case 0x0130: out += navSvInfo(e, leap); break;
        case 0x0112: out += UbxEncoder::navVelNed(tow, 0, 0.0); break;
        case 0x0D01: out += timTp(e, leap); break;
        case 0x0D04: out += UbxEncoder::timSvin(0, 0, m_timeOnly, false); break;
        case 0x0A09: out += UbxEncoder::monHw(2); break;
        case 0x0107: out += SimulatedUbloxF9::navPvt(f9Epoch(e, tow), m_timeOnly); break;
        case 0x0135: out += SimulatedUbloxF9::navSat(f9Epoch(e, tow)); break;
        case 0x0A38: out += SimulatedUbloxF9::monRf(); break;
        case 0x0210: out += rxmRaw(e, leap, m_sky.config().seed); break;
        default: break;
        }
    }
    for (const Sentence &s : Sentences)
        if (due(Ubx::NmeaStd, s.id))
            out += SimulatedSky::nmeaSentence(e, s.type);
    if (m_txtPending && due(Ubx::NmeaStd, TxtId)) {
        out += SimulatedSky::nmeaLine("GPTXT,01,01,02,ANTSTATUS=OK");
        m_txtPending = false;
    }
    return out;
}

QByteArray SimulatedUblox::receive(QByteArrayView bytes, qint64 nowMs)
{
    if (!m_line.rateMatches()) {
        m_input.clear();   // framing errors only
        return {};
    }
    m_input.append(bytes.data(), bytes.size());
    if (m_input.size() > MaxInput)
        m_input.remove(0, m_input.size() - MaxInput);

    QByteArray out;
    for (;;) {
        const qsizetype start = m_input.indexOf("\xB5\x62");
        if (start < 0) {
            // NMEA input and line ends mean nothing here; keep a lone sync byte at the end.
            m_input = m_input.endsWith('\xB5') ? QByteArray("\xB5") : QByteArray();
            break;
        }
        m_input.remove(0, start);
        if (m_input.size() < 6)
            break;
        const int length = uint8_t(m_input[4]) | uint8_t(m_input[5]) << 8;
        if (length > MaxPayload) {
            m_input.remove(0, 2);
            continue;
        }
        if (m_input.size() < length + 8)
            break;
        const QByteArray frame = m_input.left(length + 8);
        uint8_t cls, id;
        if (!UbxEncoder::frameId(frame, cls, id)) {
            m_input.remove(0, 2);   // a bad checksum: look for the next start
            continue;
        }
        m_input.remove(0, length + 8);
        handleFrame(frame, nowMs, out);
        if (m_pendingRate > 0) {
            // The acknowledgement went out at the old rate; now the port follows.
            m_line.setDataRate(m_pendingRate);
            m_pendingRate = 0;
            m_input.clear();
            break;
        }
    }
    return out;
}

void SimulatedUblox::handleFrame(QByteArrayView frame, qint64 nowMs, QByteArray &out)
{
    uint8_t cls = 0, id = 0;
    UbxEncoder::frameId(frame, cls, id);
    const QByteArray name = label(cls, id);
    if (m_received.size() >= 4096)
        m_received.remove(0, 1024);
    m_received.append(name);
    if (m_line.ignores(name))
        return;
    const QByteArrayView payload = UbxEncoder::payload(frame);
    const qint64 second = floorDiv(nowMs, 1000) + 1;

    if (cls == Ubx::Cfg) {
        handleCfg(id, payload, out);
        return;
    }
    if (!payload.isEmpty())
        return;   // only polls outside CFG
    if (cls == Ubx::Mon && id == 0x04) {
        m_line.answer(monVerFrame(), out);
    } else if (cls == Ubx::Aid && id == 0x02) {
        m_line.answer(aidHuiFrame(second), out);
    } else {
        // A poll of an output message: that message for the coming pulse, once.
        const SimulatedEpoch e = m_sky.epochAt(second);
        const int leap = m_sky.config().leapSeconds;
        int week;
        uint32_t tow;
        gpsTime(second, leap, week, tow);
        QByteArray answer;
        switch (key(cls, id)) {
        case 0x0121: answer = navTimeUtc(e, leap); break;
        case 0x0120: answer = UbxEncoder::navTimeGps(tow, int16_t(week), int8_t(leap)); break;
        case 0x0130: answer = navSvInfo(e, leap); break;
        case 0x0104: answer = navDop(e, leap, m_timeOnly); break;
        case 0x0D01: answer = timTp(e, leap); break;
        case 0x0A09: answer = UbxEncoder::monHw(2); break;
        default: break;
        }
        if (!answer.isEmpty())
            m_line.answer(answer, out);
    }
}

QByteArray SimulatedUblox::cfgSetting(uint8_t id) const
{
    if (id == 0x00) {
        // The port as it is now, whatever was asked.
        QByteArray p = m_cfg.value(id);
        if (p.size() != 20)
            p = Writer().u8(1).u8(0).u16(0).u32(0x08C0).u32(0).u16(0x0007).u16(0x0003).u16(0).u16(0).bytes();
        const uint32_t baud = uint32_t(m_line.dataRate());
        for (int i = 0; i < 4; ++i)
            p[8 + i] = char((baud >> (8 * i)) & 0xFF);
        return p;
    }
    if (m_cfg.contains(id))
        return m_cfg.value(id);
    switch (id) {
    case 0x07:   // TP: 1 s interval, 100 ms pulse, rising, UTC, 50 ns cable
        return Writer().u32(1000000).u32(100000).u8(1).u8(0).u8(0).u8(0).u16(50).u16(0).i32(0).bytes();
    case 0x13:   // ANT
        return Writer().u16(0x001B).u16(0).bytes();
    case 0x1D:   // TMODE: off
    case 0x3D:   // TMODE2
        return QByteArray(28, '\0');
    case 0x24:   // NAV5: portable model, auto 2-D/3-D, 5 degree mask
        return Writer().u16(0xFFFF).u8(0).u8(3).i32(0).u32(10000).u8(5).u8(0).u16(250).u16(250).u16(100).u16(300)
            .u8(0).zeros(9).bytes();
    case 0x31:   // TP5: 1 Hz, 100 ms locked, 50 ns cable
        return Writer().u8(0).u8(1).u16(0).u16(50).u16(0).u32(1000000).u32(1000000).u32(0).u32(100000).i32(0)
            .u32(0xF7).bytes();
    default:
        return {};
    }
}

void SimulatedUblox::handleCfg(uint8_t id, QByteArrayView p, QByteArray &out)
{
    const QByteArray name = label(Ubx::Cfg, id);
    const auto ack = [&] { m_line.answer(UbxEncoder::ackAck(Ubx::Cfg, id), out); };
    const auto nak = [&] { m_line.answer(UbxEncoder::ackNak(Ubx::Cfg, id), out); };
    const auto echo = [&](const QByteArray &setting) {
        m_line.answer(Ubx::withChecksum(Ubx::frame(Ubx::Cfg, id, setting)), out);
        ack();
    };

    switch (id) {
    case 0x00:   // PRT
        if (p.size() <= 1) {
            echo(cfgSetting(id));
        } else if (p.size() == 20) {
            const uint8_t port = uint8_t(p[0]);
            const uint32_t baud = le32(p, 8);
            if (port == 1 && (baud < 300 || baud > 1000000)) {
                nak();
                break;
            }
            if (port == 1)
                m_cfg.insert(id, p.toByteArray());
            ack();
            if (port == 1 && int(baud) != m_line.dataRate())
                m_pendingRate = int(baud);
        } else {
            nak();
        }
        break;
    case 0x01:   // MSG
        if (p.size() == 2) {
            const int r = rate(uint8_t(p[0]), uint8_t(p[1]));
            echo(Writer().u8(uint8_t(p[0])).u8(uint8_t(p[1])).u8(0).u8(uint32_t(r)).zeros(4).bytes());
        } else if (p.size() == 3 || p.size() == 8) {
            // The 8-byte form carries one rate per port; UART 1 is the second.
            if (uint8_t(p[0]) == Ubx::Rxm && uint8_t(p[1]) == 0x10 && !hasRawOutput(m_model)) {
                nak();
                break;
            }
            setRate(uint8_t(p[0]), uint8_t(p[1]), uint8_t(p[p.size() == 3 ? 2 : 3]));
            ack();
        } else {
            nak();
        }
        break;
    case 0x1D:   // TMODE: time mode as u32
    case 0x3D:   // TMODE2: time mode as u8
        if (p.isEmpty()) {
            echo(cfgSetting(id));
        } else if (p.size() == 28) {
            const uint32_t mode = id == 0x1D ? le32(p, 0) : uint8_t(p[0]);
            m_cfg.insert(id, p.toByteArray());
            // Fixed position: the unit holds it and gives a time-only fix.
            m_timeOnly = mode == 2;
            m_sky.setPositionHold(mode == 2);
            if (mode == 2)   // ECEF X, Y, Z (cm) follow the four bytes of mode (and flags)
                m_sky.setHeldEcef(int32_t(le32(p, 4)), int32_t(le32(p, 8)), int32_t(le32(p, 12)));
            ack();
        } else {
            nak();
        }
        break;
    case 0x31:   // TP5: a poll may name the pulse
        if (p.size() <= 1)
            echo(cfgSetting(id));
        else {
            m_cfg.insert(id, p.toByteArray());
            ack();
        }
        break;
    case 0x02: case 0x06: case 0x07: case 0x08: case 0x09: case 0x13: case 0x16: case 0x23: case 0x24:
    case 0x3E:
        if (p.isEmpty()) {
            const QByteArray setting = cfgSetting(id);
            if (setting.isEmpty())
                nak();
            else
                echo(setting);
        } else {
            if (id != 0x09)
                m_cfg.insert(id, p.toByteArray());
            if (id == 0x24 && p.size() >= 13 && (le16(p, 0) & 0x0002))   // NAV5 with its mask bit set
                m_sky.setElevationMask(int8_t(p[12]));
            ack();
        }
        break;
    case 0x8A: {   // VALSET (generation 9)
        const SimulatedUbloxF9::ValSet v = takesConfigurationKeys(m_model) ? SimulatedUbloxF9::readValSet(p)
                                                                            : SimulatedUbloxF9::ValSet {};
        if (!v.ok) {
            nak();
            break;
        }
        for (const auto &[m, r] : v.rates)
            setRate(m.cls, m.id, r);
        if (v.timeMode >= 0) {
            m_timeOnly = v.timeMode == 2;
            m_sky.setPositionHold(v.timeMode == 2);
        }
        if (v.ecefSet)
            m_sky.setHeldEcef(v.ecefCm[0], v.ecefCm[1], v.ecefCm[2]);
        if (v.minElevation >= 0)
            m_sky.setElevationMask(v.minElevation);
        ack();
        break;
    }
    default:
        nak();
        break;
    }
}
