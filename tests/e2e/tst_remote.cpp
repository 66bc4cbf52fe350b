// One whole pass with the extras of extras.ini turned on: status.json followed
// through the pass, the command after the data file, and parking after the
// finish.
#include "stationprocess.h"

#include <QJsonDocument>
#include <QRegularExpression>

#include <csignal>

using e2e::LogEntry;

class TestRemote : public QObject
{
    Q_OBJECT

    e2e::StationRun m_run;
    // Every distinct status.json seen during the pass, in order.
    QList<QJsonObject> m_seen;
    int m_unreadable = 0;

    QString path(const QString &name) const { return m_run.path(name); }
    void sample()
    {
        QFile f(path(QStringLiteral("status.json")));
        if (!f.open(QIODevice::ReadOnly))
            return;
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(f.readAll(), &error);
        if (error.error != QJsonParseError::NoError || !doc.isObject()) {
            ++m_unreadable;
            return;
        }
        if (m_seen.isEmpty() || m_seen.last() != doc.object())
            m_seen.append(doc.object());
    }
    // Index of the first entry logged with this message (or starting with it), -1 when none.
    static int indexOf(const QList<LogEntry> &log, const QString &message, bool prefix = false)
    {
        for (int i = 0; i < log.size(); ++i)
            if (prefix ? log[i].message.startsWith(message) : log[i].message == message)
                return i;
        return -1;
    }

private slots:
    void initTestCase();
    void passRunsToTheEnd();
    void statusFollowsThePass();
    void statusAfterThePass();
    void hookGotTheDataFile();
    void parkedAfterTheFinish();
    void stoppedStateLeftOnTerm();
    void hookLeftoversEndWithTheConsole();
    void cleanup() { m_run.noteResult(); }
    void cleanupTestCase() { m_run.tearDown(); }
};

void TestRemote::initTestCase()
{
    E2E_STEP(m_run.prepare(e2e::stationIni(3, true, true)));
    QFile hook(path(QStringLiteral("hook.sh")));
    QVERIFY(hook.open(QIODevice::WriteOnly));
    hook.write("printf '%s\\n' \"$1\" >> \"$(dirname \"$0\")/hook.out\"\n"
               // Something left running behind it, ended when the console ends.
               "sleep 120 & echo $! > \"$(dirname \"$0\")/hook.child\"\n");
    hook.close();
    QFile extras(path(QStringLiteral("extras.ini")));
    QVERIFY(extras.open(QIODevice::WriteOnly));
    extras.write("# extras of an unattended station\nStatusFile enable\nPassHook /bin/sh \""
                 + path(QStringLiteral("hook.sh")).toUtf8()
                 + "\"\nPassHookTimeout 20\nParkAfter 2\nParkUnlessPassWithin 60\n");
    extras.close();

    const QStringList args = {
        QStringLiteral("--port-dir"), path(QStringLiteral("ports")), QStringLiteral("--port"), QStringLiteral("3"),
        QStringLiteral("--demod-port"), QStringLiteral("6002"),
        QStringLiteral("--transcript"), path(QStringLiteral("sim.jsonl")),
        QStringLiteral("--track-path"), path(QStringLiteral("track/Track.txt")),
        QStringLiteral("--pass-lead"), QStringLiteral("25"), QStringLiteral("--pass-points"), QStringLiteral("8"),
        QStringLiteral("--travel"), QStringLiteral("1"), QStringLiteral("--start-lead"), QStringLiteral("8"),
        QStringLiteral("--no-control")};
    E2E_STEP(m_run.startSim(args, [this] { QFile::remove(path(QStringLiteral("track/Track.txt"))); }));
    E2E_STEP(m_run.startConsole());
    m_run.setUpDone();
}

void TestRemote::passRunsToTheEnd()
{
    // Read status.json every 100 ms until the park has been done.
    QTRY_VERIFY_WITH_TIMEOUT((sample(), m_run.logged(QStringLiteral("in origin")) > 0
                                            || m_run.console().state() == QProcess::NotRunning),
                             120000);
    QCOMPARE(m_run.console().state(), QProcess::Running);
    QTRY_VERIFY_WITH_TIMEOUT((sample(), !m_seen.isEmpty()
                              && m_seen.last().value(QStringLiteral("lastEvent")).toObject()
                                     .value(QStringLiteral("message")).toString() == QStringLiteral("in origin")),
                             5000);
}

