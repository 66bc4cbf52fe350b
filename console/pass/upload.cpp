#include "upload.h"

#include "clock.h"
#include "dialogs.h"
#include "eventsink.h"
#include "controllerlink.h"
#include "frames.h"
#include "passplan.h"
#include "passtiming.h"
#include "passview.h"
#include "paths.h"
#include "pointing.h"
#include "safename.h"
#include "settings.h"
#include "skypanel.h"
#include "wholefile.h"

#include <QDir>
#include <cmath>

namespace {
constexpr double RadToDeg = 180.0 / M_PI;

QString cell(double value, int blanks)
{
    return (QString::number(value, 'f', 1) + QString(blanks, QLatin1Char(' ')))
        .leftJustified(8, QLatin1Char(' '));
}

// The operator sees a refusal in the log, and in service mode in a box first.
void reportRefusal(bool serviceMode, const QString &text)
{
    if (serviceMode)
        platform::dialogs().message(text);
    eventsink::log(text);
}

bool writeTableFile(const QString &path, const QByteArray &content)
{
    QString ignored;
    return writeWholeFile(path, content, &ignored);
}
}

QString uploadTableRow(double azimuthDeg, double elevationDeg, double radius, double angleDeg,
                       double u1Deg, double u2Deg)
{
    return cell(azimuthDeg, 3) + cell(elevationDeg, 2) + cell(radius, 3) + cell(angleDeg, 2)
        + cell(u1Deg, 3) + cell(u2Deg, 2) + QLatin1Char('\n');
}

QByteArray uploadTableText(const PassPlanRecord &plan, const QString &trackInfo, int n, const QVector<double> &u1,
                           const QVector<double> &u2)
{
    QString text = trackInfo + QStringLiteral("\nAzim    Elev     R       Fi      u1      u2\n");
    for (int k = 0; k < n; ++k) {
        const int track = plan.firstReachable + k;
        text += uploadTableRow(plan.azimuth.value(track) * RadToDeg,
                               plan.elevation.value(track) * RadToDeg,
                               plan.feedRadius.value(k), plan.feedAngle.value(k) * RadToDeg,
                               u1.value(k) * RadToDeg, u2.value(k) * RadToDeg);
    }
    return text.toUtf8();
}

QString radiusAzimText(double radius, double angle, double u1, double u2)
{
    return QStringLiteral("R=") + QString::number(radius, 'f', 1) + QStringLiteral(", az.=")
        + QString::number(angle * RadToDeg, 'f', 1) + QStringLiteral(", u1=")
        + QString::number(u1 * RadToDeg, 'f', 1) + QStringLiteral(", u2=")
        + QString::number(u2 * RadToDeg, 'f', 1);
}

QString uploadTablePath(const PassPlanRecord &plan, bool serviceMode)
{
    const QString safe =
        safeFileNamePart(plan.satellite + QStringLiteral(" (") + plan.orbit + QStringLiteral(").uu"));
    // Room for QSaveFile's ".XXXXXX" within the file system's name limit.
    const int cut = plan.satellite.size();
    const QString name = platform::fitFileName(safe.left(cut), safe.mid(cut), platform::MaxFileNameLength - 7);
    if (serviceMode) {
        if (plan.startMode != StartTableOnly)
            return {};
        // Beside the opened track; before any track was opened, in data/ as usual.
        if (!plan.lastOpenDir.isEmpty())
            return plan.lastOpenDir + QLatin1Char('/') + name;
    }
    return QStringLiteral("data/") + name;
}

qint32 immediateStartSecond(qint16 utcOffsetHours)
{
    const QTime local = platform::nowLocal().time();
    const qint32 seconds = local.isValid() ? local.msecsSinceStartOfDay() / 1000 : 0;
    return seconds + 60 - qint32(utcOffsetHours) * 3600;
}

