#include "receiver/motorola/MotorolaDecoder.h"

#include "core/ReceiverState.h"
#include "averaging/AveragingInput.h"
#include "averaging/Geoid.h"
#include "receiver/motorola/MotorolaFrame.h"
#include "core/MotorolaModels.h"

#include <QDateTime>
#include <QTimeZone>
#include <cmath>
#include <cstdarg>
#include <cstdio>

using namespace MotorolaFrame;

namespace {

// Speed in cm/s to knots, with the receiver maker's factor (not the exact 0.0194384).
constexpr double KnotsPerCmPerSecond = 0.019425;
constexpr double MasPerDegree = 3600000.0;
constexpr int PrecedenceSeconds = 5;

// Receiver status bit of the 12-channel status word (low byte) that reports a cold start or a
// bad almanac.
constexpr uint8_t HaColdStartBit = 0x10;

int channelCNo(int model, int signal)
{
    return MotorolaModels::isAmuModel(model) ? MotorolaModels::amuToCNo(signal) : signal;
}

// Height above mean sea level in metres: the message's own, or for a model that leaves it zero
// (`fillGeoid`), the ellipsoid height less the geoid separation.
double mslHeight(double lat, double lon, double altEllipsoid, int32_t mslCm, bool fillGeoid)
{
    if (fillGeoid && mslCm == 0)
        return altEllipsoid - geoidSeparation(lat, lon);
    return mslCm / 100.0;
}

// The status pieces of the 12-channel receiver status word (@@Ha and @@Hb). Sets the fix
// dimension for the pieces that carry one.
QString twelveChannelStatus(uint8_t high, uint8_t low, int &fixDimension)
{
    QString s;
    switch (high >> 5) {
    case 7: s += QLatin1String("3-D Fix, "); fixDimension = 3; break;
    case 6: s += QLatin1String("Altitude Hold (2-D Fix), "); fixDimension = 2; break;
    case 5: s += QLatin1String("Position Propagate Mode, "); break;
    case 4: s += QLatin1String("Position Hold, "); break;
    case 3: s += QLatin1String("Acquiring Satellites, "); fixDimension = 1; break;
    case 2: s += QLatin1String("Poor Geometry, "); break;
    default: break;
    }
    if (low & 0x08)
        s += QLatin1String("Insufficient Satellites (<3), ");
    if (low & HaColdStartBit)
        s += QLatin1String("Cold Start or Bad Almanac, ");
    if (low & 0x40)
        s += QLatin1String("DGPS, ");
    return s;
}

QString joinStatus(QString status, const QString &dop)
{
    if (status.isEmpty() || dop.isEmpty())
        return status + dop;
    if (status.endsWith(QLatin1String(", ")))
        status.chop(2);
    return status + QLatin1String(": ") + dop;
}

} // namespace

MotorolaDecoder::MotorolaDecoder(const DecoderContext &context)
    : m_ctx(context)
{
}

void MotorolaDecoder::countDownPrecedence(ReceiverState &s)
{
    for (int32_t *c : { &s.haCountdown, &s.eaCountdown, &s.baCountdown }) {
        if (*c > 0)
            --*c;
    }
}

QString MotorolaDecoder::selfTestText(QByteArrayView frame, int receiverModel)
{
    return MotorolaTiming::selfTestText(frame, receiverModel);
}

