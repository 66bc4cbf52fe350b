#include "passhook.h"

#include <QProcess>

#if defined(Q_OS_UNIX)
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>
#if __has_include(<linux/close_range.h>)
#include <linux/close_range.h>
#endif
#endif

namespace {
QString seconds(qint64 ms)
{
    return QString::number(double(ms) / 1000.0, 'f', 1) + QStringLiteral(" s");
}

#if defined(Q_OS_UNIX)
// Runs in the child between fork and exec: only async-signal-safe calls.
class HookProcess : public QProcess
{
public:
    using QProcess::QProcess;

protected:
    void setupChildProcess() override
    {
        // Its own group, so that what it starts can be ended with it.
        ::setpgid(0, 0);
        // Nothing of the console's (sockets, the signal pair, files) past exec.
#if defined(CLOSE_RANGE_CLOEXEC)
        if (::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) == 0)
            return;
#endif
        long top = ::sysconf(_SC_OPEN_MAX);
        if (top < 0 || top > 65536)
            top = 65536;
        for (int fd = 3; fd < top; ++fd) {
            const int flags = ::fcntl(fd, F_GETFD);
            if (flags >= 0 && !(flags & FD_CLOEXEC))
                ::fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
        }
    }
};

bool groupAlive(qint64 id)
{
    return id > 0 && (::kill(pid_t(-id), 0) == 0 || errno == EPERM);
}

void signalGroup(qint64 id, int sig)
{
    if (id > 0)
        ::kill(pid_t(-id), sig);
}
#else
using HookProcess = QProcess;
bool groupAlive(qint64) { return false; }
void signalGroup(qint64, int) {}
#ifndef SIGTERM
#define SIGTERM 15
#endif
#define SIGKILL 9
#endif
} // namespace

PassHook::PassHook(const QString &commandLine, int timeoutSeconds, Log log, QObject *parent)
    : QObject(parent), m_timeoutMs(qMax(1, timeoutSeconds) * 1000), m_log(std::move(log))
{
    QStringList words = QProcess::splitCommand(commandLine);
    if (!words.isEmpty())
        m_program = words.takeFirst();
    m_arguments = words;
    m_clock.start();
    m_limit.setSingleShot(true);
    m_limit.setTimerType(Qt::PreciseTimer);
    m_kill.setSingleShot(true);
    connect(&m_limit, &QTimer::timeout, this, [this] {
        if (!m_process)
            return;
        m_timedOut = true;
        if (groupAlive(m_group)) {
            signalGroup(m_group, SIGTERM);
            // Members that outlive SIGTERM get SIGKILL with the command.
            watchGroup(m_group, m_clock.elapsed() + KillDelayMs, true);
        }
        m_process->terminate();
        m_kill.start(KillDelayMs);
    });
    connect(&m_kill, &QTimer::timeout, this, [this] {
        if (m_process)
            m_process->kill();
    });
    m_groupBeat.setInterval(200);
    connect(&m_groupBeat, &QTimer::timeout, this, &PassHook::superviseGroups);
}

PassHook::~PassHook()
{
    for (const Group &g : qAsConst(m_groups))
        signalGroup(g.id, SIGKILL);
    if (m_process) {
        // The console is ending: do not leave the command behind.
        m_process->disconnect(this);
        signalGroup(m_group, SIGKILL);
        m_process->kill();
        m_process->waitForFinished(1000);
        delete m_process;
    }
}

void PassHook::shutdown()
{
    QVector<qint64> ids;
    if (m_process && m_group > 0)
        ids.append(m_group);
    for (const Group &g : qAsConst(m_groups))
        if (!ids.contains(g.id))
            ids.append(g.id);
    for (qint64 id : qAsConst(ids)) {
        if (!groupAlive(id))
            continue;
        signalGroup(id, SIGKILL);
        m_log(QStringLiteral("hook process group %1 ended: console exit").arg(id));
    }
    m_groups.clear();
    m_groupBeat.stop();
    if (m_process) {
        m_process->disconnect(this);
        m_process->kill();
        m_process->waitForFinished(1000);
        delete m_process;
        m_process = nullptr;
    }
    m_queue.clear();
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
    m_group = 0;
    m_process = new HookProcess(this);
    m_process->setProgram(m_program);
    m_process->setArguments(m_arguments + QStringList{path});
    m_process->setStandardInputFile(QProcess::nullDevice());
    m_process->setStandardOutputFile(QProcess::nullDevice());
    m_process->setStandardErrorFile(QProcess::nullDevice());
    connect(m_process, &QProcess::started, this, [this] { m_group = m_process->processId(); });
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart)
            finishRun(QStringLiteral("hook not started: ") + m_process->errorString(), false);
    });
    connect(m_process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            [this](int code, QProcess::ExitStatus status) {
                const QString took = seconds(m_elapsed.elapsed());
                // What it left behind may run on until its time limit.
                if (!m_timedOut && groupAlive(m_group))
                    watchGroup(m_group, m_startedMs + m_timeoutMs, false);
                if (m_timedOut)
                    finishRun(QStringLiteral("hook killed after ") + took, false,
                              QStringLiteral("hook process group %1 ended: time limit").arg(m_group));
                else if (status == QProcess::CrashExit)
                    finishRun(QStringLiteral("hook crashed after ") + took, false);
                else
                    finishRun(QStringLiteral("hook exit code %1 after %2").arg(code).arg(took), code == 0);
            });
    m_elapsed.start();
    m_startedMs = m_clock.elapsed();
    m_limit.start(m_timeoutMs);
    m_process->start();
}

void PassHook::finishRun(const QString &line, bool ok, const QString &groupLine)
{
    m_limit.stop();
    m_kill.stop();
    if (m_process) {
        m_process->disconnect(this);
        m_process->deleteLater();
        m_process = nullptr;
    }
    m_group = 0;
    m_log(line);
    if (!groupLine.isEmpty())
        m_log(groupLine);
    emit done(ok);
    startNext();
}

void PassHook::watchGroup(qint64 id, qint64 dueMs, bool termSent)
{
    for (Group &g : m_groups) {
        if (g.id == id) {
            g.dueMs = dueMs;
            g.termSent = termSent;
            return;
        }
    }
    m_groups.append({id, dueMs, termSent});
    m_groupBeat.start();
}

void PassHook::superviseGroups()
{
    const qint64 now = m_clock.elapsed();
    for (int i = 0; i < m_groups.size();) {
        Group &g = m_groups[i];
        // A group's id is not handed out again while it has members, so an
        // empty group is forgotten before its id could name another.
        if (!groupAlive(g.id)) {
            m_groups.removeAt(i);
            continue;
        }
        if (now >= g.dueMs) {
            if (g.termSent) {
                signalGroup(g.id, SIGKILL);
                m_groups.removeAt(i);
                continue;
            }
            signalGroup(g.id, SIGTERM);
            m_log(QStringLiteral("hook process group %1 ended: time limit").arg(g.id));
            g.termSent = true;
            g.dueMs = now + KillDelayMs;
        }
        ++i;
    }
    if (m_groups.isEmpty())
        m_groupBeat.stop();
}
