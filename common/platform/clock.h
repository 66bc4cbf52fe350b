#pragma once
#include <QDateTime>
#include <QString>

// The PC clock. Everything that asks "what time is it" goes through here so that
// tests can run on a fake clock and never touch the machine's own.
class SystemClock
{
public:
    virtual ~SystemClock() = default;
    virtual QDateTime nowUtc() const = 0;
    // Moves the UTC clock by whole seconds (date included, milliseconds kept).
    // False when the system refused; *reason then says why.
    virtual bool shiftSeconds(qint64 seconds, QString *reason) = 0;
};

// Linux: clock_gettime/clock_settime (needs CAP_SYS_TIME).
// Windows: GetSystemTime/SetSystemTime (needs SE_SYSTEMTIME_NAME).
class RealClock : public SystemClock
{
public:
    QDateTime nowUtc() const override;
    bool shiftSeconds(qint64 seconds, QString *reason) override;
};

// A clock that stands still unless a test moves it; local time follows the
// process time zone (tests set TZ).
class FakeClock : public SystemClock
{
public:
    explicit FakeClock(const QDateTime &utc = QDateTime::currentDateTimeUtc());
    QDateTime nowUtc() const override { return m_now; }
    bool shiftSeconds(qint64 seconds, QString *reason) override;
    void setNowUtc(const QDateTime &utc) { m_now = utc.toUTC(); }
    void advanceMs(qint64 ms) { m_now = m_now.addMSecs(ms); }
    // Every later shift is refused with this reason (empty: accepted again).
    void refuseWith(const QString &reason) { m_refusal = reason; }
    int setCalls() const { return m_setCalls; }

private:
    QDateTime m_now;
    QString m_refusal;
    int m_setCalls = 0;
};

namespace platform {
SystemClock &clock();
// Installs a clock (not owned); nullptr goes back to the real one.
void setClock(SystemClock *clock);
QDateTime nowUtc();
QDateTime nowLocal();
}
