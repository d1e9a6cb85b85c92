#include "core/ReceiverState.h"

#include <QDateTime>

ReceiverState::ReceiverState()
{
    // Both times start at "now" through setDateTime, so the panel never shows mjd 0.
    const QDateTime now = QDateTime::currentDateTimeUtc();
    receiverUtcDateTime.setDateTime(now);
    displayedUtcDateTime.setDateTime(now);
    lastElevation.fill(-1);
    elevationTrend.fill(0);
}

void ReceiverState::clearSatellites()
{
    satellites.fill(SatelliteRecord {});
    lastElevation.fill(-1);
    elevationTrend.fill(0);
}

void ReceiverState::storeReceiverTime(const QDateTime &utc, int32_t milliseconds)
{
    receiverUtcDateTime.setDateTime(weekRollover.corrected(utc));
    receiverUtcDateTime.setMilliseconds(milliseconds);
}
