#pragma once

#include <QDateTime>
#include <QSettings>
#include <QString>
#include <QStringList>
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

// --- the settings file at start ---------------------------------------------------------------

// What the start-up look at the settings file found.
struct StartCheck
{
    bool firstRun = false;   // no settings file at all
    bool damaged = false;    // unreadable or not parseable: kept aside, the store starts afresh
    QString fileName;        // the settings file
    QString keptAs;          // the dated copy of a damaged file
};

// Looks at the default store's file before anything reads it. A file that cannot be read, holds
// bytes no settings file has, a line that is neither a group, a key nor a comment, or ends in the
// middle of a line (cut short) is damaged: it is moved aside as "<file>.damaged-yyyyMMdd-hhmmss"
// and a notice is queued. Remembers whether this is a first run.
StartCheck checkStore(const QDateTime &now = QDateTime::currentDateTime());
// Whether the settings file's content is sound (the test of checkStore on bytes).
bool looksSound(const QByteArray &content);
// True when the last checkStore found no settings file (and before any check). Defaults that
// would invent a device (the simulated receiver and counters) apply only then.
bool firstRun();
void setFirstRun(bool firstRun);

// Notices about settings that had to be repaired at start, told once to the user (status bar,
// raw-data window). Taking them empties the queue.
void addNotice(const QString &text);
QStringList takeNotices();

} // namespace Settings
