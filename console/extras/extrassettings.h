#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>

// Settings of the optional extras file next to tuvarn.ini. One setting a line:
// key, blank, value; '#' starts a comment line. Without the file every extra is
// off and the console behaves exactly as without this code.
inline constexpr const char ExtrasFileName[] = "extras.ini";

struct ExtrasSettings
{
    bool present = false;           // the file was there and read
    bool statusFile = false;        // StatusFile enable: write status.json
    QString passHook;               // PassHook <command line>: run after each data file
    int passHookTimeout = 60;       // PassHookTimeout <s>: killed after this long
    int parkAfter = -1;             // ParkAfter <s>: origin this long after a finish; -1 off
    int parkUnlessPassWithin = 600; // ParkUnlessPassWithin <s>: no park when a pass starts this soon
    QStringList problems;           // lines that were not understood, for the log
};

// The largest extras file read; a longer one is refused whole, never cut.
inline constexpr qint64 MaxExtrasFileSize = 64 * 1024;

ExtrasSettings parseExtrasSettings(const QByteArray &bytes);
// Reads extras.ini in the working directory; absent: every extra off. A file
// that is not a regular file, is larger than MaxExtrasFileSize, holds a NUL
// byte or cannot be read is refused whole: every extra off, the reason in
// problems.
ExtrasSettings loadExtrasSettings(const QString &path = QLatin1String(ExtrasFileName));
