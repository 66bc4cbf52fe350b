#pragma once
#include <QString>
#include <QStringList>
#include <QDateTime>

// Process-wide facts of one run of the console.
extern bool serviceMode;

inline constexpr const char *ConsoleVersion = "3.818d";

// True when exactly one argument remains after the toolkit took its own and it
// is the service-mode word.
bool isServiceModeCommandLine(const QStringList &argumentsAfterProgram);

// Local offset from UTC in whole hours (truncated toward zero), taken once at
// start-up.
extern qint16 utcOffsetHours;
qint16 computeUtcOffsetHours(const QDateTime &localNow);
