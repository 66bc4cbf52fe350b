#include "trackwriter.h"

#include "angles.h"

#include <QLocale>
#include <cmath>

namespace trackwriter {

namespace {
using sim::Pi;

int roundedMinutes(double degrees)
{
    return int(std::lround(degrees * 60.0));
}
} // namespace

Pass makePass(const QString &satellite, const QString &orbit, const QDateTime &startUtc,
              const PassShape &shape)
{
    Pass pass;
    pass.satellite = satellite;
    pass.orbit = orbit;
    pass.startUtc = startUtc.toUTC();
    const int n = qMax(1, shape.points);
    const double lowEl = qBound(1.0, qMin(shape.minElevationDeg, shape.maxElevationDeg), 89.9);
    const double highEl = qBound(lowEl, qMax(shape.minElevationDeg, shape.maxElevationDeg), 89.9);
    const double nearest = shape.focusMm / std::tan(highEl * Pi / 180.0);
    const double farthest = shape.focusMm / std::tan(lowEl * Pi / 180.0);
    const double halfChord = std::sqrt(qMax(0.0, farthest * farthest - nearest * nearest));
    const double heading = shape.headingDeg * Pi / 180.0;
    const double ux = std::cos(heading), uy = std::sin(heading);
    for (int i = 0; i < n; ++i) {
        const double t = n == 1 ? 0.0 : -halfChord + 2.0 * halfChord * i / (n - 1);
        const double x = nearest * ux - t * uy;
        const double y = nearest * uy + t * ux;
        const double r = std::hypot(x, y);
        // The feed sits opposite the direction it looks at.
        double az = std::atan2(y, x) * 180.0 / Pi + 180.0;
        double el = r > 1e-9 ? std::atan(shape.focusMm / r) * 180.0 / Pi : 90.0;
        int azMin = roundedMinutes(az) % 21600;
        if (azMin < 0)
            azMin += 21600;
        // Rounding must not push an end point below the lowest elevation.
        int elMin = roundedMinutes(el);
        if (elMin < roundedMinutes(lowEl))
            elMin = roundedMinutes(lowEl);
        pass.azimuthMinutes.append(azMin);
        pass.elevationMinutes.append(elMin);
    }
    return pass;
}

PassShape withApproach(const PassShape &shape, int count)
{
    static const double Fractions[] = {0.08, 0.6, 0.3, 0.8, 0.18, 0.45};
    PassShape s = shape;
    const double lowEl = qBound(1.0, qMin(shape.minElevationDeg, shape.maxElevationDeg), 89.9);
    const double farthest = shape.focusMm / std::tan(lowEl * Pi / 180.0);
    const double nearest = farthest * Fractions[qMax(0, count) % 6];
    s.maxElevationDeg = qBound(lowEl, std::atan(shape.focusMm / nearest) * 180.0 / Pi, 89.9);
    // A straight track along the y axis leaves the across-track sign to the
    // rounding of the table; real passes are curved and cross it only briefly.
    s.headingDeg += 20.0;
    return s;
}

beam::TablePath feedPath(const Pass &pass, double focusMm)
{
    QVector<float> radii, angles;
    for (int i = 0; i < pass.size(); ++i) {
        const QPointF feed = beam::directionToFeed(pass.azimuthDeg(i), pass.elevationDeg(i), focusMm);
        radii.append(float(feed.x()));
        angles.append(float(feed.y()));
    }
    return beam::TablePath(radii, angles, 0.0);
}

QByteArray trackFileText(const Pass &pass)
{
    const QLocale c = QLocale::c();
    QString text;
    text += QStringLiteral("Satellite: ") + pass.satellite + QLatin1Char('\n');
    text += QStringLiteral("Start date & time: ")
            + c.toString(pass.startUtc, QStringLiteral("yyyy-MM-dd hh:mm:ss")) + QStringLiteral(" UTC\n");
    text += QStringLiteral("Orbit: ") + pass.orbit + QLatin1Char('\n');
    text += QStringLiteral("Time (UTC)   Azimuth    Elevation\n");
    text += QStringLiteral("             deg min    deg min\n");
    text += QStringLiteral("---------------------------------\n");
    for (int i = 0; i < pass.size(); ++i) {
        const QTime t = pass.startUtc.addSecs(i).time();
        // Columns: azimuth degrees at 11-13, minutes at 15-16, elevation
        // degrees at 20-22, minutes at 24-25.
        text += QString::asprintf("%02d:%02d:%02d   %3d %02d   %3d %02d\n", t.hour(), t.minute(),
                                  t.second(), pass.azimuthMinutes[i] / 60, pass.azimuthMinutes[i] % 60,
                                  pass.elevationMinutes[i] / 60, pass.elevationMinutes[i] % 60);
    }
    return text.toUtf8();
}

} // namespace trackwriter
