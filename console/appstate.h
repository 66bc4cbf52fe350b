#pragma once
#include <QString>
#include <QStringList>

// Process-wide facts of one run of the console.
extern bool serviceMode;

inline constexpr const char *ConsoleVersion = "3.818d";

// True when exactly one argument remains after the toolkit took its own and it
// is the service-mode word.
bool isServiceModeCommandLine(const QStringList &argumentsAfterProgram);
