// track-report's pointing: the across-track error on each pass page, and the
// station page with the fit of the last 30 days and its trend per week.
#include "calibraterun.h"
#include "pointingpage.h"
#include "reportbuilder.h"
#include "synthpass.h"

#include <QGuiApplication>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString readText(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

const QDateTime Newest(QDate(2026, 11, 18), QTime(12, 0), Qt::LocalTime);

QString passName(const QString &satellite, int k, int daysBefore)
{
    return QStringLiteral("%1 (%2)_%3.dat").arg(satellite).arg(100 + k)
        .arg(Newest.addDays(-daysBefore).addSecs(k).toString(QStringLiteral("ddMMyy_hhmmss")));
}

QString withoutMadeLine(QString html)
{
    return html.remove(QRegularExpression(QStringLiteral("Made [^<]* by track-report")));
}

} // namespace

class TestReportPointing : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    ReportOptions m_options;

    QString data() const { return m_dir->filePath(QStringLiteral("data")); }
    QString out(const QString &name) const { return m_dir->filePath(QStringLiteral("report/") + name); }

private slots:
    void init();
    void passPageShowsTheError_data();
    void passPageShowsTheError();
    void stationPage_data();
    void stationPage();
};

void TestReportPointing::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("data")));
    m_options = ReportOptions();
    m_options.dataDir = data();
    m_options.outDir = m_dir->filePath(QStringLiteral("report"));
    m_options.statusFile = m_dir->filePath(QStringLiteral("status.json"));
    m_options.pictureSize = QSize(300, 250);
}

// Each pass page gives the error the sweeps found, or says why there is none.
void TestReportPointing::passPageShowsTheError_data()
{
    QTest::addColumn<double>("across");  // injected across the track, mm
    QTest::addColumn<int>("step");       // 0: no scan
    QTest::addColumn<double>("snrDb");
    QTest::addColumn<QString>("without"); // the reason shown; empty: numbers shown
    QTest::newRow("8 mm off") << 8.0 << 10 << 25.0 << QString();
    QTest::newRow("12 mm the other way") << -12.0 << 10 << 25.0 << QString();
    QTest::newRow("no scan") << 0.0 << 0 << 25.0 << QStringLiteral("no scan across the track.");
    QTest::newRow("too little signal") << 0.0 << 10 << 2.0 << QStringLiteral("too little signal: ");
}

void TestReportPointing::passPageShowsTheError()
{
    QFETCH(double, across);
    QFETCH(int, step);
    QFETCH(double, snrDb);
    QFETCH(QString, without);
    SynthOptions o = spreadPass(0);
    o.step = step;
    o.peakSnrDb = snrDb;
    const QPointF n = chordNormal(chordPoint(o, 1), chordPoint(o, 0));
    const QString name = passName(QStringLiteral("SAT"), 0, 0);
    QVERIFY(writeSynthPass(data(), name, o, {1, 0, across * n.x(), across * n.y()}));
    QVERIFY(ReportBuilder(m_options).update().failures.isEmpty());
    const QString pagePath = out(QStringLiteral("passes/") + safePageBase(name) + QStringLiteral(".html"));
    const QString page = readText(pagePath);
    QVERIFY(page.contains(QStringLiteral("<h2 id=\"across\">Across the track</h2>")));

    const calibration::PassAcrossTrack a = calibration::estimateAcrossTrackOfFile(QDir(data()).filePath(name));
    if (!without.isEmpty()) {
        QVERIFY2(page.contains(QStringLiteral("No across-track error for this pass: ") + without), qPrintable(a.error));
        QVERIFY(!page.contains(QStringLiteral("<svg class=\"across\"")));
        return;
    }
    QCOMPARE(a.error, QString());
    QVERIFY2(std::fabs(a.meanMm - across) < 0.5, qPrintable(QString::number(a.meanMm)));
    const QString numbers = QStringLiteral("Mean %1%2 mm, spread %3 mm, from %4 of %5 sweeps; beam %6 mm wide")
                                .arg(a.meanMm >= 0 ? "+" : "").arg(a.meanMm, 0, 'f', 1).arg(a.spreadMm, 0, 'f', 1)
                                .arg(a.found.size()).arg(a.sweeps).arg(a.widthMm, 0, 'f', 0);
    QVERIFY2(page.contains(numbers), qPrintable(numbers));
    QCOMPARE(page.count(QStringLiteral("<circle ")), a.found.size());

    // A newer pass makes the page again from the kept estimate, with the same numbers.
    SynthOptions later = spreadPass(1);
    later.step = 0;
    QVERIFY(writeSynthPass(data(), passName(QStringLiteral("SAT"), 1, -1), later, {}));
    QVERIFY(ReportBuilder(m_options).update().failures.isEmpty());
    const auto section = [](const QString &html) { return html.section(QStringLiteral("id=\"across\""), 1).section(QStringLiteral("<div class=\"charts\">"), 0, 0); };
    const QString again = readText(pagePath);
    QVERIFY(again != page && again.contains(QStringLiteral("newer &rarr;</a>")));
    QCOMPARE(section(again), section(page));
}

