#pragma once

#include <QString>

class QSettings;

// The station's timing delays and 1PPS offsets (group "TimingDialog" of the settings store):
// held by the timing dialog, sent in part to Motorola receivers and applied to the counter
// readings. Numbers are stored as text in fixed patterns.
struct TimingDelays
{
    enum SawtoothMode { Automatic = 0, Add = 1, Subtract = 2, Off = 3 };

    int epochOffsetMs = 0;               // 0..999, sets the 1PPS late
    double ppsFineOffsetUs = 0.0;        // 0..999.999, late
    double antennaCableDelayNs = 0.0;    // 0..20000, early
    double measurementCableDelayNs = 0.0;// 0..20000, early
    double rxDelayNs = 55.0;             // 0..1000, early
    double extraDelayUs = 0.0;           // 0..999.999, early
    double traimLimitNs = 500.0;         // 250..1000
    bool traimKill1pps = false;
    bool ticAutoCorrect = true;
    int sawtoothMode = Automatic;

    static QString keyGeometry() { return QStringLiteral("TimingDialog/geometry"); }
    static QString keyEpoch() { return QStringLiteral("TimingDialog/Epoch"); }
    static QString keyPpsDelay() { return QStringLiteral("TimingDialog/1pps Delay"); }
    static QString keyAntennaCable() { return QStringLiteral("TimingDialog/Antenna Cable Delay"); }
    static QString keyMeasurementCable() { return QStringLiteral("TimingDialog/Measurement Cable Delay"); }
    static QString keyRxDelay() { return QStringLiteral("TimingDialog/Rx Delay"); }
    static QString keyExtraDelay() { return QStringLiteral("TimingDialog/Extra Delay"); }
    static QString keyTraim() { return QStringLiteral("TimingDialog/T-Raim"); }
    static QString keyTraimKill() { return QStringLiteral("TimingDialog/T-Raim Conditioned 1pps"); }
    static QString keyAutoCorrect() { return QStringLiteral("TimingDialog/TIC Auto Correct"); }
    static QString keySawtooth() { return QStringLiteral("TimingDialog/Sawtooth Auto Correct"); }

    // Reads every key. A missing or unreadable key, and a value outside its range, takes its
    // default, which is written back (a sawtooth mode outside 0..3 becomes 3, Off).
    static TimingDelays load(QSettings &settings);
    void save(QSettings &settings) const;

    // Antenna + measurement cable + receiver delay, ns.
    double utcCorrectionNs() const { return antennaCableDelayNs + measurementCableDelayNs + rxDelayNs; }

    // The total 1PPS offset from UTC, in µs rounded to 0.001: x = epoch × 1000 + fine − extra
    // and the same offset one second away; `early` is the non-positive one, `late` the positive
    // one, `used` the one of smaller magnitude (the late one on a tie).
    struct EpochOffsets
    {
        double earlyUs = 0;
        double lateUs = 0;
        double usedUs = 0;
    };
    EpochOffsets epochOffsets() const;
    // Rounds to 0.001 away from zero at the half.
    static double roundToNanoseconds(double us);

    bool operator==(const TimingDelays &) const = default;
};
