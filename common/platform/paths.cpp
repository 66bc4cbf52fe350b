#include "paths.h"

#include <QFile>

namespace platform {

QChar pathSeparator()
{
#if defined(Q_OS_WIN)
    return QLatin1Char('\\');
#else
    return QLatin1Char('/');
#endif
}

int fileNameLength(const QString &name)
{
#if defined(Q_OS_WIN)
    return name.size();
#else
    return QFile::encodeName(name).size();
#endif
}

QString fitFileName(const QString &head, const QString &tail)
{
    QString cut = head;
    while (!cut.isEmpty() && fileNameLength(cut + tail) > MaxFileNameLength) {
        cut.chop(1);
        // Never leave half of a surrogate pair.
        if (!cut.isEmpty() && QChar(cut.back()).isHighSurrogate())
            cut.chop(1);
    }
    return cut + tail;
}

} // namespace platform
