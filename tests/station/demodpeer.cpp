#include "demodpeer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QHostAddress>
#include <QTcpSocket>
#include <sys/ioctl.h>

namespace {
// Bytes the system holds for a socket that nobody has read yet.
int unreadInSystem(const QTcpSocket *socket)
{
    int n = 0;
    if (!socket || socket->socketDescriptor() < 0 || ::ioctl(int(socket->socketDescriptor()), FIONREAD, &n) != 0)
        return 0;
    return n;
}
} // namespace

DemodPeer::DemodPeer(qint32 powerTenths, qint32 snrTenths) : m_powerTenths(powerTenths), m_snrTenths(snrTenths) {}

DemodPeer::~DemodPeer()
{
    for (const QPointer<QTcpSocket> &peer : qAsConst(m_peers))
        delete peer.data();
    m_server.close();
}

bool DemodPeer::listen()
{
    return m_server.listen(QHostAddress::LocalHost, Port);
}

// Takes what arrived and answers it; true when it did something.
bool DemodPeer::serve()
{
    bool acted = false;
    bool timedOut = false;
    while (m_server.hasPendingConnections() || m_server.waitForNewConnection(0, &timedOut)) {
        QTcpSocket *peer = m_server.nextPendingConnection();
        if (!peer)
            break;
        // One console at a time; a new connection starts a new stream.
        m_parser = demodwire::RequestParser();
        m_peers << peer;
        acted = true;
    }
    for (const QPointer<QTcpSocket> &peer : qAsConst(m_peers)) {
        if (!peer || peer->state() != QAbstractSocket::ConnectedState)
            continue;
        if (peer->bytesAvailable() == 0 && unreadInSystem(peer) > 0)
            peer->waitForReadyRead(0);
        if (peer->bytesAvailable() == 0)
            continue;
        m_parser.feed(peer->readAll());
        acted = true;
        demodwire::Request request;
        while (m_parser.next(&request)) {
            // Probes and connects need no answer.
            if (request.type == demodwire::Request::Power) {
                ++m_powerRequests;
                peer->write(demodwire::buildAnswer(m_powerTenths, m_snrTenths));
            }
        }
        peer->flush();
    }
    return acted;
}

bool DemodPeer::atRest() const
{
    if (m_client && (m_client->bytesToWrite() > 0 || unreadInSystem(m_client) > 0))
        return false;
    for (const QPointer<QTcpSocket> &peer : m_peers)
        if (peer && (peer->bytesToWrite() > 0 || peer->bytesAvailable() > 0 || unreadInSystem(peer) > 0))
            return false;
    return !m_server.hasPendingConnections();
}

bool DemodPeer::settle(int maxMs)
{
    const QDeadlineTimer deadline(maxMs);
    for (;;) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        const bool acted = serve();
        if (!acted && atRest())
            return true;
        if (deadline.hasExpired())
            return false;
    }
}
