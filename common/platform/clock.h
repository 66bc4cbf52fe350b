#pragma once
#include <QDateTime>

// The PC clock. Everything that asks "what time is it" goes through here so that
// tests can run on a fake clock and never touch the machine's own.
class SystemClock
{
public:
    virtual ~SystemClock() = default;
    virtual QDateTime nowUtc() const = 0;
    // Sets hours, minutes and seconds of the UTC clock, keeping the date and the
    // milliseconds. A refusal changes nothing and is not reported.
    virtual void setUtcTimeOfDay(int hours, int minutes, int seconds) = 0;
};

class RealClock : public SystemClock
{
public:
    QDateTime nowUtc() const override;
    void setUtcTimeOfDay(int hours, int minutes, int seconds) override;
};

// A clock that stands still unless a test moves it; local time follows the
// process time zone (tests set TZ).
class FakeClock : public SystemClock
{
public:
    explicit FakeClock(const QDateTime &utc = QDateTime::currentDateTimeUtc());
    QDateTime nowUtc() const override { return m_now; }
    void setUtcTimeOfDay(int hours, int minutes, int seconds) override;
    void setNowUtc(const QDateTime &utc) { m_now = utc.toUTC(); }
    void advanceMs(qint64 ms) { m_now = m_now.addMSecs(ms); }
    int setCalls() const { return m_setCalls; }

private:
    QDateTime m_now;
    int m_setCalls = 0;
};

namespace platform {
SystemClock &clock();
// Installs a clock (not owned); nullptr goes back to the real one.
void setClock(SystemClock *clock);
QDateTime nowUtc();
QDateTime nowLocal();
}
