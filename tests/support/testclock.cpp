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
            m_clock->arm(this, m_clock->nowMs() + m_interval);
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
    qint64 m_dueMs = 0;
    quint64 m_seq = 0;

    friend class TestClock;
    void fire() { emit timeout(); }
};

TestClock::TestClock(const QDateTime &startUtc) : m_fake(startUtc) {}

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

void TestClock::arm(TestTimer *timer, qint64 dueMs)
{
    timer->m_active = true;
    timer->m_dueMs = dueMs;
    // A restart counts as a new start for the order of ties.
    timer->m_seq = m_nextSeq++;
}

void TestClock::forget(TestTimer *timer)
{
    m_timers.removeAll(timer);
}

int TestClock::pendingTimers() const
{
    int n = 0;
    for (const TestTimer *t : m_timers)
        n += t->m_active ? 1 : 0;
    return n;
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
        // Time never runs backwards, even when the test moved the fake clock on.
        if (next->m_dueMs > nowMs())
            m_fake.setNowUtc(QDateTime::fromMSecsSinceEpoch(next->m_dueMs, Qt::UTC));
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
    if (targetMs > nowMs())
        m_fake.setNowUtc(QDateTime::fromMSecsSinceEpoch(targetMs, Qt::UTC));
    deliverPosted();
    return predicate && predicate();
}

void TestClock::advance(qint64 ms)
{
    run(nowMs() + qMax<qint64>(0, ms), nullptr);
}

bool TestClock::advanceUntil(const std::function<bool()> &predicate, qint64 maxMs)
{
    return run(nowMs() + qMax<qint64>(0, maxMs), predicate);
}
