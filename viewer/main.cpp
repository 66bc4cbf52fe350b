#include "mainwindow.h"
#include "programrun.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    platform::installProgramDialogs(); // TUVARN_DIALOGS=auto answers F3 by itself
    return platform::runMainWindow(new MainWindow);
}
