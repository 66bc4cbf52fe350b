#pragma once
#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>

class QTimer;

// The board's transmit side: what is to be sent waits in a queue, goes out
// after at least `gapMs` of silence since the last transmission (so the
// console can frame by silence), and with baud pacing is handed to the line one
// byte per byte time of 9600 baud. What an entry becomes is decided only when
// it is due, so a reply describes the board's state at that moment.
class TxScheduler : public QObject
{
    Q_OBJECT
public:
    struct Tx
    {
        enum Kind { Reply, Request, Garbage };
        Kind kind = Reply;
        qint64 logicalMs = -1; // replies: the moment they describe (-1: when sent)
        int pointIndex = -1;   // requests
        QByteArray bytes;      // garbage
        QString why;
    };
    // The bytes a due entry becomes; empty when nothing goes out.
    using Render = std::function<QByteArray(const Tx &)>;
    using Write = std::function<void(const QByteArray &)>;

    TxScheduler(int gapMs, bool baudPace, Render render, Write write, QObject *parent = nullptr);

    void enqueue(const Tx &tx);
    void clear() { m_queue.clear(); }
    // Stops a paced transmission and drops what waits.
    void stop();
    // Bytes written to the line outside the queue (the boot loader's answers).
    void noteWritten() { m_lastTxEndMono = m_clock.elapsed(); }

private:
    void pump();
    void send(const QByteArray &bytes);
    void paceStep();

    int m_gapMs;
    bool m_baudPace;
    Render m_render;
    Write m_write;
    QList<Tx> m_queue;
    QElapsedTimer m_clock;
    qint64 m_lastTxEndMono = -1000000;
    QTimer *m_gapTimer = nullptr;
    QTimer *m_paceTimer = nullptr;
    QByteArray m_paceBytes;
    int m_pacePos = 0;
    qint64 m_paceStartMono = 0;
};
