#pragma once
#include <QDateTime>
#include <QString>
#include <QtGlobal>

#include "passenv.h"

struct PassPlanRecord;
class ControllerLink;

// Start-window states of passStartState.
enum PassStartState : int {
    PassStartInvalid = -1, // startUtc is not a valid date-time
    PassStartTooLate = 0,  // 5 s or less ahead, or past
    PassStartable = 1,     // more than 5 s and less than 86401 whole seconds ahead
    PassStartTooEarly = 2, // 86401 whole seconds or more ahead
};

// Reachability of the loaded track: fills feedRadius, feedAngle, reachableCount,
// firstReachable, shows the summary (track files) and draws the preview.
// 0 success, 1 failure.
int analysePass(PassPlanRecord &plan, const PassEnv &env);

// Start times and the TrackInfo text of the analysed pass.
void showPassSummary(PassPlanRecord &plan, const PassEnv &env);
// The TrackInfo text for the current plan (without setting it), and the start of
// the pass file as a UTC date-time (invalid when the fields name no real time).
QString passSummaryText(const PassPlanRecord &plan, const PassEnv &env, const QDateTime &passStart);
QDateTime passFileStartUtc(const PassPlanRecord &plan);

int passStartState(const PassPlanRecord &plan);

namespace pass {
// Upload the loaded pass for its scheduled start (the UpLoad button). 0 when the upload went out; otherwise the reason it did not
// (service-mode time refusal 3, or the result of prepareTrackUpload).
int uploadScheduledPass(PassPlanRecord &plan, ControllerLink &link, const PassEnv &env);
}
