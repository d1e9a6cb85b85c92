#include "logging/RinexObservationWriter.h"

#include "core/MotorolaModels.h"
#include "core/ReceiverState.h"

#include <QDate>
#include <cmath>
#include <cstring>
#include <cstdio>

namespace {

constexpr qint64 MsPerDay = 86400000;
constexpr qint64 MsPerWeek = 7 * MsPerDay;
constexpr qsizetype FlushThreshold = 64 * 1024;

// A header record: the data cut or padded to 60 columns, then the label.
void record(QByteArray &out, const QByteArray &data, const char *label)
{
    QByteArray line = data.left(60);
    line.append(60 - line.size(), ' ');
    out += line + label + '\n';
}

// A text field of `width` columns: printable ASCII only, cut to the width, padded.
QByteArray field(const QString &text, int width)
{
    QByteArray out;
    out.reserve(width);
    for (const QChar c : text) {
        if (out.size() == width)
            break;
        const ushort u = c.unicode();
        out.append(u >= 0x20 && u < 0x7F ? char(u) : '?');
    }
    out.append(width - out.size(), ' ');
    return out;
}

QByteArray format(const char *pattern, auto... values)
{
    char buffer[96];
    const int n = std::snprintf(buffer, sizeof buffer, pattern, values...);
    return QByteArray(buffer, qBound(0, n, int(sizeof buffer) - 1));
}

struct Calendar
{
    int year, month, day, hour, minute;
    double second;
};

Calendar calendarOf(int week, qint64 towMs)
{
    const qint64 total = qint64(week) * MsPerWeek + towMs;
    const QDate date = QDate(1980, 1, 6).addDays(total / MsPerDay);
    const qint64 ms = total % MsPerDay;
    return { date.year(), date.month(), date.day(), int(ms / 3600000), int(ms / 60000 % 60), double(ms % 60000) / 1000.0 };
}

// Whether F14.3 holds the value; 0 is what the receiver sends for a value it does not have.
bool printable(double value)
{
    return value != 0.0 && std::isfinite(value) && std::fabs(value) < 1e9;
}

// F14.3 with its loss-of-lock and strength digits, or 16 blanks.
void appendValue(char *&p, double value, char lli, char strength)
{
    if (!printable(value)) {
        std::memset(p, ' ', 16);
        p += 16;
        return;
    }
    p += std::snprintf(p, 15, "%14.3f", value);
    *p++ = lli;
    *p++ = strength;
}

char strengthDigit(int cno)
{
    if (cno <= 0)
        return ' ';
    return char('0' + qBound(1, cno / 6, 9));
}

bool validTime(const UbxRawEpoch &epoch)
{
    return epoch.week > 0 && epoch.towMs >= 0 && epoch.towMs < MsPerWeek;
}

} // namespace

void RinexHeaderInfo::setApproxPosition(double latitude, double longitude, double height)
{
    constexpr double A = 6378137.0;                 // WGS-84 semi-major axis
    constexpr double F = 1.0 / 298.257223563;       // flattening
    constexpr double E2 = F * (2.0 - F);            // first eccentricity squared
    constexpr double Rad = 3.14159265358979323846 / 180.0;
    const double sinLat = std::sin(latitude * Rad);
    const double cosLat = std::cos(latitude * Rad);
    const double n = A / std::sqrt(1.0 - E2 * sinLat * sinLat);   // prime vertical radius
    approxPosition = { (n + height) * cosLat * std::cos(longitude * Rad), (n + height) * cosLat * std::sin(longitude * Rad),
                       (n * (1.0 - E2) + height) * sinLat };
}

RinexHeaderInfo RinexHeaderInfo::forStation(const ReceiverState &state, const QString &markerName, const QString &version)
{
    RinexHeaderInfo info;
    info.program = QStringLiteral("Chronode ") + version;
    info.markerName = markerName;
    info.receiverType = MotorolaModels::name(state.receiverModel);
    info.receiverVersion = state.firmwareVersionText.section(QLatin1Char('\n'), 0, 0).trimmed();
    const QDateTime receiverTime = state.receiverUtcDateTime.dateTime();
    info.created = receiverTime.isValid() && receiverTime.date().year() > 1980 ? receiverTime : QDateTime::currentDateTimeUtc();
    info.comments << QStringLiteral("S1: C/No in dBHz; LLI on L1 as the receiver reports it");
    return info;
}

