#include "linkworld.h"

#include "clock.h"
#include "eventsink.h"

namespace {
// Nothing in these tests may reach the machine's clock.
FakeClock g_clock(QDateTime(QDate(2024, 3, 1), QTime(12, 0, 0), Qt::UTC));
}

LinkWorld::LinkWorld()
{
    eventsink::set(nullptr);
    g_clock.setNowUtc(QDateTime(QDate(2024, 3, 1), QTime(12, 0, 0), Qt::UTC));
    platform::setClock(&g_clock);
}

void LinkWorld::sendThrough(ControllerTransport *port)
{
    link.setTransport(port);
    link.suspendReading();
}

ReplyContext LinkWorld::context() const
{
    ReplyContext c;
    c.serviceMode = serviceMode;
    c.timeCorr = StationSettings.TimeCorr != 0;
    c.utcOffsetHours = utcOffsetHours;
    c.singlePointUpload = isSinglePointUpload(lastUploadBytes);
    return c;
}
