#include "frames.h"

#include <QtEndian>
#include <cstring>

namespace {
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

bool isSinglePointUpload(const QByteArray &uploadBytes)
{
    if (uploadBytes.size() < OffsetUploadMode + 2)
        return false;
    const auto mode = qFromLittleEndian<quint16>(uploadBytes.constData() + OffsetUploadMode);
    return mode == UploadSinglePoint;
}
