#include "flashprg.h"

#include "rs.h"

#include <QTimer>

namespace {
constexpr quint16 ReplyTicks = 200;
constexpr quint8 QuietTicks = 10;
}

flashprg::flashprg(QObject *parent, rs *port_, const QByteArray &image_, qint8 maxReply_)
    : QObject(parent), port(port_), maxReply(maxReply_)
{
    timer = new QTimer(this);
    timer->setInterval(10);
    timer->setTimerType(Qt::PreciseTimer);
    connect(timer, &QTimer::timeout, this, &flashprg::TimOk);
    timer->start();

    if (!port || !imageProblem(image_.size()).isEmpty()) {
        // Nothing goes on the line; the run ends at the first tick.
        why = port ? imageProblem(image_.size()) : QStringLiteral("no port");
        state.phase = BootPhase::Failed;
        timeout = 1;
        return;
    }
    image = BootImage::of(image_);

    portTaken = true;
    savedParity = port->parity();
    port->setParity(QSerialPort::EvenParity);
    port->clearInput();
    port->flushOutput();
    portConnection = connect(port->port(), &QSerialPort::readyRead, this, &flashprg::readdata);
    tx = bootStartFrame();
    sendFrame();
}

flashprg::~flashprg()
{
    handBack();
    delete timer;
    timer = nullptr;
}

void flashprg::handBack()
{
    timer->stop();
    disconnect(portConnection);
    if (portTaken && port) {
        port->clearInput();
        port->flushOutput();
        port->setParity(savedParity);
    }
    portTaken = false;
}

void flashprg::readdata()
{
    quiet = QuietTicks;
    // Once the run has ended (timer stopped) nothing more is answered.
    if (!takeAtOnce || !port || !timer->isActive())
        return;
    // An answer of the length it must have is complete: no need to wait for
    // silence. Anything longer is judged after the silence, as before.
    const int known = knownAnswerLength(state.phase, port->port()->peek(2));
    if (known < 1 || port->bytesAvailable() != known)
        return;
    quiet = 0;
    processReception();
    finishIfDone();
}

void flashprg::TimOk()
{
    if (quiet != 0) {
        if (--quiet == 0) {
            processReception();
            finishIfDone();
        }
    } else if (timeout != 0) {
        if (--timeout == 0) {
            timer->stop();
            if (why.isEmpty())
                why = bootTimeoutText(state, unusedBytes);
            emit finish(1);
        }
    }
}

void flashprg::finishIfDone()
{
    if (state.phase == BootPhase::Done) {
        timer->stop();
        emit finish(0);
    }
}

void flashprg::sendFrame()
{
    timeout = ReplyTicks;
    unusedBytes = 0;
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
    unusedBytes = n;
    switch (answerFit(state.phase, n)) {
    case AnswerFit::Wait:
        return;
    case AnswerFit::Discard:
        port->clearInput();
        port->flushOutput();
        return;
    case AnswerFit::Take:
        break;
    }
    rx.resize(int(qMax<qint64>(0, qMin<qint64>(n, maxReply))));
    const qint64 got = rx.isEmpty() ? 0 : port->read(rx.data(), rx.size());
    rx.resize(int(qMax<qint64>(0, got)));
    port->clearInput();
    unusedBytes = 0;

    const BootStep step = bootTransition(image, state, rx);
    if (step.next.phase == BootPhase::Failed && state.phase != BootPhase::Failed)
        why = bootRefusalText(state, rx);
    state = step.next;
    tx = step.send;
    for (const QString &text : step.progress)
        emit progresS(text);
    if (step.sendFrame)
        sendFrame();
}
