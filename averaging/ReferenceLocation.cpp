#include "averaging/ReferenceLocation.h"

#include "averaging/Geoid.h"

#include <QRegularExpression>
#include <QSettings>
#include <cmath>

namespace ReferenceLocation {

namespace {

const QChar kDegreeSign(0xB0);

bool isSeparator(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == kDegreeSign || c == QLatin1Char('\'')
        || c == QLatin1Char('"');
}

bool isHemisphere(QChar c)
{
    return c == QLatin1Char('N') || c == QLatin1Char('S') || c == QLatin1Char('E') || c == QLatin1Char('W');
}

Parsed refused(Result r) { return { r, 0.0 }; }

} // namespace

Parsed parseCoordinate(const QString &text, Axis axis)
{
    static const QRegularExpression number(QStringLiteral("[-+]?[0-9]*\\.?[0-9]+"));
    const QString t = text.trimmed().toUpper();
    const qsizetype len = t.size();

    QStringList numbers;
    qsizetype pos = 0;
    while (numbers.size() < 3) {
        qsizetype p = pos;
        while (p < len && isSeparator(t[p]))
            ++p;
        const QRegularExpressionMatch m = number.match(t, p, QRegularExpression::NormalMatch,
                                                       QRegularExpression::AnchorAtOffsetMatchOption);
        if (!m.hasMatch())
            break;
        numbers.append(m.captured());
        pos = m.capturedEnd();
    }
    if (numbers.isEmpty())
        return refused(Result::NoValue);

    double v[3] = { 0.0, 0.0, 0.0 };
    for (qsizetype i = 0; i < numbers.size(); ++i) {
        bool ok = false;
        v[i] = numbers[i].toDouble(&ok);
        if (!ok || !std::isfinite(v[i]))
            return refused(i == 0 ? Result::DegreesOutOfRange
                                  : i == 1 ? Result::MinutesOutOfRange : Result::SecondsOutOfRange);
    }
    if (numbers.size() > 1 && !(v[1] >= 0.0 && v[1] < 60.0))
        return refused(Result::MinutesOutOfRange);
    if (numbers.size() > 2 && !(v[2] >= 0.0 && v[2] < 60.0))
        return refused(Result::SecondsOutOfRange);
    for (qsizetype i = 0; i + 1 < numbers.size(); ++i)
        if (numbers[i].contains(QLatin1Char('.')))
            return refused(Result::FractionNotLast);

    // What may follow: marks and blanks, one hemisphere letter, marks and blanks.
    QChar hemisphere;
    while (pos < len && isSeparator(t[pos]))
        ++pos;
    if (pos < len && isHemisphere(t[pos]))
        hemisphere = t[pos++];
    while (pos < len && isSeparator(t[pos]))
        ++pos;
    const bool minus = t.startsWith(QLatin1Char('-'));
    if (pos < len)
        return refused(Result::UnknownCharacters);
    if (minus && !hemisphere.isNull())
        return refused(Result::SignAndHemisphere);

    // The sign of the degrees is the sign of the whole value, applied once.
    double value = std::fabs(v[0]) + v[1] / 60.0 + v[2] / 3600.0;
    if (minus || hemisphere == QLatin1Char('S') || hemisphere == QLatin1Char('W'))
        value = -value;
    if (value == 0.0)
        value = 0.0;   // no "-0"

    const double limit = axis == Axis::Latitude ? 90.0 : 180.0;
    if (!(value >= -limit && value <= limit))
        return refused(Result::DegreesOutOfRange);
    if (axis == Axis::Longitude && value == -180.0)
        value = 180.0;
    return { Result::Ok, value };
}

Parsed parseAltitude(const QString &text)
{
    static const QRegularExpression altitude(
        QStringLiteral("\\A(?:[-+]?(?:[0-9]+\\.[0-9]*|\\.[0-9]+|[0-9]+))\\z"));
    const QString t = text.trimmed();
    if (!altitude.match(t).hasMatch())
        return refused(Result::AltitudeCharacters);   // "???" included: it holds no value
    const double v = t.toDouble();
    if (!(v >= -500.0 && v <= 18000.0))
        return refused(Result::AltitudeOutOfRange);
    return { Result::Ok, v == 0.0 ? 0.0 : v };
}

QString messageTitle(Result result)
{
    switch (result) {
    case Result::Ok: return {};
    case Result::NoValue:
    case Result::FractionNotLast:
    case Result::UnknownCharacters: return QStringLiteral("Format Error");
    case Result::AltitudeCharacters: return QStringLiteral("Extraineous characters in Altitude.");
    case Result::MinutesOutOfRange:
    case Result::SecondsOutOfRange:
    case Result::SignAndHemisphere:
    case Result::DegreesOutOfRange:
    case Result::AltitudeOutOfRange: return QStringLiteral("Numeric Error");
    }
    return {};
}

QString messageText(Result result, Axis axis)
{
    switch (result) {
    case Result::Ok: return {};
    case Result::NoValue:
    case Result::UnknownCharacters: return QStringLiteral("Unknown characters at end of field.");
    case Result::MinutesOutOfRange:
        return QStringLiteral("Minutes field out of range.\nDegrees must be between 0.0 and 60.0");
    case Result::SecondsOutOfRange:
        return QStringLiteral("Seconds field out of range.\nDegrees must be between  0.0 and 60.0");
    case Result::FractionNotLast: return QStringLiteral("Only the last field may have a fractional part.");
    case Result::SignAndHemisphere:
        return QStringLiteral("Do not use both the \"-\" sign and N, S, E, or W indicators.");
    case Result::DegreesOutOfRange:
        return axis == Axis::Latitude
            ? QStringLiteral("Degrees field out of range.\nDegrees must be between -90.0 and +90.0")
            : QStringLiteral("Degrees field out of range.\nDegrees must be between -180.0 and +180.0");
    case Result::AltitudeCharacters:
        return QStringLiteral("Only the following characters are allowed: \"+-1234567890.\"");
    case Result::AltitudeOutOfRange: return QStringLiteral("Field is out of range.\nMust be between -500 and 18000");
    }
    return {};
}

QString formatCoordinate(double value, int navFormat)
{
    if (!std::isfinite(value))
        value = 0.0;
    if (navFormat != 1 && navFormat != 2)
        return QString::asprintf("%9.7f", value) + kDegreeSign;

    // Whole units of the last shown digit, so that rounding carries into minutes and degrees.
    const double unitsPerDegree = navFormat == 1 ? 60.0 * 1e5 : 3600.0 * 1e4;
    const qint64 units = qint64(std::llround(std::fabs(value) * unitsPerDegree));
    const qint64 perDegree = qint64(unitsPerDegree);
    const QString sign = value < 0.0 && units != 0 ? QStringLiteral("-") : QString();
    const qint64 degrees = units / perDegree;
    const qint64 rest = units % perDegree;
    if (navFormat == 1)
        return sign + QString::asprintf("%2.2lld", degrees) + kDegreeSign
            + QString::asprintf("  %8.5f'", double(rest) / 1e5);
    const qint64 perMinute = perDegree / 60;
    return sign + QString::asprintf("%2.2lld", degrees) + kDegreeSign
        + QString::asprintf("  %3lld'  %7.4f\"", rest / perMinute, double(rest % perMinute) / 1e4);
}

QString formatAltitude(double metres)
{
    return QString::asprintf("%04.2f", metres);
}

QString remoteText(const StationPosition &p)
{
    return QString::asprintf("%.8f,%.8f,%.2f,%.2f", p.lat, p.lon, p.altGps, p.altMsl);
}

bool applyRemote(AveragingEngine &engine, const QString &latText, const QString &lonText, const QString &heightText)
{
    const Parsed lat = parseCoordinate(latText, Axis::Latitude);
    const Parsed lon = parseCoordinate(lonText, Axis::Longitude);
    const Parsed msl = parseAltitude(heightText);
    if (!lat.ok() || !lon.ok() || !msl.ok())
        return false;
    engine.setReferenceLocation(lat.value, lon.value, msl.value + geoidSeparation(lat.value, lon.value), msl.value);
    return true;
}

namespace Database {

QString group() { return QStringLiteral("RefLocationDB"); }

bool validName(const QString &name)
{
    return !name.trimmed().isEmpty() && !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\'));
}

QStringList names(QSettings &settings)
{
    settings.beginGroup(group());
    QStringList keys = settings.childKeys();
    settings.endGroup();
    keys.sort();
    return keys;
}

QString recordText(const StationPosition &p)
{
    return QString::asprintf("%018.16f %018.16f %018.16f %018.16f", p.lat, p.lon, p.altGps, p.altMsl);
}

bool load(QSettings &settings, const QString &name, StationPosition &out)
{
    if (!validName(name))
        return false;
    const QString key = group() + QLatin1Char('/') + name;
    if (!settings.contains(key))
        return false;
    QString text = settings.value(key).toString();
    double v[4];
    for (double &x : v)
        if (!AveragingEngine::takeNumber(text, x) || !std::isfinite(x))
            return false;
    out = { v[0], v[1], v[2], v[3] };
    return true;
}

bool save(QSettings &settings, const QString &name, const StationPosition &p)
{
    if (!validName(name))
        return false;
    settings.setValue(group() + QLatin1Char('/') + name, recordText(p));
    return true;
}

bool remove(QSettings &settings, const QString &name)
{
    const QString key = group() + QLatin1Char('/') + name;
    if (!validName(name) || !settings.contains(key))
        return false;
    settings.remove(key);
    return true;
}

} // namespace Database

} // namespace ReferenceLocation
