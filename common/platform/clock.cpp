#include "clock.h"

#if defined(Q_OS_WIN)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#elif defined(Q_OS_UNIX)
#include <cerrno>
#include <ctime>
#endif

QDateTime RealClock::nowUtc() const
{
    return QDateTime::currentDateTimeUtc();
}

bool RealClock::shiftSeconds(qint64 seconds, QString *reason)
{
#if defined(Q_OS_WIN)
    // SetSystemTime enables the privilege itself when the account holds it.
    SYSTEMTIME st;
    GetSystemTime(&st);
    FILETIME ft;
    if (!SystemTimeToFileTime(&st, &ft)) {
        if (reason)
            *reason = qt_error_string(int(GetLastError()));
        return false;
    }
    ULARGE_INTEGER t;
    t.LowPart = ft.dwLowDateTime;
    t.HighPart = ft.dwHighDateTime;
    t.QuadPart += quint64(seconds * 10000000LL); // 100 ns units; wraps as signed
    ft.dwLowDateTime = t.LowPart;
    ft.dwHighDateTime = t.HighPart;
    if (!FileTimeToSystemTime(&ft, &st) || !SetSystemTime(&st)) {
        if (reason)
            *reason = qt_error_string(int(GetLastError()));
        return false;
    }
    return true;
#elif defined(Q_OS_UNIX)
    timespec ts{};
    bool ok = clock_gettime(CLOCK_REALTIME, &ts) == 0;
    if (ok) {
        ts.tv_sec += time_t(seconds);
        ok = clock_settime(CLOCK_REALTIME, &ts) == 0;
    }
    if (!ok && reason)
        *reason = qt_error_string(errno);
    return ok;
#else
    Q_UNUSED(seconds)
    if (reason)
        *reason = QStringLiteral("setting the clock is not supported on this system");
    return false;
#endif
}

FakeClock::FakeClock(const QDateTime &utc) : m_now(utc.toUTC()) {}

bool FakeClock::shiftSeconds(qint64 seconds, QString *reason)
{
    ++m_setCalls;
    if (!m_refusal.isEmpty()) {
        if (reason)
            *reason = m_refusal;
        return false;
    }
    m_now = m_now.addSecs(seconds);
    return true;
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