// The station page: the fit of the passes of the last 30 days in track-calibrate's
// words, one row per week, and what it says with too little data.
void TestReportPointing::stationPage_data()
{
    QTest::addColumn<QList<int>>("daysBefore"); // one pass each, before the newest
    QTest::addColumn<bool>("injected");         // scale 1.015, rotation 0.4°, offset (3, -2) mm
    QTest::addColumn<int>("inWindow");
    QTest::addColumn<QString>("verdict");       // how the verdict starts
    QTest::addColumn<QStringList>("weeks");     // the week rows, newest first, with their pass counts
    const QString three = QStringLiteral("</td><td class=\"num\">3 of 3");
    QTest::newRow("two weeks, model off") << QList<int>{0, 1, 2, 7, 8, 9} << true << 6 << QStringLiteral("korr 1.0000 → 1.01")
                                          << QStringList{"2026-W47" + three, "2026-W46" + three};
    QTest::newRow("pointing good") << QList<int>{0, 1, 2, 3, 4, 5} << false << 6 << QStringLiteral("pointing good: rms ")
                                   << QStringList{"2026-W47" + three, "2026-W46" + three};
    QTest::newRow("older passes left out of the fit") << QList<int>{0, 1, 2, 40, 41, 42} << true << 3
                                                      << QStringLiteral("korr 1.0000 → 1.01")
                                                      << QStringList{"2026-W47" + three, "2026-W41" + three};
    QTest::newRow("too little data") << QList<int>{0, 1} << true << 2
                                     << QStringLiteral("too little data: 2 of 2 passes gave an answer, at least 3 needed")
                                     << QStringList{"2026-W47</td><td class=\"num\">2 of 2</td><td colspan=\"6\">too little data: "};
    QTest::newRow("no passes") << QList<int>{} << false << 0 << QStringLiteral("No passes yet.") << QStringList{};
}

void TestReportPointing::stationPage()
{
    QFETCH(QList<int>, daysBefore);
    QFETCH(bool, injected);
    QFETCH(int, inWindow);
    QFETCH(QString, verdict);
    QFETCH(QStringList, weeks);
    const Transform t = injected ? Transform{1.015, 0.4, 3, -2} : Transform{};
    QStringList window; // oldest first, as track-calibrate would take them
    for (int k = daysBefore.size() - 1; k >= 0; --k) {
        // A name that must be escaped wherever it is shown.
        const QString name = passName(QStringLiteral("S<b>&x"), k, daysBefore.at(k));
        QVERIFY(writeSynthPass(data(), name, spreadPass(k), t));
        if (daysBefore.at(k) < pointingpage::WindowDays)
            window.append(name);
    }
    QCOMPARE(window.size(), inWindow);
    QVERIFY(ReportBuilder(m_options).update().failures.isEmpty());
    QVERIFY(readText(out(QStringLiteral("index.html"))).contains(QStringLiteral("<a href=\"pointing.html\">Pointing</a>")));
    const QString page = readText(out(QStringLiteral("pointing.html")));
    QVERIFY(page.contains(verdict.toHtmlEscaped()));
    QVERIFY(!page.contains(QStringLiteral("S<b>")) && !page.contains(m_dir->path()));
    QCOMPARE(page.count(QStringLiteral("<tr><td>2026-W")), weeks.size());
    for (const QString &w : weeks)
        QVERIFY2(page.contains(QStringLiteral("<tr><td>") + w), qPrintable(w));
    if (daysBefore.isEmpty())
        return;

    // The numbers are track-calibrate's over the same passes, to the last digit.
    const calibration::Run run = calibration::calibrate(data(), window);
    QVERIFY(page.contains(QStringLiteral("<p class=\"verdict\"><b>") + calibration::verdictLine(run).trimmed().toHtmlEscaped()));
    QVERIFY(page.contains(calibration::fitLines(run).trimmed().toHtmlEscaped().replace(QLatin1Char('\n'), QStringLiteral("<br>\n"))));
    QVERIFY(page.contains(QStringLiteral("Passes of the 30 days: %1").arg(inWindow)));

    // Unchanged, a new process writes none of it again.
    QVERIFY(!ReportBuilder(m_options).update().indexWritten);

    // Made again from the kept estimates, the page says the same.
    QFile::remove(out(QStringLiteral("pointing.html")));
    QVERIFY(ReportBuilder(m_options).update().failures.isEmpty());
    QCOMPARE(withoutMadeLine(readText(out(QStringLiteral("pointing.html")))), withoutMadeLine(page));

    // A state without the estimates (an older track-report's) gets them, and draws nothing again.
    QFile state(out(QLatin1String(ReportBuilder::StateFileName)));
    QVERIFY(state.open(QIODevice::ReadOnly));
    QJsonObject root = QJsonDocument::fromJson(state.readAll()).object();
    state.close();
    QJsonArray passes = root.value(QStringLiteral("passes")).toArray();
    for (QJsonValueRef p : passes) {
        QJsonObject o = p.toObject();
        o.remove(QStringLiteral("across"));
        p = o;
    }
    root.insert(QStringLiteral("passes"), passes);
    QVERIFY(state.open(QIODevice::WriteOnly | QIODevice::Truncate) && state.write(QJsonDocument(root).toJson()) > 0);
    state.close();
    const ReportRun upgraded = ReportBuilder(m_options).update();
    QCOMPARE(upgraded.rebuilt, 0);
    QCOMPARE(upgraded.estimated, daysBefore.size());
    QCOMPARE(withoutMadeLine(readText(out(QStringLiteral("pointing.html")))), withoutMadeLine(page));
}

QTEST_MAIN(TestReportPointing)
#include "tst_reportpointing.moc"
