#include "timers.h"

#include <QTimer>

namespace platform {
namespace {

class QtTimer : public Timer
{
public:
    explicit QtTimer(QObject *parent) : Timer(parent)
    {
        connect(&m_timer, &QTimer::timeout, this, &Timer::timeout);
    }
    void setInterval(int ms) override { m_timer.setInterval(ms); }
    int interval() const override { return m_timer.interval(); }
    void setSingleShot(bool singleShot) override { m_timer.setSingleShot(singleShot); }
    void start() override { m_timer.start(); }
    void start(int ms) override { m_timer.start(ms); }
    void stop() override { m_timer.stop(); }
    bool isActive() const override { return m_timer.isActive(); }

private:
    QTimer m_timer;
};

class QtTimerSource : public TimerSource
{
public:
    Timer *create(QObject *parent) override { return new QtTimer(parent); }
};

QtTimerSource g_qtTimers;
TimerSource *g_source = nullptr;

} // namespace

TimerSource &timers()
{
    return g_source ? *g_source : g_qtTimers;
}

void setTimers(TimerSource *source)
{
    g_source = source;
}

Timer *newTimer(QObject *parent)
{
    return timers().create(parent);
}

} // namespace platform
