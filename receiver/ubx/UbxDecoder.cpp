#include "receiver/ubx/UbxDecoder.h"

#include "core/TextFormat.h"
#include "core/ReceiverState.h"
#include "averaging/AveragingInput.h"
#include "averaging/Geoid.h"
#include "receiver/ubx/UbxConfiguration.h"
#include "receiver/ubx/UbxRawEpoch.h"

#include <QDate>
#include <QDateTime>
#include <QTime>
#include <QtDebug>

namespace {

constexpr int64_t SecondsPerWeek = 604800;
constexpr int64_t SecondsPerDay = 86400;
// cm/s to knots: 3600 / 185200.
constexpr double KnotsPerCmPerSecond = 0.0194384449;

const char *groupName(uint8_t cls)
{
    switch (cls) {
    case Ubx::Nav: return "UBX-NAV";
    case Ubx::Rxm: return "UBX-RXM";
    case Ubx::Inf: return "UBX-INF";
    case Ubx::Ack: return "UBX-ACK";
    case Ubx::Cfg: return "UBX-CFG";
    case Ubx::Upd: return "UBX-UPD";
    case Ubx::Mon: return "UBX-MON";
    case Ubx::Aid: return "UBX-AID";
    case Ubx::Tim: return "UBX-TIM";
    default: return nullptr;
    }
}

// Text of a character field: printable ASCII as it is, anything else as "<%2.2X>", up to the
// first NUL.
QString fieldText(QByteArrayView bytes)
{
    QString out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const uint8_t b = uint8_t(c);
        if (b == 0)
            break;
        if (b >= 0x20 && b < 0x7F)
            out.append(QLatin1Char(c));
        else
            out.append(formatText("<%2.2X>", b));
    }
    return out;
}

// Seconds from the GPS epoch to a UTC time, counted on the UTC scale: the leap second falls at
// the end of a UTC day, so its week and day are compared without the GPS-UTC offset.
int64_t secondsSinceGpsEpoch(const QDateTime &utc)
{
    static const QDateTime gpsEpoch(QDate(1980, 1, 6), QTime(0, 0), Qt::UTC);
    return gpsEpoch.secsTo(utc);
}

} // namespace

// Little-endian reads from the payload; callers check the size first.
struct UbxDecoder::Payload
{
    QByteArrayView bytes;

    qsizetype size() const { return bytes.size(); }
    uint8_t u8(qsizetype o) const { return uint8_t(bytes[o]); }
    int8_t i8(qsizetype o) const { return int8_t(u8(o)); }
    uint16_t u16(qsizetype o) const { return uint16_t(u8(o) | (uint16_t(u8(o + 1)) << 8)); }
    int16_t i16(qsizetype o) const { return int16_t(u16(o)); }
    uint32_t u32(qsizetype o) const { return uint32_t(u16(o)) | (uint32_t(u16(o + 2)) << 16); }
    int32_t i32(qsizetype o) const { return int32_t(u32(o)); }
};

// What one message decoder produced. `consumed` payload bytes are covered by the text; the
// rest is shown as bytes.
struct UbxDecoder::Result
{
    QString name;
    QString text;
    qsizetype consumed = 0;
    bool unknownId = false;
    bool tooShort = false;

    static Result unknown()
    {
        Result r;
        r.unknownId = true;
        return r;
    }
    static Result shortPayload(const char *name)
    {
        Result r;
        r.name = QLatin1String(name);
        r.tooShort = true;
        return r;
    }
    static Result named(const char *name)
    {
        Result r;
        r.name = QLatin1String(name);
        return r;
    }
    static Result of(const char *name, const QString &text, qsizetype consumed)
    {
        Result r;
        r.name = QLatin1String(name);
        r.text = text;
        r.consumed = consumed;
        return r;
    }
};

UbxDecoder::UbxDecoder(const DecoderContext &context)
    : m_context(context)
{
}

QString UbxDecoder::bytesText(QByteArrayView bytes)
{
    static const char hex[] = "0123456789ABCDEF";
    QString out(bytes.size() * 4, Qt::Uninitialized);
    QChar *d = out.data();
    for (const char c : bytes) {
        const uint8_t b = uint8_t(c);
        *d++ = QLatin1Char('<');
        *d++ = QLatin1Char(hex[b >> 4]);
        *d++ = QLatin1Char(hex[b & 0x0F]);
        *d++ = QLatin1Char('>');
    }
    return out;
}

uint8_t UbxDecoder::trackModeForQuality(uint8_t quality)
{
    switch (quality) {
    case 0: return 0;
    case 1: return 1;
    case 2:
    case 3: return 3;
    case 4:
    case 5:
    case 6:
    case 7: return 8;
    default: return 9;
    }
}

int UbxDecoder::leapSecondPending(int utcLs, int utcLsf, int wnf, int dn, int64_t nowSeconds)
{
    if (utcLs == utcLsf)
        return 0;
    // The broadcast week of the event is the week number modulo 256: take the full week
    // nearest to now.
    const int64_t nowWeek = nowSeconds / SecondsPerWeek;
    int64_t diff = (int64_t(wnf) - nowWeek) % 256;
    if (diff < 0)
        diff += 256;
    if (diff >= 128)
        diff -= 256;
    // The leap second is inserted at the end of day DN (1 = Sunday) of that week.
    const int64_t event = (nowWeek + diff) * SecondsPerWeek + int64_t(dn) * SecondsPerDay;
    if (nowSeconds >= event)
        return 0;
    return utcLsf > utcLs ? 1 : 2;
}

