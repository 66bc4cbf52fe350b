#include "trackfile.h"

#include "appstate.h"
#include "clock.h"
#include "dialogs.h"
#include "eventsink.h"
#include "passplan.h"
#include "passtiming.h"
#include "passview.h"
#include "paths.h"
#include "safename.h"
#include "settings.h"

#include <QFile>
#include <QFileInfo>

namespace {
constexpr double DegToRad = 0.017453292519943295;

double angle(int degrees, int minutes)
{
    // Minutes always add, also to negative degrees: -1 30 is -0.5.
    return degrees + minutes / 60.0;
}
}

int trackField(const QString &line, int position, int width)
{
    if (position < 0 || position >= line.size())
        return 0;
    bool ok = false;
    const int value = line.mid(position, width).trimmed().toInt(&ok, 10);
    return ok ? value : 0;
}

int TrackFile::parse(const QByteArray &bytes)
{
    // Text mode: a CR LF pair reads as LF; the text ends at the first NUL.
    QByteArray text = bytes;
    const int nul = text.indexOf('\0');
    if (nul >= 0)
        text.truncate(nul);
    text.replace("\r\n", "\n");
    const QStringList lines = QString::fromLatin1(text).split(QLatin1Char('\n'));

    const QString satelliteKey = QStringLiteral("Satellite: ");
    const QString startKey = QStringLiteral("Start date & time: ");
    const QString orbitKey = QStringLiteral("Orbit: ");
    const QString separator = QStringLiteral(": ");

    const QString &line1 = lines.at(0);
    if (!line1.contains(satelliteKey))
        return TrackNoSatellite;
    m_satellite = line1.mid(line1.indexOf(separator) + separator.size());

    if (lines.size() < 2 || !lines.at(1).contains(startKey))
        return TrackNoStartTime;
    if (lines.size() < 3 || !lines.at(2).contains(orbitKey))
        return TrackNoOrbit;
    const QString &line3 = lines.at(2);
    m_orbit = line3.mid(line3.indexOf(separator) + separator.size());

    const QString &line2 = lines.at(1);
    const int colon = line2.indexOf(QLatin1Char(':'));
    const int dash = line2.indexOf(QLatin1Char('-'));
    const int utc = line2.indexOf(QLatin1String("UTC"));
    m_year = trackField(line2, colon + 2, 4);
    m_month = trackField(line2, dash + 1, 2);
    m_day = trackField(line2, dash + 4, 2);
    m_hour = utc < 0 ? 0 : trackField(line2, utc - 9, 2);
    m_minute = utc < 0 ? 0 : trackField(line2, utc - 6, 2);
    m_second = utc < 0 ? 0 : trackField(line2, utc - 3, 2);

    if (lines.size() > MaxTrackLines)
        return TrackTooManyLines;
    if (lines.size() < 7)
        return TrackUnterminated;

    m_azDeg.clear();
    m_azMin.clear();
    m_elDeg.clear();
    m_elMin.clear();
    m_pointCount = 0;
    // Line 7 is always the first point; the first empty line after it ends the
    // list, and the list must end before the text does.
    for (int i = 6;; ++i) {
        if (i >= lines.size())
            return TrackUnterminated;
        const QString &line = lines.at(i);
        if (i > 6 && line.isEmpty())
            break;
        m_azDeg.append(trackField(line, 11, 3));
        m_azMin.append(trackField(line, 15, 2));
        m_elDeg.append(trackField(line, 20, 3));
        m_elMin.append(trackField(line, 24, 2));
        ++m_pointCount;
    }

    m_maxElevation = 0.0;
    for (int i = 0; i < m_pointCount; ++i)
        m_maxElevation = qMax(m_maxElevation, angle(m_elDeg.at(i), m_elMin.at(i)) * DegToRad);
    return TrackOk;
}

double TrackFile::toRadians(QVector<double> &azimuth, QVector<double> &elevation)
{
    azimuth.resize(m_pointCount);
    elevation.resize(m_pointCount);
    double maxEl = 0.0;
    for (int i = 0; i < m_pointCount; ++i) {
        azimuth[i] = angle(m_azDeg.at(i), m_azMin.at(i)) * DegToRad;
        elevation[i] = angle(m_elDeg.at(i), m_elMin.at(i)) * DegToRad;
        maxEl = qMax(maxEl, elevation[i]);
    }
    m_maxElevation = maxEl;
    return maxEl;
}

void TrackFile::release()
{
    m_azDeg = {};
    m_azMin = {};
    m_elDeg = {};
    m_elMin = {};
    m_pointCount = 0;
}

