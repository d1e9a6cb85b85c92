#pragma once

#include <QSettings>
#include <QString>
#include <climits>
#include <functional>

// The settings store's one read-and-repair rule: a key that is missing, unreadable or out of
// range takes its default, and the default is written back at once, so the file always shows
// what the program uses.
namespace Settings {

inline constexpr const char *Organisation = "KTW Systems";
inline constexpr const char *Application = "Chronode";

// An integer key (a stored number or its text) within [lo, hi].
int readInt(QSettings &s, const QString &key, int def, int lo = INT_MIN, int hi = INT_MAX);
// A bool key: a stored bool, or the texts "true", "false", "1", "0" in any case.
bool readBool(QSettings &s, const QString &key, bool def);
// A text key; `accept` (when given) refuses texts that are not valid.
QString readText(QSettings &s, const QString &key, const QString &def,
                 const std::function<bool(const QString &)> &accept = {});
// A number stored as text in a fixed pattern (`format`): a missing key takes `missingValue`,
// a refused or non-numeric one `repairValue`; either is written back formatted.
double readTextNumber(QSettings &s, const QString &key, double missingValue, double repairValue,
                      const std::function<bool(double)> &accept, QString (*format)(double));

} // namespace Settings
