#pragma once
#include "gps.h"

struct LinkState;

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <optional>

inline constexpr int StatusReplySize = 16;

// Status word bits.
enum StatusBit : quint16 {
    BitReceiveError = 0x0001,
    BitOriginError = 0x0002,
    BitStepError = 0x0004,
    BitTooLate = 0x0008,
    BitTrackLoaded = 0x0010,
    BitInOrigin = 0x0020,
    BitInStartPosition = 0x0040,
    BitInTrueOrigin = 0x0080,
    BitGoingToOrigin = 0x0100,
    BitGoingToStart = 0x0200,
    BitGoingTo180 = 0x0400,
    BitTracking = 0x0800,
    BitStoppedByUser = 0x4000,
    BitFinish = 0x8000,
};
inline constexpr quint16 ErrorBits = 0x000F;
inline constexpr quint16 StateChangeMask = 0xCFFF; // GPS bits alone are no state change

// One 16-byte status reply, decoded.
struct StatusReply
{
    bool valid = false;        // 16 bytes with the 0xFF sync in bytes 1-3
    QByteArray bytes;          // as decoded (byte 15 cleared in the 0xFF form)
    quint8 kind = 0;
    quint8 versionMajor = 0;
    quint8 versionMinor = 0;
    quint16 statusWord = 0;
    quint32 parameterWord = 0;
    float parameterFloat = 0;  // kinds 1 and 2
    qint16 parameterLow16 = 0; // kinds 3, 4, 5
    qint32 timeWord = 0;       // seconds after UTC midnight
    qint8 byte10 = 0;          // the controller's across-track offset while tracking

    qint32 parameterSigned() const { return static_cast<qint32>(parameterWord); }
    quint16 pointIndex() const { return static_cast<quint16>(parameterWord & 0xFFFF); }
};

// When bytes 0-3 are all 0xFF the kind comes from byte 15, which is then
// cleared, so the time is the low 24 bits of offsets 12-15.
StatusReply decodeStatusReply(const QByteArray &bytes);

// Kind-specific effect of a reply: kept in linkState, texts for the window.
struct KindEffect
{
    bool position = false;               // kind 1 or 2
    std::optional<QString> northCorrZ;   // kind 3
    std::optional<QString> parallCorrZ;  // kind 4
    std::optional<QString> azimuth;      // kind 5, the Azimuth line edit
};
KindEffect applyReplyKind(LinkState &linkState, const StatusReply &reply);
// steps x 0.1125 with 6 significant digits
QString correctionDegreesText(qint16 steps);

// A change of controller state: what to show, log and do.
struct StateChange
{
    bool changed = false;   // false: nothing below applies
    quint16 word = 0;       // the new status word (0 taken as 0x0001)
    QString line;           // the state line
    QString labelText;      // stateLabel: two blanks + line + two blanks
    QString style;          // stateLabel and TrackInfo
    QStringList logLines;   // in order
    bool finish = false;        // write the data file when a demodulator result exists; uploadRetry 0
    bool trueOrigin = false;    // recordState 0
    bool goingToStart = false;  // recordState 0 -> 1
    bool trackingOn = false;    // recordState 3 -> 4
    bool trackingOff = false;   // recordState 0
    // Net enabling after the effects above, when they touch the widgets:
    // Forward, Back, Left, Right ...
    std::optional<bool> manualButtonsEnabled;
    // ... and ScanMode, ScanModeFB, Feedback (Feedback only with the
    // Demodulator setting when enabled).
    std::optional<bool> modeBoxesEnabled;
};
StateChange describeStateChange(quint16 newWord, quint16 oldWord);
// statusWord := the new word; recordState and uploadRetry as the flags say.
// Returns true when the data file is to be written (finish after a
// demodulator result).
bool applyStateChange(LinkState &linkState, const StateChange &change);

// Everything one acted-on status reply asks of the window, in the order the
// window applies it.
struct StatusUpdate
{
    StatusReply reply;
    KindEffect kind;
    QString vexa41Text;          // service mode only, else empty
    GpsUpdate gps;
    bool tracking = false;       // drawOffset := drawOffset, drawSegment(pointIndex), yellow pen
    quint16 pointIndex = 0;
    qint8 drawOffset = 0;
    bool linkLabelChanged = false;
    QString linkLabelText;       // "Ver. " major "." minor two blanks
    QString linkLabelStyle;
    StateChange change;
    bool writeDataFile = false;
};

// What a reply's handling reads of the rest of the console.
struct ReplyContext
{
    bool serviceMode = false;
    bool timeCorr = false;        // the TimeCorr setting
    qint16 utcOffsetHours = 0;
    bool singlePointUpload = false; // the last upload sent one target point
};

// Steps 5 to 12 of handling a good status reply while the link is alive:
// updates linkState, corrects the clock, and returns what to show.
StatusUpdate applyStatusReply(LinkState &linkState, const StatusReply &reply, const ReplyContext &context);
QString versionText(quint8 major, quint8 minor);
