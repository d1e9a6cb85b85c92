#pragma once

#include <QDate>
#include <QDateTime>

// GPS week rollover correction. The GPS signal counts weeks modulo 1024 (about 19.6 years), so
// a receiver whose firmware assumes an epoch that has passed reports dates whole 1024-week
// epochs early (an Oncore of the 1990s shows August 2000 for April 2020). The correction
// moves a received date forward by whole epochs before the program stores it as the receiver
// time; everything that reads the receiver time (display, logs, PC clock, remote commands)
// sees the corrected date, while the raw-data window keeps the receiver's own bytes.
//
// Modes, as the receiver settings store them:
//   None       the date is stored as received (the default);
//   Automatic  a date earlier than the build date minus half an epoch (512 weeks) is moved
//              forward by whole epochs until it is not: dates from about ten years before the
//              build to ten years after it are taken as they come;
//   Fixed      the date is moved forward by a fixed number of epochs (1 to 4).
struct GpsWeekRollover
{
    enum Mode { None = 0, Automatic = 1, Fixed = 2 };

    static constexpr int DaysPerEpoch = 1024 * 7;
    static constexpr int AutomaticMarginDays = 512 * 7;
    static constexpr int MaxFixedEpochs = 4;

    int mode = None;
    int fixedEpochs = 1;   // used in Fixed mode
    // The date the automatic mode measures from; invalid means the program's build date.
    QDate referenceDate;

    // The date-time moved forward by the epochs this setting adds to it.
    QDateTime corrected(const QDateTime &received) const;
    // Whole epochs added to a date received at `received`.
    int epochsFor(const QDate &received) const;

    // The day the program was built (from the compiler).
    static QDate buildDate();

    bool operator==(const GpsWeekRollover &) const = default;
};
