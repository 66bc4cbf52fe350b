#include "pointing.h"

#include "passplan.h"
#include "settings.h"
#include "skypanel.h"

#include <cmath>

namespace {
constexpr double Pi = M_PI;
constexpr double TwoPi = 2 * M_PI;

double wrapU1(double u1)
{
    if (u1 > TwoPi)
        u1 -= TwoPi;
    if (u1 < -TwoPi)
        u1 += TwoPi;
    return u1;
}

double wrapTurn(double d)
{
    if (d < -Pi)
        d += TwoPi;
    if (d > Pi)
        d -= TwoPi;
    return d;
}

double halfOpening(double reach, double radius)
{
    // Guard the rounding at the edge of the reach.
    return std::acos(qBound(-1.0, radius / reach, 1.0));
}
}

FeedPosition feedPosition(const StationSettingsRecord &settings, double azimuth, double elevation)
{
    FeedPosition p;
    p.radius = settings.Focus / std::tan(elevation) * settings.korr;
    // A direction below the horizon (or past the zenith) gives a negative radius
    // that no arm can reach.
    const int limit = static_cast<int>(settings.Radius);
    p.reachable = p.radius >= 0.0 && p.radius <= limit;
    double fi = azimuth + Pi;
    if (fi > TwoPi)
        fi -= TwoPi;
    if (fi < -TwoPi)
        fi += TwoPi;
    p.angle = fi;
    return p;
}

float minElevation(const StationSettingsRecord &settings)
{
    return static_cast<float>(90.0 - std::atan(settings.Radius / settings.Focus) * 180.0 / Pi);
}

QString minElevationText(const StationSettingsRecord &settings)
{
    return QStringLiteral("mm (min elev.= ") + QString::number(minElevation(settings), 'f', 1) + QLatin1Char(')');
}

ArmAngles armSolutionA(double reach, double radius, double angle)
{
    const double c = halfOpening(reach, radius);
    return {wrapU1(angle - c), Pi + 2 * c};
}

ArmAngles armSolutionB(double reach, double radius, double angle)
{
    const double c = halfOpening(reach, radius);
    return {wrapU1(angle + c), Pi - 2 * c};
}

ArmAngles chooseArmAngles(double reach, double radius, double angle, double reference)
{
    const ArmAngles a = armSolutionA(reach, radius, angle);
    const ArmAngles b = armSolutionB(reach, radius, angle);
    const double dA = wrapTurn(a.u1 - reference);
    const double dB = wrapTurn(b.u1 - reference);
    return std::fabs(dB) <= std::fabs(dA) ? b : a;
}

void computeArmAngles(double reach, const QVector<double> &radius, const QVector<double> &angle, int n,
                      QVector<double> &u1, QVector<double> &u2)
{
    n = qMax(0, qMin(n, qMin(radius.size(), angle.size())));
    u1.resize(n);
    u2.resize(n);
    double reference = 0.0;
    for (int i = 0; i < n; ++i) {
        const ArmAngles arm = chooseArmAngles(reach, radius.at(i), angle.at(i), reference);
        u1[i] = arm.u1;
        u2[i] = arm.u2;
        reference = arm.u1;
    }
}

float offsetAcrossTrack(const PassPlanRecord &plan, quint16 a, quint16 b, qint8 k, SkyDrawState *remember)
{
    const int count = qMin(plan.feedRadius.size(), plan.feedAngle.size());
    if (a >= count || b >= count)
        return 0.0f;
    const double xA = plan.feedRadius.at(a) * std::cos(plan.feedAngle.at(a));
    const double yA = plan.feedRadius.at(a) * std::sin(plan.feedAngle.at(a));
    const double xB = plan.feedRadius.at(b) * std::cos(plan.feedAngle.at(b));
    const double yB = plan.feedRadius.at(b) * std::sin(plan.feedAngle.at(b));

    double xP = xA;
    double yP = yA;
    // Two equal points have no chord and so no across direction: no shift.
    if (xA != xB || yA != yB) {
        const double theta = std::atan(-(yA - yB) / (xA - xB));
        xP = xA + k * std::sin(theta);
        yP = yA + k * std::cos(theta);
    }

    double phi = std::atan(yP / xP);
    if (yP < 0 && xP < 0)
        phi += Pi;
    if (yP < 0 && xP > 0)
        phi += TwoPi;
    if (yP > 0 && xP < 0)
        phi += Pi;
    double r;
    if (yP == 0.0) {
        // On the x axis the formula divides 0 by 0.
        phi = xP < 0 ? Pi : 0.0;
        r = std::fabs(xP);
    } else {
        r = yP / std::sin(phi);
    }

    if (remember) {
        remember->currentDrawPoint.angle = phi;
        remember->currentDrawPoint.radius = r;
    }
    return static_cast<float>(r);
}
