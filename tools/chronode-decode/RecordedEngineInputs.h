#pragma once

#include "averaging/AveragingInput.h"

// Keeps what the decoders hand to the averaging engine, so a session can print it. The
// session clears the *Changed flags before each message.
struct RecordedEngineInputs : AveragingInput
{
    bool positionChanged = false;
    bool dopsChanged = false;
    bool fixChanged = false;
    double lat = 0, lon = 0, altGps = 0, altMsl = 0;
    double gdop = -1, pdop = -1, hdop = -1, vdop = -1, tdop = -1;
    int fixType = -1;
    int used = -1;
    double speed = -1, heading = -1;

    void clearChanges() { positionChanged = dopsChanged = fixChanged = false; }

    void updatePosition(double la, double lo, double ag, double am) override
    {
        lat = la;
        lon = lo;
        altGps = ag;
        altMsl = am;
        positionChanged = true;
    }
    void setDops(double g, double p, double h, double v, double t) override
    {
        gdop = g;
        pdop = p;
        hdop = h;
        vdop = v;
        tdop = t;
        dopsChanged = true;
    }
    void setFixType(int f) override
    {
        fixType = f;
        fixChanged = true;
    }
    void setTimingSatellites(int n) override { used = n; }
    void setSpeedKnots(double k) override { speed = k; }
    void setHeadingDegrees(double d) override { heading = d; }
    void setFixQuality(int) override {}
    QString dopText() const override { return {}; }
};
