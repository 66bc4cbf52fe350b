#pragma once
#include <QObject>

// The console's periodic timers. The real ones are QTimers; tests install a
// source whose timers run on a test clock, so that minutes of station time
// pass in milliseconds and in the same order every run.
namespace platform {

class Timer : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~Timer() override = default;
    virtual void setInterval(int ms) = 0;
    virtual int interval() const = 0;
    virtual void setSingleShot(bool singleShot) = 0;
    virtual void start() = 0;          // (re)starts with the current interval
    virtual void start(int ms) = 0;    // sets the interval, then (re)starts
    virtual void stop() = 0;
    virtual bool isActive() const = 0;

signals:
    void timeout();
};

class TimerSource
{
public:
    virtual ~TimerSource() = default;
    virtual Timer *create(QObject *parent) = 0;
};

// The installed source (QTimers unless a test installed its own).
TimerSource &timers();
// Installs a source (not owned); nullptr goes back to QTimers.
void setTimers(TimerSource *source);
// A new timer from the installed source.
Timer *newTimer(QObject *parent = nullptr);

} // namespace platform
