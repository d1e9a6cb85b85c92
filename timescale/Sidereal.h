#pragma once

#include "core/ReceiverTime.h"

#include <QString>

// Mean sidereal time of a receiver time: Greenwich (GMST) or local (LMST) at the station
// longitude the time value carries (east positive). UT is taken as UTC; the milliseconds of
// the time value are not used.
namespace Sidereal {

// Seconds of the sidereal day, 0 <= s < 86400.
double meanSiderealSeconds(const ReceiverTime &time, bool local);
inline double gmstSeconds(const ReceiverTime &time) { return meanSiderealSeconds(time, false); }
inline double lmstSeconds(const ReceiverTime &time) { return meanSiderealSeconds(time, true); }

// "%02d:%02d:%02d.%02d" of a sidereal second count (hours, minutes, seconds, hundredths;
// the hundredths are truncated, not rounded).
QString formatSidereal(double seconds);

// GMST, or LMST when local is true, as "HH:MM:SS.hh".
QString siderealText(const ReceiverTime &time, bool local);

} // namespace Sidereal