QString UbxDecoder::decodeUbxFrame(const QByteArray &frame)
{
    m_lastWarning.clear();
    m_changes = 0;
    if (!Ubx::isCompleteFrame(frame))
        return {};
    const uint8_t cls = uint8_t(frame[2]);
    const uint8_t id = uint8_t(frame[3]);
    const char *group = groupName(cls);
    if (!group)
        return formatText("UBX-%X ?\077\077-Unknown Message Class-?\077\077 ", cls) + bytesText(frame);

    m_frame = frame;
    const Payload p { QByteArrayView(frame).sliced(6, frame.size() - 8) };
    Result r;
    switch (cls) {
    case Ubx::Nav: r = decodeNav(id, p); break;
    case Ubx::Tim: r = decodeTim(id, p); break;
    case Ubx::Cfg: r = decodeCfg(id, p); break;
    case Ubx::Mon: r = decodeMon(id, p); break;
    case Ubx::Aid: r = decodeAid(id, p); break;
    case Ubx::Ack: r = decodeAck(id, p); break;
    case Ubx::Inf: r = decodeInf(id, p); break;
    case Ubx::Rxm: r = decodeRxm(id, p); break;
    case Ubx::Upd: r = decodeUpd(id, p); break;
    }

    QString out = QLatin1String(group);
    if (r.unknownId)
        return out + QStringLiteral(" Unknown ID ?\077\077 ") + bytesText(frame);
    if (!r.name.isEmpty())
        out += QLatin1Char('-') + r.name;
    if (r.tooShort) {
        if (p.size() > 0)
            out += QLatin1Char(' ') + bytesText(p.bytes);
        return out;
    }
    if (!r.text.isEmpty()) {
        if (!r.text.startsWith(QLatin1Char(' ')))
            out += QLatin1Char(' ');
        out += r.text;
    }
    if (r.consumed < p.size())
        out += QLatin1Char(' ') + bytesText(p.bytes.sliced(r.consumed));
    return out;
}

// --- NAV -------------------------------------------------------------------------------------

UbxDecoder::Result UbxDecoder::decodeNav(uint8_t id, const Payload &p)
{
    switch (id) {
    case 0x01:
        if (p.size() < 20)
            return Result::shortPayload("POSECEF");
        return Result::of("POSECEF",
                          formatText("iTOW = %u, ecefX = %i, ecefY = %i, ecefZ = %i, pAcc = %u",
                                            p.u32(0), p.i32(4), p.i32(8), p.i32(12), p.u32(16)),
                          20);
    case 0x02: {
        if (p.size() < 28)
            return Result::shortPayload("POSLLH");
        const double lon = p.i32(4) / 1e7;
        const double lat = p.i32(8) / 1e7;
        const double height = p.i32(12) / 1000.0;
        const double msl = p.i32(16) / 1000.0;
        m_posLlhSeen = true;
        if (m_context.averaging)
            m_context.averaging->updatePosition(lat, lon, height, msl);
        m_changes |= DecodeChange::Position;
        return Result::of("POSLLH",
                          formatText("iTOW = %u, lon = %1.8f, lat = %1.8f, height = %1.3f, MSL = %1.3f, hAcc = %u, vAcc = %u",
                                            p.u32(0), lon, lat, height, msl, p.u32(20), p.u32(24)),
                          28);
    }
    case 0x03: return navStatus(p);
    case 0x04: return navDop(p);
    case 0x06: return navSol(p);
    case 0x07: return navPvt(p);
    case 0x11:
        if (p.size() < 20)
            return Result::shortPayload("VELECEF");
        return Result::of("VELECEF",
                          formatText("iTOW = %u, ecefVX = %i, ecefVY = %i, ecefVZ = %i, sAcc = %u",
                                            p.u32(0), p.i32(4), p.i32(8), p.i32(12), p.u32(16)),
                          20);
    case 0x22: return navClock(p);
    case 0x26: return navTimeLs(p);
    case 0x35: return navSat(p);
    case 0x61:   // end of the epoch's navigation messages
        if (p.size() < 4)
            return Result::shortPayload("EOE");
        return Result::of("EOE", formatText("iTOW = %u", p.u32(0)), 4);
    case 0x12: {
        if (p.size() < 36)
            return Result::shortPayload("VELNED");
        const uint32_t groundSpeed = p.u32(20);
        const double heading = p.i32(24) / 1e5;
        if (m_context.averaging) {
            m_context.averaging->setSpeedKnots(groundSpeed * KnotsPerCmPerSecond);
            m_context.averaging->setHeadingDegrees(heading);
        }
        return Result::of("VELNED",
                          formatText("iTOW = %u, Ground Speed = %u cm/sec, Heading = %4.1f degrees",
                                            p.u32(0), groundSpeed, heading),
                          36);
    }
    case 0x20: {
        if (p.size() < 16)
            return Result::shortPayload("TIMEGPS");
        const int leap = p.i8(10);
        const uint8_t valid = p.u8(11);
        if (valid & 0x04)   // leapSValid
            m_context.state->leapSeconds = leap;
        return Result::of("TIMEGPS",
                          formatText("iTOW = %u ... week = %u, leap seconds = %i, valid = %2.2x",
                                            p.u32(0), uint(p.u16(8)), leap, uint(valid)),
                          16);
    }
    case 0x21: return navTimeUtc(p);
    case 0x30: return navSvInfo(p);
    default: return Result::unknown();
    }
}

UbxDecoder::Result UbxDecoder::navStatus(const Payload &p)
{
    if (p.size() < 16)
        return Result::shortPayload("STATUS");
    static const char *const fixTexts[] = {
        "No Fix, ", "Dead reckoning only, ", "2D-fix, ", "3-D Fix, ",
        "GPS + dead reckoning combined, ", "Time only fix (0-D Nav), ",
    };
    const uint8_t gpsFix = p.u8(4);
    const QString status = gpsFix <= 5 ? QLatin1String(fixTexts[gpsFix]) : QString();

    applyFix(gpsFix, status, true);

    return Result::of("STATUS",
                      status + formatText("iTOW = %u, gpsFix = %u, flags = 0x%2.2X, diffStat = 0x%2.2X, res = %u, ttff = %u, msss = %u",
                                                 p.u32(0), uint(gpsFix), uint(p.u8(5)), uint(p.u8(6)), uint(p.u8(7)),
                                                 p.u32(8), p.u32(12)),
                      16);
}

// Fix dimension to the engine, navigation indicator and fix text from a NAV-STATUS gpsFix or a
// NAV-PVT fixType (the same codes). Only NAV-STATUS turns TIM-SVIN off at a time-only fix.
void UbxDecoder::applyFix(uint8_t gpsFix, const QString &status, bool svinOffAtTimeFix)
{
    int dimension = -1;
    switch (gpsFix) {
    case 0: dimension = 0; break;
    case 2: dimension = 2; break;
    case 3: dimension = 3; break;
    case 5: dimension = 1; break;
    default: break;
    }
    if (dimension >= 0 && m_context.averaging)
        m_context.averaging->setFixType(dimension);

    if (gpsFix == 5) {
        // Time-only fix: the survey is over, so its progress messages are no longer wanted.
        m_timeOnlyFix = true;
        setNavigation(1);
        if (svinOffAtTimeFix && m_context.commands)
            m_context.commands->sendGpsRxCommand(Ubx::timSvinOff());
    } else {
        m_timeOnlyFix = false;
        if (m_context.state->navigationState != 2)   // a survey keeps its "Surveying"
            setNavigation(0);
    }
    if (m_context.display)
        m_context.display->setFixStatusText(fixStatusLabelText(status, false));
}

