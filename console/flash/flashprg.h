#pragma once
#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QSerialPort>
#include <QString>

class QTimer;
class rs;

// Frames of the STM32 USART boot loader, as the programmer sends them.
namespace bootframes {
inline constexpr quint8 Ack = 0x79;
inline constexpr quint32 FlashBase = 0x08000000;
inline constexpr int BlockSize = 256;
inline constexpr int PageSize = 1024;

// Exclusive or of all bytes.
quint8 xorOf(const QByteArray &bytes);
// Erase list: N-1, the page numbers 0..N-1, XOR (N from 1 to 255).
QByteArray eraseList(quint32 pageCount);
// Four address bytes, most significant first, and their XOR.
QByteArray address(quint32 address);
// Data for Write Memory: length-1, the 1..256 bytes, XOR of all that.
QByteArray dataBlock(const QByteArray &data);
}

// One programming run over the controller's serial port: the boot loader
// handshake, erase, block writes and the jump to the new firmware. Driven by
// its own 10 ms timer; every reply is taken after 100 ms of line silence, and
// two seconds without a usable reply end the run with finish(1).
class flashprg : public QObject
{
    Q_OBJECT
public:
    // Largest image whose page count (size / 1024 + 1) still fits the erase
    // list below 0xFF, the code for a mass erase.
    static constexpr qint64 MaxImageSize = 255 * 1024 - 1;
    // Why an image cannot be programmed; empty when it can.
    static QString imageProblem(qint64 size);

    // The port is borrowed for the run; the image is kept (shared, not copied).
    // An image that imageProblem refuses leaves the port alone and ends the run
    // with finish(1) on the first tick.
    flashprg(QObject *parent, rs *port, const QByteArray &image, qint8 maxReply);
    ~flashprg() override;

    quint8 currentPhase() const { return phase; }

signals:
    void finish(char err);
    void progresS(QString m);

public slots:
    void readdata();
    void TimOk();

private:
    void processReception();
    void sendFrame();

    QTimer *timer = nullptr;
    QPointer<rs> port;
    QByteArray image;
    quint8 quiet = 0;
    quint8 phase = 2;
    quint16 timeout = 200;
    QSerialPort::Parity savedParity = QSerialPort::NoParity;
    QByteArray tx;
    QByteArray rx;
    qint8 maxReply = 16;
    qint32 size = 0;
    qint32 pageCount = 0;
    qint32 blockCount = 0;
    qint32 blockIndex = 0;
    qint32 tailLength = 0;
    bool portTaken = false;
};
