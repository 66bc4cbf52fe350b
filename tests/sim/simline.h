#pragma once
// The console's side of the stand-in's serial line, for the stand-in's tests:
// receptions framed as the console frames them, and an upload frame.
#include "simframes.h"

#include <QDateTime>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>
#include <QtTest>

#include <fcntl.h>
#include <functional>
#include <unistd.h>

namespace {

struct Reception
{
    QByteArray bytes;
    quint16 status() const { return quint16(quint8(bytes[6]) | (quint8(bytes[7]) << 8)); }
    quint32 param() const
    {
        return quint32(quint8(bytes[8])) | (quint32(quint8(bytes[9])) << 8)
               | (quint32(quint8(bytes[10])) << 16) | (quint32(quint8(bytes[11])) << 24);
    }
    bool isReply() const
    {
        return bytes.size() == 16 && quint8(bytes[1]) == 0xFF && quint8(bytes[2]) == 0xFF
               && quint8(bytes[3]) == 0xFF;
    }
    bool isRequest() const { return bytes == QByteArray(1, '\0'); }
};

// The console's side of the line: receptions framed by 20 ms of silence.
class LineEnd : public QObject
{
public:
    bool open(const QString &path)
    {
        m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (m_fd < 0)
            return false;
        m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, [this] {
            char buf[512];
            ssize_t n;
            while ((n = ::read(m_fd, buf, sizeof buf)) > 0)
                m_pending.append(buf, int(n));
            takeWholeFrames();
            m_silence.start();
        });
        m_silence.setSingleShot(true);
        m_silence.setInterval(20);
        connect(&m_silence, &QTimer::timeout, this, [this] {
            if (!m_pending.isEmpty())
                take(m_pending.size());
        });
        return true;
    }
    ~LineEnd() override
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    void send(const QByteArray &bytes) { QCOMPARE(::write(m_fd, bytes.constData(), size_t(bytes.size())), ssize_t(bytes.size())); }
    int repliesSince(int from, quint16 mask) const
    {
        int n = 0;
        for (int i = from; i < receptions.size(); ++i)
            n += receptions[i].isReply() && (receptions[i].status() & mask) == mask;
        return n;
    }

    QList<Reception> receptions;
    std::function<void(const Reception &)> onReception;

private:
    // Replies are cut by their shape as soon as they are whole, so that a
    // reply and a request that arrive together (a busy machine wakes this
    // side late) are still two receptions. Anything else ends at silence.
    void takeWholeFrames()
    {
        for (;;) {
            const bool replyFirst = m_pending.size() >= 4 && m_pending.mid(1, 3) == "\xFF\xFF\xFF";
            const bool requestThenReply = m_pending.size() >= 5 && m_pending.at(0) == '\0'
                                          && m_pending.mid(2, 3) == "\xFF\xFF\xFF";
            if (replyFirst && m_pending.size() >= 16)
                take(16);
            else if (requestThenReply)
                take(1);
            else
                return;
        }
    }
    void take(int count)
    {
        receptions.append({m_pending.left(count)});
        m_pending.remove(0, count);
        if (onReception)
            onReception(receptions.last());
    }

    int m_fd = -1;
    QSocketNotifier *m_notifier = nullptr;
    QTimer m_silence;
    QByteArray m_pending;
};

QByteArray uploadFrame(qint32 startSecondOfDay, int points)
{
    simframes::UploadTable t;
    t.startSecondOfDay = startSecondOfDay;
    t.radius = 500.0f;
    for (int i = 0; i < points; ++i) {
        t.radii.append(150.0f + 10.0f * i);
        t.angles.append(2.0f + 0.05f * i);
    }
    return simframes::buildUploadFrame(t);
}

qint32 secondOfDayNow()
{
    return QDateTime::currentDateTimeUtc().time().msecsSinceStartOfDay() / 1000;
}

} // namespace