UbxDecoder::Result UbxDecoder::navDop(const Payload &p)
{
    if (p.size() < 18)
        return Result::shortPayload("DOP");
    const double g = p.u16(4) / 100.0;
    const double pd = p.u16(6) / 100.0;
    const double t = p.u16(8) / 100.0;
    const double v = p.u16(10) / 100.0;
    const double h = p.u16(12) / 100.0;
    const double n = p.u16(14) / 100.0;
    const double e = p.u16(16) / 100.0;
    if (m_context.averaging)
        m_context.averaging->setDops(g, pd, h, v, t);
    if (m_context.display) {
        m_context.display->setDopStatusText(
            m_timeOnlyFix ? formatText("DOPs: T = %3.1f", t)
                          : formatText("DOPs: T = %3.1f, P = %3.1f, H = %3.1f, V = %3.1f", t, pd, h, v));
    }
    return Result::of("DOP",
                      formatText("iTOW = %u, gDOP = %4.2f, pDOP = %4.2f, tDOP = %4.2f, vDOP = %4.2f, hDOP = %4.2f, nDOP = %4.2f, eDOP = %4.2f",
                                        p.u32(0), g, pd, t, v, h, n, e),
                      18);
}

UbxDecoder::Result UbxDecoder::navTimeUtc(const Payload &p)
{
    if (p.size() < 20)
        return Result::shortPayload("TIMEUTC");
    const uint32_t iTow = p.u32(0);
    const uint32_t tAcc = p.u32(4);
    const int32_t nano = p.i32(8);
    const int year = p.u16(12);
    const int month = p.u8(14);
    const int day = p.u8(15);
    const int hour = p.u8(16);
    const int minute = p.u8(17);
    const int second = p.u8(18);
    const uint8_t valid = p.u8(19);

    m_context.state->timeValidity = (valid & 0x04) ? 1 : 0;   // validUTC: leap seconds known
    // Bit 2 (validUTC): a cold module sends a date and time before it knows the UTC offset,
    // and such a time must reach neither the clock, the logs nor the PC clock.
    if (valid & 0x04)
        storeTime(year, month, day, hour, minute, second, nano, "NAV-TIMEUTC");
    else
        warnIllegalTime("NAV-TIMEUTC");
    return Result::of("TIMEUTC",
                      formatText("iTOW = %u, tAcc = %u, nano = %i, date (YMD) %d, %d, %d, Time = %2.2d:%2.2d:%2.2d, valid = %2.2x",
                                        iTow, tAcc, nano, year, month, day, hour, minute, second, uint(valid)),
                      20);
}

void UbxDecoder::warnIllegalTime(const char *message)
{
    m_lastWarning = QStringLiteral("WARNING: Illegal date or time decoding %1.").arg(QLatin1String(message));
    qWarning("%s", qPrintable(m_lastWarning));
}

// Stores a UBX date and time (nano: the signed fraction of the second) as the receiver time;
// an impossible one gives the warning "WARNING: Illegal date or time decoding <message>."
bool UbxDecoder::storeTime(int year, int month, int day, int hour, int minute, int second, int32_t nano,
                           const char *message)
{
    if (!QDate::isValid(year, month, day) || !QTime::isValid(hour, minute, second)
        || nano < -1000000000 || nano > 1000000000) {
        warnIllegalTime(message);
        return false;
    }
    // nano is the signed fraction of the second, rounded here to the millisecond.
    const int64_t ms = nano >= 0 ? (int64_t(nano) + 500000) / 1000000 : -((-int64_t(nano) + 500000) / 1000000);
    const QDateTime utc = QDateTime(QDate(year, month, day), QTime(hour, minute, second), Qt::UTC).addMSecs(ms);
    ReceiverState &s = *m_context.state;
    s.storeReceiverTime(utc, utc.time().msec());
    m_changes |= DecodeChange::Time;
    s.timeMessageMissing = false;
    if (m_context.display && s.ppsInterface == 0)
        m_context.display->refreshClockPanel();
    return true;
}

UbxDecoder::Result UbxDecoder::navSvInfo(const Payload &p)
{
    if (p.size() < 8)
        return Result::shortPayload("SVINFO");
    const int numCh = p.u8(4);
    const qsizetype needed = 8 + 12 * qsizetype(numCh);
    if (p.size() < needed)
        return Result::shortPayload("SVINFO");

    ReceiverState &s = *m_context.state;
    s.satellites.fill(SatelliteRecord {});
    QString text = formatText("iTOW = %u, numCh = %u, globalFlags = %2.2x, res = %u, ",
                                     p.u32(0), uint(numCh), uint(p.u8(5)), uint(p.u16(6)));
    int visible = 0;
    int tracked = 0;
    int used = 0;
    for (int i = 0; i < numCh; ++i) {
        const qsizetype o = 8 + 12 * qsizetype(i);
        const uint8_t chn = p.u8(o);
        const uint8_t svid = p.u8(o + 1);
        const uint8_t flags = p.u8(o + 2);
        const uint8_t quality = p.u8(o + 3);
        const uint8_t cno = p.u8(o + 4);
        const int elev = p.i8(o + 5);
        const int azim = p.i16(o + 6);
        const int32_t prRes = p.i32(o + 8);

        SatelliteRecord &r = s.satellites[svid];
        r.svId = svid;
        r.elevation = elev;
        r.azimuth = azim;
        r.cNo = cno;
        r.inTrack = chn < 255 ? 1 : 0;
        r.trackMode = trackModeForQuality(quality);
        r.svFlags = flags & (SvFlag::UbxUsed | SvFlag::UbxUnhealthy);
        r.used = (flags & SvFlag::UbxUsed) ? 1 : 0;

        r.riseSet = elevationTrend(svid, elev);

        // Unused channel blocks (svid 0) are not satellites.
        if (svid != 0)
            ++visible;
        if (cno >= 1)
            ++tracked;
        if (flags & 0x01)
            ++used;
        appendText(text, "chn=%u, svid=%u, flags=%2.2x, quality=%2.2x, cno=%u, elev=%i, azim=%i, prRes=%i, ",
                                  uint(chn), uint(svid), uint(flags), uint(quality), uint(cno), elev, azim, prRes);
    }

    s.visibleCount.set(visible);
    s.trackedCount.set(tracked);
    s.usedCount.set(used);
    m_changes |= DecodeChange::Counts | DecodeChange::Satellites;
    // The timing lock counts the satellites in the solution.
    if (m_context.averaging)
        m_context.averaging->setTimingSatellites(used);
    if (m_context.display) {
        m_context.display->updateSatelliteCount();
        m_context.display->setTrackedText(formatText("%1.1u Tracked", uint(tracked)));
        m_context.display->updateSatelliteTable();
    }
    return Result::of("SVINFO", text, needed);
}

