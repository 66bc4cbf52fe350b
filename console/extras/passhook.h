#pragma once
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>

class QProcess;

// Runs the operator's command after each data file, with the file's path as its
// last argument. Never waits for it: the outcome (exit code, time taken) arrives
// later as a log line. A command still running after the time limit is ended
// (SIGTERM, then SIGKILL two seconds on). One command runs at a time; files
// written meanwhile wait their turn.
class PassHook : public QObject
{
    Q_OBJECT

public:
    using Log = std::function<void(const QString &)>;
    PassHook(const QString &commandLine, int timeoutSeconds, Log log, QObject *parent = nullptr);
    ~PassHook() override;

    void run(const QString &dataFilePath);
    bool busy() const { return m_process != nullptr; }
    int waiting() const { return m_queue.size(); }

    static constexpr int MaxWaiting = 16;

signals:
    // After each run, whatever its end. ok: started and exited with code 0.
    void done(bool ok);

private:
    void startNext();
    void finishRun(const QString &line, bool ok);

    QString m_program;
    QStringList m_arguments;
    int m_timeoutMs;
    Log m_log;
    QStringList m_queue;
    QProcess *m_process = nullptr;
    QElapsedTimer m_elapsed;
    QTimer m_limit;
    QTimer m_kill;
    bool m_timedOut = false;
};
