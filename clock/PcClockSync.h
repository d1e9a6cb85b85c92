#pragma once

#include "clock/PcClockBackend.h"
#include "clock/PcClockSettings.h"

#include <QDate>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

struct ReceiverState;
class ReceiverTime;
class AveragingEngine;

// The GPS data log as the clock step writes to it.
class PcClockLogLines
{
public:
    virtual ~PcClockLogLines() = default;
    // The GPS log's write-now rule for the state's current second.
    virtual bool writeNow(const ReceiverState &state) = 0;
    // A GPS log of the NMEA type is open.
    virtual bool nmeaLogOpen() const = 0;
    virtual void writeNmeaLine(const QString &line) = 0;
};

// Keeps the computer clock on the receiver's UTC. Once a second at the 1PPS edge, and after
// every decoded time message, it compares the receiver time with the computer clock and,
// when the schedule or the error threshold asks for it, corrects the clock through its
// back-end: the kernel's clock calls, or samples to chrony, which does the correcting itself.
//
// Guards beyond the schedule: a receiver whose time or leap seconds are not yet known is not
// believed; a correction of more than a day, or to a date before this program was built (an
// old receiver's week rollover), is refused until the user allows it once; nothing is set
// within two seconds of a leap second.
class PcClockSync : public QObject
{
    Q_OBJECT
public:
    using BackendFactory = std::function<std::unique_ptr<PcClockBackend>(const PcClockSettings &, QString *why)>;

    static constexpr int LeapWindowSeconds = 2;
    static constexpr int64_t FarCorrectionMs = 86400000;
    static constexpr quint32 CounterLimit = 4294967295u;

    explicit PcClockSync(QObject *parent = nullptr);
    ~PcClockSync() override;

    // Test seams: the back-end maker (the real ones by default) and the capability check.
    void setBackendFactory(BackendFactory factory) { m_factory = std::move(factory); }
    void setCapabilityCheck(std::function<bool()> check) { m_capable = std::move(check); }
    void setLog(PcClockLogLines *log) { m_log = log; }
    void setAveraging(const AveragingEngine *engine) { m_engine = engine; }
    // Targets dated before this day are taken for a receiver's week rollover.
    void setBuildDate(const QDate &date) { m_buildDate = date; }
    static QDate programBuildDate();

    // Program start: forgets the bookkeeping of earlier sets and loads the settings.
    void startUp();
    // Reads the stored settings, remakes the back-end and, when the kernel setter is to set
    // the clock, checks the capability (refused: warning, synchronisation off and stored off).
    void loadSettings();
    // The clock step: at the 1PPS edge (atPpsEdge) or after a decoded time message. Also
    // recomputes state.gpsLogWriteNow and writes the GPS log's "$PKTWT"/"$PKTWA" lines.
    void clockStep(ReceiverState &state, bool atPpsEdge);

    const PcClockSettings &settings() const { return m_settings; }
    int mode() const { return m_settings.mode; }
    PcClockBackend *backend() const { return m_backend.get(); }
    // Why there is no back-end (kernel setter refused), else empty.
    QString backendProblem() const { return m_backendProblem; }

    int latencyBias() const { return m_bias; }
    bool setPending() const { return m_setPending; }
    bool clockWasSet() const { return m_clockWasSet; }
    int64_t clockErrorMs() const { return m_errorMs; }
    // The computer time read in the last step, or the target after a set decision.
    QDateTime pcTime() const { return m_pcTime; }

    // The clock panel's time text after a set: kept as the last sync text, Clock Resets + 1.
    void noteClockSetShown(const QString &timeText);
    quint32 clockResets() const { return m_clockResets; }
    // Samples the time daemon took (chrony feed).
    quint32 ntpHits() const { return m_ntpHits; }
    QString lastSyncText() const { return m_lastSyncText; }
    // "%u", or "> %u" for a counter stuck at its limit.
    static QString counterText(quint32 value);

    // The last correction the rollover guard refused ("" when none is waiting).
    QString refusedText() const { return m_refusedText; }
    // The user's one-time permission for a refused correction.
    void allowFarCorrectionOnce();
    bool farCorrectionAllowed() const { return m_allowFarOnce; }

    // --- arithmetic, on its own ------------------------------------------------------------
    // The next latency bias after a set, from the clock error seen a second later.
    static int learnBias(int bias, int64_t errorMs);
    // The time to write to the clock for a receiver time, bias and receiver model;
    // recentTimeMessage: fewer than 500 ms have passed since the last time message arrived.
    static QDateTime targetTime(const ReceiverTime &receiverTime, int bias, int model, bool recentTimeMessage);
    // Two seconds either side of the end of a UTC day that ends in a leap second.
    static bool inLeapWindow(const QDateTime &utc, int leapPending, const QDate &leapAnnouncedOn);
    static QString pktwtLine(const QDateTime &target, int64_t errorMs);
    static QString pktwaLine(const QDateTime &receiverTime, const AveragingEngine &engine);
    // The rich text of the missing-capability warning; systemError is the system's text for
    // the refusal.
    static QString capabilityWarningText(const QString &systemError);

Q_SIGNALS:
    // Shown to the user as a warning box (the main window shows it).
    void capabilityWarning(const QString &richText);
    void latencyBiasChanged(int bias);
    // A one-time set switched synchronisation off.
    void modeChanged(int mode);
    void countersChanged();
    // The rollover guard refused a correction (also written to the log output).
    void correctionRefused(const QString &text);

private:
    bool timeUsable(const ReceiverState &state) const;
    bool guardRefuses(const QDateTime &target, int64_t pcMs);
    void setBias(int bias);
    void writeLogLines(ReceiverState &state);
    int64_t pcNowUs() const;

    PcClockSettings m_settings;
    BackendFactory m_factory;
    std::function<bool()> m_capable;
    std::unique_ptr<PcClockBackend> m_backend;
    QString m_backendProblem;
    PcClockLogLines *m_log = nullptr;
    const AveragingEngine *m_engine = nullptr;
    QDate m_buildDate;

    int m_bias = 0;
    bool m_setPending = false;
    bool m_clockWasSet = false;
    int64_t m_errorMs = 0;
    QDateTime m_pcTime;
    int64_t m_lastTimeMessageUs = INT64_MIN;
    QDate m_leapAnnouncedOn;
    int64_t m_lastSampleSecond = INT64_MIN;
    QDateTime m_lastPktwaTime;

    quint32 m_clockResets = 0;
    quint32 m_ntpHits = 0;
    QString m_lastSyncText;

    QString m_refusedText;
    bool m_allowFarOnce = false;
    int64_t m_lastRefusalLogUs = INT64_MIN;
    int m_refusalKind = 0;   // 0 none, 1 more than a day, 2 before the build date
};