// Rising or setting, from elevation changes of 2 degrees or more.
int32_t UbxDecoder::elevationTrend(int index, int elev)
{
    ReceiverState &s = *m_context.state;
    int32_t &last = s.lastElevation[size_t(index)];
    if (elev >= 1 && elev <= 90) {
        if (last < 0) {
            last = elev;
        } else if (elev - last >= 2 || last - elev >= 2) {
            s.elevationTrend[size_t(index)] = elev > last ? 1 : -1;
            last = elev;
        }
    }
    return s.elevationTrend[size_t(index)];
}

// --- TIM -------------------------------------------------------------------------------------

UbxDecoder::Result UbxDecoder::decodeTim(uint8_t id, const Payload &p)
{
    switch (id) {
    case 0x01: {
        if (p.size() < 16)
            return Result::shortPayload("TP");
        const int32_t qErr = p.i32(8);   // picoseconds
        m_context.state->ppsQuantizationError = qErr / 1000.0;
        m_context.state->ppsQuantizationErrorValid = true;
        m_changes |= DecodeChange::Sawtooth;
        return Result::of("TP",
                          formatText("towMS = %u, towSubMS = %u, qErr = %i, week = %u, flags = %u, res = %u",
                                            p.u32(0), p.u32(4), qErr, uint(p.u16(12)), uint(p.u8(14)), uint(p.u8(15))),
                          16);
    }
    case 0x04:
        if (p.size() < 28)
            return Result::shortPayload("SVIN");
        return Result::of("SVIN",
                          formatText("Passed survey-in observation = %u sec, position observations = %u sec, valid = %s, active = %s",
                                            p.u32(0), p.u32(20), p.u8(24) ? "true" : "false", p.u8(25) ? "true" : "false"),
                          28);
    case 0x11:
        if (p.size() < 8)
            return Result::shortPayload("DOSC");
        return Result::of("DOSC", formatText("ver = %u, D/A value = %u", uint(p.u8(0)), p.u32(4)), 8);
    default: return Result::unknown();
    }
}

// --- CFG -------------------------------------------------------------------------------------

UbxDecoder::Result UbxDecoder::decodeCfg(uint8_t id, const Payload &p)
{
    switch (id) {
    case 0x00: {
        if (p.size() < 20)
            return Result::shortPayload("PRT");
        markAnswered();
        const char *port;
        switch (p.u8(0)) {
        case 0: port = "DDC"; break;
        case 1: port = "UART #1"; break;
        case 2: port = "UART #2"; break;
        case 3: port = "USB"; break;
        case 4: port = "SBI"; break;
        default: port = "unknown"; break;
        }
        return Result::of("PRT",
                          QStringLiteral("portID = ") + QLatin1String(port)
                              + formatText(", res0 = %u, res1 = %u, mode = %8.8X, baudRate = %u, inProtoMask = %4.4X, outProtoMask = %4.4X, flags = %4.4X, pad = %u",
                                                  uint(p.u8(1)), uint(p.u16(2)), p.u32(4), p.u32(8), uint(p.u16(12)),
                                                  uint(p.u16(14)), uint(p.u16(16)), uint(p.u16(18))),
                          20);
    }
    case 0x07:
        if (p.size() < 20)
            return Result::shortPayload("TP");
        markAnswered();
        return Result::of("TP",
                          formatText("interval = %u us, length = %u us, status = %i, timeRef = %u, flags = %u, res = %u, antennaCableDelay = %i ns, rfGroupDelay = %i ns, userDelay = %i ns",
                                            p.u32(0), p.u32(4), int(p.i8(8)), uint(p.u8(9)), uint(p.u8(10)), uint(p.u8(11)),
                                            int(p.i16(12)), int(p.i16(14)), p.i32(16)),
                          20);
    case 0x1D:
        if (p.size() < 28)
            return Result::shortPayload("TMODE");
        markAnswered();
        return Result::of("TMODE",
                          formatText("timeMode = %u, fixedPosX = %i, fixedPosY = %i, fixedPosZ = %i, fixedPosVar = %u, svinMinDur = %u, svinVarLimit = %u",
                                            p.u32(0), p.i32(4), p.i32(8), p.i32(12), p.u32(16), p.u32(20), p.u32(24)),
                          28);
    case 0x3D:
        if (p.size() < 28)
            return Result::shortPayload("TMODE2");
        markAnswered();
        return Result::of("TMODE2",
                          formatText("timeMode = %u, flags = %u, ecefXOrLat = %i, ecefYOrLon = %i, ecefZOrAlt = %i, fixedPosAcc = %u, svinMinDur = %u, svinAccLimit = %u",
                                            uint(p.u8(0)), uint(p.u16(2)), p.i32(4), p.i32(8), p.i32(12), p.u32(16), p.u32(20), p.u32(24)),
                          28);
    case 0x24:
        if (p.size() < 36)
            return Result::shortPayload("NAV5");
        markAnswered();
        return Result::of("NAV5",
                          formatText("mask = %2.2X, dynModel = %u, fixMode = %u, fixedAlt = %i, fixedAltVar = %i, minElev = %i, drLimit = %u, pDopMask = %u, tDopMask = %u, pAccMask = %u, tAccMask = %u, staticHoldThresh = %u, res1 = %u, res2 = %u, res3 = %u, res4 = %u",
                                            uint(p.u16(0)), uint(p.u8(2)), uint(p.u8(3)), p.i32(4), p.i32(8), int(p.i8(12)),
                                            uint(p.u8(13)), uint(p.u16(14)), uint(p.u16(16)), uint(p.u16(18)), uint(p.u16(20)),
                                            uint(p.u8(22)), uint(p.u8(23)), p.u32(24), p.u32(28), p.u32(32)),
                          36);
    case 0x31: return cfgTp5(p);
    case 0x8B: return cfgValGet(p);
    default: return Result::unknown();
    }
}

