#include "sim/SimulatedSky.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

constexpr double Pi = 3.14159265358979323846;
constexpr double MetresPerDegree = 111320.0;

uint64_t mix(uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}
uint64_t hashOf(uint64_t seed, uint64_t a, uint64_t b = 0, uint64_t c = 0)
{
    return mix(mix(mix(mix(seed) ^ a) ^ (b * 0x100000001B3ull)) ^ (c * 0xC2B2AE3D27D4EB4Full));
}
double unit(uint64_t h) { return double(h >> 11) * (1.0 / 9007199254740992.0); }   // [0, 1)
double unitOf(uint64_t seed, uint64_t a, uint64_t b = 0, uint64_t c = 0) { return unit(hashOf(seed, a, b, c)); }

// --- the sky -------------------------------------------------------------------------------
// Eight main tracks are always occupied: when a satellite sets, its successor on the same
// track has risen a few minutes earlier. Two further tracks are occupied part of the time.
// That keeps 8 to 11 satellites above the horizon. Each track owns a pool of PRNs, so no PRN
// is ever seen twice at once.
constexpr int MainTracks = 8;
constexpr int ExtraTracks = 2;
constexpr double MainPass = 6.0 * 3600.0;     // time between successive rises on a main track
constexpr double Overlap = 12.0 * 60.0;       // successor rises this long before the setting
constexpr double ExtraCycle[ExtraTracks] = { 7.0 * 3600.0 + 1234.0, 9.0 * 3600.0 + 567.0 };
constexpr double ExtraPass[ExtraTracks] = { 3.0 * 3600.0, 3.5 * 3600.0 };

struct Pass
{
    int track = 0;
    qint64 index = 0;
    double u = 0.0;   // 0 at rise, 1 at set
};

struct Sky
{
    std::array<int, 32> prns {};
    std::array<double, MainTracks + ExtraTracks> phase {};

    explicit Sky(uint64_t seed)
    {
        for (int i = 0; i < 32; ++i)
            prns[i] = i + 1;
        for (int i = 31; i > 0; --i)
            std::swap(prns[i], prns[hashOf(seed, 300, i) % uint64_t(i + 1)]);
        for (int t = 0; t < MainTracks; ++t)
            phase[t] = t * MainPass / MainTracks + (unitOf(seed, 100, t) - 0.5) * 16.0 * 60.0;
        for (int j = 0; j < ExtraTracks; ++j)
            phase[MainTracks + j] = unitOf(seed, 200, j) * ExtraCycle[j];
    }

    int prnOf(int track, qint64 index) const
    {
        if (track < MainTracks)
            return prns[3 * track + int(((index % 3) + 3) % 3)];
        const int j = track - MainTracks;
        return prns[3 * MainTracks + 4 * j + int(((index % 4) + 4) % 4)];
    }

    std::vector<Pass> passesAt(double t) const
    {
        std::vector<Pass> out;
        for (int track = 0; track < MainTracks; ++track) {
            const double rel = t - phase[track];
            const qint64 k = qint64(std::floor(rel / MainPass));
            out.push_back({ track, k, (rel - k * MainPass) / (MainPass + Overlap) });
            const double prev = (rel - (k - 1) * MainPass) / (MainPass + Overlap);
            if (prev < 1.0)
                out.push_back({ track, k - 1, prev });
        }
        for (int j = 0; j < ExtraTracks; ++j) {
            const double rel = t - phase[MainTracks + j];
            const qint64 k = qint64(std::floor(rel / ExtraCycle[j]));
            const double u = (rel - k * ExtraCycle[j]) / ExtraPass[j];
            if (u < 1.0)
                out.push_back({ MainTracks + j, k, u });
        }
        return out;
    }
};

// Signal level of a satellite: rises with elevation, a little jitter from second to second.
int cNoFor(double elevation, uint64_t seed, int prn, qint64 second)
{
    const double base = 34.0 + 16.0 * std::sin(elevation * Pi / 180.0);
    const int jitter = int(hashOf(seed, 400, uint64_t(prn), uint64_t(second)) % 3) - 1;
    return int(std::lround(base)) + jitter;
}

double wrap360(double a)
{
    a = std::fmod(a, 360.0);
    return a < 0 ? a + 360.0 : a;
}