int prepareTrackUpload(PassPlanRecord &plan, ControllerLink &link, const PassEnv &env)
{
    const int reachable = qMin(plan.reachableCount, qMin(plan.feedRadius.size(), plan.feedAngle.size()));
    if (reachable <= 0) {
        reportRefusal(env.serviceMode, QString::fromLatin1(NoReachableText));
        return UploadNoReachable;
    }

    int n = reachable;
    bool ok = false;
    const QString stop = pass::view().stopPointText().trimmed();
    const int v = stop.toInt(&ok, 10);
    if (ok && v > 0) {
        plan.uploadMode = uploadmode::CutAtStopPoint;
        if (v < reachable)
            n = v;
        drawPassPreview(static_cast<quint16>(n));
    } else {
        // Empty, zero, negative or not a number: the whole pass.
        plan.uploadMode = uploadmode::WholePass;
    }

    if (!plan.singlePointTrack) {
        if (8 * n + 26 > TxFrameSize) {
            reportRefusal(env.serviceMode, QStringLiteral("Track too big"));
            return UploadTooBig;
        }
    } else {
        plan.uploadMode = uploadmode::SinglePoint;
        n = 1;
    }

    QVector<double> u1, u2;
    computeArmAngles(env.settings.Radius, plan.feedRadius, plan.feedAngle, n, u1, u2);
    if (SkyPanel *panel = skyPanel())
        panel->drawArms(u1, u2);

    PassView &view = pass::view();
    view.setStartRadiusAzimText(radiusAzimText(plan.feedRadius.at(0), plan.feedAngle.at(0), u1.at(0), u2.at(0)));
    if (plan.uploadMode == uploadmode::CutAtStopPoint)
        view.setStopRadiusAzimText(radiusAzimText(plan.feedRadius.at(n - 1), plan.feedAngle.at(n - 1),
                                                  u1.at(n - 1), u2.at(n - 1)));

    const qint32 startSecond =
        plan.startMode == StartScheduled ? plan.startSecondOfDay : immediateStartSecond(env.utcOffsetHours);

    if (plan.startMode != StartImmediate) {
        const QString path = uploadTablePath(plan, env.serviceMode);
        if (!path.isEmpty()) {
            if (path.startsWith(QLatin1String("data/")) && !QDir().exists(QStringLiteral("data")))
                QDir().mkpath(QStringLiteral("data"));
            if (!writeTableFile(path, uploadTableText(plan, view.trackInfoText(), n, u1, u2))) {
                eventsink::log(QStringLiteral("Table file not written: ") + path);
                // For a table-only run the file is all there is to show for it.
                if (env.serviceMode && plan.startMode == StartTableOnly)
                    platform::dialogs().message(QStringLiteral("Table file not written: ") + path);
            }
        }
    }
    if (plan.startMode == StartTableOnly)
        return UploadDone;

    QVector<float> radii(n), angles(n);
    for (int k = 0; k < n; ++k) {
        radii[k] = static_cast<float>(plan.feedRadius.at(k));
        angles[k] = static_cast<float>(plan.feedAngle.at(k));
    }
    plan.uploadPointCount = static_cast<quint16>(n);
    link.sendUploadFrame(buildUploadFrame(startSecond, uploadSendTimeMs(platform::nowLocal(), env.utcOffsetHours),
                                          plan.uploadMode, static_cast<float>(env.settings.Radius), radii, angles));
    return UploadDone;
}

namespace pass {
int uploadImmediately(PassPlanRecord &plan, ControllerLink &link, const PassEnv &env, bool shiftOnly)
{
    plan.startMode = shiftOnly ? StartTableOnly : StartImmediate;
    return prepareTrackUpload(plan, link, env);
}

int goToPosition(PassPlanRecord &plan, ControllerLink &link, const PassEnv &env, const QString &azimText,
                 const QString &elevText, bool shiftOnly)
{
    bool azOk = false, elOk = false;
    const float az = azimText.toFloat(&azOk);
    const float el = elevText.toFloat(&elOk);
    if (!(azOk && elOk && el >= minElevation(env.settings))) {
        view().setGoToEditsLook(false);
        return UploadNotAnalysed;
    }
    view().setGoToEditsLook(true);
    plan.azimuth = {az * M_PI / 180.0};
    plan.elevation = {el * M_PI / 180.0};
    view().setTrackInfoText(QString());
    plan.pointCount = 1;
    plan.singlePointTrack = true;
    if (analysePass(plan, env) != 0)
        return UploadNotAnalysed;
    return uploadImmediately(plan, link, env, shiftOnly);
}

void setFocusFromText(PassPlanRecord &plan, const PassEnv &env, const QString &text)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value) || value < 100)
        return;
    env.settings.Focus = value;
    view().setMinElevationText(minElevationText(env.settings));
    analysePass(plan, env);
}

void setKorrFromText(PassPlanRecord &plan, const PassEnv &env, const QString &text)
{
    bool ok = false;
    const float value = text.toFloat(&ok);
    if (!ok || !std::isfinite(value))
        return;
    env.settings.korr = value;
    analysePass(plan, env);
}
}
