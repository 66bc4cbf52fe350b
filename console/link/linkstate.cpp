#include "linkstate.h"

#include "controllerlink.h"
#include "controllertransport.h"

namespace {
constexpr quint16 BusyBits = 0x0E50; // loaded, in start, going to start, going to 180, tracking
constexpr quint16 TrackLoadedBit = 0x0010;
constexpr quint16 ReceiveErrorBit = 0x0001;
constexpr quint16 TooLateBit = 0x0008;

const QString NotSentText = QStringLiteral("track not sent: port not open");

// One try at the owed pass; the log line says what really happened.
void uploadOwedPass(LinkState &s, UploadSupervisionResult &r, const std::function<int()> &uploadTrack,
                    const QString &sentText)
{
    const int attempt = uploadTrack ? uploadTrack() : AttemptRefused;
    if (attempt == AttemptRefused) {
        s.passOwed = false;
        return;
    }
    s.passOwed = true;
    if (attempt == AttemptNotWritten) {
        if (!s.passWriteFailed)
            r.logLines << NotSentText;
        s.passWriteFailed = true;
        return;
    }
    s.passWritten = true;
    s.passWriteFailed = false;
    r.uploaded = true;
    r.logLines << sentText;
    s.uploadRetry = 3;
}
}

LinkSupervisionResult superviseLink(LinkState &s, ControllerTransport &port, int portNumber)
{
    LinkSupervisionResult r;
    if (s.linkWatchdog == 0) {
        s.linkLabelStale = true;
        const quint8 result = port.open();
        // Why the port would not open, once per reason ("Permission denied":
        // the user is not in the dialout group).
        if (result == 2 && port.openError() != s.lastPortReason) {
            s.lastPortReason = port.openError();
            r.reasonLine = QStringLiteral("port COM") + QString::number(portNumber)
                           + QStringLiteral(": ") + s.lastPortReason;
        } else if (result != 2) {
            s.lastPortReason.clear();
        }
        if (result == s.lastPortResult)
            return r;
        s.lastPortResult = result;
        r.labelChanged = true;
        r.labelStyle = QLatin1String(StyleRed);
        const QString portText = QString::number(portNumber);
        switch (result) {
        case 0:
            r.labelText = QStringLiteral("Disconnected1  ");
            r.logLine = QStringLiteral("port opened ok");
            break;
        case 1:
            r.labelText = QStringLiteral("port COM:") + portText + QStringLiteral(" absent ");
            r.logLine = QStringLiteral("port absent");
            break;
        default:
            r.labelText = QStringLiteral("port COM:") + portText + QStringLiteral(" not opened ");
            r.logLine = QStringLiteral("port not opened");
            break;
        }
        return r;
    }
    --s.linkWatchdog;
    if (s.linkWatchdog != 0)
        return r;
    // Three steps without a completed reception: the link is lost. The port
    // stays open and is re-checked from the next step on.
    s.linkLabelStale = true;
    s.statusWord = 0;
    s.stateKnown = false;
    s.uploadRetry = 0;
    r.labelChanged = true;
    r.labelStyle = QLatin1String(StyleRed);
    r.labelText = QStringLiteral("Disconnected2  ");
    r.blankStatusLabels = true;
    r.logLine = QStringLiteral("Disconnected");
    return r;
}

FlashCycleStep flashCycleStep(LinkState &s)
{
    FlashCycleStep r;
    if (s.flashDelay == 0)
        return r;
    r.suspended = true;
    if (s.flashDelay > 1) {
        --s.flashDelay;
        r.emitDelalay = s.flashDelay == 1;
    }
    if (s.linkWatchdog != 0)
        --s.linkWatchdog;
    return r;
}

RecordStep advanceRecordState(LinkState &s)
{
    if (s.recordState == 1) {
        s.recordState = 2;
        return RecordStep::StartRecording;
    }
    if (s.recordState == 4) {
        s.recordState = 5;
        return RecordStep::ClearStore;
    }
    return RecordStep::None;
}

bool cycleSecondDue(LinkState &s)
{
    if (s.cycleTicks != 0) {
        --s.cycleTicks;
        if (s.cycleTicks != 0)
            return false;
    }
    s.cycleTicks = 10;
    return true;
}

bool takeNoiseLevelNow(LinkState &s)
{
    if (s.recordState != 2 || s.parameterWord > 3)
        return false;
    s.recordState = 3;
    return true;
}

UploadSupervisionResult superviseUpload(ControllerLink &link, bool serviceMode,
                                        const std::function<qint8()> &autoLoadTrack,
                                        const std::function<int()> &passStartState,
                                        const std::function<int()> &uploadTrack)
{
    LinkState &s = link.state();
    UploadSupervisionResult r;
    if (!serviceMode && s.uploadRetry <= 0) {
        if (s.statusWord & BusyBits)
            return r;
        if (s.uploadRetry == 0 && autoLoadTrack && autoLoadTrack() > 0) {
            if (passStartState && passStartState() == 1) {
                // A refused upload (nothing reachable, too big) was reported by
                // the planner; claiming "track sent" and repeating an older
                // frame would be wrong.
                s.passWritten = false;
                s.passWriteFailed = false;
                uploadOwedPass(s, r, uploadTrack, QStringLiteral("track sent"));
                return r;
            }
            s.passOwed = false;
            r.logLines << QStringLiteral("too late");
        } else if (s.passOwed && s.stateKnown && !(s.statusWord & TooLateBit)) {
            // A reply since the link came back says idle, without the pass.
            if (passStartState && passStartState() == 1)
                uploadOwedPass(s, r, uploadTrack,
                               s.passWritten ? QStringLiteral("track lost by the controller, sent again")
                                             : QStringLiteral("track sent"));
            else
                s.passOwed = false;
            return r;
        }
    }
    if (s.uploadRetry <= 0)
        return r;
    if (s.statusWord & TrackLoadedBit) {
        r.logLines << QStringLiteral("received ok");
        s.uploadRetry = -1;
        return r;
    }
    --s.uploadRetry;
    if (s.uploadRetry > 0 && !(s.statusWord & ReceiveErrorBit))
        return r;
    if (passStartState && passStartState() == 1) {
        if (link.resendLastUpload() < 0) {
            // The port went away: the pass goes out again when the link returns.
            s.uploadRetry = 0;
            s.passWriteFailed = true;
            r.logLines << NotSentText;
            return r;
        }
        r.resent = true;
        r.logLines << QStringLiteral("track upload failed, sent again");
        s.uploadRetry = 3;
    } else {
        s.uploadRetry = 0;
        s.passOwed = false;
        r.logLines << QStringLiteral("track upload failed, too late");
    }
    return r;
}

quint16 lastReplyStatusWord(const LinkState &s)
{
    const QByteArray &reply = s.statusReply;
    if (reply.size() < 8)
        return 0;
    return quint16(quint8(reply.at(6)) | (quint8(reply.at(7)) << 8));
}
