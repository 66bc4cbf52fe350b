// track-calibrate: how well the station points, measured from its own passes.
#include "calibraterun.h"
#include "tuvarn_version.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>

#include <cstdio>

namespace {

constexpr int ExitResult = 0;
constexpr int ExitBadInput = 2;
constexpr int ExitTooLittle = 3;

int badInput(const QString &message)
{
    std::fprintf(stderr, "track-calibrate: %s\n", qPrintable(message));
    return ExitBadInput;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("track-calibrate"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TUVARN_VERSION));

    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "Measures the station's pointing from its data files: where the power peaked in each\n"
        "sweep across the track, and the pointing model's error over the passes as a scale\n"
        "(korr), a rotation (north correction) and an offset of the feed's origin.\n"
        "Exit code 0 with a result, 3 when there is too little data, 2 on bad input."));
    p.addHelpOption();
    p.addVersionOption();
    const QCommandLineOption station(QStringLiteral("station"), QStringLiteral("Station folder (default: the current one)."), QStringLiteral("dir"), QStringLiteral("."));
    const QCommandLineOption last(QStringLiteral("last"), QStringLiteral("Only the newest N passes."), QStringLiteral("N"));
    const QCommandLineOption since(QStringLiteral("since"), QStringLiteral("Only passes written on or after this day (UTC)."), QStringLiteral("YYYY-MM-DD"));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Answer as one JSON object."));
    p.addOptions({station, last, since, json});
    if (!p.parse(app.arguments()))
        return badInput(p.errorText());
    if (p.isSet(QStringLiteral("help"))) {
        std::printf("%s", qPrintable(p.helpText()));
        return ExitResult;
    }
    if (p.isSet(QStringLiteral("version"))) {
        std::printf("track-calibrate %s\n", TUVARN_VERSION);
        return ExitResult;
    }
    if (!p.positionalArguments().isEmpty())
        return badInput(QStringLiteral("unexpected argument %1 (see --help)").arg(p.positionalArguments().first()));

    calibration::Selection selection;
    if (p.isSet(last)) {
        bool ok = false;
        selection.last = p.value(last).toInt(&ok);
        if (!ok || selection.last < 1)
            return badInput(QStringLiteral("--last wants a whole number of passes, 1 or more"));
    }
    if (p.isSet(since)) {
        selection.since = QDate::fromString(p.value(since), QStringLiteral("yyyy-MM-dd"));
        if (!selection.since.isValid())
            return badInput(QStringLiteral("--since wants a day as YYYY-MM-DD"));
    }
    const QString stationDir = p.value(station);
    if (!QFileInfo(stationDir).isDir())
        return badInput(QStringLiteral("no station folder %1").arg(stationDir));
    const QString dataDir = QDir(stationDir).filePath(QStringLiteral("data"));

    const calibration::Run run = calibration::calibrate(dataDir, calibration::selectDataFiles(dataDir, selection));
    if (p.isSet(json))
        std::printf("%s", QJsonDocument(calibration::jsonReport(run)).toJson(QJsonDocument::Indented).constData());
    else
        std::printf("%s", calibration::textReport(run).toUtf8().constData());
    return run.hasResult() ? ExitResult : ExitTooLittle;
}
