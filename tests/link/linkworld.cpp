#include "linkworld.h"

#include "appstate.h"
#include "clock.h"
#include "correction.h"
#include "eventsink.h"
#include "frames.h"
#include "gps.h"
#include "linkstate.h"
#include "settings.h"

namespace {
// Nothing in these tests may reach the machine's clock.
FakeClock g_clock(QDateTime(QDate(2024, 3, 1), QTime(12, 0, 0), Qt::UTC));
}

void resetLinkWorld()
{
    linkState.reset();
    correctionState.reset();
    resetFrames();
    StationSettings.reset();
    serviceMode = false;
    utcOffsetHours = 0;
    eventsink::set(nullptr);
    g_clock.setNowUtc(QDateTime(QDate(2024, 3, 1), QTime(12, 0, 0), Qt::UTC));
    platform::setClock(&g_clock);
}
