#include "statusreply.h"

#include "appstate.h"
#include "frames.h"
#include "linkstate.h"
#include "settings.h"

#include <QtEndian>
#include <cstring>

namespace {
struct BitText
{
    quint16 mask;
    const char *text;
    const char *log; // nullptr: not logged
};

// The order in which the state line is built.
const BitText StateBits[] = {
    {BitReceiveError, " Receive error. ", nullptr},
    {BitOriginError, " Origin error. ", "origin error"},
    {BitStepError, " Step error. ", nullptr},
    {BitTooLate, " To late. Track not started. ", "To late. Track aborted"},
    {BitTrackLoaded, " Track loaded. ", nullptr},
    {BitFinish, " Finish.", "finish"},
    {BitInOrigin, " In Origin. ", "in origin"},
    {BitInTrueOrigin, " In true Origin. ", "in true origin"},
    {BitInStartPosition, " In start position ", "in start position"},
    {BitStoppedByUser, " Stopped by user ", nullptr},
    {BitGoingToOrigin, " Going to origin ", nullptr},
    {BitGoingToStart, " Going to Start pos. ", nullptr},
    {BitGoingTo180, " Going to 180 grad ", nullptr},
};

quint16 effectiveWord(quint16 word)
{
    return word == 0 ? quint16(BitReceiveError) : word;
}
} // namespace

StatusReply decodeStatusReply(const QByteArray &bytes)
{
    StatusReply r;
    if (bytes.size() != StatusReplySize)
        return r;
    QByteArray b = bytes;
    const auto u = [&b](int i) { return static_cast<quint8>(b.at(i)); };
    r.valid = u(1) == 0xFF && u(2) == 0xFF && u(3) == 0xFF;
    r.kind = u(0);
    if (r.valid && u(0) == 0xFF) {
        r.kind = u(15);
        b[15] = '\0';
    }
    const char *d = b.constData();
    r.bytes = b;
    r.versionMajor = u(4);
    r.versionMinor = u(5);
    r.statusWord = qFromLittleEndian<quint16>(d + 6);
    r.parameterWord = qFromLittleEndian<quint32>(d + 8);
    std::memcpy(&r.parameterFloat, &r.parameterWord, sizeof r.parameterFloat);
    r.parameterLow16 = static_cast<qint16>(r.parameterWord & 0xFFFF);
    r.timeWord = qFromLittleEndian<qint32>(d + 12);
    r.byte10 = static_cast<qint8>(u(10));
    return r;
}

QString correctionDegreesText(qint16 steps)
{
    return QString::number(steps * 0.1125, 'g', 6);
}

KindEffect applyReplyKind(LinkState &s, const StatusReply &reply)
{
    KindEffect e;
    switch (reply.kind) {
    case 1:
        s.latitude = reply.parameterFloat;
        s.latHemisphere = reply.parameterFloat > 0 ? QStringLiteral(" N, ") : QStringLiteral(" S, ");
        e.position = true;
        break;
    case 2:
        s.longitude = reply.parameterFloat;
        s.lonHemisphere = reply.parameterFloat > 0 ? QStringLiteral(" E") : QStringLiteral(" W");
        e.position = true;
        break;
    case 3:
        s.northCorrSteps = reply.parameterLow16;
        e.northCorrZ = correctionDegreesText(s.northCorrSteps);
        break;
    case 4:
        s.parallCorrSteps = reply.parameterLow16;
        e.parallCorrZ = correctionDegreesText(s.parallCorrSteps);
        break;
    case 5:
        e.azimuth = QString::number(reply.parameterLow16 / 10.0, 'g', 6);
        break;
    default:
        break;
    }
    return e;
}

