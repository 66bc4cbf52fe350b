#pragma once
#include <QString>
#include <QtGlobal>

// The line commands of the control channel (stdin) and of --fault.
namespace control {

struct Command
{
    enum Verb {
        Invalid, Empty, Silent, DropPort, Garbage, RefuseUploads, DemodStop, DemodStart, Gps,
        Reset, Pass, Status, Help, Quit
    };
    Verb verb = Invalid;
    int number = 0;       // seconds or byte count
    bool on = false;      // refuse-uploads
    quint16 gpsBits = 0;  // gps
    QString error;        // Invalid
};

Command parse(const QString &line);

// "[+SECONDS ]COMMAND": a control command run that long after the start.
struct Scheduled
{
    bool ok = false;
    int delaySeconds = 0;
    QString command;
    QString error;
};
Scheduled parseScheduled(const QString &entry);

QString helpText();

} // namespace control
