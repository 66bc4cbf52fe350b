#pragma once
#include "beammodel.h"
#include "bootloader.h"
#include "controllercore.h"
#include "txscheduler.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <functional>
#include <random>

class PtyLink;
namespace sim { class BootLine; }
class QTimer;
class Transcript;

// The antenna controller board on the pseudo-terminal: frames the console's
// bytes by silence, acts on them through ControllerCore, sends a status reply on
// every whole UTC second (and after every frame that changes something), asks
// for one correction in the middle of every tracked point, and keeps the
// transmissions apart by a silence the console can frame by.
class Controller : public QObject
{
    Q_OBJECT
public:
    struct Options
    {
        QString portFolder;
        int portNumber = 3;
        bool baudPace = false;
        int gapMs = 50;          // silence between two transmissions
        int rxSilenceMs = 15;    // silence that ends a reception
        double trueAcrossMm = 4.0;  // the real pass lies this far across the table
        double trueAlongMm = 0.0;
        // When set, the image lies where the pointing error puts the commanded
        // point, instead of the offsets above.
        bool usePointingError = false;
        beam::PointingError pointingError;
        double fbStepMm = 4.0;   // feed move for the forward/back flags
        quint32 seed = 1;
        bool flashSwitch = false; // start in the boot loader
    };
    enum class Mode { Normal, Ublox, Programming };

    // Where the satellite's image really is, when the stand-in made the pass
    // itself: the generated path and the point of it at a moment.
    using TruthLookup = std::function<const beam::TablePath *(qint64 ms, int *index)>;

    struct Signal
    {
        bool present = false;   // tracking a pass
        double errorMm = -1.0;  // feed to image
        int pointIndex = -1;
    };

    Controller(const Options &options, const sim::CoreConfig &core, Transcript *transcript,
               QObject *parent = nullptr);
    ~Controller() override;

    bool start(QString *error);
    void stop();

    sim::ControllerCore &core() { return m_core; }
    Mode mode() const { return m_mode; }
    QString linkPath() const;
    QString ptyPath() const;
    void setTruthLookup(TruthLookup lookup) { m_truth = std::move(lookup); }
    Signal signalNow(qint64 nowMs) const;
    QString describe() const;

    // Fault switches and board actions from the control channel.
    void fallSilent(int seconds);
    void dropPort(int seconds);
    void sendGarbage(int count);
    void setRefuseUploads(bool on);
    bool refusesUploads() const { return m_refuseUploads; }
    void setGpsBits(quint16 bits);
    void resetBoard();
    // The flash switch is read at every restart; changing it restarts the
    // board when that changes where it runs.
    void setFlashSwitch(bool on);
    bool dumpFlash(const QString &path, QString *error) const { return m_boot.dump(path, error); }
    const sim::BootLoader &bootLoader() const { return m_boot; }

signals:
    void portChanged(const QString &link, const QString &pty); // empty when dropped

private:
    using Tx = TxScheduler::Tx;

    static qint64 nowMs();
    void onReceived(const QByteArray &bytes);
    void onReceptionEnd();
    void handleNormal(const QByteArray &reception);
    void handleUpload(const QByteArray &frame);
    void handleCommand(qint32 code, qint16 arg, const QByteArray &bytes);
    void handleAnswer(quint8 byte);
    void scheduleTick();
    void onTick();
    void onRequestDue();
    void closeRequest(const QString &why);
    void enqueue(const Tx &tx) { m_tx->enqueue(tx); }
    // What a due entry of the transmit queue becomes (empty: suppressed).
    QByteArray render(const Tx &tx);
    void resetPointing();
    void reopenPort();
    void restart(Mode mode, const QString &note);
    void onBootBytes(const QByteArray &bytes);
    void log(const QString &dir, const QString &kind, const QJsonObject &fields = QJsonObject());

    Options m_options;
    sim::ControllerCore m_core;
    Transcript *m_transcript = nullptr;
    PtyLink *m_link = nullptr;
    Mode m_mode = Mode::Normal;
    TruthLookup m_truth;
    beam::TablePath m_path;

    QByteArray m_rxBuffer;
    qint64 m_rxFirstMs = 0;     // first byte of the reception being collected
    qint64 m_requestSentMs = 0; // last correction request sent
    QTimer *m_rxTimer = nullptr;
    QTimer *m_tickTimer = nullptr;
    QTimer *m_requestTimer = nullptr;
    sim::BootLine *m_bootLine = nullptr; // the line in programming mode
    QTimer *m_reopenTimer = nullptr;
    qint64 m_nextTickMs = 0;
    int m_requestPoint = -1;
    qint64 m_requestDueMs = 0; // when the point's request is due

    // The request waiting for its answer, and what the console saw with it.
    bool m_answerPending = false;
    int m_pendingPoint = -1;
    qint8 m_pendingByte10 = 0;
    int m_lastReplyPoint = -1;
    qint8 m_lastReplyByte10 = 0;
    double m_answerAcross = 0.0;
    double m_answerAlong = 0.0;

    TxScheduler *m_tx = nullptr;
    QElapsedTimer m_clock;
    qint64 m_silentUntilMono = -1;
    bool m_refuseUploads = false;
    sim::BootLoader m_boot;
    bool m_flashSwitch = false;
    QTimer *m_firmwareStartTimer = nullptr;
    std::mt19937 m_rng;
};
