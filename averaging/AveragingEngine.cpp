#include "averaging/AveragingEngine.h"

#include "core/ReceiverState.h"
#include "core/Settings.h"

#include <QLocale>
#include <QRegularExpression>
#include <QSettings>
#include <QtDebug>
#include <algorithm>
#include <cmath>

namespace {

const QString kPositionLimitKey = QStringLiteral("GpsNavDialog/Averaging Data/Position Weight Limit");
const QString kRmsLimitKey = QStringLiteral("GpsNavDialog/Averaging Data/RMS Weight Limit");
const QString kTimingLimitKey = QStringLiteral("GpsNavDialog/Averaging Data/Timing Weight Limit");
const QString kUseDopKey = QStringLiteral("GpsNavDialog/Averaging Data/Use DOP Weighting");
const QString kHdopKey = QStringLiteral("GpsNavDialog/Averaging Data/HDOP Weight");
const QString kVdopKey = QStringLiteral("GpsNavDialog/Averaging Data/VDOP Weight");
const QString kTdopKey = QStringLiteral("GpsNavDialog/Averaging Data/TDOP Weight");
const QString kRestartOnUnlockKey = QStringLiteral("GpsNavDialog/Averaging Data/Restart Averages On Unlock");
const QString kContinueKey = QStringLiteral("GpsNavDialog/Averaging Data/Restart Averages On Startup");
const QString kAvgPositionKey = QStringLiteral("GpsNavDialog/Averaging Data/Averages - Position");
const QString kAvgWeightsKey = QStringLiteral("GpsNavDialog/Averaging Data/Averages - Weights");
const QString kRefLatKey = QStringLiteral("GpsNavDialog/RefLocation/Latitude");
const QString kRefLonKey = QStringLiteral("GpsNavDialog/RefLocation/Longitude");
const QString kRefAltGpsKey = QStringLiteral("GpsNavDialog/RefLocation/GPS Altitude");
const QString kRefAltMslKey = QStringLiteral("GpsNavDialog/RefLocation/MSL Altitude");
const QString kRefOnStartKey = QStringLiteral("GpsNavDialog/RefLocation/Ref_Loc_On_Start");

// Mean-square keys in the order of the Quantity enum.
QString meanSquareKey(int quantity)
{
    static const char *const names[AveragingEngine::QuantityCount] = { "Lat", "Lng", "2D", "Alt", "Msl" };
    return QStringLiteral("GpsNavDialog/Averaging Data/Averages - RMS ") + QLatin1String(names[quantity]);
}

constexpr double kAngleFactor = 0.0174533;   // degrees to radians as the station has always used
constexpr double kMaxMeanSquare = 1e10;
constexpr int kDegreeSign = 0xB0;

QString fmtLimit(double v) { return QString::asprintf("%08.1f", v); }
QString fmtWeight(double v) { return QString::asprintf("%04.1f", v); }
QString fmtPrecise(double v) { return QString::asprintf("%018.16f", v); }



// Keeps any double usable as a position in integer arithmetic and printf.
double finiteOrZero(double v) { return std::isfinite(v) ? v : 0.0; }

// Degrees with a sign that survives a zero whole part ("-00" for -0.5 degrees).
QString signedDegrees(qint64 absDegrees, bool negative, int width)
{
    QString s = QString::asprintf("%.2lld", absDegrees);
    if (negative)
        s.prepend(QLatin1Char('-'));
    return s.rightJustified(width, QLatin1Char(' '));
}

// Splits |v| into whole degrees and minutes rounded to `scale` parts of a minute, so that
// 59.999999' never shows as 60'.
void degreesMinutes(double v, qint64 scale, qint64 &deg, double &minutes)
{
    const double a = std::min(std::fabs(finiteOrZero(v)), 1000.0);
    const qint64 total = std::llround(a * 60.0 * double(scale));
    deg = total / (60 * scale);
    minutes = double(total % (60 * scale)) / double(scale);
}

void degreesMinutesSeconds(double v, qint64 scale, qint64 &deg, int &minutes, double &seconds)
{
    const double a = std::min(std::fabs(finiteOrZero(v)), 1000.0);
    const qint64 total = std::llround(a * 3600.0 * double(scale));
    deg = total / (3600 * scale);
    const qint64 rem = total % (3600 * scale);
    minutes = int(rem / (60 * scale));
    seconds = double(rem % (60 * scale)) / double(scale);
}

inline double weightOf(bool useWeighting, double weightingValue, double dop)
{
    if (!useWeighting || !(dop > 0.0) || !std::isfinite(dop))
        return 1.0;
    const double r = weightingValue / dop;
    return r * r;
}

// The weighted running update: the sample takes all the weight when its weight exceeds the
// counter (and always when the counter is not positive, so nothing ever divides by zero).
inline double update(double value, double x, double n, double w)
{
    if (w <= n && n > 0.0)
        return ((n - w) * value + w * x) / n;
    return x;
}

// The same with the counter's reciprocal computed once for all averages of that counter.
inline double update(double value, double x, double n, double invN, double w)
{
    if (w <= n && n > 0.0)
        return ((n - w) * value + w * x) * invN;
    return x;
}

inline double advance(double n, double limit)
{
    n = (n < limit) ? n + 1.0 : limit;
    return std::min(n, AveragingEngine::CounterCeiling);
}

// A weight or limit keeps its value when handed a NaN or an infinity.
void keepIfFinite(double &field, double v)
{
    if (std::isfinite(v))
        field = v;
}

} // namespace