void TestRemote::statusFollowsThePass()
{
    // Whole or not at all: every read gave a complete document.
    QCOMPARE(m_unreadable, 0);
    QVERIFY(m_seen.size() >= 10);
    const QJsonObject first = m_seen.first();
    QCOMPARE(first.value(QStringLiteral("station")).toString(), QStringLiteral("Test station"));
    QCOMPARE(first.value(QStringLiteral("mode")).toString(), QStringLiteral("operator"));

    // The recording states in the order the pass takes them, and the points
    // growing while it is tracked.
    QList<int> states;
    int maxPoints = 0;
    bool trackingShown = false;
    QString start;
    for (const QJsonObject &o : m_seen) {
        QVERIFY(QDateTime::fromString(o.value(QStringLiteral("time")).toString(), Qt::ISODate).isValid());
        const QJsonObject rec = o.value(QStringLiteral("recording")).toObject();
        const int state = rec.value(QStringLiteral("state")).toInt();
        if (states.isEmpty() || states.last() != state)
            states << state;
        maxPoints = std::max(maxPoints, rec.value(QStringLiteral("points")).toInt());
        const QJsonObject ctl = o.value(QStringLiteral("controller")).toObject();
        trackingShown = trackingShown || ctl.value(QStringLiteral("text")).toString() == QStringLiteral("Tracking.");
        const QJsonValue pass = o.value(QStringLiteral("pass"));
        if (pass.isObject()) {
            QCOMPARE(pass.toObject().value(QStringLiteral("satellite")).toString(), QStringLiteral("SIMSAT"));
            QCOMPARE(pass.toObject().value(QStringLiteral("orbit")).toString(), QStringLiteral("1"));
            QVERIFY(pass.toObject().value(QStringLiteral("reachablePoints")).toInt() > 0);
            start = pass.toObject().value(QStringLiteral("start")).toString();
        }
        QCOMPARE(o.value(QStringLiteral("errors")).toInt(), 0);
    }
    QVERIFY2(states.contains(3) && states.contains(5), qPrintable(QString::number(states.size())));
    QVERIFY(states.indexOf(3) < states.indexOf(5));
    QCOMPARE(states.last(), 0);
    QVERIFY(trackingShown);
    QVERIFY(maxPoints >= 5);

    // The pass start is the stand-in's (first reachable point of its pass).
    const QList<QJsonObject> passFiles = e2e::ofKind(m_run.transcript(), "sim", "pass-file");
    QCOMPARE(passFiles.size(), 1);
    const QDateTime simStart = QDateTime::fromString(passFiles[0].value(QStringLiteral("start")).toString(), Qt::ISODateWithMs);
    const QDateTime shown = QDateTime::fromString(start, Qt::ISODate);
    QVERIFY2(shown.isValid() && simStart.secsTo(shown) >= 0 && simStart.secsTo(shown) < 8, qPrintable(start));
}

