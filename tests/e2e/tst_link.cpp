// Link supervision of the console in operator mode, against the stand-in's
// fault switches: a port that is not there yet, a controller that falls
// silent, a port that vanishes and comes back, and a burst of noise.
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>

namespace {

const QByteArray StationIni =
    "Tuvarn_ini_file\nStationName\nTest station\nTrackPath\ntrack/Track.txt\nFocus\n1400\n"
    "Radius\n500\nPort\n4\nTimeCorr\ndisable\nMaxDeviation\n40\nDeviationStep\n4\n"
    "DeviationPorog\n0.2\nDemodulator\nenable\nFeedback\ndisable\nScanModeRL\ndisable\n"
    "ScanModeFB\ndisable\nkorr\n1.0\n";

struct LogEntry
{
    QDateTime at; // UTC, whole seconds
    QString message;
};

QList<LogEntry> parseLog(const QByteArray &bytes)
{
    static const QRegularExpression entry(
        QStringLiteral("^(?:  \\*|\\*\\*|  )(\\d\\d-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d)  (.*)$"));
    QList<LogEntry> out;
    for (const QString &line : QString::fromUtf8(bytes).split(QStringLiteral("\r\n"))) {
        const QRegularExpressionMatch m = entry.match(line);
        if (!m.hasMatch())
            continue;
        QDateTime at = QDateTime::fromString(m.captured(1), QStringLiteral("dd-MM-yy hh:mm:ss"));
        at = QDateTime(at.date().addYears(100), at.time(), Qt::UTC); // two-digit years read as 19xx
        out.append({at, m.captured(2)});
    }
    return out;
}

qint64 msOf(const QJsonObject &o)
{
    return QDateTime::fromString(o.value(QStringLiteral("t")).toString(), Qt::ISODateWithMs).toMSecsSinceEpoch();
}

QString clock(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(QStringLiteral("hh:mm:ss.zzz"));
}

// Children get SIGTERM should this test die first, so that no stand-in is
// left holding port 6002.
void startChild(QProcess &p, const QString &program, const QStringList &args)
{
    const QString setpriv = QStringLiteral("/usr/bin/setpriv");
    if (QFileInfo(setpriv).isExecutable())
        p.start(setpriv, QStringList{QStringLiteral("--pdeathsig"), QStringLiteral("TERM"), QStringLiteral("--"), program} + args);
    else
        p.start(program, args);
}

} // namespace

