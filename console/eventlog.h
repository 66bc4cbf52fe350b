#pragma once
#include <QDateTime>
#include <QString>

// The entry prefix of the event log: CR LF, the GPS marker from bits 13..12 of
// the status word, the UTC time "dd-MM-yy hh:mm:ss", two blanks.
QString logEntryPrefix(quint16 statusWord, const QDateTime &utc);
