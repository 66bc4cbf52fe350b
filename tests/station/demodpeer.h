#pragma once
// The demodulator on 127.0.0.1:6002 in the test process, answering every power
// request with one fixed power and SNR. It is served only by settle(), which
// the test calls after every timer firing: it runs until everything sent on
// either side has been taken in, so the console gets each answer before the
// station clock moves on. Only real time here are these bounded socket waits;
// run it in a network namespace of its own.
#include "demodwire.h"

#include <QList>
#include <QPointer>
#include <QString>
#include <QTcpServer>

class QTcpSocket;

class DemodPeer
{
public:
    static constexpr quint16 Port = 6002;

    DemodPeer(qint32 powerTenths, qint32 snrTenths);
    ~DemodPeer();
    bool listen();
    QString errorString() const { return m_server.errorString(); }

    // The console's socket, to watch its side of the line (may be null).
    void setClientSocket(QTcpSocket *socket) { m_client = socket; }
    // False when the line did not come to rest within the bound.
    bool settle(int maxMs = 2000);

    int powerRequests() const { return m_powerRequests; }

private:
    bool serve();
    bool atRest() const;

    QTcpServer m_server;
    QList<QPointer<QTcpSocket>> m_peers;
    QPointer<QTcpSocket> m_client;
    demodwire::RequestParser m_parser;
    qint32 m_powerTenths;
    qint32 m_snrTenths;
    int m_powerRequests = 0;
};
