#include "pointingfit.h"

#include <Eigen/Dense>

#include <cmath>

namespace calibration {

namespace {
constexpr double Pi = 3.14159265358979323846;

double rms(const Eigen::VectorXd &v)
{
    return v.size() == 0 ? 0.0 : std::sqrt(v.squaredNorm() / double(v.size()));
}
} // namespace

double predictedAcross(const PointingFit &fit, const AcrossMeasurement &m)
{
    const double a = fit.rotationDeg.value * Pi / 180;
    const double s = fit.scale.value;
    const double ix = s * (std::cos(a) * m.xMm - std::sin(a) * m.yMm) + fit.offsetXmm.value;
    const double iy = s * (std::sin(a) * m.xMm + std::cos(a) * m.yMm) + fit.offsetYmm.value;
    return m.nx * (ix - m.xMm) + m.ny * (iy - m.yMm);
}

PointingFit fitPointing(const QVector<AcrossMeasurement> &m)
{
    PointingFit fit;
    const int n = m.size();
    fit.points = n;
    if (n < MinFitPoints) {
        fit.error = QStringLiteral("%1 measurements, at least %2 needed").arg(n).arg(MinFitPoints);
        return fit;
    }
    // n.(image - p) = a (n.p) + b (ny px - nx py) + nx x + ny y - n.p
    Eigen::MatrixXd A(n, 4);
    Eigen::VectorXd rhs(n), before(n);
    for (int i = 0; i < n; ++i) {
        const AcrossMeasurement &q = m.at(i);
        const double np = q.nx * q.xMm + q.ny * q.yMm;
        A(i, 0) = np;
        A(i, 1) = q.ny * q.xMm - q.nx * q.yMm;
        A(i, 2) = q.nx;
        A(i, 3) = q.ny;
        rhs(i) = q.acrossMm + np;
        before(i) = q.acrossMm;
    }
    fit.rmsBeforeMm = rms(before);

    Eigen::ColPivHouseholderQR<Eigen::MatrixXd> qr(A);
    // Passes along one line, or all at the same distance from the axis, cannot
    // tell the terms apart.
    qr.setThreshold(1e-9);
    if (qr.rank() < 4) {
        fit.error = QStringLiteral("the passes are too alike to tell scale, rotation and offset apart");
        return fit;
    }
    const Eigen::Vector4d c = qr.solve(rhs);
    const Eigen::VectorXd residual = rhs - A * c;
    fit.rmsAfterMm = rms(residual);

    const int dof = n - 4;
    const double variance = dof > 0 ? residual.squaredNorm() / dof : 0.0;
    const Eigen::Matrix4d cov = variance * (A.transpose() * A).inverse();

    const double a = c(0), b = c(1);
    const double s = std::hypot(a, b);
    // s and delta from (a, b), their spread carried through the Jacobian.
    Eigen::Matrix<double, 2, 2> J;
    J << a / s, b / s, -b / (s * s), a / (s * s);
    const Eigen::Matrix2d polar = J * cov.topLeftCorner<2, 2>() * J.transpose();
    fit.scale = {s, std::sqrt(std::max(0.0, polar(0, 0)))};
    fit.rotationDeg = {std::atan2(b, a) * 180 / Pi, std::sqrt(std::max(0.0, polar(1, 1))) * 180 / Pi};
    fit.offsetXmm = {c(2), std::sqrt(std::max(0.0, cov(2, 2)))};
    fit.offsetYmm = {c(3), std::sqrt(std::max(0.0, cov(3, 3)))};
    return fit;
}

} // namespace calibration
