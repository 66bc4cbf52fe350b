#include "fakecontroller.h"

#include "clock.h"
#include "simframes.h"
#include "timers.h"

#include <cstring>

using namespace sim;

FakeController::FakeController(const CoreConfig &config, QObject *parent)
    : ControllerTransport(parent), m_core(config)
{
    auto makeTimer = [this] {
        platform::Timer *t = platform::newTimer(this);
        t->setSingleShot(true);
        return t;
    };
    m_rxTimer = makeTimer();
    m_rxTimer->setInterval(RxSilenceMs);
    connect(m_rxTimer, &platform::Timer::timeout, this, &FakeController::onReceptionEnd);
    m_tickTimer = makeTimer();
    connect(m_tickTimer, &platform::Timer::timeout, this, &FakeController::onTick);
    m_requestTimer = makeTimer();
    connect(m_requestTimer, &platform::Timer::timeout, this, &FakeController::onRequestDue);
    m_txTimer = makeTimer();
    connect(m_txTimer, &platform::Timer::timeout, this, &FakeController::pump);
    scheduleTick();
}

FakeController::~FakeController() = default;

qint64 FakeController::nowMs() const
{
    return m_boardClock ? m_boardClock() : platform::nowUtc().toMSecsSinceEpoch();
}

void FakeController::setBoardClock(BoardClock clock)
{
    m_boardClock = std::move(clock);
    m_nextTickMs = 0;
    scheduleTick();
}

// ---- the transport ---------------------------------------------------------

quint8 FakeController::open()
{
    dropIfHungUp();
    if (!m_present)
        return 1;
    if (m_opened)
        return 0;
    if (!m_refusal.isEmpty()) {
        m_openError = m_refusal;
        return 2;
    }
    m_opened = true;
    m_inbound.clear();
    return 0;
}

bool FakeController::dropIfHungUp()
{
    if (!m_opened || !m_hungUp)
        return false;
    m_opened = false;
    m_hungUp = false;
    m_inbound.clear();
    return true;
}

qint64 FakeController::write(const QByteArray &bytes)
{
    if (!m_opened || m_hungUp)
        return -1;
    m_received.append(bytes);
    // The board frames by silence: writes closer together than that are one
    // reception to it.
    m_rxBuffer.append(bytes);
    m_rxTimer->start();
    return bytes.size();
}

qint64 FakeController::read(char *buffer, qint64 maxLength)
{
    if (!m_opened)
        return -1;
    const qint64 n = qMin<qint64>(qMax<qint64>(0, maxLength), m_inbound.size());
    if (n > 0) {
        std::memcpy(buffer, m_inbound.constData(), size_t(n));
        m_inbound.remove(0, int(n));
    }
    return n;
}

qint64 FakeController::bytesAvailable() const
{
    return m_opened ? m_inbound.size() : 0;
}

// ---- fault switches ----------------------------------------------------------

void FakeController::setPresent(bool present)
{
    if (!present && m_opened)
        m_hungUp = true;
    m_present = present;
}

void FakeController::fallSilent(qint64 ms)
{
    m_silentUntilMs = nowMs() + qMax<qint64>(0, ms);
}

void FakeController::sendBytes(const QByteArray &bytes)
{
    Tx tx;
    tx.kind = Tx::Raw;
    tx.bytes = bytes;
    enqueue(tx);
}

void FakeController::resetBoard()
{
    m_core.reset();
    m_queue.clear();
    m_rxBuffer.clear();
    m_rxTimer->stop();
    m_answerPending = false;
    m_handedOver = false;
}

// ---- receiving -------------------------------------------------------------

void FakeController::onReceptionEnd()
{
    const QByteArray reception = m_rxBuffer;
    m_rxBuffer.clear();
    if (reception.isEmpty() || m_handedOver)
        return;
    const auto frames = simframes::splitReception(reception, m_answerPending);
    for (const simframes::RxFrame &f : frames) {
        switch (f.type) {
        case simframes::RxFrame::Correction:
            m_answers.insert(m_pendingPoint, quint8(f.bytes[0]));
            m_answerPending = false;
            break;
        case simframes::RxFrame::Upload:
            handleUpload(f.bytes);
            break;
        case simframes::RxFrame::Command:
            handleCommand(f.code, f.arg);
            break;
        case simframes::RxFrame::Rejected:
            // A byte out of turn is a late answer; anything longer is damage.
            if (f.bytes.size() > 1) {
                m_core.receiveFailed();
                enqueue(Tx());
            }
            break;
        }
        if (m_handedOver)
            return;
    }
}

