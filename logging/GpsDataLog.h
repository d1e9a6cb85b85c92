#pragma once

#include "logging/LogTypes.h"
#include "logging/RinexObservationWriter.h"

#include <QByteArray>
#include <QFile>
#include <QDate>
#include <QString>
#include <functional>
#include <memory>

#include <QSettings>

struct ReceiverState;

// The stored options of the GPS data log ("LogFiles/..."), read and repaired in one place.
struct GpsLogSettings
{
    QString directory;        // "LogFiles/GpsLogFileDirectory"
    QString prefix = QStringLiteral("VORA");
    int type = 0;             // GpsLogType
    int everyIndex = 0;       // "LogFiles/GPSLogEvery", 0..11
    bool autoRestart = true;  // "LogFiles/GpsLogAutorestart"
    bool useGpsSeconds = false;

    int intervalSeconds() const;
    static GpsLogSettings load(QSettings &settings);
    void save(QSettings &settings) const;
};

// The GPS data log: at most one open file of one of five types. Headless; the menus, the file
// dialog and the remote commands all come through open()/close()/status().
class GpsDataLog
{
public:
    using Clock = std::function<qint64()>;   // PC UTC time, ms since the epoch

    // `state` gives the receiver time, mode, channel count and identity; not owned.
    GpsDataLog(const ReceiverState *state, Clock clock);
    ~GpsDataLog();
    GpsDataLog(const GpsDataLog &) = delete;
    GpsDataLog &operator=(const GpsDataLog &) = delete;

    // Options as stored; open() uses them. reload() reads (and repairs) the stored keys.
    const GpsLogSettings &options() const { return m_options; }
    void setOptions(const GpsLogSettings &options) { m_options = options; }
    void reload(QSettings &settings);

    // Asked before mode 1 replaces a file (argument: the bare file name); true = replace.
    // Without one, mode 1 refuses to replace.
    void setConfirmReplace(std::function<bool(const QString &)> confirm) { m_confirm = std::move(confirm); }
    // The receiver description of the main window for the header ("unknown" when empty).
    void setReceiverDescription(std::function<QString()> description) { m_description = std::move(description); }
    void setProgramVersion(const QString &version) { m_version = version; }

    // Opens the log of the current day in the configured directory with the stored prefix.
    LogResult open(int mode);
    // The same with a new bare prefix (a remote command); the prefix is cut like a picked name
    // and stored.
    LogResult openWithPrefix(const QString &prefix, int mode);
    // Closes with the footer. `remember` false (shutdown) leaves "LogFiles/GpsLogOpen" as it
    // is, so the log reopens at the next start.
    LogResult close(bool remember = true);
    // Start-up: reopens (append, or create when the day has no file) when "LogFiles/GpsLogOpen"
    // says the log was open.
    bool resumeAtStart();

    struct Status
    {
        bool open = false;
        QString fileName;    // the open file, or the one open() would use now
        int type = 0;
        QString typeName;
        int intervalSeconds = 0;
        qint64 bytes = 0;
    };
    Status status() const;
    // The file the log would use now (naming rule, one date source).
    QString currentFileName() const;

    // What the one-second cycle, the dispatcher and the decoders use (the station's GpsLogHooks).
    bool isOpen() const { return (m_file && m_file->isOpen()) || m_rinex.isOpen(); }
    int intervalSeconds() const { return m_options.intervalSeconds(); }
    bool useGpsSeconds() const { return m_options.useGpsSeconds; }
    void flush();
    bool closeQuiet();
    bool openNew();
    void writeRawText(const QString &text);
    int logType() const { return m_options.type; }
    void writeLogLine(const QString &text);
    void writeBinaryRecord(const QByteArray &message);
    void writePvtRecord(const QString &row);
    void writeNmeaFixLine(const QString &line);
    // RXM-RAW epochs of a u-blox receiver: a RINEX log writes those of its write-now seconds
    // as observation epochs (and keeps the loss-of-lock flags of the others).
    void writeRawEpoch(const UbxRawEpoch &epoch);
    bool wantsRawEpochs() const { return m_rinex.isOpen(); }
    // The RINEX type writes observation files (".obs") for u-blox receivers, the Oncore stream
    // for RINEX conversion (".bin") otherwise.
    bool rinexObservations() const;

    // The Binary form of one message: the Motorola message + XOR byte + CR LF, or a UBX
    // message with its two Fletcher check bytes in wire form.
    static QByteArray binaryRecord(const QByteArray &message);
    // The PVT column header for a receiver mode and channel count (empty for none).
    static QString pvtHeader(int receiverMode, int channels);

private:
    QSettings &store();
    bool writeNow() const;
    void writeBytes(const QByteArray &bytes);
    void writeHeader(int mode);
    void writePvtHeader();
    QDate logDate() const;
    QString receiverDateText() const;

    std::unique_ptr<QSettings> m_store;
    const ReceiverState *m_state;
    Clock m_clock;
    GpsLogSettings m_options;
    std::function<bool(const QString &)> m_confirm;
    std::function<QString()> m_description;
    QString m_version;
    std::unique_ptr<QFile> m_file;
    int m_openType = 0;
    bool m_pvtHeaderPending = false;
    RinexObservationWriter m_rinex;
    QByteArray m_holdA;   // Oncore RINEX stream: last "@@Ba"/"@@Ea"
    QByteArray m_holdB;   // last "@@Bk"/"@@Ek"
};