UbxDecoder::Result UbxDecoder::cfgTp5(const Payload &p)
{
    if (p.size() < 32)
        return Result::shortPayload("TP5");
    markAnswered();
    const uint32_t flags = p.u32(28);
    const bool isFreq = flags & 0x08;     // freqPeriod is a frequency (Hz), else a period (us)
    const bool isLength = flags & 0x10;   // pulseLenRatio is a length (us), else a ratio
    const uint tpIdx = p.u8(0);
    const uint res0 = p.u8(1);
    const int res1 = p.u16(2);
    const int cable = p.i16(4);
    const int rfGroup = p.i16(6);
    const uint32_t freqPeriod = p.u32(8);
    const uint32_t freqPeriodLock = p.u32(12);
    const uint32_t pulse = p.u32(16);
    const uint32_t pulseLock = p.u32(20);
    const int32_t userDelay = p.i32(24);
    // A ratio travels in units of 2^-32.
    const double ratio = pulse / 4294967296.0;
    const double ratioLock = pulseLock / 4294967296.0;

    QString text;
    if (!isFreq && isLength)
        text = formatText("TimePulse%u, res0 = %u, res1 = %i, antCableDelay = %i ns, rfGroupDelay = %i ns, freqPeriod = %u us, freqPeriodLock = %u us, pulseLenRatio = %u us, pulseLenRatioLock = %u us, userDelay = %i ns, ubx_flags = 0x%X",
                                 tpIdx, res0, res1, cable, rfGroup, freqPeriod, freqPeriodLock, pulse, pulseLock, userDelay, flags);
    else if (!isFreq)
        text = formatText("TimePulse%u, res0 = %u, res1 = %i, antCableDelay = %i ns, rfGroupDelay = %i ns, freqPeriod = %u us, freqPeriodLock = %u us, pulseLenRatio = %f ratio, pulseLenRatioLock = %f ratio, userDelay = %i ns, ubx_flags = 0x%X",
                                 tpIdx, res0, res1, cable, rfGroup, freqPeriod, freqPeriodLock, ratio, ratioLock, userDelay, flags);
    else if (!isLength)
        text = formatText("TimePulse%u, res0 = %u, res1 = %i, antCableDelay = %i ns, rfGroupDelay = %i ns, freqPeriod = %u Hz, freqPeriodLock = %u Hz, pulseLenRatio = %f ratio, pulseLenRatioLock = %f ratio, userDelay = %i ns, ubx_flags = 0x%X",
                                 tpIdx, res0, res1, cable, rfGroup, freqPeriod, freqPeriodLock, ratio, ratioLock, userDelay, flags);
    else
        text = formatText("TimePulse%u, res0 = %u, res1 = %i, antCableDelay = %i ns, rfGroupDelay = %i ns, freqPeriod = %u Hz, freqPeriodLock = %u Hz, pulseLenRatio = %u us, pulseLenRatioLock = %u us, userDelay = %i ns, ubx_flags = 0x%X",
                                 tpIdx, res0, res1, cable, rfGroup, freqPeriod, freqPeriodLock, pulse, pulseLock, userDelay, flags);
    return Result::of("TP5", text, 32);
}

// --- MON -------------------------------------------------------------------------------------

UbxDecoder::Result UbxDecoder::decodeMon(uint8_t id, const Payload &p)
{
    switch (id) {
    case 0x04: return monVer(p);
    case 0x09: return monHw(p);
    case 0x38: return monRf(p);
    default: return Result::unknown();
    }
}

UbxDecoder::Result UbxDecoder::monVer(const Payload &p)
{
    if (p.size() < 40)
        return Result::shortPayload("VER");
    const QString software = fieldText(p.bytes.sliced(0, 30));
    const QString hardware = fieldText(p.bytes.sliced(30, 10));
    QString text = QStringLiteral("u-blox Receiver/Software Version\n");
    text += QStringLiteral("Software Version: ") + software + QLatin1Char('\n');
    text += QStringLiteral("Hardware Version: ") + hardware + QLatin1Char('\n');
    text += QStringLiteral("ROM and extensions:\n");
    qsizetype o = 40;
    for (; o + 30 <= p.size(); o += 30)
        text += fieldText(p.bytes.sliced(o, 30)) + QLatin1Char('\n');

    m_context.state->firmwareVersionText = software;
    m_context.state->ubxProtocolVersion = protocolVersionOf(p.bytes.sliced(40));
    markAnswered();
    if (m_context.display)
        m_context.display->appendReceiverIdText(text);
    return Result::of("VER", text, o);
}

UbxDecoder::Result UbxDecoder::monHw(const Payload &p)
{
    if (p.size() < 60)
        return Result::shortPayload("HW");
    const uint8_t aStatus = p.u8(20);
    setAntenna(aStatus >= 2 && aStatus <= 4 ? aStatus - 2 : -1);
    return Result::of("HW",
                      formatText("pinSel = %4.4X, pinBank = %4.4X, pinDir = %4.4X, pinVal = %4.4X, noisePerMS = %u, agcCnt = %u, aStatus = %u, aPower = %u, flags = %u, res1 = %u, usedMask = %u, jamInd = %u, pinIrq = %4.4X, pullH = %4.4X, pullL = %4.4X",
                                        p.u32(0), p.u32(4), p.u32(8), p.u32(12), uint(p.u16(16)), uint(p.u16(18)),
                                        uint(aStatus), uint(p.u8(21)), uint(p.u8(22)), uint(p.u8(23)), p.u32(24),
                                        uint(p.u8(45)), p.u32(48), p.u32(52), p.u32(56)),
                      60);
}

// --- AID -------------------------------------------------------------------------------------

UbxDecoder::Result UbxDecoder::decodeAid(uint8_t id, const Payload &p)
{
    if (id == 0x02)
        return aidHui(p);
    return Result::unknown();
}

