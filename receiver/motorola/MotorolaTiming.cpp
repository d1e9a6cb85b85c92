// Timing side of the Motorola decoder: T-RAIM and 1PPS status with the sawtooth value, the
// self-test results, the command echoes of the A and G groups and the SSR extension messages.

#include "receiver/motorola/MotorolaTiming.h"

#include "receiver/motorola/MotorolaText.h"

#include "core/ReceiverState.h"
#include "receiver/motorola/MotorolaFrame.h"
#include "core/MotorolaModels.h"

#include <QStringList>

using namespace MotorolaFrame;

namespace {

// The word for a parameter byte; values past the list give the error word.
QString pick(std::initializer_list<const char *> words, int value, const char *error = "ERROR")
{
    if (value >= 0 && value < int(words.size()))
        return QString::fromLatin1(*(words.begin() + value));
    return QString::fromLatin1(error);
}

QString enabled(int v) { return pick({ "DISABLED", "ENABLED" }, v); }

const char *const MonthNames[] = { "January", "February", "March", "April", "May", "June", "July",
                                   "August", "September", "October", "November", "December" };

const char *const Constellations[] = { "GPS", "GLONASS", "Galileo", "Beidou",
                                       "QZSS", "other #1", "Other #2", "SBAS" };

QString constellationList(uint8_t mask, const char *joiner)
{
    QStringList names;
    for (int bit = 0; bit < 8; ++bit) {
        if (mask & (1u << bit))
            names << QString::fromLatin1(Constellations[bit]);
    }
    return names.join(QLatin1String(joiner));
}

QString satelliteRecords(QByteArrayView f, qsizetype first, int count)
{
    QString t;
    for (int i = 0; i < count; ++i) {
        const qsizetype o = first + 5 * i;
        motorolaAppend(t, ", %u, %11.9f", unsigned(u8(f, o)), i32(f, o + 1) / 1e9);
    }
    return t;
}

} // namespace

// --- T-RAIM ---------------------------------------------------------------------------

QString MotorolaTiming::decodeTraim(QByteArrayView f, int channels)
{
    const qsizetype needed = 26 + 5 * channels;
    if (f.size() < needed)
        return {};
    ReceiverState &s = *m_ctx.state;
    s.timeSolutionAccuracy = u16(f, 23);
    s.ppsQuantizationError = i8(f, 25);
    s.ppsQuantizationErrorValid = true;
    m_changes |= DecodeChange::Sawtooth;
    const bool eight = channels == 8;
    if (eight)
        s.enSeen = true;
    else
        s.bnSeen = true;

    if (!motorolaTextsWanted(m_ctx) && !m_ctx.display)
        return {};
    QString t = QLatin1String(eight ? "@@En, TRAIM (8-ch) " : "@@Bn, TRAIM (6-ch) ");
    t.reserve(512);
    t += pick({ eight ? "DISABLED" : "DISBLED", "ENABLED" }, u8(f, 5));
    t += eight ? motorolaFormat(", limit = %03d nsec, ", int(u16(f, 6)))
               : motorolaFormat(", limit = %03u nsec, ", unsigned(u16(f, 6)));
    t += QLatin1String("1PPS ")
        + pick({ "is OFF always", "is ON always", "is ON if tracking 1+ satellites",
                 "is ON if TRAIM is OK", "is OFF always", "is ON always (Short)",
                 "is ON if tracking 1+ satellites (Short)", "is ON if TRAIM is OK (Short)" },
               u8(f, 8), "state ERROR");
    for (qsizetype o = 9; o <= 18; ++o)
        motorolaAppend(t, ", %01u", unsigned(u8(f, o)));
    t += QLatin1String(", pulse status is ") + pick({ "OFF", "ON" }, u8(f, 19));
    t += QLatin1String(", 1PPS pulse sync is ")
        + pick({ "referenced to UTC", "referenced to GPS" }, u8(f, 20));
    t += QLatin1String(", Time RAIM solution status is ")
        + pick({ "OK", "ALARM", "UNKNOWN" }, u8(f, 21));
    t += QLatin1String(", Time RAIM status is ")
        + pick({ "detection and isolation possible", "detection only possible",
                 "neither detection or isolation possible" },
               u8(f, 22));
    t += QLatin1String(", ")
        + motorolaFormat("Sawtooth = %05.2f, One-Sigma Accuracy = %i", s.ppsQuantizationError,
                         int(s.timeSolutionAccuracy));
    t += satelliteRecords(f, 26, channels);
    if (m_ctx.display)
        m_ctx.display->appendReceiverIdText(t);
    return motorolaTextsWanted(m_ctx) ? t : QString();
}

