#include "ptypeer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

PtyPeer::PtyPeer(const QString &portDir, int comNumber, QObject *parent) : QObject(parent)
{
    connect(&m_link, &PtyLink::received, this, &PtyPeer::onReceived);
    m_silence.setSingleShot(true);
    connect(&m_silence, &QTimer::timeout, this, [this] {
        const QByteArray frame = m_received;
        m_received.clear();
        if (m_onFrame)
            m_onFrame(frame);
    });
    m_link.open(portDir, comNumber);
}

void PtyPeer::write(const QByteArray &bytes)
{
    m_link.write(bytes);
}

QByteArray PtyPeer::read(int count, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (m_received.size() < count && timer.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    QByteArray out;
    out.swap(m_received);
    return out;
}

void PtyPeer::cutFrames(int silenceMs, std::function<void(const QByteArray &)> onFrame,
                        std::function<void()> onFirstByte)
{
    m_silence.setInterval(silenceMs);
    m_onFrame = std::move(onFrame);
    m_onFirstByte = std::move(onFirstByte);
}

void PtyPeer::unlinkName()
{
    if (!m_link.linkPath().isEmpty())
        QFile::remove(m_link.linkPath());
}

void PtyPeer::onReceived(const QByteArray &bytes)
{
    if (m_received.isEmpty() && m_onFirstByte)
        m_onFirstByte();
    m_received.append(bytes);
    if (m_onFrame)
        m_silence.start();
}