UbxDecoder::Result UbxDecoder::aidHui(const Payload &p)
{
    if (p.size() < 72)
        return Result::shortPayload("HUI");
    markAnswered();
    const int utcLs = p.i16(26);
    const int utcWnf = p.i16(28);
    const int utcDn = p.i16(30);
    const int utcLsf = p.i16(32);
    const uint32_t flags = p.u32(68);

    ReceiverState &s = *m_context.state;
    int pending = 0;
    int ntpIndicator = 0;
    if (flags & 0x02) {   // utcValid
        const int64_t now = secondsSinceGpsEpoch(s.receiverUtcDateTime.dateTime());
        pending = leapSecondPending(utcLs, utcLsf, utcWnf, utcDn, now);
        // NTP announces the leap second only during its last day.
        if (pending != 0 && leapSecondPending(utcLs, utcLsf, utcWnf, utcDn, now + SecondsPerDay) == 0)
            ntpIndicator = pending;
        s.leapSecondPending = pending;
    }
    return Result::of("HUI",
                      formatText(" ... utcLS = %u, utcWNF = %u, utcDN = %u, utcLSF = %u ... valid = 0x%2.2x -->> LS Pending = %d, NTP Leap Indicator = %d",
                                        uint(utcLs), uint(utcWnf), uint(utcDn), uint(utcLsf), flags, pending, ntpIndicator),
                      72);
}

// --- ACK, INF, RXM, UPD ------------------------------------------------------------------------

UbxDecoder::Result UbxDecoder::decodeAck(uint8_t id, const Payload &p)
{
    if (id > 0x01)
        return Result::unknown();
    const char *name = id == 0x01 ? "ACK" : "NAK";
    if (p.size() < 2)
        return Result::shortPayload(name);
    ReceiverState::UbxAcknowledgement &ack = m_context.state->lastUbxAck;
    ack = { true, id == 0x01, p.u8(0), p.u8(1) };
    markAnswered();
    Result r = Result::of("", formatText(" %s clsID = 0x%2.2X, msgID = 0x%2.2X", name, uint(p.u8(0)), uint(p.u8(1))), 2);
    return r;
}

UbxDecoder::Result UbxDecoder::decodeInf(uint8_t id, const Payload &p)
{
    static const char *const names[] = { "ERROR", "WARNING", "NOTICE", "TEST", "DEBUG" };
    if (id > 0x04)
        return Result::unknown();
    // The whole payload is text; bytes after a NUL are still shown as text pieces.
    QString text;
    text.reserve(p.size());
    for (const char c : p.bytes) {
        const uint8_t b = uint8_t(c);
        if (b >= 0x20 && b < 0x7F)
            text.append(QLatin1Char(c));
        else
            text.append(formatText("<%2.2X>", b));
    }
    return Result::of(names[id], text, p.size());
}

UbxDecoder::Result UbxDecoder::decodeRxm(uint8_t id, const Payload &p)
{
    switch (id) {
    case 0x10: return rxmRaw(p);
    case 0x11: return Result::named("SFRB");
    case 0x20: return Result::named("SVSI");
    case 0x30: return Result::named("ALM");
    case 0x31: return Result::named("EPH");
    case 0x40: return Result::named("POSREQ");
    case 0x41: return Result::named("PMREQ");
    default: return Result::unknown();
    }
}

UbxDecoder::Result UbxDecoder::decodeUpd(uint8_t id, const Payload &)
{
    // DOWNL, UPLOAD and SOS carry their published IDs; the flash-loader messages follow in order.
    switch (id) {
    case 0x01: return Result::named("DOWNL");
    case 0x02: return Result::named("UPLOAD");
    case 0x03: return Result::named("IDEN");
    case 0x04: return Result::named("SAFE");
    case 0x05: return Result::named("FLDET");
    case 0x06: return Result::named("QSIZE");
    case 0x07: return Result::named("ERASE");
    case 0x08: return Result::named("FLWRI");
    case 0x09: return Result::named("CRC");
    case 0x0A: return Result::named("RBOOT");
    case 0x0B: return Result::named("SETQ");
    case 0x14: return Result::named("SOS");
    default: return Result::unknown();
    }
}

UbxDecoder::Result UbxDecoder::rxmRaw(const Payload &p)
{
    const std::optional<UbxRawEpoch> epoch = UbxRawEpoch::fromPayload(p.bytes);
    if (!epoch)
        return Result::shortPayload("RAW");
    if (m_context.gpsLog)
        m_context.gpsLog->writeRawEpoch(*epoch);
    const qsizetype consumed = 8 + 24 * qsizetype(epoch->measurements.size());
    if (!wantTexts())
        return Result::of("RAW", QString(), consumed);
    QString text = QString::asprintf("iTOW = %d, week = %u, numSV = %u, ", epoch->towMs, uint(epoch->week),
                                     uint(epoch->measurements.size()));
    for (const UbxRawMeasurement &m : epoch->measurements)
        text += QString::asprintf("sv=%u, cpMes=%.3f, prMes=%.3f, doMes=%.3f, mesQI=%i, cno=%i, lli=%u, ", uint(m.sv),
                                  m.carrierPhase, m.pseudorange, double(m.doppler), int(m.quality), int(m.cno), uint(m.lli));
    text.chop(2);
    return Result::of("RAW", text, consumed);
}

// --- helpers ---------------------------------------------------------------------------------

void UbxDecoder::setNavigation(int value)
{
    m_context.state->navigationState = value;
    if (m_context.display)
        m_context.display->setNavigationIndicator(value);
}

void UbxDecoder::setAntenna(int value)
{
    m_context.state->antennaState = value;
    if (m_context.display)
        m_context.display->setAntennaIndicator(value);
}

void UbxDecoder::markAnswered()
{
    m_context.state->noteAnswer(AnswerFamily::Ublox, m_frame);
}

// --- today's NAV and MON messages (u-blox 7, M8, F9 and later) -------------------------------

bool UbxDecoder::wantTexts() const
{
    return m_context.options.alwaysBuildTexts || m_context.state->rawWindowOpened;
}

int UbxDecoder::tableIdForGnss(int gnssId, int svId)
{
    // The GSV decoder's numbering, worked out here without its talker lookup: this runs for
    // every satellite of every NAV-SAT.
    switch (gnssId) {
    case 0: return svId >= 1 && svId <= 32 ? svId : 0;                       // GPS
    case 1: return svId >= 120 && svId <= 158 ? svId : 0;                    // SBAS
    case 2: return svId >= 1 && svId <= 36 ? 210 + svId : 0;                 // Galileo
    case 3: return svId >= 1 && svId <= 5 ? 158 + svId : svId >= 6 && svId <= 37 ? 27 + svId : 0;   // BeiDou
    case 5: return svId >= 1 && svId <= 10 ? 192 + svId : 0;                 // QZSS
    case 6: return svId >= 1 && svId <= 32 ? 64 + svId : svId == 255 ? 255 : 0;   // GLONASS slot
    default: return 0;                                                       // IMES, NavIC
    }
}

