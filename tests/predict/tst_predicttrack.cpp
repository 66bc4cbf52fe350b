// track-predict writes a track file; the console's own loader and pass
// analysis read it. What the predictor counted as reachable must be what the
// console counts, and the file must load whole.
#include "../pass/passtestsupport.h"
#include "frames.h"
#include "passtiming.h"
#include "trackfile.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {
const QString Now = QStringLiteral("2026-12-08 00:00:00");

QByteArray ini(const QString &trackPath, const QByteArray &focus, const QByteArray &radius, const QByteArray &korr)
{
    return "Tuvarn_ini_file\nStationName\nPredicted\nTrackPath\n" + trackPath.toUtf8() + "\nFocus\n" + focus
        + "\nRadius\n" + radius + "\nPort\n3\nTimeCorr\ndisable\nMaxDeviation\n40\nDeviationStep\n4\n"
          "DeviationPorog\n0.2\nDemodulator\nenable\nFeedback\ndisable\nScanModeRL\ndisable\nScanModeFB\ndisable\n"
          "korr\n" + korr + "\n";
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}
} // namespace

class TestPredictTrack : public QObject
{
    Q_OBJECT
    passtest::Harness m_h;

private slots:
    void init() { m_h.install(); }
    void cleanup() { m_h.uninstall(); }
    void consoleCountsWhatWasPlanned_data();
    void consoleCountsWhatWasPlanned();
};

void TestPredictTrack::consoleCountsWhatWasPlanned_data()
{
    QTest::addColumn<QByteArray>("focus");
    QTest::addColumn<QByteArray>("radius");
    QTest::addColumn<QByteArray>("korr");
    QTest::addColumn<int>("minimum"); // reachable seconds of the planned pass, at least

    QTest::newRow("example station") << QByteArray("1400") << QByteArray("500") << QByteArray("1.0") << 30;
    // Radius truncated to 500 mm, korr in single precision.
    QTest::newRow("fractional radius, korr") << QByteArray("1400") << QByteArray("500.9") << QByteArray("0.93") << 30;
    QTest::newRow("wide reach") << QByteArray("900") << QByteArray("700") << QByteArray("1.0") << 100;
    // Nearly the whole pass is reachable: more than one upload carries.
    QTest::newRow("cut to the upload limit") << QByteArray("100") << QByteArray("5000") << QByteArray("1") << MaxUploadPoints;
}

void TestPredictTrack::consoleCountsWhatWasPlanned()
{
    QFETCH(QByteArray, focus);
    QFETCH(QByteArray, radius);
    QFETCH(QByteArray, korr);
    QFETCH(int, minimum);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("track")));
    const QString trackPath = dir.filePath(QStringLiteral("track/Track.txt"));
    QVERIFY(writeFile(dir.filePath(QStringLiteral("tuvarn.ini")), ini(trackPath, focus, radius, korr)));
    QVERIFY(writeFile(dir.filePath(QStringLiteral("predict.ini")),
                      "Latitude 59.9375\nLongitude 30.3086\nHeight 10\nElements overhead.tle\nSatellite 90001 1 5\n"));
    QVERIFY(QFile::copy(QStringLiteral(TUVARN_TEST_DATA "/predict/overhead.tle"), dir.filePath(QStringLiteral("overhead.tle"))));

    QProcess predict;
    predict.setWorkingDirectory(dir.path());
    predict.start(QStringLiteral(TUVARN_BIN_DIR "/track-predict"), {QStringLiteral("--once"), QStringLiteral("--now"), Now});
    QVERIFY(predict.waitForFinished(60000));
    const QString out = QString::fromUtf8(predict.readAllStandardOutput());
    QVERIFY2(predict.exitCode() == 0, qPrintable(out + QString::fromUtf8(predict.readAllStandardError())));
    static const QRegularExpression written(
        QStringLiteral("written: TESTSAT \\(orbit (\\d+)\\), first reachable (\\S+ \\S+) UTC, (\\d+) s,"));
    const QRegularExpressionMatch m = written.match(out);
    QVERIFY2(m.hasMatch(), qPrintable(out));
    const int planned = m.captured(3).toInt();
    QVERIFY2(planned >= minimum && planned <= MaxUploadPoints, qPrintable(out));

    // The console's way: its settings parser, its loader, its analysis.
    const QDateTime now = QDateTime::fromString(Now, QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    m_h.clock.setNowUtc(QDateTime(now.date(), now.time(), Qt::UTC));
    QVERIFY(QDir::setCurrent(dir.path()));
    QCOMPARE(int(loadSettingsFromBytes(m_h.settings, ini(trackPath, focus, radius, korr))), 0);
    QCOMPARE(loadTrackFile(m_h.plan, m_h.settings, m_h.serviceMode, trackPath), int(TrackOk));
    QCOMPARE(analysePass(m_h.plan, m_h.env()), 0);
    QCOMPARE(m_h.plan.reachableCount, planned);
    QCOMPARE(m_h.plan.satellite, QStringLiteral("TESTSAT"));
    QCOMPARE(m_h.plan.orbit, m.captured(1));
    const QDateTime first = QDateTime::fromString(m.captured(2), QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    QCOMPARE(m_h.plan.startUtc, QDateTime(first.date(), first.time(), Qt::UTC));

    // Below the horizon the points read back negative and the elevation runs
    // on smoothly through zero (a sign written wrongly jumps by a degree; low
    // down the elevation changes by well under a tenth of a degree a second).
    QVERIFY(m_h.plan.pointCount <= MaxTrackLines - 7);
    double lowest = 90;
    for (int i = 0; i < m_h.plan.pointCount; ++i) {
        lowest = qMin(lowest, m_h.plan.elevation.at(i) / passtest::Deg);
        if (i > 0 && std::fabs(m_h.plan.elevation.at(i)) < 10 * passtest::Deg)
            QVERIFY2(std::fabs(m_h.plan.elevation.at(i) - m_h.plan.elevation.at(i - 1)) < 0.3 * passtest::Deg,
                     qPrintable(QString::number(i)));
    }
    if (minimum < MaxUploadPoints)
        QVERIFY(lowest < 0);
    QVERIFY(m_h.log.filter(QStringLiteral("Track too")).isEmpty());
}

QTEST_GUILESS_MAIN(TestPredictTrack)
#include "tst_predicttrack.moc"
