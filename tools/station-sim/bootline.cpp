#include "bootline.h"

#include <QTimer>
#include <algorithm>
#include <cmath>

namespace sim {

void LineLane::push(double nowUs, const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return;
    const double start = std::max(nowUs, m_freeUs);
    m_chunks.append({start, bytes});
    m_freeUs = start + m_byteUs * bytes.size();
}

QByteArray LineLane::takeDue(double nowUs)
{
    QByteArray out;
    while (!m_chunks.isEmpty()) {
        Chunk &c = m_chunks.first();
        const int due = int(std::min<double>(c.bytes.size(), std::floor((nowUs - c.startUs) / m_byteUs)));
        if (due <= 0)
            break;
        out.append(c.bytes.left(due));
        if (due < c.bytes.size()) {
            c.bytes.remove(0, due);
            c.startUs += m_byteUs * due;
            break;
        }
        m_chunks.removeFirst();
    }
    return out;
}

double LineLane::nextDueUs() const
{
    return m_chunks.isEmpty() ? -1.0 : m_chunks.first().startUs + m_byteUs;
}

void LineLane::clear()
{
    m_chunks.clear();
}

BootLine::BootLine(bool paced, std::function<void(const QByteArray &)> write, QObject *parent)
    : QObject(parent), m_paced(paced), m_write(std::move(write))
{
    m_clock.start();
    m_timer = new QTimer(this);
    m_timer->setTimerType(Qt::PreciseTimer);
    m_timer->setInterval(1);
    connect(m_timer, &QTimer::timeout, this, &BootLine::step);
}

void BootLine::receive(const QByteArray &bytes)
{
    if (!m_paced) {
        emit arrived(bytes);
        return;
    }
    m_in.push(nowUs(), bytes);
    step();
}

void BootLine::transmit(const QByteArray &bytes)
{
    if (!m_paced) {
        m_write(bytes);
        return;
    }
    m_out.push(nowUs(), bytes);
    step();
}

void BootLine::clear()
{
    m_in.clear();
    m_out.clear();
    m_timer->stop();
}

void BootLine::step()
{
    const double now = nowUs();
    const QByteArray out = m_out.takeDue(now);
    if (!out.isEmpty())
        m_write(out);
    const QByteArray in = m_in.takeDue(now);
    if (m_in.isEmpty() && m_out.isEmpty())
        m_timer->stop();
    else if (!m_timer->isActive())
        m_timer->start();
    // Last: the boot loader's answer may come straight back through transmit.
    if (!in.isEmpty())
        emit arrived(in);
}

} // namespace sim
