#include "wholefile.h"

#include <QSaveFile>

bool writeWholeFile(const QString &path, const QByteArray &bytes, QString *message)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *message = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    // QSaveFile::commit() does not look at a failed flush of its buffer (a
    // full disk): it would put a cut-off file in place. Flush first.
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        *message = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        *message = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}
