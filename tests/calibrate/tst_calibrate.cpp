#include "calibraterun.h"
#include "synthpass.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace calibration;

namespace {

bool writeSixPasses(const QString &folder, const Transform &t, double korr = 1.0)
{
    for (int k = 0; k < 6; ++k)
        if (!writeSynthPass(folder, QStringLiteral("pass%1.dat").arg(k), spreadPass(k), t, korr))
            return false;
    return true;
}

int runTool(const QStringList &args, QByteArray *out = nullptr)
{
    QProcess p;
    p.start(QStringLiteral(TUVARN_BIN_DIR "/track-calibrate"), args);
    if (!p.waitForFinished(30000))
        return -1;
    if (out)
        *out = p.readAllStandardOutput();
    return p.exitCode();
}

} // namespace

class TestCalibrate : public QObject
{
    Q_OBJECT

private slots:
    // The sweep estimate finds how far across the track the beam peaked.
    void sweepFindsThePeak_data()
    {
        QTest::addColumn<double>("across");
        QTest::addColumn<int>("ownOffset");
        QTest::addColumn<double>("beam");
        QTest::newRow("on the track") << 0.0 << 3 << 30.0;
        QTest::newRow("8 mm off") << 8.0 << 3 << 30.0;
        QTest::newRow("12 mm the other way, no own offset") << -12.0 << 0 << 30.0;
        QTest::newRow("narrow beam") << 5.0 << 3 << 20.0;
        QTest::newRow("wide beam") << -5.0 << 3 << 45.0;
    }
    void sweepFindsThePeak()
    {
        QFETCH(double, across);
        QFETCH(int, ownOffset);
        QFETCH(double, beam);
        QTemporaryDir dir;
        SynthOptions o;
        o.headingDeg = 20;
        o.ownOffset = ownOffset;
        o.beamMm = beam;
        // A pure across-track shift: the image moved along the normal, which for
        // a straight chord is the same everywhere.
        const QPointF n = chordNormal(chordPoint(o, 1), chordPoint(o, 0));
        QVERIFY(writeSynthPass(dir.path(), "a.dat", o, {1, 0, across * n.x(), across * n.y()}));
        const PassAcrossTrack pass = estimateAcrossTrackOfFile(dir.filePath("a.dat"));
        QCOMPARE(pass.error, QString());
        QVERIFY2(pass.found.size() >= 10, qPrintable(QString::number(pass.found.size())));
        QVERIFY2(std::fabs(pass.meanMm - across) < 0.5, qPrintable(QString::number(pass.meanMm)));
        QVERIFY2(pass.spreadMm < 0.8, qPrintable(QString::number(pass.spreadMm)));
        QVERIFY2(std::fabs(pass.widthMm - beam) < beam * 0.1, qPrintable(QString::number(pass.widthMm)));
    }

    // From the files to the advice: the fit finds the injected transform, and a
    // station without error is called good.
    void filesGiveTheTransform_data()
    {
        QTest::addColumn<double>("scale");
        QTest::addColumn<double>("rot");
        QTest::addColumn<double>("x");
        QTest::addColumn<double>("y");
        QTest::addColumn<double>("korr");
        QTest::addColumn<bool>("good");
        QTest::addColumn<int>("north");
        QTest::newRow("none") << 1.0 << 0.0 << 0.0 << 0.0 << 1.0 << true << 0;
        QTest::newRow("all four") << 1.015 << 0.4 << 3.0 << -2.0 << 1.0 << false << 4;
        QTest::newRow("scale on a korr already set") << 0.99 << 0.0 << 0.0 << 0.0 << 1.02 << false << 0;
        QTest::newRow("rotation the other way") << 1.0 << -0.9 << 0.0 << 0.0 << 1.0 << false << -8;
    }
    void filesGiveTheTransform()
    {
        QFETCH(double, scale);
        QFETCH(double, rot);
        QFETCH(double, x);
        QFETCH(double, y);
        QFETCH(double, korr);
        QFETCH(bool, good);
        QFETCH(int, north);
        QTemporaryDir dir;
        QVERIFY(writeSixPasses(dir.path(), {scale, rot, x, y}, korr));
        const Run run = calibrate(dir.path(), selectDataFiles(dir.path(), {}));
        QCOMPARE(run.fit.error, QString());
        QCOMPARE(run.used.size(), 6);
        const PointingFit &f = run.fit;
        const QString got = QStringLiteral("%1 %2 %3 %4").arg(f.scale.value).arg(f.rotationDeg.value)
                                .arg(f.offsetXmm.value).arg(f.offsetYmm.value);
        QVERIFY2(std::fabs(f.scale.value - scale) < 0.003, qPrintable(got));
        QVERIFY2(std::fabs(f.rotationDeg.value - rot) < 0.1, qPrintable(got));
        QVERIFY2(std::fabs(f.offsetXmm.value - x) < 0.8 && std::fabs(f.offsetYmm.value - y) < 0.8, qPrintable(got));
        // Honest uncertainties: neither zero nor larger than the bounds.
        QVERIFY(f.scale.sigma > 0 && f.scale.sigma < 0.003);
        QVERIFY(f.rotationDeg.sigma > 0 && f.rotationDeg.sigma < 0.1);
        QVERIFY(f.rmsAfterMm < f.rmsBeforeMm || good);
        QCOMPARE(run.advice.good, good);
        QCOMPARE(run.advice.northCorrSteps, good ? 0 : north);
        if (!good && std::fabs(scale - 1) > 0.005)
            QVERIFY(std::fabs(run.advice.korr - korr * scale) < 0.003);
        QCOMPARE(textReport(run).startsWith("pointing good: "), good);
    }