// Smooth metre-level wander plus a little white noise, one independent series per axis.
double wander(uint64_t seed, int axis, qint64 second)
{
    const double t = double(second);
    const double p1 = 1500.0 + 900.0 * unitOf(seed, 500, axis);
    const double p2 = 170.0 + 130.0 * unitOf(seed, 501, axis);
    const double f1 = 2 * Pi * unitOf(seed, 502, axis);
    const double f2 = 2 * Pi * unitOf(seed, 503, axis);
    const double white = 2.0 * unitOf(seed, 504, uint64_t(axis), uint64_t(second)) - 1.0;
    return 0.6 * std::sin(2 * Pi * t / p1 + f1) + 0.3 * std::sin(2 * Pi * t / p2 + f2) + 0.1 * white;
}

QByteArray angle(double degrees, int degreeDigits, char positive, char negative)
{
    const char hemisphere = degrees < 0 ? negative : positive;
    const double a = std::abs(degrees);
    int d = int(a);
    double minutes = (a - d) * 60.0;
    if (std::lround(minutes * 10000.0) >= 600000) {   // 59.99995 rounds up to the next degree
        ++d;
        minutes = 0.0;
    }
    return QByteArray::number(d).rightJustified(degreeDigits, '0')
        + QByteArray::number(minutes, 'f', 4).rightJustified(7, '0') + ',' + hemisphere;
}

} // namespace

uint64_t SimulatedSky::hash(uint64_t seed, uint64_t a, uint64_t b, uint64_t c)
{
    return hashOf(seed, a, b, c);
}

const SimulatedSatellite *SimulatedEpoch::satellite(int svId) const
{
    for (const SimulatedSatellite &s : satellites)
        if (s.svId == svId)
            return &s;
    return nullptr;
}

SimulatedSky::SimulatedSky(const SimulatedReceiverConfig &config)
    : m_config(config)
    , m_elevationMask(config.elevationMask)
{
}

void SimulatedSky::reset()
{
    m_positionHold = false;
    m_elevationMask = m_config.elevationMask;
    m_ignoredPrns = 0;
    m_hasHeld = false;
}

void SimulatedSky::setHeldPosition(double lat, double lon, double height)
{
    m_hasHeld = true;
    m_heldLat = lat;
    m_heldLon = lon;
    m_heldHeight = height;
}

void SimulatedSky::setHeldEcef(int32_t xCm, int32_t yCm, int32_t zCm)
{
    // WGS-84, by fixed-point iteration on the latitude (converges to well below a millimetre).
    constexpr double a = 6378137.0;
    constexpr double f = 1.0 / 298.257223563;
    constexpr double e2 = f * (2.0 - f);
    const double x = xCm / 100.0, y = yCm / 100.0, z = zCm / 100.0;
    const double p = std::hypot(x, y);
    double lat = std::atan2(z, p * (1.0 - e2));
    double h = 0.0;
    for (int i = 0; i < 10; ++i) {
        const double n = a / std::sqrt(1.0 - e2 * std::sin(lat) * std::sin(lat));
        h = p / std::cos(lat) - n;
        lat = std::atan2(z, p * (1.0 - e2 * n / (n + h)));
    }
    setHeldPosition(lat * 180.0 / Pi, std::atan2(y, x) * 180.0 / Pi, h);
}

int SimulatedSky::amuForCNo(int cNo)
{
    // The smallest signal byte the receiver's conversion turns into at least cNo, looked up in
    // a table built once (the search costs 255 logarithms a satellite a second otherwise).
    static const std::array<uint8_t, 64> table = [] {
        std::array<uint8_t, 64> t {};
        for (int c = 0; c < 64; ++c) {
            int found = 255;
            for (int amu = 1; amu <= 255; ++amu) {
                if (int(20.0 * std::log10(double(amu)) + 4.6 + 0.5) >= c) {
                    found = amu;
                    break;
                }
            }
            t[c] = uint8_t(found);
        }
        return t;
    }();
    if (cNo <= 0)
        return 1;
    return cNo < 64 ? table[cNo] : 255;
}

