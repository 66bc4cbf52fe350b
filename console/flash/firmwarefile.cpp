#include "firmwarefile.h"

#include <QFile>

QString firmwareImageProblem(qint64 size)
{
    if (size <= 0)
        return QStringLiteral("Firmware image is empty");
    if (size > MaxFirmwareImageSize)
        return QStringLiteral("Firmware image too big (%1 bytes, at most %2)").arg(size).arg(MaxFirmwareImageSize);
    return QString();
}

FirmwareFile readFirmwareFile(const QString &path)
{
    FirmwareFile out;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return out;
    out.opened = true;
    // A sequential file reports no size; it is read up to one byte past the limit.
    if (!file.isSequential() && file.size() > MaxFirmwareImageSize) {
        out.problem = firmwareImageProblem(file.size());
        return out;
    }
    out.image = file.read(MaxFirmwareImageSize + 1);
    out.problem = firmwareImageProblem(out.image.size());
    if (!out.problem.isEmpty())
        out.image.clear();
    return out;
}
