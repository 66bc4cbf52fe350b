#pragma once
#include "controllercore.h"
#include "controllertransport.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <functional>

namespace platform { class Timer; }

// The antenna controller board in the test process, behind the transport the
// console's link talks to. It behaves like the stand-in board on its line: a
// status reply on every whole UTC second and after every reception that
// changes something, one correction request (a lone 0x00) in the middle of
// every tracked point, transmissions kept apart by a silence. It runs only on
// platform::newTimer and, unless given its own clock, platform::nowUtc, so a
// TestClock must be installed before it is made. Bytes reach the console from
// a timer, never from inside write().
class FakeController : public ControllerTransport
{
    Q_OBJECT
public:
    static constexpr int TickPhaseMs = 3;      // replies leave this long after the second turns
    static constexpr int RequestOffsetMs = 500;
    static constexpr int GapMs = 50;           // silence between two transmissions
    static constexpr int RxSilenceMs = 15;     // silence that ends a reception

    explicit FakeController(const sim::CoreConfig &config = sim::CoreConfig(), QObject *parent = nullptr);
    ~FakeController() override;

    // ControllerTransport
    quint8 open() override;
    QString openError() const override { return m_openError; }
    bool isOpened() const override { return m_opened; }
    qint64 write(const QByteArray &bytes) override;
    qint64 read(char *buffer, qint64 maxLength) override;
    qint64 bytesAvailable() const override;
    void clearInput() override { m_inbound.clear(); }
    bool dropIfHungUp() override;

    sim::ControllerCore &core() { return m_core; }
    // The board's own (GPS) time in ms since the epoch, instead of the PC
    // clock: TestClock::stationMs keeps it true while the console sets the PC
    // clock.
    using BoardClock = std::function<qint64()>;
    void setBoardClock(BoardClock clock);
    // Every write, one entry each, in order.
    const QList<QByteArray> &receivedFrames() const { return m_received; }
    void clearReceived() { m_received.clear(); }
    // The correction answers taken: point index -> byte (the last one wins).
    const QMap<int, quint8> &answers() const { return m_answers; }
    // Correction requests sent, status replies sent.
    int requestsSent() const { return m_requestsSent; }
    int repliesSent() const { return m_repliesSent; }

    // Fault switches.
    // Absent: open() gives 1; a port that was open hangs up (writes -1, the
    // console's dropIfHungUp() or open() closes it).
    void setPresent(bool present);
    // open() of a closed port gives 2 with this reason; empty accepts again.
    void refuseOpen(const QString &reason) { m_refusal = reason; }
    // Nothing is sent for this long from now (on the board's clock).
    void fallSilent(qint64 ms);
    // Raw bytes as one transmission (garbage, an overrun).
    void sendBytes(const QByteArray &bytes);
    // Every good upload is answered with the receive error bit.
    void setRefuseUploads(bool on) { m_refuseUploads = on; }
    void resetBoard();

private:
    struct Tx
    {
        enum Kind { Reply, Request, Raw };
        Kind kind = Reply;
        qint64 logicalMs = -1; // replies: the moment described (-1: when sent)
        int pointIndex = -1;
        QByteArray bytes;
    };

    qint64 nowMs() const;
    void onReceptionEnd();
    void handleUpload(const QByteArray &frame);
    void handleCommand(qint32 code, qint16 arg);
    void enqueue(const Tx &tx);
    void pump();
    int gapLeft(qint64 now) const;
    QByteArray render(const Tx &tx);
    void scheduleTick();
    void onTick();
    void onRequestDue();

    sim::ControllerCore m_core;
    BoardClock m_boardClock;
    platform::Timer *m_rxTimer = nullptr;
    platform::Timer *m_tickTimer = nullptr;
    platform::Timer *m_requestTimer = nullptr;
    platform::Timer *m_txTimer = nullptr;

    bool m_present = true;
    bool m_opened = false;
    bool m_hungUp = false;   // went away while open, not closed yet
    QString m_refusal;
    QString m_openError;
    QByteArray m_inbound;
    QByteArray m_rxBuffer;
    QList<QByteArray> m_received;
    QList<Tx> m_queue;
    qint64 m_lastTxMs = -1000000;
    qint64 m_silentUntilMs = -1;
    bool m_refuseUploads = false;
    bool m_handedOver = false;

    qint64 m_nextTickMs = 0;
    int m_requestPoint = -1;
    qint64 m_requestDueMs = 0;
    bool m_answerPending = false;
    int m_pendingPoint = -1;
    QMap<int, quint8> m_answers;
    int m_requestsSent = 0;
    int m_repliesSent = 0;
};
