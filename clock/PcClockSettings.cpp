#include "clock/PcClockSettings.h"

#include "core/Settings.h"

#include <QSettings>

namespace {
QString key(const char *name)
{
    return QStringLiteral("SetPcClockDialog/") + QLatin1String(name);
}
} // namespace

QString PcClockSettings::keyMode()
{
    return key("Time Sync Mode");
}

QString PcClockSettings::defaultChronySocket()
{
    return QStringLiteral("/run/chrony/chronode.sock");
}

int64_t PcClockSettings::maxCorrectionSeconds() const
{
    if (!maxCorrectionOn)
        return 0;
    static constexpr int64_t perUnit[] = { 3600, 60, 1 };
    const int unit = (maxCorrectionUnits >= Hours && maxCorrectionUnits <= Seconds) ? maxCorrectionUnits : Hours;
    return int64_t(maxCorrectionQty) * perUnit[unit];
}

PcClockSettings PcClockSettings::load(QSettings &s)
{
    PcClockSettings p;
    p.mode = Settings::readInt(s, keyMode(), Disable, Disable, EveryDay);
    p.thresholdOn = Settings::readBool(s, key("Time Sync Delta"), false);
    // Up to 999 ms; a larger stored value reads as 0, which no error can reach below.
    p.thresholdMs = Settings::readInt(s, key("Time Sync Delta Msec"), 1, 0);
    if (p.thresholdMs > 999)
        p.thresholdMs = 0;
    p.maxCorrectionOn = Settings::readBool(s, key("Time Sync Max On"), false);
    p.maxCorrectionQty = Settings::readInt(s, key("Time Sync Max Qty"), 2, 0);
    p.maxCorrectionUnits = Settings::readInt(s, key("Time SyncMax Units"), Hours, Hours, Seconds);
    p.overrideTraim = Settings::readBool(s, key("Time Sync Override TRAIM"), false);
    p.overrideIntegrity = Settings::readBool(s, key("Time Sync Override Integrity"), false);
    p.method = Settings::readInt(s, key("Time Sync Method"), ChronyFeed, ChronyFeed, KernelSetter);
    p.chronySocket = Settings::readText(s, key("Chrony Socket"), defaultChronySocket(),
                                        [](const QString &t) { return t.startsWith(QLatin1Char('/')); });
    return p;
}

void PcClockSettings::save(QSettings &s) const
{
    s.setValue(keyMode(), mode);
    s.setValue(key("Time Sync Delta"), thresholdOn);
    s.setValue(key("Time Sync Delta Msec"), thresholdMs);
    s.setValue(key("Time Sync Max On"), maxCorrectionOn);
    s.setValue(key("Time Sync Max Qty"), maxCorrectionQty);
    s.setValue(key("Time SyncMax Units"), maxCorrectionUnits);
    s.setValue(key("Time Sync Override TRAIM"), overrideTraim);
    s.setValue(key("Time Sync Override Integrity"), overrideIntegrity);
    s.setValue(key("Time Sync Method"), method);
    s.setValue(key("Chrony Socket"), chronySocket);
}

void PcClockSettings::storeModeOff(QSettings &s)
{
    s.setValue(keyMode(), Disable);
}
