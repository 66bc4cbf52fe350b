#pragma once
#include <QByteArray>
#include <QString>
#include <QVector>
#include <QtGlobal>

// Bytes on the controller's serial line, as the controller board sees them:
// command frames coming in, status replies and correction requests going out.
namespace simframes {

inline constexpr int MaxUploadLength = 4000;
inline constexpr int UploadHeaderLength = 24; // up to the table
inline constexpr int StatusReplyLength = 16;

enum Code : qint32 {
    TrackUpload = 0,
    GoToOrigin = 1,
    GoToCorrectedOrigin = 2,
    SetNorthCorrection = 3,
    SetParallelCorrection = 4,
    StoreCorrections = 5,
    Cancel = 6,
    FlipTo180 = 7,
    EnterUblox = 9,
    EnterProgramming = 10,
    StatusRequest = 11,
};

QString codeName(qint32 code);
// Length of a command frame with this code (4 or 6), or 0 for the upload frame
// (its length is in the frame) and for unknown codes.
int fixedLength(qint32 code);
bool isKnownCode(qint32 code);

// 16-bit sum of the little-endian words at every byte offset 0..length-4
// (the windows overlap); the two checksum bytes at length-2 are not covered.
quint16 uploadChecksum(const QByteArray &frame, int length);

struct UploadTable
{
    qint32 startSecondOfDay = 0;
    qint32 consoleTimeMs = 0;
    quint16 uploadMode = 0;
    float radius = 0.0f;
    float reserved = 0.0f;
    QVector<float> radii;
    QVector<float> angles;
    quint16 checksum = 0;
};

struct UploadCheck
{
    bool ok = false;
    bool checksumOk = false;
    quint16 computed = 0;
    QString reason; // empty when ok
    UploadTable table;
};

// Checks one complete upload frame (all bytes of it, nothing more) and decodes it.
UploadCheck checkUploadFrame(const QByteArray &frame);

// Builds a good upload frame (used by tests and by the pass tools).
QByteArray buildUploadFrame(const UploadTable &table);

// One frame cut out of a reception.
struct RxFrame
{
    enum Type { Command, Upload, Correction, Rejected };
    Type type = Rejected;
    QByteArray bytes;
    qint32 code = -1;   // Command / Upload
    qint16 arg = 0;     // 6-byte commands
    QString reason;     // Rejected
};

// Cuts one reception (the bytes between two silences) into frames by their
// known lengths. While the controller waits for a correction answer, a lone byte
// (or a byte in front of otherwise well-formed frames) is that answer. Whatever
// cannot be read as a frame ends the reception as one rejected piece.
QVector<RxFrame> splitReception(const QByteArray &bytes, bool answerPending);

// The 16-byte status reply.
struct StatusReply
{
    quint8 kind = 0;
    quint8 versionMajor = 3;
    quint8 versionMinor = 7;
    quint16 statusWord = 0;
    quint32 param = 0;
    qint32 timeWord = 0;
};
QByteArray buildStatusReply(const StatusReply &reply);
quint32 floatBits(float value);
// Parameter word of a tracking reply: point index in the low 16 bits and the
// controller's own across-track offset in byte 10 of the reply.
quint32 trackingParam(quint16 pointIndex, qint8 ownOffset);

QString toHex(const QByteArray &bytes);

} // namespace simframes