AveragingEngine::AveragingEngine(QObject *parent)
    : QObject(parent)
{
    m_metresPerDegLon = std::cos(m_ref.lat * kAngleFactor) * MetresPerDegLat;
}

// ---------------------------------------------------------------------------------------------
// arithmetic

double AveragingEngine::dopWeight(bool useWeighting, double weightingValue, double dop)
{
    return weightOf(useWeighting, weightingValue, dop);
}

double AveragingEngine::weightedUpdate(double value, double x, double n, double w)
{
    return update(value, x, n, w);
}

double AveragingEngine::advanceCounter(double n, double limit)
{
    return advance(n, limit);
}

double AveragingEngine::computeTsigma(double sumSquares, int satellites, int gpsMode)
{
    const int unknowns = gpsMode == 0 ? 4 : gpsMode == 1 ? 3 : 1;
    const double dof = satellites > unknowns ? double(satellites - unknowns) + 0.5 : 0.5;
    return std::sqrt(sumSquares * unknowns / dof);
}

bool AveragingEngine::takeNumber(QString &text, double &value)
{
    static const QRegularExpression number(
        QStringLiteral("(^|[ \\t])([-+]?([0-9]+\\.[0-9]*|\\.[0-9]+|[0-9]+))"));
    text = text.trimmed();
    const QRegularExpressionMatch m = number.match(text);
    if (!m.hasMatch()) {
        value = 0.0;
        return false;
    }
    value = m.captured(2).toDouble();
    text.remove(0, m.capturedEnd(0));
    return true;
}

// ---------------------------------------------------------------------------------------------
// inputs

void AveragingEngine::setDops(double gdop, double pdop, double hdop, double vdop, double tdop)
{
    if (gdop >= 0.0)
        m_gdop = gdop;
    if (pdop >= 0.0)
        m_pdop = pdop;
    if (hdop >= 0.0)
        m_hdop = hdop;
    if (vdop >= 0.0)
        m_vdop = vdop;
    if (tdop >= 0.0)
        m_tdop = tdop;
}

void AveragingEngine::setTimingSatellites(int count)
{
    if (count >= 0)
        m_timingSatellites = count;
}

void AveragingEngine::setSpeedKnots(double knots)
{
    if (knots >= 0.0)
        m_speedKnots = knots;
}

void AveragingEngine::setHeadingDegrees(double degrees)
{
    if (degrees >= 0.0)
        m_headingDegrees = degrees;
}

void AveragingEngine::setFixQuality(int quality)
{
    if (quality >= -1)
        m_fixQuality = quality;
}

double AveragingEngine::setTimingErrorTerms(double a, double b)
{
    m_timingErrorA = a;
    m_timingErrorB = b;
    m_timingErrorSumSquares = a * a + b * b;
    return m_timingErrorSumSquares;
}

void AveragingEngine::setHdopWeight(double v) { keepIfFinite(m_hdopWeight, v); }
void AveragingEngine::setVdopWeight(double v) { keepIfFinite(m_vdopWeight, v); }
void AveragingEngine::setTdopWeight(double v) { keepIfFinite(m_tdopWeight, v); }
void AveragingEngine::setPositionWeightLimit(double v) { keepIfFinite(m_positionWeightLimit, v); }
void AveragingEngine::setRmsWeightLimit(double v) { keepIfFinite(m_rmsWeightLimit, v); }
void AveragingEngine::setTimingWeightLimit(double v) { keepIfFinite(m_timingWeightLimit, v); }

// ---------------------------------------------------------------------------------------------
// the averaging pass

void AveragingEngine::updatePosition(double lat, double lon, double altGps, double altMsl)
{
    runPass(lat, lon, altGps, altMsl, m_gpsMode);
}

