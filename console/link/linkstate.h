#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <functional>

class ControllerLink;
class ControllerTransport;

// The controller link's state, a part of the window's ConsoleState: port
// supervision, reception framing, main-cycle counters and what the last status
// reply told.
struct LinkState
{
    // Port supervision.
    quint8 linkWatchdog = 0;     // seconds left before the link counts as lost
    quint8 lastPortResult = 255; // last reported open() result; 255: none yet
    bool linkLabelStale = true;  // the next good reply writes the version label
    QString lastPortReason;      // the open failure's reason last logged
    QString lastClockRefusal;    // the refused clock correction's reason last logged

    // Reception framing.
    quint8 quietTicks = 3;     // 10 ms ticks of silence that end a reception
    qint8 replyCountdown = 0;  // silent ticks still to wait; 0: nothing pending
    quint8 replyMode = 0;      // 0 start, 1 good status reply, 2 overrun
    quint16 statusWord = 0;    // last status word acted on
    bool stateKnown = false;   // a reply was acted on since the last status request or link loss
    quint8 recordState = 0;    // pass recording 0..5

    // Main cycle.
    qint32 cycleTicks = 10;    // 100 ms ticks to the next once-per-second step
    quint8 flashDelay = 0;     // programming countdown; non-zero suspends the cycle
    qint8 uploadRetry = 0;     // 0 idle, 3..1 awaiting confirmation, -1 confirmed
    qint64 lastDemodResult = 0;
    bool ubloxMode = false;    // GPS pass-through on: no more status requests
    // The automatically uploaded pass the controller should hold until its
    // finish: sent again when the controller turns up idle without it (a link
    // that was down, a restart) while the pass can still start.
    bool passOwed = false;
    bool passWritten = false;      // its frame went out at least once
    bool passWriteFailed = false;  // the last try could not be written

    // The last status reply acted on.
    QByteArray statusReply;    // 16 bytes as received
    quint8 replyKind = 0;
    quint8 versionMajor = 0;
    quint8 versionMinor = 0;
    qint32 parameterWord = 0;  // seconds to start, point index, kind value ...
    quint16 pointIndex = 0;    // table point being tracked (bit 0x0800)
    qint8 byte10Offset = 0;    // the controller's own across-track offset (korr0)
    float latitude = 0;
    float longitude = 0;
    QString latHemisphere = QStringLiteral(" S, ");
    QString lonHemisphere = QStringLiteral(" W");
    qint16 northCorrSteps = 0;
    qint16 parallCorrSteps = 0;

    void reset() { *this = LinkState(); }
};

inline const char *const StyleRed = "color: Red";
inline const char *const StyleBlack = "color: Black";
inline const char *const StyleGreen = "color: green";

// What the window does after one once-per-second supervision step. Log lines
// are not written by the core: the caller logs them.
struct LinkSupervisionResult
{
    bool labelChanged = false;  // write linkLabel with labelText / labelStyle
    QString labelText;
    QString labelStyle;
    QString logLine;            // empty: nothing to log
    QString reasonLine;         // the system's reason of a failed open, after logLine
    // Empty gpsLabel, infoLabel, stateLabel, Azim_name, NorthCorrZ,
    // ParallCorrZ and Azimuth.
    bool blankStatusLabels = false;
};

// Port check while the watchdog is 0, otherwise the watchdog countdown and the
// loss of the link. Each open() result is reported only when it changes.
LinkSupervisionResult superviseLink(LinkState &linkState, ControllerTransport &port, int portNumber);

// Step of the cycle while a programming countdown runs (flashDelay non-zero):
// counts flashDelay down to 1 and only decrements a non-zero watchdog.
struct FlashCycleStep
{
    bool suspended = false;     // flashDelay was non-zero: the rest of the cycle is skipped
    bool emitDelalay = false;   // flashDelay just reached 1
};
FlashCycleStep flashCycleStep(LinkState &linkState);

// 100 ms tick, pass-recording step: 1 -> 2 and 4 -> 5.
enum class RecordStep { None, StartRecording, ClearStore };
// StartRecording: the caller starts the store and calls initCorrection;
// ClearStore: the caller clears the store.
RecordStep advanceRecordState(LinkState &linkState);
// 100 ms tick: true when the once-per-second step is due (cycleTicks reloaded).
bool cycleSecondDue(LinkState &linkState);
// Once-per-second: recordState 2 -> 3 when the countdown is at 3 s or less; the
// caller then takes the noise level (closePoint, setNoiseLevel).
bool takeNoiseLevelNow(LinkState &linkState);

// Once-per-second upload supervision (confirmation and repeat of automatic
// uploads). autoLoadTrack > 0: a new track was loaded; passStartState 1: the
// pass can still start; uploadTrack: the scheduled upload (uploadScheduledPass),
// an UploadAttempt. The repeat resends the link's lastUploadBytes itself.
enum UploadAttempt : int {
    AttemptNotWritten = -1, // prepared, but the frame could not be written
    AttemptRefused = 0,     // the planner refused (and said so)
    AttemptWritten = 1,
};
struct UploadSupervisionResult
{
    QStringList logLines;
    bool uploaded = false;
    bool resent = false;
};
UploadSupervisionResult superviseUpload(ControllerLink &link, bool serviceMode,
                                        const std::function<qint8()> &autoLoadTrack,
                                        const std::function<int()> &passStartState,
                                        const std::function<int()> &uploadTrack);

// Status word of the latest status reply as received (0 before the first one);
// unlike statusWord it is not cleared by a status request.
quint16 lastReplyStatusWord(const LinkState &linkState);