StateChange describeStateChange(quint16 newWord, quint16 oldWord)
{
    StateChange c;
    const quint16 word = effectiveWord(newWord);
    if (((word ^ oldWord) & StateChangeMask) == 0)
        return c;
    c.changed = true;
    c.word = word;
    for (const BitText &bit : StateBits) {
        if (!(word & bit.mask))
            continue;
        c.line += QLatin1String(bit.text);
        if (bit.log)
            c.logLines << QLatin1String(bit.log);
    }
    const bool wasTracking = oldWord & BitTracking;
    const bool isTracking = word & BitTracking;
    c.finish = word & BitFinish;
    c.trueOrigin = word & BitInTrueOrigin;
    c.goingToStart = word & BitGoingToStart;
    c.trackingOn = isTracking && !wasTracking;
    c.trackingOff = wasTracking && !isTracking;
    if (c.trackingOn) {
        c.line += QStringLiteral(" Tracking. ");
        c.logLines << QStringLiteral("tracking");
    }
    if (c.finish)
        c.manualButtonsEnabled = false;
    if (c.trackingOn) {
        c.manualButtonsEnabled = true;
        c.modeBoxesEnabled = false;
    }
    if (c.trackingOff) {
        c.manualButtonsEnabled = false;
        c.modeBoxesEnabled = true;
    }
    c.style = QLatin1String((word & ErrorBits) ? StyleRed : StyleBlack);
    c.labelText = QStringLiteral("  ") + c.line + QStringLiteral("  ");
    return c;
}

bool applyStateChange(LinkState &s, const StateChange &c)
{
    if (!c.changed)
        return false;
    s.statusWord = c.word;
    if (c.finish) {
        s.uploadRetry = 0;
        s.passOwed = false;
    }
    if (c.trueOrigin)
        s.recordState = 0;
    if (c.goingToStart && s.recordState == 0)
        s.recordState = 1;
    if (c.trackingOn && s.recordState == 3)
        s.recordState = 4;
    if (c.trackingOff)
        s.recordState = 0;
    return c.finish && s.lastDemodResult != 0;
}

QString versionText(quint8 major, quint8 minor)
{
    return QStringLiteral("Ver. ") + QString::number(major) + QLatin1Char('.')
           + QString::number(minor) + QStringLiteral("  ");
}

StatusUpdate applyStatusReply(LinkState &s, const StatusReply &reply, const ReplyContext &context)
{
    StatusUpdate u;
    u.reply = reply;
    s.statusReply = reply.bytes;
    s.stateKnown = true;
    s.replyKind = reply.kind;
    s.versionMajor = reply.versionMajor;
    s.versionMinor = reply.versionMinor;
    s.parameterWord = reply.parameterSigned();

    u.kind = applyReplyKind(s, reply);
    u.gps.time = splitTimeWord(reply.timeWord);
    if (context.serviceMode)
        u.vexa41Text = QStringLiteral("Status=") + QString::number(reply.statusWord, 16);

    quint16 word = reply.statusWord;
    if (word == 0) {
        s.statusWord = 0; // so that the receive error is reported again
        word = BitReceiveError;
    }

    u.gps.label = gpsLabelFor(word);
    const ClockCorrection clock = correctClock(word, u.gps.time, context.timeCorr,
                                                 s.lastClockRefusal);
    u.gps.clockSet = clock.set;
    u.gps.clockLogLine = clock.logLine;
    u.gps.localTime = localTimeText(u.gps.time, context.utcOffsetHours);
    InfoLabelInput info;
    info.localTime = u.gps.localTime;
    info.position = context.serviceMode && u.kind.position;
    info.latitude = s.latitude;
    info.latHemisphere = s.latHemisphere;
    info.longitude = s.longitude;
    info.lonHemisphere = s.lonHemisphere;
    info.startCountdown = (word & BitTrackLoaded) && !(word & ErrorBits)
                          && !context.singlePointUpload;
    info.secondsToStart = reply.parameterSigned();
    u.gps.infoText = infoLabelText(info);

    if (word & BitTracking) {
        s.pointIndex = reply.pointIndex();
        s.byte10Offset = reply.byte10;
        u.tracking = true;
        u.pointIndex = s.pointIndex;
        u.drawOffset = s.byte10Offset;
    }

    if (s.linkLabelStale) {
        s.linkLabelStale = false;
        u.linkLabelChanged = true;
    }

    u.change = describeStateChange(word, s.statusWord);
    if (u.change.changed) {
        u.writeDataFile = applyStateChange(s, u.change);
        u.linkLabelChanged = true;
    }
    if (u.linkLabelChanged) {
        u.linkLabelText = versionText(reply.versionMajor, reply.versionMinor);
        u.linkLabelStyle = QLatin1String(StyleBlack);
    }
    return u;
}