RinexObservationWriter::~RinexObservationWriter()
{
    close();
}

QByteArray RinexObservationWriter::satelliteCode(int sv)
{
    if (sv >= 1 && sv <= 32)
        return format("G%02d", sv);
    if (sv >= 120 && sv <= 158)
        return format("S%02d", sv - 100);
    return {};
}

QByteArray RinexObservationWriter::headerText(const RinexHeaderInfo &info, int week, qint64 towMs)
{
    QByteArray out;
    record(out, format("%9.2f%11s%-20s%-20s", 2.11, "", "OBSERVATION DATA", "M (MIXED)"), "RINEX VERSION / TYPE");
    const QDateTime created = (info.created.isValid() ? info.created : QDateTime::currentDateTimeUtc()).toUTC();
    record(out, field(info.program, 20) + field(info.runBy, 20) + field(created.toString(QStringLiteral("yyyyMMdd hhmmss 'UTC'")), 20),
           "PGM / RUN BY / DATE");
    for (const QString &comment : info.comments)
        record(out, field(comment, 60), "COMMENT");
    record(out, field(info.markerName, 60), "MARKER NAME");
    record(out, field(info.observer, 20) + field(info.agency, 40), "OBSERVER / AGENCY");
    record(out, field(info.receiverNumber, 20) + field(info.receiverType, 20) + field(info.receiverVersion, 20),
           "REC # / TYPE / VERS");
    record(out, field(info.antennaNumber, 20) + field(info.antennaType, 20), "ANT # / TYPE");
    const auto &x = info.approxPosition;
    record(out, format("%14.4f%14.4f%14.4f", x[0], x[1], x[2]), "APPROX POSITION XYZ");
    const auto &d = info.antennaDelta;
    record(out, format("%14.4f%14.4f%14.4f", d[0], d[1], d[2]), "ANTENNA: DELTA H/E/N");
    // Full cycles on L1; 0 on L2: a single-frequency receiver.
    record(out, format("%6d%6d", 1, 0), "WAVELENGTH FACT L1/2");
    record(out, format("%6d%6s%6s%6s%6s", 4, "C1", "L1", "D1", "S1"), "# / TYPES OF OBSERV");
    if (info.intervalSeconds > 0)
        record(out, format("%10.3f", double(info.intervalSeconds)), "INTERVAL");
    const Calendar c = calendarOf(week, towMs);
    record(out, format("%6d%6d%6d%6d%6d%13.7f%5s%3s", c.year, c.month, c.day, c.hour, c.minute, c.second, "", "GPS"),
           "TIME OF FIRST OBS");
    record(out, {}, "END OF HEADER");
    return out;
}

QByteArray RinexObservationWriter::epochText(const UbxRawEpoch &epoch, const std::array<uint8_t, 256> &lli)
{
    if (!validTime(epoch))
        return {};
    QByteArray codes;
    codes.reserve(3 * int(epoch.measurements.size()));
    std::vector<const UbxRawMeasurement *> kept;
    kept.reserve(epoch.measurements.size());
    for (const UbxRawMeasurement &m : epoch.measurements) {
        const QByteArray code = satelliteCode(m.sv);
        if (code.isEmpty())
            continue;
        codes += code;
        kept.push_back(&m);
    }
    if (kept.empty())
        return {};

    const Calendar c = calendarOf(epoch.week, epoch.towMs);
    QByteArray out = format(" %02d %2d %2d %2d %2d%11.7f  %1d%3d", c.year % 100, c.month, c.day, c.hour, c.minute,
                            c.second, 0, int(kept.size()));
    // Twelve satellites on the epoch line, the rest on continuation lines from column 33.
    for (qsizetype i = 0; i < codes.size(); i += 36) {
        if (i > 0)
            out += QByteArray(32, ' ');
        out += QByteArrayView(codes).sliced(i, qMin<qsizetype>(36, codes.size() - i));
        out += '\n';
    }

    char line[80];
    for (const UbxRawMeasurement *m : kept) {
        char *p = line;
        const char ssi = strengthDigit(m->cno);
        const int flags = (m->lli | lli[m->sv]) & 0x07;
        appendValue(p, m->pseudorange, ' ', ssi);
        appendValue(p, m->carrierPhase, flags ? char('0' + flags) : ' ', ssi);
        appendValue(p, m->doppler, ' ', ssi);
        appendValue(p, m->cno > 0 ? double(m->cno) : 0.0, ' ', ' ');
        *p++ = '\n';
        out.append(line, p - line);
    }
    return out;
}

