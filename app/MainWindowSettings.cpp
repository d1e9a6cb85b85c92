#include "app/MainWindowSettings.h"

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

// Reads an int key; a missing or non-numeric value becomes the default and is written back.
int readInt(QSettings &s, const QString &key, int def, bool &ok)
{
    const QVariant v = s.value(key);
    ok = false;
    if (!v.isValid()) {
        s.setValue(key, def);
        return def;
    }
    const int value = v.toString().trimmed().toInt(&ok);
    if (!ok) {
        s.setValue(key, def);
        return def;
    }
    return value;
}

// Reads a bool key. Only the texts a bool is stored as ("true", "false", "1", "0") count;
// anything else becomes the default and is written back.
bool readBool(QSettings &s, const QString &key, bool def)
{
    const QVariant v = s.value(key);
    if (!v.isValid()) {
        s.setValue(key, def);
        return def;
    }
    if (v.typeId() == QMetaType::Bool)
        return v.toBool();
    const QString t = v.toString().trimmed().toLower();
    if (t == QLatin1String("true") || t == QLatin1String("1"))
        return true;
    if (t == QLatin1String("false") || t == QLatin1String("0"))
        return false;
    s.setValue(key, def);
    return def;
}

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

    bool ok = false;
    clockDisplay = readInt(s, kClockDisplay, 0, ok);
    if (ok && (clockDisplay < 0 || clockDisplay >= ClockDisplayModes)) {
        clockDisplay = 0;
        s.setValue(kClockDisplay, clockDisplay);
    }

    // 3 and 4 were formats of an earlier release: they fall back to dd.ddd. Values above 4
    // are kept as stored (the display shows them as dd.ddd).
    navDataFormat = readInt(s, kNavFormat, 0, ok);
    if (ok && (navDataFormat == 3 || navDataFormat == 4 || navDataFormat < 0)) {
        navDataFormat = 0;
        s.setValue(kNavFormat, navDataFormat);
    }

    toolbarVisible = readBool(s, kToolbar, true);

    // Every value other than 0..3 means "unsorted", so none needs repair.
    satelliteSortMode = readInt(s, kSortMode, 4, ok);

    soundTicks = readBool(s, kSound, true);
    soundOutOfLock = readBool(s, kSoundOol, true);
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