QString MotorolaTiming::decodeHn(QByteArrayView f)
{
    if (f.size() < 75)
        return {};
    ReceiverState &s = *m_ctx.state;
    s.timeSolutionAccuracy = u16(f, 12);
    s.ppsQuantizationError = i8(f, 14);
    s.ppsQuantizationErrorValid = true;
    s.hnSeen = true;
    m_changes |= DecodeChange::Sawtooth;

    const bool toIdWindow = s.receiverIdHnRequested && m_ctx.display;
    if (!motorolaTextsWanted(m_ctx) && !toIdWindow)
        return {};
    QString t = QStringLiteral("@@Hn");
    t += QLatin1String(", Pulse ") + QLatin1String(u8(f, 4) ? "on" : "off");
    t += QLatin1String(", 1PPS Ref to ") + QLatin1String(u8(f, 5) ? "GPS" : "UTC");
    t += QLatin1String(", T-RAIM Solution Status ")
        + pick({ "OK", "ALARM" }, u8(f, 6), "UNKNOWN");
    t += QLatin1String(", T-RAIM Status ")
        + pick({ "Can Detect and Isolate", "Can Detect But Not Isolate" }, u8(f, 7),
               "Can't Detect or Isolate");
    t += QLatin1String(", SVIDs Removed= ") + motorolaFormat("0x%08X", unsigned(u32(f, 8)));
    motorolaAppend(t, ", Sawtooth %05.2f, One-Sigma Accuracy %i", s.ppsQuantizationError,
                        int(s.timeSolutionAccuracy));
    t += satelliteRecords(f, 15, 12);
    if (toIdWindow) {
        m_ctx.display->clearReceiverIdText();
        m_ctx.display->appendReceiverIdText(t);
        s.receiverIdHnRequested = false;
    }
    return motorolaTextsWanted(m_ctx) ? t : QString();
}

// --- self test ------------------------------------------------------------------------

QString MotorolaTiming::selfTestText(QByteArrayView f, int model)
{
    if (f.size() < 5)
        return {};
    QStringList labels;
    const char id = f[2];
    auto channelsDown = [&](const char *prefix, int from) {
        for (int c = from; c >= 1; --c)
            labels << QString::fromLatin1(prefix) + QString::number(c)
                    + QLatin1String(" Correlation Test: ");
    };
    if (id == 'C') {
        labels << "@@Ca RTC Comm & Time: " << "\n@@Ca DCXO SPI Comm: " << "\n@@Ca EEPROM: "
               << "\n@@Ca RAM MSByte: " << "\n@@Ca RAM LSByte: " << "\n@@Ca ROM MSByte Checksum: "
               << "\n@@Ca ROM LSByte Checksum: " << "\n@@Ca 1KHz Presence: ";
        channelsDown("\n@@Ca Channel ", 6);
    } else if (id == 'F' && MotorolaModels::usesAmuSelfTestLabels(model)) {
        labels << "@@Fa RTC Comm & Time: " << "\n@@Fa DCXO SPI Comm: " << "\n@@Fa EEPROM: "
               << "\n@@Fa RAM MSByte: " << "\n@@Fa RAM LSByte: " << "\n@@Fa ROM MSByte Checksum: "
               << "\n@@Fa ROM LSByte Checksum: " << "\n@@Fa 1KHz Presence: ";
        channelsDown("\n@@Fa Channel ", 8);
    } else if (id == 'F') {
        labels << "Antenna Undercurrent: " << "\n@@Fa Antenna Overcurrent: "
               << "\n@@Fa RTC Comm & Time: " << "\n@@Fa Temperature Sensor: " << "\n@@Fa RAM: "
               << "\n@@Fa ROM: " << "\n@@Fa 1KHz Presence: ";
        channelsDown("\n@@Fa Channel ", 8);
    } else if (id == 'I') {
        labels << "\n@@Ia RTC Comm & Time: " << "\n@@Ia Temperature Sensor: " << "\n@@Ia RAM: "
               << "\n@@Ia ROM: " << "\n@@Ia 1KHz Presence: "
               << "\n@@Ia Temperature Sensor Data Checksum: " << "\n@@Ia Oscillator Data Checksum: "
               << "\n@@Ia Manufacturing Data Checksum: ";
        channelsDown("\n@@Ia Channel ", 12);
    } else {
        return {};
    }
    // The result word: every byte after the identifier, most significant first (at most 4).
    const int bytes = int(qMin<qsizetype>(f.size() - 4, 4));
    const int bits = 8 * bytes;
    uint32_t word = 0;
    for (int i = 0; i < bytes; ++i)
        word = (word << 8) | u8(f, 4 + i);
    QString t;
    for (int i = 0; i < labels.size() && i < bits; ++i) {
        const bool failed = (word >> (bits - 1 - i)) & 1u;
        t += labels.at(i) + QLatin1String(failed ? "FAIL" : "PASS");
    }
    return t;
}

