#pragma once
#include <QString>

// A file-name part built from track content (satellite, orbit) that can never
// leave its folder: path separators, the characters Windows forbids and control
// characters become '_'; an empty name or one of dots only becomes "_".
QString safeFileNamePart(const QString &text);
