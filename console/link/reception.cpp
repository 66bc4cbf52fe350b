#include "reception.h"

#include "linkstate.h"
#include "controllertransport.h"

bool ReplyReceiver::onReadyRead()
{
    LinkState &s = m_s;
    const bool begins = s.replyCountdown == 0;
    if (begins)
        s.cycleTicks = 0;
    s.replyCountdown = static_cast<qint8>(s.quietTicks);
    return begins;
}

bool ReplyReceiver::onTick()
{
    LinkState &s = m_s;
    if (s.replyCountdown <= 0)
        return false;
    --s.replyCountdown;
    return s.replyCountdown == 0;
}

ParsedReception ReplyReceiver::parse(ControllerTransport &port, const ReplyContext &context)
{
    const qint64 n = port.bytesAvailable();
    QByteArray bytes;
    if (n == 1 || n == StatusReplySize) {
        bytes.resize(int(n));
        const qint64 got = port.read(bytes.data(), n);
        bytes.resize(got < 0 ? 0 : int(got));
    }
    port.clearInput();
    return classify(n, bytes, context);
}

ParsedReception ReplyReceiver::classify(qint64 available, const QByteArray &bytes,
                                       const ReplyContext &context)
{
    LinkState &s = m_s;
    ParsedReception p;
    if (available <= 0)
        return p;
    if (available > StatusReplySize) {
        s.replyMode = 2;
        s.quietTicks = 10;
        p.type = ParsedReception::Overrun;
        return p;
    }
    p.type = ParsedReception::Dropped;
    if (available == 1) {
        if (bytes.size() == 1 && bytes.at(0) == '\0')
            p.type = ParsedReception::Correction;
        return p;
    }
    if (available != StatusReplySize || bytes.size() != StatusReplySize)
        return p;
    p.reply = decodeStatusReply(bytes);
    if (!p.reply.valid)
        return p;
    s.replyMode = 1;
    s.quietTicks = 3;
    if (s.linkWatchdog == 0) {
        // The reply only revives the link, but a correction request may follow
        // before the next one: the point it asks about is this reply's, not the
        // one tracked before the link was lost.
        if (p.reply.statusWord & BitTracking) {
            s.pointIndex = p.reply.pointIndex();
            s.byte10Offset = p.reply.byte10;
        }
        p.type = ParsedReception::Revive;
        return p;
    }
    p.type = ParsedReception::Status;
    p.update = applyStatusReply(s, p.reply, context);
    return p;
}

bool ReplyReceiver::afterParse()
{
    LinkState &s = m_s;
    const bool request =
        !s.ubloxMode && (s.replyMode == 2 || (s.replyMode == 1 && s.linkWatchdog == 0));
    s.linkWatchdog = 3;
    return request;
}
