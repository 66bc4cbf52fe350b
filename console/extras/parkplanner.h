#pragma once
#include <QDateTime>
#include <QString>
#include <QtGlobal>

// Parking after a pass: the antenna goes to origin a set time after the finish,
// unless the controller is already busy with the next pass or the loaded pass
// starts soon.
class ParkPlanner
{
public:
    ParkPlanner(int afterSeconds, int unlessPassWithinSeconds)
        : m_after(afterSeconds), m_near(unlessPassWithinSeconds) {}

    // What the once-per-second step sees.
    struct Station
    {
        quint16 statusWord = 0;   // last status word acted on
        qint8 uploadRetry = 0;    // non-zero: an upload waits for or has its confirmation
        QDateTime nextStartUtc;   // start of the loaded pass; invalid when none
        bool linkAlive = true;
    };

    enum Action { Nothing, Park, Skip };
    struct Decision
    {
        Action action = Nothing;
        QString logLine; // for Park and Skip
    };

    void passFinished(const QDateTime &nowUtc);
    Decision step(const QDateTime &nowUtc, const Station &station);
    bool armed() const { return m_due.isValid(); }

    // Loaded, in start position, going to start, going to 180, tracking.
    static constexpr quint16 BusyBits = 0x0E50;

private:
    int m_after;
    int m_near;
    QDateTime m_due;
};
