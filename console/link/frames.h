#pragma once
#include <QByteArray>
#include <QDateTime>
#include <QVector>
#include <QtGlobal>

// Command codes of the controller link.
enum CommandCode : qint32 {
    CmdTrackUpload = 0,
    CmdGoToOrigin = 1,
    CmdGoToCorrectedOrigin = 2,
    CmdSetNorthCorrection = 3,
    CmdSetParallelCorrection = 4,
    CmdStoreCorrections = 5,
    CmdCancel = 6,
    CmdFlipTo180 = 7,
    CmdEnterUblox = 9,
    CmdEnterProgramming = 10,
    CmdStatusRequest = 11,
};

inline constexpr int TxFrameSize = 4000;
inline constexpr int MaxUploadPoints = 496;
inline constexpr int UploadHeaderSize = 24; // table starts here
inline constexpr int UploadFrameOverhead = 26; // header + checksum

// Field offsets of txFrame.
inline constexpr int OffsetCommandCode = 0;
inline constexpr int OffsetFrameLength = 4; // also the argument of the 6-byte commands
inline constexpr int OffsetStartSecondOfDay = 6;
inline constexpr int OffsetConsoleTime = 10;
inline constexpr int OffsetUploadMode = 14;
inline constexpr int OffsetRadius = 16;
inline constexpr int OffsetReserved = 20;
inline constexpr int OffsetTable = 24;

// uploadMode values.
enum UploadMode : quint16 { UploadWholePass = 0, UploadCutPass = 1, UploadSinglePoint = 2 };

// Pure frame builders.
QByteArray commandBytes(qint32 code);              // 4 bytes
QByteArray commandBytes(qint32 code, qint16 arg);  // 6 bytes
// 16-bit sum of the overlapping little-endian words at offsets 0..L-4.
quint16 uploadChecksum(const QByteArray &frame, int length);
// Whole upload frame, 26 + 8n bytes, checksum included (n = radii.size()).
// Empty when radii and angles differ in size or n is above MaxUploadPoints.
QByteArray buildUploadFrame(qint32 startSecondOfDay, qint32 sendTimeMs, quint16 uploadMode,
                            float radius, const QVector<float> &radii,
                            const QVector<float> &angles);
// Console time of day for the upload frame: local time minus utcOffsetHours,
// wrapped into one day, in ms after midnight; 0 for an invalid time.
qint32 uploadSendTimeMs(const QDateTime &localNow, qint16 offsetHours);
// True when this upload frame sends a single target point (uploadMode 2).
bool isSinglePointUpload(const QByteArray &uploadBytes);
