#include "timescale/ClockPanel.h"

#include "core/ReceiverState.h"
#include "timescale/Sidereal.h"
#include "timescale/TimeScales.h"

#include <QLocale>

ReceiverTime ClockPanel::shownTime(const ReceiverTime &displayed)
{
    if (displayed.signedCorrection() >= 0)
        return displayed;
    // subtractTimes keeps the other fields of the first value and recomputes mjd.
    return ReceiverTime::subtractTimes(displayed,
                                       ReceiverTime(QDateTime::fromMSecsSinceEpoch(1000, Qt::UTC)));
}

QString ClockPanel::utcClockText(const ReceiverTime &displayed)
{
    const int32_t c = displayed.signedCorrection();
    const ReceiverTime shown = shownTime(displayed);
    const int32_t field = c < 0 ? c + 1000 : c;
    return shown.dateTime().toString(QStringLiteral("HH:mm.ss.")) + QString::asprintf("%03d", field);
}

QString ClockPanel::pcOffsetText(int32_t pcClockOffsetMs)
{
    return QString::asprintf("%05.3f", pcClockOffsetMs / 1000.0);
}

QString ClockPanel::timeInfoText(const ReceiverTime &shown, int32_t leapSeconds,
                                 int32_t leapSecondPending)
{
    const QDate date = shown.dateTime().date();
    QString text = QLocale().toString(date, QStringLiteral("dddd, dd-MMM-yyyy")) + QStringLiteral("<br>");
    text += QString::asprintf("UTC Day #%.3i  ", date.dayOfYear());
    text += QString::asprintf("GPS Week = %d", shown.gpsWeek());
    if (leapSeconds > 0)
        text += QString::asprintf("<br>UTC = GPS - %i seconds", leapSeconds);
    if (leapSecondPending == 1)
        text += QStringLiteral("<br>+1 leap second is pending");
    else if (leapSecondPending == 2)
        text += QStringLiteral("<br>-1 leap second is pending");
    return text;
}

QString ClockPanel::localTimeText(const QDateTime &now, const QTimeZone &zone)
{
    const QDateTime local = now.toTimeZone(zone);
    const QTimeZone::TimeType type =
        zone.isDaylightTime(now) ? QTimeZone::DaylightTime : QTimeZone::StandardTime;
    return local.toString(QStringLiteral("hh:mm:ss.zzz")) + QStringLiteral("<br>")
        + zone.displayName(type, QTimeZone::LongName);
}

QString ClockPanel::siderealLabelText(const ReceiverTime &displayed)
{
    return QStringLiteral("LMST ") + Sidereal::siderealText(displayed, true)
        + QStringLiteral("<br>GMST ") + Sidereal::siderealText(displayed, false)
        + QStringLiteral("<br>MJD ") + TimeScales::fractionalMjdText(displayed);
}

QString ClockPanel::staleText(const QDateTime &lastData)
{
    return QStringLiteral("No receiver data since ") + lastData.toUTC().toString(QStringLiteral("hh:mm:ss"));
}

ClockPanelTexts ClockPanel::updateClockPanel(ReceiverState &state, const ClockPanelInputs &inputs,
                                             ClockPanelSources *sources)
{
    ClockPanelTexts out;
    if (state.closing)
        return out;
    out.updated = true;

    state.displayedUtcDateTime = state.receiverUtcDateTime;
    const ClockDisplayRule::Shown *rule = inputs.shown;
    if (rule && rule->known && rule->utc != state.displayedUtcDateTime.dateTime())
        state.displayedUtcDateTime.setDateTime(rule->utc);
    // Before the first receiver time the receiver clocks show dashes, never the PC's time.
    const bool unknown = rule && !rule->known;
    out.flywheel = rule && rule->known && rule->flywheel;
    const ReceiverTime &displayed = state.displayedUtcDateTime;
    const ReceiverTime shown = shownTime(displayed);
    const QDateTime pcNow = inputs.pcNow.isValid() ? inputs.pcNow : QDateTime::currentDateTime();

    switch (inputs.clockDisplayMode) {
    case ClockMode::Utc:
        out.clockText = utcClockText(displayed);
        break;
    case ClockMode::Pc:
        out.clockText = pcNow.toLocalTime().toString(QStringLiteral("hh:mm:ss.zzz"));
        break;
    case ClockMode::Lmst:
        out.clockText = Sidereal::siderealText(displayed, true);
        break;
    case ClockMode::Gmst:
        out.clockText = Sidereal::siderealText(displayed, false);
        break;
    case ClockMode::Mjd:
        out.clockText = TimeScales::mjdText(displayed);
        break;
    case ClockMode::PcOffset:
        out.clockText = pcOffsetText(state.pcClockOffsetMs);
        break;
    default:
        // Counter modes: the counter processing writes the label.
        break;
    }
    if (unknown && inputs.clockDisplayMode != ClockMode::Pc && inputs.clockDisplayMode != ClockMode::PcOffset
        && out.clockText)
        out.clockText = ClockDisplayRule::unknownClockText();

    out.timeInfoText = unknown ? QString() : timeInfoText(shown, state.leapSeconds, state.leapSecondPending);
    // Without receiver data the time information says since when; the caller greys the panel.
    if (inputs.receiverDataSince.isValid()) {
        out.stale = true;
        out.staleText = staleText(inputs.receiverDataSince);
        out.timeInfoText = out.staleText;
    }
    out.timeInfoChanged = out.timeInfoText != m_lastTimeInfo;
    m_lastTimeInfo = out.timeInfoText;
    if (inputs.pcClockWasSet)
        out.handTimeInfoToPcClock = true;

    out.localTimeText = localTimeText(pcNow, QTimeZone::systemTimeZone());
    out.siderealText = unknown ? QString() : siderealLabelText(displayed);

    if (sources) {
        for (int row = 0; row < kPositionRows; ++row) {
            const PositionCells cells =
                sources->positionCells(static_cast<PositionRow>(row), inputs.navDataFormat);
            for (int col = 0; col < kPositionColumns; ++col) {
                out.positionCells[row][col] = cells[col];
                std::optional<QString> &last = m_lastCells[row][col];
                out.positionCellChanged[row][col] = !last || *last != cells[col];
                last = cells[col];
            }
        }
        out.outOfLock = !sources->updateLockStatus(displayed.dateTime());
    } else {
        out.outOfLock = true;
    }
    state.outOfLock = out.outOfLock;
    return out;
}
