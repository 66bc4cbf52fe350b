// Real predictions end to end: made-up elements of a satellite that passes
// straight over the station two minutes from now; track-predict writes the
// pass, the console loads, uploads, tracks and records it, the stand-in plays
// the hardware (and writes no passes of its own).
#include "../e2e/stationprocess.h"

#include <QRegularExpression>
#include <csignal>

namespace {
const QByteArray Predict = "# test station\nLatitude 59.9375\nLongitude 30.3086\nHeight 10\n"
                           "Elements elements\nLead 60\nSatellite 90001 1 5\n";
}

class TestPredictEndToEnd : public QObject
{
    Q_OBJECT
    e2e::StationRun m_run;
    QProcess m_predict;

    QString path(const QString &name) const { return m_run.path(name); }
    QStringList dataFiles() const { return QDir(path(QStringLiteral("data"))).entryList(QDir::Files, QDir::Name); }
    QString predictLog() const { return QString::fromUtf8(m_run.readFile(QStringLiteral("predict.log"))); }

private slots:
    void initTestCase();
    void passPredictedTrackedAndRecorded();
    void predictorStopsCleanly();
    void cleanup() { m_run.noteResult(); }
    void cleanupTestCase();
};

void TestPredictEndToEnd::initTestCase()
{
    E2E_STEP(m_run.prepare(e2e::stationIni(3, true, false)));
    QVERIFY(QDir(path(QString())).mkpath(QStringLiteral("elements")));
    QFile predict(path(QStringLiteral("predict.ini")));
    QVERIFY(predict.open(QIODevice::WriteOnly));
    predict.write(Predict);
    predict.close();

    // Straight overhead 110 s from now.
    QProcess make;
    make.setStandardOutputFile(path(QStringLiteral("elements/made-up.tle")));
    make.start(QStringLiteral("/usr/bin/python3"),
               {QStringLiteral(TUVARN_SOURCE_DIR "/tests/predict/overhead.py"), QStringLiteral("--lat"),
                QStringLiteral("59.9375"), QStringLiteral("--lon"), QStringLiteral("30.3086"),
                QStringLiteral("--in-seconds"), QStringLiteral("110")});
    QVERIFY(make.waitForFinished(30000));
    QCOMPARE(make.exitCode(), 0);

    const QStringList simArgs = {
        QStringLiteral("--port-dir"), path(QStringLiteral("ports")), QStringLiteral("--port"), QStringLiteral("3"),
        QStringLiteral("--demod-port"), QStringLiteral("6002"), QStringLiteral("--transcript"), path(QStringLiteral("sim.jsonl")),
        QStringLiteral("--travel"), QStringLiteral("1"), QStringLiteral("--start-lead"), QStringLiteral("8"),
        QStringLiteral("--no-control")};
    E2E_STEP(m_run.startSim(simArgs));
    E2E_STEP(m_run.startConsole());

    m_predict.setWorkingDirectory(path(QString()));
    m_predict.setStandardOutputFile(path(QStringLiteral("predict.out")));
    m_predict.setStandardErrorFile(path(QStringLiteral("predict.err")));
    e2e::startChild(m_predict, QStringLiteral(TUVARN_BIN_DIR "/track-predict"), {});
    QVERIFY(m_predict.waitForStarted(5000));
    m_run.setUpDone();
}

void TestPredictEndToEnd::passPredictedTrackedAndRecorded()
{
    // Written a minute before its first reachable point.
    static const QRegularExpression written(
        QStringLiteral("written: TESTSAT \\(orbit (\\d+)\\), first reachable (\\S+ \\S+) UTC, (\\d+) s, to "));
    QTRY_VERIFY_WITH_TIMEOUT(written.match(predictLog()).hasMatch() || m_predict.state() != QProcess::Running, 90000);
    const QRegularExpressionMatch m = written.match(predictLog());
    QVERIFY2(m.hasMatch(), qPrintable(predictLog() + m_run.readFile(QStringLiteral("predict.err"))));
    const QString orbit = m.captured(1);
    const QDateTime read = QDateTime::fromString(m.captured(2), QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    const QDateTime first(read.date(), read.time(), Qt::UTC);
    const int seconds = m.captured(3).toInt();
    QVERIFY2(seconds >= 20 && seconds <= 80, qPrintable(m.captured(0)));

    // Loaded (the console's start is the first reachable point), uploaded, tracked, finished.
    const QString loaded = QStringLiteral("Track loaded: TESTSAT. Start at ")
        + first.toUTC().toString(QStringLiteral("dd.MM.yyyy  hh:mm:ss"));
    QTRY_VERIFY_WITH_TIMEOUT(m_run.logged(loaded) == 1, 20000);
    QTRY_VERIFY_WITH_TIMEOUT(m_run.logged(QStringLiteral("received ok")) == 1, 20000);
    QTRY_VERIFY_WITH_TIMEOUT(m_run.logged(QStringLiteral("finish")) == 1, 180000);
    QTRY_VERIFY_WITH_TIMEOUT(dataFiles().filter(QRegularExpression(QStringLiteral("\\.dat$"))).size() == 1, 10000);

    // The upload carried every point the predictor counted, for the pass's start.
    const QList<QJsonObject> uploads = e2e::ofKind(m_run.transcript(), "rx", "upload");
    QCOMPARE(uploads.size(), 1);
    QCOMPARE(uploads[0].value(QStringLiteral("n")).toInt(), seconds);
    const QDateTime midnight(first.toUTC().date(), QTime(0, 0), Qt::UTC);
    QCOMPARE(uploads[0].value(QStringLiteral("startSecondOfDay")).toInt(), int(midnight.secsTo(first)));

    // The file was taken and archived under the satellite and orbit.
    QVERIFY(!QFile::exists(path(QStringLiteral("track/Track.txt"))));
    const QStringList archived = QDir(path(QStringLiteral("track"))).entryList(QDir::Files);
    QCOMPARE(archived.size(), 1);
    QVERIFY2(archived[0].startsWith(QStringLiteral("TESTSAT(") + orbit + QStringLiteral(")_")), qPrintable(archived[0]));
    const QStringList data = dataFiles();
    QVERIFY2(data.contains(QStringLiteral("TESTSAT (") + orbit + QStringLiteral(").uu")), qPrintable(data.join(QLatin1Char('|'))));

    // The predictor waits for the pass to end before it plans the next.
    QVERIFY(predictLog().contains(QStringLiteral("waiting: the pass written last is not over until ")));
    for (const e2e::LogEntry &e : m_run.log())
        QVERIFY2(!e.message.contains(QStringLiteral("error")) && !e.message.contains(QStringLiteral("too late")),
                 qPrintable(e.message));
}

void TestPredictEndToEnd::predictorStopsCleanly()
{
    QCOMPARE(m_predict.state(), QProcess::Running);
    ::kill(pid_t(m_predict.processId()), SIGTERM);
    E2E_STEP(e2e::finishes(m_predict, 0));
    QVERIFY2(predictLog().endsWith(QStringLiteral("  stopped\n")), qPrintable(predictLog().right(80)));
    E2E_STEP(m_run.endConsole());
    E2E_STEP(m_run.endSim());
}

void TestPredictEndToEnd::cleanupTestCase()
{
    if (m_predict.state() != QProcess::NotRunning) {
        ::kill(pid_t(m_predict.processId()), SIGTERM);
        if (!m_predict.waitForFinished(10000))
            m_predict.kill();
    }
    m_run.tearDown();
}

QTEST_GUILESS_MAIN(TestPredictEndToEnd)
#include "tst_predict_e2e.moc"
