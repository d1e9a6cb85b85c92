#pragma once

#include "receiver/ubx/UbxRawEpoch.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QString>
#include <QStringList>
#include <array>

struct ReceiverState;

// What the header of a RINEX observation file says about the station. Texts longer than their
// column are cut; characters outside printable ASCII become '?'.
struct RinexHeaderInfo
{
    QString program = QStringLiteral("Chronode");   // PGM (20 columns)
    QString runBy;                                  // RUN BY (20)
    QDateTime created;                              // file creation, UTC; invalid: the PC's time now
    QString markerName = QStringLiteral("VORA");    // MARKER NAME (60)
    QString observer;                               // OBSERVER (20)
    QString agency;                                 // AGENCY (40)
    QString receiverNumber;                         // REC # (20)
    QString receiverType;                           // REC TYPE (20), e.g. "LEA-4T"
    QString receiverVersion;                        // REC VERS (20), the firmware
    QString antennaNumber;                          // ANT # (20)
    QString antennaType;                            // ANT TYPE (20)
    std::array<double, 3> approxPosition {};        // ECEF X, Y, Z, metres
    std::array<double, 3> antennaDelta {};          // height, east, north of the antenna, metres
    int intervalSeconds = 0;                        // INTERVAL record when above 0
    QStringList comments;                           // COMMENT records (60 columns each)

    // APPROX POSITION XYZ from WGS-84 latitude and longitude (degrees) and height above the
    // ellipsoid (metres), e.g. the station's averaged or reference position.
    void setApproxPosition(double latitude, double longitude, double height);

    // The header of a station's log: "Chronode <version>" as the program, the receiver's
    // model name and firmware, created at the receiver's UTC time (the PC's while it has
    // none).
    static RinexHeaderInfo forStation(const ReceiverState &state, const QString &markerName, const QString &version);
};

// A RINEX 2.11 observation file of one L1 receiver: the types C1 L1 D1 S1 in GPS time, fed
// with u-blox raw measurement epochs.
//
// The header goes out with the first epoch, since TIME OF FIRST OBS is that epoch's time.
// Opening a file that already holds a RINEX observation header appends epochs to it without a
// second header (a restart during the day), after cutting off a last line left unfinished
// (a full disk, a power cut); any other non-empty file is refused. Epochs are
// kept in memory and reach the file whole (at flush(), close() or when 64 KiB are pending), so
// a killed program leaves a file that ends after a complete epoch.
//
// Per observation: the value as F14.3, the loss-of-lock digit (L1 only) and the signal
// strength digit (1..9, C/No / 6, on C1, L1 and D1); all blank when the receiver gives 0 or
// the value does not fit the column. The LLI digit carries bit 0 (lock lost) also when the
// satellite was missing from the previous written epoch; the flags of epochs passed to
// skipEpoch(), and of epochs whose phase was blank, carry over to the satellite's next
// written phase.
class RinexObservationWriter
{
public:
    RinexObservationWriter() = default;
    ~RinexObservationWriter();
    RinexObservationWriter(const RinexObservationWriter &) = delete;
    RinexObservationWriter &operator=(const RinexObservationWriter &) = delete;

    // Opens (creates or appends to) `path`. False, with errorString(), when the file cannot be
    // opened or is a non-empty file that is not a RINEX observation file.
    bool open(const QString &path, const RinexHeaderInfo &info);
    bool isOpen() const { return m_file.isOpen(); }
    // Appends one epoch; epochs without a valid time or without a GPS or SBAS satellite are
    // left out. Nothing when closed.
    void writeEpoch(const UbxRawEpoch &epoch);
    // An epoch the log does not record (its interval): only its loss-of-lock flags are kept.
    void skipEpoch(const UbxRawEpoch &epoch);
    // Writes the pending epochs to the file.
    void flush();
    void close();

    QString fileName() const { return m_file.fileName(); }
    QString errorString() const { return m_error; }
    qint64 epochsWritten() const { return m_epochs; }

    // The header text, ending with END OF HEADER, for a first epoch at GPS week and ms of week.
    static QByteArray headerText(const RinexHeaderInfo &info, int week, qint64 towMs);
    // The text of one epoch (epoch line, continuation lines, observation lines); `lli` is
    // added to each satellite's loss-of-lock flags (indexed by satellite number). Empty when
    // the epoch is left out.
    static QByteArray epochText(const UbxRawEpoch &epoch, const std::array<uint8_t, 256> &lli = {});
    // RINEX satellite code ("G07", "S20" for PRN 120), empty for a number that has none.
    static QByteArray satelliteCode(int sv);

private:
    void writeBuffered(const QByteArray &text);

    QFile m_file;
    RinexHeaderInfo m_info;
    QString m_error;
    QByteArray m_pending;
    bool m_headerDone = false;
    qint64 m_epochs = 0;
    std::array<bool, 256> m_seen {};        // satellites of the last written epoch
    std::array<uint8_t, 256> m_carried {};  // loss-of-lock flags from skipped epochs
};