QString MotorolaTiming::decodeSelfTest(QByteArrayView f)
{
    const QString t = selfTestText(f, m_ctx.state->receiverModel);
    if (t.isEmpty())
        return {};
    if (m_ctx.display)
        m_ctx.display->appendReceiverIdText(t);
    return motorolaTextsWanted(m_ctx) ? t : QString();
}

// --- command echoes -------------------------------------------------------------------

// Field layouts follow the receiver maker's command descriptions: each echo repeats the
// parameters of its command, big-endian, from offset 4. "@@Ap": 4 datum ID, 5-8 semi-major axis
// (cm), 9-12 inverse flattening (1e-7), 13-18 delta X, Y, Z (0.1 m).
QString MotorolaTiming::decodeEcho(QByteArrayView f)
{
    ReceiverState &s = *m_ctx.state;
    const char g = f[2];
    const char l = f[3];
    const bool texts = motorolaTextsWanted(m_ctx) || m_ctx.display;
    auto deg = [&](qsizetype o) { return i32(f, o) / 3600000.0; };
    QString t;
    bool known = true;
    if (g == 'A') {
        switch (l) {
        case 'a': t = motorolaFormat("Time set to %02i:%02i:%02i UTC", u8(f, 4), u8(f, 5), u8(f, 6)); break;
        case 'b': t = motorolaFormat("GMT Correction set to %s%02i:%02i", u8(f, 4) ? "-" : "+", u8(f, 5), u8(f, 6)); break;
        case 'c': {
            const int m = u8(f, 4);
            t = QLatin1String("Date set to ")
                + QLatin1String(m >= 1 && m <= 12 ? MonthNames[m - 1] : "ERROR")
                + motorolaFormat(" %02i, %02i UTC", u8(f, 5), int(u16(f, 6)));
            break;
        }
        case 'd': t = motorolaFormat("Current Latitude set to %010.8f degrees", deg(4)); break;
        case 'e': t = motorolaFormat("Current Longitude set to %010.8f degrees", deg(4)); break;
        case 'f': t = motorolaFormat("Current Height set to %04.2f meters (WGS84)", i32(f, 4) / 100.0); break;
        case 'g': t = motorolaFormat("Elevation limit set to %i degrees", u8(f, 4)); break;
        case 'h': t = QLatin1String("Satellite Selection Mode ") + pick({ "AUTOMATIC HIGHEST-IN-SKY", "MANUAL", "AUTOMATIC (Best Geometry)" }, u8(f, 4)); break;
        case 'i': t = QLatin1String("Current Satellite Assignment on Channel ") + motorolaFormat("%i is Prn %i ", u8(f, 4), u8(f, 5)); break;
        case 'j': t = QLatin1String("Satellite Selection xDOP: ") + pick({ "GDOP", "PDOP", "HDOP", "VDOP", "TDOP" }, u8(f, 4)); break;
        case 'k': t = QLatin1String("Current xDop Hysteresis is ") + motorolaFormat("%f", u8(f, 4) / 10.0); break;
        case 'l': t = QLatin1String("Current 3-D to 2-D DOP Threshold is ") + motorolaFormat("%f", u8(f, 4) / 10.0); break;
        case 'C': t = QLatin1String("Current 2-D to 0-D DOP Threshold is ") + motorolaFormat("%f", u8(f, 4) / 10.0); break;
        case 'm': t = QLatin1String("Satellite Ignore List ") + motorolaFormat("Mask = 0x%08X", unsigned(u32(f, 4))); break;
        case 'n': t = QLatin1String("Current Almanac Update Mode is ") + pick({ "UPDATE", "NO-UPDATE" }, u8(f, 4)); break;
        case 'p':
            t = QLatin1String("Datum Parameters: ")
                + motorolaFormat("ID %i: semi-major axis %5.3f, inverse flattening %11.9f, delta X %3.1f, delta Y %3.1f, delta Z %3.1f",
                                 u8(f, 4), u32(f, 5) / 100.0, u32(f, 9) / 1e7, i16(f, 13) / 10.0,
                                 i16(f, 15) / 10.0, i16(f, 17) / 10.0);
            break;
        case 'q':
            t = QLatin1String("Corrections: ")
                + pick({ "Ionospheric  and Tropospheric DISABLED", "Ionospheric ENABLED, Tropospheric DISABLED",
                         "Ionospheric DISABLED, Tropospheric ENABLED", "Ionospheric and Tropospheric ENABLED" },
                       u8(f, 4), "Ionospheric/Tropospheric MODE ERROR");
            break;
        case 'r': t = QLatin1String("Position Fix Mode ") + pick({ "ALL-IN-VIEW", "BEST-4" }, u8(f, 4)); break;
        case 's': t = motorolaFormat("Position-Hold set to  %010.8f, %010.8f, %04.2f", deg(4), deg(8), i32(f, 12) / 100.0); break;
        case 't': t = QLatin1String("Position Hold Mode ") + pick({ "DISABLED", "ENABLED", "Automatic Site Survey in Progress" }, u8(f, 4)); break;
        case 'u': t = motorolaFormat("Altitude-Hold Height set to %04.2f meters (WGS84)", i32(f, 4) / 100.0); break;
        case 'v': t = QLatin1String("Altitude Hold Mode ") + enabled(u8(f, 4)); break;
        case 'w':
            t = QLatin1String("Time Correction Mode ")
                + pick({ "Serial port = GPS, 1PPS sync = UTC", "Serial port = UTC, 1PPS sync = GPS",
                         "Serial port = GPS, 1PPS sync = EPOCH", "Serial port = UTC, 1PPS sync = EPOCH" },
                       u8(f, 4));
            break;
        case 'x': t = motorolaFormat("Epoch offset set to %01i msec", int(u16(f, 4))); break;
        case 'y': t = motorolaFormat("1pps offset set to %05.3f microseconds", i32(f, 4) / 1000.0); break;
        case 'z': t = motorolaFormat("1pps cable delay set to %01u nanoseconds", unsigned(u32(f, 4))); break;
        case 'A': t = QLatin1String("Current Ephemeris Hold mode  ") + enabled(u8(f, 4)); break;
        case 'B': t = QLatin1String("Application Type set to  ") + pick({ "AIR", "HANDHELD", "LAND", "MARINE", "STATIC" }, u8(f, 4)); break;
        case 'D': t = motorolaFormat("Correction Timer Thresholds (seconds): Position Fix = %i, DGPS Output = %i", u8(f, 4), u8(f, 5)); break;
        case 'E': t = QLatin1String("Output Align-to-Minute Mode ") + enabled(u8(f, 4)); break;
        case 'J': t = motorolaFormat("Current Differential Time-out (seconds) = %i", u8(f, 4)); break;
        case 'N': t = motorolaFormat("Current Velocity Filter = %i", u8(f, 4)); break;
        case 'M': t = motorolaFormat("%4.2f,%d", u16(f, 4) / 100.0, int(i16(f, 6))); break;
        case 'O': t = QLatin1String("RTCM Port set to ") + pick({ "2400", "4800", "9600" }, u8(f, 4)) + QLatin1String(" baud"); break;
        case 'P': t = QLatin1String("Pulse Mode set to ") + pick({ "1PPS", "100PPS" }, u8(f, 4)) + QLatin1String(" output"); break;
        case 'Q': t = QLatin1String("Position Filter Select ") + enabled(u8(f, 4)); break;
        case 'S': t = QLatin1String("Position Lock Select ") + enabled(u8(f, 4)); break;
        default: known = false; break;
        }
    } else {
        switch (l) {
        case 'a':
            t = motorolaFormat("Position Estimate set to %010.8f degrees lat, %010.8f degrees lng, %4.2f meters %s altitude.",
                               deg(4), deg(8), i32(f, 12) / 100.0, u8(f, 16) ? "MSL" : "GPS");
            break;
        case 'b':
            t = motorolaFormat("Time Estimate set to %u, %u, %d, %u, %u, %u, %i, %i, %u.", u8(f, 4), u8(f, 5),
                               int(u16(f, 6)), u8(f, 8), u8(f, 9), u8(f, 10), int(i8(f, 11)), int(u8(f, 12)),
                               unsigned(u8(f, 13)));
            break;
        case 'c':
            t = QLatin1String("1PPS signal output set to ")
                + pick({ "OFF", "ALWAYS ON", "ON IF AT LEAST ONE SATELLITE TRACKED", "ON IF TRAIM PASSES" }, u8(f, 4));
            break;
        case 'd':
            t = QLatin1String("Position Control set to ")
                + pick({ "NORMAL", "POSITION HOLD (0-D NAV)", "ALTITUDE HOLD (2-D NAV)", "AUTO-SURVEY" }, u8(f, 4));
            break;
        case 'e': t = QLatin1String("TRAIM set to ") + enabled(u8(f, 4)); break;
        case 'f': t = motorolaFormat("@@Gf TRAIM Alarm Limit set to %01d", int(u16(f, 4))); break;
        case 'j': {
            // 4 present and 5 future leap seconds, 6-7 year, 8 month, 9 day, 10 integer and
            // 11-14 fractional (ns) seconds, 15-17 hours, minutes, seconds of the event.
            if (f.size() < 18)
                return QStringLiteral("");
            const int present = i8(f, 4);
            const int future = i8(f, 5);
            s.leapSecondPending = future > present ? 1 : future < present ? 2 : 0;
            s.leapSeconds = present;
            t = motorolaFormat("@@Gj,%i,%i,%d,%u,%u,%d.%.9d,%u,%u,%u", present, future, int(u16(f, 6)),
                               u8(f, 8), u8(f, 9), int(i8(f, 10)), int(u32(f, 11) % 1000000000u),
                               u8(f, 15), u8(f, 16), u8(f, 17));
            break;
        }
        case 'k': {
            t = QStringLiteral("Tag = ");
            for (qsizetype o = 4; o < f.size(); ++o)
                t += QLatin1Char(char(u8(f, o)));
            break;
        }
        default: known = false; break;
        }
    }
    if (!known)
        return {};
    if (!texts)
        return QStringLiteral("");
    if (m_ctx.display)
        m_ctx.display->appendReceiverIdText(t);
    return motorolaTextsWanted(m_ctx) ? t : QStringLiteral("");
}

