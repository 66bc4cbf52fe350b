// The station measures its own pointing: the stand-in injects a known error of
// the pointing model, the console records six scanned passes, and
// track-calibrate must find the error again (or call a true station good).
#include "stationprocess.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <memory>

class TestCalibrateE2e : public QObject
{
    Q_OBJECT

private slots:
    void sixPassesGiveTheError_data();
    void sixPassesGiveTheError();
};

void TestCalibrateE2e::sixPassesGiveTheError_data()
{
    QTest::addColumn<QString>("error"); // --pointing-error, empty: none
    QTest::addColumn<double>("scale");
    QTest::addColumn<double>("rot");
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("y");
    QTest::newRow("injected") << "scale=1.015,rot=0.4,x=3,y=-2" << 1.015 << 0.4 << 3.0 << -2.0;
    QTest::newRow("none") << "" << 1.0 << 0.0 << 0.0 << 0.0;
}

void TestCalibrateE2e::sixPassesGiveTheError()
{
    QFETCH(QString, error);
    QFETCH(double, scale);
    QFETCH(double, rot);
    QFETCH(double, x);
    QFETCH(double, y);
    constexpr int Passes = 6, Points = 150;
    e2e::StationRun run;
    // Ends what still runs and keeps the folder of a failed case, however it ends.
    struct Guard
    {
        e2e::StationRun &run;
        ~Guard()
        {
            run.noteResult();
            run.tearDown();
        }
    } guard{run};
    QByteArray ini = e2e::stationIni(3, true, false);
    ini.replace("ScanModeRL\ndisable", "ScanModeRL\nenable");
    E2E_STEP(run.prepare(ini));
    QStringList args = QStringLiteral("--port 3 --demod-port 6002 --pass-lead 15 --start-lead 5 --travel 1 "
                                      "--pass-every 170 --vary-passes --no-control")
                           .split(QLatin1Char(' '));
    args << QStringLiteral("--port-dir") << run.path(QStringLiteral("ports")) << QStringLiteral("--track-path")
         << run.path(QStringLiteral("track/Track.txt")) << QStringLiteral("--pass-points") << QString::number(Points);
    args << (error.isEmpty() ? QStringList{QStringLiteral("--true-offset"), QStringLiteral("0")}
                             : QStringList{QStringLiteral("--pointing-error"), error});
    E2E_STEP(run.startSim(args, [&run] { QFile::remove(run.path(QStringLiteral("track/Track.txt"))); }));
    E2E_STEP(run.startConsole());
    run.setUpDone();

    const auto dataFiles = [&run] {
        return QDir(run.path(QStringLiteral("data"))).entryList({QStringLiteral("*.dat")}, QDir::Files);
    };
    // 15 s lead, then a pass every 170 s: about 17 minutes for six.
    QTRY_VERIFY_WITH_TIMEOUT(dataFiles().size() >= Passes || run.console().state() != QProcess::Running,
                             (15 + Passes * 170 + 120) * 1000);
    QCOMPARE(dataFiles().size(), Passes);
    E2E_STEP(run.endConsole());
    E2E_STEP(run.endSim());

    // track-calibrate's output over the recorded station, with these options.
    const auto calibrate = [&run](const QStringList &options) {
        QProcess tool;
        e2e::startChild(tool, QStringLiteral(TUVARN_BIN_DIR "/track-calibrate"),
                        QStringList{QStringLiteral("--station"), run.path(QString())} + options);
        const bool finished = tool.waitForFinished(60000);
        return qMakePair(finished ? tool.exitCode() : -1, tool.readAllStandardOutput());
    };
    const auto [code, out] = calibrate({QStringLiteral("--json")});
    const auto [textCode, summary] = calibrate({});
    QCOMPARE(code, 0);
    QCOMPARE(textCode, 0);
    const QJsonObject r = QJsonDocument::fromJson(out).object();
    const auto value = [&r](const char *key) { return r.value(key).toObject().value("value").toDouble(); };
    const QString got = QString::fromUtf8(out);
    QCOMPARE(r.value("passes").toInt(), Passes);
    QCOMPARE(r.value("excluded").toArray().size(), 0);
    QVERIFY2(std::fabs(value("scale") - scale) < 0.003, qPrintable(got));
    QVERIFY2(std::fabs(value("rotationDeg") - rot) < 0.1, qPrintable(got));
    QVERIFY2(std::fabs(value("offsetXmm") - x) < 0.8, qPrintable(got));
    QVERIFY2(std::fabs(value("offsetYmm") - y) < 0.8, qPrintable(got));
    QCOMPARE(r.value("good").toBool(), error.isEmpty());
    qInfo("%s", out.constData());

    QCOMPARE(summary.startsWith("pointing good: "), error.isEmpty());
    // The steps follow the fitted rotation: 0.4 +- 0.1 degrees is 3 or 4 steps.
    const int steps = r.value("suggest").toObject().value("northCorrSteps").toInt();
    if (!error.isEmpty())
        QVERIFY2(summary.startsWith("korr 1.0000 → 1.01") && (steps == 3 || steps == 4)
                     && summary.contains(QStringLiteral("north correction +%1 steps").arg(steps).toUtf8()),
                 summary.constData());
}

int main(int argc, char *argv[])
{
    // A case runs for about 17 minutes; Qt Test ends a test function after 5.
    if (!qEnvironmentVariableIsSet("QTEST_FUNCTION_TIMEOUT"))
        qputenv("QTEST_FUNCTION_TIMEOUT", "2400000");
    QCoreApplication app(argc, argv);
    TestCalibrateE2e test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_calibrate_e2e.moc"
