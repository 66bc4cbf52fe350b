#pragma once
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVector>

#include <functional>
#include <memory>

class QProcess;

// Runs the operator's command after each data file, with the file's path as its
// last argument. Never waits for it: the outcome (exit code, time taken) arrives
// later as a log line. A command still running after the time limit is ended
// (SIGTERM, then SIGKILL two seconds on). One command runs at a time; files
// written meanwhile wait their turn.
//
// Each command runs in a process group of its own and gets no descriptor of the
// console beyond its three standard streams. What it leaves running in its group
// is ended at its time limit, counted from its start, and when the console ends;
// each such end is logged.
class PassHook : public QObject
{
    Q_OBJECT

public:
    using Log = std::function<void(const QString &)>;
    PassHook(const QString &commandLine, int timeoutSeconds, Log log, QObject *parent = nullptr);
    // Ends whatever is left without a word: call shutdown() first to have it logged.
    ~PassHook() override;

    void run(const QString &dataFilePath);
    bool busy() const { return m_process != nullptr; }
    int waiting() const { return m_queue.size(); }
    // Process groups of earlier commands with members still running.
    int lingeringGroups() const { return m_groups.size(); }

    // The console is ending: every group of a command is killed, and logged.
    void shutdown();

    static constexpr int MaxWaiting = 16;
    static constexpr int KillDelayMs = 2000;

signals:
    // After each run, whatever its end. ok: started and exited with code 0.
    void done(bool ok);

private:
    struct Group
    {
        qint64 id = 0;
        qint64 dueMs = 0;   // on m_clock
        bool termSent = false;
    };
    void startNext();
    void finishRun(const QString &line, bool ok, const QString &groupLine = QString());
    void superviseGroups();
    void watchGroup(qint64 id, qint64 dueMs, bool termSent);

    QString m_program;
    QStringList m_arguments;
    int m_timeoutMs;
    Log m_log;
    QStringList m_queue;
    QProcess *m_process = nullptr;
    qint64 m_group = 0;          // the running command's group
    qint64 m_startedMs = 0;      // on m_clock
    QElapsedTimer m_elapsed;
    QElapsedTimer m_clock;
    QTimer m_limit;
    QTimer m_kill;
    QTimer m_groupBeat;
    QVector<Group> m_groups;
    bool m_timedOut = false;
};
