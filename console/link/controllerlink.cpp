#include "controllerlink.h"

#include "controllertransport.h"
#include "frames.h"
#include "linkstate.h"
#include "timers.h"

#include <QtEndian>
#include <cstring>

ControllerLink::ControllerLink(LinkState &linkState, QByteArray &txFrame, QByteArray &txBytes,
                               QByteArray &lastUploadBytes, QObject *parent)
    : QObject(parent), m_s(linkState), m_txFrame(txFrame), m_txBytes(txBytes),
      m_lastUpload(lastUploadBytes), m_rx(linkState)
{
    if (m_txFrame.size() != TxFrameSize)
        m_txFrame.fill('\0', TxFrameSize);
    m_replyTimer = platform::newTimer(this);
    m_replyTimer->setInterval(10);
    connect(m_replyTimer, &platform::Timer::timeout, this, &ControllerLink::TimerOk);
}

ControllerLink::~ControllerLink() = default;

void ControllerLink::setTransport(ControllerTransport *transport)
{
    suspendReading();
    m_transport = transport;
    if (m_transport)
        m_readConnection = connect(m_transport, &ControllerTransport::readyRead, this, &ControllerLink::readdata);
}

void ControllerLink::setReplyContext(bool serviceMode, bool timeCorr, qint16 utcOffsetHours)
{
    m_context.serviceMode = serviceMode;
    m_context.timeCorr = timeCorr;
    m_context.utcOffsetHours = utcOffsetHours;
}

ReplyContext ControllerLink::replyContext() const
{
    ReplyContext c = m_context;
    c.singlePointUpload = isSinglePointUpload(m_lastUpload);
    return c;
}

qint64 ControllerLink::writeTxBytes()
{
    return m_transport ? m_transport->write(m_txBytes) : -1;
}

qint64 ControllerLink::sendCommand(qint32 code)
{
    return sendFrameStart(commandBytes(code));
}

qint64 ControllerLink::sendCommand(qint32 code, qint16 arg)
{
    return sendFrameStart(commandBytes(code, arg));
}

qint64 ControllerLink::sendFrameStart(const QByteArray &bytes)
{
    // Only the start of the transmit buffer changes.
    std::memcpy(m_txFrame.data(), bytes.constData(), static_cast<size_t>(bytes.size()));
    m_txBytes = bytes;
    return writeTxBytes();
}

qint64 ControllerLink::sendUploadFrame(const QByteArray &frame)
{
    // A frame that does not fit the transmit buffer is never sent.
    if (frame.isEmpty() || frame.size() > TxFrameSize)
        return -1;
    std::memcpy(m_txFrame.data(), frame.constData(), static_cast<size_t>(frame.size()));
    m_txBytes = m_txFrame.left(frame.size());
    m_lastUpload = m_txBytes;
    m_lastUploadWrite = writeTxBytes();
    return m_lastUploadWrite;
}

qint64 ControllerLink::resendLastUpload()
{
    if (m_lastUpload.isEmpty())
        return -1;
    return sendUploadFrame(QByteArray(m_lastUpload));
}

qint64 ControllerLink::sendCorrectionByte(qint8 offset)
{
    m_txFrame[0] = static_cast<char>(offset);
    m_txBytes = m_txFrame.left(1);
    return writeTxBytes();
}

qint64 ControllerLink::resendTxBytes()
{
    return writeTxBytes();
}

qint64 ControllerLink::requestStatus()
{
    m_s.statusWord = 0;
    m_s.stateKnown = false;
    return sendCommand(CmdStatusRequest);
}

void ControllerLink::markCommandWord(quint32 word)
{
    qToLittleEndian<quint32>(word, m_txFrame.data() + OffsetCommandCode);
}

void ControllerLink::suspendReading()
{
    disconnect(m_readConnection);
    m_readConnection = {};
}

void ControllerLink::resumeReading()
{
    suspendReading();
    if (!m_transport)
        return;
    m_readConnection = connect(m_transport, &ControllerTransport::readyRead, this, &ControllerLink::readdata);
    // A reception cut short by the hand-over must not keep the next one from
    // being framed.
    m_s.replyCountdown = 0;
}

void ControllerLink::stopReplyTimer()
{
    m_replyTimer->stop();
}

void ControllerLink::readdata()
{
    if (m_rx.onReadyRead()) {
        // A reception begins: collect it after 30 ms of silence and let the
        // once-per-second step follow 100 ms after it.
        m_replyTimer->start();
        emit receptionBegan();
    }
}

void ControllerLink::TimerOk()
{
    if (!m_rx.onTick())
        return;
    m_replyTimer->stop();
    if (!m_transport)
        return;
    const ParsedReception reception = m_rx.parse(*m_transport, replyContext());
    emit received(reception);
    if (m_rx.afterParse())
        requestStatus();
}