QString MotorolaDecoder::decodeMotorolaFrame(const QByteArray &frame)
{
    m_changes = 0;
    if (!m_ctx.state || frame.size() < 4 || frame.at(0) != '@' || frame.at(1) != '@')
        return {};
    const QByteArrayView f(frame);
    const char g = frame.at(2);
    const char l = frame.at(3);
    QString text;
    bool known = true;
    switch (g) {
    case 'B':
        switch (l) {
        case 'a': text = decodeEaBa(f, false); break;
        case 'b': text = decodeBb(f); break;
        case 'd': text = decodeBd(f); break;
        case 'j': text = decodeBj(f); break;
        case 'k': text = decodeBkEk(f); break;
        case 'n': text = m_timing.decodeTraim(f, 6); break;
        case 'o': text = decodeBo(f); break;
        case 'f': case 'g': text = decodeDataOnly(f); break;
        default: known = false; break;
        }
        break;
    case 'E':
        switch (l) {
        case 'a': text = decodeEaBa(f, true); break;
        case 'k': text = decodeBkEk(f); break;
        case 'n': text = m_timing.decodeTraim(f, 8); break;
        case 'g': case 'q': text = decodeDataOnly(f); break;
        default: known = false; break;
        }
        break;
    case 'H':
        switch (l) {
        case 'a': text = decodeHa(f); break;
        case 'b': text = decodeHb(f); break;
        case 'n': text = m_timing.decodeHn(f); break;
        case 'r': text = decodeDataOnly(f); break;
        default: known = false; break;
        }
        break;
    case 'C':
        switch (l) {
        case 'j': text = decodeCj(f); break;
        case 'a': text = m_timing.decodeSelfTest(f); break;
        case 'b': case 'c': case 'e': case 'f': case 'g': case 'k': case 'o':
            text = decodeDataOnly(f);
            break;
        default: known = false; break;
        }
        break;
    case 'F':
    case 'I':
        if (l == 'a')
            text = m_timing.decodeSelfTest(f);
        else
            known = false;
        break;
    case 'A':
    case 'G':
        text = m_timing.decodeEcho(f);
        known = !text.isNull();
        break;
    case 'S':
    case 'T':
    case 'W':
        text = m_timing.decodeSsr(f);
        known = !text.isNull();
        break;
    default:
        known = false;
        break;
    }
    if (known)
        m_ctx.state->noteAnswer(AnswerFamily::MotorolaBinary, f);
    return text;
}

// --- common pieces ---------------------------------------------------------------------

void MotorolaDecoder::markTime(QByteArrayView f, bool roundSeconds)
{
    const int month = u8(f, 4);
    const int day = u8(f, 5);
    const int year = u16(f, 6);
    const int hours = u8(f, 8);
    const int minutes = u8(f, 9);
    const int secondsByte = u8(f, 10);
    const uint32_t nanos = u32(f, 11);
    const QDate date(year, month, day);
    if (!date.isValid() || hours > 23 || minutes > 59 || secondsByte > 60)
        return;
    const double exact = secondsByte + nanos / 1e9 + (roundSeconds ? 0.5 : 0.0);
    const qint64 seconds = static_cast<qint64>(std::trunc(exact));
    QDateTime dt;
    if (m_ctx.options.receiverInLocalTime)
        dt = QDateTime(date, QTime(hours, minutes), QTimeZone::systemTimeZone())
                 .addSecs(seconds)
                 .toUTC();
    else
        dt = QDateTime(date, QTime(hours, minutes), QTimeZone::utc()).addSecs(seconds);
    if (!dt.isValid())
        return;
    ReceiverState &s = *m_ctx.state;
    s.storeReceiverTime(dt, 0);
    s.timeMessageMissing = false;
    m_changes |= ChangedTime;
}

void MotorolaDecoder::storePosition(double lat, double lon, double altEllipsoid, double altMsl)
{
    m_position = { lat, lon, altEllipsoid, altMsl };
    m_changes |= ChangedPosition;
    if (m_ctx.averaging)
        m_ctx.averaging->updatePosition(lat, lon, altEllipsoid, altMsl);
}

void MotorolaDecoder::storeFix(double lat, double lon, double altEllipsoid, double altMsl,
                               uint16_t speedCmPerSecond, uint16_t headingTenths, int visible,
                               int tracked)
{
    if (m_ctx.averaging) {
        m_ctx.averaging->setSpeedKnots(speedCmPerSecond * KnotsPerCmPerSecond);
        m_ctx.averaging->setHeadingDegrees(headingTenths * 0.1);
    }
    storePosition(lat, lon, altEllipsoid, altMsl);
    setCounts(visible, tracked);
}

void MotorolaDecoder::setCounts(int visible, int tracked)
{
    ReceiverState &s = *m_ctx.state;
    s.visibleCount.set(visible);
    s.trackedCount.set(tracked);
    m_changes |= ChangedCounts;
    if (m_ctx.averaging)
        m_ctx.averaging->setTimingSatellites(tracked);
    if (m_ctx.display) {
        m_ctx.display->setTrackedText(motorolaFormat("%1.1d Tracked", tracked));
        m_ctx.display->updateSatelliteCount();
    }
}

void MotorolaDecoder::clearChannels()
{
    for (SatelliteRecord &r : m_ctx.state->satellites) {
        r.svId = 0;
        r.cNo = 0;
        r.inTrack = 0;
        r.trackMode = 9;
        r.svFlags = 0;
        r.used = -1;
    }
    m_changes |= ChangedSatellites;
}