QString AveragingEngine::updatePosition(double lat, double lon, double altGps, double altMsl, int gpsMode)
{
    runPass(lat, lon, altGps, altMsl, gpsMode);
    return gridLocator();
}

void AveragingEngine::runPass(double lat, double lon, double altGps, double altMsl, int gpsMode)
{
    // A position that is not a number would poison every average for good: drop it.
    if (!std::isfinite(lat) || !std::isfinite(lon) || !std::isfinite(altGps) || !std::isfinite(altMsl))
        return;
    m_cur = { lat, lon, altGps, altMsl };
    if (m_refSource == RefSource::FirstFix)
        setRunReference(m_cur);
    averagingPass(gpsMode);
}

void AveragingEngine::averagingPass(int gpsMode)
{
    if (!m_timingLocked) {
        // Only a real loss of lock restarts the averages: the unlocked passes before the first
        // lock after start-up must not throw away averages continued from the last run.
        if (m_unlockResetDue && m_restartOnUnlock && !m_seedPending)
            resetAllAverages();
        m_unlockResetDue = false;
        if (!m_unlockedTextShown) {
            m_unlockedTextShown = true;
            setTimingText(TimingText::NoSolution);
        }
        return;
    }
    m_unlockedTextShown = false;
    m_unlockResetDue = false;

    timingPart(gpsMode);

    if (m_seedPending) {
        m_avg = m_cur;
        m_seedPending = false;
    }

    const bool fix = m_fixType == 2 || m_fixType == 3;
    if (fix || m_positionPassActive) {
        positionPart();
        if (!fix)
            qDebug("Averaging just stopped with one pass after Nav set to 0D\n");
        m_positionPassActive = fix;
    }
    Q_EMIT averagesChanged();
}

void AveragingEngine::timingPart(int gpsMode)
{
    m_timingCount = advance(m_timingCount, m_timingWeightLimit);

    if (m_timingSatellites < 1) {
        setTimingText(TimingText::Empty);
        return;
    }
    // The estimate only changes with the satellite count, the mode or the error terms.
    if (m_timingSatellites != m_tsigmaKey.satellites || gpsMode != m_tsigmaKey.gpsMode
        || m_timingErrorSumSquares != m_tsigmaKey.sumSquares) {
        m_tsigmaKey = { m_timingErrorSumSquares, m_timingSatellites, gpsMode };
        m_tsigmaKey.value = computeTsigma(m_timingErrorSumSquares, m_timingSatellites, gpsMode);
    }
    m_tsigma = m_tsigmaKey.value;
    m_tsigmaAvg = update(m_tsigmaAvg, m_tsigma, m_timingCount, weightOf(m_useDopWeighting, m_tdopWeight, m_tdop));
    m_tsigmaMax = m_tsigmaMax <= 0.0 ? m_tsigma : std::max(m_tsigmaMax, m_tsigma);
    if (!(m_tsigmaMin > 0.0 && m_tsigmaMin <= m_tsigma))
        m_tsigmaMin = m_tsigma;
    m_timingTextValues = { m_tsigma, m_tsigmaMax, m_tsigmaAvg, m_tsigmaMin };
    setTimingText(TimingText::Tsigma);
}

inline void AveragingEngine::setHorizontalTerms(double avgLat, double avgLon)
{
    m_terms[RefAvg][Lat] = MetresPerDegLat * (m_ref.lat - avgLat);
    m_terms[AvgCur][Lat] = MetresPerDegLat * (avgLat - m_cur.lat);
    m_terms[RefCur][Lat] = MetresPerDegLat * (m_ref.lat - m_cur.lat);
    m_terms[RefAvg][Lon] = m_metresPerDegLon * (m_ref.lon - avgLon);
    m_terms[AvgCur][Lon] = m_metresPerDegLon * (avgLon - m_cur.lon);
    m_terms[RefCur][Lon] = m_metresPerDegLon * (m_ref.lon - m_cur.lon);
}

inline void AveragingEngine::setAltitudeTerms(double avgAltGps, double avgAltMsl)
{
    m_terms[RefAvg][AltGps] = m_ref.altGps - avgAltGps;
    m_terms[AvgCur][AltGps] = avgAltGps - m_cur.altGps;
    m_terms[RefCur][AltGps] = m_ref.altGps - m_cur.altGps;
    m_terms[RefAvg][AltMsl] = m_ref.altMsl - avgAltMsl;
    m_terms[AvgCur][AltMsl] = avgAltMsl - m_cur.altMsl;
    m_terms[RefCur][AltMsl] = m_ref.altMsl - m_cur.altMsl;
}

