#pragma once
#include <QDateTime>
#include <QString>
#include <QVector>
#include <QtGlobal>

inline constexpr quint16 NoReachablePoint = 65535;

// Start modes of an upload.
enum StartMode : quint8 {
    StartScheduled = 0, // UpLoad: start at the pass time
    StartImmediate = 1, // Immediately: start one minute from now
    StartTableOnly = 2, // Shift + Immediately: table file only, nothing sent
};

// Upload modes sent in the frame.
namespace uploadmode {
inline constexpr quint16 WholePass = 0;
inline constexpr quint16 CutAtStopPoint = 1;
inline constexpr quint16 SinglePoint = 2;
}

// The pass currently loaded, one record for the program.
struct PassPlanRecord
{
    QString satellite;
    QString orbit;
    qint32 startYear = 0;
    qint32 startMonth = 0;
    qint32 startDay = 0;
    qint32 startHour = 0;
    qint32 startMinute = 0;
    qint32 startSecond = 0;

    qint32 pointCount = 0;
    QVector<double> azimuth;   // radians, one per second
    QVector<double> elevation; // radians
    double maxElevation = 0.0;

    // Feed positions of the reachable points only, in track order.
    QVector<double> feedRadius; // mm
    QVector<double> feedAngle;  // radians
    qint32 reachableCount = 0;
    quint16 firstReachable = NoReachablePoint;
    bool singlePointTrack = false;

    QDateTime startUtc;
    qint32 startSecondOfDay = 0;
    quint16 uploadPointCount = 0;
    quint8 startMode = StartScheduled;
    quint16 uploadMode = uploadmode::WholePass;

    // Loader state kept beside the plan.
    QString lastOpenDir;       // folder of the file last chosen with Open
    bool autoLoadToggle = false; // set at the first poll that finds the track file
    // Size and modification time of the track file at the poll before (empty:
    // no file then); a file that changed between two polls is still being written.
    QString autoLoadSeenVersion;
    // Size and modification time of a file at TrackPath that was reported bad
    // or could not be moved away: that version is not read again.
    QString skippedTrackVersion;

    void reset() { *this = PassPlanRecord(); }
};

