#include "appstate.h"
#include "commandline.h"
#include "dialogs.h"
#include "programrun.h"
#include "settings.h"
#include "tuv.h"

#include <QApplication>
#include <QFile>

#include <cstdio>

namespace {
const char *const Help =
    "Usage: station-console [--station DIR] [qzx]\n"
    "\n"
    "The antenna console of the TuVaRN ground station. It works in the station\n"
    "folder (the current folder, or DIR): reads tuvarn.ini there, loads the pass\n"
    "from the track file at TrackPath, drives the antenna controller on the serial\n"
    "port COM<Port>, records the signal from the demodulator on 127.0.0.1:6002 and\n"
    "writes one data file per pass into data/.\n"
    "\n"
    "  qzx            service mode: the control panel instead of the log pane, no\n"
    "                 event log, no track loaded by itself (default: operator mode)\n"
    "  --station DIR  work in the station folder DIR\n"
    "  -h, --help     show this help and exit\n"
    "  --version      show the version and exit\n"
    "\n"
    "Environment: TUVARN_PORT_DIR names the folder that holds the port entries\n"
    "COM<n> (default /dev). See station-console(1).\n";
}

int main(int argc, char *argv[])
{
    // --help and --version answer without a display, so before the toolkit starts.
    if (const int rc = platform::answerBeforeStart(argc, argv, "station-console", Help); rc >= 0)
        return rc;

    QApplication app(argc, argv); // takes the toolkit's own options out of argv

    QStringList args;
    for (int i = 1; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));
    const platform::ProgramCommandLine line = platform::parseProgramCommandLine(args);
    const bool serviceMode = isServiceModeCommandLine(line.words);

    Dialogs &dialogs = platform::installProgramDialogs();

    if (!platform::enterGivenStationFolder(line, "station-console", dialogs))
        return 2;

    if (!QFile::exists(QStringLiteral("tuvarn.ini"))) {
        dialogs.message(QStringLiteral("  No ini file,\nlook example.ini"));
        writeExampleSettings();
        return 0;
    }
    StationSettingsRecord settings;
    const quint8 code = loadSettings(settings);
    if (code != 0) {
        dialogs.message(QStringLiteral("ini file error in ") + QString::number(code)
                        + QStringLiteral(" string.\r\n look example.ini"));
        QFile log(QStringLiteral("tuvarn.log"));
        if (log.open(QIODevice::WriteOnly | QIODevice::Append)) {
            log.write("\r\nTuVaRN ini file failed");
            log.close();
        }
        writeExampleSettings();
        return 0;
    }

    return platform::runMainWindow(new tuv(settings, serviceMode));
}
