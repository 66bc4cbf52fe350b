// The programs' shared options as processes: --version and --help answer
// without a display, and --station DIR works in DIR exactly as a start in DIR
// would (mode word included).
#include "stationprocess.h"

#include "tuvarn_version.h"

#include <csignal>

using e2e::finishes;

namespace {
// A process of `program` with no display at all: the toolkit must not be needed.
void startWithoutDisplay(QProcess &p, const QString &program, const QStringList &args)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    p.setProcessEnvironment(env);
    e2e::startChild(p, QStringLiteral(TUVARN_BIN_DIR "/") + program, args);
    QVERIFY(p.waitForStarted(5000));
}

// A program in `cwd` with prompts answered on standard error, offscreen.
void startOffscreen(QProcess &p, const QString &program, const QString &cwd, const QStringList &args)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TUVARN_DIALOGS"), QStringLiteral("auto"));
    env.insert(QStringLiteral("TUVARN_PORT_DIR"), cwd);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(cwd);
    e2e::startChild(p, QStringLiteral(TUVARN_BIN_DIR "/") + program, args);
    QVERIFY(p.waitForStarted(5000));
}
}

class TestOptions : public QObject
{
    Q_OBJECT

    QTemporaryDir m_elsewhere; // the working folder the programs are started in
    QTemporaryDir m_station;

    QString station(const QString &name = {}) const { return name.isEmpty() ? m_station.path() : m_station.filePath(name); }

private slots:
    void init()
    {
        for (QTemporaryDir *d : {&m_elsewhere, &m_station}) {
            QDir dir(d->path());
            dir.removeRecursively();
            dir.mkpath(QStringLiteral("track"));
        }
    }

    void answersWithoutDisplay_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("firstLine");
        const QByteArray v = TUVARN_VERSION;
        QTest::newRow("console version") << "station-console" << QStringList{"--version"} << "station-console " + v;
        QTest::newRow("console version with mode word") << "station-console" << QStringList{"qzx", "--version"}
                                                        << "station-console " + v;
        QTest::newRow("viewer version") << "track-viewer" << QStringList{"--version"} << "track-viewer " + v;
        QTest::newRow("stand-in version") << "station-sim" << QStringList{"--version"} << "station-sim " + v;
        QTest::newRow("console help") << "station-console" << QStringList{"--help"}
                                      << QByteArray("Usage: station-console [--station DIR] [qzx]");
        QTest::newRow("viewer help") << "track-viewer" << QStringList{"-h"} << QByteArray("Usage: track-viewer [--station DIR]");
    }
    void answersWithoutDisplay()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, args);
        QFETCH(QByteArray, firstLine);
        QProcess p;
        E2E_STEP(startWithoutDisplay(p, program, args));
        finishes(p, 0);
        QCOMPARE(p.readAllStandardOutput().split('\n').first(), firstLine);
        QCOMPARE(p.readAllStandardError(), QByteArray());
    }

    void stationFolderThatCannotBeEntered_data()
    {
        QTest::addColumn<QString>("program");
        QTest::newRow("console") << "station-console";
        QTest::newRow("viewer") << "track-viewer";
    }
    void stationFolderThatCannotBeEntered()
    {
        QFETCH(QString, program);
        const QString missing = station(QStringLiteral("missing"));
        QProcess p;
        E2E_STEP(startOffscreen(p, program, m_elsewhere.path(), {QStringLiteral("--station"), missing}));
        finishes(p, 2);
        const QByteArray err = p.readAllStandardError();
        const QByteArray text = "Station folder " + missing.toUtf8() + ": No such file or directory";
        QVERIFY2(err.contains(program.toUtf8() + ": " + text + '\n'), err.constData());
        QVERIFY2(err.contains("dialog message: " + text + '\n'), err.constData()); // the operator sees it too
        QCOMPARE(QDir(m_elsewhere.path()).entryList(QDir::Files), QStringList());
    }

    void stationWithoutFolderIsAUsageError()
    {
        QProcess p;
        E2E_STEP(startWithoutDisplay(p, QStringLiteral("station-console"), {QStringLiteral("--station")}));
        finishes(p, 1);
        QCOMPARE(p.readAllStandardError(), QByteArray("station-console: --station wants a folder (see --help)\n"));
    }

    // No settings in the station folder: the example is written there, not
    // where the console was started.
    void consoleWorksInTheStationFolder()
    {
        QProcess p;
        E2E_STEP(startOffscreen(p, QStringLiteral("station-console"), m_elsewhere.path(),
                                {QStringLiteral("--station"), station()}));
        finishes(p, 0);
        QVERIFY(p.readAllStandardError().contains("dialog message:   No ini file,\\nlook example.ini\n"));
        QVERIFY(QFile::exists(station(QStringLiteral("tuvarn.xmp"))));
        QCOMPARE(QDir(m_elsewhere.path()).entryList(QDir::Files), QStringList());
    }

    // The mode word still decides the mode when the folder is named.
    void modeWordBesideStation_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("logged");
        QTest::newRow("operator") << QStringList{"--station", station()} << true;
        QTest::newRow("service") << QStringList{"--station", station(), "qzx"} << false;
        QTest::newRow("service, folder last") << QStringList{"qzx", "--station=" + station()} << false;
        QTest::newRow("two words: operator") << QStringList{"qzx", "--station", station(), "x"} << true;
    }
    void modeWordBesideStation()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, logged);
        QFile ini(station(QStringLiteral("tuvarn.ini")));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write(e2e::stationIni(7, false, false));
        ini.close();
        QProcess p;
        E2E_STEP(startOffscreen(p, QStringLiteral("station-console"), m_elsewhere.path(), args));
        if (logged) {
            QTRY_VERIFY_WITH_TIMEOUT(e2e::readFile(station(QStringLiteral("tuvarn.log"))).contains("port absent"), 10000);
        } else {
            QTest::qWait(1500); // a service-mode run has nothing to wait for: give it its first second
            QCOMPARE(p.state(), QProcess::Running);
        }
        ::kill(pid_t(p.processId()), SIGTERM);
        finishes(p, 0);
        QCOMPARE(QFile::exists(station(QStringLiteral("tuvarn.log"))), logged);
        if (logged)
            QVERIFY(e2e::readFile(station(QStringLiteral("tuvarn.log"))).endsWith("  The end\r\n"));
        QCOMPARE(QDir(m_elsewhere.path()).entryList(QDir::Files), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestOptions)
#include "tst_options.moc"
