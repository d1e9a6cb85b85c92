#include "core/TimingDelays.h"

#include <QSettings>
#include <cmath>

namespace {

double readNumber(QSettings &s, const QString &key, double fallback, double low, double high, const char *pattern)
{
    bool ok = false;
    const QVariant v = s.value(key);
    const double value = v.isValid() ? v.toString().trimmed().toDouble(&ok) : 0.0;
    if (ok && std::isfinite(value) && value >= low && value <= high)
        return value;
    s.setValue(key, QString::asprintf(pattern, fallback));
    return fallback;
}

bool readFlag(QSettings &s, const QString &key, bool fallback, const QString &storedTrue, const QString &storedFalse)
{
    const QString t = s.value(key).toString().trimmed().toLower();
    if (t == QLatin1String("true") || t == QLatin1String("1"))
        return true;
    if (t == QLatin1String("false") || t == QLatin1String("0"))
        return false;
    s.setValue(key, fallback ? storedTrue : storedFalse);
    return fallback;
}

} // namespace

TimingDelays TimingDelays::load(QSettings &s)
{
    const TimingDelays d;
    TimingDelays t;
    t.epochOffsetMs = int(readNumber(s, keyEpoch(), d.epochOffsetMs, 0, 999, "%.0f"));
    if (s.value(keyEpoch()).toString().contains(QLatin1Char('.'))) {   // whole milliseconds only
        t.epochOffsetMs = d.epochOffsetMs;
        s.setValue(keyEpoch(), QStringLiteral("0"));
    }
    t.ppsFineOffsetUs = readNumber(s, keyPpsDelay(), d.ppsFineOffsetUs, 0, 999.999, "%.3f");
    t.antennaCableDelayNs = readNumber(s, keyAntennaCable(), d.antennaCableDelayNs, 0, 20000, "%.1f");
    t.measurementCableDelayNs = readNumber(s, keyMeasurementCable(), d.measurementCableDelayNs, 0, 20000, "%.1f");
    t.rxDelayNs = readNumber(s, keyRxDelay(), d.rxDelayNs, 0, 1000, "%.1f");
    t.extraDelayUs = readNumber(s, keyExtraDelay(), d.extraDelayUs, 0, 999.999, "%.3f");
    t.traimLimitNs = readNumber(s, keyTraim(), d.traimLimitNs, 250, 1000, "%.1f");
    t.traimKill1pps = readFlag(s, keyTraimKill(), d.traimKill1pps, QStringLiteral("1"), QStringLiteral("0"));
    t.ticAutoCorrect = readFlag(s, keyAutoCorrect(), d.ticAutoCorrect, QStringLiteral("true"), QStringLiteral("false"));
    bool ok = false;
    const QVariant mode = s.value(keySawtooth());
    t.sawtoothMode = mode.isValid() ? mode.toString().trimmed().toInt(&ok) : 0;
    if (!mode.isValid() || !ok || t.sawtoothMode < 0 || t.sawtoothMode > 3) {
        t.sawtoothMode = mode.isValid() ? int(Off) : int(Automatic);
        s.setValue(keySawtooth(), QString::number(t.sawtoothMode));
    }
    return t;
}

void TimingDelays::save(QSettings &s) const
{
    s.setValue(keyEpoch(), QString::number(epochOffsetMs));
    s.setValue(keyPpsDelay(), QString::asprintf("%.3f", ppsFineOffsetUs));
    s.setValue(keyAntennaCable(), QString::asprintf("%.1f", antennaCableDelayNs));
    s.setValue(keyMeasurementCable(), QString::asprintf("%.1f", measurementCableDelayNs));
    s.setValue(keyRxDelay(), QString::asprintf("%.1f", rxDelayNs));
    s.setValue(keyExtraDelay(), QString::asprintf("%.3f", extraDelayUs));
    s.setValue(keyTraim(), QString::asprintf("%.1f", traimLimitNs));
    s.setValue(keyTraimKill(), traimKill1pps ? QStringLiteral("1") : QStringLiteral("0"));
    s.setValue(keyAutoCorrect(), ticAutoCorrect ? QStringLiteral("true") : QStringLiteral("false"));
    s.setValue(keySawtooth(), QString::number(sawtoothMode));
}

double TimingDelays::roundToNanoseconds(double us)
{
    const double scaled = us * 1000.0 + (us >= 0 ? 0.5 : -0.5);
    return std::trunc(scaled) / 1000.0;
}

TimingDelays::EpochOffsets TimingDelays::epochOffsets() const
{
    const double x = roundToNanoseconds(epochOffsetMs * 1000.0 + ppsFineOffsetUs - extraDelayUs);
    double y = x + 1000000.0;
    if (y > 1000000.0)
        y -= 2000000.0;
    y = roundToNanoseconds(y);
    EpochOffsets e;
    e.earlyUs = x > 0 ? y : x;
    e.lateUs = x > 0 ? x : y;
    e.usedUs = std::fabs(e.earlyUs) < std::fabs(e.lateUs) ? e.earlyUs : e.lateUs;
    return e;
}
