#include "manual.h"

#include "frames.h"
#include "settings.h"

#include <QFile>
#include <QtEndian>
#include <cmath>
#include <limits>


bool readNumber(const QString &text, double *value)
{
    bool ok = false;
    const double v = text.toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return false;
    *value = v;
    return true;
}

bool correctionSteps(double degrees, qint16 total, qint16 *steps)
{
    if (!std::isfinite(degrees))
        return false;
    const double n = std::floor(degrees / CorrectionStepDegrees + 0.5);
    // A value beyond the wire field would reach the controller wrapped round
    // as a different correction; refuse it instead.
    constexpr double lo = std::numeric_limits<qint16>::min();
    constexpr double hi = std::numeric_limits<qint16>::max();
    if (n < lo || n > hi || total + n < lo || total + n > hi)
        return false;
    *steps = static_cast<qint16>(n);
    return true;
}

QString degreesText(double degrees)
{
    return QString::number(degrees, 'g', 6);
}

AzimuthEntry readAzimuth(const QString &text, double *degrees)
{
    if (text == QLatin1String(NoChangeText))
        return AzimuthEntry::NoChange;
    double v = 0;
    // Beyond one turn the value x 10 could collide with the "No change"
    // argument 9999 or leave the 16-bit field.
    if (!readNumber(text, &v) || v < -360.0 || v > 360.0)
        return AzimuthEntry::Invalid;
    if (degrees)
        *degrees = v;
    return AzimuthEntry::Value;
}

QString azimuthName(double degrees)
{
    if (degrees == 0)
        return QStringLiteral("(North)");
    if (degrees == 90)
        return QStringLiteral("(East)");
    if (degrees == 180)
        return QStringLiteral("(South)");
    if (degrees == 270)
        return QStringLiteral("(West)");
    return QString();
}

double referenceAzimuth(double lat1, double lon1, double lat2, double lon2)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double halfTurn = M_PI;
    if (std::fabs(lat1) > halfTurn / 2 || std::fabs(lat2) > halfTurn / 2)
        return nan;
    // The short way round: two points either side of the 180th meridian
    // are a few degrees apart, not nearly a whole turn.
    const double dLon = std::remainder(lon2 - lon1, 2 * halfTurn);
    const double a = std::sin((lat2 - lat1) / 2);
    const double b = std::cos(lat1) * std::sin(dLon / 2);
    if (!std::isfinite(a) || !std::isfinite(b) || (a == 0 && b == 0))
        return nan;
    // Direction (east b, north a), clockwise from north.
    double theta = std::atan2(b, a) / DegreesToRadians;
    if (theta < 0)
        theta += 360.0;
    if (theta >= 360.0)
        theta -= 360.0;
    return theta + 0.0; // no "-0"
}

qint16 storeArgument(const QString &azimuthText)
{
    if (azimuthText == QLatin1String(NoChangeText))
        return NoChangeArgument;
    double v = 0;
    if (!readNumber(azimuthText, &v))
        return 0;
    const double tenths = std::trunc(v * 10.0);
    return static_cast<qint16>(qBound<double>(std::numeric_limits<qint16>::min(), tenths,
                                              std::numeric_limits<qint16>::max()));
}

QString korrRecord(const QDateTime &utc, const QString &parallText, const QString &northText,
                   const QString &azimuthText)
{
    auto value = [](const QString &text) {
        double v = 0;
        readNumber(text, &v);
        return degreesText(v);
    };
    const int azimuth = azimuthText == QLatin1String(NoChangeText) ? 0 : storeArgument(azimuthText);
    return QLatin1String("\n") + utc.toUTC().toString(QStringLiteral("dd-MM-yy hh:mm:ss"))
           + QLatin1String("\nParall_corr=") + value(parallText)
           + QLatin1String("\nOrig_corr=") + value(northText)
           + QLatin1String("\nAzimuth=") + QString::number(azimuth)
           + QLatin1String("\n***");
}

bool appendKorrRecord(const QString &record, const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
        return false;
    const QByteArray bytes = record.toUtf8();
    const bool written = file.write(bytes) == bytes.size();
    file.close();
    return written;
}

void chooseScanMode(StationSettingsRecord &s, ScanChoice choice, bool on)
{
    s.ScanModeRL = choice == ScanChoice::ScanRL && on;
    s.ScanModeFB = choice == ScanChoice::ScanFB && on;
    s.Feedback = choice == ScanChoice::Feedback && on;
}
