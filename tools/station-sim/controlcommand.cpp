#include "controlcommand.h"

#include <QStringList>

namespace control {

namespace {

bool readCount(const QStringList &words, int index, int fallback, int low, int high, int *out,
               QString *error)
{
    if (words.size() <= index) {
        if (fallback < 0) {
            *error = QStringLiteral("%1 needs a number").arg(words[0]);
            return false;
        }
        *out = fallback;
        return true;
    }
    bool ok = false;
    const int v = words[index].toInt(&ok);
    if (!ok || v < low || v > high) {
        *error = QStringLiteral("%1: '%2' is not a number from %3 to %4").arg(words[0], words[index]).arg(low).arg(high);
        return false;
    }
    *out = v;
    return true;
}

} // namespace

Command parse(const QString &line)
{
    Command c;
    const QStringList words = line.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty()) {
        c.verb = Command::Empty;
        return c;
    }
    const QString verb = words[0].toLower();
    auto noArgs = [&](Command::Verb v) {
        if (words.size() > 1)
            c.error = QStringLiteral("%1 takes no arguments").arg(verb);
        else
            c.verb = v;
    };
    if (verb == QLatin1String("silent")) {
        if (readCount(words, 1, -1, 0, 3600, &c.number, &c.error))
            c.verb = Command::Silent;
    } else if (verb == QLatin1String("drop-port")) {
        if (readCount(words, 1, 2, 0, 3600, &c.number, &c.error))
            c.verb = Command::DropPort;
    } else if (verb == QLatin1String("garbage")) {
        if (readCount(words, 1, 20, 1, 4000, &c.number, &c.error))
            c.verb = Command::Garbage;
    } else if (verb == QLatin1String("refuse-uploads")) {
        const QString arg = words.size() == 2 ? words[1].toLower() : QString();
        if (arg == QLatin1String("on") || arg == QLatin1String("off")) {
            c.verb = Command::RefuseUploads;
            c.on = arg == QLatin1String("on");
        } else {
            c.error = QStringLiteral("refuse-uploads takes on or off");
        }
    } else if (verb == QLatin1String("gps")) {
        const QString arg = words.size() == 2 ? words[1].toLower() : QString();
        static const struct { const char *name; quint16 bits; } states[] = {
            {"ok", 0x3000}, {"actual", 0x2000}, {"failed", 0x1000}, {"invalid", 0x0000}};
        for (const auto &s : states) {
            if (arg == QLatin1String(s.name)) {
                c.verb = Command::Gps;
                c.gpsBits = s.bits;
            }
        }
        if (c.verb != Command::Gps)
            c.error = QStringLiteral("gps takes ok, actual, failed or invalid");
    } else if (verb == QLatin1String("demod-stop")) {
        noArgs(Command::DemodStop);
    } else if (verb == QLatin1String("demod-start")) {
        noArgs(Command::DemodStart);
    } else if (verb == QLatin1String("reset")) {
        noArgs(Command::Reset);
    } else if (verb == QLatin1String("pass")) {
        noArgs(Command::Pass);
    } else if (verb == QLatin1String("status")) {
        noArgs(Command::Status);
    } else if (verb == QLatin1String("help")) {
        noArgs(Command::Help);
    } else if (verb == QLatin1String("quit")) {
        noArgs(Command::Quit);
    } else {
        c.error = QStringLiteral("unknown command '%1' (try help)").arg(words[0]);
    }
    return c;
}

Scheduled parseScheduled(const QString &entry)
{
    Scheduled s;
    QString rest = entry.trimmed();
    if (rest.startsWith(QLatin1Char('+'))) {
        const int space = rest.indexOf(QLatin1Char(' '));
        bool ok = false;
        const int delay = rest.mid(1, space < 0 ? -1 : space - 1).toInt(&ok);
        if (!ok || delay < 0 || delay > 86400) {
            s.error = QStringLiteral("fault '%1': the time must be +SECONDS").arg(entry);
            return s;
        }
        s.delaySeconds = delay;
        rest = space < 0 ? QString() : rest.mid(space + 1).trimmed();
    }
    const Command c = parse(rest);
    if (c.verb == Command::Invalid || c.verb == Command::Empty) {
        s.error = QStringLiteral("fault '%1': %2").arg(entry, c.error.isEmpty() ? QStringLiteral("no command") : c.error);
        return s;
    }
    s.ok = true;
    s.command = rest;
    return s;
}

QString helpText()
{
    return QStringLiteral(
        "Control commands (one per line on stdin, or with --fault):\n"
        "  silent N             send nothing on the serial line for N seconds (still listens)\n"
        "  drop-port [N]        remove the COM link and close the terminal; recreate it after\n"
        "                       N seconds (default 2)\n"
        "  garbage [N]          send N random bytes as one transmission (default 20)\n"
        "  refuse-uploads on|off  answer every upload with the receive-error bit\n"
        "  demod-stop           close the demodulator port and its connections\n"
        "  demod-start          listen on the demodulator port again\n"
        "  gps ok|actual|failed|invalid  GPS state bits 0x3000/0x2000/0x1000/0 in the replies\n"
        "  reset                restart the board: leaves u-blox and programming mode, drops\n"
        "                       the pass (stored corrections stay)\n"
        "  pass                 write a track file now (needs --track-path)\n"
        "  status               print the board's state\n"
        "  help                 this list\n"
        "  quit                 end the stand-in (removes the COM link)\n"
        "Each command is answered on stdout with a line starting \"ok\" or \"error:\".\n");
}

} // namespace control
