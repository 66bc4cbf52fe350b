#pragma once
#include <QString>
#include <QVector>

// The pointing model's error as one similarity transform of the feed plane:
// the satellite's image lies at s * Rot(delta) * p + (x, y) for the commanded
// point p. Each measurement sees that error only across the track.
namespace calibration {

struct AcrossMeasurement
{
    double xMm = 0;  // commanded point
    double yMm = 0;
    double nx = 0;   // across-track normal
    double ny = 0;
    double acrossMm = 0; // where the image lay along the normal
};

struct FitTerm
{
    double value = 0;
    double sigma = 0; // one standard deviation, from the residuals
};

struct PointingFit
{
    QString error; // empty when the fit stands
    int points = 0;
    FitTerm scale;       // 1 is right
    FitTerm rotationDeg; // anticlockwise
    FitTerm offsetXmm;
    FitTerm offsetYmm;
    double rmsBeforeMm = 0; // across-track error as measured
    double rmsAfterMm = 0;  // what is left once the fitted error is taken out
};

// Fewer measurements than this say nothing about four terms.
constexpr int MinFitPoints = 6;

// Linear least squares in (s cos delta, s sin delta, x, y).
PointingFit fitPointing(const QVector<AcrossMeasurement> &m);

// The across-track error the fitted transform predicts at one measurement.
double predictedAcross(const PointingFit &fit, const AcrossMeasurement &m);

} // namespace calibration