void FakeController::handleUpload(const QByteArray &frame)
{
    const simframes::UploadCheck check = simframes::checkUploadFrame(frame);
    if (!check.ok || m_refuseUploads) {
        m_core.receiveFailed();
    } else {
        m_answerPending = false;
        m_core.acceptUpload(check.table, nowMs());
    }
    enqueue(Tx());
}

void FakeController::handleCommand(qint32 code, qint16 arg)
{
    using namespace simframes;
    switch (code) {
    case StatusRequest:
        enqueue(Tx());
        return;
    case EnterUblox:
    case EnterProgramming:
        // The line goes to the GPS module or the boot loader.
        m_answerPending = false;
        m_queue.clear();
        m_handedOver = true;
        if (code == EnterProgramming)
            m_core.reset();
        return;
    case GoToOrigin:
    case GoToCorrectedOrigin:
    case Cancel:
    case FlipTo180:
        m_answerPending = false;
        break;
    default:
        break;
    }
    m_core.command(code, arg, nowMs());
    enqueue(Tx());
}

// ---- transmitting ----------------------------------------------------------

void FakeController::enqueue(const Tx &tx)
{
    m_queue.append(tx);
    if (!m_txTimer->isActive())
        m_txTimer->start(gapLeft(nowMs()));
}

void FakeController::pump()
{
    if (m_queue.isEmpty())
        return;
    const qint64 now = nowMs();
    if (gapLeft(now) > 0) {
        m_txTimer->start(gapLeft(now));
        return;
    }
    const QByteArray bytes = render(m_queue.takeFirst());
    if (!bytes.isEmpty()) {
        m_inbound.append(bytes);
        m_lastTxMs = now;
        emit readyRead();
    }
    if (!m_queue.isEmpty())
        m_txTimer->start(gapLeft(now));
}

int FakeController::gapLeft(qint64 now) const
{
    // Bounded, so a board clock set back never holds the line for long.
    return int(qBound<qint64>(0, m_lastTxMs + GapMs - now, GapMs));
}

// What a due transmission becomes; empty when it goes nowhere.
QByteArray FakeController::render(const Tx &tx)
{
    const qint64 now = nowMs();
    if (m_handedOver || now < m_silentUntilMs || !m_opened || m_hungUp)
        return {};
    switch (tx.kind) {
    case Tx::Reply:
        ++m_repliesSent;
        return simframes::buildStatusReply(m_core.reply(tx.logicalMs >= 0 ? tx.logicalMs : now));
    case Tx::Request:
        m_answerPending = true;
        m_pendingPoint = tx.pointIndex;
        ++m_requestsSent;
        return QByteArray(1, '\0');
    case Tx::Raw:
        return tx.bytes;
    }
    return {};
}

// ---- the second timeline ---------------------------------------------------

void FakeController::scheduleTick()
{
    const qint64 now = nowMs();
    qint64 next = (now / 1000 + 1) * 1000;
    // The same second is not given twice after a small step back of the clock;
    // after a large one the board follows the clock at once.
    if (next <= m_nextTickMs && m_nextTickMs - next < 1000)
        next = m_nextTickMs + 1000;
    m_nextTickMs = next;
    m_tickTimer->start(int(qMax<qint64>(0, m_nextTickMs + TickPhaseMs - now)));
}

void FakeController::onTick()
{
    const qint64 tick = m_nextTickMs;
    scheduleTick();
    if (m_handedOver)
        return;
    const Snapshot s = m_core.at(tick);
    if (!s.tracking)
        m_answerPending = false;
    Tx reply;
    reply.logicalMs = tick;
    enqueue(reply);
    if (s.tracking) {
        m_requestPoint = s.pointIndex;
        m_requestDueMs = tick + RequestOffsetMs;
        m_requestTimer->start(int(qMax<qint64>(0, m_requestDueMs - nowMs())));
    } else {
        m_requestTimer->stop();
    }
}

void FakeController::onRequestDue()
{
    if (m_handedOver)
        return;
    const Snapshot s = m_core.at(m_requestDueMs);
    if (!s.tracking || s.pointIndex != m_requestPoint)
        return;
    Tx tx;
    tx.kind = Tx::Request;
    tx.pointIndex = m_requestPoint;
    enqueue(tx);
}
