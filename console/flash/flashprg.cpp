#include "flashprg.h"

#include "rs.h"

#include <QTimer>

namespace {
constexpr quint8 Nothing = 0;     // phase: done
constexpr quint8 Failed = 255;    // phase: nothing more is sent
constexpr quint16 ReplyTicks = 200;
constexpr quint8 QuietTicks = 10;
constexpr int GetReplyLength = 15;

QByteArray bytes2(quint8 a, quint8 b)
{
    QByteArray out(2, '\0');
    out[0] = char(a);
    out[1] = char(b);
    return out;
}
}

namespace bootframes {

quint8 xorOf(const QByteArray &bytes)
{
    quint8 x = 0;
    for (char c : bytes)
        x ^= quint8(c);
    return x;
}

QByteArray eraseList(quint32 pageCount)
{
    QByteArray out;
    out.append(char(quint8(pageCount - 1)));
    for (quint32 page = 0; page < pageCount; ++page)
        out.append(char(quint8(page)));
    out.append(char(xorOf(out)));
    return out;
}

QByteArray address(quint32 address)
{
    QByteArray out;
    out.append(char(quint8(address >> 24)));
    out.append(char(quint8(address >> 16)));
    out.append(char(quint8(address >> 8)));
    out.append(char(quint8(address)));
    out.append(char(xorOf(out)));
    return out;
}

QByteArray dataBlock(const QByteArray &data)
{
    QByteArray out;
    out.append(char(quint8(data.size() - 1)));
    out.append(data);
    out.append(char(xorOf(out)));
    return out;
}

} // namespace bootframes

QString flashprg::imageProblem(qint64 size)
{
    if (size <= 0)
        return QStringLiteral("Firmware image is empty");
    if (size > MaxImageSize)
        return QStringLiteral("Firmware image too big (%1 bytes, at most %2)").arg(size).arg(MaxImageSize);
    return QString();
}

flashprg::flashprg(QObject *parent, rs *port_, const QByteArray &image_, qint8 maxReply_)
    : QObject(parent), port(port_), image(image_), maxReply(maxReply_)
{
    timer = new QTimer(this);
    timer->setInterval(10);
    timer->setTimerType(Qt::PreciseTimer);
    connect(timer, &QTimer::timeout, this, &flashprg::TimOk);
    timer->start();

    if (!port || !imageProblem(image.size()).isEmpty()) {
        // Nothing goes on the line; the run ends at the first tick.
        phase = Failed;
        timeout = 1;
        return;
    }
    size = qint32(image.size());
    pageCount = size / bootframes::PageSize + 1;
    blockCount = size / bootframes::BlockSize;
    tailLength = size % bootframes::BlockSize;

    portTaken = true;
    savedParity = port->parity();
    port->setParity(QSerialPort::EvenParity);
    port->clearInput();
    port->flushOutput();
    connect(port->port(), &QSerialPort::readyRead, this, &flashprg::readdata);
    tx = QByteArray(1, char(0x7F));
    sendFrame();
}

flashprg::~flashprg()
{
    delete timer;
    timer = nullptr;
    if (portTaken && port) {
        port->clearInput();
        port->flushOutput();
        port->setParity(savedParity);
    }
}

void flashprg::readdata()
{
    quiet = QuietTicks;
}

void flashprg::TimOk()
{
    if (quiet != 0) {
        if (--quiet == 0) {
            processReception();
            if (phase == Nothing) {
                timer->stop();
                emit finish(0);
            }
        }
    } else if (timeout != 0) {
        if (--timeout == 0) {
            timer->stop();
            emit finish(1);
        }
    }
}

void flashprg::sendFrame()
{
    timeout = ReplyTicks;
    if (!port)
        return;
    port->clearInput();
    port->flushOutput();
    if (!tx.isEmpty())
        port->write(tx);
}

void flashprg::processReception()
{
    if (!port)
        return;
    const qint64 n = port->bytesAvailable();
    if (phase == 3) {
        // The Get reply may still be on its way: wait for all of it.
        if (n != GetReplyLength)
            return;
    } else if (n != 1) {
        port->clearInput();
        port->flushOutput();
        return;
    }
    rx.resize(int(qMax<qint64>(0, qMin<qint64>(n, maxReply))));
    const qint64 got = rx.isEmpty() ? 0 : port->read(rx.data(), rx.size());
    rx.resize(int(qMax<qint64>(0, got)));
    port->clearInput();
    tx.clear();

    if (rx.isEmpty() || quint8(rx.at(0)) != bootframes::Ack) {
        phase = Failed;
        return;
    }

    switch (phase) {
    case 11:
        phase = Nothing;
        break;
    case 8:
    case 5:
        if (blockIndex == 0)
            emit progresS(QStringLiteral("\nmemory erased ok"));
        if (blockIndex != blockCount || tailLength != 0) {
            tx = bytes2(0x31, 0xCE);
            phase = 6;
        } else {
            tx = bytes2(0x21, 0xDE);
            phase = 10;
        }
        break;
    case 10:
        tx = bootframes::address(bootframes::FlashBase);
        phase = 11;
        break;
    case 9:
        tx = bytes2(0x21, 0xDE);
        phase = 10;
        break;
    case 7:
        if (blockIndex < blockCount) {
            tx = bootframes::dataBlock(image.mid(blockIndex * bootframes::BlockSize, bootframes::BlockSize));
            phase = 8;
        } else if (tailLength >= 1) {
            tx = bootframes::dataBlock(image.mid(blockCount * bootframes::BlockSize, tailLength));
            phase = 9;
        } else {
            phase = Failed;
            return;
        }
        ++blockIndex;
        emit progresS(QStringLiteral("."));
        break;
    case 6:
        tx = bootframes::address(bootframes::FlashBase + quint32(bootframes::BlockSize) * quint32(blockIndex));
        phase = 7;
        break;
    case 4:
        tx = bootframes::eraseList(quint32(pageCount));
        phase = 5;
        break;
    case 3:
        if (rx.size() != GetReplyLength || quint8(rx.at(14)) != bootframes::Ack) {
            phase = Failed;
            return;
        }
        emit progresS(QStringLiteral("\nbootloader ok"));
        tx = bytes2(0x43, 0xBC);
        phase = 4;
        break;
    case 2:
        emit progresS(QStringLiteral("Loaded ") + QString::number(size) + QStringLiteral(" bytes"));
        emit progresS(QStringLiteral("\nprogramming mode ok"));
        tx = bytes2(0x00, 0xFF);
        phase = 3;
        break;
    default:
        // A late ACK after a failure: nothing goes out, the timeout starts over.
        break;
    }
    if (phase != Nothing)
        sendFrame();
}
