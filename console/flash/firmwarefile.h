#pragma once
#include <QByteArray>
#include <QString>

// Largest image whose page count (size / 1024 + 1) still fits the erase list
// below 0xFF, the code for a mass erase.
inline constexpr qint64 MaxFirmwareImageSize = 255 * 1024 - 1;

// Why an image of this size cannot be programmed; empty when it can.
QString firmwareImageProblem(qint64 size);

// The firmware file as read for a run.
struct FirmwareFile
{
    bool opened = false;
    QByteArray image;
    QString problem; // why the image is refused; empty when usable
};
// Opens and reads the file; a file too big for the boot loader is refused
// without reading it.
FirmwareFile readFirmwareFile(const QString &path);