void AveragingEngine::positionPart()
{
    // Per pass: one reciprocal per counter instead of a division per average, and no square
    // roots at all (the RMS values and the 2-D terms are taken when they are read).
    const bool threeD = m_fixType == 3;
    m_positionCount = advance(m_positionCount, m_positionWeightLimit);
    if (threeD)
        m_altitudeCount = advance(m_altitudeCount, m_positionWeightLimit);
    m_rmsCount = advance(m_rmsCount, m_rmsWeightLimit);
    const double nRms = m_rmsCount;
    const double invRms = 1.0 / nRms;

    const double wH = weightOf(m_useDopWeighting, m_hdopWeight, m_hdop);
    const double nPos = m_positionCount;
    const double invPos = 1.0 / nPos;
    const double avgLat = update(m_avg.lat, m_cur.lat, nPos, invPos, wH);
    const double avgLon = update(m_avg.lon, m_cur.lon, nPos, invPos, wH);
    m_avg.lat = avgLat;
    m_avg.lon = avgLon;
    setHorizontalTerms(avgLat, avgLon);

    const double wLatLon = std::min(wH, nPos);
    for (int k = 0; k < KindCount; ++k) {
        const double lat2 = m_terms[k][Lat] * m_terms[k][Lat];
        const double lon2 = m_terms[k][Lon] * m_terms[k][Lon];
        m_meanSquares[k][Lat] = update(m_meanSquares[k][Lat], lat2, nRms, invRms, wLatLon);
        m_meanSquares[k][Lon] = update(m_meanSquares[k][Lon], lon2, nRms, invRms, wLatLon);
        m_meanSquares[k][TwoD] = update(m_meanSquares[k][TwoD], lat2 + lon2, nRms, invRms, 1.0);
    }

    if (threeD) {
        const double wV = weightOf(m_useDopWeighting, m_vdopWeight, m_vdop);
        const double nAlt = m_altitudeCount;
        const double invAlt = 1.0 / nAlt;
        const double avgAltGps = update(m_avg.altGps, m_cur.altGps, nAlt, invAlt, wV);
        const double avgAltMsl = update(m_avg.altMsl, m_cur.altMsl, nAlt, invAlt, wV);
        m_avg.altGps = avgAltGps;
        m_avg.altMsl = avgAltMsl;
        setAltitudeTerms(avgAltGps, avgAltMsl);
        const double wAlt = std::min(wV, nAlt);
        for (int k = 0; k < KindCount; ++k) {
            for (int q : { AltGps, AltMsl })
                m_meanSquares[k][q] = update(m_meanSquares[k][q], m_terms[k][q] * m_terms[k][q], nRms, invRms, wAlt);
        }
    }
}

double AveragingEngine::term(DifferenceKind k, Quantity q) const
{
    if (q == TwoD)
        return std::sqrt(m_terms[k][Lat] * m_terms[k][Lat] + m_terms[k][Lon] * m_terms[k][Lon]);
    return m_terms[k][q];
}

double AveragingEngine::rmsValue(DifferenceKind k, Quantity q) const
{
    return std::sqrt(m_meanSquares[k][q]);
}

void AveragingEngine::setTimingText(TimingText kind)
{
    m_timingText = kind;
    m_timingTextStale = true;
    // A locked pass announces itself with averagesChanged(); only the unlocked pass tells here.
    if (kind == TimingText::NoSolution)
        Q_EMIT timingStatusChanged();
}

QString AveragingEngine::timingStatusText() const
{
    if (m_timingTextStale) {
        m_timingTextStale = false;
        switch (m_timingText) {
        case TimingText::Empty: m_timingStatusText.clear(); break;
        case TimingText::NoSolution:
            m_timingStatusText = QStringLiteral("No Timing Solution. Not enough satellites tracked.");
            break;
        case TimingText::Tsigma:
            m_timingStatusText = QString::asprintf("Tsigma %03.0f nsec (max %3.0f, average %3.0f, min %3.0f)",
                                                   m_timingTextValues[0], m_timingTextValues[1],
                                                   m_timingTextValues[2], m_timingTextValues[3]);
            break;
        }
    }
    return m_timingStatusText;
}

// ---------------------------------------------------------------------------------------------
// lock status

