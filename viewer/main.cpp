#include "commandline.h"
#include "dialogs.h"
#include "mainwindow.h"
#include "programrun.h"

#include <QApplication>

#include <cstdio>

namespace {
const char *const Help =
    "Usage: track-viewer [--station DIR]\n"
    "\n"
    "Shows the passes recorded by station-console: lists the data files in data/\n"
    "of the station folder (the current folder, or DIR), newest first, follows the\n"
    "folder for new ones and draws the chosen pass. The mouse wheel steps through\n"
    "the files; F3 opens a data file from another folder.\n"
    "\n"
    "  --station DIR  show the station folder DIR\n"
    "  -h, --help     show this help and exit\n"
    "  --version      show the version and exit\n"
    "\n"
    "See track-viewer(1).\n";
}

int main(int argc, char *argv[])
{
    // --help and --version answer without a display, so before the toolkit starts.
    if (const int rc = platform::answerBeforeStart(argc, argv, "track-viewer", Help); rc >= 0)
        return rc;

    QApplication app(argc, argv);
    Dialogs &dialogs = platform::installProgramDialogs(); // TUVARN_DIALOGS=auto answers F3 by itself

    QStringList args;
    for (int i = 1; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));
    const platform::ProgramCommandLine line = platform::parseProgramCommandLine(args);
    if (!platform::enterGivenStationFolder(line, "track-viewer", dialogs))
        return 2;
    return platform::runMainWindow(new MainWindow);
}
