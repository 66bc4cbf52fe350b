#include "demodlink.h"

#include "passdatastore.h"
#include "settings.h"

#include <QTcpSocket>
#include <QtEndian>

namespace {
// Every message starts with this marker, little-endian.
constexpr quint32 Marker = 0xB669FD2E;

QByteArray message(quint32 code, int extraBytes = 0, char extra = 0)
{
    QByteArray bytes(8, '\0');
    qToLittleEndian<quint32>(Marker, bytes.data());
    qToLittleEndian<quint32>(code, bytes.data() + 4);
    bytes.append(extraBytes, extra);
    return bytes;
}
}

DemodLink::DemodLink(QObject *parent)
    : QObject(parent)
    , m_socket(new QTcpSocket(this))
{
    wireSocket();
}

DemodLink::DemodLink(QTcpSocket *socket, QObject *parent)
    : QObject(parent)
    , m_socket(socket)
{
    wireSocket();
}

void DemodLink::wireSocket()
{
    connect(m_socket, &QTcpSocket::readyRead, this, &DemodLink::dataReady);
}

void DemodLink::setEndpoint(const QString &host, quint16 port)
{
    m_host = host;
    m_port = port;
}

QByteArray DemodLink::statusProbeMessage()
{
    return message(0x00000001);
}

QByteArray DemodLink::connectMessage()
{
    return message(0x0001002F, 1, 1);
}

QByteArray DemodLink::powerRequestMessage()
{
    return message(0x00000030);
}

bool DemodLink::decodeAnswer(const QByteArray &block, float *power, float *snr)
{
    if (block.size() < AnswerSize)
        return false;
    const qint32 p = qFromLittleEndian<qint32>(block.constData() + 44);
    const qint32 s = qFromLittleEndian<qint32>(block.constData() + 48);
    *power = float(p) / 10.0f;
    *snr = float(s) / 10.0f;
    return true;
}

// A socket that is not open refuses the write all the same (-1); asking first
// keeps the toolkit from warning about it every second while the demodulator is away.
qint64 DemodLink::writeIfOpen(const QByteArray &message)
{
    return m_socket->isOpen() ? m_socket->write(message) : -1;
}

qint64 DemodLink::checkDemodulator(const StationSettingsRecord &settings, QString *statusText,
                                   bool *rewriteLabel)
{
    QString text;
    qint64 result = 0;
    bool rewrite = true;

    if (!settings.Demodulator) {
        text = QStringLiteral(", Demod. disabled");
    } else {
        const qint64 probe = writeIfOpen(statusProbeMessage());
        if (probe >= 0) {
            // A live connection: the label keeps what it shows.
            rewrite = false;
            result = 1;
        } else {
            // A socket left half-way (closing) cannot start a new connection.
            if (m_socket->state() != QAbstractSocket::UnconnectedState)
                m_socket->abort();
            m_socket->connectToHost(m_host, m_port, QIODevice::ReadWrite,
                                    QAbstractSocket::AnyIPProtocol);
            if (m_socket->waitForConnected(ConnectWaitMs)) {
                result = m_socket->write(connectMessage());
                text = QStringLiteral(", Demod. ok");
            } else {
                text = QStringLiteral(", Demod. fail");
                result = 0;
            }
            if (!settings.Feedback)
                text += QStringLiteral(", Feedback off");
            if (settings.ScanModeRL)
                text += QStringLiteral(", ScanModeRL");
            if (settings.ScanModeFB)
                text += QStringLiteral(", ScanModeFB");
        }
    }

    if (statusText)
        *statusText = text;
    if (rewriteLabel)
        *rewriteLabel = rewrite;
    m_lastResult = result;
    return result;
}

qint64 DemodLink::sendPowerRequest()
{
    m_lastResult = writeIfOpen(powerRequestMessage());
    return m_lastResult;
}

DemodLink::ReadResult DemodLink::readTcpData(const StationSettingsRecord &settings, quint16 statusWord,
                                             PassDataStore &store)
{
    if (!settings.Demodulator || !(statusWord & (InStartPosition | Tracking)))
        return NotRead;
    // One sample per arrival; whatever else the block holds is dropped.
    const QByteArray block = m_socket->readAll();
    float power = 0;
    float snr = 0;
    if (!decodeAnswer(block, &power, &snr))
        return ShortBlock;
    return store.addSample(power, snr) == 0 ? SampleAdded : StoreRefused;
}
