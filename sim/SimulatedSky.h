#pragma once

#include "receiver/motorola/MotorolaEncoder.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

class QSettings;

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
    // give the default model and *ok = false. The model tables belong to the personalities, so
    // these four are defined with the receiver that owns them (SimulatedReceiver.cpp).
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
    double passFraction = 0.0;     // 0 at rise, 1 at set
    double passSeconds = 0.0;      // length of the pass
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

// The sky and clock every simulated receiver personality reports: a deterministic function of
// the configuration's seed and of the second, plus the two settings a receiver can change in it
// (the elevation mask of its channels and position hold).
class SimulatedSky
{
public:
    explicit SimulatedSky(const SimulatedReceiverConfig &config);

    // The configuration the receiver was built with.
    const SimulatedReceiverConfig &config() const { return m_config; }

    SimulatedEpoch epochAt(qint64 utcSecond) const;

    bool positionHold() const { return m_positionHold; }
    void setPositionHold(bool on) { m_positionHold = on; }
    // Satellites below this many degrees get no channel.
    void setElevationMask(int degrees) { m_elevationMask = degrees; }
    int elevationMask() const { return m_elevationMask; }
    // Satellites the receiver must not track (bit n-1 = PRN n): they get no channel.
    void setIgnoredPrns(uint32_t mask) { m_ignoredPrns = mask; }
    uint32_t ignoredPrns() const { return m_ignoredPrns; }
    // The position a receiver in position hold reports (degrees, metres above the ellipsoid),
    // as last given; the configured station until then.
    void setHeldPosition(double lat, double lon, double height);
    // The same from earth-centred coordinates in centimetres (u-blox fixed mode).
    void setHeldEcef(int32_t xCm, int32_t yCm, int32_t zCm);
    bool hasHeldPosition() const { return m_hasHeld; }
    double heldLatitude() const { return m_heldLat; }
    double heldLongitude() const { return m_heldLon; }
    double heldHeight() const { return m_heldHeight; }
    // Back to the configured mask, no ignored satellites and no position hold (a receiver's
    // factory defaults).
    void reset();

    // The NMEA sentence of one type ("GGA", "RMC", "GSA", "GSV", "GLL", "VTG", "ZDA") for an
    // epoch, with checksum and CR LF; GSV gives all its sentences.
    static QByteArray nmeaSentence(const SimulatedEpoch &e, const QByteArray &type);
    // "$", the body, "*", its checksum and CR LF.
    static QByteArray nmeaLine(const QByteArray &body);

    // AMU value whose C/No, by the receiver's conversion trunc(20 log10(amu) + 4.6 + 0.5), is
    // `cNo` (clamped to what one byte can carry).
    static int amuForCNo(int cNo);

    // Deterministic noise: every random-looking quantity of the simulation is a pure function
    // of the seed and of where and when it is needed, so any second can be computed on its own.
    static uint64_t hash(uint64_t seed, uint64_t a, uint64_t b = 0, uint64_t c = 0);

private:
    SimulatedReceiverConfig m_config;
    bool m_positionHold = false;
    int m_elevationMask;
    uint32_t m_ignoredPrns = 0;
    bool m_hasHeld = false;
    double m_heldLat = 0.0, m_heldLon = 0.0, m_heldHeight = 0.0;
};
