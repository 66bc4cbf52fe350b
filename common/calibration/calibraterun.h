#pragma once
#include "acrosstrack.h"
#include "pointingfit.h"

#include <QDate>
#include <QJsonObject>
#include <QString>
#include <QVector>

// One run of track-calibrate: which passes, what each said, the fit, and what
// the operator should change.
namespace calibration {

struct Selection
{
    int last = 0;   // the newest N passes; 0: all
    QDate since;    // passes written on or after this day (UTC); invalid: all
};

struct PassResult
{
    QString file;        // name within data/
    PassAcrossTrack across;
};

struct Advice
{
    bool good = false;
    double korrNow = 1.0;
    double korr = 1.0;        // suggested
    int northCorrSteps = 0;   // to enter as the north correction (an increment)
    bool changeKorr = false;
    bool changeNorth = false;
    bool moveFeed = false;
    double beamWidthMm = 0;
};

struct Run
{
    QVector<PassResult> used;
    QVector<PassResult> excluded;
    PointingFit fit;
    Advice advice;
    bool hasResult() const { return fit.error.isEmpty(); }
};

// Fewer usable passes than this give no fit.
constexpr int MinPasses = 3;

// North correction steps of the controller, degrees.
constexpr double NorthStepDeg = 0.1125;

// The .dat files of `dataFolder`, oldest first, chosen as `selection` says.
QStringList selectDataFiles(const QString &dataFolder, const Selection &selection);
// Estimates every file and fits the passes that gave an answer.
Run calibrate(const QString &dataFolder, const QStringList &files);
// Fits estimates already made, oldest first (the newest pass's korr is the one
// the advice starts from).
Run fitResults(const QVector<PassResult> &results);
// The fit read as changes to make.
Advice adviseFrom(const PointingFit &fit, double korrNow, double beamWidthMm);

// The plain summary, one line per pass, the excluded with their reasons.
QString textReport(const Run &run);
// Its first line: the verdict, or why there is none.
QString verdictLine(const Run &run);
// Its next two lines: rms before and after, the four terms (empty without a fit).
QString fitLines(const Run &run);
QJsonObject jsonReport(const Run &run);

} // namespace calibration
