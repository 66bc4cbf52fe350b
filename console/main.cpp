#include "appstate.h"
#include "dialogs.h"
#include "programrun.h"
#include "settings.h"
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

    Dialogs &dialogs = platform::installProgramDialogs();

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

    return platform::runMainWindow(new tuv);
}
