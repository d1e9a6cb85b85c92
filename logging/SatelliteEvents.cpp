#include "logging/SatelliteEvents.h"

#include "core/ReceiverState.h"

QStringList SatelliteEvents::update(const ReceiverState &state)
{
    std::bitset<256> now;
    for (const SatelliteRecord &r : state.satellites) {
        if (r.svId <= 0 || r.svId >= 256)
            continue;
        if (r.used == 1 || (r.used < 0 && r.inTrack))
            now.set(size_t(r.svId));
    }
    QStringList lines;
    if (now == m_inFix)
        return lines;
    for (size_t sv = 1; sv < now.size(); ++sv) {
        if (now[sv] && !m_inFix[sv])
            lines << QStringLiteral("Satellite %1 entered the position fix").arg(sv);
    }
    for (size_t sv = 1; sv < now.size(); ++sv) {
        if (!now[sv] && m_inFix[sv])
            lines << QStringLiteral("Satellite %1 left the position fix").arg(sv);
    }
    m_inFix = now;
    return lines;
}
