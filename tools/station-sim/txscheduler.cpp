#include "txscheduler.h"

#include <QTimer>

namespace {
constexpr double ByteMicroseconds = 1e6 * 10.0 / 9600.0; // start, 8 data, stop bit
}

TxScheduler::TxScheduler(int gapMs, bool baudPace, Render render, Write write, QObject *parent)
    : QObject(parent), m_gapMs(gapMs), m_baudPace(baudPace), m_render(std::move(render)),
      m_write(std::move(write))
{
    m_clock.start();
    m_gapTimer = new QTimer(this);
    m_gapTimer->setSingleShot(true);
    m_gapTimer->setTimerType(Qt::PreciseTimer);
    connect(m_gapTimer, &QTimer::timeout, this, &TxScheduler::pump);
    m_paceTimer = new QTimer(this);
    m_paceTimer->setTimerType(Qt::PreciseTimer);
    m_paceTimer->setInterval(1);
    connect(m_paceTimer, &QTimer::timeout, this, &TxScheduler::paceStep);
}

void TxScheduler::enqueue(const Tx &tx)
{
    m_queue.append(tx);
    pump();
}

void TxScheduler::stop()
{
    m_paceTimer->stop();
    m_queue.clear();
}

void TxScheduler::pump()
{
    if (m_paceTimer->isActive() || m_queue.isEmpty())
        return;
    const qint64 mono = m_clock.elapsed();
    const qint64 wait = m_lastTxEndMono + m_gapMs - mono;
    if (wait > 0) {
        if (!m_gapTimer->isActive())
            m_gapTimer->start(int(wait));
        return;
    }
    const Tx tx = m_queue.takeFirst();
    const QByteArray bytes = m_render(tx);
    if (!bytes.isEmpty())
        send(bytes);
    if (!m_queue.isEmpty())
        pump();
}

void TxScheduler::send(const QByteArray &bytes)
{
    if (m_baudPace) {
        m_paceBytes = bytes;
        m_pacePos = 0;
        m_paceStartMono = m_clock.nsecsElapsed() / 1000;
        paceStep();
        if (m_pacePos < m_paceBytes.size())
            m_paceTimer->start();
        return;
    }
    m_write(bytes);
    m_lastTxEndMono = m_clock.elapsed();
}

void TxScheduler::paceStep()
{
    const double elapsedUs = double(m_clock.nsecsElapsed() / 1000 - m_paceStartMono);
    const int due = qMin(int(m_paceBytes.size()), int(elapsedUs / ByteMicroseconds) + 1);
    if (due > m_pacePos) {
        m_write(m_paceBytes.mid(m_pacePos, due - m_pacePos));
        m_pacePos = due;
    }
    if (m_pacePos >= m_paceBytes.size()) {
        m_paceTimer->stop();
        // The last byte is on the line one byte time after it was handed over.
        m_lastTxEndMono = m_clock.elapsed() + 1;
        pump();
    }
}
