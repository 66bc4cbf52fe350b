#include "passhook.h"

#include <QProcess>

namespace {
QString seconds(qint64 ms)
{
    return QString::number(double(ms) / 1000.0, 'f', 1) + QStringLiteral(" s");
}
}

PassHook::PassHook(const QString &commandLine, int timeoutSeconds, Log log, QObject *parent)
    : QObject(parent), m_timeoutMs(qMax(1, timeoutSeconds) * 1000), m_log(std::move(log))
{
    QStringList words = QProcess::splitCommand(commandLine);
    if (!words.isEmpty())
        m_program = words.takeFirst();
    m_arguments = words;
    m_limit.setSingleShot(true);
    m_limit.setTimerType(Qt::PreciseTimer);
    m_kill.setSingleShot(true);
    connect(&m_limit, &QTimer::timeout, this, [this] {
        if (!m_process)
            return;
        m_timedOut = true;
        m_process->terminate();
        m_kill.start(2000);
    });
    connect(&m_kill, &QTimer::timeout, this, [this] {
        if (m_process)
            m_process->kill();
    });
}

PassHook::~PassHook()
{
    if (m_process) {
        // The console is ending: do not leave the command behind.
        m_process->disconnect(this);
        m_process->kill();
        m_process->waitForFinished(1000);
        delete m_process;
    }
}

void PassHook::run(const QString &dataFilePath)
{
    if (m_queue.size() >= MaxWaiting) {
        m_log(QStringLiteral("hook skipped for %1: %2 files waiting").arg(m_queue.takeFirst()).arg(MaxWaiting));
    }
    m_queue.append(dataFilePath);
    if (!m_process)
        startNext();
}

void PassHook::startNext()
{
    if (m_queue.isEmpty())
        return;
    const QString path = m_queue.takeFirst();
    m_timedOut = false;
    m_process = new QProcess(this);
    m_process->setProgram(m_program);
    m_process->setArguments(m_arguments + QStringList{path});
    m_process->setStandardInputFile(QProcess::nullDevice());
    m_process->setStandardOutputFile(QProcess::nullDevice());
    m_process->setStandardErrorFile(QProcess::nullDevice());
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart)
            finishRun(QStringLiteral("hook not started: ") + m_process->errorString(), false);
    });
    connect(m_process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            [this](int code, QProcess::ExitStatus status) {
                const QString took = seconds(m_elapsed.elapsed());
                if (m_timedOut)
                    finishRun(QStringLiteral("hook killed after ") + took, false);
                else if (status == QProcess::CrashExit)
                    finishRun(QStringLiteral("hook crashed after ") + took, false);
                else
                    finishRun(QStringLiteral("hook exit code %1 after %2").arg(code).arg(took), code == 0);
            });
    m_elapsed.start();
    m_limit.start(m_timeoutMs);
    m_process->start();
}

void PassHook::finishRun(const QString &line, bool ok)
{
    m_limit.stop();
    m_kill.stop();
    if (m_process) {
        m_process->disconnect(this);
        m_process->deleteLater();
        m_process = nullptr;
    }
    m_log(line);
    emit done(ok);
    startNext();
}
