#include "parkplanner.h"

void ParkPlanner::passFinished(const QDateTime &nowUtc)
{
    if (m_after < 0)
        return;
    m_due = nowUtc.addSecs(m_after);
}

ParkPlanner::Decision ParkPlanner::step(const QDateTime &nowUtc, const Station &station)
{
    Decision d;
    if (!m_due.isValid() || nowUtc < m_due)
        return d;
    m_due = QDateTime();
    d.action = Skip;
    if (station.statusWord & BusyBits) {
        d.logLine = QStringLiteral("park skipped: controller busy with the next pass");
        return d;
    }
    if (station.uploadRetry != 0) {
        d.logLine = QStringLiteral("park skipped: next pass uploaded");
        return d;
    }
    if (station.nextStartUtc.isValid()) {
        const qint64 ahead = nowUtc.secsTo(station.nextStartUtc);
        if (ahead >= 0 && ahead <= m_near) {
            d.logLine = QStringLiteral("park skipped: next pass in %1 s").arg(ahead);
            return d;
        }
    }
    if (!station.linkAlive) {
        d.logLine = QStringLiteral("park skipped: no link to the controller");
        return d;
    }
    d.action = Park;
    d.logLine = QStringLiteral("park: antenna sent to origin");
    return d;
}
