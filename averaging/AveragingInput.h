#pragma once

#include <QString>

// What the receiver decoders hand to the averaging engine. The engine (GpsNavDialog's
// AveragingEngine) implements it; decoder tests use a recording fake.
class AveragingInput
{
public:
    virtual ~AveragingInput() = default;

    // A new position fix: degrees (east/north positive) and metres.
    virtual void updatePosition(double lat, double lon, double altGps, double altMsl) = 0;
    // Each DOP is stored only when >= 0; pass -1 to leave one unchanged.
    virtual void setDops(double gdop, double pdop, double hdop, double vdop, double tdop) = 0;
    // 2 = 2-D fix, 3 = 3-D fix, anything else = no position fix.
    virtual void setFixType(int fixType) = 0;
    // Satellites in the timing solution; stored only when >= 0.
    virtual void setTimingSatellites(int count) = 0;
    virtual void setSpeedKnots(double knots) = 0;        // stored only when >= 0
    virtual void setHeadingDegrees(double degrees) = 0;  // stored only when >= 0
    virtual void setFixQuality(int quality) = 0;         // stored only when >= -1
    // The DOP text the Motorola decoder shows.
    virtual QString dopText() const = 0;
    // Whether the station runs in position hold (GPS mode 0-D); the NMEA decoder then shows
    // no DOPs of its own.
    virtual bool positionHold() const { return false; }
};
