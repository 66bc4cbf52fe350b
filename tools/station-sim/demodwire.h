#pragma once
#include <QByteArray>
#include <QString>
#include <QtGlobal>

// Messages between the console and the demodulator on its TCP port. Requests
// start with the marker 2E FD 69 B6 and a 32-bit code; they may arrive glued
// together or split anywhere, so they are read from a stream buffer.
namespace demodwire {

inline constexpr quint32 Marker = 0xB669FD2E;
inline constexpr quint32 StatusProbe = 0x1;
inline constexpr quint32 ConnectMessage = 0x1002F;
inline constexpr quint32 PowerRequest = 0x30;
inline constexpr int AnswerLength = 52;

struct Request
{
    enum Type { Probe, Connect, Power, Unknown, Garbage };
    Type type = Garbage;
    quint32 code = 0;
    QByteArray bytes;
};

QString typeName(Request::Type type);

class RequestParser
{
public:
    void feed(const QByteArray &bytes) { m_buffer.append(bytes); }
    // Takes the next complete request (or a piece of garbage before a marker)
    // out of the buffer; false when more bytes are needed.
    bool next(Request *request);
    int pending() const { return int(m_buffer.size()); }

private:
    QByteArray m_buffer;
};

// 52-byte answer: marker, code 0x30 and the length in the first 12 bytes,
// power at 44 and SNR at 48, tenths of a dB, little-endian; the rest zero.
QByteArray buildAnswer(qint32 powerTenths, qint32 snrTenths);

QByteArray probeBytes();
QByteArray connectBytes();
QByteArray powerRequestBytes();

} // namespace demodwire
