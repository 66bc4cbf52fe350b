#include "demodserver.h"

#include "simframes.h"
#include "transcript.h"

#include <QHostAddress>
#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>

DemodServer::DemodServer(const beam::Params &params, quint32 seed, Transcript *transcript,
                         QObject *parent)
    : QObject(parent), m_model(params), m_rng(seed), m_transcript(transcript)
{
}

DemodServer::~DemodServer()
{
    stop();
}

bool DemodServer::start(quint16 port, QString *error)
{
    if (isListening())
        return true;
    if (!m_server) {
        m_server = new QTcpServer(this);
        connect(m_server, &QTcpServer::newConnection, this, &DemodServer::onNewConnection);
    }
    // Loopback only: the console reaches it at 127.0.0.1.
    if (!m_server->listen(QHostAddress::LocalHost, port)) {
        if (error)
            *error = QStringLiteral("demodulator port %1: %2").arg(port).arg(m_server->errorString());
        return false;
    }
    m_port = m_server->serverPort();
    if (m_transcript)
        m_transcript->write(QStringLiteral("sim"), QStringLiteral("demod-state"),
                            {{QStringLiteral("listening"), true}, {QStringLiteral("port"), int(m_port)}});
    return true;
}

void DemodServer::stop()
{
    const bool was = isListening() || !m_clients.isEmpty();
    if (m_server)
        m_server->close();
    const auto sockets = m_clients.keys();
    m_clients.clear();
    for (QTcpSocket *s : sockets) {
        s->disconnect(this);
        s->abort();
        s->deleteLater();
    }
    if (was && m_transcript)
        m_transcript->write(QStringLiteral("sim"), QStringLiteral("demod-state"),
                            {{QStringLiteral("listening"), false}});
}

bool DemodServer::isListening() const
{
    return m_server && m_server->isListening();
}

quint16 DemodServer::port() const
{
    return m_port;
}

void DemodServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        m_clients.insert(socket, demodwire::RequestParser());
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            if (m_clients.remove(socket) && m_transcript)
                m_transcript->write(QStringLiteral("sim"), QStringLiteral("demod-client"),
                                    {{QStringLiteral("connected"), false}});
            socket->deleteLater();
        });
        if (m_transcript)
            m_transcript->write(QStringLiteral("sim"), QStringLiteral("demod-client"),
                                {{QStringLiteral("connected"), true}});
    }
}

void DemodServer::onReadyRead(QTcpSocket *socket)
{
    auto it = m_clients.find(socket);
    if (it == m_clients.end())
        return;
    it->feed(socket->readAll());
    demodwire::Request request;
    while (it->next(&request)) {
        if (m_transcript) {
            QJsonObject fields {{QStringLiteral("hex"), simframes::toHex(request.bytes)},
                                {QStringLiteral("request"), demodwire::typeName(request.type)}};
            if (request.type == demodwire::Request::Unknown)
                fields.insert(QStringLiteral("code"), double(request.code));
            // Power requests come ten times a second; their answers say enough.
            if (request.type != demodwire::Request::Power)
                m_transcript->write(QStringLiteral("rx"), QStringLiteral("demod-request"), fields);
        }
        // The probe and the connect message need no answer: the console only
        // looks at whether its write went through, and an unread answer would
        // later be taken for a measurement.
        if (request.type == demodwire::Request::Power)
            answerPower(socket);
        it = m_clients.find(socket);
        if (it == m_clients.end())
            return;
    }
}

void DemodServer::answerPower(QTcpSocket *socket)
{
    const Pointing p = m_pointing ? m_pointing() : Pointing();
    const beam::Sample s = m_model.sample(p.signal ? p.errorMm : -1.0, m_rng);
    const QByteArray answer = demodwire::buildAnswer(s.powerTenths, s.snrTenths);
    socket->write(answer);
    if (m_transcript) {
        QJsonObject fields {{QStringLiteral("hex"), simframes::toHex(answer)},
                            {QStringLiteral("powerTenths"), s.powerTenths},
                            {QStringLiteral("snrTenths"), s.snrTenths},
                            {QStringLiteral("power"), s.powerTenths / 10.0},
                            {QStringLiteral("snr"), s.snrTenths / 10.0},
                            {QStringLiteral("signal"), p.signal}};
        if (p.signal) {
            fields.insert(QStringLiteral("pointIndex"), p.pointIndex);
            fields.insert(QStringLiteral("errorMm"), qRound(p.errorMm * 100.0) / 100.0);
        }
        m_transcript->write(QStringLiteral("tx"), QStringLiteral("demod"), fields);
    }
}
