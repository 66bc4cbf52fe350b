#include "demodwire.h"

namespace demodwire {

namespace {

const char MarkerBytes[4] = {'\x2E', '\xFD', '\x69', '\xB6'};

void put32(QByteArray &b, int at, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = char((v >> (8 * i)) & 0xFF);
}

quint32 le32(const QByteArray &b, int at)
{
    return quint32(quint8(b[at])) | (quint32(quint8(b[at + 1])) << 8)
           | (quint32(quint8(b[at + 2])) << 16) | (quint32(quint8(b[at + 3])) << 24);
}

QByteArray message(quint32 code)
{
    QByteArray b(8, '\0');
    put32(b, 0, Marker);
    put32(b, 4, code);
    return b;
}

} // namespace

QString typeName(Request::Type type)
{
    switch (type) {
    case Request::Probe: return QStringLiteral("probe");
    case Request::Connect: return QStringLiteral("connect");
    case Request::Power: return QStringLiteral("power");
    case Request::Unknown: return QStringLiteral("unknown");
    case Request::Garbage: return QStringLiteral("garbage");
    }
    return QString();
}

bool RequestParser::next(Request *request)
{
    const QByteArray marker = QByteArray::fromRawData(MarkerBytes, 4);
    const int at = m_buffer.indexOf(marker);
    if (at != 0) {
        // Bytes in front of a marker are garbage; without any marker keep the
        // last three bytes, they may be the start of one.
        const int drop = at > 0 ? at : qMax(0, int(m_buffer.size()) - 3);
        if (drop == 0)
            return false;
        request->type = Request::Garbage;
        request->code = 0;
        request->bytes = m_buffer.left(drop);
        m_buffer.remove(0, drop);
        return true;
    }
    if (m_buffer.size() < 8)
        return false;
    const quint32 code = le32(m_buffer, 4);
    int length = 8;
    Request::Type type = Request::Unknown;
    if (code == StatusProbe) {
        type = Request::Probe;
    } else if (code == PowerRequest) {
        type = Request::Power;
    } else if (code == ConnectMessage) {
        type = Request::Connect;
        length = 9;
    }
    if (m_buffer.size() < length)
        return false;
    request->type = type;
    request->code = code;
    request->bytes = m_buffer.left(length);
    m_buffer.remove(0, length);
    return true;
}

QByteArray buildAnswer(qint32 powerTenths, qint32 snrTenths)
{
    QByteArray b(AnswerLength, '\0');
    put32(b, 0, Marker);
    put32(b, 4, PowerRequest);
    put32(b, 8, AnswerLength);
    put32(b, 44, quint32(powerTenths));
    put32(b, 48, quint32(snrTenths));
    return b;
}

QByteArray probeBytes() { return message(StatusProbe); }

QByteArray connectBytes()
{
    QByteArray b = message(ConnectMessage);
    b.append('\x01');
    return b;
}

QByteArray powerRequestBytes() { return message(PowerRequest); }

} // namespace demodwire
