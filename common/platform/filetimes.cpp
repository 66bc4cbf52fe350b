#include "filetimes.h"

#include <QFile>

#ifdef Q_OS_UNIX
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#else
#include <QDateTime>
#include <QDirIterator>
#include <QFileInfo>
#endif

namespace platform {

namespace {
QString folderPath(const QString &folder)
{
    return folder.isEmpty() ? QStringLiteral(".") : folder;
}
}

#ifdef Q_OS_UNIX

namespace {

qint64 millisecondsOf(const struct stat &st)
{
    return qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
}

// Calls `take` with every entry that may be a matching file, with the folder's
// descriptor for status calls relative to it.
template<typename Take>
void eachEntry(const QString &folder, const QString &suffix, Take take)
{
    DIR *dir = ::opendir(QFile::encodeName(folderPath(folder)).constData());
    if (!dir)
        return;
    const int fd = ::dirfd(dir);
    while (const dirent *entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue; // hidden, "." and ".."
        if (entry->d_type != DT_REG && entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN)
            continue;
        const QString name = QFile::decodeName(entry->d_name);
        if (name.endsWith(suffix, Qt::CaseInsensitive))
            take(fd, entry, name);
    }
    ::closedir(dir);
}

} // namespace

QVector<FileTime> filesWithTimes(const QString &folder, const QString &suffix)
{
    QVector<FileTime> out;
    eachEntry(folder, suffix, [&out](int fd, const dirent *entry, const QString &name) {
        struct stat st {};
        // Follows links, as QFileInfo does; a dangling one fails and is left out.
        if (::fstatat(fd, entry->d_name, &st, 0) == 0 && S_ISREG(st.st_mode))
            out.append({name, millisecondsOf(st), quint64(entry->d_ino)});
    });
    return out;
}

QVector<FileTime> folderEntries(const QString &folder, const QString &suffix)
{
    QVector<FileTime> out;
    eachEntry(folder, suffix, [&out](int, const dirent *entry, const QString &name) {
        out.append({name, -1, quint64(entry->d_ino)});
    });
    return out;
}

bool readFileTime(const QString &folder, FileTime *file)
{
    struct stat st {};
    const QByteArray path = QFile::encodeName(folderPath(folder) + QLatin1Char('/') + file->name);
    if (::stat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    file->modifiedMs = millisecondsOf(st);
    return true;
}

#else

QVector<FileTime> filesWithTimes(const QString &folder, const QString &suffix)
{
    QVector<FileTime> out;
    QDirIterator it(folderPath(folder), {QLatin1Char('*') + suffix}, QDir::Files);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        out.append({info.fileName(), info.lastModified().toMSecsSinceEpoch(), 0});
    }
    return out;
}

QVector<FileTime> folderEntries(const QString &folder, const QString &suffix)
{
    QVector<FileTime> out;
    QDirIterator it(folderPath(folder), {QLatin1Char('*') + suffix}, QDir::Files);
    while (it.hasNext())
        out.append({QFileInfo(it.next()).fileName(), -1, 0});
    return out;
}

bool readFileTime(const QString &folder, FileTime *file)
{
    const QFileInfo info(folderPath(folder) + QLatin1Char('/') + file->name);
    if (!info.isFile())
        return false;
    file->modifiedMs = info.lastModified().toMSecsSinceEpoch();
    return true;
}

#endif

} // namespace platform
