#pragma once
#include "passenv.h"
#include <QByteArray>
#include <QString>
#include <QVector>
#include <QtGlobal>

struct PassPlanRecord;

// Result codes of loading a track file.
enum TrackLoadCode : int {
    TrackOk = 0,
    TrackCannotOpen = 1,
    TrackNoSatellite = 2,
    TrackNoStartTime = 3,
    TrackNoOrbit = 4,
    TrackTooManyLines = 5,
    TrackUnterminated = 6,
};

inline constexpr int MaxTrackLines = 1000;

// Parser of one track file, made afresh for every load. The header is kept here
// and committed to the pass plan only when the whole file parsed, so a rejected
// file leaves the loaded pass untouched.
class TrackFile
{
public:
    // 0 or a TrackLoadCode reason.
    int parse(const QByteArray &bytes);

    int pointCount() const { return m_pointCount; }
    double maxElevation() const { return m_maxElevation; }
    // Fills azimuth and elevation (radians) of every point; gives the maximum
    // elevation in radians (never below 0).
    double toRadians(QVector<double> &azimuth, QVector<double> &elevation);
    void release();

    QString satellite() const { return m_satellite; }
    QString orbit() const { return m_orbit; }
    int year() const { return m_year; }
    int month() const { return m_month; }
    int day() const { return m_day; }
    int hour() const { return m_hour; }
    int minute() const { return m_minute; }
    int second() const { return m_second; }

    // Header and points into the plan (satellite, orbit, start fields,
    // pointCount, azimuth, elevation, maxElevation).
    void commitTo(PassPlanRecord &plan);

private:
    QString m_satellite;
    QString m_orbit;
    int m_year = 0, m_month = 0, m_day = 0, m_hour = 0, m_minute = 0, m_second = 0;
    QVector<int> m_azDeg, m_azMin, m_elDeg, m_elMin;
    int m_pointCount = 0;
    double m_maxElevation = 0.0;
};

// Decimal integer of a fixed field: blanks around it ignored, sign allowed,
// anything else (or a field beyond the line) gives 0.
int trackField(const QString &line, int position, int width);

// Reads, parses and, on success, renames the file and puts the track into the
// pass plan. 1 when it cannot be opened, otherwise the code of TrackFile::parse.
// A failed rename still loads; notMoved then gets the system's reason.
int loadTrackFile(PassPlanRecord &plan, const StationSettingsRecord &settings, bool serviceMode,
                  const QString &path, QString *notMoved = nullptr);

// The archive name a loaded track file is moved to; the satellite and orbit
// part is shortened when the name would pass the file system's limit.
QString renamedTrackPath(const QString &trackPath, bool service, const QString &lastOpenDir,
                         const QString &satellite, const QString &orbit);

// Periodic automatic load from TrackPath: 1 when a track was loaded and the pass
// analysis accepted it, otherwise 0. A file is read at the second poll that finds it.
qint8 autoLoadTrack(PassPlanRecord &plan, const PassEnv &env);

namespace pass {
// Open a track file chosen by the operator (the Open button).
void openTrackFromDialog(PassPlanRecord &plan, const PassEnv &env);
}