double UbxDecoder::protocolVersionOf(QByteArrayView extensions)
{
    for (qsizetype o = 0; o + 30 <= extensions.size(); o += 30) {
        const QString text = fieldText(extensions.sliced(o, 30));
        if (!text.startsWith(QLatin1String("PROTVER")))
            continue;
        bool ok = false;
        const double v = text.mid(8).trimmed().toDouble(&ok);
        if (ok && v > 0)
            return v;
    }
    return 0.0;
}

UbxDecoder::Result UbxDecoder::navPvt(const Payload &p)
{
    if (p.size() < 92)
        return Result::shortPayload("PVT");
    const uint8_t valid = p.u8(11);
    const int32_t nano = p.i32(16);
    const uint8_t fixType = p.u8(20);
    const uint8_t flags = p.u8(21);
    const uint8_t numSv = p.u8(23);
    const double lon = p.i32(24) / 1e7;
    const double lat = p.i32(28) / 1e7;
    const double height = p.i32(32) / 1000.0;
    const double msl = p.i32(36) / 1000.0;
    const int32_t groundSpeed = p.i32(60);   // mm/s
    const double heading = p.i32(64) / 1e5;
    const double pDop = p.u16(76) / 100.0;

    // Date and time only when the receiver calls both valid (bits 0 and 1).
    if ((valid & 0x03) == 0x03)
        storeTime(p.u16(4), p.u8(6), p.u8(7), p.u8(8), p.u8(9), p.u8(10), nano, "NAV-PVT");
    static const char *const fixTexts[] = {
        "No Fix, ", "Dead reckoning only, ", "2D-fix, ", "3-D Fix, ",
        "GPS + dead reckoning combined, ", "Time only fix (0-D Nav), ",
    };
    applyFix(fixType, fixType <= 5 ? QLatin1String(fixTexts[fixType]) : QString(), false);
    ReceiverState &s = *m_context.state;
    s.usedCount.set(numSv);
    if (m_context.averaging) {
        // Position, speed and heading only from a valid fix (gnssFixOK).
        if (flags & 0x01) {
            m_context.averaging->updatePosition(lat, lon, height, msl);
            m_context.averaging->setSpeedKnots(qMax(0, groundSpeed) * KnotsPerCmPerSecond / 10.0);
            m_context.averaging->setHeadingDegrees(heading);
        }
        m_context.averaging->setDops(-1, pDop, -1, -1, -1);
        m_context.averaging->setTimingSatellites(numSv);
    }
    if (!wantTexts())
        return Result::of("PVT", QString(), 92);
    return Result::of("PVT",
                      formatText("iTOW = %u, date (YMD) %d, %d, %d, Time = %2.2d:%2.2d:%2.2d, valid = %2.2x, tAcc = %u, nano = %i, "
                                        "fixType = %u, flags = 0x%2.2X, flags2 = 0x%2.2X, numSV = %u, lon = %1.8f, lat = %1.8f, "
                                        "height = %1.3f, MSL = %1.3f, hAcc = %u, vAcc = %u, gSpeed = %i mm/s, headMot = %4.1f degrees, pDOP = %4.2f",
                                        p.u32(0), int(p.u16(4)), int(p.u8(6)), int(p.u8(7)), int(p.u8(8)), int(p.u8(9)),
                                        int(p.u8(10)), uint(valid), p.u32(12), nano, uint(fixType), uint(flags),
                                        uint(p.u8(22)), uint(numSv), lon, lat, height, msl, p.u32(40), p.u32(44),
                                        groundSpeed, heading, pDop),
                      92);
}

// NAV-SAT: every satellite of every constellation into the table, in the GSV numbering.
// svFlags bit 0 = used (svUsed), bit 4 = unhealthy (health 2); trackMode from qualityInd as for
// NAV-SVINFO; inTrack when a signal is being searched for or tracked (qualityInd 1 or more).
// An elevation outside -90 ... 90 means the position is unknown: elevation and azimuth -1.
// Satellites without a table number still count as visible, tracked and used.
UbxDecoder::Result UbxDecoder::navSat(const Payload &p)
{
    if (p.size() < 8)
        return Result::shortPayload("SAT");
    const int numSvs = p.u8(5);
    const qsizetype needed = 8 + 12 * qsizetype(numSvs);
    if (p.size() < needed)
        return Result::shortPayload("SAT");

    ReceiverState &s = *m_context.state;
    s.satellites.fill(SatelliteRecord {});
    const bool texts = wantTexts();
    QString text;
    if (texts)
        text = formatText("iTOW = %u, version = %u, numSvs = %u, ", p.u32(0), uint(p.u8(4)), uint(numSvs));
    int tracked = 0;
    int used = 0;
    for (int i = 0; i < numSvs; ++i) {
        const qsizetype o = 8 + 12 * qsizetype(i);
        const uint8_t gnssId = p.u8(o);
        const uint8_t svId = p.u8(o + 1);
        const uint8_t cno = p.u8(o + 2);
        const int elev = p.i8(o + 3);
        const int azim = p.i16(o + 4);
        const uint32_t flags = p.u32(o + 8);
        const uint8_t quality = flags & 0x07;
        const bool svUsed = flags & 0x08;
        if (cno >= 1)
            ++tracked;
        if (svUsed)
            ++used;
        if (texts)
            appendText(text, "gnssId=%u, svId=%u, cno=%u, elev=%i, azim=%i, prRes=%i, flags=%8.8x, ",
                                      uint(gnssId), uint(svId), uint(cno), elev, azim, int(p.i16(o + 6)), flags);
        const int index = tableIdForGnss(gnssId, svId);
        if (index <= 0 || index >= ReceiverState::SatelliteSlots)
            continue;
        const bool known = elev >= -90 && elev <= 90;
        SatelliteRecord &r = s.satellites[size_t(index)];
        r.svId = index;
        r.elevation = known ? elev : -1;
        r.azimuth = known && azim >= 0 && azim <= 359 ? azim : -1;
        r.cNo = cno;
        r.inTrack = quality >= 1 ? 1 : 0;
        r.trackMode = trackModeForQuality(quality);
        r.svFlags = (svUsed ? SvFlag::UbxUsed : 0) | (((flags >> 4) & 0x03) == 2 ? SvFlag::UbxUnhealthy : 0);
        r.used = svUsed ? 1 : 0;
        r.riseSet = elevationTrend(index, known ? elev : -1);
    }

    s.visibleCount.set(numSvs);
    s.trackedCount.set(tracked);
    s.usedCount.set(used);
    if (m_context.averaging)
        m_context.averaging->setTimingSatellites(used);
    if (m_context.display) {
        m_context.display->updateSatelliteCount();
        m_context.display->setTrackedText(formatText("%1.1u Tracked", uint(tracked)));
        m_context.display->updateSatelliteTable();
    }
    if (!texts)
        return Result::of("SAT", QString(), needed);
    return Result::of("SAT", text, needed);
}

