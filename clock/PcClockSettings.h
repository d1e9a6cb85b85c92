#pragma once

#include <QString>
#include <cstdint>

class QSettings;

// The clock synchronisation choices of "Set PC Clock", as stored under "SetPcClockDialog/".
struct PcClockSettings
{
    enum Mode { Disable = 0, OneTime = 1, EverySecond = 2, EveryMinute = 3, EveryHour = 4, EveryDay = 5 };
    enum Units { Hours = 0, Minutes = 1, Seconds = 2 };
    // Where corrections go: samples to chrony, which disciplines the clock, or the kernel's
    // clock calls made by this program (needs CAP_SYS_TIME).
    enum Method { ChronyFeed = 0, KernelSetter = 1 };

    int mode = Disable;
    bool thresholdOn = false;
    int thresholdMs = 1;
    bool maxCorrectionOn = false;
    int maxCorrectionQty = 2;
    int maxCorrectionUnits = Hours;
    bool overrideTraim = false;
    bool overrideIntegrity = false;
    int method = ChronyFeed;
    QString chronySocket;

    // The largest correction in seconds; 0 = no limit.
    int64_t maxCorrectionSeconds() const;

    // Reads every key, repairing missing and out-of-range values (written back at once).
    static PcClockSettings load(QSettings &s);
    // Writes what the dialog's OK writes.
    void save(QSettings &s) const;
    // Stores mode 0 alone (synchronisation switched off after a refused capability).
    static void storeModeOff(QSettings &s);

    static QString defaultChronySocket();
    static QString keyMode();
};
