#include "regularfile.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

RegularFile readRegularFile(const QString &path, qint64 limit, bool followLinks)
{
    RegularFile r;
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDONLY | O_NONBLOCK | O_CLOEXEC | (followLinks ? 0 : O_NOFOLLOW));
    if (fd < 0) {
        r.error = errno;
        r.refusal = !followLinks && r.error == ELOOP ? RegularFile::IsLink : RegularFile::OpenFailed;
        return r;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        r.error = errno;
        r.refusal = RegularFile::OpenFailed;
    } else if (!S_ISREG(st.st_mode)) {
        r.refusal = RegularFile::NotRegular;
    } else if (st.st_size > limit) {
        r.refusal = RegularFile::TooLarge;
    } else {
        // Room for one byte more than fstat gave, so a file that grew since is
        // read on, up to one byte past the limit, which tells it is too large.
        r.bytes.resize(int(st.st_size) + 1);
        qint64 got = 0;
        for (;;) {
            if (got == r.bytes.size()) {
                if (got > limit)
                    break;
                r.bytes.resize(int(qMin<qint64>(2 * got, limit + 1)));
            }
            const ssize_t n = ::read(fd, r.bytes.data() + got, size_t(r.bytes.size() - got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                r.error = errno;
                r.refusal = RegularFile::ReadFailed;
                break;
            }
            if (n == 0)
                break;
            got += n;
        }
        r.bytes.truncate(int(got));
        if (r.refusal == RegularFile::None && got > limit)
            r.refusal = RegularFile::TooLarge;
    }
    ::close(fd);
    if (r.refusal != RegularFile::None)
        r.bytes.clear();
    return r;
}

} // namespace platform
