#pragma once

#include "receiver/motorola/MotorolaEncoder.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <vector>

class QSettings;
class SimulatedUblox;

// What a simulated receiver does when the link talks to it at another data rate than its own.
enum class RateMismatch {
    Silent,    // sends nothing the link can read
    Garbage,   // sends bytes that never frame as a message
};

// Which receiver the simulation plays: its model, channel family, identification and sky.
struct SimulatedReceiverConfig
{
    QString modelName = QStringLiteral("M12+");
    int channels = 12;           // 6 ("@@Ba" family), 8 ("@@Ea") or 12 ("@@Ha")
    bool amuSignal = false;      // signal strengths in AMU instead of dB-Hz
    bool hasTraim = true;        // answers the T-RAIM message of its family
    bool hasDgps = false;        // answers "@@Bh"
    MotorolaEncoder::Identification identification;

    uint64_t seed = 1;
    // Station (WGS-84): degrees and metres above the ellipsoid; the geoid separation gives the
    // mean-sea-level height the receiver reports.
    double latitude = 47.366389;
    double longitude = 8.548611;
    double height = 510.0;
    double geoidSeparation = 47.6;
    double horizontalNoise = 1.5;   // metres, rough amplitude of the position scatter
    double verticalNoise = 2.5;

    int dataRate = 9600;                          // the receiver's own port rate
    RateMismatch rateMismatch = RateMismatch::Silent;
    int leapSeconds = 18;
    int elevationMask = 5;                        // degrees; "@@Ag" changes it
    bool ublox = false;                           // a u-blox timing module (SimulatedUblox)

    // A receiver of a known model ("M12+", "UT+", "VP", ... see modelNames()). Unknown names
    // give the default model and *ok = false.
    static SimulatedReceiverConfig forModel(const QString &name, bool *ok = nullptr);
    static QStringList modelNames();
    static QString defaultModelName() { return QStringLiteral("M12+"); }

    // Settings key of the simulated model; a missing or unknown stored name is replaced by the
    // default and written back.
    static QString keyModel() { return QStringLiteral("GpsPortDialog/Simulator Model"); }
    static QString loadModelName(QSettings &settings);
    // Settings key of the rate the simulated receiver sits at (default 9600); a stored value
    // that is no port-dialog rate is replaced by the default and written back.
    static QString keyDataRate() { return QStringLiteral("GpsPortDialog/Simulator DataRate"); }
    static int loadDataRate(QSettings &settings);
};

// One satellite of the simulated sky at one second: the values the receiver meant to report.
struct SimulatedSatellite
{
    int svId = 0;
    double elevationExact = 0.0;   // degrees
    double azimuthExact = 0.0;     // degrees
    int elevation = 0;             // as sent: whole degrees
    int azimuth = 0;
    int dopplerHz = 0;             // positive while rising
    int cNo = 0;                   // dB-Hz a reader should arrive at
    int signal = 0;                // as sent: dB-Hz, or AMU on the AMU models
    int channel = -1;              // receiver channel, -1 when not tracked
    int trackMode = 0;             // 8 code lock while tracked
    int slot = 0;                  // sky track the satellite moves on
};

// Everything the simulated receiver meant for one UTC second.
struct SimulatedEpoch
{
    qint64 utcSecond = 0;           // seconds since 1970-01-01 UTC
    QDateTime utc;
    double latitude = 0.0;          // degrees, the position it meant (station plus noise)
    double longitude = 0.0;
    double height = 0.0;            // metres above the ellipsoid
    double mslHeight = 0.0;
    int32_t latitudeMas = 0;        // as sent
    int32_t longitudeMas = 0;
    int32_t heightCm = 0;
    int32_t mslHeightCm = 0;
    std::vector<SimulatedSatellite> satellites;   // every satellite above the horizon, by ID
    std::vector<int> channelSvIds;                // per receiver channel, 0 = idle
    int visibleCount = 0;
    int trackedCount = 0;
    int dopTenths = 0;
    int sawtoothNs = 0;             // sawtooth of the next 1PPS, within -10 ... 10
    int accuracyNs = 0;
    bool positionHold = false;

    const SimulatedSatellite *satellite(int svId) const;
};

// A headless Motorola Oncore timing receiver. It keeps a deterministic sky and clock for its
// seed, speaks the binary protocol (answers polls and identification, echoes the settings it
// accepts, ignores messages of another channel family) and can be told to misbehave: sit at
// another data rate, drop answers. Time is always handed in by the caller, so the same calls
// give the same bytes.
class SimulatedReceiver
{
public:
    explicit SimulatedReceiver(const SimulatedReceiverConfig &config = SimulatedReceiverConfig());
    ~SimulatedReceiver();

    const SimulatedReceiverConfig &config() const { return m_config; }

    // --- the line ------------------------------------------------------------------------
    // Rate the link has opened the port at (the receiver hears it only at its own rate).
    void setLinkRate(int rate) { m_linkRate = rate; }
    int linkRate() const { return m_linkRate; }
    int dataRate() const { return m_dataRate; }
    void setDataRate(int rate) { m_dataRate = rate; }
    bool rateMatches() const { return m_linkRate == m_dataRate; }
    void setRateMismatch(RateMismatch m) { m_config.rateMismatch = m; }

