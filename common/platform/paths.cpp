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

QString fitFileName(const QString &head, const QString &tail, int limit)
{
    QString front = head;
    QString back = tail;
    while (fileNameLength(front + back) > limit) {
        QString &cut = front.isEmpty() ? back : front;
        if (cut.isEmpty())
            break;
        if (&cut == &front) {
            cut.chop(1);
            // Never leave half of a surrogate pair.
            if (!cut.isEmpty() && QChar(cut.back()).isHighSurrogate())
                cut.chop(1);
        } else {
            cut.remove(0, QChar(cut.front()).isHighSurrogate() ? 2 : 1);
        }
    }
    return front + back;
}

} // namespace platform
