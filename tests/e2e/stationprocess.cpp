#include "stationprocess.h"

#include <QJsonDocument>
#include <QRegularExpression>
#include <csignal>

namespace e2e {

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

QByteArray stationIni(int port, bool demodulator, bool feedback)
{
    const auto onOff = [](bool on) { return QByteArray(on ? "enable" : "disable"); };
    return "Tuvarn_ini_file\nStationName\nTest station\nTrackPath\ntrack/Track.txt\nFocus\n1400\n"
           "Radius\n500\nPort\n" + QByteArray::number(port) + "\nTimeCorr\ndisable\nMaxDeviation\n40\nDeviationStep\n4\n"
           "DeviationPorog\n0.2\nDemodulator\n" + onOff(demodulator) + "\nFeedback\n" + onOff(feedback)
           + "\nScanModeRL\ndisable\nScanModeFB\ndisable\nkorr\n1.0\n";
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QList<QJsonObject> readTranscript(const QString &path)
{
    QList<QJsonObject> out;
    for (const QByteArray &line : readFile(path).split('\n')) {
        const QJsonDocument doc = QJsonDocument::fromJson(line);
        if (doc.isObject())
            out.append(doc.object());
    }
    return out;
}

QList<QJsonObject> ofKind(const QList<QJsonObject> &transcript, const char *dir, const char *kind)
{
    QList<QJsonObject> out;
    for (const QJsonObject &o : transcript)
        if (o.value(QStringLiteral("dir")).toString() == QLatin1String(dir)
            && o.value(QStringLiteral("kind")).toString() == QLatin1String(kind))
            out.append(o);
    return out;
}

void startChild(QProcess &p, const QString &program, const QStringList &args)
{
    const QString setpriv = QStringLiteral("/usr/bin/setpriv");
    if (QFileInfo(setpriv).isExecutable())
        p.start(setpriv, QStringList{QStringLiteral("--pdeathsig"), QStringLiteral("TERM"), QStringLiteral("--"), program} + args);
    else
        p.start(program, args);
}

void startConsole(QProcess &p, const QString &folder, const QString &portDir, const QStringList &args)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TUVARN_DIALOGS"), QStringLiteral("auto"));
    env.insert(QStringLiteral("TUVARN_PORT_DIR"), portDir);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(folder);
    startChild(p, QStringLiteral(TUVARN_BIN_DIR "/station-console"), args);
    QVERIFY(p.waitForStarted(5000));
}

void finishes(QProcess &p, int code)
{
    QVERIFY(p.waitForFinished(15000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), code);
}

StationRun::StationRun()
{
    m_sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QObject::connect(&m_sim, &QProcess::readyReadStandardOutput, &m_sim, [this] { m_simOut += m_sim.readAllStandardOutput(); });
}

int StationRun::logged(const QString &message) const
{
    int n = 0;
    for (const LogEntry &e : log())
        n += e.message == message;
    return n;
}

void StationRun::prepare(const QByteArray &ini)
{
    m_failed = true;
    QVERIFY(m_dir.isValid());
    QDir dir(m_dir.path());
    QVERIFY(dir.mkpath(QStringLiteral("track")));
    QVERIFY(dir.mkpath(QStringLiteral("ports")));
    QFile file(path(QStringLiteral("tuvarn.ini")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(ini);
}

void StationRun::startConsole()
{
    m_console.setStandardOutputFile(path(QStringLiteral("console.out")));
    m_console.setStandardErrorFile(path(QStringLiteral("console.err")));
    e2e::startConsole(m_console, m_dir.path(), path(QStringLiteral("ports")));
}

void StationRun::startSim(const QStringList &args, const std::function<void()> &beforeEachTry)
{
    QElapsedTimer patience;
    patience.start();
    for (;;) {
        if (beforeEachTry)
            beforeEachTry();
        m_simOut.clear();
        startChild(m_sim, QStringLiteral(TUVARN_BIN_DIR "/station-sim"), args);
        QVERIFY(m_sim.waitForStarted(5000));
        QTRY_VERIFY_WITH_TIMEOUT(m_simOut.startsWith("ready port=") || m_sim.state() == QProcess::NotRunning, 15000);
        if (m_simOut.startsWith("ready port="))
            return;
        QVERIFY2(m_sim.exitCode() == 2 && patience.elapsed() < 60000, "station-sim did not get ready");
        QTest::qWait(1000);
    }
}

void StationRun::endConsole()
{
    QCOMPARE(m_console.state(), QProcess::Running);
    ::kill(pid_t(m_console.processId()), SIGTERM);
    E2E_STEP(finishes(m_console, 0));
    const QByteArray log = readFile(QStringLiteral("tuvarn.log"));
    QVERIFY2(log.endsWith("  The end\r\n"), log.right(60).constData());
}

void StationRun::endSim()
{
    // Checked first: a signal to process id 0 would reach the whole group.
    QCOMPARE(m_sim.state(), QProcess::Running);
    ::kill(pid_t(m_sim.processId()), SIGTERM);
    QVERIFY(m_sim.waitForFinished(15000));
    QCOMPARE(m_sim.exitCode(), 0);
}

void StationRun::tearDown()
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

} // namespace e2e