bool AveragingEngine::updateLockStatus(int gpsMode, const QDateTime &utcNow)
{
    m_gpsMode = gpsMode;
    const bool lost = (gpsMode < 2 && m_timingSatellites < 3) || (gpsMode == 2 && m_timingSatellites < 1);
    if (m_timingLocked && lost) {
        ++m_unlockCount;
        m_timingLocked = false;
        m_unlockResetDue = true;
        m_lockedSinceText.clear();
        Q_EMIT lockStatusChanged(false, m_unlockCount, m_lockedSinceText);
    } else if (!m_timingLocked && !lost) {
        m_timingLocked = true;
        m_lockedSinceText = QLocale::c().toString(utcNow.toUTC(), QStringLiteral("dd-MMM-yyyy HH:mm:ss"))
            + QStringLiteral(" UTC");
        Q_EMIT lockStatusChanged(true, m_unlockCount, m_lockedSinceText);
    }
    return m_timingLocked;
}

// ---------------------------------------------------------------------------------------------
// resets

void AveragingEngine::resetAllAverages()
{
    ++m_resets;
    // The unlock counter survives: a restart on unlock must not wipe the count of the unlock
    // that caused it. Only its own reset button clears it.
    m_avg = m_cur;
    m_terms = {};
    m_meanSquares = {};
    m_positionCount = m_altitudeCount = m_rmsCount = m_timingCount = 1.0;
    m_tsigma = m_tsigmaMax = m_tsigmaMin = -1.0;
    m_tsigmaAvg = 0.0;
    m_seedPending = true;
    applyDopSwitchOff();
    Q_EMIT countersChanged();
    Q_EMIT averagesChanged();
}

void AveragingEngine::applyDopSwitchOff()
{
    bool available = true;
    if (m_receiverState) {
        const int mode = m_receiverState->receiverMode;
        if ((mode == ReceiverMode::MotorolaBinary || mode == ReceiverMode::MotorolaBinaryRxOnly)
            && m_receiverState->receiverModel != ReceiverModelCode::VP)
            available = false;
    }
    if (!available)
        m_useDopWeighting = false;
    if (available != m_dopWeightingAvailable) {
        m_dopWeightingAvailable = available;
        Q_EMIT dopWeightingAvailabilityChanged(available);
    }
}

void AveragingEngine::resetPositionFilter()
{
    ++m_resets;
    m_positionCount = m_altitudeCount = 1.0;
    m_avg = m_cur;
    Q_EMIT countersChanged();
    Q_EMIT averagesChanged();
}

void AveragingEngine::resetRmsFilter()
{
    ++m_resets;
    m_rmsCount = 1.0;
    Q_EMIT countersChanged();
}

void AveragingEngine::resetTimingFilter()
{
    ++m_resets;
    m_timingCount = 1.0;
    m_tsigmaAvg = m_tsigmaMax = m_tsigmaMin = m_tsigma;
    Q_EMIT countersChanged();
}

void AveragingEngine::resetAllFilters()
{
    resetPositionFilter();
    resetRmsFilter();
    resetTimingFilter();
}

void AveragingEngine::resetUnlockCounter()
{
    m_unlockCount = 0;
    Q_EMIT countersChanged();
    Q_EMIT lockStatusChanged(m_timingLocked, m_unlockCount, m_lockedSinceText);
}

// ---------------------------------------------------------------------------------------------
// reference location

void AveragingEngine::setReferenceLocation(double lat, double lon, double altGps, double altMsl)
{
    if (lon == -180.0)
        lon = 180.0;   // the stored form: -180 would be repaired to 0 at the next start
    m_ref = { lat, lon, altGps, altMsl };
    m_metresPerDegLon = std::cos(lat * kAngleFactor) * MetresPerDegLat;
    m_referenceSetByUser = true;
    m_refSource = RefSource::Store;
    {
        QSettings settings;
        saveReferenceLocation(settings);
    }
    Q_EMIT referenceLocationChanged();
}

void AveragingEngine::setRunReference(const StationPosition &p)
{
    m_ref = p;
    if (m_ref.lon == -180.0)
        m_ref.lon = 180.0;
    m_metresPerDegLon = std::cos(m_ref.lat * kAngleFactor) * MetresPerDegLat;
    m_refSource = RefSource::Run;
    Q_EMIT referenceLocationChanged();
}

void AveragingEngine::saveReferenceLocation(QSettings &s) const
{
    // A run's own reference (the first position) never replaces the stored one.
    if (m_refSource == RefSource::Store) {
        s.setValue(kRefLatKey, fmtPrecise(m_ref.lat));
        s.setValue(kRefLonKey, fmtPrecise(m_ref.lon));
        s.setValue(kRefAltGpsKey, fmtPrecise(m_ref.altGps));
        s.setValue(kRefAltMslKey, fmtPrecise(m_ref.altMsl));
    }
    s.setValue(kRefOnStartKey, m_refLocOnStart);
    s.setValue(kRestartOnUnlockKey, m_restartOnUnlock);
    s.setValue(kContinueKey, m_continueOnRestart);
}

