#pragma once

#include "averaging/AveragingInput.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <array>

class QSettings;
struct ReceiverState;

// One position: degrees (north and east positive) and metres.
struct StationPosition
{
    double lat = 0.0;
    double lon = 0.0;
    double altGps = 0.0;   // above the WGS-84 ellipsoid
    double altMsl = 0.0;   // above mean sea level
};

// The long-running position and timing averages of the station, the timing lock status, the
// latest DOPs and the reference location. GpsNavDialog owns one and shows it; the decoders feed
// it through AveragingInput and the clock panel calls updateLockStatus() once per second.
//
// Every average is a weighted running mean whose counter grows by one per pass up to its
// limit, after which it is an exponential filter of length limit / weight.
class AveragingEngine : public QObject, public AveragingInput
{
    Q_OBJECT
public:
    // Built-in reference location used while none has been stored: the Royal Observatory,
    // Greenwich (prime meridian), WGS-84 51.4778 N 0.0015 W, 46 m above mean sea level and
    // about 92 m above the ellipsoid. Any surveyed site replaces it; it only has to be a real
    // place so that the error terms are meaningful in metres from the start.
    static constexpr double DefaultRefLat = 51.4778;
    static constexpr double DefaultRefLon = -0.0015;
    static constexpr double DefaultRefAltGps = 92.0;
    static constexpr double DefaultRefAltMsl = 46.0;

    static constexpr double DefaultPositionWeightLimit = 28800.0;
    static constexpr double DefaultRmsWeightLimit = 86400.0;
    static constexpr double DefaultTimingWeightLimit = 28800.0;
    static constexpr double DefaultHdopWeight = 1.5;
    static constexpr double DefaultVdopWeight = 2.0;
    static constexpr double DefaultTdopWeight = 1.5;
    static constexpr double CounterCeiling = 999999.0;
    static constexpr double MetresPerDegLat = 111111.1;

    // The error terms: five quantities, each as three kinds of difference.
    enum Quantity { Lat = 0, Lon, TwoD, AltGps, AltMsl, QuantityCount };
    enum DifferenceKind { RefAvg = 0, AvgCur, RefCur, KindCount };
    using TermTable = std::array<std::array<double, QuantityCount>, KindCount>;

    explicit AveragingEngine(QObject *parent = nullptr);

    // The receiver state decides whether DOP weighting is usable (the Motorola binary modes
    // report no usable DOPs except on the VP). May be null.
    void setReceiverState(const ReceiverState *state) { m_receiverState = state; }

    // --- AveragingInput ------------------------------------------------------------------
    // Runs one pass with the GPS mode last given to setGpsMode().
    void updatePosition(double lat, double lon, double altGps, double altMsl) override;
    void setDops(double gdop, double pdop, double hdop, double vdop, double tdop) override;
    void setFixType(int fixType) override { m_fixType = fixType; }
    void setTimingSatellites(int count) override;
    void setSpeedKnots(double knots) override;
    void setHeadingDegrees(double degrees) override;
    void setFixQuality(int quality) override;
    QString dopText() const override;
    // The receiver is told to hold its position (GPS mode 2, "0D").
    bool positionHold() const override { return m_gpsMode == 2; }

    // Stores the current position, runs one averaging pass and returns the grid locator of
    // the current position. gpsMode: 0 = 3-D, 1 = 2-D, 2 = position hold.
    QString updatePosition(double lat, double lon, double altGps, double altMsl, int gpsMode);
    void setGpsMode(int gpsMode) { m_gpsMode = gpsMode; }
    int gpsMode() const { return m_gpsMode; }

    // Once per second: recomputes the lock from the satellites in the timing solution.
    bool updateLockStatus(int gpsMode, const QDateTime &utcNow);

    // Sets both timing-noise terms (ns); returns the sum of their squares.
    double setTimingErrorTerms(double a, double b);