void MotorolaDecoder::showTwelveChannelStatus(uint8_t statusHigh, uint8_t statusLow, double dop)
{
    int dimension = 0;
    const QString status = twelveChannelStatus(statusHigh, statusLow, dimension);
    if (dimension) {
        m_fixDimension = dimension;
        if (m_ctx.averaging)
            m_ctx.averaging->setFixType(dimension);
    }
    showStatus(status, motorolaFormat(m_fixDimension == 3 ? "PDOP = %4.1f" : "HDOP = %4.1f", dop));

    // The 12-channel receivers report no separate navigation flags: the fix state in the top
    // three bits of the status word tells whether the unit navigates or holds its position.
    int nav = -1;
    switch (statusHigh >> 5) {
    case 7: case 6: case 5: nav = 0; break;   // 3-D, 2-D, propagating: navigating
    case 4: nav = 1; break;                   // position hold
    default: break;                           // acquiring, poor geometry: unknown
    }
    m_ctx.state->navigationState = nav;
    if (m_ctx.display)
        m_ctx.display->setNavigationIndicator(nav);
}

void MotorolaDecoder::showStatus(const QString &status, const QString &dop)
{
    m_statusText = joinStatus(status, dop);
    if (m_ctx.display) {
        // The two labels stand side by side and read as the joined text.
        m_ctx.display->setFixStatusText(fixStatusLabelText(status, !dop.isEmpty()));
        m_ctx.display->setDopStatusText(dop);
    }
}

// --- @@Ea / @@Ba ----------------------------------------------------------------------

