#pragma once

#include "core/ReceiverTime.h"
#include "timescale/ClockDisplayRule.h"

#include <QDateTime>
#include <QString>
#include <QTimeZone>
#include <array>
#include <optional>

struct ReceiverState;

// The clock panel modes, as stored under "MainWindow/ClockDisplay".
namespace ClockMode {
enum : int {
    Utc = 0,
    Pc = 1,
    Lmst = 2,
    Gmst = 3,
    Mjd = 4,
    PcOffset = 5,   // PC clock offset in seconds
    Tic = 6,        // written by the counter processing
    TicRaw = 7,     // written by the counter processing
};
}

// Rows of the position table (shown in widget rows 1 ... 3).
enum class PositionRow : int { Current = 0, Averaged = 1, Reference = 2 };

// Columns of the position table (shown in widget columns 1 ... 4).
constexpr int kPositionColumns = 4;   // latitude, longitude, height above ellipsoid, MSL height
constexpr int kPositionRows = 3;
using PositionCells = std::array<QString, kPositionColumns>;

// What the panel asks of the averaging engine. The main window adapts the engine to it
// (it knows the GPS mode and the timing delays the lock test needs).
class ClockPanelSources
{
public:
    virtual ~ClockPanelSources() = default;
    // The engine's lock test, run once per panel update with the displayed UTC time;
    // true when the timing solution is locked.
    virtual bool updateLockStatus(const QDateTime &utc) = 0;
    // The four cell texts of one position row, formatted by the coordinate format
    // (0 dd.ddd, 1 dd mm.mmm, 2 dd mm ss.sss).
    virtual PositionCells positionCells(PositionRow row, int navDataFormat) const = 0;
};

// What the panel needs besides the receiver state.
struct ClockPanelInputs
{
    int clockDisplayMode = ClockMode::Utc;
    int navDataFormat = 0;
    // The PC's current time; an invalid value means "now".
    QDateTime pcNow;
    // The PC clock step has just set the clock and asks for the time text.
    bool pcClockWasSet = false;
    // What the display rule says is shown (null: the receiver time as it is).
    const ClockDisplayRule::Shown *shown = nullptr;
    // Time of the last receiver message when none has come for a while (stale data); invalid
    // while data is coming.
    QDateTime receiverDataSince;
};

// Every text of the clock panel for one update. The main window only shows them.
struct ClockPanelTexts
{
    // False when the update was skipped (shutting down): nothing is to be shown.
    bool updated = false;

    // Main clock label; empty optional in the counter modes (6, 7) and for an unknown mode,
    // where the label keeps whatever was last written to it.
    std::optional<QString> clockText;

    // Time information label; timeInfoChanged is false when the text equals the one shown
    // last, so the label need not be rewritten.
    QString timeInfoText;
    bool timeInfoChanged = false;

    QString localTimeText;
    QString siderealText;

    // Position table cells [row][column]; a cell is rewritten only when its flag is set.
    std::array<PositionCells, kPositionRows> positionCells {};
    std::array<std::array<bool, kPositionColumns>, kPositionRows> positionCellChanged {};

    // Copied into the receiver state as well.
    bool outOfLock = true;

    // The time is counted from the last receiver time, not received: drawn grey.
    bool flywheel = false;
    // No receiver data for a while: staleText ("No receiver data since hh:mm:ss", UTC) is the
    // time information text, and the panel, fix text and satellite bars are shown greyed.
    bool stale = false;
    QString staleText;

    // Set when the PC clock dialog is to receive timeInfoText as its last sync text; the
    // caller then clears the PC clock's "clock was set" flag.
    bool handTimeInfoToPcClock = false;
};

// Turns the receiver time into the clock panel's texts, once per second and after time
// messages. Keeps the texts shown last so unchanged labels and cells are not rewritten.
class ClockPanel
{
public:
    // Copies receiverUtcDateTime into displayedUtcDateTime, sets outOfLock and returns the
    // texts. Does nothing while state.closing is set. sources may be null (no averaging
    // engine): the position cells then stay as they are and the panel reports out of lock.
    ClockPanelTexts updateClockPanel(ReceiverState &state, const ClockPanelInputs &inputs,
                                     ClockPanelSources *sources);

    // Forget the time information text shown last, so the next update writes it anew (the
    // one-second cycle calls it when a tick found no time message).
    void clearCachedDayText() { m_lastTimeInfo.clear(); }
    const QString &lastTimeInfoText() const { return m_lastTimeInfo; }

    // --- pieces, usable on their own ----------------------------------------------------

    // The time shown for a displayed receiver time: one second earlier when the signed
    // millisecond correction is negative.
    static ReceiverTime shownTime(const ReceiverTime &displayed);
    // "No receiver data since hh:mm:ss" for the UTC time of the last receiver message.
    static QString staleText(const QDateTime &lastData);
    // "HH:mm.ss.mmm" with the corrected millisecond field.
    static QString utcClockText(const ReceiverTime &displayed);
    // PC clock offset in seconds, "%05.3f".
    static QString pcOffsetText(int32_t pcClockOffsetMs);
    // Date, UTC day number, GPS week and leap-second lines for a shown time; date names in
    // the default locale.
    static QString timeInfoText(const ReceiverTime &shown, int32_t leapSeconds,
                                int32_t leapSecondPending);
    // "hh:mm:ss.zzz<br>" and the zone's daylight-saving name when it is in effect at that
    // moment, else its standard name.
    static QString localTimeText(const QDateTime &now, const QTimeZone &zone);
    // LMST, GMST and the fractional MJD of the displayed time.
    static QString siderealLabelText(const ReceiverTime &displayed);

private:
    QString m_lastTimeInfo;
    std::array<std::array<std::optional<QString>, kPositionColumns>, kPositionRows> m_lastCells {};
};
