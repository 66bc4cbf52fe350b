#pragma once
#include "reception.h"
#include "statusreply.h"

#include <QByteArray>
#include <QMetaObject>
#include <QObject>
#include <QString>

class ControllerTransport;
struct LinkState;
namespace platform { class Timer; }

// The controller link: the transport it talks through, the framing of
// receptions by silence with the 10 ms reply timer, and the sending of frames
// through the one transmit buffer. The window owns it and the state it works
// on; it reports each reception.
class ControllerLink : public QObject
{
    Q_OBJECT
public:
    // The buffers are the window's txFrame, txBytes and lastUploadBytes.
    ControllerLink(LinkState &linkState, QByteArray &txFrame, QByteArray &txBytes,
                   QByteArray &lastUploadBytes, QObject *parent = nullptr);
    ~ControllerLink() override;

    // Not owned, unless made the link's child (the serial port the window opens).
    // nullptr: nothing is sent or read.
    void setTransport(ControllerTransport *transport);
    ControllerTransport *transport() const { return m_transport; }
    // What a reply's handling reads of the station (the last upload's mode is
    // the link's own).
    void setReplyContext(bool serviceMode, bool timeCorr, qint16 utcOffsetHours);

    LinkState &state() { return m_s; }

    // Sending: fill txFrame, copy into txBytes, write through the transport.
    // The result is the transport's write result (-1 when not open or none).
    qint64 sendCommand(qint32 code);
    qint64 sendCommand(qint32 code, qint16 arg);
    qint64 sendUploadFrame(const QByteArray &frame); // also kept in lastUploadBytes
    qint64 resendLastUpload();                        // the automatic repeat
    // False when the last upload frame could not be written (no open port).
    bool lastUploadWritten() const { return m_lastUploadWrite >= 0; }
    qint64 sendCorrectionByte(qint8 offset);
    qint64 resendTxBytes(); // SenDat
    // Status request (code 11); forgets the status word so that the reply is
    // reported in full.
    qint64 requestStatus();
    // Marks the command word of txFrame for the manual forward/back moves.
    void markCommandWord(quint32 word);

    // Reception is suspended while another user (the programmer) has the line;
    // resuming drops a reception cut short and takes what is already waiting.
    void suspendReading();
    void resumeReading();
    // Stops the reply timer (the programmer takes over).
    void stopReplyTimer();

    // The framing steps, public for the window's slots of the same names.
    void readdata();
    void TimerOk();

signals:
    // A reception began: the once-per-second step is to follow 100 ms after it.
    void receptionBegan();
    // A reception was parsed; the window acts on it before the link decides on
    // a status request.
    void received(const ParsedReception &reception);

private:
    qint64 writeTxBytes();
    // Puts a command frame at the start of txFrame and sends it.
    qint64 sendFrameStart(const QByteArray &bytes);
    ReplyContext replyContext() const;

    LinkState &m_s;
    QByteArray &m_txFrame;
    QByteArray &m_txBytes;
    QByteArray &m_lastUpload;
    ControllerTransport *m_transport = nullptr;
    QMetaObject::Connection m_readConnection;
    platform::Timer *m_replyTimer = nullptr;
    ReplyReceiver m_rx;
    ReplyContext m_context;
    qint64 m_lastUploadWrite = -1;
};
