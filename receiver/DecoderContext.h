#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

struct ReceiverState;
struct UbxRawEpoch;
enum class AnswerFamily : int;

// What a decoded message changed in the receiver state, reported the same way by every
// decoder (bits of an int).
namespace DecodeChange {
enum : int {
    Time = 0x01,         // receiverUtcDateTime
    Position = 0x02,     // the current position
    Satellites = 0x04,   // the satellite table
    Counts = 0x08,       // visibleCount / trackedCount
    Model = 0x10,        // receiver model and firmware
    Sawtooth = 0x20,     // ppsQuantizationError
    Status = 0x40,       // fix state, DOPs, antenna
};
} // namespace DecodeChange
class AveragingInput;

// What the decoders may change on the main display. The main window implements it; the
// defaults do nothing, so headless users (tests, command-line tools) need not.
class StationDisplay
{
public:
    virtual ~StationDisplay() = default;
    virtual void setAntennaIndicator(int /*value*/) {}
    virtual void setNavigationIndicator(int /*value*/) {}
    virtual void updateSatelliteTable() {}
    virtual void updateSatelliteCount() {}
    // Status-bar count labels set directly by a decoder ("%1.1d Tracked", "%1.1d Used", ...).
    virtual void setTrackedText(const QString & /*text*/) {}
    virtual void setUsedText(const QString & /*text*/) {}
    // Receiver identity texts for the receiver-ID window.
    virtual void appendReceiverIdText(const QString & /*text*/) {}
    virtual void clearReceiverIdText() {}
    // The receiver-identification menu action (disabled once "@@Cj" has answered).
    virtual void setReceiverIdActionEnabled(bool /*enabled*/) {}
    // Refresh the clock panel after a time message (used when no 1PPS drives it).
    virtual void refreshClockPanel() {}
    // Status-bar texts of the fix state ("3-D Fix, ", "Time only fix (0-D Nav), ", ...) and of
    // the DOPs ("DOPs: T = 1.4, P = 2.4, H = 1.1, V = 2.1").
    virtual void setFixStatusText(const QString & /*text*/) {}
    virtual void setDopStatusText(const QString & /*text*/) {}
};

// The send path toward the receiver (checksum completion, echo, pause). Implemented by the
// receiver command channel; tests record what a decoder sends.
class ReceiverCommandSink
{
public:
    virtual ~ReceiverCommandSink() = default;
    virtual void sendGpsRxCommand(const QByteArray &command) = 0;
    // Sends and waits until a decoder notes an answer of `family` (a message starting with one
    // of `heads`, when given), shutdown or `timeoutMs`; incoming messages go on being decoded
    // meanwhile. True when the answer came. A sink that cannot wait only sends.
    virtual bool sendAndAwait(const QByteArray &command, AnswerFamily family, const QList<QByteArray> &heads,
                              int timeoutMs)
    {
        Q_UNUSED(family);
        Q_UNUSED(heads);
        Q_UNUSED(timeoutMs);
        sendGpsRxCommand(command);
        return false;
    }
};

// The GPS data log as the decoders feed it: the binary and RINEX log types record every received
// receiver message (without checksum and line end). Implemented by the GPS log; may be absent.
class GpsLogRecorder
{
public:
    virtual ~GpsLogRecorder() = default;
    virtual void writeBinaryRecord(const QByteArray &message) = 0;
    // The NMEA common-format line of the first GGA fix in a second whose write-now flag is
    // set ("hh,mm,ss.ss,dd,mm.mmmmmm,N,..."); the NMEA log type writes it.
    virtual void writeNmeaFixLine(const QString &line) { Q_UNUSED(line); }
    // Every raw measurement epoch a u-blox receiver sends (RXM-RAW), in every second; the
    // RINEX log type writes the due ones as observation epochs.
    virtual void writeRawEpoch(const UbxRawEpoch &epoch) { Q_UNUSED(epoch); }
    // True while the open log needs raw measurement epochs (a RINEX log); the u-blox driver
    // then switches the receiver's RXM-RAW output on, and off again once not needed.
    virtual bool wantsRawEpochs() const { return false; }
};

// Options of the receiver settings that change how messages are decoded.
struct DecoderOptions
{
    bool receiverInLocalTime = false;   // "GPS Rx in Local Time"
    // Build the decoded text lines even while the raw-data window has never been opened (a GPS
    // log that records them, the command-line decoder, tests).
    bool alwaysBuildTexts = false;
};

// Everything a decoder writes to besides its own return value. Pointers may be null in
// headless use except state.
struct DecoderContext
{
    ReceiverState *state = nullptr;
    AveragingInput *averaging = nullptr;
    StationDisplay *display = nullptr;
    ReceiverCommandSink *commands = nullptr;
    DecoderOptions options;
    GpsLogRecorder *gpsLog = nullptr;
};
