#pragma once
#include "filetimes.h"

#include <QHash>
#include <QString>
#include <QVector>

// The data files of one folder, newest first; files of the same millisecond
// by name. Each file's time is read once per look at the folder and the order
// is kept up to date from what changed, so a folder of thousands of passes
// costs a scan, not a new sort, when one file arrives.
class PassList
{
public:
    // One step that brings a view of the list up to date: remove the row, or
    // insert the name at the row (rows count in the list as it is at that
    // step), or show the whole list anew (when most of it changed).
    struct Edit
    {
        enum Kind { Remove, Insert, Reset };
        Kind kind;
        int row;
        QString name;
    };

    // Lists `folder` anew.
    void load(const QString &folder);
    // Looks at the same folder again and applies what changed: added, removed
    // and replaced files (a replaced one moves to its new place). Reads the
    // folder's names and the times of new or replaced names only. The edits
    // are in the order to apply them.
    QVector<Edit> update();
    // As update(), but reads every file's time again, so that a file whose
    // time changed in place (touched, rewritten) moves too.
    QVector<Edit> recheck();

    // Orders and keeps a listing taken elsewhere.
    void setFiles(const QVector<FileTime> &files);
    // Brings the list to `files` by edits.
    QVector<Edit> applyFiles(const QVector<FileTime> &files);

    QString folder() const { return m_folder; }
    int count() const { return m_entries.size(); }
    QString name(int row) const { return m_entries.at(row).name; }
    QStringList names() const;

    // Newest first; the same millisecond by name, as QDir::Time sorts.
    static bool before(const FileTime &a, const FileTime &b);

private:
    QVector<FileTime> m_entries;
    QHash<QString, FileTime> m_known;
    QString m_folder;
};
