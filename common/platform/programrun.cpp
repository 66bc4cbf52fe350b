#include "programrun.h"

#include "qtdialogs.h"
#include "screenmetrics.h"
#include "termination.h"

#include <QApplication>
#include <QWidget>

namespace {
QtDialogs &qtDialogs()
{
    static QtDialogs dialogs;
    return dialogs;
}
}

namespace platform {

Dialogs &installProgramDialogs()
{
    static AutoDialogs automatic;
    Dialogs &chosen = qEnvironmentVariable("TUVARN_DIALOGS") == QLatin1String("auto")
                          ? static_cast<Dialogs &>(automatic)
                          : qtDialogs();
    setDialogs(&chosen);
    return chosen;
}

int runMainWindow(QWidget *window)
{
    qtDialogs().setFileDialogParent(window);
    window->resize(screenMetrics().available());
    window->showMaximized();
    onTerminationRequest([] { QCoreApplication::quit(); });
    const int rc = QApplication::exec();
    delete window;
    qtDialogs().setFileDialogParent(nullptr);
    setDialogs(nullptr);
    return rc;
}

} // namespace platform