// NAV-SOL: the ECEF position (cm) becomes latitude, longitude and ellipsoid height; the MSL
// height comes from the geoid model. A valid fix (gpsFixOk) goes to the engine unless the
// receiver also sends NAV-POSLLH, which then is the one position of each epoch.
UbxDecoder::Result UbxDecoder::navSol(const Payload &p)
{
    if (p.size() < 52)
        return Result::shortPayload("SOL");
    const uint8_t gpsFix = p.u8(10);
    const uint8_t flags = p.u8(11);
    const Ubx::Geodetic g = Ubx::geodeticFromEcef(p.i32(12) / 100.0, p.i32(16) / 100.0, p.i32(20) / 100.0);
    const double msl = g.heightM - geoidSeparation(g.latDeg, g.lonDeg);
    if ((flags & 0x01) && gpsFix >= 2 && gpsFix != 5 && !m_posLlhSeen && m_context.averaging)
        m_context.averaging->updatePosition(g.latDeg, g.lonDeg, g.heightM, msl);
    return Result::of("SOL",
                      formatText("iTOW = %u, fTOW = %i, week = %i, gpsFix = %u, flags = 0x%2.2X, ecefX = %i, ecefY = %i, "
                                        "ecefZ = %i, pAcc = %u, pDOP = %4.2f, numSV = %u, lat = %1.8f, lon = %1.8f, height = %1.3f, MSL = %1.3f",
                                        p.u32(0), p.i32(4), int(p.i16(8)), uint(gpsFix), uint(flags), p.i32(12), p.i32(16),
                                        p.i32(20), p.u32(24), p.u16(44) / 100.0, uint(p.u8(47)), g.latDeg, g.lonDeg,
                                        g.heightM, msl),
                      52);
}

UbxDecoder::Result UbxDecoder::navClock(const Payload &p)
{
    if (p.size() < 20)
        return Result::shortPayload("CLOCK");
    return Result::of("CLOCK",
                      formatText("iTOW = %u, clkB = %i ns, clkD = %i ns/s, tAcc = %u ns, fAcc = %u ps/s",
                                        p.u32(0), p.i32(4), p.i32(8), p.u32(12), p.u32(16)),
                      20);
}

// NAV-TIMELS: the current leap seconds when valid, and a pending change while the event is
// ahead (lsChange +1 or -1 with a valid time to the event).
UbxDecoder::Result UbxDecoder::navTimeLs(const Payload &p)
{
    if (p.size() < 24)
        return Result::shortPayload("TIMELS");
    const int currLs = p.i8(9);
    const int lsChange = p.i8(11);
    const int32_t timeToEvent = p.i32(12);
    const uint8_t valid = p.u8(23);
    ReceiverState &s = *m_context.state;
    if (valid & 0x01)
        s.leapSeconds = currLs;
    int pending = 0;
    if (valid & 0x02) {
        if (lsChange != 0 && timeToEvent > 0)
            pending = lsChange > 0 ? 1 : 2;
        s.leapSecondPending = pending;
    }
    return Result::of("TIMELS",
                      formatText("iTOW = %u, version = %u, srcOfCurrLs = %u, currLs = %i, srcOfLsChange = %u, lsChange = %i, "
                                        "timeToLsEvent = %i, dateOfLsGpsWn = %u, dateOfLsGpsDn = %u, valid = 0x%2.2x -->> LS Pending = %d",
                                        p.u32(0), uint(p.u8(4)), uint(p.u8(8)), currLs, uint(p.u8(10)), lsChange, timeToEvent,
                                        uint(p.u16(16)), uint(p.u16(18)), uint(valid), pending),
                      24);
}

// MON-RF: the antenna status of the first RF block sets the antenna indicator as MON-HW's
// aStatus does (2 OK, 3 short, 4 open; anything else unknown).
UbxDecoder::Result UbxDecoder::monRf(const Payload &p)
{
    if (p.size() < 4)
        return Result::shortPayload("RF");
    const int blocks = p.u8(1);
    const qsizetype needed = 4 + 24 * qsizetype(blocks);
    if (p.size() < needed)
        return Result::shortPayload("RF");
    if (blocks > 0) {
        const uint8_t antStatus = p.u8(6);
        setAntenna(antStatus >= 2 && antStatus <= 4 ? antStatus - 2 : -1);
    }
    QString text = formatText("version = %u, nBlocks = %u, ", uint(p.u8(0)), uint(blocks));
    for (int i = 0; i < blocks; ++i) {
        const qsizetype o = 4 + 24 * qsizetype(i);
        appendText(text, "blockId=%u, flags=%2.2x, antStatus=%u, antPower=%u, postStatus=%u, noisePerMS=%u, agcCnt=%u, jamInd=%u, ",
                                  uint(p.u8(o)), uint(p.u8(o + 1)), uint(p.u8(o + 2)), uint(p.u8(o + 3)), p.u32(o + 4),
                                  uint(p.u16(o + 12)), uint(p.u16(o + 14)), uint(p.u8(o + 16)));
    }
    return Result::of("RF", text, needed);
}

// CFG-VALGET answer: the layer and every key with its value (size from the key's size bits).
UbxDecoder::Result UbxDecoder::cfgValGet(const Payload &p)
{
    if (p.size() < 4)
        return Result::shortPayload("VALGET");
    markAnswered();
    QString text = formatText("version = %u, layer = %u, position = %u", uint(p.u8(0)), uint(p.u8(1)), uint(p.u16(2)));
    qsizetype o = 4;
    while (o + 4 <= p.size()) {
        const uint32_t key = p.u32(o);
        const int size = Ubx::valueSize(key);
        if (size == 0 || o + 4 + size > p.size())
            break;
        uint64_t value = 0;
        for (int b = size - 1; b >= 0; --b)
            value = (value << 8) | p.u8(o + 4 + b);
        appendText(text, ", key 0x%8.8X = %llu", key, static_cast<unsigned long long>(value));
        o += 4 + size;
    }
    return Result::of("VALGET", text, o);
}