QString MotorolaDecoder::decodeEaBa(QByteArrayView f, bool eight)
{
    ReceiverState &s = *m_ctx.state;
    const int channels = eight ? 8 : 6;
    const qsizetype statusOffset = 40 + 4 * channels;   // 72 or 64
    if (f.size() <= statusOffset)
        return {};
    if (s.haCountdown > 0 || (!eight && s.eaCountdown > 0))
        return {};

    const int model = s.receiverModel;
    markTime(f, !eight);

    const int32_t latMas = i32(f, 15);
    const int32_t lonMas = i32(f, 19);
    const int32_t altCm = i32(f, 23);
    const int32_t mslCm = i32(f, 27);
    const uint16_t speed = u16(f, 31);
    const uint16_t heading = u16(f, 33);
    const uint16_t dopRaw = u16(f, 35);
    const uint8_t dopType = u8(f, 37);
    const uint8_t visible = u8(f, 38);
    const uint8_t tracked = u8(f, 39);
    const uint8_t status = u8(f, statusOffset);

    const double lat = latMas / MasPerDegree;
    const double lon = lonMas / MasPerDegree;
    const double alt = altCm / 100.0;
    // A receiver that was not identified (listen-only, a capture) is described by what it
    // sends: the channels of its position message, an MSL height it leaves empty filled from
    // the geoid model, and the antenna sense those receivers put beside it.
    const bool unidentified = model == ReceiverModelCode::Unknown;
    if (unidentified)
        s.channelCount = channels;
    const bool geoidModel = (eight ? MotorolaModels::fillsGeoidEa(model) : MotorolaModels::fillsGeoidBa(model))
        || (unidentified && mslCm == 0);
    const double msl = mslHeight(lat, lon, alt, mslCm, geoidModel);
    if (geoidModel) {
        s.antennaState = (dopType >> 6) & 0x03;
        if (m_ctx.display)
            m_ctx.display->setAntennaIndicator(s.antennaState);
    }

    storeFix(lat, lon, alt, msl, speed, heading, visible, tracked);

    // Channels: the table is rebuilt from scratch; elevation, azimuth and rise/set survive.
    clearChannels();
    for (int c = 0; c < channels; ++c) {
        const qsizetype o = 40 + 4 * c;
        const uint8_t id = u8(f, o);
        SatelliteRecord &r = s.satellites[id];
        r.svId = id;
        r.trackMode = u8(f, o + 1);
        r.svFlags = u8(f, o + 3);
        r.used = (r.svFlags & SvFlag::MotorolaUsedInFix) ? 1 : 0;
        r.cNo = channelCNo(model, u8(f, o + 2));
        r.inTrack = 1;
    }

    // Status text, fix dimension and navigation indicator, bit by bit from the top.
    QString text;
    int nav = -1;
    int dimension = 0;
    if (status & 0x80) { text += QLatin1String("Position Propagate Mode, "); nav = 0; }
    if (status & 0x40) { text += QLatin1String("Poor Geometry (DOP>20), "); nav = 1; }
    if (status & 0x20) { text += QLatin1String("3-D Fix, "); nav = 0; dimension = 3; }
    if (status & 0x10) { text += QLatin1String("Altitude Hold (2-D Fix), "); nav = 0; dimension = 2; }
    if (status & 0x08) { text += QLatin1String("Acquiring Satellites or Position Hold, "); nav = 1; dimension = 1; }
    if (status & 0x04) text += QLatin1String("DGPS, ");
    if (status & 0x01)
        text += QLatin1String("Bad Almanac, ");
    else if (status & 0x02)
        text += QLatin1String("Insufficient Satellites (<3), ");
    if (dopType & 0x20)
        nav = 2;
    s.navigationState = nav;
    if (m_ctx.display)
        m_ctx.display->setNavigationIndicator(nav);

    int quality = 0;
    if (status & 0x80)
        quality = 4;
    else if ((status & 0x24) == 0x24)
        quality = 3;
    else if (status & 0x20)
        quality = 2;
    else if (status & 0x08)
        quality = 1;
    if (m_ctx.averaging) {
        if (dimension)
            m_ctx.averaging->setFixType(dimension);
        m_ctx.averaging->setFixQuality(quality);
    }
    if (dimension)
        m_fixDimension = dimension;

    const double dop = dopRaw / 10.0;
    QString dopText;
    if (MotorolaModels::isAmuModel(model)) {
        if (!(status & 0x10) && m_ctx.averaging)
            dopText = m_ctx.averaging->dopText();
    } else if (dop > 0) {
        if (dopType == 0)
            dopText = motorolaFormat("PDOP = %4.1f", dop);
        else if (dopType == 1)
            dopText = motorolaFormat("HDOP = %4.1f", dop);
    }
    showStatus(text, dopText);

    if (eight) {
        s.eaCountdown = PrecedenceSeconds;
        s.eaSeen = true;
    } else {
        s.baCountdown = PrecedenceSeconds;
        s.baSeen = true;
    }
    if (m_ctx.display)
        m_ctx.display->updateSatelliteTable();

    if (!textsWanted())
        return {};
    const double seconds = u8(f, 10) + u32(f, 11) / 1e9;
    QString line = QLatin1String(eight ? "@@Ea, " : "@@Ba, ")
        + motorolaFormat(eight ? "%.2u/%.2u/%.4u, %.2u:%.2u:%012.9f, %#10.8e, %#10.8e, %4.2f, "
                                 "%4.2f, %4.2f, %3.1f, %s, %3.1f, %u, %u, 0x%02x"
                               : "%.2u/%.2u/%.4d, %.2u:%.2u:%012.9f, %#10.8e, %#10.8e, %4.2f, "
                                 "%4.2f, %4.2f, %3.1f, %s, %3.1f, %u, %u, 0x%02x",
                         unsigned(u8(f, 4)), unsigned(u8(f, 5)), unsigned(u16(f, 6)),
                         unsigned(u8(f, 8)), unsigned(u8(f, 9)), seconds, double(latMas),
                         double(lonMas), alt, mslCm / 100.0, speed / 100.0, heading * 0.1,
                         dopType == 1 ? "HDOP" : "PDOP", dop, unsigned(visible), unsigned(tracked),
                         unsigned(status));
    for (int c = 0; c < channels; ++c) {
        const qsizetype o = 40 + 4 * c;
        motorolaAppend(line, ", %u, %u, %u, 0x%02x", unsigned(u8(f, o)), unsigned(u8(f, o + 1)),
                               unsigned(u8(f, o + 2)), unsigned(u8(f, o + 3)));
    }
    return line;
}

// --- @@Ha / @@Hb ----------------------------------------------------------------------