class TestLink : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QProcess m_console;
    QProcess m_sim;
    QByteArray m_simOut;
    bool m_failed = false;

    QString path(const QString &name) const { return m_dir.filePath(name); }
    QByteArray readFile(const QString &name) const
    {
        QFile f(path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QList<LogEntry> log() const { return parseLog(readFile(QStringLiteral("tuvarn.log"))); }
    int logged(const QString &message) const
    {
        int n = 0;
        for (const LogEntry &e : log())
            n += e.message == message;
        return n;
    }
    // The i-th (from 1) entry with this message.
    LogEntry entry(const QString &message, int nth) const
    {
        for (const LogEntry &e : log())
            if (e.message == message && --nth == 0)
                return e;
        return {};
    }
    int indexOf(const QString &message, int nth) const
    {
        const QList<LogEntry> all = log();
        for (int i = 0; i < all.size(); ++i)
            if (all[i].message == message && --nth == 0)
                return i;
        return -1;
    }
    QList<QJsonObject> transcript(const char *dir, const char *kind) const
    {
        QList<QJsonObject> out;
        for (const QByteArray &line : readFile(QStringLiteral("sim.jsonl")).split('\n')) {
            const QJsonObject o = QJsonDocument::fromJson(line).object();
            if (o.value(QStringLiteral("dir")).toString() == QLatin1String(dir)
                && o.value(QStringLiteral("kind")).toString() == QLatin1String(kind))
                out.append(o);
        }
        return out;
    }
    // Time of the console's first status request (code 11) after `afterMs`, or 0.
    qint64 statusRequestAfter(qint64 afterMs) const
    {
        for (const QJsonObject &o : transcript("rx", "command"))
            if (o.value(QStringLiteral("code")).toInt() == 11 && msOf(o) > afterMs)
                return msOf(o);
        return 0;
    }
    qint64 lastStatusBefore(qint64 ms) const
    {
        qint64 last = 0;
        for (const QJsonObject &o : transcript("tx", "status"))
            if (msOf(o) < ms)
                last = msOf(o);
        return last;
    }
    qint64 faultAt(const QString &fault) const
    {
        qint64 at = 0;
        for (const QJsonObject &o : transcript("sim", "fault"))
            if (o.value(QStringLiteral("fault")).toString() == fault)
                at = msOf(o);
        return at;
    }
    // When the stand-in linked its port again after `afterMs`, or 0.
    qint64 portBackAfter(qint64 afterMs) const
    {
        for (const QJsonObject &o : transcript("sim", "port"))
            if (o.contains(QStringLiteral("link")) && msOf(o) > afterMs)
                return msOf(o);
        return 0;
    }

    // One control command on the stand-in's standard input; it answers "ok ...".
    void command(const QByteArray &line)
    {
        const int from = m_simOut.size();
        QCOMPARE(m_sim.write(line + '\n'), qint64(line.size() + 1));
        const QByteArray answer = "\nok " + line.split(' ').first();
        QTRY_VERIFY_WITH_TIMEOUT(m_simOut.indexOf(answer, qMax(0, from - 1)) >= 0, 5000);
    }
    // The stand-in replies a few ms after each whole UTC second; some faults
    // are placed at a known distance from that.
    static void waitForPhase(int msIntoSecond)
    {
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        QTest::qWait(int((msIntoSecond - now % 1000 + 1000) % 1000));
    }

private slots:
    void initTestCase();
    void absentPortLoggedOnce();
    void portAppearsAndLinkComesUp();
    void silenceDropsTheLinkOnce();
    void vanishedPortIsReopened();
    void garbageIsShrugged();
    void shortPortDropRecovers();
    void consoleEndsCleanly();
    void cleanup();
    void cleanupTestCase();
};

void TestLink::initTestCase()
{
    m_failed = true; // until the console runs
    QVERIFY(m_dir.isValid());
    QDir dir(m_dir.path());
    QVERIFY(dir.mkpath(QStringLiteral("track")));
    QVERIFY(dir.mkpath(QStringLiteral("ports")));
    QFile ini(path(QStringLiteral("tuvarn.ini")));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write(StationIni);
    ini.close();

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TUVARN_DIALOGS"), QStringLiteral("auto"));
    env.insert(QStringLiteral("TUVARN_PORT_DIR"), path(QStringLiteral("ports")));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    m_console.setProcessEnvironment(env);
    m_console.setWorkingDirectory(m_dir.path());
    m_console.setStandardOutputFile(path(QStringLiteral("console.out")));
    m_console.setStandardErrorFile(path(QStringLiteral("console.err")));
    startChild(m_console, QStringLiteral(TUVARN_BIN_DIR "/station-console"), QStringList());
    QVERIFY(m_console.waitForStarted(5000));
    m_failed = false;
}

void TestLink::absentPortLoggedOnce()
{
    QTRY_VERIFY_WITH_TIMEOUT(logged(QStringLiteral("port absent")) >= 1, 10000);
    // The port is tried every second; only the change is reported.
    QTest::qWait(3000);
    QCOMPARE(logged(QStringLiteral("port absent")), 1);
    QCOMPARE(logged(QStringLiteral("port opened ok")), 0);
    QCOMPARE(m_console.state(), QProcess::Running);
}

void TestLink::portAppearsAndLinkComesUp()
{
    m_sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    connect(&m_sim, &QProcess::readyReadStandardOutput, this, [this] { m_simOut += m_sim.readAllStandardOutput(); });
    const QStringList args = {QStringLiteral("--port-dir"), path(QStringLiteral("ports")), QStringLiteral("--port"), QStringLiteral("4"),
                              QStringLiteral("--demod-port"), QStringLiteral("6002"),
                              QStringLiteral("--transcript"), path(QStringLiteral("sim.jsonl"))};
    // Exit code 2: a port could not be opened; 6002 may still be held by a
    // stand-in of another run that is ending.
    QElapsedTimer patience;
    patience.start();
    for (;;) {
        m_simOut.clear();
        startChild(m_sim, QStringLiteral(TUVARN_BIN_DIR "/station-sim"), args);
        QVERIFY(m_sim.waitForStarted(5000));
        QTRY_VERIFY_WITH_TIMEOUT(m_simOut.startsWith("ready port=") || m_sim.state() == QProcess::NotRunning, 15000);
        if (m_simOut.startsWith("ready port="))
            break;
        QVERIFY2(m_sim.exitCode() == 2 && patience.elapsed() < 60000, "station-sim did not get ready");
        QTest::qWait(1000);
    }
    const qint64 started = QDateTime::currentMSecsSinceEpoch();

    QTRY_COMPARE_WITH_TIMEOUT(logged(QStringLiteral("port opened ok")), 1, 10000);
    // The first reply revives the link and the console asks for the full status.
    QTRY_VERIFY_WITH_TIMEOUT(statusRequestAfter(started - 1000) != 0, 10000);
    QCOMPARE(logged(QStringLiteral("port absent")), 1);
    QCOMPARE(logged(QStringLiteral("port opened ok")), 1);
    QCOMPARE(logged(QStringLiteral("Disconnected")), 0);
}

void TestLink::silenceDropsTheLinkOnce()
{
    command("silent 6");
    const qint64 fault = faultAt(QStringLiteral("silent"));
    QVERIFY(fault != 0);

    QTRY_COMPARE_WITH_TIMEOUT(logged(QStringLiteral("Disconnected")), 1, 10000);
    const qint64 seen = QDateTime::currentMSecsSinceEpoch();
    // Three once-per-second steps without a reception: about 2.1 s after the
    // last reply.
    const qint64 last = lastStatusBefore(fault);
    QVERIFY(last != 0);
    const QString times = QStringLiteral("last reply %1, fault %2, seen %3").arg(clock(last), clock(fault), clock(seen));
    qInfo("link loss seen %lld ms after the last reply", seen - last);
    QVERIFY2(seen - last >= 1500 && seen - last <= 3500, qPrintable(times));
    const qint64 stamped = entry(QStringLiteral("Disconnected"), 1).at.toMSecsSinceEpoch();
    QVERIFY2(stamped + 1000 > last + 1500 && stamped <= last + 3500,
             qPrintable(times + QStringLiteral(", stamped ") + clock(stamped)));

    // The replies resume after 6 s; the first one makes the console ask for the status.
    QTRY_VERIFY_WITH_TIMEOUT(statusRequestAfter(fault) != 0, 12000);
    QVERIFY2(statusRequestAfter(fault) >= fault + 5950, qPrintable(clock(statusRequestAfter(fault))));
    const qint64 back = statusRequestAfter(fault);
    QTRY_VERIFY_WITH_TIMEOUT(lastStatusBefore(QDateTime::currentMSecsSinceEpoch()) > back, 5000);

    // The link holds again: nothing more to report.
    QTest::qWait(4000);
    QCOMPARE(logged(QStringLiteral("Disconnected")), 1);
    QCOMPARE(logged(QStringLiteral("port absent")), 1);
    QCOMPARE(logged(QStringLiteral("port opened ok")), 1);
}

void TestLink::vanishedPortIsReopened()
{
    // Dropped 0.65 s after a reply: the console's first port check after the
    // link times out (about 3.1 s after the reply) falls into the 3 s without a port.
    waitForPhase(650);
    command("drop-port 3");
    const qint64 fault = faultAt(QStringLiteral("drop-port"));
    QVERIFY(fault != 0);

    const qint64 last = lastStatusBefore(fault);
    qInfo("port dropped %lld ms after the last reply", fault - last);
    QTRY_VERIFY_WITH_TIMEOUT(portBackAfter(fault) != 0, 10000);
    const qint64 back = portBackAfter(fault);
    const QString times = QStringLiteral("last reply %1, dropped %2, back %3").arg(clock(last), clock(fault), clock(back));
    QTRY_VERIFY2_WITH_TIMEOUT(logged(QStringLiteral("port absent")) == 2, qPrintable(times), 10000);
    QTRY_VERIFY2_WITH_TIMEOUT(logged(QStringLiteral("port opened ok")) == 2, qPrintable(times), 10000);
    QTRY_VERIFY2_WITH_TIMEOUT(statusRequestAfter(back) != 0, qPrintable(times), 10000);

    // Silence first, then the missing port, then the port again.
    QCOMPARE(logged(QStringLiteral("Disconnected")), 2);
    const int lost = indexOf(QStringLiteral("Disconnected"), 2);
    const int absent = indexOf(QStringLiteral("port absent"), 2);
    const int opened = indexOf(QStringLiteral("port opened ok"), 2);
    QVERIFY2(lost < absent && absent < opened, qPrintable(QStringLiteral("%1 %2 %3").arg(lost).arg(absent).arg(opened)));

    QTest::qWait(4000);
    QCOMPARE(logged(QStringLiteral("port absent")), 2);
    QCOMPARE(logged(QStringLiteral("port opened ok")), 2);
    QCOMPARE(logged(QStringLiteral("Disconnected")), 2);
}

void TestLink::garbageIsShrugged()
{
    command("garbage 40");
    const QList<QJsonObject> sent = transcript("tx", "garbage");
    QCOMPARE(sent.size(), 1);
    const qint64 at = msOf(sent.first());
    // More than a reply's worth of bytes is an overrun: dropped, and the status asked for.
    QTRY_VERIFY_WITH_TIMEOUT(statusRequestAfter(at) != 0, 5000);
    QTest::qWait(4000);
    QCOMPARE(m_console.state(), QProcess::Running);
    QCOMPARE(logged(QStringLiteral("Disconnected")), 2);
    QCOMPARE(logged(QStringLiteral("port absent")), 2);
}

void TestLink::shortPortDropRecovers()
{
    // A port gone for one second, just after a reply: by the time the console
    // looks for it again (about 3.1 s after that reply) it is back, behind a
    // new terminal.
    waitForPhase(100);
    command("drop-port 1");
    const qint64 fault = faultAt(QStringLiteral("drop-port"));
    QTRY_VERIFY_WITH_TIMEOUT(portBackAfter(fault) != 0, 5000);
    const qint64 back = portBackAfter(fault);
    QTRY_VERIFY_WITH_TIMEOUT(statusRequestAfter(back) != 0, 10000);
}

void TestLink::consoleEndsCleanly()
{
    QCOMPARE(m_console.state(), QProcess::Running);
    ::kill(pid_t(m_console.processId()), SIGTERM);
    QVERIFY(m_console.waitForFinished(15000));
    QCOMPARE(m_console.exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_console.exitCode(), 0);
    const QByteArray log = readFile(QStringLiteral("tuvarn.log"));
    QVERIFY2(log.endsWith("  The end\r\n"), log.right(60).constData());

    ::kill(pid_t(m_sim.processId()), SIGTERM);
    QVERIFY(m_sim.waitForFinished(15000));
    QCOMPARE(m_sim.exitCode(), 0);
}

void TestLink::cleanup()
{
    m_failed = m_failed || QTest::currentTestFailed();
}

void TestLink::cleanupTestCase()
{
    for (QProcess *p : {&m_console, &m_sim}) {
        if (p->state() == QProcess::NotRunning)
            continue;
        ::kill(pid_t(p->processId()), SIGTERM);
        if (!p->waitForFinished(10000)) {
            p->kill();
            p->waitForFinished(5000);
        }
    }
    if (m_failed) {
        m_dir.setAutoRemove(false);
        qInfo("station folder kept: %s", qPrintable(m_dir.path()));
    }
}

QTEST_GUILESS_MAIN(TestLink)
#include "tst_link.moc"
