#include "sim/SimulatedReceiver.h"

#include "core/Settings.h"
#include "transport/GpsPortSettings.h"

#include "sim/SimulatedUblox.h"

#include <QSettings>
#include <algorithm>
#include <array>
#include <cmath>

namespace {

qint64 floorDiv(qint64 a, qint64 b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

int32_t be32(const QByteArray &b, int at)
{
    return int32_t((uint32_t(uint8_t(b.at(at))) << 24) | (uint32_t(uint8_t(b.at(at + 1))) << 16)
                   | (uint32_t(uint8_t(b.at(at + 2))) << 8) | uint32_t(uint8_t(b.at(at + 3))));
}

struct ModelEntry
{
    const char *name;
    int channels;
    bool amu;
    bool traim;
    MotorolaEncoder::Identification::Maker maker;
    const char *modelNumber;
    const char *version;
    const char *revision;
};

using Maker = MotorolaEncoder::Identification;
constexpr ModelEntry models[] = {
    { "M12+", 12, false, true, Maker::Motorola, "P283T12NR5", "2", "0" },
    { "UT+", 8, false, true, Maker::Motorola, "R5121U1113", "3", "1" },
    { "VP", 8, true, false, Maker::Motorola, "B4121P1155", "10", "2" },
    { "M12", 12, false, false, Maker::Motorola, "P121T11T11", "1", "3" },
    { "M12M", 12, false, true, Maker::Motorola, "P325T12NR5", "2", "2" },
    { "UT", 8, false, true, Maker::Motorola, "R1121U1111", "3", "0" },
    { "GT", 8, false, false, Maker::Motorola, "R1121N1111", "2", "1" },
    { "GT+", 8, false, false, Maker::Motorola, "R3121N1111", "2", "3" },
    { "SL", 8, false, false, Maker::Motorola, "R6121S1111", "1", "0" },
    { "PVT6", 6, true, false, Maker::Motorola, "PVT6 1100", "5", "0" },
    { "XT", 6, true, false, Maker::Motorola, "A1121P1111", "5", "1" },
    { "VP6", 6, true, false, Maker::Motorola, "B1121P1111", "5", "2" },
    { "TX Oncore", 8, false, true, Maker::ILotus, "IL-GPS-0080-B", "1", "1" },
    { "CNXT/NVMN", 8, false, false, Maker::Conexant, "TU60-D120", "3", "2" },
    { "SIGNAV", 12, false, false, Maker::Signav, "MG5001", "1", "2" },
    { "SSR-6Tf", 12, false, true, Maker::Synergy, "SSR-6Tf", "4", "21" },
    { "SSR-6Tr", 12, false, true, Maker::Synergy, "SSR-6Tr", "4", "21" },
    { "SSR-M8F", 12, false, true, Maker::Synergy, "SSR-M8F", "4", "21" },
    { "SSR-M8T", 12, false, true, Maker::Synergy, "SSR-M8T", "4", "21" },
};

} // namespace

// --- configuration -------------------------------------------------------------------------

SimulatedReceiverConfig SimulatedReceiverConfig::forModel(const QString &name, bool *ok)
{
    SimulatedReceiverConfig c;
    QString base = name.trimmed();
    QString pluses;
    // "SSR-6Tr+" and "SSR-6Tr++" are the plus variants of the SSR units.
    while (base.startsWith(QLatin1String("SSR-")) && base.endsWith(QLatin1Char('+'))) {
        pluses += QLatin1Char('+');
        base.chop(1);
    }
    if (SimulatedUblox::configure(name, c)) {
        if (ok)
            *ok = true;
        return c;
    }
    const ModelEntry *found = nullptr;
    for (const ModelEntry &m : models)
        if (base.compare(QLatin1String(m.name), Qt::CaseInsensitive) == 0)
            found = &m;
    if (ok)
        *ok = found != nullptr;
    if (!found)
        found = &models[0];
    c.modelName = QString::fromLatin1(found->name) + pluses;
    c.channels = found->channels;
    c.amuSignal = found->amu;
    c.hasTraim = found->traim;
    c.identification.maker = found->maker;
    c.identification.modelNumber = QByteArray(found->modelNumber) + pluses.toLatin1();
    c.identification.softwareVersion = found->version;
    c.identification.softwareRevision = found->revision;
    return c;
}

QStringList SimulatedReceiverConfig::modelNames()
{
    QStringList names;
    for (const ModelEntry &m : models)
        names << QString::fromLatin1(m.name);
    return names + SimulatedUblox::modelNames();
}

QString SimulatedReceiverConfig::loadModelName(QSettings &settings)
{
    const QString stored = settings.value(keyModel()).toString();
    bool ok = false;
    const SimulatedReceiverConfig c = forModel(stored, &ok);
    if (!ok) {
        settings.setValue(keyModel(), defaultModelName());
        return defaultModelName();
    }
    return c.modelName;
}

int SimulatedReceiverConfig::loadDataRate(QSettings &settings)
{
    const int stored = Settings::readInt(settings, keyDataRate(), 9600);
    if (GpsPortSettings::isValidDataRate(stored))
        return stored;
    settings.setValue(keyDataRate(), 9600);
    return 9600;
}

// --- the receiver --------------------------------------------------------------------------

SimulatedReceiver::SimulatedReceiver(const SimulatedReceiverConfig &config)
    : m_sky(config)
    , m_line(config)
{
    // A unit that was set up before: its family's position message, T-RAIM status and the
    // visible-satellite list once a second.
    const char family = config.channels >= 12 ? 'H' : config.channels >= 8 ? 'E' : 'B';
    m_rates.insert(QByteArray(1, family) + 'a', 1);
    if (config.hasTraim)
        m_rates.insert(QByteArray(1, family) + 'n', 1);
    m_rates.insert("Bb", 1);
    if (config.ublox)
        m_ublox = std::make_unique<SimulatedUblox>(m_sky, m_line);
}

SimulatedReceiver::~SimulatedReceiver() = default;

uint8_t SimulatedReceiver::positionStatus(const SimulatedEpoch &e, char family) const
{
    // Returns the status byte of the 6/8-channel families, or the high byte of the 12-channel
    // status word (see positionFrame).
    const bool insufficient = e.trackedCount < 3;
    if (family == 'H') {
        if (insufficient)
            return 3 << 5;                         // acquiring satellites
        return e.positionHold ? (4 << 5) : (7 << 5);   // position hold / 3-D fix
    }
    if (insufficient)
        return 0x08 | 0x02;
    return e.positionHold ? 0x08 : 0x20;
}

// The time, position, DOP and counts every position message of an epoch carries.
static MotorolaEncoder::PositionMessage basePositionMessage(const SimulatedEpoch &e)
{
    MotorolaEncoder::PositionMessage m;
    m.time = MotorolaEncoder::TimeStamp::fromUtc(e.utc);
    m.latitudeMas = e.latitudeMas;
    m.longitudeMas = e.longitudeMas;
    m.heightCm = e.heightCm;
    m.mslHeightCm = e.mslHeightCm;
    m.dopTenths = uint16_t(e.dopTenths);
    m.visible = uint8_t(e.visibleCount);
    m.tracked = uint8_t(e.trackedCount);
    return m;
}

QByteArray SimulatedReceiver::positionFrame(const SimulatedEpoch &e, char family) const
{
    MotorolaEncoder::PositionMessage m = basePositionMessage(e);
    m.rawLatitudeMas = e.latitudeMas;
    m.rawLongitudeMas = e.longitudeMas;
    m.rawHeightCm = e.heightCm;
    m.rawMslHeightCm = e.mslHeightCm;
    for (int sv : e.channelSvIds) {
        MotorolaEncoder::Channel c;
        if (const SimulatedSatellite *s = sv ? e.satellite(sv) : nullptr) {
            c.svId = uint8_t(s->svId);
            c.mode = uint8_t(s->trackMode);
            c.signal = uint8_t(s->signal);
            c.iode = uint8_t(SimulatedSky::hash(config().seed, 900, uint64_t(s->svId), uint64_t(e.utcSecond / 7200)));
        }
        m.channels.push_back(c);
    }
    const uint8_t status = positionStatus(e, family);
    const double t = double(e.utcSecond);
    switch (family) {
    case 'H':
        m.receiverStatus = uint16_t(status << 8) | (e.trackedCount < 3 ? 0x08 : 0);
        m.clockBiasNs = int16_t(std::lround(120.0 * std::sin(t / 3600.0)));
        m.oscillatorOffsetHz = uint32_t(20000 + std::lround(800.0 * std::sin(t / 5400.0)));
        m.temperatureHalfDegrees = int16_t(std::lround(2.0 * (31.0 + 4.0 * std::sin(t / 7200.0))));
        m.utcParameters = uint8_t(config().leapSeconds);
        m.idTag = m_idTag;
        return MotorolaEncoder::ha(m);
    case 'E':
        m.receiverStatus = status;
        return MotorolaEncoder::ea(m);
    default:
        m.receiverStatus = status;
        return MotorolaEncoder::ba(m);
    }
}

QByteArray SimulatedReceiver::shortPositionFrame(const SimulatedEpoch &e) const
{
    MotorolaEncoder::PositionMessage m = basePositionMessage(e);
    m.receiverStatus = uint16_t(positionStatus(e, 'H') << 8);
    m.idTag = m_idTag;
    return MotorolaEncoder::hb(m);
}

QByteArray SimulatedReceiver::visibleFrame(const SimulatedEpoch &e) const
{
    std::vector<MotorolaEncoder::VisibleSatellite> list;
    for (const SimulatedSatellite &s : e.satellites) {
        MotorolaEncoder::VisibleSatellite v;
        v.svId = uint8_t(s.svId);
        v.dopplerHz = int16_t(s.dopplerHz);
        v.elevation = uint8_t(s.elevation);
        v.azimuth = uint16_t(s.azimuth);
        list.push_back(v);
    }
    return MotorolaEncoder::bb(list);
}

QByteArray SimulatedReceiver::traimFrame(const SimulatedEpoch &e) const
{
    MotorolaEncoder::TraimMessage m = m_traimSettings;
    m.sawtoothNs = int8_t(e.sawtoothNs);
    m.accuracyNs = uint16_t(e.accuracyNs);
    m.solutionStatus = e.trackedCount >= 3 ? 0 : 2;
    m.traimStatus = e.trackedCount >= 5 ? 0 : e.trackedCount == 4 ? 1 : 2;
    for (int sv : e.channelSvIds) {
        MotorolaEncoder::TraimMessage::Residual r;
        if (sv) {
            r.svId = uint8_t(sv);
            r.offsetNs = int32_t(SimulatedSky::hash(config().seed, 1000, uint64_t(sv), uint64_t(e.utcSecond)) % 31) - 15;
        }
        m.residuals.push_back(r);
    }
    if (config().channels >= 12)
        return MotorolaEncoder::hn(m);
    return config().channels >= 8 ? MotorolaEncoder::en(m) : MotorolaEncoder::bn(m);
}

QByteArray SimulatedReceiver::dopFrame(const SimulatedEpoch &e) const
{
    MotorolaEncoder::DopMessage m;
    m.pdop = uint16_t(e.dopTenths);
    m.hdop = uint16_t(std::max(5, e.dopTenths * 6 / 10));
    m.vdop = uint16_t(std::max(5, e.dopTenths * 8 / 10));
    m.tdop = uint16_t(std::max(5, e.dopTenths / 2));
    m.gdop = uint16_t(std::lround(std::sqrt(double(m.pdop) * m.pdop + double(m.tdop) * m.tdop)));
    return config().channels >= 8 ? MotorolaEncoder::ek(m) : MotorolaEncoder::bk(m);
}

QByteArray SimulatedReceiver::identificationFrame() const
{
    return MotorolaEncoder::cj(config().identification);
}

QStringList SimulatedReceiver::continuousMessages() const
{
    QStringList ids;
    for (auto it = m_rates.constBegin(); it != m_rates.constEnd(); ++it)
        if (it.value() > 0)
            ids << QString::fromLatin1(it.key());
    ids.sort();
    return ids;
}

void SimulatedReceiver::setContinuousRate(const QByteArray &id, int rate)
{
    if (rate > 0)
        m_rates.insert(id, rate);
    else
        m_rates.remove(id);
}

QByteArray SimulatedReceiver::secondOutput(qint64 utcSecond)
{
    if (m_ublox)
        return m_ublox->secondOutput(utcSecond);
    const auto due = [&](const char *id) {
        const int r = m_rates.value(QByteArray(id), 0);
        return r > 0 && utcSecond % r == 0;
    };
    if (!rateMatches())
        return m_line.mismatchedSecond(utcSecond);
    const SimulatedEpoch e = epochAt(utcSecond);
    QByteArray out;
    if (m_nmeaMode) {
        static const char *const order[] = { "GGA", "GLL", "GSA", "GSV", "RMC", "VTG", "ZDA" };
        for (const char *type : order) {
            const int r = m_nmeaRates.value(QByteArray(type), 0);
            if (r > 0 && utcSecond % r == 0)
                out += nmeaSentence(e, type);
        }
        return out;
    }
    if (config().channels >= 12) {
        if (due("Ha"))
            out += positionFrame(e, 'H');
        if (due("Hb"))
            out += shortPositionFrame(e);
        if (due("Hn"))
            out += traimFrame(e);
    } else if (config().channels >= 8) {
        if (due("Ea"))
            out += positionFrame(e, 'E');
        if (due("En"))
            out += traimFrame(e);
        if (due("Ek"))
            out += dopFrame(e);
    } else {
        if (due("Ba"))
            out += positionFrame(e, 'B');
        if (due("Bn"))
            out += traimFrame(e);
        if (due("Bk"))
            out += dopFrame(e);
    }
    if (due("Bb"))
        out += visibleFrame(e);
    return out;
}

QByteArray SimulatedReceiver::streamHeader() const
{
    if (m_ublox)
        return m_ublox->streamHeader();
    return m_line.onTheLine(identificationFrame(), 0)
        + m_line.onTheLine(MotorolaEncoder::bo(uint8_t(config().leapSeconds)), 1);
}

QByteArray SimulatedReceiver::receive(QByteArrayView bytes, qint64 nowMs)
{
    if (m_ublox)
        return m_ublox->receive(bytes, nowMs);
    if (!rateMatches()) {
        // At another rate the receiver hears only framing errors.
        m_input.clear();
        return {};
    }
    m_input.append(bytes.data(), bytes.size());
    constexpr qsizetype MaxInput = 8192;
    if (m_input.size() > MaxInput)
        m_input.remove(0, m_input.size() - MaxInput);

    QByteArray out;
    for (;;) {
        const qsizetype at = m_input.indexOf("@@");
        const qsizetype dollar = m_input.indexOf('$');
        if (at < 0 && dollar < 0) {
            // Keep a lone trailing '@': it may be the first half of the next start.
            if (m_input.endsWith('@'))
                m_input = "@";
            else
                m_input.clear();
            break;
        }
        if (dollar >= 0 && (at < 0 || dollar < at)) {
            // NMEA sentences ("$PMOTG,...") mean nothing to a unit in binary mode. A binary
            // start inside an unfinished line ends it.
            m_input.remove(0, dollar);
            const qsizetype nl = m_input.indexOf('\n');
            const qsizetype next = m_input.indexOf("@@");
            if (next >= 0 && (nl < 0 || next < nl)) {
                m_input.remove(0, next);
                continue;
            }
            if (nl < 0) {
                if (m_input.size() > 256) {
                    m_input.remove(0, 1);
                    continue;
                }
                break;
            }
            const QByteArray line = m_input.left(nl + 1);
            m_input.remove(0, nl + 1);
            handleNmea(line, nowMs, out);
            continue;
        }
        m_input.remove(0, at);
        if (m_input.size() < 7)
            break;
        // The message ends at the first CR LF whose preceding byte is the checksum of
        // everything between "@@" and it (parameter bytes may themselves be CR or LF).
        qsizetype end = -1;
        constexpr qsizetype MaxCommand = 600;
        const qsizetype limit = std::min(m_input.size(), MaxCommand);
        uint8_t x = uint8_t(m_input[2]) ^ uint8_t(m_input[3]);
        for (qsizetype p = 5; p + 1 < limit; ++p) {
            // x is the exclusive-or of bytes 2 .. p-2 here.
            if (m_input[p] == '\r' && m_input[p + 1] == '\n' && uint8_t(m_input[p - 1]) == x) {
                end = p;
                break;
            }
            x ^= uint8_t(m_input[p - 1]);
        }
        if (end < 0) {
            // Unfinished, unless it is already longer than any command or a later start is
            // followed by a line end: then this start was noise.
            const qsizetype next = m_input.indexOf("@@", 2);
            if (m_input.size() >= MaxCommand || (next > 0 && m_input.indexOf("\r\n", next) > 0)) {
                m_input.remove(0, next > 0 ? next : 2);
                continue;
            }
            break;
        }
        Command c;
        c.id = m_input.mid(2, 2);
        c.params = m_input.mid(4, end - 1 - 4);
        m_input.remove(0, end + 2);
        // In NMEA mode binary commands go unheard, except the SSR units' rate change.
        if (!m_nmeaMode
            || (c.id == "Wb" && config().identification.maker == MotorolaEncoder::Identification::Synergy))
            handleCommand(c, nowMs, out);
    }
    return out;
}

bool SimulatedReceiver::familyAccepts(const QByteArray &id) const
{
    const int ch = config().channels;
    if (id == "Hn")
        return ch >= 12 && config().hasTraim;
    if (id == "En")
        return ch == 8 && config().hasTraim;
    if (id == "Bn")
        return ch == 6 && config().hasTraim;
    if (id == "Bh")
        return config().hasDgps;
    if (id == "Ba" || id == "Bk")
        return ch == 6;
    switch (id.at(0)) {
    case 'H':
    case 'G':
        return ch >= 12;
    case 'E':
        return ch == 8;
    case 'S':
    case 'T':
        return config().identification.maker == MotorolaEncoder::Identification::Synergy;
    default:
        return true;
    }
}

void SimulatedReceiver::echo(const Command &c, QByteArray &out)
{
    const char id[2] = { c.id.at(0), c.id.at(1) };
    m_line.answer(MotorolaEncoder::frame(id, c.params), out);
}

void SimulatedReceiver::handleCommand(const Command &c, qint64 nowMs, QByteArray &out)
{
    if (m_received.size() >= 4096)
        m_received.remove(0, 1024);
    m_received.append(c.id);
    m_lastParams.insert(c.id, c.params);
    if (!familyAccepts(c.id) || m_line.ignores(c.id))
        return;

    // Like the continuous output, an answer describes the coming pulse.
    const qint64 second = floorDiv(nowMs, 1000) + 1;
    const int p0 = c.params.isEmpty() ? -1 : uint8_t(c.params.at(0));
    const int rate = std::max(0, p0);
    const QByteArray &id = c.id;

    // Polls: rate 0 answers once and stops the continuous output, any other rate sets it.
    const auto poll = [&](auto build) {
        setContinuousRate(id, rate);
        if (rate == 0)
            m_line.answer(build(epochAt(second)), out);
    };

    if (id == "Cj") {
        m_line.answer(identificationFrame(), out);
    } else if (id == "Ha" || id == "Ea" || id == "Ba") {
        poll([&](const SimulatedEpoch &e) { return positionFrame(e, id.at(0)); });
    } else if (id == "Hb") {
        poll([&](const SimulatedEpoch &e) { return shortPositionFrame(e); });
    } else if (id == "Bb") {
        poll([&](const SimulatedEpoch &e) { return visibleFrame(e); });
    } else if (id == "Ek" || id == "Bk") {
        poll([&](const SimulatedEpoch &e) { return dopFrame(e); });
    } else if (id == "Hn" || id == "En" || id == "Bn") {
        if (id != "Hn" && c.params.size() >= 15) {
            m_traimSettings.rate = uint8_t(rate);
            m_traimSettings.traimEnabled = uint8_t(c.params.at(1));
            m_traimSettings.alarmLimit = uint16_t((uint8_t(c.params.at(2)) << 8) | uint8_t(c.params.at(3)));
            m_traimSettings.ppsControl = uint8_t(c.params.at(4));
            for (int i = 0; i < 10; ++i)
                m_traimSettings.spare[size_t(i)] = uint8_t(c.params.at(5 + i));
        }
        poll([&](const SimulatedEpoch &e) { return traimFrame(e); });
    } else if (id == "Bj") {
        m_line.answer(MotorolaEncoder::bj(0), out);
    } else if (id == "Gj") {
        MotorolaEncoder::LeapMessage m;
        m.presentLeapSeconds = int8_t(config().leapSeconds);
        m.futureLeapSeconds = int8_t(config().leapSeconds);
        m_line.answer(MotorolaEncoder::gj(m), out);
    } else if (id == "Bo") {
        m_line.answer(MotorolaEncoder::bo(uint8_t(config().leapSeconds)), out);
    } else if (id == "Ci") {
        // 01 switches the output to NMEA (no answer); LORAN output (02) is not simulated.
        if (p0 == 1) {
            m_nmeaMode = true;
            m_nmeaRates.clear();
        }
    } else if (id == "Ia" || id == "Fa" || id == "Ca") {
        // Self test of the family's own letter: every test passes.
        const bool own = (id == "Ia" && config().channels >= 12) || (id == "Fa" && config().channels == 8)
            || (id == "Ca" && config().channels == 6);
        if (own) {
            const char sid[2] = { id.at(0), id.at(1) };
            m_line.answer(MotorolaEncoder::frame(sid, QByteArray(id == "Ia" ? 3 : 2, '\0')), out);
        }
    } else if (id == "Wb") {
        // The answer still goes out at the old rate; then the port follows.
        echo(c, out);
        if (c.params.size() >= 2) {
            const int r = MotorolaEncoder::codeRate(uint8_t(c.params.at(0)), uint8_t(c.params.at(1)));
            if (r > 0) {
                m_line.setDataRate(r);
                m_input.clear();
            }
        }
    } else if (id.at(0) == 'A' || id.at(0) == 'G' || id.at(0) == 'S' || id.at(0) == 'T'
               || id.at(0) == 'W' || id == "Cg" || id == "Cf" || id == "Bh") {
        if (id == "Ag" && p0 >= 0 && p0 <= 89)
            m_sky.setElevationMask(p0);
        else if (id == "Am" && c.params.size() >= 5)
            m_sky.setIgnoredPrns(~uint32_t(be32(c.params, 1)));   // the command lists the satellites to use
        else if (id == "As" && c.params.size() >= 13)
            m_sky.setHeldPosition(be32(c.params, 0) / 3600000.0, be32(c.params, 4) / 3600000.0,
                                  be32(c.params, 8) / 100.0 + (c.params.at(12) == 1 ? config().geoidSeparation : 0.0));
        else if ((id == "At" || id == "Gd") && p0 >= 0)
            m_sky.setPositionHold(p0 == 1);
        else if (id == "Gk" && c.params.size() >= 6)
            m_idTag = c.params.left(6);
        else if (id == "Ge" && p0 >= 0)
            m_traimSettings.traimEnabled = uint8_t(p0);
        else if (id == "Gc" && p0 >= 0)
            m_traimSettings.ppsControl = uint8_t(p0);
        else if (id == "Cf")
            m_sky.reset();
        echo(c, out);
    }
    // Anything else ("@@Bg", "@@Eg", "@@Bl", self tests, ...) goes unanswered.
}

// --- NMEA input ----------------------------------------------------------------------------

void SimulatedReceiver::handleNmea(const QByteArray &line, qint64 nowMs, QByteArray &out)
{
    // "$PMOTG,XXX,rrrr" sets the rate of sentence XXX (0000 = once, now); "$PMOTG,FOR,0"
    // returns to binary output. A checksum, when present, must be right.
    QByteArray body = line.trimmed();
    if (!body.startsWith("$PMOTG,"))
        return;
    body = body.mid(1);
    const qsizetype star = body.indexOf('*');
    if (star >= 0) {
        uint8_t x = 0;
        for (qsizetype i = 0; i < star; ++i)
            x ^= uint8_t(body.at(i));
        if (body.mid(star + 1).toUpper() != QByteArray::number(x, 16).rightJustified(2, '0').toUpper())
            return;
        body.truncate(star);
    }
    const QList<QByteArray> f = body.split(',');
    if (f.size() < 3)
        return;
    if (m_received.size() >= 4096)
        m_received.remove(0, 1024);
    m_received.append("PMOTG," + f.at(1));
    if (!m_nmeaMode)
        return;   // a unit in binary mode hears nothing in NMEA
    if (f.at(1) == "FOR") {
        if (f.at(2).toInt() == 0) {
            m_nmeaMode = false;
            m_nmeaRates.clear();
        }
        return;
    }
    static const QByteArray known[] = { "GGA", "GLL", "GSA", "GSV", "RMC", "VTG", "ZDA" };
    if (std::find(std::begin(known), std::end(known), f.at(1)) == std::end(known))
        return;
    bool ok = false;
    const int rate = f.at(2).toInt(&ok);
    if (!ok || rate < 0)
        return;
    if (rate == 0) {
        m_nmeaRates.remove(f.at(1));
        m_line.answer(nmeaSentence(epochAt(floorDiv(nowMs, 1000) + 1), f.at(1)), out);
    } else {
        m_nmeaRates.insert(f.at(1), rate);
    }
}
