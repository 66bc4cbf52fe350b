#include "testclock.h"

#include <QCoreApplication>
#include <QEvent>

// A timer of the test clock. It keeps its due moment; the clock decides when
// that moment has come.
class TestTimer : public platform::Timer
{
public:
    TestTimer(TestClock *clock, QObject *parent) : platform::Timer(parent), m_clock(clock) {}
    ~TestTimer() override
    {
        if (m_clock)
            m_clock->forget(this);
    }

    void setInterval(int ms) override { m_interval = qMax(0, ms); }
    int interval() const override { return m_interval; }
    void setSingleShot(bool singleShot) override { m_singleShot = singleShot; }
    void start() override
    {
        if (m_clock)
            m_clock->arm(this, m_clock->elapsedMs() + m_interval);
    }
    void start(int ms) override
    {
        setInterval(ms);
        start();
    }
    void stop() override { m_active = false; }
    bool isActive() const override { return m_active; }

    TestClock *m_clock;
    int m_interval = 0;
    bool m_singleShot = false;
    bool m_active = false;
    qint64 m_dueMs = 0; // elapsed time of the clock
    quint64 m_seq = 0;

    friend class TestClock;
    void fire() { emit timeout(); }
};

TestClock::TestClock(const QDateTime &startUtc)
    : m_fake(startUtc), m_startMs(startUtc.toMSecsSinceEpoch())
{
}

TestClock::~TestClock()
{
    for (TestTimer *t : qAsConst(m_timers)) {
        t->m_clock = nullptr;
        t->m_active = false;
    }
    m_timers.clear();
    if (m_installed) {
        platform::setClock(nullptr);
        platform::setTimers(nullptr);
    }
}

void TestClock::install()
{
    platform::setClock(&m_fake);
    platform::setTimers(this);
    m_installed = true;
}

platform::Timer *TestClock::create(QObject *parent)
{
    auto *t = new TestTimer(this, parent);
    m_timers.append(t);
    return t;
}

void TestClock::arm(TestTimer *timer, qint64 dueElapsedMs)
{
    timer->m_active = true;
    timer->m_dueMs = dueElapsedMs;
    // A restart counts as a new start for the order of ties.
    timer->m_seq = m_nextSeq++;
}

void TestClock::forget(TestTimer *timer)
{
    m_timers.removeAll(timer);
}

void TestClock::deliverPosted()
{
    if (!QCoreApplication::instance())
        return;
    QCoreApplication::sendPostedEvents();
    // Outside an event loop deleteLater only happens when asked for by name.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

bool TestClock::run(qint64 targetMs, const std::function<bool()> &predicate)
{
    deliverPosted();
    if (predicate && predicate())
        return true;
    for (;;) {
        TestTimer *next = nullptr;
        for (TestTimer *t : qAsConst(m_timers)) {
            if (!t->m_active || t->m_dueMs > targetMs)
                continue;
            if (!next || t->m_dueMs < next->m_dueMs
                || (t->m_dueMs == next->m_dueMs && t->m_seq < next->m_seq))
                next = t;
        }
        if (!next)
            break;
        moveTo(next->m_dueMs);
        if (next->m_singleShot) {
            next->m_active = false;
        } else {
            // Periodic timers keep their phase; a zero interval would never
            // let time move, so it counts as one millisecond.
            next->m_dueMs += qMax(1, next->m_interval);
        }
        next->fire();
        deliverPosted();
        if (predicate && predicate())
            return true;
    }
    moveTo(targetMs);
    deliverPosted();
    return predicate && predicate();
}

void TestClock::moveTo(qint64 elapsedMs)
{
    if (elapsedMs <= m_elapsedMs)
        return;
    // The PC clock runs on from wherever it was set to.
    m_fake.advanceMs(elapsedMs - m_elapsedMs);
    m_elapsedMs = elapsedMs;
}

void TestClock::advance(qint64 ms)
{
    run(m_elapsedMs + qMax<qint64>(0, ms), nullptr);
}

bool TestClock::advanceUntil(const std::function<bool()> &predicate, qint64 maxMs)
{
    return run(m_elapsedMs + qMax<qint64>(0, maxMs), predicate);
}
