#pragma once
#include "bootstep.h"
#include "firmwarefile.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QSerialPort>
#include <QString>

class QTimer;
class rs;

// One programming run over the controller's serial port: the boot loader
// handshake, erase, block writes and the jump to the new firmware. Driven by
// its own 10 ms timer and the port's readyRead; the phases and frames are
// bootTransition's. An answer is taken as soon as as many bytes as it must
// have are in; any other reception is judged after 100 ms of line silence.
// Two seconds without a usable answer end the run with finish(1).
class flashprg : public QObject
{
    Q_OBJECT
public:
    static constexpr qint64 MaxImageSize = MaxFirmwareImageSize;
    static QString imageProblem(qint64 size) { return firmwareImageProblem(size); }

    // The port is borrowed for the run; the image is kept (shared, not copied).
    // An image that imageProblem refuses leaves the port alone and ends the run
    // with finish(1) on the first tick.
    flashprg(QObject *parent, rs *port, const QByteArray &image, qint8 maxReply);
    ~flashprg() override;

    quint8 currentPhase() const { return quint8(state.phase); }
    // Why the run ended with finish(1); empty before that.
    QString failureReason() const { return why; }
    // Gives the port back at once (its parity, its readyRead), so that the
    // object itself can be deleted later. The destructor does it too.
    void handBack();
    // Off: every answer waits for the 100 ms of silence, as the first
    // programmer did (kept for measuring the difference).
    void setTakeAtOnce(bool on) { takeAtOnce = on; }

signals:
    // May come from inside the port's readyRead (an answer taken at once):
    // a receiver that opens a box or reads the port itself connects it queued.
    void finish(char err);
    void progresS(QString m);

public slots:
    void readdata();
    void TimOk();

private:
    void processReception();
    void sendFrame();
    void finishIfDone();

    QTimer *timer = nullptr;
    QPointer<rs> port;
    BootImage image;
    quint8 quiet = 0;
    BootState state;
    quint16 timeout = 200;
    QSerialPort::Parity savedParity = QSerialPort::NoParity;
    QByteArray tx;
    QByteArray rx;
    qint8 maxReply = 16;
    bool portTaken = false;
    bool takeAtOnce = true;
    QMetaObject::Connection portConnection;
    qint64 unusedBytes = 0; // last reception that did not fit, for the reason
    QString why;
};
