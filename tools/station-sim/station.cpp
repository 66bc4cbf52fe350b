#include "station.h"

#include "bootloader.h"
#include "controlcommand.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonObject>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <unistd.h>

Station::Station(const Options &options, QObject *parent) : QObject(parent), m_options(options)
{
}

Station::~Station()
{
    shutdown();
}

bool Station::start(QString *error)
{
    for (const QString &entry : m_options.faults) {
        const control::Scheduled s = control::parseScheduled(entry);
        if (!s.ok) {
            *error = s.error;
            return false;
        }
    }
    if (!m_transcript.open(m_options.transcriptPath)) {
        *error = QStringLiteral("cannot write the transcript %1: %2")
                     .arg(m_options.transcriptPath, m_transcript.errorString());
        return false;
    }
    m_transcript.write(QStringLiteral("sim"), QStringLiteral("start"),
                       {{QStringLiteral("pid"), int(::getpid())},
                        {QStringLiteral("firmware"), QStringLiteral("%1.%2")
                                                        .arg(m_options.core.versionMajor)
                                                        .arg(m_options.core.versionMinor)}});

    m_controller = new Controller(m_options.controller, m_options.core, &m_transcript, this);
    m_demod = new DemodServer(m_options.beam, m_options.controller.seed + 1, &m_transcript, this);
    m_demod->setPointingSource([this] {
        const Controller::Signal s = m_controller->signalNow(QDateTime::currentMSecsSinceEpoch());
        DemodServer::Pointing p;
        p.signal = s.present;
        p.errorMm = s.errorMm;
        p.pointIndex = s.pointIndex;
        return p;
    });
    if (m_options.passSourceOn) {
        m_passes = new PassSource(m_options.passes, &m_transcript, this);
        m_controller->setTruthLookup([this](qint64 ms, int *index) { return m_passes->pathAt(ms, index); });
    }
    connect(m_controller, &Controller::portChanged, this, [this](const QString &link, const QString &pty) {
        emit output(link.isEmpty() ? QStringLiteral("port dropped")
                                   : QStringLiteral("port %1 -> %2").arg(link, pty));
    });

    if (m_options.demodOn && !m_demod->start(m_options.demodPort, error)) {
        shutdown();
        return false;
    }
    if (!m_controller->start(error)) {
        shutdown();
        return false;
    }
    if (m_passes && !m_passes->start(error)) {
        shutdown();
        return false;
    }

    for (const QString &entry : m_options.faults) {
        const control::Scheduled s = control::parseScheduled(entry);
        QTimer::singleShot(1000 * s.delaySeconds, this, [this, s] {
            emit output(QStringLiteral("fault: ") + execute(s.command));
        });
    }
    if (m_options.controlChannel) {
        m_stdin = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
        connect(m_stdin, &QSocketNotifier::activated, this, &Station::readControl);
    }
    emit output(readyLine());
    return true;
}

QString Station::readyLine() const
{
    return QStringLiteral("ready port=%1 pty=%2 demod=%3")
        .arg(m_controller->linkPath(), m_controller->ptyPath(),
             m_demod->isListening() ? QString::number(m_demod->port()) : QStringLiteral("off"));
}

void Station::shutdown()
{
    if (m_down)
        return;
    m_down = true;
    if (m_stdin)
        m_stdin->setEnabled(false);
    if (m_passes)
        m_passes->stop();
    if (m_demod)
        m_demod->stop();
    if (m_controller)
        m_controller->stop();
    m_transcript.write(QStringLiteral("sim"), QStringLiteral("stop"));
    m_transcript.close();
}

void Station::readControl()
{
    char buf[1024];
    const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
    if (n <= 0) {
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            return;
        // stdin closed: the stand-in goes on without its control channel.
        m_stdin->setEnabled(false);
        return;
    }
    m_stdinBuffer.append(buf, int(n));
    int end;
    while ((end = m_stdinBuffer.indexOf('\n')) >= 0) {
        const QString line = QString::fromUtf8(m_stdinBuffer.left(end)).trimmed();
        m_stdinBuffer.remove(0, end + 1);
        const QString answer = execute(line);
        if (!answer.isEmpty())
            emit output(answer);
    }
    if (m_stdinBuffer.size() > 4096)
        m_stdinBuffer.clear();
}

QString Station::execute(const QString &line)
{
    const sim::FlashCommand flash = sim::parseFlashCommand(line);
    if (flash.verb == sim::FlashCommand::Invalid)
        return QStringLiteral("error: ") + flash.error;
    if (flash.verb != sim::FlashCommand::None) {
        m_transcript.write(QStringLiteral("sim"), QStringLiteral("control"),
                           {{QStringLiteral("command"), line.simplified()}});
        QString error;
        if (flash.verb == sim::FlashCommand::Switch)
            m_controller->setFlashSwitch(flash.on);
        else if (!m_controller->dumpFlash(flash.path, &error))
            return QStringLiteral("error: ") + error;
        return QStringLiteral("ok ") + line.simplified();
    }
    const control::Command c = control::parse(line);
    if (c.verb != control::Command::Empty && c.verb != control::Command::Invalid
        && c.verb != control::Command::Status && c.verb != control::Command::Help)
        m_transcript.write(QStringLiteral("sim"), QStringLiteral("control"),
                           {{QStringLiteral("command"), line.simplified()}});
    switch (c.verb) {
    case control::Command::Empty:
        return QString();
    case control::Command::Invalid:
        return QStringLiteral("error: ") + c.error;
    case control::Command::Silent:
        m_controller->fallSilent(c.number);
        break;
    case control::Command::DropPort:
        m_controller->dropPort(c.number);
        break;
    case control::Command::Garbage:
        m_controller->sendGarbage(c.number);
        break;
    case control::Command::RefuseUploads:
        m_controller->setRefuseUploads(c.on);
        break;
    case control::Command::DemodStop:
        m_demod->stop();
        break;
    case control::Command::DemodStart: {
        QString error;
        if (!m_demod->start(m_options.demodPort == 0 && m_demod->port() != 0 ? m_demod->port()
                                                                             : m_options.demodPort,
                            &error))
            return QStringLiteral("error: ") + error;
        return QStringLiteral("ok demod-start port=%1").arg(m_demod->port());
    }
    case control::Command::Gps:
        m_controller->setGpsBits(c.gpsBits);
        break;
    case control::Command::Reset:
        m_controller->resetBoard();
        break;
    case control::Command::Pass: {
        if (!m_passes)
            return QStringLiteral("error: no --track-path given");
        QString error;
        if (!m_passes->writePass(&error))
            return QStringLiteral("error: ") + error;
        break;
    }
    case control::Command::Status:
        return QStringLiteral("ok status ") + m_controller->describe()
               + QStringLiteral(" demod=%1").arg(m_demod->isListening() ? QString::number(m_demod->port())
                                                                        : QStringLiteral("off"));
    case control::Command::Help:
        return QStringLiteral("ok help\n") + (control::helpText() + sim::flashHelpText()).trimmed();
    case control::Command::Quit:
        QTimer::singleShot(0, this, &Station::quitRequested);
        break;
    }
    return QStringLiteral("ok ") + line.simplified();
}
