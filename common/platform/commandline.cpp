#include "commandline.h"

#include "dialogs.h"
#include "tuvarn_version.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace platform {

ProgramCommandLine parseProgramCommandLine(const QStringList &args)
{
    static const QString Station = QStringLiteral("--station");
    static const QString StationEq = QStringLiteral("--station=");
    ProgramCommandLine line;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args.at(i);
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            line.help = true;
        } else if (a == QLatin1String("--version")) {
            line.version = true;
        } else if (a == Station || a.startsWith(StationEq)) {
            QString folder;
            if (a == Station) {
                if (i + 1 >= args.size()) {
                    line.error = QStringLiteral("--station wants a folder");
                    continue;
                }
                folder = args.at(++i);
            } else {
                folder = a.mid(StationEq.size());
            }
            if (folder.isEmpty())
                line.error = QStringLiteral("--station wants a folder");
            line.stationGiven = true;
            line.station = folder;
        } else {
            line.words.append(a);
        }
    }
    return line;
}

int answerBeforeStart(int argc, char *argv[], const char *program, const char *help)
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));
    const ProgramCommandLine line = parseProgramCommandLine(args);
    if (line.help) {
        std::fputs(help, stdout);
        return 0;
    }
    if (line.version) {
        std::printf("%s\n", qPrintable(versionLine(program)));
        return 0;
    }
    if (!line.error.isEmpty()) {
        std::fprintf(stderr, "%s: %s (see --help)\n", program, qPrintable(line.error));
        return 1;
    }
    return -1;
}

bool enterStationFolder(const QString &folder, QString *reason)
{
    // chdir itself, so the system's own reason reaches the operator.
    if (::chdir(QFile::encodeName(folder).constData()) == 0)
        return true;
    *reason = QString::fromLocal8Bit(std::strerror(errno));
    return false;
}

QString versionLine(const char *program)
{
    return QString::fromLatin1(program) + QLatin1Char(' ') + QStringLiteral(TUVARN_VERSION);
}

bool enterGivenStationFolder(const ProgramCommandLine &line, const char *program, Dialogs &dialogs)
{
    if (!line.stationGiven)
        return true;
    QString reason;
    if (enterStationFolder(line.station, &reason))
        return true;
    const QString text = QStringLiteral("Station folder ") + line.station + QStringLiteral(": ") + reason;
    std::fprintf(stderr, "%s: %s\n", program, qPrintable(text));
    dialogs.message(text);
    return false;
}

} // namespace platform
