#include "frames.h"

#include "appstate.h"
#include "clock.h"
#include "rs.h"

#include <QtEndian>
#include <cstring>

QByteArray txFrame(TxFrameSize, '\0');
QByteArray txBytes;
QByteArray lastUploadBytes;

namespace {
qint64 g_lastUploadWrite = -1;
}

namespace {
rs *g_port = nullptr;

template <typename T> void putLE(QByteArray &buffer, int offset, T value)
{
    qToLittleEndian<T>(value, reinterpret_cast<uchar *>(buffer.data()) + offset);
}

void putFloat(QByteArray &buffer, int offset, float value)
{
    quint32 bits;
    std::memcpy(&bits, &value, sizeof bits);
    putLE<quint32>(buffer, offset, bits);
}

qint64 writeTxBytes()
{
    if (!g_port)
        return -1;
    return g_port->write(txBytes);
}
} // namespace

QByteArray commandBytes(qint32 code)
{
    QByteArray out(4, '\0');
    putLE<qint32>(out, 0, code);
    return out;
}

QByteArray commandBytes(qint32 code, qint16 arg)
{
    QByteArray out(6, '\0');
    putLE<qint32>(out, 0, code);
    putLE<qint16>(out, 4, arg);
    return out;
}

quint16 uploadChecksum(const QByteArray &frame, int length)
{
    const int last = qMin(length, frame.size()) - 4;
    const auto *b = reinterpret_cast<const uchar *>(frame.constData());
    quint16 sum = 0;
    for (int i = 0; i <= last; ++i)
        sum = static_cast<quint16>(sum + b[i] + 256 * b[i + 1]);
    return sum;
}

QByteArray buildUploadFrame(qint32 startSecondOfDay, qint32 sendTimeMs, quint16 uploadMode,
                            float radius, const QVector<float> &radii,
                            const QVector<float> &angles)
{
    const int n = radii.size();
    if (angles.size() != n || n > MaxUploadPoints)
        return {};
    const int length = UploadFrameOverhead + 8 * n;
    QByteArray frame(length, '\0');
    putLE<qint32>(frame, OffsetCommandCode, CmdTrackUpload);
    putLE<quint16>(frame, OffsetFrameLength, static_cast<quint16>(length));
    putLE<qint32>(frame, OffsetStartSecondOfDay, startSecondOfDay);
    putLE<qint32>(frame, OffsetConsoleTime, sendTimeMs);
    putLE<quint16>(frame, OffsetUploadMode, uploadMode);
    putFloat(frame, OffsetRadius, radius);
    putFloat(frame, OffsetReserved, 0.0f);
    for (int i = 0; i < n; ++i) {
        putFloat(frame, OffsetTable + 4 * i, radii.at(i));
        putFloat(frame, OffsetTable + 4 * n + 4 * i, angles.at(i));
    }
    putLE<quint16>(frame, length - 2, uploadChecksum(frame, length));
    return frame;
}

qint32 uploadSendTimeMs(const QDateTime &localNow, qint16 offsetHours)
{
    const QTime t = localNow.time();
    if (!localNow.isValid() || !t.isValid())
        return 0;
    constexpr qint64 dayMs = 86400000;
    qint64 ms = t.msecsSinceStartOfDay() - qint64(offsetHours) * 3600000;
    ms %= dayMs;
    if (ms < 0)
        ms += dayMs;
    return static_cast<qint32>(ms);
}

qint32 uploadSendTimeMs()
{
    return uploadSendTimeMs(platform::nowLocal(), utcOffsetHours);
}

bool lastUploadWasSinglePoint()
{
    if (lastUploadBytes.size() < OffsetUploadMode + 2)
        return false;
    const auto mode = qFromLittleEndian<quint16>(lastUploadBytes.constData() + OffsetUploadMode);
    return mode == UploadSinglePoint;
}

void setControllerPort(rs *port)
{
    g_port = port;
}

rs *controllerPort()
{
    return g_port;
}

qint64 sendCommand(qint32 code)
{
    putLE<qint32>(txFrame, OffsetCommandCode, code);
    txBytes = txFrame.left(4);
    return writeTxBytes();
}

qint64 sendCommand(qint32 code, qint16 arg)
{
    putLE<qint32>(txFrame, OffsetCommandCode, code);
    putLE<qint16>(txFrame, OffsetFrameLength, arg);
    txBytes = txFrame.left(6);
    return writeTxBytes();
}

qint64 sendUploadFrame(const QByteArray &frame)
{
    // A frame that does not fit the transmit buffer is never sent.
    if (frame.isEmpty() || frame.size() > TxFrameSize)
        return -1;
    std::memcpy(txFrame.data(), frame.constData(), static_cast<size_t>(frame.size()));
    txBytes = txFrame.left(frame.size());
    lastUploadBytes = txBytes;
    g_lastUploadWrite = writeTxBytes();
    return g_lastUploadWrite;
}

bool lastUploadWritten()
{
    return g_lastUploadWrite >= 0;
}

qint64 resendLastUpload()
{
    if (lastUploadBytes.isEmpty())
        return -1;
    return sendUploadFrame(lastUploadBytes);
}

qint64 sendCorrectionByte(qint8 offset)
{
    txFrame[0] = static_cast<char>(offset);
    txBytes = txFrame.left(1);
    return writeTxBytes();
}

qint64 resendTxBytes()
{
    return writeTxBytes();
}

void resetFrames()
{
    txFrame.fill('\0', TxFrameSize);
    txBytes.clear();
    lastUploadBytes.clear();
    g_lastUploadWrite = -1;
    g_port = nullptr;
}
