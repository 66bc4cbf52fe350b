#pragma once
#include <QChar>
#include <QString>

// Path rules of the running system.
namespace platform {
// The separator of TrackPath and data-file paths: '\\' on Windows, '/' elsewhere.
QChar pathSeparator();
// Longest file name (one path component) the file systems take: 255 bytes of
// the local 8-bit encoding, or 255 UTF-16 units on Windows.
inline constexpr int MaxFileNameLength = 255;
int fileNameLength(const QString &name);
// The name shortened to fit: `head` is cut from its end (never inside a
// character) so that head + tail fits; tail (a time stamp and the extension)
// is kept whole. Names that fit are returned unchanged.
QString fitFileName(const QString &head, const QString &tail);
}
