#include "receiver/nmea/NmeaDecoder.h"

#include "core/TextFormat.h"
#include "core/ReceiverState.h"
#include "averaging/AveragingInput.h"
#include "core/MotorolaModels.h"
#include "core/ReceiverMode.h"

#include <QDateTime>
#include <QDebug>
#include <QTimeZone>
#include <cmath>

namespace {

// Receiver mode 5 is an NMEA-speaking mode that the port settings never produce; GSA and RMC
// leave the fix status and the time alone in it.
constexpr int NmeaMode5 = 5;

// Defaults that empty fields take before they are scanned. Integer fields take "0" so that a
// GSA with empty satellite slots or a GSV with an untracked satellite still scans completely.
const QByteArray DefaultTime = QByteArrayLiteral("000000.00");
const QByteArray DefaultLatitude = QByteArrayLiteral("0000.0000");
const QByteArray DefaultLongitude = QByteArrayLiteral("00000.0000");
const QByteArray DefaultNumber = QByteArrayLiteral("0.0");
const QByteArray DefaultInteger = QByteArrayLiteral("0");
const QByteArray DefaultRmcDate = QByteArrayLiteral("010100");

QByteArray field(const QList<QByteArray> &f, int i, const QByteArray &dflt = QByteArray())
{
    if (i < 0 || i >= f.size() || f.at(i).isEmpty())
        return dflt;
    return f.at(i);
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Like scanf's "%d": optional sign and at least one digit at the start; the rest is ignored.
// Values are capped well inside int so that no later arithmetic can overflow.
bool scanInt(const QByteArray &s, int *out)
{
    qsizetype i = 0;
    bool negative = false;
    if (i < s.size() && (s.at(i) == '+' || s.at(i) == '-')) {
        negative = s.at(i) == '-';
        ++i;
    }
    const qsizetype start = i;
    qint64 v = 0;
    while (i < s.size() && isDigit(s.at(i))) {
        if (v < 100000000)
            v = v * 10 + (s.at(i) - '0');
        ++i;
    }
    if (i == start)
        return false;
    *out = int(negative ? -v : v);
    return true;
}

// Like scanf's "%lf" on the numbers a receiver sends: sign, digits, optional fraction. No
// exponents, no "nan" or "inf", and it does not depend on the C library's locale.
bool scanDouble(const QByteArray &s, double *out)
{
    qsizetype i = 0;
    if (i < s.size() && (s.at(i) == '+' || s.at(i) == '-'))
        ++i;
    qsizetype digits = 0;
    while (i < s.size() && isDigit(s.at(i))) {
        ++i;
        ++digits;
    }
    if (i < s.size() && s.at(i) == '.') {
        ++i;
        while (i < s.size() && isDigit(s.at(i))) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0 || digits > 30)
        return false;
    bool ok = false;
    const double v = s.left(i).toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return false;
    *out = v;
    return true;
}

// "%2d%2d%lf": hours, minutes, seconds with fraction.
bool scanTime(const QByteArray &s, int *h, int *m, double *sec)
{
    if (s.size() < 5 || !isDigit(s.at(0)) || !isDigit(s.at(1)) || !isDigit(s.at(2))
        || !isDigit(s.at(3)))
        return false;
    *h = (s.at(0) - '0') * 10 + (s.at(1) - '0');
    *m = (s.at(2) - '0') * 10 + (s.at(3) - '0');
    return scanDouble(s.mid(4), sec);
}

// "%2d%lf" (latitude) or "%3d%lf" (longitude): whole degrees, then minutes.
bool scanDegreesMinutes(const QByteArray &s, int degreeDigits, int *deg, double *min)
{
    if (s.size() <= degreeDigits)
        return false;
    int d = 0;
    for (int i = 0; i < degreeDigits; ++i) {
        if (!isDigit(s.at(i)))
            return false;
        d = d * 10 + (s.at(i) - '0');
    }
    double m = 0.0;
    if (!scanDouble(s.mid(degreeDigits), &m) || m < 0.0)
        return false;
    *deg = d;
    *min = m;
    return true;
}

int intField(const QList<QByteArray> &f, int i, bool *ok = nullptr)
{
    int v = 0;
    const bool good = scanInt(field(f, i, DefaultInteger), &v);
    if (ok)
        *ok = good;
    return good ? v : 0;
}

double numberField(const QList<QByteArray> &f, int i, bool *ok = nullptr)
{
    double v = 0.0;
    const bool good = scanDouble(field(f, i, DefaultNumber), &v);
    if (ok)
        *ok = good;
    return good ? v : 0.0;
}

char firstChar(const QList<QByteArray> &f, int i, char dflt)
{
    const QByteArray s = field(f, i);
    return s.isEmpty() ? dflt : s.at(0);
}

QString text(const QList<QByteArray> &f, int i, const QByteArray &dflt = QByteArray())
{
    return QString::fromLatin1(field(f, i, dflt));
}

constexpr const char *IllegalDateWarning = "WARNING: Illegal date or time decoding GPZDA.";

// The GNSS talkers whose standard sentences are decoded.
int talkerIndex(const QByteArray &talker)
{
    if (talker == "GP")
        return 0;
    if (talker == "GL")
        return 1;
    if (talker == "GA")
        return 2;
    if (talker == "GB" || talker == "BD")
        return 3;
    if (talker == "GQ")
        return 4;
    if (talker == "GN")
        return 5;
    return -1;
}

int beidouId(int prn)
{
    return prn <= 5 ? 158 + prn : 27 + prn;   // 1-5 -> 159-163, 6-37 -> 33-64
}

// The comma-separated fields of a sentence, without its checksum (the link has already
// verified it). Never empty: the first field is the header.
// The fields before the '*' point into the sentence (no copy each): they are read while the
// sentence is decoded and never kept.
QList<QByteArray> sentenceFields(const QByteArray &sentence)
{
    const char *d = sentence.constData();
    qsizetype end = sentence.indexOf('*');
    if (end < 0)
        end = sentence.size();
    QList<QByteArray> fields;
    fields.reserve(24);
    qsizetype start = 0;
    for (qsizetype i = 0; i <= end; ++i) {
        if (i == end || d[i] == ',') {
            fields.append(QByteArray::fromRawData(d + start, i - start));
            start = i + 1;
        }
    }
    return fields;
}

} // namespace

NmeaDecoder::NmeaDecoder(const DecoderContext &context)
    : m_ctx(context)
{
}

int NmeaDecoder::tableIdForTalker(const QByteArray &talker, int id)
{
    const int t = talkerIndex(talker);
    if (id <= 0)
        return 0;
    switch (t) {
    case 0:   // GP
    case 5:   // GN
        if (id <= 32)
            return id;
        if (id <= 64)
            return id + 87;   // NMEA SBAS numbers -> PRN 120-151
        if (id <= 96)
            return id;        // GLONASS
        if ((id >= 120 && id <= 163) || (id >= 173 && id <= 202) || (id >= 211 && id <= 246)
            || id == 255)
            return id;
        if (id >= 301 && id <= 336)
            return id - 90;   // u-blox extended Galileo
        if (id >= 401 && id <= 437)
            return beidouId(id - 400);
        return 0;
    case 1:   // GL
        if (id <= 24)
            return id + 64;
        if ((id >= 65 && id <= 96) || id == 255)
            return id;
        return 0;
    case 2:   // GA
        if (id <= 36)
            return id + 210;
        if (id >= 211 && id <= 246)
            return id;
        if (id >= 301 && id <= 336)
            return id - 90;
        return 0;
    case 3:   // GB, BD
        if (id <= 37)
            return beidouId(id);
        if (id >= 401 && id <= 437)
            return beidouId(id - 400);
        return 0;
    case 4:   // GQ
        if (id <= 10)
            return id + 192;
        if (id >= 193 && id <= 202)
            return id;
        return 0;
    default:
        return 0;
    }
}

bool NmeaDecoder::wantTexts() const
{
    return m_ctx.options.alwaysBuildTexts || (m_ctx.state && m_ctx.state->rawWindowOpened);
}

void NmeaDecoder::warn(const QString &warning)
{
    m_lastWarning = warning;
    qWarning().noquote() << warning;
}

bool NmeaDecoder::decodeNmeaSentence(const QByteArray &sentence)
{
    if (sentence.size() < 7 || sentence.at(0) != '$')
        return false;

    m_displayText.clear();
    m_lastWarning.clear();
    m_changes = 0;

    const Fields f = sentenceFields(sentence);
    const QByteArray header = f.at(0);

    if (header.size() == 6) {
        const QByteArray talker = header.mid(1, 2);
        const QByteArray type = header.mid(3);
        if (talkerIndex(talker) >= 0) {
            if (type == "TXT") {
                decodeText(f);
                return true;
            }
            if (type == "ZDA") {
                decodeZda(f);
                return true;
            }
            if (type == "GGA") {
                decodeGga(f);
                return true;
            }
            if (type == "GSA") {
                decodeGsa(talker, f);
                return true;
            }
            if (type == "GSV") {
                decodeGsv(talker, f);
                return true;
            }
            if (type == "GLL")
                return true;   // passed on to the log only; GGA carries the same position
            if (type == "RMC") {
                decodeRmc(f);
                return true;
            }
            if (type == "VTG") {
                decodeVtg(f);
                return true;
            }
        }
    }

    if (header == "$PGRMT") {
        decodePgrmt(f);
    } else if (header == "$PGRMI") {
        decodePgrmi(f);
    } else if (header == "$PGRMC") {
        decodePgrmc(f);
    } else if (header == "$PGRMO") {
        decodePgrmo(f);
    } else if (header == "$PMOTG") {
        if (m_ctx.state)
            m_ctx.state->noteAnswer(AnswerFamily::MotorolaNmea, header);
    } else if (header == "$GPALM") {
        if (m_ctx.state)
            m_ctx.state->setAnswered(AnswerFamily::GpAlm);
    }
    // "$PSYN,VEL" and everything else: the sentence itself goes to the raw-data window and log.
    return true;
}

void NmeaDecoder::decodeText(const Fields &f)
{
    // $--TXT,total,number,identifier,text. The text may hold commas of its own.
    const QByteArray all = f.mid(1).join(',');
    const QByteArray key = QByteArrayLiteral("ANTSTATUS=");
    const qsizetype at = all.indexOf(key);
    if (at < 0)
        return;
    const QByteArray word = all.mid(at + key.size());
    int value = -1;
    if (word.startsWith("OK"))
        value = 0;
    else if (word.startsWith("SHORT"))
        value = 1;
    else if (word.startsWith("OPEN"))
        value = 2;
    if (m_ctx.state)
        m_ctx.state->antennaState = value;
    if (m_ctx.display)
        m_ctx.display->setAntennaIndicator(value);
}

bool NmeaDecoder::storeTime(int year, int month, int day, int hours, int minutes, double seconds,
                            bool roundToSecond)
{
    const QDate date(year, month, day);
    if (!date.isValid() || hours < 0 || hours > 23 || minutes < 0 || minutes > 59
        || !(seconds >= 0.0) || seconds >= 61.0)
        return false;
    // A leap second (second 60) cannot be represented: it is held at the last millisecond
    // of second 59 so that the next second still follows it. Rounding up to 60 from below
    // carries into the next minute.
    qint64 ms = 59999;
    if (seconds < 60.0)
        ms = roundToSecond ? std::llround(std::floor(seconds + 0.5)) * 1000
                           : std::llround(seconds * 1000.0);
    // The time of day is taken as a wall-clock reading: counted from midnight, a receiver in
    // local time would be an hour off for the rest of a day on which summer time starts or ends.
    qint64 dayMs = qint64(hours) * 3600000 + qint64(minutes) * 60000 + ms;
    QDate onDay = date;
    if (dayMs >= 86400000) {
        onDay = onDay.addDays(1);
        dayMs -= 86400000;
    }
    const QTime timeOfDay = QTime::fromMSecsSinceStartOfDay(int(dayMs));
    QDateTime dt;
    if (m_ctx.options.receiverInLocalTime)
        dt = QDateTime(onDay, timeOfDay, Qt::LocalTime);
    else
        dt = QDateTime(onDay, timeOfDay, QTimeZone::utc());
    dt = dt.toUTC();
    if (!dt.isValid())
        return false;

    if (!m_ctx.state)
        return true;
    ReceiverState &s = *m_ctx.state;
    s.storeReceiverTime(dt, dt.time().msec());
    m_changes |= DecodeChange::Time;
    s.timeMessageMissing = false;
    s.nmeaTimeSeen = true;
    s.nmeaTimePending = false;
    if (m_ctx.display)
        m_ctx.display->refreshClockPanel();
    return true;
}

void NmeaDecoder::decodeZda(const Fields &f)
{
    // $GPZDA,hhmmss.ss,dd,mm,yyyy,zone hours,zone minutes
    if (m_ctx.state)
        m_ctx.state->noteAnswer(AnswerFamily::MotorolaNmea, f.at(0));

    int h = 0, m = 0;
    double sec = 0.0;
    bool timeOk = !field(f, 1).isEmpty() && scanTime(field(f, 1, DefaultTime), &h, &m, &sec);
    bool dayOk = false, monthOk = false, yearOk = false;
    const int day = intField(f, 2, &dayOk);
    const int month = intField(f, 3, &monthOk);
    const int year = intField(f, 4, &yearOk);
    const bool valid = timeOk && h <= 23 && m <= 59 && dayOk && monthOk && yearOk && day >= 1
                       && day <= 31 && month >= 1 && month <= 12 && year >= 1900
                       && year <= 9999;
    if (!valid || !storeTime(year, month, day, h, m, sec, false)) {
        warn(QString::fromLatin1(IllegalDateWarning));
        return;
    }
    m_zdaSeen = true;
    m_rmcSinceZda = 0;
}

NmeaGgaFix NmeaDecoder::parseGga(const QByteArray &sentence)
{
    NmeaGgaFix fix;
    const Fields f = sentenceFields(sentence);
    const QByteArray header = f.at(0);
    if (header.size() != 6 || !header.startsWith('$') || header.mid(3) != "GGA")
        return fix;

    fix.present = true;
    // $--GGA,time,lat,N,lon,E,quality,used,HDOP,alt,M,sep,M,age,station
    if (!scanTime(field(f, 1, DefaultTime), &fix.hours, &fix.minutes, &fix.seconds)) {
        fix.hours = fix.minutes = 0;
        fix.seconds = 0.0;
    }
    const bool latOk = scanDegreesMinutes(field(f, 2, DefaultLatitude), 2, &fix.latDegrees,
                                          &fix.latMinutes);
    fix.latHemisphere = firstChar(f, 3, 'N');
    const bool lonOk = scanDegreesMinutes(field(f, 4, DefaultLongitude), 3, &fix.lonDegrees,
                                          &fix.lonMinutes);
    fix.lonHemisphere = firstChar(f, 5, 'E');
    fix.quality = intField(f, 6);
    fix.satellitesUsed = intField(f, 7);
    fix.hdop = numberField(f, 8);
    fix.altitude = numberField(f, 9);
    fix.altitudeUnit = text(f, 10);
    fix.geoidSeparation = numberField(f, 11);
    fix.geoidUnit = text(f, 12);
    fix.dgpsAgeField = text(f, 13);
    fix.dgpsStationField = text(f, 14);
    fix.dgpsAge = numberField(f, 13);
    fix.dgpsStation = intField(f, 14);

    fix.latitude = fix.latDegrees + fix.latMinutes / 60.0;
    if (fix.latHemisphere == 'S')
        fix.latitude = -fix.latitude;
    fix.longitude = fix.lonDegrees + fix.lonMinutes / 60.0;
    if (fix.lonHemisphere == 'W')
        fix.longitude = -fix.longitude;
    fix.positionValid = latOk && lonOk && fix.quality > 0 && fix.latMinutes < 60.0
                        && fix.lonMinutes < 60.0 && std::fabs(fix.latitude) <= 90.0
                        && std::fabs(fix.longitude) <= 180.0;

    fix.ellipsoidHeight = fix.altitude + fix.geoidSeparation;
    fix.mslHeight = fix.altitude;
    return fix;
}

void NmeaDecoder::decodeGga(const Fields &f)
{
    NmeaGgaFix fix = parseGga(f.join(','));
    if (!fix.present)
        return;

    // An empty unit comes with an empty height (no fix yet): nothing to warn about.
    if (!fix.altitudeUnit.isEmpty() && fix.altitudeUnit != QLatin1String("M"))
        warn(QStringLiteral("NMEA fAltitude_msl not in Meters"));
    if (!fix.geoidUnit.isEmpty() && fix.geoidUnit != QLatin1String("M"))
        warn(QStringLiteral("NMEA fGeoid_separation not in Meters"));

    // The AMU receivers' NMEA heights depend on their firmware: before 7.0 the altitude field
    // is already the ellipsoid height; from 7.0 up to 8.8 the separation has the wrong sign.
    if (m_ctx.state && MotorolaModels::isAmuModel(m_ctx.state->receiverModel)
        && m_ctx.state->firmwareVersion > 0.0) {
        const double v = m_ctx.state->firmwareVersion;
        if (v < 7.0) {
            fix.ellipsoidHeight = fix.altitude;
            fix.mslHeight = fix.altitude - fix.geoidSeparation;
        } else if (v < 8.8) {
            fix.ellipsoidHeight = fix.altitude - fix.geoidSeparation;
            fix.geoidSeparation = -fix.geoidSeparation;
        }
    }

    m_usedText = formatText("%1.1d Used", fix.satellitesUsed);
    if (m_ctx.state)
        m_ctx.state->usedCount.set(fix.satellitesUsed);
    if (m_ctx.display)
        m_ctx.display->setUsedText(m_usedText);
    if (m_ctx.averaging) {
        m_ctx.averaging->setTimingSatellites(fix.satellitesUsed);
        if (m_ctx.state && m_ctx.state->receiverMode == ReceiverMode::UbloxNmea)
            m_ctx.averaging->setFixQuality(fix.quality);
        if (fix.positionValid)
            m_ctx.averaging->updatePosition(fix.latitude, fix.longitude, fix.ellipsoidHeight,
                                            fix.mslHeight);
    }
    m_changes |= DecodeChange::Counts | (fix.positionValid ? DecodeChange::Position : 0);

    // Only a DGPS fix reports its correction source; the age and station fields are empty
    // on every other fix.
    if (fix.quality == 2) {
        if (fix.dgpsAge == 0.0 && fix.dgpsStation == 0)
            m_dgpsText = QStringLiteral("Receiving DGPS");
        else
            m_dgpsText = formatText("Receiving DGPS, Age %4.1f sec, Station ID \"%04d\"",
                                           fix.dgpsAge, fix.dgpsStation);
    } else {
        m_dgpsText.clear();
    }

    if (m_ctx.state) {
        if (m_ctx.gpsLog && m_ctx.state->gpsLogWriteNow && m_ctx.state->nmeaFirstOfSecond)
            m_ctx.gpsLog->writeNmeaFixLine(commonLogLine(fix));
        m_ctx.state->nmeaFirstOfSecond = false;
    }
    m_fix = fix;
}

int8_t NmeaDecoder::usedFlag(int id) const
{
    if (m_usedLists.isEmpty())
        return -1;
    for (const std::bitset<256> &list : m_usedLists) {
        if (list.test(size_t(id)))
            return 1;
    }
    return 0;
}

void NmeaDecoder::decodeGsa(const QByteArray &talker, const Fields &f)
{
    // Fields 3 ... 14: the satellites used in the fix.
    std::bitset<256> used;
    for (int i = 3; i <= 14; ++i) {
        const int id = tableIdForTalker(talker, intField(f, i));
        if (id > 0 && id < ReceiverState::SatelliteSlots)
            used.set(size_t(id));
    }
    m_usedLists[talker + ',' + f.value(18)] = used;
    if (m_ctx.state) {
        for (SatelliteRecord &r : m_ctx.state->satellites) {
            if (r.svId > 0 && r.svId < ReceiverState::SatelliteSlots)
                r.used = usedFlag(r.svId);
        }
        m_changes |= DecodeChange::Satellites;
    }

    // $--GSA,mode,fix type,12 satellite IDs,PDOP,HDOP,VDOP
    const char mode = firstChar(f, 1, ' ');
    const int fixType = intField(f, 2);
    // An empty DOP field is unknown (-1 to the engine, left out of the text), never zero.
    bool known[3] = {};
    const auto dopField = [&](int i, bool &isKnown) {
        const double v = numberField(f, i, &isKnown);
        isKnown = isKnown && !f.value(i).isEmpty();
        return isKnown ? v : -1.0;
    };
    const double pdop = dopField(15, known[0]);
    const double hdop = dopField(16, known[1]);
    const double vdop = dopField(17, known[2]);
    const int receiverMode = m_ctx.state ? m_ctx.state->receiverMode : 0;

    if (receiverMode != NmeaMode5) {
        const char am = mode == 'M' ? 'M' : 'A';
        if (fixType == 2)
            m_fixStatusText = QStringLiteral("2-D Fix (%1)").arg(QLatin1Char(am));
        else if (fixType == 3)
            m_fixStatusText = QStringLiteral("3-D Fix (%1)").arg(QLatin1Char(am));
        else
            m_fixStatusText = QStringLiteral("No Fix");
        if (m_ctx.averaging)
            m_ctx.averaging->setFixType(fixType);
    }

    if (m_ctx.averaging && m_ctx.averaging->positionHold()) {
        // In position hold the receiver's DOPs describe no solution of its own.
        m_ctx.averaging->setDops(-1.0, 0.0, 0.0, 0.0, -1.0);
        m_dopText = QStringLiteral("DOP not available (position hold)");
    } else {
        if (m_ctx.averaging)
            m_ctx.averaging->setDops(-1.0, pdop, hdop, vdop, -1.0);
        QStringList parts;
        const char *const names[] = { "PDOP = %3.1f", "HDOP = %3.1f", "VDOP = %3.1f" };
        const double values[] = { pdop, hdop, vdop };
        for (int i = 0; i < 3; ++i) {
            if (known[i])
                parts << formatText(names[i], values[i]);
        }
        m_dopText = parts.join(QLatin1String(", "));
    }
    if (m_ctx.display) {
        if (receiverMode != NmeaMode5)
            m_ctx.display->setFixStatusText(m_fixStatusText);
        m_ctx.display->setDopStatusText(m_dopText);
    }
}

void NmeaDecoder::decodeGsv(const QByteArray &talker, const Fields &f)
{
    // $--GSV,sentences,number,in view{,ID,elevation,azimuth,SNR} (up to four groups), with an
    // optional signal ID after the groups (NMEA 4.10).
    bool ok1 = false, ok2 = false, ok3 = false;
    const int sentences = intField(f, 1, &ok1);
    const int number = intField(f, 2, &ok2);
    const int inView = intField(f, 3, &ok3);
    if (!ok1 || !ok2 || !ok3)
        return;
    const qsizetype groupFields = f.size() - 4;
    if (groupFields < 0 || (groupFields % 4 != 0 && groupFields % 4 != 1))
        return;   // a group cut short: the whole sentence is dropped
    const int groups = int(qMin<qsizetype>(groupFields / 4, 4));

    const int t = talkerIndex(talker);
    if (t < 0)
        return;

    if (inView >= 0 && inView < 1000) {
        m_inView[t] = inView;
        int total = 0;
        for (int v : m_inView)
            total += v;
        m_visibleText = formatText("%1.1d Visible", total);
        if (m_ctx.state)
            m_ctx.state->visibleCount.set(total);
        m_changes |= DecodeChange::Counts;
        if (m_ctx.display)
            m_ctx.display->updateSatelliteCount();
    }

    if (number == 1)
        m_setWritten[t].reset();

    if (m_ctx.state) {
        for (int g = 0; g < groups; ++g) {
            const int base = 4 + 4 * g;
            const int id = tableIdForTalker(talker, intField(f, base));
            if (id <= 0 || id >= ReceiverState::SatelliteSlots)
                continue;   // an unfilled group writes nothing
            const int el = intField(f, base + 1);
            const int az = intField(f, base + 2);
            const int snr = intField(f, base + 3);
            SatelliteRecord &r = m_ctx.state->satellites[size_t(id)];
            r.svId = id;
            r.elevation = qBound(-90, el, 90);
            r.azimuth = qBound(-1, az, 359);
            r.cNo = qBound(0, snr, 99);
            r.inTrack = snr > 0 ? 1 : 0;
            r.trackMode = snr > 0 ? 8 : 0;   // shown as "Available" while tracked
            r.used = usedFlag(id);
            m_setWritten[t].set(size_t(id));
        }
    }

    if (number == sentences && number >= 1) {
        // Satellites of this talker that the finished set no longer lists have set.
        if (m_ctx.state) {
            const std::bitset<256> gone = m_lastSet[t] & ~m_setWritten[t];
            for (int id = 0; id < ReceiverState::SatelliteSlots; ++id) {
                if (gone.test(size_t(id)))
                    m_ctx.state->satellites[size_t(id)] = SatelliteRecord {};
            }
        }
        m_lastSet[t] = m_setWritten[t];
        m_changes |= DecodeChange::Satellites;
        if (m_ctx.display)
            m_ctx.display->updateSatelliteTable();
    }
}

void NmeaDecoder::decodeRmc(const Fields &f)
{
    // $--RMC,time,status,lat,N,lon,E,speed,course,ddmmyy,variation,E
    // An empty speed or course field reads as 0.0, like every empty numeric field.
    if (m_ctx.state)
        m_ctx.state->timeValidity = field(f, 2) == "A" ? 1 : 0;   // "V": not to be believed yet
    if (m_ctx.averaging) {
        bool ok = false;
        const double speed = numberField(f, 7, &ok);
        if (ok)
            m_ctx.averaging->setSpeedKnots(speed);
        const double course = numberField(f, 8, &ok);
        if (ok)
            m_ctx.averaging->setHeadingDegrees(course);
    }

    const int receiverMode = m_ctx.state ? m_ctx.state->receiverMode : 0;
    if (m_zdaSeen && m_rmcSinceZda < 3) {
        ++m_rmcSinceZda;   // ZDA carries the time while it keeps coming
        return;
    }
    m_zdaSeen = false;
    if (receiverMode == NmeaMode5)
        return;

    int h = 0, m = 0;
    double sec = 0.0;
    const QByteArray timeField = field(f, 1);
    const QByteArray dateField = field(f, 9, DefaultRmcDate);
    bool valid = !timeField.isEmpty() && !field(f, 9).isEmpty()
                 && scanTime(timeField, &h, &m, &sec) && h <= 23 && m <= 59;
    int day = 0, month = 0, yy = 0;
    if (valid) {
        valid = dateField.size() >= 6;
        for (int i = 0; valid && i < 6; ++i)
            valid = isDigit(dateField.at(i));
    }
    if (valid) {
        day = (dateField.at(0) - '0') * 10 + (dateField.at(1) - '0');
        month = (dateField.at(2) - '0') * 10 + (dateField.at(3) - '0');
        yy = (dateField.at(4) - '0') * 10 + (dateField.at(5) - '0');
    }
    const int year = yy >= 80 ? 1900 + yy : 2000 + yy;
    if (!valid || !storeTime(year, month, day, h, m, sec, true))
        warn(QString::fromLatin1(IllegalDateWarning));
}

void NmeaDecoder::decodeVtg(const Fields &f)
{
    // $--VTG,course true,T,course magnetic,M,speed knots,N,speed km/h,K[,mode]
    if (!m_ctx.averaging)
        return;
    bool ok = false;
    const double course = numberField(f, 1, &ok);
    if (ok && !field(f, 1).isEmpty())
        m_ctx.averaging->setHeadingDegrees(course);
    const double knots = numberField(f, 5, &ok);
    if (ok && !field(f, 5).isEmpty())
        m_ctx.averaging->setSpeedKnots(knots);
}

void NmeaDecoder::decodePgrmt(const Fields &f)
{
    // $PGRMT,product,ROM,receiver,stored data,clock,oscillator,data collection,temperature,...
    if (m_ctx.state)
        m_ctx.state->setAnswered(AnswerFamily::Garmin);
    static const char *const labels[] = {
        "ROM checksum test (P=pass, F=fail) = ",
        "Receiver failure? (P=pass, F=fail) = ",
        "Stored Data (L=lost, R=retained) = ",
        "Real time clock (L=lost, R=retained) = ",
        "Oscillator drift (P=pass, F=fail) = ",
        "Data collection (C = collecting) = ",
        "Board temperature (degrees C) = ",
    };
    if (!wantTexts())
        return;
    QString out;
    for (int i = 0; i < 7; ++i)
        out += QLatin1String(labels[i]) + text(f, 2 + i) + QLatin1Char('\n');
    m_displayText = out;
}

void NmeaDecoder::decodePgrmi(const Fields &f)
{
    // $PGRMI,lat,N,lon,E,ddmmyy,hhmmss,receiver command
    if (m_ctx.state)
        m_ctx.state->setAnswered(AnswerFamily::Garmin);
    if (!wantTexts())
        return;
    const QString lat = text(f, 1, DefaultLatitude);
    const QString lon = text(f, 3, DefaultLongitude);
    const QString date = text(f, 5, "000000");
    const QString time = text(f, 6, "000000");
    QString out = QStringLiteral("$PRGMI Initialization Message:\n");
    out += QStringLiteral("  Latitude = ") + lat.left(2) + QStringLiteral(" deg  ") + lat.mid(2)
           + QStringLiteral(" min ") + text(f, 2) + QLatin1Char('\n');
    out += QStringLiteral("  Longitude = ") + lon.left(3) + QStringLiteral(" deg  ") + lon.mid(3)
           + QStringLiteral(" min ") + text(f, 4) + QLatin1Char('\n');
    out += QStringLiteral("  Day = ") + date.mid(0, 2) + QStringLiteral(", Month = ")
           + date.mid(2, 2) + QStringLiteral(", Year = ") + date.mid(4, 2) + QLatin1Char('\n');
    out += QStringLiteral("  Hour = ") + time.mid(0, 2) + QStringLiteral(", Minute = ")
           + time.mid(2, 2) + QStringLiteral(", Second = ") + time.mid(4, 2) + QLatin1Char('\n');
    out += QStringLiteral("  Acq Reset = ") + text(f, 7) + QLatin1Char('\n');
    m_displayText = out;
}

void NmeaDecoder::decodePgrmc(const Fields &f)
{
    if (m_ctx.state)
        m_ctx.state->setAnswered(AnswerFamily::Garmin);
    static const char *const labels[] = {
        "  Fix Mode = ",
        "  Altitude (MSL) = ",
        "  Earth Datum Index = ",
        "  Semi-major axis = ",
        "  Inverse Flattening factor = ",
        "  Delta-X = ",
        "  Delta-Y = ",
        "  Delta-Z = ",
        "  Differential Mode = ",
        "  Baud Rate = ",
        "  Velocity Filter = ",
        "  Null field = ",
    };
    if (!wantTexts())
        return;
    QString out = QStringLiteral("$PGRMC Configuration Message:\n");
    for (int i = 0; i < 12; ++i) {
        out += QLatin1String(labels[i]) + text(f, 1 + i);
        out += (i == 1 || i == 3) ? QStringLiteral(" meters\n") : QStringLiteral("\n");
    }
    m_displayText = out;
}

void NmeaDecoder::decodePgrmo(const Fields &f)
{
    // $PGRMO,target sentence,mode
    if (m_ctx.state)
        m_ctx.state->setAnswered(AnswerFamily::Garmin);
    if (!wantTexts())
        return;
    const QString target = field(f, 1).isEmpty() ? QStringLiteral("NONE") : text(f, 1);
    m_displayText = QStringLiteral("$PGRMO: Target Sentence = ") + target + QStringLiteral(", ")
                    + QStringLiteral("  Mode = ") + text(f, 2);
}

QString NmeaDecoder::commonLogLine(const NmeaGgaFix &fix)
{
    QString line = formatText("%02d,%02d,%05.2f,", fix.hours, fix.minutes, fix.seconds);
    appendText(line, "%02d,%06.6f,", fix.latDegrees, fix.latMinutes);
    line += QLatin1Char(fix.latHemisphere);
    line += QLatin1Char(',');
    appendText(line, "%02d,%06.6f,", fix.lonDegrees, fix.lonMinutes);
    line += QLatin1Char(fix.lonHemisphere);
    line += QLatin1Char(',');
    appendText(line, "%d,%02d,%.1f,%.1f,", fix.quality, fix.satellitesUsed, fix.hdop,
                              fix.mslHeight);
    line += fix.altitudeUnit + QLatin1Char(',');
    appendText(line, "%.1f,", fix.geoidSeparation);
    line += fix.geoidUnit + QLatin1Char(',');
    line += fix.dgpsAgeField.isEmpty() ? QString() : formatText("%.1f", fix.dgpsAge);
    line += QLatin1Char(',');
    line += fix.dgpsStationField.isEmpty() ? QString() : formatText("%04d", fix.dgpsStation);
    return line;
}
