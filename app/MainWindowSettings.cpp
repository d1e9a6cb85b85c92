#include "app/MainWindowSettings.h"

#include "core/Settings.h"

#include <QSettings>
#include <QString>
#include <QVariant>

namespace {

const QString kGeometry = QStringLiteral("MainWindow/geometry");
const QString kWindowState = QStringLiteral("MainWindow/windowState");
const QString kClockDisplay = QStringLiteral("MainWindow/ClockDisplay");
const QString kNavFormat = QStringLiteral("MainWindow/Navigation Data Format");
const QString kToolbar = QStringLiteral("MainWindow/Toolbar Visible");
const QString kSortMode = QStringLiteral("MainWindow/Satellite Sort Mode");
const QString kSound = QStringLiteral("MainWindow/Sound");
const QString kSoundOol = QStringLiteral("MainWindow/Sound OOL");



} // namespace

SoundMode soundModeOf(bool soundTicks, bool soundOutOfLock)
{
    if (soundTicks)
        return soundOutOfLock ? SoundMode::All : SoundMode::ClockTicksOnly;
    return soundOutOfLock ? SoundMode::OutOfLockOnly : SoundMode::None;
}

void soundFlagsOf(SoundMode mode, bool &soundTicks, bool &soundOutOfLock)
{
    soundTicks = (mode == SoundMode::All || mode == SoundMode::ClockTicksOnly);
    soundOutOfLock = (mode == SoundMode::All || mode == SoundMode::OutOfLockOnly);
}

void MainWindowSettings::load(QSettings &s)
{
    geometry = s.value(kGeometry).toByteArray();
    windowState = s.value(kWindowState).toByteArray();

    clockDisplay = Settings::readInt(s, kClockDisplay, 0, 0, ClockDisplayModes - 1);

    // 3 and 4 were formats of an earlier release: they fall back to dd.ddd. Values above 4
    // are kept as stored (the display shows them as dd.ddd).
    navDataFormat = Settings::readInt(s, kNavFormat, 0);
    if (navDataFormat == 3 || navDataFormat == 4 || navDataFormat < 0) {
        navDataFormat = 0;
        s.setValue(kNavFormat, navDataFormat);
    }

    toolbarVisible = Settings::readBool(s, kToolbar, true);

    // Every value other than 0..3 means "unsorted", so none needs repair.
    satelliteSortMode = Settings::readInt(s, kSortMode, 4);

    soundTicks = Settings::readBool(s, kSound, true);
    soundOutOfLock = Settings::readBool(s, kSoundOol, true);
}

MainWindowSettings MainWindowSettings::loaded(QSettings &settings)
{
    MainWindowSettings m;
    m.load(settings);
    return m;
}

void MainWindowSettings::storeClockDisplay(QSettings &s, int mode) { s.setValue(kClockDisplay, mode); }
void MainWindowSettings::storeNavDataFormat(QSettings &s, int format) { s.setValue(kNavFormat, format); }
void MainWindowSettings::storeToolbarVisible(QSettings &s, bool visible) { s.setValue(kToolbar, visible); }
void MainWindowSettings::storeSatelliteSortMode(QSettings &s, int mode) { s.setValue(kSortMode, mode); }

void MainWindowSettings::storeSoundMode(QSettings &s, SoundMode mode)
{
    bool ticks = false;
    bool ool = false;
    soundFlagsOf(mode, ticks, ool);
    s.setValue(kSound, ticks);
    s.setValue(kSoundOol, ool);
}

void MainWindowSettings::storeWindowLayout(QSettings &s, const QByteArray &geometry, const QByteArray &windowState)
{
    s.setValue(kGeometry, geometry);
    s.setValue(kWindowState, windowState);
}
