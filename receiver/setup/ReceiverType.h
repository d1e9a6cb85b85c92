#pragma once

#include <QString>
#include <QStringList>

class QSettings;
struct ReceiverState;

// The receiver model chosen by hand ("GpsRxType"): the receiver family and its firmware range.
// In "Motorola Binary Rx Only" nothing may be sent, so the receiver cannot be asked who it is;
// this choice then gives the model, channel count and firmware the decoders and the 1PPS
// interface (sawtooth and T-RAIM message family) depend on.
//
// The choice is one number, stored under "GpsRxType/PPS Interface":
//   0..3 "VP, XT, PVT6"    "up to 6.9", "7.0 - 7.9", "8.0 - 8.7", "8.8 and up"
//   4..6 "UT, UT+"         "up to 1.5", "1.6 - 1.9", "2.0 and up"
//   7    "GT, GT+, SL"     "1.0 and up"
//   8    "M12, M12+, M12M" "1.0 and up"
// A missing or unknown value becomes 8 and is written back.
struct ReceiverType
{
    static constexpr int Count = 9;
    static constexpr int DefaultChoice = 8;

    int choice = DefaultChoice;

    static QStringList families();   // the four family texts
    static int familyOf(int choice);  // 0..3
    // The firmware ranges offered for a family, and the choice of a family's n-th range.
    static QStringList firmwareRanges(int family);
    static int choiceOf(int family, int range);
    static int rangeOf(int choice);

    static QString keyChoice() { return QStringLiteral("GpsRxType/PPS Interface"); }
    static QString keyGeometry() { return QStringLiteral("GpsRxType/geometry"); }
    static ReceiverType load(QSettings &settings);
    void save(QSettings &settings) const;

    // Model code, channel count (the channels used too) and firmware version (the lowest of
    // the range) written into the receiver state.
    void applyTo(ReceiverState &state) const;
};
