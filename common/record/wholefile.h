#pragma once
#include <QByteArray>
#include <QString>

// Writes the bytes to path through a temporary file in the same folder that
// replaces the target only when everything was written, so a reader never sees
// half a file. On failure *message says why and nothing is left behind.
bool writeWholeFile(const QString &path, const QByteArray &bytes, QString *message);