bool RinexObservationWriter::open(const QString &path, const RinexHeaderInfo &info)
{
    close();
    m_info = info;
    m_error.clear();
    m_headerDone = false;
    m_epochs = 0;
    m_seen.fill(false);
    m_carried.fill(0);

    m_file.setFileName(path);
    if (m_file.exists() && m_file.size() > 0) {
        if (!m_file.open(QIODevice::ReadOnly)) {
            m_error = m_file.errorString();
            return false;
        }
        const QByteArray first = m_file.readLine(200);
        // The end of the file: a last line without its line end was never finished.
        const qint64 tailStart = qMax<qint64>(0, m_file.size() - 4096);
        m_file.seek(tailStart);
        const QByteArray tail = m_file.readAll();
        m_file.close();
        if (!first.contains("RINEX VERSION / TYPE") || !first.contains("OBSERVATION DATA")) {
            m_error = QStringLiteral("%1 is not a RINEX observation file").arg(path);
            return false;
        }
        if (!tail.endsWith('\n') && !m_file.resize(tailStart + tail.lastIndexOf('\n') + 1)) {
            m_error = m_file.errorString();
            return false;
        }
        m_headerDone = true;
    }
    // Unbuffered: the pending epochs go to the file in one write each flush.
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        m_error = m_file.errorString();
        return false;
    }
    return true;
}

void RinexObservationWriter::writeEpoch(const UbxRawEpoch &epoch)
{
    if (!isOpen())
        return;
    std::array<uint8_t, 256> lli = m_carried;
    for (const UbxRawMeasurement &m : epoch.measurements) {
        if (!m_seen[m.sv])
            lli[m.sv] |= 0x01;
    }
    const QByteArray text = epochText(epoch, lli);
    if (text.isEmpty())
        return;
    if (!m_headerDone) {
        writeBuffered(headerText(m_info, epoch.week, epoch.towMs));
        m_headerDone = true;
    }
    writeBuffered(text);
    ++m_epochs;
    m_seen.fill(false);
    for (const UbxRawMeasurement &m : epoch.measurements) {
        m_seen[m.sv] = true;
        // Flags of a phase left blank wait for the next phase of that satellite.
        m_carried[m.sv] = printable(m.carrierPhase) ? 0 : (lli[m.sv] | m.lli) & 0x07;
    }
}

void RinexObservationWriter::skipEpoch(const UbxRawEpoch &epoch)
{
    if (!isOpen() || !validTime(epoch))
        return;
    // A satellite that comes and goes between written epochs has lost lock in between.
    std::array<bool, 256> present {};
    for (const UbxRawMeasurement &m : epoch.measurements) {
        present[m.sv] = true;
        m_carried[m.sv] |= m.lli & 0x07;
    }
    for (int sv = 0; sv < 256; ++sv) {
        if (m_seen[sv] && !present[sv])
            m_carried[sv] |= 0x01;
    }
}

void RinexObservationWriter::writeBuffered(const QByteArray &text)
{
    m_pending += text;
    if (m_pending.size() >= FlushThreshold)
        flush();
}

void RinexObservationWriter::flush()
{
    if (!isOpen() || m_pending.isEmpty())
        return;
    const qint64 written = m_file.write(m_pending);
    if (written != m_pending.size())
        m_error = m_file.errorString();
    m_pending.clear();
}

void RinexObservationWriter::close()
{
    if (!isOpen())
        return;
    flush();
    m_file.close();
}