    // --- start-up and settings -----------------------------------------------------------
    // What the program does when it builds the engine: load settings and saved averages,
    // reset unless continuing, default timing error terms, unknown satellites and quality.
    void startUp(QSettings &settings);
    // Receiver initialisation: reload everything, reset the averages unless continuing.
    void reloadSettings(QSettings &settings);
    // Reads every key (writing back defaults and repaired values) and the saved averages.
    void loadSettings(QSettings &settings);
    // Writes every key, including the saved averages.
    void saveSettings(QSettings &settings) const;
    // Writes the saved averages only (at shutdown, every hour and after a reset).
    void saveAverages(QSettings &settings) const;
    // Counts the resets of averages and filters, so an owner can save after each.
    quint64 resetCount() const { return m_resets; }
    void saveReferenceLocation(QSettings &settings) const;

    // --- reference location ----------------------------------------------------------------
    // The one way to set the reference: stores the location, recomputes the metres-per-degree
    // factors, writes the RefLocation keys and the two restart flags to the default settings
    // store and emits referenceLocationChanged(), which the sidereal clock and a receiver in
    // position hold follow.
    void setReferenceLocation(double lat, double lon, double altGps, double altMsl);
    void setReferenceLocation(const StationPosition &p) { setReferenceLocation(p.lat, p.lon, p.altGps, p.altMsl); }
    // False while the reference is the built-in default (never set, here or in an earlier run).
    bool referenceSetByUser() const { return m_referenceSetByUser; }
    void setReferenceToAverage();
    void setReferenceToCurrent();
    // "Load reference location on program startup". Off: a start leaves the stored reference
    // in the store and takes the first position of the run as its reference (kept over
    // receiver re-initialisations) until a reference is set.
    void setRefLocOnStart(bool on) { m_refLocOnStart = on; }
    bool refLocOnStart() const { return m_refLocOnStart; }
    // True from a start without the stored reference until the first position arrives.
    bool referencePending() const { return m_refSource == RefSource::FirstFix; }
    double referenceAltMsl() const { return m_ref.altMsl; }
    StationPosition currentPosition() const { return m_cur; }
    StationPosition averagedPosition() const { return m_avg; }
    StationPosition referencePosition() const { return m_ref; }
    double metresPerDegLat() const { return MetresPerDegLat; }
    double metresPerDegLon() const { return m_metresPerDegLon; }

    // --- texts -----------------------------------------------------------------------------
    enum class Which { Current, Averaged, Reference };
    // mode: 0 decimal degrees, 1 degrees and minutes, 2 degrees minutes seconds,
    // 3 NMEA-style ddmm.mmmm (current position), 4 comma list (reference position).
    QString positionText(Which which, int mode) const;
    static QString formatPosition(const StationPosition &p, int mode);
    // Nine-character Maidenhead locator with an extended square, e.g. "JO62qm.3 4".
    static QString maidenheadLocator(double lat, double lon);
    QString gridLocator() const { return maidenheadLocator(m_cur.lat, m_cur.lon); }

    // --- resets ----------------------------------------------------------------------------
    void resetAllAverages();
    void resetPositionFilter();   // IDC_POS_FILTER_RESET
    void resetRmsFilter();        // IDC_RMS_FILTER_RESET
    void resetTimingFilter();     // IDC_TIMING_FILTER_RESET
    void resetAllFilters();       // IDC_AVERAGING_RESET_ALL
    void resetUnlockCounter();    // IDC_UNLOCK_COUNTER_RESET

