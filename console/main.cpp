#include "appstate.h"
#include "qtdialogs.h"
#include "screenmetrics.h"
#include "settings.h"
#include "termination.h"
#include "tuv.h"

#include <QApplication>
#include <QFile>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv); // takes the toolkit's own options out of argv

    QStringList words;
    for (int i = 1; i < argc; ++i)
        words.append(QString::fromLocal8Bit(argv[i]));
    serviceMode = isServiceModeCommandLine(words);

    // TUVARN_DIALOGS=auto answers every prompt by itself (process tests).
    QtDialogs qtDialogs;
    AutoDialogs autoDialogs;
    Dialogs &dialogs = qEnvironmentVariable("TUVARN_DIALOGS") == QLatin1String("auto")
                           ? static_cast<Dialogs &>(autoDialogs)
                           : qtDialogs;
    platform::setDialogs(&dialogs);

    if (!QFile::exists(QStringLiteral("tuvarn.ini"))) {
        dialogs.message(QStringLiteral("  No ini file,\nlook example.ini"));
        writeExampleSettings();
        return 0;
    }
    const quint8 code = loadSettings();
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

    auto *window = new tuv;
    qtDialogs.setFileDialogParent(window);
    // Without a window manager "maximized" means nothing; start at the full
    // available size so the panels match the screen either way.
    window->resize(platform::screenMetrics().available());
    window->showMaximized();
    // SIGINT/SIGTERM take the same road as closing the window.
    platform::onTerminationRequest([] { QCoreApplication::quit(); });
    const int rc = app.exec();
    delete window;
    platform::setDialogs(nullptr);
    return rc;
}
