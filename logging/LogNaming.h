#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

// File names of the counter log sets and the GPS data logs. A name is
//   <directory>/<prefix>_<YYYY>_<DDD><letters><extension>
// e.g. VORA_2026_337A_PORT_01.csv, VORA_2026_337C.txt, VORA_2026_337G.bin. The year keeps
// next year's day 337 from landing in this year's file.
namespace LogNaming {

// "C:/ChronodeData" on Windows, a "ChronodeData" folder in the user's home elsewhere.
QString defaultDirectory();

// Cuts a picked file name back to its prefix: the file-name part (never the directory) is cut
// at its first "." and then at the first match of each date-stamp pattern in turn (the
// "_YYYY_DDD" form and the old day-only form). Directory kept as given.
QString cutBase(const QString &path);
// The prefix alone: cutBase() of the path, after its last "/".
QString prefixOf(const QString &path);

// "_YYYY_DDD" of a date.
QString dayStamp(const QDate &date);

// Counter logs: ticLogStyle 0 ".prn", 1 ".csv", 2 ".txt".
QString counterExtension(int style);
QString counterTimeFile(const QString &base, const QDate &date, int port, int style);
QString counterAverageFile(const QString &base, const QDate &date, int port, int style);
QString counterConfigFile(const QString &base, const QDate &date);
// The seventeen files of a set: configuration log first, then per port the time and average file.
QStringList counterSet(const QString &base, const QDate &date, int style);

// GPS data log of a type (0 Raw, 1 Binary, 2 PVT, 3 NMEA, 4 RINEX); the RINEX type writes a
// RINEX observation file (".obs") for u-blox receivers and the Oncore stream (".bin") otherwise.
QString gpsExtension(int type, bool rinexObservation = false);
QString gpsFile(const QString &base, const QDate &date, int type, bool rinexObservation = false);

} // namespace LogNaming