void AveragingEngine::setReferenceToAverage()
{
    setReferenceLocation(m_avg.lat, m_avg.lon, m_avg.altGps, m_avg.altMsl);
}

void AveragingEngine::setReferenceToCurrent()
{
    setReferenceLocation(m_cur.lat, m_cur.lon, m_cur.altGps, m_cur.altMsl);
}

// ---------------------------------------------------------------------------------------------
// settings

void AveragingEngine::startUp(QSettings &settings)
{
    loadSettings(settings);
    if (!m_refLocOnStart) {
        // The stored reference stays in the store for a later start with the flag set.
        m_refSource = RefSource::FirstFix;
        m_referenceSetByUser = false;
    }
    if (!m_continueOnRestart)
        resetAllAverages();
    setTimingErrorTerms(500.0, 500.0);
    m_timingSatellites = -1;
    m_fixQuality = -1;
}

void AveragingEngine::reloadSettings(QSettings &settings)
{
    loadSettings(settings);
    if (!m_continueOnRestart)
        resetAllAverages();
}

void AveragingEngine::loadSettings(QSettings &s)
{
    const auto limitOk = [](double v) { return v >= 1.0 && v <= CounterCeiling; };
    const auto weightOk = [](double v) { return v >= 0.0 && v <= 99.0; };
    m_positionWeightLimit = Settings::readTextNumber(s, kPositionLimitKey, DefaultPositionWeightLimit,
                                           DefaultPositionWeightLimit, limitOk, fmtLimit);
    m_rmsWeightLimit = Settings::readTextNumber(s, kRmsLimitKey, DefaultRmsWeightLimit, DefaultRmsWeightLimit,
                                      limitOk, fmtLimit);
    m_timingWeightLimit = Settings::readTextNumber(s, kTimingLimitKey, DefaultTimingWeightLimit,
                                         DefaultTimingWeightLimit, limitOk, fmtLimit);
    m_useDopWeighting = Settings::readBool(s, kUseDopKey, true);
    m_hdopWeight = Settings::readTextNumber(s, kHdopKey, DefaultHdopWeight, DefaultHdopWeight, weightOk, fmtWeight);
    m_vdopWeight = Settings::readTextNumber(s, kVdopKey, DefaultVdopWeight, DefaultVdopWeight, weightOk, fmtWeight);
    m_tdopWeight = Settings::readTextNumber(s, kTdopKey, DefaultTdopWeight, DefaultTdopWeight, weightOk, fmtWeight);
    m_restartOnUnlock = Settings::readBool(s, kRestartOnUnlockKey, true);
    m_continueOnRestart = Settings::readBool(s, kContinueKey, false);

    const StationPosition runReference = m_ref;
    loadReferenceLocation(s);
    m_refLocOnStart = Settings::readBool(s, kRefOnStartKey, true);
    if (m_refSource != RefSource::Store) {
        // A reload (receiver initialisation) keeps the reference of a run started without the
        // stored one.
        m_ref = runReference;
    } else {
        // The defaults written back above look the same as an untouched store at the next start.
        m_referenceSetByUser = m_ref.lat != DefaultRefLat || m_ref.lon != DefaultRefLon
            || m_ref.altGps != DefaultRefAltGps || m_ref.altMsl != DefaultRefAltMsl;
    }
    m_metresPerDegLon = std::cos(m_ref.lat * kAngleFactor) * MetresPerDegLat;

    loadSavedAverages(s);
    applyDopSwitchOff();
}

void AveragingEngine::loadReferenceLocation(QSettings &s)
{
    // The four values belong together: all of them as stored, or, when any is missing,
    // unreadable or out of range, all four defaults. Half a position is a wrong position.
    const QString keys[4] = { kRefLatKey, kRefLonKey, kRefAltGpsKey, kRefAltMslKey };
    const double defaults[4] = { DefaultRefLat, DefaultRefLon, DefaultRefAltGps, DefaultRefAltMsl };
    double v[4];
    int present = 0;
    bool sound = true;
    for (int i = 0; i < 4; ++i) {
        if (!s.contains(keys[i])) {
            sound = false;
            continue;
        }
        ++present;
        bool ok = false;
        v[i] = s.value(keys[i]).toString().trimmed().toDouble(&ok);
        sound = sound && ok && std::isfinite(v[i]);
    }
    sound = sound && v[0] >= -90.0 && v[0] <= 90.0 && v[1] > -180.0 && v[1] <= 180.0 && v[2] >= -1000.0
        && v[3] >= -1000.0;
    if (!sound) {
        if (present > 0)
            Settings::addNotice(QStringLiteral("The stored reference position was incomplete or out of range; the "
                                               "default reference position is used."));
        for (int i = 0; i < 4; ++i) {
            v[i] = defaults[i];
            s.setValue(keys[i], fmtPrecise(v[i]));
        }
    }
    m_ref = { v[0], v[1], v[2], v[3] };
}

