// One whole pass, unattended: the stand-in writes a track file, plays the
// controller and the demodulator, and the console loads, uploads, tracks and
// records it. The data file is checked against what the stand-in's transcript
// says was sent and received.
#include "stationprocess.h"

#include <QRegularExpression>

using e2e::LogEntry;

namespace {

const QString TableHeader =
    QStringLiteral(" Fi       R     Korr    Korr0     P      SNR     N      X      step    err");

// A sample written "%.2f" from a value in tenths of a dB: back to exact tenths.
bool sampleTenths(const QString &text, int *tenths)
{
    static const QRegularExpression form(QStringLiteral("^(-?\\d+)\\.(\\d)0$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return false;
    const int whole = m.captured(1).toInt();
    const int tenth = m.captured(2).toInt();
    *tenths = whole * 10 + (text.startsWith(QLatin1Char('-')) ? -tenth : tenth);
    return true;
}

// Rebuild a table row from its cells: text, suffix, padding up to the width.
QString rebuildRow(const QStringList &cells)
{
    static const int width[10] = {8, 8, 8, 8, 8, 8, 8, 10, 8, 0};
    static const int suffix[10] = {3, 2, 2, 2, 2, 2, 2, 2, 0, 2};
    QString row;
    for (int i = 0; i < cells.size() && i < 10; ++i) {
        QString cell = cells[i] + QString(suffix[i], QLatin1Char(' '));
        if (cell.size() < width[i])
            cell += QString(width[i] - cell.size(), QLatin1Char(' '));
        row += cell;
    }
    return row;
}

} // namespace

class TestPass : public QObject
{
    Q_OBJECT

    e2e::StationRun m_run;

    // What the pass left behind, read once it is over.
    QString m_dataName;
    QStringList m_dataLines;
    QStringList m_rows;
    QList<QStringList> m_power;
    QList<QStringList> m_snr;
    QString m_noiseText;
    int m_endLine = -1;
    QList<QJsonObject> m_transcript;

    QString path(const QString &name) const { return m_run.path(name); }
    QByteArray readFile(const QString &name) const { return m_run.readFile(name); }
    QList<LogEntry> log() const { return m_run.log(); }
    QList<QJsonObject> lines(const char *dir, const char *kind) const { return e2e::ofKind(m_transcript, dir, kind); }
    QStringList dataEntries() const
    {
        return QDir(path(QStringLiteral("data"))).entryList(QDir::Files, QDir::Name);
    }

    void startSim();
    void readDataFile();

private slots:
    void initTestCase();
    void passRunsToTheEnd();
    void logTellsThePassInOrder();
    void trackFileTakenAndArchived();
    void dataFolderHoldsOnePass();
    void titleNamesStationAndPass();
    void oneRowPerAnsweredRequest();
    void rowsFollowTheCorrections_data();
    void rowsFollowTheCorrections();
    void samplesAreDemodulatorAnswersInOrder();
    void noiseLevelFromTheNoiseFloor();
    void companionRepeatsTheMeans();
    void uploadWasWholeAndScheduled();
    void consoleEndsCleanly();
    void noExtrasWithoutTheirFile();
    void cleanup();
    void cleanupTestCase();
};

void TestPass::startSim()
{
    const QStringList args = {
        QStringLiteral("--port-dir"), path(QStringLiteral("ports")), QStringLiteral("--port"), QStringLiteral("3"),
        QStringLiteral("--demod-port"), QStringLiteral("6002"),
        QStringLiteral("--transcript"), path(QStringLiteral("sim.jsonl")),
        QStringLiteral("--track-path"), path(QStringLiteral("track/Track.txt")),
        QStringLiteral("--pass-lead"), QStringLiteral("25"), QStringLiteral("--pass-points"), QStringLiteral("8"),
        QStringLiteral("--travel"), QStringLiteral("1"), QStringLiteral("--start-lead"), QStringLiteral("8"),
        QStringLiteral("--no-control")};
    E2E_STEP(m_run.startSim(args, [this] { QFile::remove(path(QStringLiteral("track/Track.txt"))); }));
}

void TestPass::initTestCase()
{
    E2E_STEP(m_run.prepare(e2e::stationIni(3, true, true)));
    E2E_STEP(startSim());
    QVERIFY(QFile::exists(path(QStringLiteral("track/Track.txt"))));
    E2E_STEP(m_run.startConsole());
    m_run.setUpDone();
}

void TestPass::passRunsToTheEnd()
{
    // Pass start 25 s after the stand-in came up, 8 points: about 35 s in all.
    QTRY_VERIFY_WITH_TIMEOUT(m_run.logged(QStringLiteral("finish")) > 0 || m_run.console().state() == QProcess::NotRunning, 120000);
    QCOMPARE(m_run.console().state(), QProcess::Running);
    QTRY_VERIFY_WITH_TIMEOUT(dataEntries().size() >= 3, 10000);
    // Read the transcript once the stand-in has reported the finish itself.
    const auto finished = [this] {
        m_transcript = m_run.transcript();
        for (const QJsonObject &o : lines("tx", "status"))
            if (o.value(QStringLiteral("statusWord")).toInt() & 0x8000)
                return true;
        return false;
    };
    QTRY_VERIFY_WITH_TIMEOUT(finished(), 10000);
    readDataFile();
}

void TestPass::readDataFile()
{
    const QStringList dat = dataEntries().filter(QRegularExpression(QStringLiteral("\\.dat$")));
    if (dat.size() != 1)
        return;
    m_dataName = dat.first();
    m_dataLines = QString::fromUtf8(readFile(QStringLiteral("data/") + m_dataName)).split(QLatin1Char('\n'));
    const int header = m_dataLines.indexOf(TableHeader);
    int at = header + 1;
    while (header >= 0 && at < m_dataLines.size() && !m_dataLines[at].startsWith(QStringLiteral("Noise level ")))
        m_rows.append(m_dataLines[at++]);
    if (at >= m_dataLines.size())
        return;
    m_noiseText = m_dataLines[at].mid(12);
    const int n = m_rows.size();
    if (m_dataLines.value(at + 1) != QLatin1String("RealTime section") || m_dataLines.value(at + 2) != QLatin1String("Power level")
        || m_dataLines.value(at + 3 + n) != QLatin1String("SNR"))
        return;
    for (int k = 0; k < n; ++k) {
        m_power.append(m_dataLines[at + 3 + k].split(QLatin1Char(' '), Qt::SkipEmptyParts));
        m_snr.append(m_dataLines[at + 4 + n + k].split(QLatin1Char(' '), Qt::SkipEmptyParts));
    }
    m_endLine = at + 4 + 2 * n;
}

void TestPass::logTellsThePassInOrder()
{
    const QList<LogEntry> entries = log();
    // "port opened ok" comes from the first once-per-second step; a track read
    // at the first poll (in the constructor) would be logged before it.
    const QStringList steps = {QStringLiteral("port opened ok"), QStringLiteral("Track loaded: SIMSAT. Start at "),
                               QStringLiteral("track sent"), QStringLiteral("received ok"),
                               QStringLiteral("in start position"), QStringLiteral("tracking"), QStringLiteral("finish")};
    int at = 0;
    for (const QString &step : steps) {
        while (at < entries.size() && !entries[at].message.startsWith(step))
            ++at;
        QVERIFY2(at < entries.size(), qPrintable(QStringLiteral("not logged in order: ") + step));
        int count = 0;
        for (const LogEntry &e : entries)
            count += e.message.startsWith(step);
        QVERIFY2(count == 1, qPrintable(QStringLiteral("logged %1 times: %2").arg(count).arg(step)));
    }
    for (const LogEntry &e : entries) {
        QVERIFY2(!e.message.contains(QStringLiteral("Disconnected")) && !e.message.contains(QStringLiteral("error"))
                     && !e.message.contains(QStringLiteral("failed")) && !e.message.contains(QStringLiteral("absent")),
                 qPrintable(e.message));
    }

    // The start time announced is the stand-in's pass start.
    const QList<QJsonObject> passFiles = lines("sim", "pass-file");
    QCOMPARE(passFiles.size(), 1);
    const QDateTime start = QDateTime::fromString(passFiles[0].value(QStringLiteral("start")).toString(), Qt::ISODateWithMs);
    for (const LogEntry &e : entries)
        if (e.message.startsWith(QStringLiteral("Track loaded: ")))
            QCOMPARE(e.message, QStringLiteral("Track loaded: SIMSAT. Start at ")
                                    + start.toUTC().toString(QStringLiteral("dd.MM.yyyy  hh:mm:ss")));
}

void TestPass::trackFileTakenAndArchived()
{
    QVERIFY(!QFile::exists(path(QStringLiteral("track/Track.txt"))));
    const QStringList kept = QDir(path(QStringLiteral("track"))).entryList(QDir::Files);
    QCOMPARE(kept.size(), 1);
    static const QRegularExpression name(QStringLiteral("^SIMSAT\\(1\\)_(\\d{6}_\\d{6})\\.txt$"));
    const QRegularExpressionMatch m = name.match(kept.first());
    QVERIFY2(m.hasMatch(), qPrintable(kept.first()));

    // Named by the local time of the load.
    QDateTime named = QDateTime::fromString(m.captured(1), QStringLiteral("ddMMyy_hhmmss"));
    named = QDateTime(named.date().addYears(100), named.time(), Qt::LocalTime);
    QDateTime loadedAt;
    for (const LogEntry &e : log())
        if (e.message.startsWith(QStringLiteral("Track loaded: ")))
            loadedAt = e.at;
    QVERIFY(loadedAt.isValid());
    QVERIFY2(qAbs(named.toUTC().secsTo(loadedAt)) <= 2, qPrintable(kept.first()));

    // The archive is the stand-in's file, unchanged.
    QVERIFY(readFile(QStringLiteral("track/") + kept.first()).startsWith("Satellite: SIMSAT\n"));
}

void TestPass::dataFolderHoldsOnePass()
{
    const QStringList entries = dataEntries();
    QCOMPARE(entries.size(), 3);
    static const QRegularExpression dat(QStringLiteral("^SIMSAT \\(1\\)_(\\d{6}_\\d{6})\\.dat$"));
    const QRegularExpressionMatch m = dat.match(m_dataName);
    QVERIFY2(m.hasMatch(), qPrintable(entries.join(QLatin1Char('|'))));
    QVERIFY(entries.contains(m_dataName + QStringLiteral(".ai")));
    QVERIFY(entries.contains(QStringLiteral("SIMSAT (1).uu")));
    QVERIFY(!readFile(QStringLiteral("data/SIMSAT (1).uu")).isEmpty());

    // Written at the finish, named by the local time of writing.
    QDateTime named = QDateTime::fromString(m.captured(1), QStringLiteral("ddMMyy_hhmmss"));
    named = QDateTime(named.date().addYears(100), named.time(), Qt::LocalTime);
    QDateTime finishedAt;
    for (const LogEntry &e : log())
        if (e.message == QLatin1String("finish"))
            finishedAt = e.at;
    QVERIFY(finishedAt.isValid());
    QVERIFY2(qAbs(named.toUTC().secsTo(finishedAt)) <= 2, qPrintable(m_dataName));
    // The journal of the open pass went with its finish.
    QVERIFY(!QFile::exists(path(QStringLiteral("pass.journal"))));
}

void TestPass::titleNamesStationAndPass()
{
    QVERIFY(!m_dataLines.isEmpty());
    const QStringList title = {
        QStringLiteral("TuVaRN data file"), QStringLiteral("Configuration:"), QStringLiteral("ver 3.818d"),
        QStringLiteral("Station name Test station"), QStringLiteral("Radius 500"), QStringLiteral("Focus 1400"),
        QStringLiteral("Deviation threshold 0.2"), QStringLiteral("Deviation step 4"), QStringLiteral("Max. deviation 40"),
        QStringLiteral("FeedBack enable"), QStringLiteral("ScanLR disable"), QStringLiteral("ScanFB disable"),
        QStringLiteral("Korr. koeff.=1"), QStringLiteral("TrackInfo:")};
    QCOMPARE(m_dataLines.mid(0, title.size()), title);

    // The pass summary, then the table header directly after it.
    const QList<QJsonObject> uploads = lines("rx", "upload");
    QVERIFY(!uploads.isEmpty());
    const int points = uploads.last().value(QStringLiteral("n")).toInt();
    const QDateTime start = QDateTime::fromString(lines("sim", "pass-file").value(0).value(QStringLiteral("start")).toString(),
                                                  Qt::ISODateWithMs).toUTC();
    const int offsetHours = QDateTime::currentDateTime().offsetFromUtc() / 3600;
    QCOMPARE(m_dataLines.value(14), QStringLiteral("SIMSAT"));
    QVERIFY2(QRegularExpression(QStringLiteral("^max elevation \\d+\\.\\d\\d; %1 actual points$").arg(points))
                 .match(m_dataLines.value(15)).hasMatch(),
             qPrintable(m_dataLines.value(15)));
    QCOMPARE(m_dataLines.value(16), QStringLiteral("Start at ")
                                        + start.addSecs(3600 * offsetHours).toString(QStringLiteral("dd.MM.yyyy  hh:mm:ss")));
    QCOMPARE(m_dataLines.value(17), TableHeader);

    // The file ends right after the sample sections.
    QVERIFY(m_endLine > 0);
    QCOMPARE(m_dataLines.value(m_endLine), QStringLiteral("end"));
    QCOMPARE(m_dataLines.size(), m_endLine + 2);
    QCOMPARE(m_dataLines.last(), QString());
}

void TestPass::oneRowPerAnsweredRequest()
{
    const QList<QJsonObject> corrections = lines("rx", "correction");
    const QList<QJsonObject> requests = lines("tx", "request");
    QVERIFY(!corrections.isEmpty());
    QCOMPARE(m_rows.size(), corrections.size());
    QCOMPARE(corrections.size(), requests.size());
    QCOMPARE(lines("sim", "correction-missed").size(), 0);
    QCOMPARE(m_power.size(), m_rows.size());
    QCOMPARE(m_snr.size(), m_rows.size());
}

void TestPass::rowsFollowTheCorrections_data()
{
    QTest::addColumn<QString>("row");
    QTest::addColumn<QStringList>("power");
    QTest::addColumn<QStringList>("snr");
    QTest::addColumn<QJsonObject>("correction");
    const QList<QJsonObject> corrections = lines("rx", "correction");
    for (int k = 0; k < m_rows.size() && k < m_power.size() && k < corrections.size(); ++k)
        QTest::addRow("row %d", k) << m_rows[k] << m_power[k] << m_snr[k] << corrections[k];
    if (m_rows.isEmpty() || corrections.isEmpty())
        QTest::newRow("nothing recorded") << QString() << QStringList() << QStringList() << QJsonObject();
}

void TestPass::rowsFollowTheCorrections()
{
    QFETCH(QString, row);
    QFETCH(QStringList, power);
    QFETCH(QStringList, snr);
    QFETCH(QJsonObject, correction);

    QVERIFY2(!row.isEmpty() && !correction.isEmpty(), "no rows or no corrections to compare");
    const QStringList cells = row.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QCOMPARE(cells.size(), 10);
    QCOMPARE(row, rebuildRow(cells));
    // Korr: the byte the console answered with; Korr0 and step: the controller's
    // own offset and point index when it asked.
    QCOMPARE(cells[2].toInt(), correction.value(QStringLiteral("value")).toInt());
    QCOMPARE(cells[3].toInt(), correction.value(QStringLiteral("byte10")).toInt());
    QCOMPARE(cells[8].toInt(), correction.value(QStringLiteral("pointIndex")).toInt());
    QCOMPARE(cells[7], QStringLiteral("1"));
    QCOMPARE(cells[9], QStringLiteral("0"));

    // N and the means agree with the samples written for the row.
    QCOMPARE(cells[6].toInt(), power.size());
    QCOMPARE(snr.size(), power.size());
    QVERIFY(!power.isEmpty());
    QVERIFY(power.size() <= 20);
    double powerSum = 0, snrSum = 0;
    for (int j = 0; j < power.size(); ++j) {
        int p = 0, s = 0;
        QVERIFY2(sampleTenths(power[j], &p) && sampleTenths(snr[j], &s), qPrintable(power[j] + QLatin1Char('/') + snr[j]));
        powerSum += p / 10.0;
        snrSum += s / 10.0;
    }
    QVERIFY2(qAbs(powerSum / power.size() - cells[4].toDouble()) <= 0.0501, qPrintable(row));
    QVERIFY2(qAbs(snrSum / snr.size() - cells[5].toDouble()) <= 0.0501, qPrintable(row));
}

void TestPass::samplesAreDemodulatorAnswersInOrder()
{
    const QList<QJsonObject> answers = lines("tx", "demod");
    QVERIFY(!answers.isEmpty());
    QSet<QPair<int, int>> sent;
    for (const QJsonObject &a : answers)
        sent.insert({a.value(QStringLiteral("powerTenths")).toInt(), a.value(QStringLiteral("snrTenths")).toInt()});
    // Every pair written was an answer; and, read row by row in slot order (no
    // row fills the 20-sample ring here), the pairs keep the order they were sent in.
    int next = 0;
    int total = 0;
    for (int k = 0; k < m_power.size(); ++k) {
        for (int j = 0; j < m_power[k].size(); ++j) {
            int p = 0, s = 0;
            QVERIFY(sampleTenths(m_power[k].value(j), &p));
            QVERIFY(sampleTenths(m_snr[k].value(j), &s));
            const QString where = QStringLiteral("row %1 slot %2: %3 / %4").arg(k).arg(j).arg(m_power[k][j], m_snr[k][j]);
            QVERIFY2(sent.contains({p, s}), qPrintable(where + QStringLiteral(" was never sent")));
            while (next < answers.size()
                   && !(answers[next].value(QStringLiteral("powerTenths")).toInt() == p
                        && answers[next].value(QStringLiteral("snrTenths")).toInt() == s))
                ++next;
            QVERIFY2(next < answers.size(), qPrintable(where + QStringLiteral(" out of order")));
            ++next;
            ++total;
        }
    }
    QVERIFY(total > 0);
}

void TestPass::noiseLevelFromTheNoiseFloor()
{
    bool ok = false;
    const double noise = m_noiseText.toDouble(&ok);
    QVERIFY2(ok, qPrintable(m_noiseText));
    QCOMPARE(m_noiseText, QString::asprintf("%g", noise));
    // The mean of noise samples lies within what the stand-in sent without a signal.
    int low = INT_MAX, high = INT_MIN;
    for (const QJsonObject &a : lines("tx", "demod")) {
        if (a.value(QStringLiteral("signal")).toBool())
            continue;
        low = qMin(low, a.value(QStringLiteral("powerTenths")).toInt());
        high = qMax(high, a.value(QStringLiteral("powerTenths")).toInt());
    }
    QVERIFY(low <= high);
    QVERIFY2(noise >= low / 10.0 - 1e-3 && noise <= high / 10.0 + 1e-3,
             qPrintable(QStringLiteral("%1 outside %2..%3").arg(noise).arg(low / 10.0).arg(high / 10.0)));
}

void TestPass::companionRepeatsTheMeans()
{
    QVERIFY(!m_dataName.isEmpty());
    const QByteArray ai = readFile(QStringLiteral("data/") + m_dataName + QStringLiteral(".ai"));
    const QByteArray head = "\n Azim    Elev    SNR    P\n";
    QVERIFY(ai.startsWith(head));
    QVERIFY(ai.endsWith('\n'));
    const QStringList rows = QString::fromUtf8(ai.mid(head.size(), ai.size() - head.size() - 1)).split(QLatin1Char('\n'));
    QCOMPARE(rows.size(), m_rows.size());

    // Azimuth and elevation of each point, from the archived track file (every
    // point of this pass is reachable, so row k is track point k).
    const QStringList kept = QDir(path(QStringLiteral("track"))).entryList(QDir::Files);
    QCOMPARE(kept.size(), 1);
    const QStringList track = QString::fromUtf8(readFile(QStringLiteral("track/") + kept.first())).split(QLatin1Char('\n'));
    for (int k = 0; k < rows.size(); ++k) {
        const QStringList cells = rows[k].split(QLatin1Char(' '), Qt::SkipEmptyParts);
        const QStringList dataCells = m_rows[k].split(QLatin1Char(' '), Qt::SkipEmptyParts);
        QCOMPARE(cells.size(), 4);
        QCOMPARE(rows[k], QString::asprintf("%-8s%-8s%-8s%-8s", qPrintable(cells[0] + QStringLiteral("   ")),
                                            qPrintable(cells[1] + QStringLiteral("   ")),
                                            qPrintable(cells[2] + QStringLiteral("   ")),
                                            qPrintable(cells[3] + QStringLiteral("  "))));
        QCOMPARE(cells[2], dataCells.value(5));
        QCOMPARE(cells[3], dataCells.value(4));
        const QString point = track.value(6 + k);
        const double az = point.mid(11, 3).trimmed().toInt() + point.mid(15, 2).toInt() / 60.0;
        const double el = point.mid(20, 3).trimmed().toInt() + point.mid(24, 2).toInt() / 60.0;
        QVERIFY2(qAbs(cells[0].toDouble() - az) <= 0.0501, qPrintable(rows[k] + QStringLiteral(" | ") + point));
        QVERIFY2(qAbs(cells[1].toDouble() - el) <= 0.0501, qPrintable(rows[k] + QStringLiteral(" | ") + point));
    }
}

void TestPass::uploadWasWholeAndScheduled()
{
    const QList<QJsonObject> uploads = lines("rx", "upload");
    QCOMPARE(uploads.size(), 1);
    const QJsonObject u = uploads.first();
    QCOMPARE(u.value(QStringLiteral("checksumOk")).toBool(), true);
    QCOMPARE(u.value(QStringLiteral("accepted")).toBool(), true);
    QCOMPARE(u.value(QStringLiteral("outcome")).toString(), QStringLiteral("scheduled"));
    QCOMPARE(u.value(QStringLiteral("uploadMode")).toInt(), 0);
    QCOMPARE(u.value(QStringLiteral("n")).toInt(), m_rows.size());
    QCOMPARE(u.value(QStringLiteral("n")).toInt(), lines("sim", "pass-file").value(0).value(QStringLiteral("points")).toInt());
    const QDateTime start = QDateTime::fromString(lines("sim", "pass-file").value(0).value(QStringLiteral("start")).toString(),
                                                  Qt::ISODateWithMs).toUTC();
    QCOMPARE(u.value(QStringLiteral("startSecondOfDay")).toInt(), start.time().msecsSinceStartOfDay() / 1000);
}

void TestPass::consoleEndsCleanly()
{
    E2E_STEP(m_run.endConsole());
    E2E_STEP(m_run.endSim());
    QVERIFY(!QFileInfo::exists(path(QStringLiteral("ports/COM3"))));
}

void TestPass::noExtrasWithoutTheirFile()
{
    // No extras.ini: no status file, no hook, no park.
    QVERIFY(!QFile::exists(path(QStringLiteral("status.json"))));
    for (const LogEntry &e : log())
        QVERIFY2(!e.message.startsWith(QStringLiteral("park")) && !e.message.startsWith(QStringLiteral("hook")),
                 qPrintable(e.message));
}

void TestPass::cleanup()
{
    m_run.noteResult();
}

void TestPass::cleanupTestCase()
{
    m_run.tearDown();
}

QTEST_GUILESS_MAIN(TestPass)
#include "tst_pass.moc"
