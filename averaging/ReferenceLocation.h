#pragma once

#include "averaging/AveragingEngine.h"

#include <QString>
#include <QStringList>

class QSettings;

// Text forms of the reference location: the coordinate and altitude parsers of the reference
// location dialog and the remote "REFLOC" command, the formats the dialog shows, the remote
// text form and the named location database. Nothing here opens a box: a parse returns a
// result code, and messageText()/messageTitle() give what the dialog shows for it.
namespace ReferenceLocation {

enum class Axis { Latitude, Longitude };

enum class Result {
    Ok,
    NoValue,              // empty text, "???" or no number at all
    MinutesOutOfRange,
    SecondsOutOfRange,
    FractionNotLast,      // "45.5 30"
    SignAndHemisphere,    // "-45 S"
    UnknownCharacters,    // anything else after the numbers
    DegreesOutOfRange,
    AltitudeCharacters,   // an altitude with other characters than +-0123456789.
    AltitudeOutOfRange,
};

struct Parsed
{
    Result result = Result::NoValue;
    double value = 0.0;
    bool ok() const { return result == Result::Ok; }
};

// Latitude or longitude: up to three numbers (degrees, minutes, seconds) separated by blanks or
// the marks ° ' ", then at most one hemisphere letter N, E (sign kept) or S, W (negated). A
// leading minus negates the whole value once ("-45 30" is -45.5). Longitude -180 comes back
// as +180, the one form the stored reference keeps.
Parsed parseCoordinate(const QString &text, Axis axis);

// Altitude in metres, -500 .. 18000; "???" (unknown) is refused like any text without a value.
Parsed parseAltitude(const QString &text);

// The box the dialog shows for a refused field. Empty for Ok.
QString messageTitle(Result result);
QString messageText(Result result, Axis axis = Axis::Latitude);

// A coordinate as the dialog shows it in the main window's navigation format:
// 0 "%9.7f°", 1 degrees and "%8.5f'" minutes, 2 degrees, minutes and "%7.4f\"" seconds. The
// shown minutes and seconds never read 60: they are rounded first and carried.
QString formatCoordinate(double value, int navFormat);
// "%04.2f", for altitudes and geoid differences.
QString formatAltitude(double metres);

// The remote text form: "%.8f,%.8f,%.2f,%.2f" (latitude, longitude, WGS84 and MSL altitude).
QString remoteText(const StationPosition &p);

// The remote "REFLOC" set: latitude and longitude as the dialog reads them and the height above
// mean sea level; the ellipsoid height adds the geoid separation there. On success the engine's
// reference is replaced (AveragingEngine::setReferenceLocation, which everything that follows
// the reference listens to); false and nothing changed when any of the three is refused.
bool applyRemote(AveragingEngine &engine, const QString &latText, const QString &lonText, const QString &heightText);

// Named locations under "RefLocationDB/<name>", each "%018.16f %018.16f %018.16f %018.16f"
// (latitude, longitude, WGS84 altitude, MSL altitude).
namespace Database {

QString group();
// A name the store can keep as one key: not empty (after trimming), no "/" and no "\".
bool validName(const QString &name);
// Stored names, sorted.
QStringList names(QSettings &settings);
// False when the name is not stored or its record does not hold four numbers.
bool load(QSettings &settings, const QString &name, StationPosition &out);
// False (nothing written) for an invalid name.
bool save(QSettings &settings, const QString &name, const StationPosition &p);
// False when there was no such key.
bool remove(QSettings &settings, const QString &name);
QString recordText(const StationPosition &p);

} // namespace Database

} // namespace ReferenceLocation
