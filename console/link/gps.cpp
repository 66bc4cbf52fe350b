#include "gps.h"

#include "clock.h"

#include <QTime>

GpsTime splitTimeWord(qint32 timeWord)
{
    GpsTime t;
    if (timeWord < 0 || timeWord >= 86400)
        return t;
    t.hours = timeWord / 3600;
    const qint32 rest = timeWord - 3600 * t.hours;
    t.minutes = rest / 60;
    t.seconds = rest % 60;
    t.valid = true;
    return t;
}

GpsLabel gpsLabelFor(quint16 statusWord)
{
    switch (statusWord & GpsStateMask) {
    case 0x3000:
        return {QStringLiteral(" GPS time ok "), QStringLiteral("color: green")};
    case 0x2000:
        return {QStringLiteral(" GPS time is actual "), QStringLiteral("color: green")};
    case 0x1000:
        return {QStringLiteral(" GPS time failed "), QStringLiteral("color: Red")};
    default:
        return {QStringLiteral(" GPS NOT valid "), QStringLiteral("color: Red")};
    }
}

QString localTimeText(const GpsTime &time, qint16 offsetHours)
{
    if (!time.valid)
        return {};
    const QTime utc(time.hours, time.minutes, time.seconds);
    if (!utc.isValid())
        return {};
    return utc.addSecs(int(offsetHours) * 3600).toString(QStringLiteral("hh:mm:ss"));
}

qint64 clockShiftSeconds(const QTime &pcUtc, const GpsTime &gps)
{
    constexpr qint64 Day = 86400;
    const qint64 pc = pcUtc.msecsSinceStartOfDay() / 1000;
    qint64 shift = qint64(gps.hours) * 3600 + gps.minutes * 60 + gps.seconds - pc;
    if (shift > Day / 2)
        shift -= Day;
    else if (shift < -Day / 2)
        shift += Day;
    return shift;
}

ClockCorrection correctClock(quint16 statusWord, const GpsTime &time, bool timeCorrEnabled,
                             QString &lastRefusal)
{
    ClockCorrection c;
    if ((statusWord & GpsStateMask) != 0x3000 || !timeCorrEnabled || !time.valid)
        return c;
    SystemClock &clock = platform::clock();
    const qint64 shift = clockShiftSeconds(clock.nowUtc().time(), time);
    if (shift == 0)
        return c;
    c.attempted = true;
    c.shiftSeconds = shift;
    QString reason;
    c.set = clock.shiftSeconds(shift, &reason);
    if (c.set) {
        lastRefusal.clear();
        c.logLine = QStringLiteral("PC clock corrected by ") + (shift > 0 ? QStringLiteral("+") : QString())
                    + QString::number(shift) + QStringLiteral(" s");
    } else {
        if (reason.isEmpty())
            reason = QStringLiteral("refused");
        if (reason != lastRefusal)
            c.logLine = QStringLiteral("PC clock not set: ") + reason;
        lastRefusal = reason;
    }
    return c;
}

QString infoLabelText(const InfoLabelInput &in)
{
    QString text = QStringLiteral("  ") + QStringLiteral("  ") + in.localTime;
    if (in.position)
        text += QStringLiteral("   ") + QString::number(double(in.latitude), 'f', 5)
                + in.latHemisphere + QString::number(double(in.longitude), 'f', 5)
                + in.lonHemisphere;
    if (in.startCountdown)
        text += QStringLiteral("   Start in ") + QString::number(in.secondsToStart)
                + QStringLiteral(" sec");
    text += QStringLiteral("  ");
    return text;
}