QString MotorolaDecoder::decodeHa(QByteArrayView f)
{
    ReceiverState &s = *m_ctx.state;
    if (f.size() < 151)
        return {};
    const int model = s.receiverModel;
    markTime(f, true);

    const int32_t latMas = i32(f, 15);
    const int32_t lonMas = i32(f, 19);
    const int32_t altCm = i32(f, 23);
    const int32_t mslCm = i32(f, 27);
    const uint16_t speed = u16(f, 47);
    const uint16_t speed2 = u16(f, 49);
    const uint16_t heading = u16(f, 51);
    const uint16_t dopRaw = u16(f, 53);
    const uint8_t visible = u8(f, 55);
    const uint8_t tracked = u8(f, 56);
    const uint8_t statusHigh = u8(f, 129);
    const uint8_t statusLow = u8(f, 130);
    if (model == ReceiverModelCode::Unknown)
        s.channelCount = 12;

    const double lat = latMas / MasPerDegree;
    const double lon = lonMas / MasPerDegree;
    const double alt = altCm / 100.0;
    const double msl = mslHeight(lat, lon, alt, mslCm, MotorolaModels::fillsGeoidHa(model));
    s.antennaState = (statusLow >> 1) & 0x03;
    if (m_ctx.display)
        m_ctx.display->setAntennaIndicator(s.antennaState);

    storeFix(lat, lon, alt, msl, speed, heading, visible, tracked);

    clearChannels();
    for (int c = 0; c < 12; ++c) {
        const qsizetype o = 57 + 6 * c;
        const uint8_t id = u8(f, o);
        const uint16_t word = u16(f, o + 4);
        const uint8_t low = uint8_t(word & 0xFF);
        SatelliteRecord &r = s.satellites[id];
        r.svId = id;
        r.trackMode = u8(f, o + 1);
        r.svFlags = uint8_t((low & 0xF0) | ((word >> 8) & 0x01) | ((low & 0x0F) >= 7 ? 0x08 : 0));
        r.used = (r.svFlags & SvFlag::MotorolaUsedInFix) ? 1 : 0;
        r.cNo = channelCNo(model, u8(f, o + 2));
        r.inTrack = 1;
    }

    const double dop = dopRaw / 10.0;
    showTwelveChannelStatus(statusHigh, statusLow, dop);

    s.haCountdown = PrecedenceSeconds;
    s.haSeen = true;
    if (m_ctx.display)
        m_ctx.display->updateSatelliteTable();

    if (!textsWanted())
        return {};
    const double seconds = u8(f, 10) + u32(f, 11) / 1e9;
    auto ch = [&](qsizetype o) { return char(u8(f, o)); };
    QString line = QLatin1String("@@Ha, ")
        + motorolaFormat("%.2u/%.2u/%.4d, %.2u:%.2u:%012.9f, %#10.8e, %#10.8e, %04.2f, %04.2f, "
                         "%4.2f, %4.2f, %3.1f, %s,%4.1f, %u, %u, 0x%04X, \"%c%c%c%c%c%c\"",
                         unsigned(u8(f, 4)), unsigned(u8(f, 5)), int(u16(f, 6)),
                         unsigned(u8(f, 8)), unsigned(u8(f, 9)), seconds, double(latMas),
                         double(lonMas), alt, mslCm / 100.0, speed / 100.0, speed2 / 100.0,
                         heading * 0.1, statusHigh >= 224 ? "PDOP" : "HDOP", dop, unsigned(visible),
                         unsigned(tracked), unsigned(u16(f, 129)), ch(145), ch(146), ch(147),
                         ch(148), ch(149), ch(150));
    for (int c = 0; c < 12; ++c) {
        const qsizetype o = 57 + 6 * c;
        motorolaAppend(line, ", %u, %u, %u, %u, 0x%04x", unsigned(u8(f, o)),
                               unsigned(u8(f, o + 1)), unsigned(u8(f, o + 2)),
                               unsigned(u8(f, o + 3)), unsigned(u16(f, o + 4)));
    }
    motorolaAppend(line, ", %u, %u, %i, %d, %3.1f, 0x%02x, 0x%06x", unsigned(u8(f, 131)),
                           unsigned(u8(f, 132)), int(i16(f, 133)), int(i32(f, 135)),
                           i16(f, 139) * 0.5, unsigned(u8(f, 141)),
                           unsigned((u8(f, 142) << 16) | (u8(f, 143) << 8) | u8(f, 144)));
    return line;
}

