#pragma once

#include <QString>
#include <QStringList>

// Signal delay of a coaxial cable run from its length and velocity factor.
namespace CoaxCalculator {

// Speed of light, metres per nanosecond.
constexpr double SpeedOfLightMPerNs = 0.299792458;

// The velocity-factor choices the calculator offers.
QStringList velocityFactorChoices();
// The velocity factor of a typed or chosen text: a decimal number in it (".66", "0.78 Foam";
// "1.5" reads as 1.5, not as ".5"),
// else a known cable name (ignoring case); 0 when neither. Only 0 < vf <= 1 is usable.
double velocityFactor(const QString &text);
bool isUsableVelocityFactor(double vf);
// Rounds to one decimal, halves up.
double roundToTenth(double ns);
// Delay of `length` feet ("Feet", any case) or metres, rounded to 0.1 ns; 0 for a factor
// that is not usable.
double delayNs(int length, const QString &unit, double vf);

} // namespace CoaxCalculator
