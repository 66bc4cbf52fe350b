// track-report: the station's pass archive as static web pages.
#include "reportbuilder.h"
#include "termination.h"
#include "tuvarn_version.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QGuiApplication>
#include <QTimer>

#include <cstdio>

namespace {

void print(const ReportRun &run, bool quietWhenIdle)
{
    if (quietWhenIdle && run.rebuilt == 0 && run.removed == 0 && run.failures.isEmpty())
        return;
    std::printf("track-report: %d passes (%d with errors), %d pages made, %d removed", run.passes, run.bad,
                run.rebuilt, run.removed);
    if (run.skipped > 0)
        std::printf(", %d entries of the data folder left out (named on the index)", run.skipped);
    std::printf("\n");
    for (const QString &f : run.failures)
        std::fprintf(stderr, "track-report: not written: %s\n", qPrintable(f));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    // Pictures are drawn offscreen: no display is needed (cron, ssh, a service).
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("track-report"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TUVARN_VERSION)); // the package version

    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "Turns the station's data folder into static web pages: the newest passes and pages by\n"
        "month, a page per pass with charts, its sky path, the viewer's picture and downloads,\n"
        "and the live status from status.json. Only what changed is made again. Serve the output folder with\n"
        "any static web server, e.g.: python3 -m http.server --directory report 8000"));
    p.addHelpOption();
    p.addVersionOption();
    const QCommandLineOption station(QStringLiteral("station"), QStringLiteral("Station folder (default: the current one)."), QStringLiteral("dir"), QStringLiteral("."));
    const QCommandLineOption data(QStringLiteral("data"), QStringLiteral("Data folder (default: STATION/data)."), QStringLiteral("dir"));
    const QCommandLineOption status(QStringLiteral("status"), QStringLiteral("Status file (default: STATION/status.json)."), QStringLiteral("file"));
    const QCommandLineOption outDir(QStringLiteral("out"), QStringLiteral("Output folder (default: STATION/report)."), QStringLiteral("dir"));
    const QCommandLineOption size(QStringLiteral("size"), QStringLiteral("Plot panel of the pictures, WIDTHxHEIGHT (default 1200x900)."), QStringLiteral("WxH"));
    const QCommandLineOption watch(QStringLiteral("watch"), QStringLiteral("Keep running and follow the folders."));
    const QCommandLineOption interval(QStringLiteral("interval"), QStringLiteral("With --watch: look at least this often, s (default 2)."), QStringLiteral("s"), QStringLiteral("2"));
    const QCommandLineOption stale(QStringLiteral("stale"), QStringLiteral("Status older than this shows red, s (default 90)."), QStringLiteral("s"), QStringLiteral("90"));
    const QCommandLineOption jobs(QStringLiteral("jobs"), QStringLiteral("Pictures drawn at once (default: one per core)."), QStringLiteral("n"));
    p.addOptions({station, data, status, outDir, size, watch, interval, stale, jobs});
    // As the console's PassHook, the new data file's path comes last: it only
    // says that something changed, the whole folder is brought up to date.
    p.addPositionalArgument(QStringLiteral("[data-file]"), QStringLiteral("Ignored: the path a PassHook adds."));
    p.process(app);
    if (p.positionalArguments().size() > 1) {
        std::fprintf(stderr, "track-report: unexpected argument %s (see --help)\n", qPrintable(p.positionalArguments().at(1)));
        return 1;
    }

    const QDir stationDir(p.value(station));
    ReportOptions o;
    o.dataDir = p.isSet(data) ? p.value(data) : stationDir.filePath(QStringLiteral("data"));
    o.statusFile = p.isSet(status) ? p.value(status) : stationDir.filePath(QStringLiteral("status.json"));
    o.outDir = p.isSet(outDir) ? p.value(outDir) : stationDir.filePath(QStringLiteral("report"));
    if (p.isSet(size)) {
        const QStringList wh = p.value(size).split(QLatin1Char('x'));
        const int w = wh.value(0).toInt(), h = wh.value(1).toInt();
        if (wh.size() != 2 || w < 300 || h < 300 || w > 8000 || h > 8000) {
            std::fprintf(stderr, "track-report: --size wants WIDTHxHEIGHT from 300x300 to 8000x8000\n");
            return 1;
        }
        o.pictureSize = QSize(w, h);
    }
    bool ok = false;
    const int seconds = p.value(interval).toInt(&ok);
    if (!ok || seconds < 1 || seconds > 3600) {
        std::fprintf(stderr, "track-report: --interval wants seconds from 1 to 3600\n");
        return 1;
    }

    const int staleSeconds = p.value(stale).toInt(&ok);
    if (!ok || staleSeconds < 5 || staleSeconds > 86400) {
        std::fprintf(stderr, "track-report: --stale wants seconds from 5 to 86400\n");
        return 1;
    }
    o.staleSeconds = staleSeconds;
    if (p.isSet(jobs)) {
        o.threads = p.value(jobs).toInt(&ok);
        if (!ok || o.threads < 1 || o.threads > 64) {
            std::fprintf(stderr, "track-report: --jobs wants a number from 1 to 64\n");
            return 1;
        }
    }

    ReportBuilder builder(o);
    const ReportRun first = builder.update();
    print(first, false);
    if (!p.isSet(watch))
        return first.failures.isEmpty() ? 0 : 2;

    // Changes wake it at once (after a short settling time); the timer catches
    // what a watcher misses, such as a data folder created later.
    QTimer settle;
    settle.setSingleShot(true);
    settle.setInterval(300);
    QTimer poll;
    poll.setInterval(seconds * 1000);
    QFileSystemWatcher watcher;
    const auto rewatch = [&] {
        for (const QString &dir : {o.dataDir, QFileInfo(o.statusFile).absolutePath()})
            if (QFileInfo(dir).isDir() && !watcher.directories().contains(dir))
                watcher.addPath(dir);
    };
    rewatch();
    QObject::connect(&watcher, &QFileSystemWatcher::directoryChanged, &settle, QOverload<>::of(&QTimer::start));
    const auto run = [&] {
        rewatch();
        print(builder.update(), true);
    };
    QObject::connect(&settle, &QTimer::timeout, run);
    QObject::connect(&poll, &QTimer::timeout, run);
    poll.start();
    platform::onTerminationRequest([] { QCoreApplication::quit(); });
    return app.exec();
}