    // Passes that cannot be used are listed with their reason; too little
    // gives no fit, and the program says so by its exit code.
    void badInputIsListed_data()
    {
        QTest::addColumn<QByteArray>("broken");   // one more file with this text, when not empty
        QTest::addColumn<int>("goodPasses"); // 6 or none
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("file the reader refuses") << QByteArray("TuVaRN data file\nnothing\n") << 6 << QStringList()
                                                 << "unreadable: file bad" << 0;
        QTest::newRow("pass without scan") << QByteArray("noscan") << 6 << QStringList() << "no scan across the track" << 0;
        QTest::newRow("pass without signal") << QByteArray("nosignal") << 6 << QStringList()
                                             << "too little signal: 0 of " << 0;
        QTest::newRow("track along the y axis") << QByteArray("along y") << 6 << QStringList()
                                                << "the track runs along the y axis" << 0;
        QTest::newRow("folder without data") << QByteArray() << 0 << QStringList() << "" << 3;
        QTest::newRow("last 2 of 6") << QByteArray() << 6 << QStringList{"--last", "2"} << "" << 3;
        QTest::newRow("bad --last") << QByteArray() << 6 << QStringList{"--last", "x"} << "" << 2;
        QTest::newRow("bad --since") << QByteArray() << 6 << QStringList{"--since", "2026-13-01"} << "" << 2;
        QTest::newRow("no station folder") << QByteArray() << 6 << QStringList{"--station", "/nonexistent/x"} << "" << 2;
    }
    void badInputIsListed()
    {
        QFETCH(QByteArray, broken);
        QFETCH(int, goodPasses);
        QFETCH(QStringList, args);
        QFETCH(QString, reason);
        QFETCH(int, exitCode);
        QTemporaryDir station;
        const QString data = station.filePath("data");
        QVERIFY(QDir().mkpath(data));
        if (goodPasses == 6)
            QVERIFY(writeSixPasses(data, {1.01, 0, 0, 0}));
        if (broken == "noscan" || broken == "nosignal" || broken == "along y") {
            SynthOptions o;
            o.headingDeg = broken == "along y" ? 180 : 20;
            o.step = broken == "noscan" ? 0 : 10;
            o.peakSnrDb = broken == "nosignal" ? 0.5 : 25;
            QVERIFY(writeSynthPass(data, "zz.dat", o, {}));
        } else if (!broken.isEmpty()) {
            QFile f(data + "/zz.dat");
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(broken);
        }
        const Run run = calibrate(data, selectDataFiles(data, {}));
        if (!reason.isEmpty()) {
            QCOMPARE(run.excluded.size(), 1);
            QCOMPARE(run.excluded.first().file, QString("zz.dat"));
            QVERIFY2(run.excluded.first().across.error.startsWith(reason), qPrintable(run.excluded.first().across.error));
            QVERIFY(textReport(run).contains("left out zz.dat: " + reason));
        }
        QByteArray out;
        QCOMPARE(runTool(QStringList{"--station", station.path(), "--json"} + args, &out), exitCode);
        if (exitCode != 2) {
            const QJsonObject json = QJsonDocument::fromJson(out).object();
            QCOMPARE(json.value("excluded").toArray().size(), reason.isEmpty() ? 0 : 1);
            for (const char *key : {"scale", "rotationDeg", "offsetXmm", "offsetYmm", "rmsBeforeMm", "suggest"})
                QCOMPARE(json.contains(key), exitCode == 0);
        }
    }

    // Degenerate geometry is refused, not answered with nonsense.
    void alikePassesGiveNoFit()
    {
        QVector<AcrossMeasurement> m;
        for (int i = 0; i < 20; ++i)
            m.append({100.0, double(i * 10), 1, 0, 2.0}); // one line, one normal
        QVERIFY(!fitPointing(m).error.isEmpty());
        QVERIFY(!fitPointing(m.mid(0, 5)).error.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestCalibrate)
#include "tst_calibrate.moc"
