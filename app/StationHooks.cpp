#include "app/StationHooks.h"

#include "core/ReceiverState.h"

#include <QSettings>
#include <iterator>

int gpsLogIntervalForIndex(int index)
{
    static constexpr int intervals[] = { 1, 2, 3, 4, 5, 6, 10, 12, 15, 20, 30, 60 };
    if (index < 0 || index >= int(std::size(intervals)))
        index = 0;
    return intervals[index];
}

bool gpsLogWriteNowFor(bool logOpen, int intervalSeconds, int second, bool useGpsSeconds, int leapSeconds)
{
    if (!logOpen || intervalSeconds < 1)
        return false;
    int s = second;
    if (useGpsSeconds)
        s += leapSeconds;
    // Leap-second counts are small; keep the arithmetic safe for any stored value anyway.
    const int v = ((s % 60) + 60) % 60;
    return v % intervalSeconds == 0;
}

int ClosedGpsLog::intervalSeconds() const
{
    return gpsLogIntervalForIndex(QSettings().value(QStringLiteral("LogFiles/GPSLogEvery"), 0).toInt());
}

bool ClosedGpsLog::useGpsSeconds() const
{
    return QSettings().value(QStringLiteral("LogFiles/UseGpsSecondNumber"), 0).toInt() == 1;
}

void CopyOnlyClockPanel::updateClockPanel(ReceiverState &state)
{
    state.displayedUtcDateTime = state.receiverUtcDateTime;
}
