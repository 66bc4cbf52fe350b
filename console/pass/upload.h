#pragma once
#include <QByteArray>
#include <QString>
#include <QVector>
#include <QtGlobal>

#include "passenv.h"

struct PassPlanRecord;
class ControllerLink;

// Results of prepareTrackUpload (and of the buttons that run it).
enum UploadResult : int {
    UploadDone = 0,          // sent, or the table file written for a table-only run
    UploadNoReachable = 1,   // no reachable point: nothing drawn, written or sent
    UploadTooBig = 2,        // more than 496 points: "Track too big"
    UploadRefusedTime = 3,   // UpLoad in service mode outside the start window
    UploadNotAnalysed = 4,   // GoTo whose point was refused
};

// Text shown when an upload is refused for want of a reachable point.
inline constexpr const char *NoReachableText = "No reachable point. Track not sent";

// Converts the reachable points for the controller, draws the arms, fills the
// StartRadiusAzim/StopRadiusAzim labels, writes the .uu table file and sends the
// upload frame, as PassPlan.startMode says.
int prepareTrackUpload(PassPlanRecord &plan, ControllerLink &link, const PassEnv &env);

// One row of the table file: six cells, each "f" with one decimal, three or two
// blanks after it, padded to 8 characters.
QString uploadTableRow(double azimuthDeg, double elevationDeg, double radius, double angleDeg,
                       double u1Deg, double u2Deg);
// The whole table file: TrackInfo text, the header line, n rows.
QByteArray uploadTableText(const PassPlanRecord &plan, const QString &trackInfo, int n, const QVector<double> &u1,
                           const QVector<double> &u2);
// "R=250.0, az.=200.0, u1=260.0, u2=60.0"
QString radiusAzimText(double radius, double angle, double u1, double u2);
// Where the table file goes; empty when none is written.
QString uploadTablePath(const PassPlanRecord &plan, bool serviceMode);

// Start time of the frame for startMode 1 and 2: one minute from now in UTC
// seconds of day, not wrapped.
qint32 immediateStartSecond(qint16 utcOffsetHours);

namespace pass {
// Upload to start in one minute (Immediately; shiftOnly: Shift held, table file only).
int uploadImmediately(PassPlanRecord &plan, ControllerLink &link, const PassEnv &env, bool shiftOnly);
// A one-point pass to the position in the Azim and Elev texts (GoToPos).
int goToPosition(PassPlanRecord &plan, ControllerLink &link, const PassEnv &env, const QString &azimText, const QString &elevText, bool shiftOnly);
// New Focus or korr from the operator's text (Return in Focus and korrEdit).
void setFocusFromText(PassPlanRecord &plan, const PassEnv &env, const QString &text);
void setKorrFromText(PassPlanRecord &plan, const PassEnv &env, const QString &text);
}
