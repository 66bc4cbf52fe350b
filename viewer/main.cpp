#include "dialogs.h"
#include "mainwindow.h"
#include "qtdialogs.h"
#include "screenmetrics.h"
#include "termination.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);

    // TUVARN_DIALOGS=auto answers the F3 dialog by itself (process tests).
    QtDialogs qtDialogs;
    AutoDialogs autoDialogs;
    Dialogs &dialogs = qEnvironmentVariable("TUVARN_DIALOGS") == QLatin1String("auto")
                           ? static_cast<Dialogs &>(autoDialogs)
                           : qtDialogs;
    platform::setDialogs(&dialogs);

    auto *window = new MainWindow;
    qtDialogs.setFileDialogParent(window);
    // Without a window manager "maximized" means nothing; start at the full
    // available size so the panels match the screen either way.
    window->resize(platform::screenMetrics().available());
    window->showMaximized();
    platform::onTerminationRequest([] { QCoreApplication::quit(); });
    const int rc = app.exec();
    delete window;
    platform::setDialogs(nullptr);
    return rc;
}
