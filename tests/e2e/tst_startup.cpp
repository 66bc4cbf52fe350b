// station-console as a process: start-up failures, the event log of a clean
// run ended by a signal, and service mode.
#include "stationprocess.h"

#include <csignal>

using e2e::finishes;

namespace {
const QByteArray GoodIni = e2e::stationIni(7, false, false);
}

class TestStartup : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QByteArray readFile(const QString &name) { return e2e::readFile(m_dir.filePath(name)); }
    void writeFile(const QString &name, const QByteArray &bytes)
    {
        QFile f(m_dir.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    void start(QProcess &p, const QStringList &args = {}) { e2e::startConsole(p, m_dir.path(), m_dir.path(), args); }
    // The dialog lines of standard error (the toolkit may add its own notes).
    static QByteArray promptsOf(QProcess &p)
    {
        QByteArray out;
        for (const QByteArray &line : p.readAllStandardError().split('\n'))
            if (line.startsWith("dialog "))
                out += line + '\n';
        return out;
    }
private slots:
    void init()
    {
        QDir dir(m_dir.path());
        for (const QString &f : dir.entryList(QDir::Files))
            dir.remove(f);
        dir.mkpath(QStringLiteral("track"));
    }

    void noSettingsWritesExampleAndEnds()
    {
        QProcess p;
        start(p);
        finishes(p, 0);
        QVERIFY(p.readAllStandardError().contains("dialog message:   No ini file,\\nlook example.ini\n"));
        const QByteArray xmp = readFile(QStringLiteral("tuvarn.xmp"));
        QCOMPARE(xmp.count("\r\n"), 29);
        QVERIFY(xmp.startsWith("Tuvarn_ini_file\r\nStationName\r\nName\r\nTrackPath\r\nC:\\Tuvarn\\Track\\Track.txt\r\n"));
        QVERIFY(xmp.endsWith("korr\r\n1.0\r\n"));
        QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("tuvarn.log"))));
    }

    void rejectedSettingsAreReportedAndLogged_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QByteArray>("prompts");
        QByteArray badPort = GoodIni;
        badPort.replace("Port\n7\n", "Port\n51\n");
        QTest::newRow("port 51") << badPort << QByteArray("dialog message: ini file error in 1 string.\\r\\n look example.ini\n");
        QByteArray badPath = GoodIni;
        badPath.replace("track/Track.txt", "nowhere/Track.txt");
        QTest::newRow("track folder missing")
            << badPath
            << QByteArray("dialog message: bad track path\ndialog message: ini file error in 4 string.\\r\\n look example.ini\n");
    }
    void rejectedSettingsAreReportedAndLogged()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QByteArray, prompts);
        writeFile(QStringLiteral("tuvarn.ini"), ini);
        writeFile(QStringLiteral("tuvarn.log"), "earlier");
        QProcess p;
        start(p);
        finishes(p, 0);
        QCOMPARE(promptsOf(p), prompts);
        QCOMPARE(readFile(QStringLiteral("tuvarn.log")), QByteArray("earlier\r\nTuVaRN ini file failed"));
        QCOMPARE(readFile(QStringLiteral("tuvarn.xmp")).count("\r\n"), 29);
    }

    void signalEndsAnOperatorRunCleanly_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
    }
    void signalEndsAnOperatorRunCleanly()
    {
        QFETCH(int, signal);
        writeFile(QStringLiteral("tuvarn.ini"), GoodIni);
        QProcess p;
        start(p);
        QTRY_VERIFY_WITH_TIMEOUT(readFile(QStringLiteral("tuvarn.log")).contains("port absent"), 10000);
        ::kill(pid_t(p.processId()), signal);
        finishes(p, 0);
        const QByteArray log = readFile(QStringLiteral("tuvarn.log"));
        QVERIFY2(log.startsWith("\r\n***********\r\n  "), log.constData());
        QVERIFY(log.contains("  *** TuVaRN log started ***\r\n===\r\nTuVaRN ini file loaded:\r\n\r\n StationName Test station\r\n TrackPath track/Track.txt\r\n Focus 1400\r\n Radius 500\r\n Port 7\r\n TimeCorr disable\r\n==="));
        QVERIFY2(log.endsWith("  The end\r\n"), log.right(40).constData());
        QCOMPARE(log.count("port absent"), 1);
    }

    void serviceModeKeepsNoLog()
    {
        writeFile(QStringLiteral("tuvarn.ini"), GoodIni);
        QProcess p;
        start(p, {QStringLiteral("qzx")});
        QTest::qWait(1500); // let the first once-per-second step run
        QCOMPARE(p.state(), QProcess::Running);
        ::kill(pid_t(p.processId()), SIGTERM);
        finishes(p, 0);
        QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("tuvarn.log"))));
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
