#include "timescale/Sidereal.h"

#include <cmath>

namespace Sidereal {

namespace {

double fractionalPart(double v)
{
    return v - std::floor(v);
}

} // namespace

double meanSiderealSeconds(const ReceiverTime &time, bool local)
{
    // Julian centuries from J2000.0 to 0 h UT of the date.
    const double t = (time.mjd() - 51544.5) / 36525.0;

    // GMST at 0 h UT in revolutions. The quadratic and cubic terms of the IAU 1982 expression
    // are kept: they are below 0.01 s until about 2030 but reach 0.08 s by 2090.
    const double quadratic = (0.093104 * t * t - 6.2e-6 * t * t * t) / 86400.0;
    const double theta0 = fractionalPart(100.0021389946972 * t + 100.2790572732639 + quadratic);

    // Sidereal revolutions per solar day.
    const double rate = 1.002737909350795 + 5.9006e-11 * t;

    const QTime clock = time.dateTime().time();
    const double ut = clock.hour() / 24.0 + clock.minute() / 1440.0 + clock.second() / 86400.0;
    // The 10 keeps x positive for west longitudes.
    double x = ut * rate + theta0 + 10.0;
    if (local)
        x += time.longitude() / 360.0;

    if (!std::isfinite(x))
        return 0.0;
    const double s = fractionalPart(x) * 86400.0;
    // Guard against a fraction that rounds up to a whole day.
    return s >= 86400.0 ? 0.0 : s;
}

QString formatSidereal(double seconds)
{
    if (!std::isfinite(seconds) || seconds < 0.0 || seconds >= 86400.0)
        seconds = 0.0;
    const int whole = static_cast<int>(seconds);
    const int hundredths = static_cast<int>((seconds - whole) * 100.0);
    return QString::asprintf("%02d:%02d:%02d.%02d", whole / 3600, (whole / 60) % 60, whole % 60,
                             hundredths);
}

QString siderealText(const ReceiverTime &time, bool local)
{
    return formatSidereal(meanSiderealSeconds(time, local));
}

} // namespace Sidereal
