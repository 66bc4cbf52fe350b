#pragma once
#include <QString>
#include <QStringList>
#include <QDateTime>

// Facts of one run of the console.
inline constexpr const char *ConsoleVersion = "3.818d";

// True when exactly one argument remains after the toolkit took its own and it
// is the service-mode word.
bool isServiceModeCommandLine(const QStringList &argumentsAfterProgram);

// Local offset from UTC in whole hours (truncated toward zero), taken once at
// start-up.
qint16 computeUtcOffsetHours(const QDateTime &localNow);
