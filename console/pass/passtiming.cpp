#include "passtiming.h"

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

int analysePass(PassPlanRecord &plan, const PassEnv &env)
{
    plan.feedRadius.clear();
    plan.feedAngle.clear();
    plan.firstReachable = NoReachablePoint;
    plan.reachableCount = 0;
    const int points = qMin(plan.pointCount,
                            qMin(plan.azimuth.size(), plan.elevation.size()));
    if (points <= 0)
        return 1;
    plan.feedRadius.reserve(points);
    plan.feedAngle.reserve(points);

    for (int i = 0; i < points && i <= 0xFFFF; ++i) {
        const FeedPosition p = feedPosition(env.settings, plan.azimuth.at(i), plan.elevation.at(i));
        if (!p.reachable)
            continue;
        if (plan.feedRadius.isEmpty())
            plan.firstReachable = static_cast<quint16>(i);
        plan.feedRadius.append(p.radius);
        plan.feedAngle.append(p.angle);
    }
    if (plan.feedRadius.isEmpty())
        return 1;
    plan.reachableCount = plan.feedRadius.size();

    if (!plan.singlePointTrack) {
        if (plan.reachableCount < 2) {
            eventsink::log(QStringLiteral("Track too low"));
            return 1;
        }
        showPassSummary(plan, env);
    }
    env.sky.drawOffset = 0;
    drawPassPreview(static_cast<quint16>(plan.reachableCount));
    return 0;
}

QDateTime passFileStartUtc(const PassPlanRecord &plan)
{
    // Through the text form "d.M.yyyy  h:m:s", so odd fields (a year of fewer
    // than four digits, a negative day) are refused as they always were. Date
    // and time are read apart: read as one local date-time, a start inside a
    // daylight-saving gap of the PC's zone would come out invalid.
    const QDate date = QDate::fromString(QString::number(plan.startDay) + QLatin1Char('.')
                                             + QString::number(plan.startMonth) + QLatin1Char('.')
                                             + QString::number(plan.startYear),
                                         QStringLiteral("d.M.yyyy"));
    const QTime time = QTime::fromString(QString::number(plan.startHour) + QLatin1Char(':')
                                             + QString::number(plan.startMinute) + QLatin1Char(':')
                                             + QString::number(plan.startSecond),
                                         QStringLiteral("h:m:s"));
    if (!date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time, Qt::UTC);
}

QString passSummaryText(const PassPlanRecord &plan, const PassEnv &env, const QDateTime &passStart)
{
    const qint64 offset = qint64(env.utcOffsetHours) * 3600;
    const QDateTime localPassStart = passStart.isValid() ? passStart.addSecs(offset) : QDateTime();
    const QDateTime localStart = plan.startUtc.isValid() ? plan.startUtc.addSecs(offset) : QDateTime();
    const QString elevation = QString::number(plan.maxElevation * 180.0 / M_PI, 'f', 2);
    const QString count = QString::number(plan.reachableCount);

    if (!env.serviceMode)
        return plan.satellite + QStringLiteral("\nmax elevation ") + elevation + QStringLiteral("; ")
            + count + QStringLiteral(" actual points") + QStringLiteral("\nStart at ") + shown(localStart);
    return plan.satellite + QStringLiteral(" (") + plan.orbit + QStringLiteral(")\nmax elevation ")
        + elevation + QStringLiteral("; ") + count + QStringLiteral(" actual points")
        + QStringLiteral("\nStart at ") + shown(passStart) + QStringLiteral("  (") + shown(localPassStart)
        + QStringLiteral(" local)") + QStringLiteral("\nActual start at ") + shown(localStart)
        + QStringLiteral(" (+") + QString::number(plan.firstReachable) + QStringLiteral("sec)");
}

void showPassSummary(PassPlanRecord &plan, const PassEnv &env)
{
    const QDateTime passStart = passFileStartUtc(plan);
    plan.startUtc = passStart.isValid() ? passStart.addSecs(plan.firstReachable) : QDateTime();
    // Seconds from today's UTC midnight, fixed now, not reduced to one day.
    const QDateTime midnight(platform::nowUtc().date(), QTime(0, 0), Qt::UTC);
    plan.startSecondOfDay = plan.startUtc.isValid()
        ? static_cast<qint32>(midnight.secsTo(plan.startUtc))
        : 0;

    PassView &view = pass::view();
    view.setTrackInfoText(passSummaryText(plan, env, passStart));
    view.adjustTrackInfoSize();
    view.setTrackInfoStyleSheet(passStartState(plan) == PassStartable ? QStringLiteral("color: Black")
                                                                  : QStringLiteral("color: Red"));
}

int passStartState(const PassPlanRecord &plan)
{
    if (!plan.startUtc.isValid())
        return PassStartInvalid;
    const QDateTime now = platform::nowUtc();
    if (now.addMSecs(5000) < plan.startUtc) {
        const qint64 wholeSeconds = now.msecsTo(plan.startUtc) / 1000;
        return wholeSeconds > 86400 ? PassStartTooEarly : PassStartable;
    }
    return PassStartTooLate;
}

namespace pass {
int uploadScheduledPass(PassPlanRecord &plan, ControllerLink &link, const PassEnv &env)
{
    if (env.serviceMode && passStartState(plan) != PassStartable) {
        platform::dialogs().information(QStringLiteral("To late or too early. Track not loaded"));
        return UploadRefusedTime;
    }
    plan.startMode = StartScheduled;
    return prepareTrackUpload(plan, link, env);
}
}
