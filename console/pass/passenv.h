#pragma once
#include <QtGlobal>

struct StationSettingsRecord;
struct SkyDrawState;

// What the pass planner reads besides the plan itself: the station settings
// (Focus and korr change from the panel), the sky drawing and the run's facts.
struct PassEnv
{
    StationSettingsRecord &settings;
    SkyDrawState &sky;
    bool serviceMode = false;
    qint16 utcOffsetHours = 0;
};
