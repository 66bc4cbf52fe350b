#pragma once
// station-console and station-sim as child processes of a test, run from a
// scratch station folder, and what they leave there read back.
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>

// Runs a helper that checks with QVERIFY/QCOMPARE and ends the calling test
// function as well when one of those checks failed.
#define E2E_STEP(call)                                                                                                 \
    do {                                                                                                               \
        call;                                                                                                          \
        if (QTest::currentTestFailed())                                                                                \
            return;                                                                                                    \
    } while (false)

namespace e2e {

struct LogEntry
{
    QDateTime at; // UTC, whole seconds
    QString message;
};

// Log entries: CR LF, a marker ("  ", "**" or "  *"), the UTC time, two blanks, the message.
QList<LogEntry> parseLog(const QByteArray &bytes);

// Settings of the test station: the controller on COM<port>, the track in
// track/Track.txt, no clock correction.
QByteArray stationIni(int port, bool demodulator, bool feedback);

QByteArray readFile(const QString &path);

// The stand-in's transcript, one JSON object a line.
QList<QJsonObject> readTranscript(const QString &path);
QList<QJsonObject> ofKind(const QList<QJsonObject> &transcript, const char *dir, const char *kind);

// Children get SIGTERM should this test die first, so that no stand-in is
// left holding port 6002.
void startChild(QProcess &p, const QString &program, const QStringList &args);

// station-console in `folder`, prompts answered on their own, serial ports
// looked up in `portDir`, no display.
void startConsole(QProcess &p, const QString &folder, const QString &portDir, const QStringList &args = {});

// Waits for a normal end with this exit code.
void finishes(QProcess &p, int code);

// A station folder (settings, track/ and ports/) with the console and the
// stand-in run from it. The folder is kept for a look when the set-up or a
// test failed.
class StationRun
{
public:
    StationRun();

    QString path(const QString &name) const { return m_dir.filePath(name); }
    QByteArray readFile(const QString &name) const { return e2e::readFile(path(name)); }
    QList<LogEntry> log() const { return parseLog(readFile(QStringLiteral("tuvarn.log"))); }
    // How many event-log entries carry exactly this message.
    int logged(const QString &message) const;
    QList<QJsonObject> transcript() const { return readTranscript(path(QStringLiteral("sim.jsonl"))); }

    QProcess &console() { return m_console; }
    QProcess &sim() { return m_sim; }
    // All the stand-in has written to its standard output since it was started.
    const QByteArray &simOut() const { return m_simOut; }

    // The folder with these settings; counts as failed until setUpDone().
    void prepare(const QByteArray &ini);
    // Output to console.out and console.err; ports in ports/.
    void startConsole();
    // The stand-in with these arguments, until it says it is ready. Exit code 2
    // means a port could not be opened: 6002 may still be held by a stand-in
    // of another run that is ending, so it is tried again for a while.
    // `beforeEachTry` clears what a failed try may have left.
    void startSim(const QStringList &args, const std::function<void()> &beforeEachTry = {});
    void setUpDone() { m_failed = false; }

    // SIGTERM; the console ends cleanly with "The end" as its last log entry.
    void endConsole();
    void endSim();

    // Call from cleanup(): remembers a failed test.
    void noteResult() { m_failed = m_failed || QTest::currentTestFailed(); }
    // Call from cleanupTestCase(): ends what still runs.
    void tearDown();

private:
    QTemporaryDir m_dir;
    QProcess m_console;
    QProcess m_sim;
    QByteArray m_simOut;
    bool m_failed = true;
};

} // namespace e2e