SimulatedEpoch SimulatedSky::epochAt(qint64 utcSecond) const
{
    SimulatedEpoch e;
    const uint64_t seed = m_config.seed;
    e.utcSecond = utcSecond;
    e.utc = QDateTime::fromSecsSinceEpoch(utcSecond, Qt::UTC);
    e.positionHold = m_positionHold;

    // Position: the station plus its wander (none while the receiver holds its position).
    const double scale = m_positionHold ? 0.0 : 1.0;
    const bool held = m_positionHold && m_hasHeld;
    const double baseLat = held ? m_heldLat : m_config.latitude;
    const double baseLon = held ? m_heldLon : m_config.longitude;
    const double baseHeight = held ? m_heldHeight : m_config.height;
    const double north = scale * m_config.horizontalNoise * wander(seed, 0, utcSecond);
    const double east = scale * m_config.horizontalNoise * wander(seed, 1, utcSecond);
    const double up = scale * m_config.verticalNoise * wander(seed, 2, utcSecond);
    e.latitude = baseLat + north / MetresPerDegree;
    e.longitude = baseLon + east / (MetresPerDegree * std::max(0.01, std::cos(baseLat * Pi / 180.0)));
    e.height = baseHeight + up;
    e.mslHeight = e.height - m_config.geoidSeparation;
    e.latitudeMas = int32_t(std::lround(e.latitude * 3600000.0));
    e.longitudeMas = int32_t(std::lround(e.longitude * 3600000.0));
    e.heightCm = int32_t(std::lround(e.height * 100.0));
    e.mslHeightCm = int32_t(std::lround(e.mslHeight * 100.0));

    // Sky.
    const Sky sky(seed);
    const double t = double(utcSecond);
    for (const Pass &p : sky.passesAt(t)) {
        const uint64_t k = uint64_t(p.index);
        const bool extra = p.track >= MainTracks;
        const double maxEl = extra ? 12.0 + 30.0 * unitOf(seed, 700, p.track, k)
                                   : 25.0 + 63.0 * unitOf(seed, 700, p.track, k);
        const double azRise = 360.0 * unitOf(seed, 701, p.track, k);
        double sweep = 60.0 + 140.0 * unitOf(seed, 702, p.track, k);
        if (unitOf(seed, 703, p.track, k) < 0.5)
            sweep = -sweep;
        SimulatedSatellite s;
        s.svId = sky.prnOf(p.track, p.index);
        s.slot = p.track;
        s.elevationExact = maxEl * std::sin(Pi * p.u);
        s.azimuthExact = wrap360(azRise + sweep * p.u);
        s.elevation = int(std::lround(s.elevationExact));
        s.azimuth = int(std::lround(s.azimuthExact)) % 360;
        s.dopplerHz = int(std::lround(4200.0 * std::cos(Pi * p.u)));
        s.passFraction = p.u;
        s.passSeconds = extra ? ExtraPass[p.track - MainTracks] : MainPass + Overlap;
        s.cNo = cNoFor(s.elevationExact, seed, s.svId, utcSecond);
        if (m_config.amuSignal) {
            s.cNo = std::min(s.cNo, 53);
            s.signal = amuForCNo(s.cNo);
        } else {
            s.signal = s.cNo;
        }
        e.satellites.push_back(s);
    }
    std::sort(e.satellites.begin(), e.satellites.end(),
              [](const SimulatedSatellite &a, const SimulatedSatellite &b) { return a.svId < b.svId; });
    e.visibleCount = int(e.satellites.size());

    // Channels: the highest satellites above the mask, kept in track order.
    std::vector<SimulatedSatellite *> candidates;
    for (SimulatedSatellite &s : e.satellites)
        if (s.elevationExact >= m_elevationMask
            && !(s.svId >= 1 && s.svId <= 32 && (m_ignoredPrns >> (s.svId - 1)) & 1u))
            candidates.push_back(&s);
    std::sort(candidates.begin(), candidates.end(), [](auto *a, auto *b) {
        return a->elevationExact > b->elevationExact;
    });
    if (int(candidates.size()) > m_config.channels)
        candidates.resize(size_t(m_config.channels));
    std::sort(candidates.begin(), candidates.end(), [](auto *a, auto *b) {
        return a->slot != b->slot ? a->slot < b->slot : a->svId < b->svId;
    });
    e.channelSvIds.assign(size_t(m_config.channels), 0);
    for (size_t i = 0; i < candidates.size(); ++i) {
        candidates[i]->channel = int(i);
        candidates[i]->trackMode = 8;
        e.channelSvIds[i] = candidates[i]->svId;
    }
    // Satellites above the horizon but not in a channel carry no signal.
    for (SimulatedSatellite &s : e.satellites)
        if (s.channel < 0) {
            s.cNo = 0;
            s.signal = 0;
        }
    e.trackedCount = int(candidates.size());

    const int n = std::max(1, e.trackedCount);
    e.dopTenths = int(std::lround(10.0 * (1.0 + 5.0 / n + 0.2 * std::sin(t / 900.0))));

    // Sawtooth: the 1PPS is placed on the receiver's clock grid; the error wraps through
    // +-10 ns as the oscillator drifts against UTC.
    const double drift = 0.29 + 0.1 * unitOf(seed, 800);
    const double phase = unitOf(seed, 801);
    double cycles = phase + t * drift;
    cycles -= std::floor(cycles);
    e.sawtoothNs = std::clamp(int(std::lround(-10.0 + 20.0 * cycles)), -10, 10);
    e.accuracyNs = 4 + int(hashOf(seed, 802, uint64_t(utcSecond)) % 9);
    return e;
}

