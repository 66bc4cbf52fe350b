#include "passtiming.h"

#include "appstate.h"
#include "clock.h"
#include "dialogs.h"
#include "eventsink.h"
#include "passplan.h"
#include "passview.h"
#include "pointing.h"
#include "settings.h"
#include "skypanel.h"
#include "upload.h"

#include <cmath>

namespace {
const QString DateTimeFormat = QStringLiteral("dd.MM.yyyy  hh:mm:ss");

QString shown(const QDateTime &t)
{
    return t.toString(DateTimeFormat);
}
}

int analysePass()
{
    PassPlan.feedRadius.clear();
    PassPlan.feedAngle.clear();
    PassPlan.firstReachable = NoReachablePoint;
    PassPlan.reachableCount = 0;
    const int points = qMin(PassPlan.pointCount,
                            qMin(PassPlan.azimuth.size(), PassPlan.elevation.size()));
    if (points <= 0)
        return 1;
    PassPlan.feedRadius.reserve(points);
    PassPlan.feedAngle.reserve(points);

    for (int i = 0; i < points && i <= 0xFFFF; ++i) {
        const FeedPosition p = feedPosition(PassPlan.azimuth.at(i), PassPlan.elevation.at(i));
        if (!p.reachable)
            continue;
        if (PassPlan.feedRadius.isEmpty())
            PassPlan.firstReachable = static_cast<quint16>(i);
        PassPlan.feedRadius.append(p.radius);
        PassPlan.feedAngle.append(p.angle);
    }
    if (PassPlan.feedRadius.isEmpty())
        return 1;
    PassPlan.reachableCount = PassPlan.feedRadius.size();

    if (!PassPlan.singlePointTrack) {
        if (PassPlan.reachableCount < 2) {
            eventsink::log(QStringLiteral("Track too low"));
            return 1;
        }
        showPassSummary();
    }
    SkyDraw.drawOffset = 0;
    drawPassPreview(static_cast<quint16>(PassPlan.reachableCount));
    return 0;
}

QDateTime passFileStartUtc()
{
    // Through the text form "d.M.yyyy  h:m:s", so odd fields (a year of fewer
    // than four digits, a negative day) are refused as they always were. Date
    // and time are read apart: read as one local date-time, a start inside a
    // daylight-saving gap of the PC's zone would come out invalid.
    const QDate date = QDate::fromString(QString::number(PassPlan.startDay) + QLatin1Char('.')
                                             + QString::number(PassPlan.startMonth) + QLatin1Char('.')
                                             + QString::number(PassPlan.startYear),
                                         QStringLiteral("d.M.yyyy"));
    const QTime time = QTime::fromString(QString::number(PassPlan.startHour) + QLatin1Char(':')
                                             + QString::number(PassPlan.startMinute) + QLatin1Char(':')
                                             + QString::number(PassPlan.startSecond),
                                         QStringLiteral("h:m:s"));
    if (!date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time, Qt::UTC);
}

QString passSummaryText(const QDateTime &passStart)
{
    const qint64 offset = qint64(utcOffsetHours) * 3600;
    const QDateTime localPassStart = passStart.isValid() ? passStart.addSecs(offset) : QDateTime();
    const QDateTime localStart = PassPlan.startUtc.isValid() ? PassPlan.startUtc.addSecs(offset) : QDateTime();
    const QString elevation = QString::number(PassPlan.maxElevation * 180.0 / M_PI, 'f', 2);
    const QString count = QString::number(PassPlan.reachableCount);

    if (!serviceMode)
        return PassPlan.satellite + QStringLiteral("\nmax elevation ") + elevation + QStringLiteral("; ")
            + count + QStringLiteral(" actual points") + QStringLiteral("\nStart at ") + shown(localStart);
    return PassPlan.satellite + QStringLiteral(" (") + PassPlan.orbit + QStringLiteral(")\nmax elevation ")
        + elevation + QStringLiteral("; ") + count + QStringLiteral(" actual points")
        + QStringLiteral("\nStart at ") + shown(passStart) + QStringLiteral("  (") + shown(localPassStart)
        + QStringLiteral(" local)") + QStringLiteral("\nActual start at ") + shown(localStart)
        + QStringLiteral(" (+") + QString::number(PassPlan.firstReachable) + QStringLiteral("sec)");
}

void showPassSummary()
{
    const QDateTime passStart = passFileStartUtc();
    PassPlan.startUtc = passStart.isValid() ? passStart.addSecs(PassPlan.firstReachable) : QDateTime();
    // Seconds from today's UTC midnight, fixed now, not reduced to one day.
    const QDateTime midnight(platform::nowUtc().date(), QTime(0, 0), Qt::UTC);
    PassPlan.startSecondOfDay = PassPlan.startUtc.isValid()
        ? static_cast<qint32>(midnight.secsTo(PassPlan.startUtc))
        : 0;

    PassView &view = pass::view();
    view.setTrackInfoText(passSummaryText(passStart));
    view.adjustTrackInfoSize();
    view.setTrackInfoStyleSheet(passStartState() == PassStartable ? QStringLiteral("color: Black")
                                                                  : QStringLiteral("color: Red"));
}

int passStartState()
{
    if (!PassPlan.startUtc.isValid())
        return PassStartInvalid;
    const QDateTime now = platform::nowUtc();
    if (now.addMSecs(5000) < PassPlan.startUtc) {
        const qint64 wholeSeconds = now.msecsTo(PassPlan.startUtc) / 1000;
        return wholeSeconds > 86400 ? PassStartTooEarly : PassStartable;
    }
    return PassStartTooLate;
}

namespace pass {
int uploadScheduledPass()
{
    if (serviceMode && passStartState() != PassStartable) {
        platform::dialogs().information(QStringLiteral("To late or too early. Track not loaded"));
        return UploadRefusedTime;
    }
    PassPlan.startMode = StartScheduled;
    return prepareTrackUpload();
}
}