    // --- settings --------------------------------------------------------------------------
    bool useDopWeighting() const { return m_useDopWeighting; }
    void setUseDopWeighting(bool on) { m_useDopWeighting = on; }
    // False while the receiver kind forbids DOP weighting (the dialog disables its fields).
    bool dopWeightingAvailable() const { return m_dopWeightingAvailable; }
    double hdopWeight() const { return m_hdopWeight; }
    double vdopWeight() const { return m_vdopWeight; }
    double tdopWeight() const { return m_tdopWeight; }
    void setHdopWeight(double v);
    void setVdopWeight(double v);
    void setTdopWeight(double v);
    double positionWeightLimit() const { return m_positionWeightLimit; }
    double rmsWeightLimit() const { return m_rmsWeightLimit; }
    double timingWeightLimit() const { return m_timingWeightLimit; }
    void setPositionWeightLimit(double v);
    void setRmsWeightLimit(double v);
    void setTimingWeightLimit(double v);
    bool restartOnUnlock() const { return m_restartOnUnlock; }
    void setRestartOnUnlock(bool on) { m_restartOnUnlock = on; }
    bool continueOnRestart() const { return m_continueOnRestart; }
    void setContinueOnRestart(bool on) { m_continueOnRestart = on; }

    // --- inputs ----------------------------------------------------------------------------
    int fixType() const { return m_fixType; }
    double gdop() const { return m_gdop; }
    double pdop() const { return m_pdop; }
    double hdop() const { return m_hdop; }
    double vdop() const { return m_vdop; }
    double tdop() const { return m_tdop; }
    int timingSatellites() const { return m_timingSatellites; }
    double speedKnots() const { return m_speedKnots; }
    double headingDegrees() const { return m_headingDegrees; }
    int fixQuality() const { return m_fixQuality; }
    double timingErrorA() const { return m_timingErrorA; }
    double timingErrorB() const { return m_timingErrorB; }
    double timingErrorSumSquares() const { return m_timingErrorSumSquares; }

    // --- averages and counters -------------------------------------------------------------
    double avgLat() const { return m_avg.lat; }
    double avgLon() const { return m_avg.lon; }
    double avgAltGps() const { return m_avg.altGps; }
    double avgAltMsl() const { return m_avg.altMsl; }
    double positionCount() const { return m_positionCount; }
    double altitudeCount() const { return m_altitudeCount; }
    double rmsCount() const { return m_rmsCount; }
    double timingCount() const { return m_timingCount; }
    bool seedPending() const { return m_seedPending; }
    // Difference terms in metres (the 2-D term is the root of the lat/lon squares), their
    // running mean squares and the RMS values (roots of the mean squares).
    double term(DifferenceKind k, Quantity q) const;
    double meanSquare(DifferenceKind k, Quantity q) const { return m_meanSquares[k][q]; }
    double rmsValue(DifferenceKind k, Quantity q) const;

    // --- timing accuracy and lock ------------------------------------------------------------
    double tsigma() const { return m_tsigma; }
    double tsigmaAvg() const { return m_tsigmaAvg; }
    double tsigmaMax() const { return m_tsigmaMax; }
    double tsigmaMin() const { return m_tsigmaMin; }
    // Formatted when asked for: the pass runs every second, the text is read far less often.
    QString timingStatusText() const;
    bool timingLocked() const { return m_timingLocked; }
    int unlockCount() const { return m_unlockCount; }
    QString lockedSinceText() const { return m_lockedSinceText; }

    // --- arithmetic shared with the tests and the benchmark ---------------------------------
    // (weighting value / dop)^2 when weighting is on and dop > 0, else 1.
    static double dopWeight(bool useWeighting, double weightingValue, double dop);
    // Weighted running update of value with sample x, counter n (already advanced), weight w.
    static double weightedUpdate(double value, double x, double n, double w);
    // One counter step toward its limit, never above the ceiling.
    static double advanceCounter(double n, double limit);
    // Timing accuracy estimate (ns) for the satellites in the solution and the GPS mode.
    static double computeTsigma(double sumSquares, int satellites, int gpsMode);
    // Reads the next number of a saved-averages text; false (and 0) when there is none.
    static bool takeNumber(QString &text, double &value);

Q_SIGNALS:
    // setReferenceLocation() gave a new reference.
    void referenceLocationChanged();
    // A reset changed the counters, or the unlock counter was cleared.
    void countersChanged();
    // A locked pass ran: counters, averages, error terms and the timing status text may have
    // changed. (One signal per pass keeps the per-second path cheap.)
    void averagesChanged();
    // The first unlocked pass replaced the timing status text; read it with timingStatusText().
    void timingStatusChanged();
    void lockStatusChanged(bool locked, int unlockCount, const QString &lockedSince);
    void dopWeightingAvailabilityChanged(bool available);

private:
    void averagingPass(int gpsMode);
    void timingPart(int gpsMode);
    void positionPart();
    void setHorizontalTerms(double avgLat, double avgLon);
    void setAltitudeTerms(double avgAltGps, double avgAltMsl);
    void applyDopSwitchOff();
    void loadReferenceLocation(QSettings &s);
    void loadSavedAverages(QSettings &settings);
    quint64 m_resets = 0;
    enum class TimingText { Empty, NoSolution, Tsigma };
    void setTimingText(TimingText kind);
    void runPass(double lat, double lon, double altGps, double altMsl, int gpsMode);

