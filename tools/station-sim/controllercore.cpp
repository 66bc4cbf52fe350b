#include "controllercore.h"

#include <cmath>

namespace sim {

namespace {
constexpr qint64 DayMs = 86400000LL;

qint16 addSteps(qint16 stored, qint16 delta)
{
    return qint16(qBound<int>(-32768, int(stored) + int(delta), 32767));
}

qint32 secondsUntil(qint64 fromMs, qint64 toMs)
{
    if (toMs <= fromMs)
        return 0;
    return qint32((toMs - fromMs + 999) / 1000);
}
} // namespace

qint64 ControllerCore::dayStartMs(qint64 nowMs)
{
    qint64 day = nowMs / DayMs;
    if (nowMs < 0 && nowMs % DayMs != 0)
        --day;
    return day * DayMs;
}

void ControllerCore::reset()
{
    m_activity = Activity::None;
    m_sinceMs = 0;
    m_table = simframes::UploadTable();
    m_receiveError = false;
    m_nextKind = 1;
}

ControllerCore::UploadResult ControllerCore::acceptUpload(const simframes::UploadTable &table,
                                                          qint64 nowMs)
{
    m_receiveError = false;
    m_sinceMs = nowMs;
    const qint64 start = dayStartMs(nowMs) + 1000LL * table.startSecondOfDay;
    if (start <= nowMs) {
        m_activity = Activity::TooLate;
        m_table = simframes::UploadTable();
        return UploadResult::TooLate;
    }
    m_activity = Activity::Pass;
    m_table = table;
    m_startMs = start;
    // A single target point is approached at once; a pass shortly before it starts.
    m_goStartMs = table.uploadMode == 2 ? nowMs : qMax(nowMs, start - m_config.startLeadMs);
    m_inStartMs = m_goStartMs + qMin(m_config.travelMs, (start - m_goStartMs) / 2);
    return UploadResult::Accepted;
}

void ControllerCore::command(qint32 code, qint16 arg, qint64 nowMs)
{
    using namespace simframes;
    switch (code) {
    case GoToOrigin:
    case GoToCorrectedOrigin:
    case Cancel:
    case FlipTo180:
        m_receiveError = false;
        m_sinceMs = nowMs;
        m_table = UploadTable();
        m_activity = code == GoToOrigin ? Activity::Origin
                     : code == GoToCorrectedOrigin ? Activity::TrueOrigin
                     : code == Cancel ? Activity::Stopped
                                      : Activity::Flip180;
        break;
    case SetNorthCorrection:
        m_receiveError = false;
        m_north = addSteps(m_north, arg);
        break;
    case SetParallelCorrection:
        m_receiveError = false;
        m_parallel = addSteps(m_parallel, arg);
        break;
    case StoreCorrections:
        m_receiveError = false;
        if (arg != 9999)
            m_referenceAzimuth = arg;
        break;
    default:
        break;
    }
}

qint8 ControllerCore::ownOffset(int pointIndex) const
{
    const int amplitude = qBound(0, m_config.ownOffsetAmplitude, 100);
    if (amplitude == 0 || pointIndex < 0)
        return 0;
    const int period = qMax(2, m_config.ownOffsetPeriod);
    const double phase = 2.0 * 3.14159265358979323846 * (pointIndex % period) / period;
    return qint8(std::lround(amplitude * std::sin(phase)));
}

Snapshot ControllerCore::at(qint64 nowMs) const
{
    Snapshot s;
    quint16 bits = 0;
    const qint64 elapsed = nowMs - m_sinceMs;
    switch (m_activity) {
    case Activity::None:
        break;
    case Activity::Origin:
        bits = elapsed < m_config.travelMs ? GoingToOrigin : InOrigin;
        break;
    case Activity::TrueOrigin:
        bits = elapsed < m_config.travelMs ? GoingToOrigin : InTrueOrigin;
        break;
    case Activity::Flip180:
        bits = elapsed < m_config.travelMs ? GoingTo180 : 0;
        break;
    case Activity::Stopped:
        bits = StoppedByUser;
        break;
    case Activity::TooLate:
        bits = TooLate;
        break;
    case Activity::Pass: {
        const qint64 end = passEndMs();
        if (nowMs < m_startMs) {
            s.passLoaded = true;
            s.countdown = secondsUntil(nowMs, m_startMs);
            bits = TrackLoaded;
            if (nowMs >= m_inStartMs)
                bits |= InStartPosition;
            else if (nowMs >= m_goStartMs)
                bits |= GoingToStart;
        } else if (nowMs < end) {
            s.passLoaded = true;
            s.tracking = true;
            s.pointIndex = int((nowMs - m_startMs) / 1000);
            s.ownOffset = ownOffset(s.pointIndex);
            bits = Tracking; // the table is in use now, no longer waiting
        } else if (nowMs < end + m_config.finishHoldMs) {
            bits = Finish;
        }
        break;
    }
    }
    if (m_receiveError)
        bits |= ReceiveError;
    s.statusWord = bits | (m_config.gpsBits & GpsBits);
    return s;
}

simframes::StatusReply ControllerCore::reply(qint64 nowMs)
{
    const Snapshot s = at(nowMs);
    simframes::StatusReply r;
    r.versionMajor = m_config.versionMajor;
    r.versionMinor = m_config.versionMinor;
    r.statusWord = s.statusWord;
    r.timeWord = qint32((nowMs - dayStartMs(nowMs)) / 1000);
    if (s.passLoaded) {
        r.kind = 0;
        r.param = s.tracking ? simframes::trackingParam(quint16(s.pointIndex), s.ownOffset)
                             : quint32(s.countdown);
        return r;
    }
    r.kind = quint8(m_nextKind);
    switch (m_nextKind) {
    case 1: r.param = simframes::floatBits(m_config.latitude); break;
    case 2: r.param = simframes::floatBits(m_config.longitude); break;
    case 3: r.param = quint32(qint32(m_north)); break;
    case 4: r.param = quint32(qint32(m_parallel)); break;
    default: r.param = quint32(qint32(m_referenceAzimuth)); break;
    }
    m_nextKind = m_nextKind % 5 + 1;
    return r;
}

} // namespace sim
