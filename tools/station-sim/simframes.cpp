#include "simframes.h"

#include <cmath>
#include <cstring>

namespace simframes {

namespace {

quint16 le16(const QByteArray &b, int at)
{
    return quint16(quint8(b[at]) | (quint8(b[at + 1]) << 8));
}

quint32 le32(const QByteArray &b, int at)
{
    return quint32(quint8(b[at])) | (quint32(quint8(b[at + 1])) << 8)
           | (quint32(quint8(b[at + 2])) << 16) | (quint32(quint8(b[at + 3])) << 24);
}

float leFloat(const QByteArray &b, int at)
{
    const quint32 bits = le32(b, at);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

void put16(QByteArray &b, int at, quint16 v)
{
    b[at] = char(v & 0xFF);
    b[at + 1] = char(v >> 8);
}

void put32(QByteArray &b, int at, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = char((v >> (8 * i)) & 0xFF);
}

bool validUploadLength(int length)
{
    return length >= 26 && length <= MaxUploadLength && (length - 26) % 8 == 0;
}

RxFrame rejected(const QByteArray &bytes, const QString &reason)
{
    RxFrame f;
    f.type = RxFrame::Rejected;
    f.bytes = bytes;
    f.reason = reason;
    return f;
}

// Reads frames from `pos` to the end; returns false when something had to be
// rejected.
bool parseFrames(const QByteArray &bytes, int pos, QVector<RxFrame> *out)
{
    while (pos < bytes.size()) {
        const int rest = bytes.size() - pos;
        if (rest < 4) {
            out->append(rejected(bytes.mid(pos),
                                 rest == 1 ? QStringLiteral("lone byte without a correction request")
                                           : QStringLiteral("%1 bytes, too short for a command").arg(rest)));
            return false;
        }
        const qint32 code = qint32(le32(bytes, pos));
        if (code == TrackUpload) {
            if (rest < 6) {
                out->append(rejected(bytes.mid(pos), QStringLiteral("upload frame cut short before its length field")));
                return false;
            }
            const int length = le16(bytes, pos + 4);
            if (!validUploadLength(length)) {
                out->append(rejected(bytes.mid(pos), QStringLiteral("bad upload length %1").arg(length)));
                return false;
            }
            if (rest < length) {
                out->append(rejected(bytes.mid(pos), QStringLiteral("upload frame of %1 bytes cut short at %2")
                                                         .arg(length).arg(rest)));
                return false;
            }
            RxFrame f;
            f.type = RxFrame::Upload;
            f.code = code;
            f.bytes = bytes.mid(pos, length);
            out->append(f);
            pos += length;
            continue;
        }
        const int length = fixedLength(code);
        if (length == 0) {
            out->append(rejected(bytes.mid(pos), QStringLiteral("unknown command code %1").arg(code)));
            return false;
        }
        if (rest < length) {
            out->append(rejected(bytes.mid(pos), QStringLiteral("%1 frame cut short (%2 of %3 bytes)")
                                                     .arg(codeName(code)).arg(rest).arg(length)));
            return false;
        }
        RxFrame f;
        f.type = RxFrame::Command;
        f.code = code;
        f.bytes = bytes.mid(pos, length);
        if (length == 6)
            f.arg = qint16(le16(bytes, pos + 4));
        out->append(f);
        pos += length;
    }
    return true;
}

} // namespace

QString codeName(qint32 code)
{
    switch (code) {
    case TrackUpload: return QStringLiteral("track upload");
    case GoToOrigin: return QStringLiteral("go to origin");
    case GoToCorrectedOrigin: return QStringLiteral("go to corrected origin");
    case SetNorthCorrection: return QStringLiteral("set north correction");
    case SetParallelCorrection: return QStringLiteral("set parallel correction");
    case StoreCorrections: return QStringLiteral("store corrections");
    case Cancel: return QStringLiteral("cancel");
    case FlipTo180: return QStringLiteral("flip to 180");
    case EnterUblox: return QStringLiteral("enter u-blox mode");
    case EnterProgramming: return QStringLiteral("enter programming mode");
    case StatusRequest: return QStringLiteral("status request");
    default: return QStringLiteral("unknown");
    }
}

int fixedLength(qint32 code)
{
    switch (code) {
    case GoToOrigin:
    case GoToCorrectedOrigin:
    case Cancel:
    case FlipTo180:
    case EnterUblox:
    case EnterProgramming:
    case StatusRequest:
        return 4;
    case SetNorthCorrection:
    case SetParallelCorrection:
    case StoreCorrections:
        return 6;
    default:
        return 0;
    }
}

bool isKnownCode(qint32 code)
{
    return code == TrackUpload || fixedLength(code) != 0;
}

quint16 uploadChecksum(const QByteArray &frame, int length)
{
    quint32 sum = 0;
    const int last = qMin(length - 4, frame.size() - 2);
    for (int i = 0; i <= last; ++i)
        sum += le16(frame, i);
    return quint16(sum & 0xFFFF);
}

UploadCheck checkUploadFrame(const QByteArray &frame)
{
    UploadCheck c;
    if (frame.size() < 6) {
        c.reason = QStringLiteral("upload frame of %1 bytes is too short").arg(frame.size());
        return c;
    }
    if (le32(frame, 0) != 0) {
        c.reason = QStringLiteral("not an upload frame");
        return c;
    }
    const int length = le16(frame, 4);
    if (!validUploadLength(length)) {
        c.reason = QStringLiteral("bad upload length %1").arg(length);
        return c;
    }
    if (length != frame.size()) {
        c.reason = QStringLiteral("upload length field %1 but %2 bytes received").arg(length).arg(frame.size());
        return c;
    }
    UploadTable &t = c.table;
    t.checksum = le16(frame, length - 2);
    c.computed = uploadChecksum(frame, length);
    c.checksumOk = c.computed == t.checksum;
    t.startSecondOfDay = qint32(le32(frame, 6));
    t.consoleTimeMs = qint32(le32(frame, 10));
    t.uploadMode = le16(frame, 14);
    t.radius = leFloat(frame, 16);
    t.reserved = leFloat(frame, 20);
    const int n = (length - 26) / 8;
    t.radii.resize(n);
    t.angles.resize(n);
    for (int i = 0; i < n; ++i) {
        t.radii[i] = leFloat(frame, UploadHeaderLength + 4 * i);
        t.angles[i] = leFloat(frame, UploadHeaderLength + 4 * n + 4 * i);
    }
    if (!c.checksumOk) {
        c.reason = QStringLiteral("checksum 0x%1 in frame, 0x%2 computed")
                       .arg(t.checksum, 4, 16, QLatin1Char('0'))
                       .arg(c.computed, 4, 16, QLatin1Char('0'));
        return c;
    }
    if (n == 0) {
        c.reason = QStringLiteral("upload frame without points");
        return c;
    }
    if (t.uploadMode > 2) {
        c.reason = QStringLiteral("unknown upload mode %1").arg(t.uploadMode);
        return c;
    }
    if (!std::isfinite(t.radius) || t.radius <= 0.0f) {
        c.reason = QStringLiteral("bad arm radius");
        return c;
    }
    for (int i = 0; i < n; ++i) {
        if (!std::isfinite(t.radii[i]) || !std::isfinite(t.angles[i]) || t.radii[i] < 0.0f) {
            c.reason = QStringLiteral("table point %1 is not a feed position").arg(i);
            return c;
        }
    }
    c.ok = true;
    return c;
}

QByteArray buildUploadFrame(const UploadTable &table)
{
    const int n = int(qMin(table.radii.size(), table.angles.size()));
    const int length = 26 + 8 * n;
    QByteArray f(length, '\0');
    put32(f, 0, 0);
    put16(f, 4, quint16(length));
    put32(f, 6, quint32(table.startSecondOfDay));
    put32(f, 10, quint32(table.consoleTimeMs));
    put16(f, 14, table.uploadMode);
    put32(f, 16, floatBits(table.radius));
    put32(f, 20, floatBits(table.reserved));
    for (int i = 0; i < n; ++i) {
        put32(f, UploadHeaderLength + 4 * i, floatBits(table.radii[i]));
        put32(f, UploadHeaderLength + 4 * n + 4 * i, floatBits(table.angles[i]));
    }
    put16(f, length - 2, uploadChecksum(f, length));
    return f;
}

QVector<RxFrame> splitReception(const QByteArray &bytes, bool answerPending)
{
    QVector<RxFrame> out;
    if (bytes.isEmpty())
        return out;
    int pos = 0;
    if (answerPending) {
        bool answerFirst = bytes.size() == 1;
        if (!answerFirst) {
            // The answer may share a reception with a command that followed it
            // closely; take the byte as the answer only when that reads cleanly.
            QVector<RxFrame> whole;
            QVector<RxFrame> afterOne;
            answerFirst = !parseFrames(bytes, 0, &whole) && parseFrames(bytes, 1, &afterOne);
        }
        if (answerFirst) {
            RxFrame f;
            f.type = RxFrame::Correction;
            f.bytes = bytes.left(1);
            out.append(f);
            pos = 1;
        }
    }
    parseFrames(bytes, pos, &out);
    return out;
}

QByteArray buildStatusReply(const StatusReply &r)
{
    QByteArray b(StatusReplyLength, '\0');
    b[0] = char(r.kind);
    b[1] = b[2] = b[3] = char(0xFF);
    b[4] = char(r.versionMajor);
    b[5] = char(r.versionMinor);
    put16(b, 6, r.statusWord);
    put32(b, 8, r.param);
    put32(b, 12, quint32(r.timeWord));
    return b;
}

quint32 floatBits(float value)
{
    quint32 bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

quint32 trackingParam(quint16 pointIndex, qint8 ownOffset)
{
    return quint32(pointIndex) | (quint32(quint8(ownOffset)) << 16);
}

QString toHex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ')).toUpper();
}

} // namespace simframes