void TrackFile::commitTo(PassPlanRecord &plan)
{
    plan.satellite = m_satellite;
    plan.orbit = m_orbit;
    plan.startYear = m_year;
    plan.startMonth = m_month;
    plan.startDay = m_day;
    plan.startHour = m_hour;
    plan.startMinute = m_minute;
    plan.startSecond = m_second;
    plan.pointCount = m_pointCount;
    plan.maxElevation = toRadians(plan.azimuth, plan.elevation);
}

namespace {
// The whole name made safe, then cut at the satellite part when too long.
QString fittedName(const QString &satellite, const QString &rest)
{
    const QString safe = safeFileNamePart(satellite + rest);
    return platform::fitFileName(safe.left(satellite.size()), safe.mid(satellite.size()));
}
}

QString renamedTrackPath(const QString &trackPath, bool service, const QString &lastOpenDir,
                         const QString &satellite, const QString &orbit)
{
    if (service)
        return lastOpenDir + QLatin1Char('/')
            + fittedName(satellite, QLatin1Char('(') + orbit + QLatin1String(").txt"));
    // Into the TrackPath folder, whatever folder the file came from.
    const int cut = trackPath.indexOf(QLatin1String("Track.txt"));
    const QString prefix = cut < 0 ? trackPath : trackPath.left(cut);
    const QString stamp = platform::nowLocal().toString(QStringLiteral("ddMMyy_hhmmss"));
    return prefix + fittedName(satellite, QLatin1Char('(') + orbit + QLatin1String(")_") + stamp + QLatin1String(".txt"));
}

int loadTrackFile(PassPlanRecord &plan, const StationSettingsRecord &settings, bool serviceMode,
                  const QString &path, QString *notMoved)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return TrackCannotOpen;
    const QByteArray bytes = file.readAll();
    file.close();

    TrackFile track;
    const int code = track.parse(bytes);
    if (code != TrackOk)
        return code;

    // A failed rename leaves the file where it is; the load still counts.
    if (!file.rename(renamedTrackPath(settings.TrackPath, serviceMode, plan.lastOpenDir,
                                      track.satellite(), track.orbit()))
        && notMoved)
        *notMoved = file.errorString();
    track.commitTo(plan);
    // A track file replaces any GoTo point.
    plan.singlePointTrack = false;
    track.release();
    return TrackOk;
}

namespace {
QString fileVersion(const QString &path)
{
    const QFileInfo info(path);
    return QString::number(info.size()) + QLatin1Char('@')
        + QString::number(info.lastModified().toMSecsSinceEpoch());
}
}

qint8 autoLoadTrack(PassPlanRecord &plan, const PassEnv &env)
{
    QString version;
    if (QFile::exists(env.settings.TrackPath)) {
        // A file reported bad or left behind by a failed rename is read again
        // only when it changes.
        version = fileVersion(env.settings.TrackPath);
        if (version == plan.skippedTrackVersion)
            return 0;
        // Read only at the second poll that finds the file, so its writer is
        // done; a file that grew or changed since the poll before is not.
        const bool changed = !plan.autoLoadSeenVersion.isEmpty() && version != plan.autoLoadSeenVersion;
        plan.autoLoadSeenVersion = version;
        if (!plan.autoLoadToggle || changed) {
            plan.autoLoadToggle = true;
            return 0;
        }
        plan.autoLoadToggle = false;
    } else {
        plan.autoLoadSeenVersion.clear();
    }
    QString notMoved;
    const int code = loadTrackFile(plan, env.settings, env.serviceMode, env.settings.TrackPath, &notMoved);
    if (code == TrackCannotOpen)
        return 0;
    if (code != TrackOk) {
        plan.skippedTrackVersion = version;
        eventsink::log(QStringLiteral("error in track file ") + QString::number(code));
        return 0;
    }
    if (!notMoved.isEmpty()) {
        plan.skippedTrackVersion = version;
        eventsink::log(QStringLiteral("track file not moved: ") + notMoved);
    }
    if (analysePass(plan, env) != 0)
        return 0;
    eventsink::log(QStringLiteral("Track loaded: ") + plan.satellite + QStringLiteral(". Start at ")
                   + plan.startUtc.toString(QStringLiteral("dd.MM.yyyy  hh:mm:ss")));
    return 1;
}

namespace pass {
void openTrackFromDialog(PassPlanRecord &plan, const PassEnv &env)
{
    const QString file = platform::dialogs().openFile(
        QStringLiteral("Open Track"), plan.lastOpenDir, QStringLiteral("Track Files (*.txt)"));
    if (file.isEmpty())
        return;
    plan.lastOpenDir = QFileInfo(file).absolutePath();
    if (loadTrackFile(plan, env.settings, env.serviceMode, file) != TrackOk) {
        platform::dialogs().message(QStringLiteral("Track not loaded1"));
        return;
    }
    view().setUploadButtonsEnabled(true);
    plan.singlePointTrack = false;
    analysePass(plan, env);
}
}
