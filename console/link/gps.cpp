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

bool correctClock(quint16 statusWord, const GpsTime &time, bool timeCorrEnabled)
{
    if ((statusWord & GpsStateMask) != 0x3000 || !timeCorrEnabled || !time.valid)
        return false;
    SystemClock &clock = platform::clock();
    const QTime pc = clock.nowUtc().time();
    if (pc.hour() == time.hours && pc.minute() == time.minutes && pc.second() == time.seconds)
        return false;
    clock.setUtcTimeOfDay(time.hours, time.minutes, time.seconds);
    return true;
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
