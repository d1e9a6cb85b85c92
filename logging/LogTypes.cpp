#include "logging/LogTypes.h"

QString logResultText(LogResult result)
{
    switch (result) {
    case LogResult::Ok: return QStringLiteral("ok");
    case LogResult::FileExists: return QStringLiteral("file exists");
    case LogResult::FileMissing: return QStringLiteral("no file for the current day");
    case LogResult::Refused: return QStringLiteral("replace refused");
    case LogResult::OpenFailed: return QStringLiteral("cannot open file");
    case LogResult::BadMode: return QStringLiteral("bad open mode");
    case LogResult::NotOpen: return QStringLiteral("not open");
    }
    return {};
}

QString gpsLogTypeName(int type)
{
    static const char *const names[] = { "Raw", "Binary", "PVT", "NMEA", "RINEX" };
    return type >= 0 && type < 5 ? QString::fromLatin1(names[type]) : QString();
}