QString MotorolaDecoder::decodeHb(QByteArrayView f)
{
    ReceiverState &s = *m_ctx.state;
    if (f.size() < 51)
        return {};
    markTime(f, false);
    const int32_t latMas = i32(f, 15);
    const int32_t lonMas = i32(f, 19);
    const int32_t altCm = i32(f, 23);
    const int32_t mslCm = i32(f, 27);
    const uint16_t speed = u16(f, 31);
    const uint16_t heading = u16(f, 33);
    const uint16_t dopRaw = u16(f, 37);
    const uint8_t visible = u8(f, 39);
    const uint8_t tracked = u8(f, 40);
    const uint8_t statusHigh = u8(f, 41);
    const uint8_t statusLow = u8(f, 42);

    const double lat = latMas / MasPerDegree;
    const double lon = lonMas / MasPerDegree;
    const double alt = altCm / 100.0;
    const double msl = mslHeight(lat, lon, alt, mslCm, MotorolaModels::fillsGeoidHa(s.receiverModel));
    storeFix(lat, lon, alt, msl, speed, heading, visible, tracked);

    const double dop = dopRaw / 10.0;
    showTwelveChannelStatus(statusHigh, statusLow, dop);

    if (!textsWanted())
        return {};
    const double seconds = u8(f, 10) + u32(f, 11) / 1e9;
    QString line = QLatin1String("@@Hb, ")
        + motorolaFormat("%.2u/%.2u/%.4d, %.2u:%.2u:%012.9f, %#10.8e, %#10.8e, %4.2f, %4.2f, "
                         "%4.2f, %4.2f, %3.1f, %s, %3.1f, %u, %u,0x%04x, \"",
                         unsigned(u8(f, 4)), unsigned(u8(f, 5)), int(u16(f, 6)),
                         unsigned(u8(f, 8)), unsigned(u8(f, 9)), seconds, double(latMas),
                         double(lonMas), alt, mslCm / 100.0, speed / 100.0, u16(f, 35) / 100.0,
                         heading * 0.1, statusHigh >= 224 ? "PDOP" : "HDOP", dop,
                         unsigned(visible), unsigned(tracked), unsigned(u16(f, 41)));
    for (qsizetype o = 45; o <= 50; ++o)
        line += QLatin1Char(char(u8(f, o)));
    line += QLatin1Char('"');
    return line;
}

// --- @@Bb -----------------------------------------------------------------------------

QString MotorolaDecoder::decodeBb(QByteArrayView f)
{
    ReceiverState &s = *m_ctx.state;
    if (f.size() < 5)
        return {};
    const int n = u8(f, 4);
    const int count = int(qMin<qsizetype>(qMin<qsizetype>(n, (f.size() - 5) / 7), 64));
    s.lastBbTime = QDateTime::currentMSecsSinceEpoch();
    const bool texts = textsWanted();
    QString text = texts ? motorolaFormat("@@Bb %u Prn, Doppler, El, Az, Hlth; ", unsigned(n))
                         : QString();
    for (int i = 0; i < count; ++i) {
        const qsizetype o = 5 + 7 * i;
        const uint8_t id = u8(f, o);
        if (id == 0)
            continue;
        const int16_t doppler = i16(f, o + 1);
        const int el = u8(f, o + 3);
        const int az = u16(f, o + 4);
        const int health = u8(f, o + 6);
        if (texts)
            motorolaAppend(text, "%u %d %u %d %u; ", unsigned(id), int(doppler), unsigned(el), az,
                                   unsigned(health));
        SatelliteRecord &r = s.satellites[id];
        r.svId = id;
        r.elevation = el;
        r.azimuth = az;
        int32_t &last = s.lastElevation[id];
        if (last < 0) {
            last = el;
        } else if (el >= 1 && el <= 90 && std::abs(el - last) >= 2) {
            s.elevationTrend[id] = el > last ? 1 : -1;
            last = el;
        }
        r.riseSet = doppler > 0 ? 1 : doppler < 0 ? -1 : s.elevationTrend[id];
    }
    m_changes |= ChangedSatellites;
    if (m_ctx.display && s.haCountdown == 0 && s.eaCountdown == 0 && s.baCountdown == 0)
        m_ctx.display->updateSatelliteTable();
    return text;
}

// --- @@Cj -----------------------------------------------------------------------------

