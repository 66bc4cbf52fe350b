#pragma once
#include <QString>
#include <QStringList>

// The options the station programs share: --help, --version and
// --station DIR. Everything else is left to the program, untouched, so a
// program started without these options sees exactly the words it saw before.
class Dialogs;

namespace platform {

struct ProgramCommandLine
{
    bool help = false;
    bool version = false;
    bool stationGiven = false;
    QString station;   // the folder after --station
    QStringList words; // every argument that is not one of the shared options
    QString error;     // a usage error; empty when the line is fine
};

// `args` are the arguments after the program name.
ProgramCommandLine parseProgramCommandLine(const QStringList &args);

// The raw command line, before the toolkit has seen it: --help and --version
// must answer without a display. Returns -1 to go on starting, otherwise the
// exit code after the help, the version or a usage error was printed.
int answerBeforeStart(int argc, char *argv[], const char *program, const char *help);

// Makes `folder` the working folder. On failure returns false with the reason.
bool enterStationFolder(const QString &folder, QString *reason);

// Enters the station folder of `line`, if one was given. When it cannot be
// entered, tells the operator on standard error and in a message box and
// returns false.
bool enterGivenStationFolder(const ProgramCommandLine &line, const char *program, Dialogs &dialogs);

// "<program> <version>", the package version set once in the build.
QString versionLine(const char *program);

} // namespace platform
