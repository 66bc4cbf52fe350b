#pragma once
// Reading a file that someone else may have put there: only a regular file,
// only up to a limit, and opened without blocking so that a FIFO cannot hold
// the reader. Callers word the refusal in their own texts.
#include <QByteArray>
#include <QString>

namespace platform {

struct RegularFile
{
    enum Refusal { None, OpenFailed, IsLink, NotRegular, TooLarge, ReadFailed };
    QByteArray bytes;      // empty unless refusal is None
    Refusal refusal = None;
    int error = 0;         // errno of OpenFailed and ReadFailed
};

// followLinks false refuses a symbolic link at `path` itself (IsLink).
RegularFile readRegularFile(const QString &path, qint64 limit, bool followLinks = true);

} // namespace platform
