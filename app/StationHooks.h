#pragma once

#include <QByteArray>
#include <QString>

struct ReceiverState;

// The pieces of other subsystems that the one-second cycle drives. The station holds one of
// each; until a subsystem installs its own object, the station uses the plain stand-ins at
// the bottom of this file, which report "closed" or do nothing and never pretend to succeed.

// The GPS data log as the cycle and the dispatcher see it.
class GpsLogHooks
{
public:
    virtual ~GpsLogHooks() = default;
    virtual bool isOpen() const = 0;
    // The "Log Every" interval in seconds (0 or less: logging of interval records disabled).
    virtual int intervalSeconds() const = 0;
    // "Use GPS time instead of UTC": the interval test counts GPS seconds.
    virtual bool useGpsSeconds() const = 0;
    virtual void flush() = 0;
    // Closes without asking; true when a log was open and is now closed.
    virtual bool closeQuiet() = 0;
    // Creates the log for the receiver's current day (create-new mode); true when open after.
    virtual bool openNew() = 0;
    // A line shown in the raw-data window; written only by a log of the Raw type.
    virtual void writeRawText(const QString &text) = 0;

    // The type of the open log (or of the next one, when closed): 0 Raw, 1 Binary, 2 PVT,
    // 3 NMEA, 4 RINEX (see GpsLogType in logging/GpsDataLog.h).
    virtual int logType() const { return 0; }
    // One text record for the open log whatever its type: every CR removed, trailing LFs
    // removed, one LF added (embedded LFs split it into lines). Nothing when closed. The
    // clock's "$PKTWT" and "$PKTWA" lines of an NMEA log are written through it; the caller
    // decides by logType() and the write-now flag whether they are due.
    virtual void writeLogLine(const QString &text) { Q_UNUSED(text); }
    // One received receiver message, without its checksum and line end, for the Binary and
    // RINEX types; written only in seconds with the write-now flag set.
    virtual void writeBinaryRecord(const QByteArray &message) { Q_UNUSED(message); }
    // A decoded position/status row for the PVT type (the decoder's text without its
    // "@@Xx, " head); written only in seconds with the write-now flag set.
    virtual void writePvtRecord(const QString &row) { Q_UNUSED(row); }
    // The NMEA common-format fix line for the NMEA type (the decoder calls it when due).
    virtual void writeNmeaFixLine(const QString &line) { Q_UNUSED(line); }
};

// The counter log file set.
class CounterLogHooks
{
public:
    virtual ~CounterLogHooks() = default;
    virtual bool isOpen() const = 0;
    // Flushes every file of the set; false when any flush failed.
    virtual bool flushAll() = 0;
    virtual void closeQuiet() = 0;
    // Reopens the set for the current day (the daily restart); true when open after.
    virtual bool reopenForToday() = 0;
    // A configuration event (receiver set-up, satellite events, remote commands) that
    // happened at utcMs (ms since the epoch): written at once while the set is open, else
    // kept in the configuration buffer with that time.
    virtual void writeConfigLog(const QString &text, qint64 utcMs) { Q_UNUSED(text); Q_UNUSED(utcMs); }
};

// The PC clock synchronisation. Without one installed, the station never sets the clock and
// its step only computes the GPS log's write-now flag.
class PcClockHooks
{
public:
    virtual ~PcClockHooks() = default;
    // Start-up: clears the time-setting bookkeeping, loads its settings and, when
    // synchronisation is on, asks for the right to set the clock.
    virtual void startUp() = 0;
    // The per-second clock step. It also recomputes state.gpsLogWriteNow.
    virtual void clockStep(ReceiverState &state, bool atPpsEdge) = 0;
};

// The clock panel: turns the receiver time into the panel's texts and shows them.
class ClockPanelHooks
{
public:
    virtual ~ClockPanelHooks() = default;
    // Copies receiverUtcDateTime into displayedUtcDateTime, recomputes outOfLock and shows
    // the texts.
    virtual void updateClockPanel(ReceiverState &state) = 0;
    // Forget the day-number text shown last, so the next update writes it anew.
    virtual void clearCachedDayText() = 0;
};

// --- stand-ins -----------------------------------------------------------------------------

// A GPS log that is never open. Its interval is the stored "Log Every" choice, so the cycle's
// write-now decision is already right when the real log takes over.
class ClosedGpsLog : public GpsLogHooks
{
public:
    bool isOpen() const override { return false; }
    int intervalSeconds() const override;
    bool useGpsSeconds() const override;
    void flush() override {}
    bool closeQuiet() override { return false; }
    bool openNew() override { return false; }
    void writeRawText(const QString &) override {}
};

// A counter log set that is never open.
class ClosedCounterLogs : public CounterLogHooks
{
public:
    bool isOpen() const override { return false; }
    bool flushAll() override { return true; }
    void closeQuiet() override {}
    bool reopenForToday() override { return false; }
};

// A panel with nothing to show: it only copies the receiver time into the displayed time,
// which the rest of the program relies on.
class CopyOnlyClockPanel : public ClockPanelHooks
{
public:
    void updateClockPanel(ReceiverState &state) override;
    void clearCachedDayText() override {}
};

// The write-now rule of the GPS log: true in the seconds an interval-bound record is due.
bool gpsLogWriteNowFor(bool logOpen, int intervalSeconds, int second, bool useGpsSeconds, int leapSeconds);

// "Log Every" index (LogFiles/GPSLogEvery) to seconds; 12 or more and negative read as index 0.
int gpsLogIntervalForIndex(int index);