QString MotorolaDecoder::decodeCj(QByteArrayView f)
{
    if (f.size() < 120)
        return {};
    ReceiverState &s = *m_ctx.state;
    const MotorolaModels::Identity id = MotorolaModels::identify(f);
    MotorolaModels::apply(id, s);
    if (id.recognised)
        m_changes |= ChangedModel;
    QString text;
    for (char c : f)
        text += QLatin1Char(c);   // Latin-1 keeps every byte visible
    if (m_ctx.display) {
        m_ctx.display->appendReceiverIdText(text);
        m_ctx.display->setReceiverIdActionEnabled(false);
    }
    return textsWanted() ? text : QString();
}

// --- @@Bd, @@Bj, @@Bo, @@Bk/@@Ek ------------------------------------------------------

QString MotorolaDecoder::decodeBd(QByteArrayView f)
{
    // Layout: 4 almanac status (0 none, 1 valid), 5-6 week, 7-8 time of almanac, 9 number of
    // satellites in the almanac, 10-13 satellite ID mask.
    if (f.size() < 5 || !textsWanted())
        return {};
    switch (u8(f, 4)) {
    case 1:
        return QLatin1String("@@Bd, Valid almanac in the receiver")
            + motorolaFormat(", week = %u, time = %u, Sats = %u, SV id mask = 0x%04X ",
                             unsigned(u16(f, 5)), unsigned(u16(f, 7)), unsigned(u8(f, 9)),
                             unsigned(u32(f, 10)));
    case 0:
        return QStringLiteral("@@Bd, No almanac in the receiver");
    default:
        return QStringLiteral("@@Bd, Message field error");
    }
}

QString MotorolaDecoder::decodeBj(QByteArrayView f)
{
    if (f.size() < 5)
        return {};
    const int code = i8(f, 4);
    m_ctx.state->leapSecondPending = code;
    if (!textsWanted())
        return {};
    switch (code) {
    case 0: return QStringLiteral("@@Bj, No leap second pending");
    case 1: return QStringLiteral("@@Bj, Addition of one leap second is pending");
    case 2: return QStringLiteral("@@Bj, Subtraction of one leap second is pending");
    default: return QStringLiteral("@@Bj, Message field error");
    }
}

QString MotorolaDecoder::decodeBo(QByteArrayView f)
{
    if (f.size() < 5)
        return {};
    const int offset = u8(f, 4);
    m_ctx.state->utcOffsetSeconds = offset;
    // GPS - UTC: the clock panel's "UTC = GPS - n seconds", as the u-blox receivers give it.
    m_ctx.state->leapSeconds = offset;
    return textsWanted() ? motorolaFormat("@@Bo - UTC offset = %i seconds", offset) : QString();
}

QString MotorolaDecoder::decodeBkEk(QByteArrayView f)
{
    if (f.size() < 24)
        return {};
    const double gdop = u16(f, 4) / 10.0;
    const double pdop = u16(f, 6) / 10.0;
    const double hdop = u16(f, 8) / 10.0;
    const double vdop = u16(f, 10) / 10.0;
    const double tdop = u16(f, 12) / 10.0;
    if (m_ctx.averaging)
        m_ctx.averaging->setDops(gdop, pdop, hdop, vdop, tdop);
    if (!textsWanted())
        return {};
    // 14-15 magnetic variation (0.1 degree), 16-21 velocity north, east, up (cm/s),
    // 22-23 age of the differential corrections (s).
    const bool ek = f[2] == 'E';
    return motorolaFormat(ek ? "@@Ek GDOP = %.1f, PDOP =  %.1f, HDOP =  %.1f, VDOP =  %.1f, TDOP = "
                               "%.1f, Mag Var = %.1f, Vel_N = %.1f m/s, Vel_E = %.1f m/s, Vel_Up = "
                               "%.1f m/s, Diff Corr Age = %.1f..."
                             : "@@Bk GDOP = %.1f, PDOP =  %.1f, HDOP =  %.1f, VDOP =  %.1f, TDOP = "
                               "%.1f, Mag Var = %.1f, Vel_N = %.1f m/s, Vel_E = %.1f m/s, Vel_Up = "
                               "%.1f m/s, Diff Corr Age = %.1f ...",
                          gdop, pdop, hdop, vdop, tdop, i16(f, 14) / 10.0, i16(f, 16) / 100.0,
                          i16(f, 18) / 100.0, i16(f, 20) / 100.0, double(u16(f, 22)));
}

// Messages shown only as a text line: almanac pages, ephemeris and range data, ...
QString MotorolaDecoder::decodeDataOnly(QByteArrayView f)
{
    return motorolaDataOnlyText(m_ctx, f);
}