    // Bytes the link wrote at nowMs (ms since the epoch, UTC). Returns the receiver's answers,
    // as they arrive on the link's side of the line. Polled messages describe the coming 1PPS
    // (the epoch of the next whole second), as the continuous output does.
    QByteArray receive(QByteArrayView bytes, qint64 nowMs);
    // The continuous output that describes the 1PPS at `utcSecond`, as the link sees it. The
    // receiver sends it in the second before that pulse, just after the previous one.
    QByteArray secondOutput(qint64 utcSecond);
    // What a continuous-mode recording starts with: the identification and the UTC offset, as
    // the receiver answers them when asked.
    QByteArray streamHeader() const;
    // Messages the receiver sends each second without being asked, e.g. {"Ha", "Hn", "Bb"}.
    QStringList continuousMessages() const;
    void setContinuousRate(const QByteArray &id, int rate);

    // NMEA output ("@@Ci" 01 switches to it, "$PMOTG,FOR,0" back to binary).
    bool nmeaMode() const { return m_nmeaMode; }
    // The sentence of one type ("GGA", "RMC", "GSA", "GSV", "GLL", "VTG", "ZDA") for an epoch,
    // with checksum and CR LF; GSV gives all its sentences.
    QByteArray nmeaSentence(const SimulatedEpoch &e, const QByteArray &type) const;

    // --- misbehaviour --------------------------------------------------------------------
    // The next `count` answers are not sent (continuous output is unaffected).
    void dropNextAnswers(int count) { m_dropAnswers = count; }
    // Commands with these identifiers ("Cj", "Ha", ...) are never answered.
    void setIgnoredCommands(const QSet<QByteArray> &ids) { m_ignored = ids; }

    // --- truth ---------------------------------------------------------------------------
    SimulatedEpoch epochAt(qint64 utcSecond) const;
    // The identification text it answers "@@Cj" with (wire bytes).
    QByteArray identificationFrame() const;
    // Identifiers of the commands it understood, in arrival order (wrong family included).
    const QList<QByteArray> &receivedCommands() const { return m_received; }
    int receivedCount(const QByteArray &id) const { return m_received.count(id); }
    int answersSent() const { return m_answersSent; }
    int answersDropped() const { return m_answersDroppedCount; }
    bool positionHold() const { return m_positionHold; }
    QByteArray idTag() const { return m_idTag; }
    void setPositionHold(bool on) { m_positionHold = on; }
    // The u-blox personality when the model is a u-blox one (it then speaks UBX instead).
    SimulatedUblox *ublox() const { return m_ublox.get(); }

    // --- message builders (the wire bytes for one epoch) -------------------------------
    QByteArray positionFrame(const SimulatedEpoch &e, char family) const;   // 'H', 'E', 'B'
    QByteArray shortPositionFrame(const SimulatedEpoch &e) const;            // "@@Hb"
    QByteArray visibleFrame(const SimulatedEpoch &e) const;                  // "@@Bb"
    QByteArray traimFrame(const SimulatedEpoch &e) const;                    // family's T-RAIM
    QByteArray dopFrame(const SimulatedEpoch &e) const;                      // "@@Ek"/"@@Bk"

    // AMU value whose C/No, by the receiver's conversion trunc(20 log10(amu) + 4.6 + 0.5),
    // is `cNo` (clamped to what one byte can carry).
    static int amuForCNo(int cNo);

private:
    friend class SimulatedUblox;
    struct Command
    {
        QByteArray id;       // two letters
        QByteArray params;   // bytes between the identifier and the checksum
    };
    void handleCommand(const Command &c, qint64 nowMs, QByteArray &out);
    void handleNmea(const QByteArray &line, qint64 nowMs, QByteArray &out);
    void answer(const QByteArray &id, const QByteArray &frame, QByteArray &out);
    void echo(const Command &c, QByteArray &out);
    bool familyAccepts(const QByteArray &id) const;
    QByteArray onTheLine(const QByteArray &bytes, uint64_t salt) const;
    uint8_t positionStatus(const SimulatedEpoch &e, char family) const;

    SimulatedReceiverConfig m_config;
    int m_linkRate;
    int m_dataRate;
    QByteArray m_input;
    QHash<QByteArray, int> m_rates;   // continuous messages and their interval (s)
    QSet<QByteArray> m_ignored;
    int m_dropAnswers = 0;
    int m_answersSent = 0;
    int m_answersDroppedCount = 0;
    QList<QByteArray> m_received;
    bool m_positionHold = false;
    int m_elevationMask;
    QByteArray m_idTag = QByteArray(6, ' ');
    MotorolaEncoder::TraimMessage m_traimSettings;
    bool m_nmeaMode = false;
    QHash<QByteArray, int> m_nmeaRates;   // sentence type -> interval (s)
    std::unique_ptr<SimulatedUblox> m_ublox;
};
