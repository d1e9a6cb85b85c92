#pragma once

#include <QByteArray>

class QSettings;

// The four sound modes of the Sound menu, made of the two stored flags.
enum class SoundMode { All, OutOfLockOnly, ClockTicksOnly, None };

SoundMode soundModeOf(bool soundTicks, bool soundOutOfLock);
void soundFlagsOf(SoundMode mode, bool &soundTicks, bool &soundOutOfLock);

// The main window's own settings (group "MainWindow"). Loading fills in a missing key with
// its default and repairs an unusable stored value; both are written back at once, so the
// store always holds what the program runs with.
struct MainWindowSettings
{
    static constexpr int ClockDisplayModes = 8;   // 0 UTC ... 7 TIC_Raw

    QByteArray geometry;      // empty when none stored
    QByteArray windowState;   // empty when none stored
    int clockDisplay = 0;
    int navDataFormat = 0;
    bool toolbarVisible = true;
    int satelliteSortMode = 4;
    bool soundTicks = true;
    bool soundOutOfLock = true;

    void load(QSettings &settings);
    static MainWindowSettings loaded(QSettings &settings);

    // Writers for the keys the user changes from the menus and buttons.
    static void storeClockDisplay(QSettings &settings, int mode);
    static void storeNavDataFormat(QSettings &settings, int format);
    static void storeToolbarVisible(QSettings &settings, bool visible);
    static void storeSatelliteSortMode(QSettings &settings, int mode);
    static void storeSoundMode(QSettings &settings, SoundMode mode);
    static void storeWindowLayout(QSettings &settings, const QByteArray &geometry, const QByteArray &windowState);
};