    const ReceiverState *m_receiverState = nullptr;
    int m_gpsMode = 0;

    // settings
    bool m_useDopWeighting = true;
    bool m_dopWeightingAvailable = true;
    double m_hdopWeight = DefaultHdopWeight;
    double m_vdopWeight = DefaultVdopWeight;
    double m_tdopWeight = DefaultTdopWeight;
    double m_positionWeightLimit = DefaultPositionWeightLimit;
    double m_rmsWeightLimit = DefaultRmsWeightLimit;
    double m_timingWeightLimit = DefaultTimingWeightLimit;
    bool m_restartOnUnlock = true;
    bool m_continueOnRestart = false;
    StationPosition m_ref { DefaultRefLat, DefaultRefLon, DefaultRefAltGps, DefaultRefAltMsl };
    bool m_refLocOnStart = true;
    // Where the reference of this run comes from: the store, or (flag off) the run itself.
    enum class RefSource { Store, FirstFix, Run };
    RefSource m_refSource = RefSource::Store;
    void setRunReference(const StationPosition &p);
    bool m_referenceSetByUser = false;
    double m_metresPerDegLon = 0.0;

    // inputs
    StationPosition m_cur;
    int m_fixType = 0;
    double m_gdop = 0.0, m_pdop = 0.0, m_hdop = 0.0, m_vdop = 0.0, m_tdop = 0.0;
    int m_timingSatellites = -1;
    double m_timingErrorA = 500.0;
    double m_timingErrorB = 500.0;
    double m_timingErrorSumSquares = 500000.0;
    double m_speedKnots = -1.0;
    double m_headingDegrees = -1.0;
    int m_fixQuality = -1;

    // averages
    StationPosition m_avg;
    double m_positionCount = 1.0;
    double m_altitudeCount = 1.0;
    double m_rmsCount = 1.0;
    double m_timingCount = 1.0;
    bool m_seedPending = true;
    bool m_positionPassActive = false;   // the previous locked pass averaged a 2-D/3-D fix
    TermTable m_terms {};         // the 2-D column is unused: term() computes it
    TermTable m_meanSquares {};

    // timing
    double m_tsigma = -1.0;
    struct TsigmaInputs
    {
        double sumSquares = -1.0;
        int satellites = -1;
        int gpsMode = -1;
        double value = 0.0;
    } m_tsigmaKey;   // the inputs of the last estimate computed
    double m_tsigmaAvg = 0.0;
    double m_tsigmaMax = -1.0;
    double m_tsigmaMin = -1.0;
    TimingText m_timingText = TimingText::Empty;
    std::array<double, 4> m_timingTextValues {};   // tsigma, max, average, min when it was set
    mutable QString m_timingStatusText;
    mutable bool m_timingTextStale = false;
    bool m_timingLocked = false;
    bool m_unlockedTextShown = false;
    bool m_unlockResetDue = false;   // the lock was lost since the last pass
    int m_unlockCount = 0;
    QString m_lockedSinceText;
};
