#pragma once
#include <QByteArray>
#include <QList>
#include <QString>

// File handling of the report with hostile folders in mind: nothing is
// written through a link or outside the output folder, nothing blocks on a
// FIFO, nothing is read without a size limit.
namespace reportfiles {

// Writes `bytes` to `path` by a temporary file beside it and a rename, so a
// reader never sees half a file and a link planted at `path` is replaced, not
// followed. No sync: the report is made again from data/ after a crash.
bool replaceFile(const QString &path, const QByteArray &bytes, QString *error);

// True when `dir` is a real folder (not a link to one); made when missing.
bool ensurePlainDir(const QString &dir, QString *error);

// Removes `path` when it is a regular file or a link (the link itself).
void removeFile(const QString &path);

// Reads a regular file (no FIFO, device or folder; a link only with
// `followLinks`) of at most `limit` bytes. On refusal: empty, with a reason in
// plain words (never the path); an empty file leaves the reason empty.
QByteArray readRegular(const QString &path, qint64 limit, bool followLinks, QString *reason);

// Counts the lines of a regular file without keeping it; -1 when unreadable.
qint64 countLines(const QString &path, qint64 stopAfter);

struct DataEntry
{
    QString name;       // as in data/ (valid UTF-8)
    qint64 size = 0;
    qint64 modifiedMs = 0;
};

struct SkippedEntry
{
    QString name;       // printable form of the name
    QString reason;
};

// The data files of `dir` (regular ".dat" files, links to them included) and
// every other entry except ".dat.ai" companions, named with why it was left out.
void scanDataDir(const QString &dir, QList<DataEntry> *files, QList<SkippedEntry> *skipped, QString *error);

} // namespace reportfiles
