#pragma once

#include <QString>

// What an open, close or replace of a log came to. The menus turn a failure into a message
// box, the remote commands into a reply; the recorder itself never shows anything.
enum class LogResult : int {
    Ok = 0,
    FileExists,     // create (mode 0) found the day's file already there
    FileMissing,    // open existing (mode 3) found no file of the day
    Refused,        // the replace question was answered Cancel (mode 1)
    OpenFailed,     // the file system refused to create or open a file
    BadMode,        // a mode other than 0..3
    NotOpen,        // close of a log that was not open
};

// Short English text of a result ("file exists", ...), for replies and debug lines.
QString logResultText(LogResult result);

// Open modes shared by both log families.
namespace LogOpenMode {
enum : int {
    Create = 0,          // create; the GPS log fails if the day's file exists, the counter set
                         // (the daily restart) appends to it
    CreateConfirm = 1,   // create, asking before a day's file is replaced
    Replace = 2,         // create, replacing the day's files without asking
    Append = 3,          // open the day's existing files to append
};
}

// GPS data log types, as stored in "LogFiles/GpsLogDataType".
enum class GpsLogType : int { Raw = 0, Binary = 1, Pvt = 2, Nmea = 3, Rinex = 4 };

// "Raw", "Binary", "PVT", "NMEA", "RINEX" (the name in the log's header).
QString gpsLogTypeName(int type);