// --- SSR extensions -------------------------------------------------------------------

QString MotorolaTiming::decodeSsr(QByteArrayView f)
{
    const char g = f[2];
    const char l = f[3];
    QString t;
    bool known = true;
    if (g == 'S') {
        switch (l) {
        case 'P': t = motorolaFormat("2nd PPS frequency is set to %2u Hz", unsigned(u32(f, 4))); break;
        case 'a': {
            // 4-10 date and time, 11 satellites listed, 12 status, then 7-byte records: ID, type,
            // C/No, azimuth (u16), elevation, used.
            const int n = u8(f, 11);
            t = motorolaFormat("%.2u/%.2u/%.4d, %.2u:%.2u:%.2u, SV=%u, ST=%u, ", u8(f, 4), u8(f, 5), int(u16(f, 6)),
                               u8(f, 8), u8(f, 9), u8(f, 10), unsigned(n), u8(f, 12));
            const int count = int(qMin<qsizetype>(n, qMax<qsizetype>(0, (f.size() - 13) / 7)));
            for (int i = 0; i < count; ++i) {
                const qsizetype o = 13 + 7 * i;
                motorolaAppend(t, "[SVID %.1u, Type %.1u, C/No=%.1u, AZ=%.1d, EL=%.1u, Used=%.1u]", u8(f, o),
                                    u8(f, o + 1), u8(f, o + 2), int(u16(f, o + 3)), u8(f, o + 5), u8(f, o + 6));
            }
            break;
        }
        case 'c': {
            const QString list = constellationList(u8(f, 4), " & ");
            t = QLatin1String("GNSS Constellation Mode is ") + (list.isEmpty() ? QStringLiteral("NONE (illegal)") : list);
            break;
        }
        case 'm':
            t = QLatin1String("GNSS Receiver save all settings to non-volitile memory = ")
                + pick({ "no change", "settings saved" }, u8(f, 4), "UNKNOWN, no change (illegal value)");
            break;
        case 'o':
            t = QLatin1String("GNSS Receiver @@Ha/Hn/Bb Message Configuration is ")
                + pick({ "Output GNSS satellite information with highest SNR value",
                         "Output GNSS satellite information with highest elevation angle",
                         "Output only GPS constellation information", "Output only GLONASS constellation information",
                         "Output only GALILEO constellation information", "Output only BEIDOU constellation information",
                         "Output only SBAS + QZSS constellation information" },
                       u8(f, 4), "UNKNOWN (illegal value)");
            break;
        case 'p': t = motorolaFormat("GNSS Receiver current number of leap seconds = %i", int(i8(f, 4))); break;
        case 't':
            t = QLatin1String("GNSS Receiver Date/Time/PPS Alignment is ")
                + pick({ "GPS = UTC (USNO) with no leap seconds", "UTC = UTC (USNO) with leap seconds",
                         "GLONASS = UTC (SU) with leap seconds", "BEIDOU = UTC (China) with leap seconds",
                         "Galileo = UTC (EU) with leap seconds" },
                       u8(f, 4), "UNKNOWN (illegal value)");
            break;
        case 'x': t = QLatin1String("GNSS Receiver Type is ") + constellationList(u8(f, 4), " + "); break;
        case 'z': t = QStringLiteral("System Power-On FAILURE."); break;
        default: known = false; break;
        }
    } else if (g == 'W') {
        switch (l) {
        case 'b': t = motorolaFormat("%2.2X%2.2X", u8(f, 4), u8(f, 5)); break;
        case 'o': t = motorolaFormat("D/A value = %d (0x%02X)", int(u8(f, 4)), u8(f, 4)); break;
        case 'm': case 'p': case 'q': case 's': t = motorolaDataOnlyText(m_ctx, f); break;
        default: known = false; break;
        }
    } else {
        switch (l) {
        case 'k':
            for (qsizetype o = 4; o < f.size(); ++o)
                motorolaAppend(t, "<%2.2X>", u8(f, o));
            break;
        case 'j': case 'm': case 'r': t = motorolaDataOnlyText(m_ctx, f); break;
        default: known = false; break;
        }
    }
    if (!known)
        return {};
    if (!motorolaTextsWanted(m_ctx))
        return QStringLiteral("");
    return t;
}