// --- NMEA sentences ---------------------------------------------------------------------------

QByteArray SimulatedSky::nmeaLine(const QByteArray &body)
{
    uint8_t x = 0;
    for (char c : body)
        x ^= uint8_t(c);
    return "$" + body + "*" + QByteArray::number(x, 16).rightJustified(2, '0').toUpper() + "\r\n";
}

QByteArray SimulatedSky::nmeaSentence(const SimulatedEpoch &e, const QByteArray &type)
{
    const QDateTime &u = e.utc;
    const QByteArray hms = u.toString(QStringLiteral("HHmmss")).toLatin1() + ".00";
    const QByteArray lat = angle(e.latitude, 2, 'N', 'S');
    const QByteArray lon = angle(e.longitude, 3, 'E', 'W');
    const QByteArray dop = QByteArray::number(e.dopTenths / 10.0, 'f', 1);
    const bool fix = e.trackedCount >= 3;
    if (type == "GGA") {
        return nmeaLine("GPGGA," + hms + ',' + lat + ',' + lon + ',' + (fix ? "1" : "0") + ','
                        + QByteArray::number(e.trackedCount).rightJustified(2, '0') + ',' + dop + ','
                        + QByteArray::number(e.mslHeight, 'f', 1) + ",M,"
                        + QByteArray::number(e.height - e.mslHeight, 'f', 1) + ",M,,");
    }
    if (type == "RMC") {
        return nmeaLine("GPRMC," + hms + ',' + (fix ? "A" : "V") + ',' + lat + ',' + lon + ",0.0,0.0,"
                        + u.toString(QStringLiteral("ddMMyy")).toLatin1() + ",,");
    }
    if (type == "GLL")
        return nmeaLine("GPGLL," + lat + ',' + lon + ',' + hms + ',' + (fix ? "A" : "V"));
    if (type == "VTG")
        return nmeaLine("GPVTG,0.0,T,,M,0.00,N,0.00,K");
    if (type == "ZDA") {
        return nmeaLine("GPZDA," + hms + ',' + u.toString(QStringLiteral("dd,MM,yyyy")).toLatin1() + ",00,00");
    }
    if (type == "GSA") {
        QByteArray b = QByteArray("GPGSA,A,") + (fix ? "3" : "1");
        for (int i = 0; i < 12; ++i) {
            const int sv = i < int(e.channelSvIds.size()) ? e.channelSvIds[size_t(i)] : 0;
            b += ',' + (sv ? QByteArray::number(sv).rightJustified(2, '0') : QByteArray());
        }
        b += ',' + dop + ',' + QByteArray::number(e.dopTenths * 0.06, 'f', 1) + ','
            + QByteArray::number(e.dopTenths * 0.08, 'f', 1);
        return nmeaLine(b);
    }
    if (type == "GSV") {
        const int n = int(e.satellites.size());
        const int total = std::max(1, (n + 3) / 4);
        QByteArray out;
        for (int m = 0; m < total; ++m) {
            QByteArray b = "GPGSV," + QByteArray::number(total) + ',' + QByteArray::number(m + 1) + ','
                + QByteArray::number(n).rightJustified(2, '0');
            for (int i = 4 * m; i < std::min(n, 4 * m + 4); ++i) {
                const SimulatedSatellite &s = e.satellites[size_t(i)];
                b += ',' + QByteArray::number(s.svId).rightJustified(2, '0') + ','
                    + QByteArray::number(s.elevation).rightJustified(2, '0') + ','
                    + QByteArray::number(s.azimuth).rightJustified(3, '0') + ','
                    + (s.channel >= 0 ? QByteArray::number(s.cNo) : QByteArray());
            }
            out += nmeaLine(b);
        }
        return out;
    }
    return {};
}

