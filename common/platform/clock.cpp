#include "clock.h"

#include <QTimeZone>
#include <ctime>

QDateTime RealClock::nowUtc() const
{
    return QDateTime::currentDateTimeUtc();
}

void RealClock::setUtcTimeOfDay(int hours, int minutes, int seconds)
{
#if defined(Q_OS_UNIX)
    timespec ts{};
    if (clock_gettime(CLOCK_REALTIME, &ts) != 0)
        return;
    const time_t dayStart = ts.tv_sec - (ts.tv_sec % 86400);
    ts.tv_sec = dayStart + hours * 3600 + minutes * 60 + seconds;
    clock_settime(CLOCK_REALTIME, &ts); // refused without privilege: nothing changes
#else
    Q_UNUSED(hours) Q_UNUSED(minutes) Q_UNUSED(seconds)
#endif
}

FakeClock::FakeClock(const QDateTime &utc) : m_now(utc.toUTC()) {}

void FakeClock::setUtcTimeOfDay(int hours, int minutes, int seconds)
{
    ++m_setCalls;
    const QTime t(hours, minutes, seconds, m_now.time().msec());
    if (t.isValid())
        m_now = QDateTime(m_now.date(), t, Qt::UTC);
}

namespace {
RealClock g_realClock;
SystemClock *g_clock = &g_realClock;
}

namespace platform {
SystemClock &clock() { return *g_clock; }
void setClock(SystemClock *c) { g_clock = c ? c : &g_realClock; }
QDateTime nowUtc() { return g_clock->nowUtc(); }
QDateTime nowLocal() { return g_clock->nowUtc().toLocalTime(); }
}
