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
// head + tail, shortened to fit: head is cut from its end (never inside a
// character); should tail alone be too long it loses its front, so that its
// end (a time stamp, the extension) stays. Names that fit come back unchanged.
// A lower limit leaves room for what a writer appends (QSaveFile's ".XXXXXX").
QString fitFileName(const QString &head, const QString &tail, int limit = MaxFileNameLength);
}