void TestRemote::statusAfterThePass()
{
    const QJsonObject last = m_seen.last();
    const QStringList dat = QDir(path(QStringLiteral("data"))).entryList({QStringLiteral("*.dat")}, QDir::Files);
    QCOMPARE(dat.size(), 1);
    QCOMPARE(last.value(QStringLiteral("lastDataFile")).toString(), QDir(path(QStringLiteral("data"))).absoluteFilePath(dat.first()));
    const QJsonObject gps = last.value(QStringLiteral("gps")).toObject();
    QCOMPARE(gps.value(QStringLiteral("state")).toString(), QStringLiteral("ok"));
    QVERIFY(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d$")).match(gps.value(QStringLiteral("time")).toString()).hasMatch());
    const QJsonObject link = last.value(QStringLiteral("link")).toObject();
    QCOMPARE(link.value(QStringLiteral("alive")).toBool(), true);
    QCOMPARE(link.value(QStringLiteral("firmware")).toString(), QStringLiteral("3.7"));
    QCOMPARE(last.value(QStringLiteral("controller")).toObject().value(QStringLiteral("text")).toString(), QStringLiteral("In Origin."));
    QCOMPARE(last.value(QStringLiteral("errors")).toInt(), 0);
    // The pass has finished: it is no longer shown as the loaded one.
    QVERIFY(last.value(QStringLiteral("pass")).isNull());
}

void TestRemote::hookGotTheDataFile()
{
    const QStringList dat = QDir(path(QStringLiteral("data"))).entryList({QStringLiteral("*.dat")}, QDir::Files);
    QCOMPARE(dat.size(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(m_run.readFile(QStringLiteral("hook.out")),
                              QDir(path(QStringLiteral("data"))).absoluteFilePath(dat.first()).toUtf8() + '\n', 5000);
    const QList<LogEntry> log = m_run.log();
    const int ran = indexOf(log, QStringLiteral("hook exit code 0 after "), true);
    QVERIFY(ran > indexOf(log, QStringLiteral("finish")));
    QVERIFY2(QRegularExpression(QStringLiteral("^hook exit code 0 after \\d+\\.\\d s$")).match(log[ran].message).hasMatch(),
             qPrintable(log[ran].message));
}

void TestRemote::parkedAfterTheFinish()
{
    const QList<LogEntry> log = m_run.log();
    const int finish = indexOf(log, QStringLiteral("finish"));
    const int park = indexOf(log, QStringLiteral("park: antenna sent to origin"));
    QVERIFY(finish >= 0);
    QVERIFY(park > finish);
    // Two seconds after the finish, give or take the one-second beat.
    const qint64 after = log[finish].at.secsTo(log[park].at);
    QVERIFY2(after >= 2 && after <= 4, qPrintable(QString::number(after)));
    QVERIFY(indexOf(log, QStringLiteral("in origin")) > park);
    // Exactly one go-to-origin frame reached the controller, after the finish.
    const QList<QJsonObject> transcript = m_run.transcript();
    int origin = 0;
    QDateTime finishSent;
    for (const QJsonObject &o : transcript) {
        const QDateTime t = QDateTime::fromString(o.value(QStringLiteral("t")).toString(), Qt::ISODateWithMs);
        if (o.value(QStringLiteral("dir")) == QLatin1String("tx") && o.value(QStringLiteral("kind")) == QLatin1String("status")
            && (o.value(QStringLiteral("statusWord")).toInt() & 0x8000) && !finishSent.isValid())
            finishSent = t;
        if (o.value(QStringLiteral("dir")) == QLatin1String("rx") && o.value(QStringLiteral("kind")) == QLatin1String("command")
            && o.value(QStringLiteral("code")).toInt() == 1) {
            ++origin;
            QVERIFY(finishSent.isValid() && finishSent < t);
            QCOMPARE(o.value(QStringLiteral("hex")).toString().remove(QLatin1Char(' ')).toLower(), QStringLiteral("01000000"));
        }
    }
    QCOMPARE(origin, 1);
}

void TestRemote::stoppedStateLeftOnTerm()
{
    const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-1);
    E2E_STEP(m_run.endConsole());
    const QJsonObject o = QJsonDocument::fromJson(m_run.readFile(QStringLiteral("status.json"))).object();
    QCOMPARE(o.value(QStringLiteral("mode")).toString(), QStringLiteral("stopped"));
    const QDateTime at = QDateTime::fromString(o.value(QStringLiteral("time")).toString(), Qt::ISODate);
    QVERIFY2(at >= before.addSecs(-1) && at <= QDateTime::currentDateTimeUtc().addSecs(1), qPrintable(at.toString(Qt::ISODate)));
    QCOMPARE(o.value(QStringLiteral("station")).toString(), QStringLiteral("Test station"));
    E2E_STEP(m_run.endSim());
}

void TestRemote::hookLeftoversEndWithTheConsole()
{
    // stoppedStateLeftOnTerm ended the console, well inside the hook's 20 s.
    const qint64 child = m_run.readFile(QStringLiteral("hook.child")).trimmed().toLongLong();
    QVERIFY(child > 0);
    const auto gone = [child] {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(child));
        // Ended, or a zombie of a parent that does not reap.
        return ::kill(pid_t(child), 0) != 0 || !stat.open(QIODevice::ReadOnly)
            || stat.readAll().split(')').last().startsWith(" Z");
    };
    QTRY_VERIFY_WITH_TIMEOUT(gone(), 5000);
    const QList<LogEntry> log = m_run.log();
    const int ended = indexOf(log, QStringLiteral("hook process group "), true);
    QVERIFY(ended >= 0);
    QVERIFY2(log[ended].message.endsWith(QLatin1String(" ended: console exit")), qPrintable(log[ended].message));
    QVERIFY(ended < indexOf(log, QStringLiteral("The end")));
}

QTEST_GUILESS_MAIN(TestRemote)
#include "tst_remote.moc"
