#pragma once
#include <QString>
#include <QVector>

// A file of a folder: its name, its modification time in milliseconds since
// the epoch (UTC, truncated to the millisecond as QFileInfo reports it) and
// the system's number for the file itself (0 where there is none), which
// changes when another file is renamed over the name.
struct FileTime
{
    QString name;
    qint64 modifiedMs = -1;
    quint64 id = 0;
};

namespace platform {

// The regular files of a folder whose names end in `suffix` (any case), with
// their times, in no particular order. Like QDir::Files: hidden files and
// anything that is not a file (or a link to one) are left out. One read of the
// folder and one status call per file; no local-time conversion.
QVector<FileTime> filesWithTimes(const QString &folder, const QString &suffix);

// The same names and ids from the folder alone, times not read (-1): cheap
// enough to run on every change of a large folder. May hold names that
// readFileTime() then refuses (links to folders, say).
QVector<FileTime> folderEntries(const QString &folder, const QString &suffix);

// Reads the time of folder/file->name; false unless it is a regular file (or a
// link to one). The id stays as the folder listed it.
bool readFileTime(const QString &folder, FileTime *file);

} // namespace platform
