// The controller's fault switches and board actions, as the control channel
// drives them: silence, a dropped port, garbage, refused uploads, GPS state,
// resets and the boot loader.
#include "controller.h"

#include "bootline.h"
#include "ptylink.h"
#include "simframes.h"

#include <QTimer>
#include <random>

using namespace sim;

namespace {

// After Go the firmware takes this long before its first reply, so the
// programmer sees the Go acknowledged alone.
constexpr int FirmwareStartMs = 1000;

QString hex16(quint16 v)
{
    return QStringLiteral("0x%1").arg(v, 4, 16, QLatin1Char('0'));
}

} // namespace

void Controller::fallSilent(int seconds)
{
    m_silentUntilMono = m_clock.elapsed() + 1000LL * qMax(0, seconds);
    log(QStringLiteral("sim"), QStringLiteral("fault"),
        {{QStringLiteral("fault"), QStringLiteral("silent")}, {QStringLiteral("seconds"), seconds}});
}

void Controller::dropPort(int seconds)
{
    closeRequest(QStringLiteral("port dropped"));
    m_link->close();
    m_rxBuffer.clear();
    log(QStringLiteral("sim"), QStringLiteral("fault"),
        {{QStringLiteral("fault"), QStringLiteral("drop-port")}, {QStringLiteral("seconds"), seconds}});
    emit portChanged(QString(), QString());
    m_reopenTimer->start(1000 * qBound(0, seconds, 3600));
}

void Controller::reopenPort()
{
    if (!m_link->open(m_options.portFolder, m_options.portNumber)) {
        log(QStringLiteral("sim"), QStringLiteral("port"), {{QStringLiteral("error"), m_link->errorString()}});
        m_reopenTimer->start(1000);
        return;
    }
    log(QStringLiteral("sim"), QStringLiteral("port"),
        {{QStringLiteral("link"), m_link->linkPath()}, {QStringLiteral("pty"), m_link->slavePath()}});
    emit portChanged(m_link->linkPath(), m_link->slavePath());
}

void Controller::sendGarbage(int count)
{
    count = qBound(1, count, 4000);
    QByteArray bytes(count, '\0');
    std::uniform_int_distribution<int> byte(0, 255);
    for (int i = 0; i < count; ++i)
        bytes[i] = char(byte(m_rng));
    // A lone zero would read as a correction request.
    if (count == 1 && bytes[0] == '\0')
        bytes[0] = char(0xA5);
    enqueue({Tx::Garbage, -1, -1, bytes, QStringLiteral("fault")});
}

void Controller::setRefuseUploads(bool on)
{
    m_refuseUploads = on;
    log(QStringLiteral("sim"), QStringLiteral("fault"),
        {{QStringLiteral("fault"), QStringLiteral("refuse-uploads")}, {QStringLiteral("on"), on}});
}

void Controller::setGpsBits(quint16 bits)
{
    m_core.config().gpsBits = bits & GpsBits;
    log(QStringLiteral("sim"), QStringLiteral("gps"), {{QStringLiteral("bits"), hex16(bits & GpsBits)}});
}

void Controller::resetBoard()
{
    restart(m_flashSwitch ? Mode::Programming : Mode::Normal, QStringLiteral("board reset"));
}

void Controller::setFlashSwitch(bool on)
{
    m_flashSwitch = on;
    log(QStringLiteral("sim"), QStringLiteral("flash-switch"), {{QStringLiteral("on"), on}});
    if (on)
        restart(Mode::Programming, QStringLiteral("flash switch on: restarted into the boot loader"));
    else if (m_mode == Mode::Programming)
        restart(Mode::Normal, QStringLiteral("flash switch off: restarted"));
}

void Controller::restart(Mode mode, const QString &note)
{
    closeRequest(QStringLiteral("reset"));
    m_firmwareStartTimer->stop();
    m_tx->clear();
    m_rxBuffer.clear();
    m_core.reset();
    m_path = beam::TablePath();
    resetPointing();
    m_mode = mode;
    m_bootLine->clear();
    if (mode == Mode::Programming)
        m_boot.enter();
    log(QStringLiteral("sim"), QStringLiteral("mode"),
        {{QStringLiteral("mode"), mode == Mode::Programming ? QStringLiteral("programming") : QStringLiteral("normal")},
         {QStringLiteral("note"), note}});
}

void Controller::onBootBytes(const QByteArray &bytes)
{
    // Between an acknowledged Go and the firmware's start nothing listens.
    if (m_firmwareStartTimer->isActive())
        return;
    const auto exchanges = m_boot.feed(bytes, m_clock.elapsed());
    for (const sim::BootLoader::Exchange &e : exchanges) {
        QJsonObject fields {{QStringLiteral("hex"), simframes::toHex(e.in)},
                            {QStringLiteral("length"), int(e.in.size())},
                            {QStringLiteral("command"), e.command}};
        if (!e.stage.isEmpty())
            fields.insert(QStringLiteral("stage"), e.stage);
        if (e.address >= 0)
            fields.insert(QStringLiteral("address"), QStringLiteral("0x%1").arg(e.address, 8, 16, QLatin1Char('0')));
        if (e.count >= 0)
            fields.insert(QStringLiteral("count"), e.count);
        if (!e.note.isEmpty())
            fields.insert(QStringLiteral("note"), e.note);
        log(QStringLiteral("rx"), QStringLiteral("bootloader"), fields);
        if (e.out.isEmpty())
            continue;
        if (m_silentUntilMono > m_clock.elapsed()) {
            log(QStringLiteral("sim"), QStringLiteral("suppressed"),
                {{QStringLiteral("what"), QStringLiteral("bootloader")},
                 {QStringLiteral("why"), QStringLiteral("silent (fault switch)")}});
            continue;
        }
        log(QStringLiteral("tx"), QStringLiteral("bootloader"),
            {{QStringLiteral("hex"), simframes::toHex(e.out)},
             {QStringLiteral("ack"), quint8(e.out.at(0)) == sim::BootLoader::Ack}});
        m_bootLine->transmit(e.out);
        m_tx->noteWritten();
    }
    if (m_boot.takeGo(nullptr))
        m_firmwareStartTimer->start(FirmwareStartMs);
}