void AveragingEngine::loadSavedAverages(QSettings &s)
{
    QString text = s.value(kAvgPositionKey).toString();
    double v[4];
    bool ok = true;
    for (double &x : v)
        ok = takeNumber(text, x) && ok;
    ok = ok && std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]) && std::isfinite(v[3]);
    if (!ok || v[0] < -90.0 || v[0] > 90.0 || v[1] < -180.0 || v[1] > 180.0) {
        m_seedPending = true;
    } else {
        m_avg = { v[0], v[1], v[2], v[3] };
        m_seedPending = false;
    }

    // Counters: anything unusable restarts that counter.
    text = s.value(kAvgWeightsKey).toString();
    double *counters[4] = { &m_positionCount, &m_altitudeCount, &m_rmsCount, &m_timingCount };
    for (double *c : counters) {
        double x = 0.0;
        takeNumber(text, x);
        *c = (std::isfinite(x) && x >= 1.0) ? std::min(x, CounterCeiling) : 1.0;
    }

    for (int q = 0; q < QuantityCount; ++q) {
        const QString key = meanSquareKey(q);
        text = s.value(key).toString();
        bool repaired = false;
        for (int k = 0; k < KindCount; ++k) {
            double x = 0.0;
            const bool got = takeNumber(text, x);
            if (!got || !std::isfinite(x) || x < 0.0 || x > kMaxMeanSquare) {
                x = 0.0;
                repaired = true;
            }
            m_meanSquares[k][q] = x;
        }
        if (repaired && s.contains(key))
            s.setValue(key, QStringLiteral("%1 %2 %3").arg(fmtPrecise(m_meanSquares[RefAvg][q]),
                                                           fmtPrecise(m_meanSquares[AvgCur][q]),
                                                           fmtPrecise(m_meanSquares[RefCur][q])));
    }
}

void AveragingEngine::saveSettings(QSettings &s) const
{
    s.setValue(kPositionLimitKey, fmtLimit(m_positionWeightLimit));
    s.setValue(kRmsLimitKey, fmtLimit(m_rmsWeightLimit));
    s.setValue(kTimingLimitKey, fmtLimit(m_timingWeightLimit));
    s.setValue(kUseDopKey, m_useDopWeighting);
    s.setValue(kHdopKey, fmtWeight(m_hdopWeight));
    s.setValue(kVdopKey, fmtWeight(m_vdopWeight));
    s.setValue(kTdopKey, fmtWeight(m_tdopWeight));
    saveReferenceLocation(s);
    saveAverages(s);
}

void AveragingEngine::saveAverages(QSettings &s) const
{
    s.setValue(kAvgPositionKey, QStringLiteral("%1 %2 %3 %4").arg(fmtPrecise(m_avg.lat), fmtPrecise(m_avg.lon),
                                                                fmtPrecise(m_avg.altGps), fmtPrecise(m_avg.altMsl)));
    s.setValue(kAvgWeightsKey, QStringLiteral("%1 %2 %3 %4").arg(fmtPrecise(m_positionCount),
                                                               fmtPrecise(m_altitudeCount),
                                                               fmtPrecise(m_rmsCount), fmtPrecise(m_timingCount)));
    for (int q = 0; q < QuantityCount; ++q)
        s.setValue(meanSquareKey(q), QStringLiteral("%1 %2 %3").arg(fmtPrecise(m_meanSquares[RefAvg][q]),
                                                                    fmtPrecise(m_meanSquares[AvgCur][q]),
                                                                    fmtPrecise(m_meanSquares[RefCur][q])));
}

// ---------------------------------------------------------------------------------------------
// texts

QString AveragingEngine::dopText() const
{
    const double dops[5] = { m_gdop, m_pdop, m_hdop, m_vdop, m_tdop };
    static const char *const formats[5] = { "G=%03.1f ", "P=%03.1f ", "H=%03.1f ", "V=%03.1f ", "T=%03.1f " };
    QString text;
    for (int i = 0; i < 5; ++i) {
        if (dops[i] > 0.0)
            text += QString::asprintf(formats[i], dops[i]);
    }
    if (!text.isEmpty())
        text.prepend(QStringLiteral("DOPs: "));
    return text;
}

