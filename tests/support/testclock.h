#pragma once
#include "clock.h"
#include "timers.h"

#include <QDateTime>
#include <QList>
#include <functional>

class TestTimer;

// Station time for in-process tests: a fake UTC clock and timers that run on
// it. Nothing moves until the test calls advance(); then every due timer fires
// at its own moment, in time order, and queued Qt events are delivered between
// firings. No wall-clock time is read, so every run is the same.
class TestClock : public platform::TimerSource
{
public:
    explicit TestClock(const QDateTime &startUtc);
    // Uninstalls itself; its timers that still exist never fire again.
    ~TestClock() override;

    // Makes it the process clock and timer source (until destroyed).
    void install();

    platform::Timer *create(QObject *parent) override;

    FakeClock &fake() { return m_fake; }
    QDateTime nowUtc() const { return m_fake.nowUtc(); }
    qint64 nowMs() const { return m_fake.nowUtc().toMSecsSinceEpoch(); }

    // Moves time forward by ms, firing what falls due on the way.
    void advance(qint64 ms);
    // Advances until the predicate holds (checked first and after every
    // firing), at most maxMs; true when it held. On true the clock stands at
    // the firing that made it so.
    bool advanceUntil(const std::function<bool()> &predicate, qint64 maxMs);
    // Active timers of this clock.
    int pendingTimers() const;

private:
    friend class TestTimer;
    void arm(TestTimer *timer, qint64 dueMs);
    void forget(TestTimer *timer);
    bool run(qint64 targetMs, const std::function<bool()> &predicate);
    static void deliverPosted();

    FakeClock m_fake;
    QList<TestTimer *> m_timers;
    quint64 m_nextSeq = 0;
    bool m_installed = false;
};
