#include "calibraterun.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>

#include <algorithm>
#include <cmath>

namespace calibration {

namespace {

QString signedNumber(double v, int decimals)
{
    return (v >= 0 ? QStringLiteral("+") : QString()) + QString::number(v, 'f', decimals);
}

QJsonObject term(const FitTerm &t)
{
    return {{QStringLiteral("value"), t.value}, {QStringLiteral("sigma"), t.sigma}};
}

double median(QVector<double> v)
{
    if (v.isEmpty())
        return 0;
    std::sort(v.begin(), v.end());
    return v.at(v.size() / 2);
}

} // namespace

QStringList selectDataFiles(const QString &dataFolder, const Selection &selection)
{
    QFileInfoList infos = QDir(dataFolder).entryInfoList({QStringLiteral("*.dat")}, QDir::Files,
                                                         QDir::Time | QDir::Reversed);
    QStringList names;
    for (const QFileInfo &info : infos) {
        if (selection.since.isValid() && info.lastModified().toUTC().date() < selection.since)
            continue;
        names.append(info.fileName());
    }
    if (selection.last > 0 && names.size() > selection.last)
        names = names.mid(names.size() - selection.last);
    return names;
}

Advice adviseFrom(const PointingFit &fit, double korrNow, double beamWidthMm)
{
    Advice a;
    a.korrNow = korrNow;
    a.korr = korrNow;
    a.beamWidthMm = beamWidthMm;
    if (!fit.error.isEmpty())
        return a;
    // A term is worth changing when it stands clear of its own uncertainty and
    // is large enough to matter against the beam.
    const double scaleOff = fit.scale.value - 1.0;
    a.changeKorr = std::fabs(scaleOff) > std::max(3 * fit.scale.sigma, 0.001);
    a.changeNorth = std::fabs(fit.rotationDeg.value) > std::max(3 * fit.rotationDeg.sigma, NorthStepDeg / 2);
    const double offset = std::hypot(fit.offsetXmm.value, fit.offsetYmm.value);
    const double offsetSigma = std::max(fit.offsetXmm.sigma, fit.offsetYmm.sigma);
    a.moveFeed = offset > std::max(3 * offsetSigma, 0.5);
    if (a.changeKorr)
        a.korr = korrNow * fit.scale.value;
    if (a.changeNorth)
        a.northCorrSteps = int(std::floor(fit.rotationDeg.value / NorthStepDeg + 0.5));
    // Good: the beam's best point stays within a twentieth of its width.
    a.good = fit.rmsBeforeMm <= std::max(1.0, beamWidthMm / 20);
    return a;
}

Run calibrate(const QString &dataFolder, const QStringList &files)
{
    QVector<PassResult> results;
    results.reserve(files.size());
    for (const QString &name : files)
        results.append({name, estimateAcrossTrackOfFile(QDir(dataFolder).filePath(name))});
    return fitResults(results);
}

Run fitResults(const QVector<PassResult> &results)
{
    Run run;
    QVector<AcrossMeasurement> measurements;
    QVector<double> widths;
    for (const PassResult &r : results) {
        if (!r.across.error.isEmpty()) {
            run.excluded.append(r);
            continue;
        }
        for (const SweepEstimate &e : r.across.found)
            measurements.append({e.xMm, e.yMm, e.nx, e.ny, e.acrossMm});
        widths.append(r.across.widthMm);
        run.used.append(r);
    }
    // One pass sees the error along one line only: scale, rotation and offset
    // need passes in several directions.
    if (run.used.size() < MinPasses) {
        run.fit.error = results.isEmpty() ? QStringLiteral("no data files")
            : QStringLiteral("%1 of %2 passes gave an answer, at least %3 needed")
                  .arg(run.used.size()).arg(results.size()).arg(MinPasses);
        return run;
    }
    run.fit = fitPointing(measurements);
    run.advice = adviseFrom(run.fit, run.used.last().across.korr, median(widths));
    return run;
}

QString verdictLine(const Run &run)
{
    const PointingFit &f = run.fit;
    const Advice &a = run.advice;
    if (!run.hasResult())
        return QStringLiteral("too little data: %1\n").arg(f.error);
    if (a.good)
        return QStringLiteral("pointing good: rms %1 mm across the track, beam %2 mm wide\n")
            .arg(f.rmsBeforeMm, 0, 'f', 1).arg(a.beamWidthMm, 0, 'f', 0);
    QStringList parts;
    if (a.changeKorr)
        parts << QStringLiteral("korr %1 → %2 ± %3").arg(a.korrNow, 0, 'f', 4).arg(a.korr, 0, 'f', 4)
                     .arg(a.korrNow * f.scale.sigma, 0, 'f', 4);
    if (a.changeNorth)
        parts << QStringLiteral("rotation %1° ± %2° (north correction %3 steps of 0.1125°)")
                     .arg(signedNumber(f.rotationDeg.value, 2)).arg(f.rotationDeg.sigma, 0, 'f', 2)
                     .arg(signedNumber(a.northCorrSteps, 0));
    if (a.moveFeed)
        parts << QStringLiteral("feed origin off by %1 mm / %2 mm: a mechanical adjustment")
                     .arg(f.offsetXmm.value, 0, 'f', 1).arg(f.offsetYmm.value, 0, 'f', 1);
    if (parts.isEmpty())
        parts << QStringLiteral("rms %1 mm across the track, but no term of the pointing model explains it")
                     .arg(f.rmsBeforeMm, 0, 'f', 1);
    return parts.join(QStringLiteral("; ")) + QLatin1Char('\n');
}

QString fitLines(const Run &run)
{
    if (!run.hasResult())
        return {};
    const PointingFit &f = run.fit;
    return QStringLiteral("rms across the track %1 mm as measured, %2 mm after the fit; %3 passes, %4 sweeps\n")
               .arg(f.rmsBeforeMm, 0, 'f', 2).arg(f.rmsAfterMm, 0, 'f', 2).arg(run.used.size()).arg(f.points)
        + QStringLiteral("scale %1 ± %2, rotation %3° ± %4°, offset x %5 ± %6 mm, y %7 ± %8 mm\n")
              .arg(f.scale.value, 0, 'f', 4).arg(f.scale.sigma, 0, 'f', 4)
              .arg(signedNumber(f.rotationDeg.value, 3)).arg(f.rotationDeg.sigma, 0, 'f', 3)
              .arg(signedNumber(f.offsetXmm.value, 2)).arg(f.offsetXmm.sigma, 0, 'f', 2)
              .arg(signedNumber(f.offsetYmm.value, 2)).arg(f.offsetYmm.sigma, 0, 'f', 2);
}

QString textReport(const Run &run)
{
    QString out = verdictLine(run) + fitLines(run);
    for (const PassResult &r : run.used)
        out += QStringLiteral("pass %1: across the track %2 mm, spread %3 mm, %4 of %5 sweeps, beam %6 mm, "
                              "power %7 dB above noise\n")
                   .arg(r.file, signedNumber(r.across.meanMm, 1)).arg(r.across.spreadMm, 0, 'f', 1)
                   .arg(r.across.found.size()).arg(r.across.sweeps).arg(r.across.widthMm, 0, 'f', 0)
                   .arg(r.across.meanPowerDb, 0, 'f', 1);
    for (const PassResult &r : run.excluded)
        out += QStringLiteral("left out %1: %2\n").arg(r.file, r.across.error);
    return out;
}

QJsonObject jsonReport(const Run &run)
{
    const PointingFit &f = run.fit;
    QJsonArray passes, excluded;
    for (const PassResult &r : run.used) {
        QJsonArray along;
        for (const SweepEstimate &e : r.across.found)
            along.append(QJsonObject{{QStringLiteral("row"), e.firstRow + e.rows / 2}, {QStringLiteral("acrossMm"), e.acrossMm}});
        passes.append(QJsonObject{{QStringLiteral("file"), r.file},
                                  {QStringLiteral("alongThePass"), along},
                                  {QStringLiteral("acrossMm"), r.across.meanMm},
                                  {QStringLiteral("spreadMm"), r.across.spreadMm},
                                  {QStringLiteral("sweeps"), r.across.sweeps},
                                  {QStringLiteral("sweepsFound"), r.across.found.size()},
                                  {QStringLiteral("beamWidthMm"), r.across.widthMm},
                                  {QStringLiteral("meanPowerDb"), r.across.meanPowerDb},
                                  {QStringLiteral("korr"), r.across.korr}});
    }
    for (const PassResult &r : run.excluded)
        excluded.append(QJsonObject{{QStringLiteral("file"), r.file}, {QStringLiteral("reason"), r.across.error}});
    QJsonObject o{{QStringLiteral("passes"), run.used.size()},
                  {QStringLiteral("points"), f.points},
                  {QStringLiteral("passList"), passes},
                  {QStringLiteral("excluded"), excluded}};
    if (!run.hasResult()) {
        o.insert(QStringLiteral("error"), f.error);
        return o;
    }
    o.insert(QStringLiteral("scale"), term(f.scale));
    o.insert(QStringLiteral("rotationDeg"), term(f.rotationDeg));
    o.insert(QStringLiteral("offsetXmm"), term(f.offsetXmm));
    o.insert(QStringLiteral("offsetYmm"), term(f.offsetYmm));
    o.insert(QStringLiteral("rmsBeforeMm"), f.rmsBeforeMm);
    o.insert(QStringLiteral("rmsAfterMm"), f.rmsAfterMm);
    o.insert(QStringLiteral("beamWidthMm"), run.advice.beamWidthMm);
    o.insert(QStringLiteral("good"), run.advice.good);
    o.insert(QStringLiteral("suggest"),
             QJsonObject{{QStringLiteral("korr"), run.advice.korr},
                         {QStringLiteral("northCorrSteps"), run.advice.northCorrSteps},
                         {QStringLiteral("moveFeed"), run.advice.moveFeed}});
    return o;
}

} // namespace calibration
