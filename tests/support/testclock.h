#pragma once
#include "clock.h"
#include "timers.h"

#include <QDateTime>
#include <QList>
#include <functional>

class TestTimer;

// Station time for in-process tests: a fake UTC clock (the PC clock) and timers.
// Nothing moves until the test calls advance(); then every due timer fires at
// its own moment, in time order, and queued Qt events are delivered between
// firings. Like real timers they run on elapsed time: a shift of the PC clock
// (the console setting it from GPS) moves neither their moments nor
// stationMs(), the true time a controller stand-in keeps. No wall-clock time
// is read, so every run is the same.
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
    // The PC clock, as platform::nowUtc() reads it.
    qint64 nowMs() const { return m_fake.nowUtc().toMSecsSinceEpoch(); }
    // True UTC: the start moment plus the time advanced since.
    qint64 stationMs() const { return m_startMs + m_elapsedMs; }
    qint64 elapsedMs() const { return m_elapsedMs; }

    // Moves time forward by ms, firing what falls due on the way.
    void advance(qint64 ms);
    // Advances until the predicate holds (checked first and after every
    // firing), at most maxMs; true when it held. On true the clock stands at
    // the firing that made it so.
    bool advanceUntil(const std::function<bool()> &predicate, qint64 maxMs);

private:
    friend class TestTimer;
    void arm(TestTimer *timer, qint64 dueElapsedMs);
    void moveTo(qint64 elapsedMs);
    void forget(TestTimer *timer);
    bool run(qint64 targetMs, const std::function<bool()> &predicate);
    static void deliverPosted();

    FakeClock m_fake;
    qint64 m_startMs;
    qint64 m_elapsedMs = 0;
    QList<TestTimer *> m_timers;
    quint64 m_nextSeq = 0;
    bool m_installed = false;
};
