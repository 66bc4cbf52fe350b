#include "reportfiles.h"

#include "regularfile.h"

#include <QDir>
#include <QFile>
#include <QTextCodec>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace reportfiles {
namespace {

QString errnoText(int e)
{
    return QString::fromLocal8Bit(std::strerror(e));
}

// Valid UTF-8 names only: an undecodable one would not survive a round trip
// and two of them could share a page.
bool decode(const QByteArray &raw, QString *name)
{
    QTextCodec::ConverterState state;
    *name = QTextCodec::codecForName("UTF-8")->toUnicode(raw.constData(), raw.size(), &state);
    return state.invalidChars == 0 && !raw.contains('\0');
}

QString printable(const QByteArray &raw)
{
    QString out;
    for (const char c : raw) {
        const uchar u = uchar(c);
        if (u < 0x20 || u >= 0x7f)
            out += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
        else
            out += QLatin1Char(c);
    }
    return out;
}

} // namespace

bool replaceFile(const QString &path, const QByteArray &bytes, QString *error)
{
    const QByteArray target = QFile::encodeName(path);
    QByteArray temp = target + ".tmp-XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        *error = errnoText(errno);
        return false;
    }
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *error = errnoText(errno);
            ::close(fd);
            ::unlink(temp.constData());
            return false;
        }
        done += n;
    }
    ::fchmod(fd, 0644);
    if (::close(fd) != 0 || ::rename(temp.constData(), target.constData()) != 0) {
        *error = errnoText(errno);
        ::unlink(temp.constData());
        return false;
    }
    return true;
}

bool ensurePlainDir(const QString &dir, QString *error)
{
    const QByteArray d = QFile::encodeName(dir);
    struct stat st;
    if (::lstat(d.constData(), &st) != 0) {
        if (errno != ENOENT || !QDir().mkpath(dir)) {
            *error = QStringLiteral("cannot create the folder");
            return false;
        }
        if (::lstat(d.constData(), &st) != 0) {
            *error = errnoText(errno);
            return false;
        }
    }
    if (!S_ISDIR(st.st_mode)) {
        *error = QStringLiteral("not a folder (a link or a file stands there)");
        return false;
    }
    return true;
}

void removeFile(const QString &path)
{
    const QByteArray p = QFile::encodeName(path);
    struct stat st;
    if (::lstat(p.constData(), &st) == 0 && (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)))
        ::unlink(p.constData());
}

QByteArray readRegular(const QString &path, qint64 limit, bool followLinks, QString *reason)
{
    using platform::RegularFile;
    const RegularFile f = platform::readRegularFile(path, limit, followLinks);
    switch (f.refusal) {
    case RegularFile::None:
        break;
    case RegularFile::OpenFailed:
        *reason = f.error == ENOENT ? QStringLiteral("the file is missing")
                                    : QStringLiteral("the file cannot be read (") + errnoText(f.error) + QLatin1Char(')');
        break;
    case RegularFile::IsLink:
        *reason = QStringLiteral("the file is a link, not a regular file");
        break;
    case RegularFile::NotRegular:
        *reason = QStringLiteral("the file is not a regular file");
        break;
    case RegularFile::TooLarge:
        *reason = QStringLiteral("the file is larger than %1 bytes").arg(limit);
        break;
    case RegularFile::ReadFailed:
        *reason = QStringLiteral("the file cannot be read (") + errnoText(f.error) + QLatin1Char(')');
        break;
    }
    return f.bytes;
}

qint64 countLines(const QString &path, qint64 stopAfter)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    qint64 lines = 0;
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        for (ssize_t i = 0; i < n; ++i)
            lines += buffer[i] == '\n';
        if (lines > stopAfter)
            break;
    }
    ::close(fd);
    return lines;
}

void scanDataDir(const QString &dir, QList<DataEntry> *files, QList<SkippedEntry> *skipped, QString *error)
{
    const QByteArray d = QFile::encodeName(dir);
    DIR *h = ::opendir(d.constData());
    if (!h) {
        if (errno != ENOENT)
            *error = QStringLiteral("data folder not readable: ") + errnoText(errno);
        return;
    }
    while (const dirent *e = ::readdir(h)) {
        const QByteArray raw(e->d_name);
        if (raw == "." || raw == "..")
            continue;
        QString name;
        if (!decode(raw, &name)) {
            skipped->append({printable(raw), QStringLiteral("name is not valid UTF-8")});
            continue;
        }
        if (name.endsWith(QLatin1String(".dat.ai")) && !name.startsWith(QLatin1Char('.')))
            continue; // a companion, shown with its data file
        if (name.startsWith(QLatin1Char('.'))) {
            skipped->append({printable(raw), QStringLiteral("hidden name (starts with \".\")")});
            continue;
        }
        const QByteArray full = d + '/' + raw;
        struct stat st;
        if (::stat(full.constData(), &st) != 0) {
            skipped->append({printable(raw), QStringLiteral("dangling link")});
            continue;
        }
        if (!S_ISREG(st.st_mode)) {
            skipped->append({printable(raw), S_ISDIR(st.st_mode) ? QStringLiteral("a folder")
                                             : S_ISFIFO(st.st_mode) ? QStringLiteral("a FIFO, not a regular file")
                                                                    : QStringLiteral("not a regular file")});
            continue;
        }
        if (!name.endsWith(QLatin1String(".dat"))) {
            skipped->append({printable(raw), QStringLiteral("not a data file (.dat)")});
            continue;
        }
        DataEntry entry;
        entry.name = name;
        entry.size = st.st_size;
        entry.modifiedMs = qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
        files->append(entry);
    }
    ::closedir(h);
}

} // namespace reportfiles