QString AveragingEngine::positionText(Which which, int mode) const
{
    switch (which) {
    case Which::Current: return formatPosition(m_cur, mode);
    case Which::Averaged:
        // Before the first averaging pass there is no average: unknown, not 0 N 0 E.
        if (m_seedPending)
            return mode <= 2 ? QStringLiteral("--<br>--<br>--<br>--") : QString();
        return formatPosition(m_avg, mode);
    case Which::Reference: return formatPosition(m_ref, mode);
    }
    return QString();
}

QString AveragingEngine::formatPosition(const StationPosition &p, int mode)
{
    const double lat = finiteOrZero(p.lat);
    const double lon = finiteOrZero(p.lon);
    const double altGps = finiteOrZero(p.altGps);
    const double altMsl = finiteOrZero(p.altMsl);
    const QString deg = QString(QChar(kDegreeSign));

    switch (mode) {
    case 1: {
        qint64 latDeg, lonDeg;
        double latMin, lonMin;
        degreesMinutes(lat, 100000, latDeg, latMin);
        degreesMinutes(lon, 100000, lonDeg, lonMin);
        const bool latNeg = lat < 0.0 && (latDeg > 0 || latMin > 0.0);
        const bool lonNeg = lon < 0.0 && (lonDeg > 0 || lonMin > 0.0);
        return signedDegrees(latDeg, latNeg, 2) + deg + QString::asprintf(" %8.5f'<br>", latMin)
            + signedDegrees(lonDeg, lonNeg, 4) + deg
            + QString::asprintf(" %8.5f'<br>%8.0fm<br>%8.0fm", lonMin, altGps, altMsl);
    }
    case 2: {
        qint64 latDeg, lonDeg;
        int latMin, lonMin;
        double latSec, lonSec;
        degreesMinutesSeconds(lat, 10000, latDeg, latMin, latSec);
        degreesMinutesSeconds(lon, 10000, lonDeg, lonMin, lonSec);
        const bool latNeg = lat < 0.0 && (latDeg > 0 || latMin > 0 || latSec > 0.0);
        const bool lonNeg = lon < 0.0 && (lonDeg > 0 || lonMin > 0 || lonSec > 0.0);
        return signedDegrees(latDeg, latNeg, 2) + deg + QString::asprintf(" %3d' %7.4f\"<br>", latMin, latSec)
            + signedDegrees(lonDeg, lonNeg, 4) + deg
            + QString::asprintf(" %2.2d' %7.4f\"<br>%8.0fm<br>%8.0fm", lonMin, lonSec, altGps, altMsl);
    }
    case 3: {
        qint64 latDeg, lonDeg;
        double latMin, lonMin;
        degreesMinutes(lat, 10000, latDeg, latMin);
        degreesMinutes(lon, 10000, lonDeg, lonMin);
        return QString::asprintf("%2.2lld%07.4f,%s,%3.3lld%07.4f,%s", latDeg, latMin, lat < 0.0 ? "S" : "N",
                                 lonDeg, lonMin, lon < 0.0 ? "W" : "E");
    }
    case 4:
        return QString::asprintf("%11.8f%c,%11.8f%c,%0.2f,%0.2f", lat, kDegreeSign, lon, kDegreeSign, altGps,
                                 altMsl);
    default:
        return QString::asprintf("%11.8f%c<br>%11.8f%c<br>%8.0fm<br>%8.0fm", lat, kDegreeSign, lon, kDegreeSign,
                                 altGps, altMsl);
    }
}

QString AveragingEngine::maidenheadLocator(double lat, double lon)
{
    // Micro-degrees, longitude from 180 W, latitude from the south pole.
    lat = std::clamp(finiteOrZero(lat), -90.0, 90.0);
    lon = std::clamp(finiteOrZero(lon), -540.0, 540.0);
    const qint64 x = qint64(std::trunc((lon + 540.0) * 1e6)) % 360000000;
    const qint64 y = qint64(std::trunc((lat + 90.0) * 1e6));
    QString s(9, QLatin1Char(' '));
    s[0] = QLatin1Char(char('A' + x / 20000000));
    s[1] = QLatin1Char(char('A' + y / 10000000));
    s[2] = QLatin1Char(char('0' + (x % 20000000) / 2000000));
    s[3] = QLatin1Char(char('0' + (y % 10000000) / 1000000));
    s[4] = QLatin1Char(char('a' + 6 * (x % 2000000) / 500000));
    s[5] = QLatin1Char(char('a' + 6 * (y % 1000000) / 250000));
    s[6] = QLatin1Char('.');
    s[7] = QLatin1Char(char('0' + ((6 * (x % 2000000) / 1000) % 500) / 50));
    s[8] = QLatin1Char(char('0' + ((6 * (y % 1000000) / 1000) % 250) / 25));
    return s;
}
