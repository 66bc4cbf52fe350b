#pragma once
#include "simframes.h"

#include <QtGlobal>

// The antenna controller's state as a function of time: what it was last told
// (an upload or a command) and when, and what it reports at any later moment.
// Times are milliseconds since the epoch, UTC.
namespace sim {

enum StatusBit : quint16 {
    ReceiveError = 0x0001,
    OriginError = 0x0002,
    StepError = 0x0004,
    TooLate = 0x0008,
    TrackLoaded = 0x0010,
    InOrigin = 0x0020,
    InStartPosition = 0x0040,
    InTrueOrigin = 0x0080,
    GoingToOrigin = 0x0100,
    GoingToStart = 0x0200,
    GoingTo180 = 0x0400,
    Tracking = 0x0800,
    GpsBits = 0x3000,
    StoppedByUser = 0x4000,
    Finish = 0x8000,
};

struct CoreConfig
{
    qint64 startLeadMs = 20000;  // going to the start position this long before the start
    qint64 travelMs = 3000;      // time of every move
    qint64 finishHoldMs = 3000;  // finish bit stays this long after the last point
    quint16 gpsBits = 0x3000;
    int ownOffsetAmplitude = 3;  // mm; 0 keeps byte 10 at 0
    int ownOffsetPeriod = 24;    // points per swing of the own offset
    float latitude = 59.9375f;
    float longitude = 30.3086f;
    quint8 versionMajor = 3;
    quint8 versionMinor = 7;
};

struct Snapshot
{
    quint16 statusWord = 0;
    bool passLoaded = false;  // table held, pass not finished
    bool tracking = false;
    int pointIndex = -1;      // while tracking
    qint8 ownOffset = 0;      // while tracking
    qint32 countdown = 0;     // seconds to the start while the pass waits
};

class ControllerCore
{
public:
    enum class UploadResult { Accepted, TooLate };

    explicit ControllerCore(const CoreConfig &config = CoreConfig()) : m_config(config) {}
    CoreConfig &config() { return m_config; }
    const CoreConfig &config() const { return m_config; }

    // A restart: the activity, the receive error and the reply rotation go;
    // stored corrections stay.
    void reset();

    // A checked, good upload frame.
    UploadResult acceptUpload(const simframes::UploadTable &table, qint64 nowMs);
    // A reception that could not be taken (bad frame, refused upload).
    void receiveFailed() { m_receiveError = true; }
    // Command frames 1 to 7 (others change nothing here).
    void command(qint32 code, qint16 arg, qint64 nowMs);

    Snapshot at(qint64 nowMs) const;
    // The status reply for this moment; kinds rotate 1..5 from reply to reply
    // while no pass is loaded, kind 0 carries the countdown or the point index.
    simframes::StatusReply reply(qint64 nowMs);

    qint8 ownOffset(int pointIndex) const;
    qint16 northSteps() const { return m_north; }
    qint16 parallelSteps() const { return m_parallel; }
    qint16 referenceAzimuth() const { return m_referenceAzimuth; }
    bool hasPass() const { return m_activity == Activity::Pass; }
    const simframes::UploadTable &table() const { return m_table; }
    qint64 passStartMs() const { return m_startMs; }
    qint64 goStartMs() const { return m_goStartMs; }
    qint64 inStartMs() const { return m_inStartMs; }
    qint64 passEndMs() const { return m_startMs + 1000LL * m_table.radii.size(); }
    // UTC midnight that starts the day of a moment.
    static qint64 dayStartMs(qint64 nowMs);

private:
    enum class Activity { None, Pass, Origin, TrueOrigin, Flip180, Stopped, TooLate };

    CoreConfig m_config;
    Activity m_activity = Activity::None;
    qint64 m_sinceMs = 0;
    qint64 m_startMs = 0;
    qint64 m_goStartMs = 0;
    qint64 m_inStartMs = 0;
    simframes::UploadTable m_table;
    bool m_receiveError = false;
    qint16 m_north = 0;
    qint16 m_parallel = 0;
    qint16 m_referenceAzimuth = 0;
    int m_nextKind = 1;
};

} // namespace sim
