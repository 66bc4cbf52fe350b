#pragma once
#include "beammodel.h"
#include "demodwire.h"

#include <QHash>
#include <QObject>
#include <functional>
#include <random>

class QTcpServer;
class QTcpSocket;
class Transcript;

// The demodulator program on 127.0.0.1: answers every power request with the
// power and SNR that the beam model gives for the feed's present pointing error.
class DemodServer : public QObject
{
    Q_OBJECT
public:
    struct Pointing
    {
        bool signal = false;
        double errorMm = -1.0;
        int pointIndex = -1;
    };
    using PointingSource = std::function<Pointing()>;

    DemodServer(const beam::Params &params, quint32 seed, Transcript *transcript,
                QObject *parent = nullptr);
    ~DemodServer() override;

    void setPointingSource(PointingSource source) { m_pointing = std::move(source); }
    // Port 0 takes any free port; port() tells which.
    bool start(quint16 port, QString *error);
    void stop();
    bool isListening() const;
    quint16 port() const;
    int clientCount() const { return int(m_clients.size()); }

private:
    void onNewConnection();
    void onReadyRead(QTcpSocket *socket);
    void answerPower(QTcpSocket *socket);

    beam::Model m_model;
    std::mt19937 m_rng;
    Transcript *m_transcript = nullptr;
    QTcpServer *m_server = nullptr;
    QHash<QTcpSocket *, demodwire::RequestParser> m_clients;
    PointingSource m_pointing;
    quint16 m_port = 0;
};
