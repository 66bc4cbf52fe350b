#pragma once
#include <QByteArray>
#include <QObject>
#include <QString>

class QTcpSocket;
class PassDataStore;
struct StationSettingsRecord;

// The link to the demodulator program: connection check, power requests and
// the answers turned into samples of the pass data store.
class DemodLink : public QObject
{
    Q_OBJECT

public:
    // What readTcpData did with the socket.
    enum ReadResult {
        NotRead = 0,       // recording conditions not met; the data stays queued
        SampleAdded = 1,   // one sample went to the store
        ShortBlock = 2,    // fewer bytes than an answer holds; dropped
        StoreRefused = 3,  // the store was unallocated or full; dropped
    };

    static constexpr quint16 DefaultPort = 6002;
    static constexpr int AnswerSize = 52;
    static constexpr int ConnectWaitMs = 100;
    // Status-word bits under which answers are recorded.
    static constexpr quint16 InStartPosition = 0x0040;
    static constexpr quint16 Tracking = 0x0800;

    // Creates and owns its socket.
    explicit DemodLink(QObject *parent = nullptr);
    // Works on a socket owned by someone else.
    explicit DemodLink(QTcpSocket *socket, QObject *parent = nullptr);

    QTcpSocket *socket() const { return m_socket; }
    void setEndpoint(const QString &host, quint16 port);
    QString host() const { return m_host; }
    quint16 port() const { return m_port; }

    static QByteArray statusProbeMessage();
    static QByteArray connectMessage();
    static QByteArray powerRequestMessage();
    // Power and SNR of an answer (dB); false when the block is too short.
    static bool decodeAnswer(const QByteArray &block, float *power, float *snr);

    // The idle check: probes a live connection, or (re)connects. *statusText gets
    // the status to show after the settings summary; *rewriteLabel is false when
    // the label keeps its previous text (probe written on a live connection).
    qint64 checkDemodulator(const StationSettingsRecord &settings, QString *statusText, bool *rewriteLabel);
    // Writes the power request; -1 when the socket is not connected.
    qint64 sendPowerRequest();
    // Reads everything available as one answer and adds one sample to the store,
    // provided the Demodulator setting is on and statusWord says start position
    // or tracking.
    ReadResult readTcpData(const StationSettingsRecord &settings, quint16 statusWord, PassDataStore &store);

    // The result of the last check or power request.
    qint64 lastDemodResult() const { return m_lastResult; }

signals:
    // Answer bytes arrived (the socket's readyRead).
    void dataReady();

private:
    void wireSocket();
    qint64 writeIfOpen(const QByteArray &message);

    QTcpSocket *m_socket = nullptr;
    QString m_host = QStringLiteral("127.0.0.1");
    quint16 m_port = DefaultPort;
    qint64 m_lastResult = 0;
};
