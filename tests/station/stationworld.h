#pragma once
// A whole station in the test process: the test clock (installed first), the
// controller board on it, and the console's window on that board, in a scratch
// station folder that is the current folder. Local time is UTC, the screen
// 1920x1040, the prompts scripted, the clock never set (TimeCorr disable), the
// demodulator off unless a test turns it on.
#include "dialogs.h"
#include "fakecontroller.h"
#include "screenmetrics.h"
#include "testclock.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QPair>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>

class QLabel;
class tuv;

using SettingChanges = QList<QPair<QByteArray, QByteArray>>;

class StationWorld
{
public:
    // 12:00:00.400 UTC: the board's replies leave 603 ms after the start.
    static const QDateTime Start;
    static constexpr int Port = 5;

    StationWorld();
    ~StationWorld();
    bool ready() const { return m_ready; }
    QString setUpError() const { return m_error; }

    TestClock &clock() { return m_clock; }
    FakeController &board() { return *m_board; }
    ScriptedDialogs &dialogs() { return m_dialogs; }

    // Builds the window with the example settings changed by these (TrackPath
    // track/Track.txt, Port 5, Demodulator disable unless changed here).
    bool open(const SettingChanges &changes = {}, bool serviceMode = false);
    tuv &window() { return *m_window; }
    void close(); // the window goes (it writes "The end")

    // Runs after every timer firing while the clock advances (a peer outside
    // the fake time, served at each step).
    void setEveryStep(std::function<void()> step) { m_everyStep = std::move(step); }
    void advance(qint64 ms);
    bool advanceUntil(const std::function<bool()> &predicate, qint64 maxMs);
    // Until the link label shows the controller's version.
    bool waitLinkUp(qint64 maxMs = 5000);

    // The messages of the entries in tuvarn.log and in the log pane, in order,
    // without their marker and time stamp.
    QStringList logMessages() const;
    QStringList paneMessages() const;

    // The status bar's labels in the order the window adds them.
    QLabel *settingsLabel() const;
    QLabel *gpsLabel() const;
    QLabel *infoLabel() const;
    QLabel *stateLabel() const;
    QLabel *linkLabel() const;

    // What the board was sent.
    int statusRequests() const;
    QList<QByteArray> uploads() const; // the frames that start with command 0
    static QByteArray statusRequestFrame();

    // A track file at TrackPath: n points one second apart from startUtc, at
    // the elevation given, azimuth stepping one degree.
    bool writeTrack(const QDateTime &startUtc, int points, int elevationDeg = 85,
                    const QByteArray &satellite = "SAT-1", const QByteArray &orbit = "4242");

private:
    static QStringList entryMessages(const QString &text);
    QByteArray logText() const; // the raw text of tuvarn.log

    QTemporaryDir m_dir;
    QString m_oldDir;
    FixedScreenMetrics m_screen{QSize(1920, 1040), 1080};
    ScriptedDialogs m_dialogs;
    TestClock m_clock{Start};
    std::unique_ptr<FakeController> m_board;
    std::unique_ptr<tuv> m_window;
    std::function<void()> m_everyStep;
    bool m_ready = false;
    QString m_error;
};
