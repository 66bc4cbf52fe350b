// track-report: index, pass pages, pictures and CSV for good and bad files,
// safe names, the status page, and doing only what changed.
#include "passplot.h"
#include "passsummary.h"
#include "reportbuilder.h"
#include "reporttestfiles.h"
#include "reportpages.h"
#include "viewertestfiles.h"

#include <QGuiApplication>
#include <QProcess>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QVector<TestPoint> Pass = {
    {-30.0, 200.0, 0, 0, {-100.0f, -99.0f}, {1.0f, 2.0f}},
    {0.0, 150.0, 1, 2, {-90.0f, -88.0f}, {8.0f, 10.0f}},
    {30.0, 200.0, -1, -3, {-96.0f, -96.0f}, {4.0f, 4.0f}},
};

QString title(const QString &satellite, int points)
{
    return QStringLiteral("TuVaRN data file\nConfiguration:\nver 3.818d\nStation name Test\nRadius 500\nFocus 1400\n"
                          "Korr. koeff.=1\nTrackInfo:\n%1\nmax elevation 85.00; %2 actual points\n"
                          "Start at 07.12.2026  04:05:09").arg(satellite).arg(points);
}

} // namespace

class TestReport : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    ReportOptions m_options;

    QString data(const QString &name) const { return m_dir->filePath(QStringLiteral("data/") + name); }
    QString out(const QString &name) const { return m_dir->filePath(QStringLiteral("report/") + name); }
    QString index() const { return QString::fromUtf8(read(out(QStringLiteral("index.html")))); }
    // The index row of one data file, by the page it links to.
    QString indexRow(const QString &fileName) const
    {
        const QString page = QStringLiteral("passes/") + safePageBase(fileName);
        const QString html = index();
        const int at = html.indexOf(page.toHtmlEscaped());
        if (at < 0)
            return {};
        const int start = html.lastIndexOf(QLatin1String("<tr"), at);
        return html.mid(start, html.indexOf(QLatin1String("</tr>"), at) - start);
    }

private slots:
    void init();
    void goodPassPageAndPicture();
    void csvRowsFollowTheFile();
    void badFilesListedWithTheirError_data();
    void badFilesListedWithTheirError();
    void indexNewestFirst();
    void onlyWhatChangedIsRedone();
    void namesFromTrackContentAreSafe();
    void indexSplitByMonth();
    void frontPageSmallWithManyPasses();
    void neverWritesOrDeletesOutside_data();
    void neverWritesOrDeletesOutside();
    void everyDataEntryListedOrNamed_data();
    void everyDataEntryListedOrNamed();
    void hookLineFromTheReadme();
};

void TestReport::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("data")));
    m_options = ReportOptions();
    m_options.dataDir = m_dir->filePath(QStringLiteral("data"));
    m_options.outDir = m_dir->filePath(QStringLiteral("report"));
    m_options.statusFile = m_dir->filePath(QStringLiteral("status.json"));
    m_options.pictureSize = QSize(600, 500);
}

void TestReport::goodPassPageAndPicture()
{
    const QString name = QStringLiteral("SAT 1 (4711)_071226_040509.dat");
    QVERIFY(writeTestFile(m_options.dataDir, name, Pass, -100.0f, title(QStringLiteral("SAT 1"), 5)));
    const ReportRun run = ReportBuilder(m_options).update();
    QCOMPARE(run.passes, 1);
    QCOMPARE(run.rebuilt, 1);
    QVERIFY2(run.failures.isEmpty(), qPrintable(run.failures.join('\n')));

    // Summary: points recorded / uploaded, noise, peak and mean above noise, peak SNR.
    const QString row = indexRow(name);
    QVERIFY(!row.isEmpty());
    const QString start = QDateTime(QDate(2026, 12, 7), QTime(4, 5, 9)).toUTC().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss 'UTC'"));
    QVERIFY2(row.contains(QLatin1Char('>') + start + QLatin1Char('<')), qPrintable(row));
    for (const char *cell : {">SAT 1<", ">4711<", ">3 of 5<", ">-100.0<", ">11.0<", ">5.2<", ">9.0<", ">ok<"})
        QVERIFY2(row.contains(QLatin1String(cell)), cell);

    PassSummary s;
    s.pageBase = safePageBase(name);
    const QImage picture(out(reportpages::picturePath(s)));
    QCOMPARE(picture.size(), m_options.pictureSize);
    // The viewer's sky circle: blue at the top of the circle, centred on the plot.
    PassPlot plot;
    plot.setPanelSize(600, 500);
    const int cx = plot.plotWidth() / 2;
    const int cy = (plot.plotHeight() - PassPlot::StripHeight) / 2;
    const int top = cy - int(plot.skyDiameter() / 2);
    bool blue = false;
    for (int y = top - 1; y <= top + 1; ++y)
        blue = blue || picture.pixelColor(cx, y) == QColor(Qt::blue);
    QVERIFY(blue);
    QCOMPARE(picture.pixelColor(cx, cy + 40), PassPlot::Background);

    const QString page = QString::fromUtf8(read(out(reportpages::pagePath(s))));
    QVERIFY(page.contains(QStringLiteral("src=\"") + s.pageBase.toHtmlEscaped() + QStringLiteral(".png\"")));
    QVERIFY(page.contains(QStringLiteral("href=\"../index.html\"")));
    QVERIFY(page.contains(QStringLiteral("<meta name=\"viewport\"")));
    // Downloads: the data file and its companion as recorded, picture and CSV.
    for (const QString &ext : {QStringLiteral(".dat"), QStringLiteral(".dat.ai"), QStringLiteral(".png"), QStringLiteral(".csv")}) {
        QVERIFY2(page.contains(QStringLiteral("href=\"") + s.pageBase.toHtmlEscaped() + ext + QStringLiteral("\" download")), qPrintable(ext));
        QVERIFY(QFileInfo(out(QStringLiteral("passes/") + s.pageBase + ext)).size() > 0);
    }
    QCOMPARE(read(out(QStringLiteral("passes/") + s.pageBase + QStringLiteral(".dat"))), read(data(name)));
    // Charts and sky plot beside it, the chart library copied in: no network.
    const QByteArray sky = read(out(QStringLiteral("passes/") + s.pageBase + QStringLiteral(".svg")));
    for (const char *part : {">N<", ">E<", ">S<", ">W<", ">start<", ">end<", ">dB<", "<title>point 1, "})
        QVERIFY2(sky.contains(part), part);
    QVERIFY(read(out(QStringLiteral("passes/") + s.pageBase + QStringLiteral(".js"))).startsWith("tuvarnPass({timed:true,"));
    QVERIFY(QFileInfo(out(QStringLiteral("dygraph.min.js"))).size() > 10000);
    QVERIFY(!page.contains(QLatin1String("http://")) && !page.contains(QLatin1String("https://")));
}

void TestReport::csvRowsFollowTheFile()
{
    const QString name = QStringLiteral("SAT 1 (1)_071226_040509.dat");
    QVERIFY(writeTestFile(m_options.dataDir, name, Pass, -100.0f, title(QStringLiteral("SAT 1"), 3)));
    ReportBuilder(m_options).update();
    PassSummary s;
    s.pageBase = safePageBase(name);
    const QList<QByteArray> lines = read(out(reportpages::csvPath(s))).split('\n');
    QCOMPARE(lines.size(), 5); // header, three rows, the empty part after the last LF
    QCOMPARE(lines.at(0), QByteArray("point,fi_deg,r_mm,korr,korr0,samples,power_db,snr_db,power_above_noise_db,utc,azimuth_deg,elevation_deg"));
    // Row i is the track's point i seconds after the start; azimuth and elevation from the companion.
    const QDateTime start = QDateTime(QDate(2026, 12, 7), QTime(4, 5, 9)).toUTC();
    const auto utc = [&](int s) { return start.addSecs(s).toString(Qt::ISODate).toLatin1(); };
    QCOMPARE(lines.at(1), "0,-30.0,200.0,0,0,2,-99.50,1.50,0.50," + utc(0) + ",-30.0,-30.0");
    QCOMPARE(lines.at(2), "1,0.0,150.0,1,2,2,-89.00,9.00,11.00," + utc(1) + ",0.0,0.0");
    QCOMPARE(lines.at(3), "2,30.0,200.0,-1,-3,2,-96.00,4.00,4.00," + utc(2) + ",30.0,30.0");
    QVERIFY(lines.at(4).isEmpty());
    // Without the companion the columns stay, empty.
    QVERIFY(QFile::remove(data(name) + QStringLiteral(".ai")));
    QVERIFY(writeBytes(data(name), read(data(name)) + "\n")); // changed: made again
    ReportBuilder(m_options).update();
    QCOMPARE(read(out(reportpages::csvPath(s))).split('\n').at(2), "1,0.0,150.0,1,2,2,-89.00,9.00,11.00," + utc(1) + ",,");
    QVERIFY(!QFile::exists(out(QStringLiteral("passes/") + s.pageBase + QStringLiteral(".dat.ai"))));
}

void TestReport::badFilesListedWithTheirError_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("error");
    QTest::newRow("title bad") << QByteArray("hello\n") << "title bad";
    QTest::newRow("no header") << QByteArray("TuVaRN data file\nnothing\n") << "file bad";
    QTest::newRow("zero track") << QByteArray("TuVaRN data file\n Fi R\nNoise level -100\n") << "zero track";
    QTest::newRow("sample lines missing")
        << QByteArray("TuVaRN data file\nRadius 500\n Fi R\n1 2 3 4 5 6 7 8 9 0\nNoise level -100\n"
                      "RealTime section\nPower level\nSNR\nend\n") << "power data!=mean data";
    QTest::newRow("empty file") << QByteArray() << "title bad";
}

void TestReport::badFilesListedWithTheirError()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, error);
    const QString good = QStringLiteral("SAT 1 (1)_071226_040509.dat");
    const QString bad = QStringLiteral("SAT 2 (2)_071226_050000.dat");
    QVERIFY(writeTestFile(m_options.dataDir, good, Pass, -100.0f, title(QStringLiteral("SAT 1"), 3)));
    QVERIFY(writeBytes(data(bad), content));
    const ReportRun run = ReportBuilder(m_options).update();
    // Never skipped and never the end of the report: both are listed.
    QCOMPARE(run.passes, 2);
    QCOMPARE(run.bad, 1);
    QVERIFY(indexRow(bad).contains(QStringLiteral("class=\"bad\"")));
    QVERIFY2(indexRow(bad).contains(QStringLiteral(">") + error.toHtmlEscaped() + QStringLiteral("<")), qPrintable(indexRow(bad)));
    QVERIFY(indexRow(good).contains(QStringLiteral(">ok<")));
    PassSummary s;
    s.pageBase = safePageBase(bad);
    const QString page = QString::fromUtf8(read(out(reportpages::pagePath(s))));
    QVERIFY(page.contains(QStringLiteral("Error in .dat file: ") + error.toHtmlEscaped()));
    QVERIFY(!QFile::exists(out(reportpages::picturePath(s))));
    QVERIFY(!QFile::exists(out(reportpages::csvPath(s))));
}

void TestReport::indexNewestFirst()
{
    // Written times from the names; a name of another form sorts by the file's time.
    QVERIFY(writeTestFile(m_options.dataDir, QStringLiteral("A (1)_010126_120000.dat"), Pass, -100.0f));
    QVERIFY(writeTestFile(m_options.dataDir, QStringLiteral("B (2)_311226_235959.dat"), Pass, -100.0f));
    QVERIFY(writeTestFile(m_options.dataDir, QStringLiteral("C (3)_150626_080000.dat"), Pass, -100.0f));
    QVERIFY(writeTestFile(m_options.dataDir, QStringLiteral("odd name.dat"), Pass, -100.0f));
    QFile odd(data(QStringLiteral("odd name.dat")));
    QVERIFY(odd.open(QIODevice::ReadWrite));
    QVERIFY(odd.setFileTime(QDateTime(QDate(2026, 3, 1), QTime(0, 0)), QFileDevice::FileModificationTime));
    odd.close();
    ReportBuilder(m_options).update();
    const QString html = index();
    QList<int> at;
    for (const char *n : {"B (2)_311226_235959.dat", "C (3)_150626_080000.dat", "odd name.dat", "A (1)_010126_120000.dat"})
        at << html.indexOf(QStringLiteral("passes/") + safePageBase(QLatin1String(n)));
    QVERIFY(!at.contains(-1));
    QVERIFY2(std::is_sorted(at.begin(), at.end()), qPrintable(QStringLiteral("%1 %2 %3 %4").arg(at[0]).arg(at[1]).arg(at[2]).arg(at[3])));
}

void TestReport::onlyWhatChangedIsRedone()
{
    const QString a = QStringLiteral("A (1)_010126_120000.dat");
    const QString b = QStringLiteral("B (2)_020126_120000.dat");
    QVERIFY(writeTestFile(m_options.dataDir, a, Pass, -100.0f));
    QVERIFY(writeTestFile(m_options.dataDir, b, Pass, -100.0f));
    ReportBuilder builder(m_options);
    QCOMPARE(builder.update().rebuilt, 2);

    ReportRun run = builder.update();
    QCOMPARE(run.rebuilt, 0);
    QVERIFY(!run.indexWritten);

    // A picture of an unchanged file is not made again, even by a new run.
    PassSummary sa;
    sa.pageBase = safePageBase(a);
    const QDateTime pictureTime = QFileInfo(out(reportpages::picturePath(sa))).lastModified();
    run = ReportBuilder(m_options).update();
    QCOMPARE(run.rebuilt, 0);
    QCOMPARE(QFileInfo(out(reportpages::picturePath(sa))).lastModified(), pictureTime);

    // A changed file, a new one and a removed one.
    QVERIFY(writeBytes(data(a), "junk\n"));
    QVERIFY(writeTestFile(m_options.dataDir, QStringLiteral("C (3)_030126_120000.dat"), Pass, -100.0f));
    PassSummary sb;
    sb.pageBase = safePageBase(b);
    QVERIFY(QFile::remove(data(b)));
    run = builder.update();
    QCOMPARE(run.rebuilt, 2);
    QCOMPARE(run.removed, 1);
    QCOMPARE(run.passes, 2);
    QVERIFY(run.indexWritten);
    QVERIFY(!QFile::exists(out(reportpages::pagePath(sb))));
    QVERIFY(!QFile::exists(out(reportpages::picturePath(sb))));
    QVERIFY(!QFile::exists(out(reportpages::picturePath(sa)))); // went bad: no stale picture
    QVERIFY(indexRow(a).contains(QStringLiteral("title bad")));
    // The newest pass's page got its "newer" link to the new one.
    PassSummary sc;
    sc.pageBase = safePageBase(QStringLiteral("C (3)_030126_120000.dat"));
    QVERIFY(read(out(reportpages::pagePath(sa))).contains("rel=\"next\" href=\"" + sc.pageBase.toUtf8() + ".html\""));
    // A deleted page is made again.
    QVERIFY(QFile::remove(out(reportpages::pagePath(sa))));
    QCOMPARE(builder.update().rebuilt, 1);
    // A later run that only relinks a page reads its texts again from the data file.
    QVERIFY(writeTestFile(m_options.dataDir, QStringLiteral("D (4)_040126_120000.dat"), Pass, -100.0f));
    QCOMPARE(ReportBuilder(m_options).update().rebuilt, 1);
    const QByteArray relinked = read(out(reportpages::pagePath(sc)));
    QVERIFY(relinked.contains("rel=\"next\" href=\"" + safePageBase(QStringLiteral("D (4)_040126_120000.dat")).toUtf8()));
    QVERIFY(relinked.contains("Station name Test"));
}

void TestReport::namesFromTrackContentAreSafe()
{
    const QString name = QStringLiteral("<img src=x> \"q\" & ..x #1? (7)_071226_040509.dat");
    QVERIFY(writeTestFile(m_options.dataDir, name, Pass, -100.0f,
                          title(QStringLiteral("<script>alert(1)</script>"), 3)));
    ReportBuilder(m_options).update();
    const QString base = safePageBase(name);
    QVERIFY2(QRegularExpression(QStringLiteral("^[A-Za-z0-9._()+-]+$")).match(base).hasMatch(), qPrintable(base));
    QVERIFY(!base.startsWith(QLatin1Char('.')));
    QVERIFY(base != safePageBase(QStringLiteral("_img_src_x___q_____..x__1__(7)_071226_040509.dat")));
    // One page per file: a file named like another's made-safe page name gets its own.
    QVERIFY(safePageBase(base + QStringLiteral(".dat")) != base);
    QVERIFY(QDir(out(QStringLiteral("passes"))).entryList(QDir::Files).contains(base + QStringLiteral(".html")));
    for (const QString &html : {index(), QString::fromUtf8(read(out(QStringLiteral("passes/") + base + QStringLiteral(".html"))))}) {
        QVERIFY(!html.contains(QLatin1String("<script>")));
        QVERIFY(!html.contains(QLatin1String("<img src=x>")));
        QVERIFY(html.contains(QLatin1String("&lt;script&gt;alert(1)&lt;/script&gt;")));
    }
}

void TestReport::indexSplitByMonth()
{
    // 130 passes: 70 in January, 60 in February, one of them bad.
    for (int i = 0; i < 130; ++i) {
        const QDateTime at = i < 70 ? QDateTime(QDate(2026, 1, 1 + i / 3), QTime(10 + i % 3, 0)) : QDateTime(QDate(2026, 2, 1 + (i - 70) / 3), QTime(10 + i % 3, 0));
        const QString name = QStringLiteral("SAT %1 (%2)_").arg(i % 2 ? "A" : "B").arg(i) + at.toString(QStringLiteral("ddMMyy_hhmmss.'dat'"));
        const QString t = title(QStringLiteral("SAT %1").arg(i % 2 ? "A" : "B"), 3)
                              .replace(QStringLiteral("07.12.2026  04:05:09"), at.addSecs(-60).toString(QStringLiteral("dd.MM.yyyy  hh:mm:ss")));
        QVERIFY(i == 5 ? writeBytes(data(name), "junk\n") : writeTestFile(m_options.dataDir, name, Pass, -100.0f, t));
    }
    const ReportRun run = ReportBuilder(m_options).update();
    QCOMPARE(run.passes, 130);
    const QString front = index();
    QCOMPARE(front.count(QStringLiteral("<tr data-sat=")), reportpages::FrontPageRows);
    QVERIFY2(front.contains(QStringLiteral("href=\"months/2026-02.html\">2026-02: 60</a>")), qPrintable(front.left(1500)));
    QVERIFY(front.contains(QStringLiteral("href=\"months/2026-01.html\">2026-01: 70, <span class=\"err\">1 with errors</span></a>")));
    const QString jan = QString::fromUtf8(read(out(QStringLiteral("months/2026-01.html"))));
    const QString feb = QString::fromUtf8(read(out(QStringLiteral("months/2026-02.html"))));
    QCOMPARE(jan.count(QStringLiteral("<tr data-sat=")), 70);
    QCOMPARE(feb.count(QStringLiteral("<tr data-sat=")), 60);
    QCOMPARE(jan.count(QStringLiteral("class=\"bad\"")), 1);
}

void TestReport::frontPageSmallWithManyPasses()
{
    // 10,000 passes over two years: the front page holds the newest rows and the months.
    QList<PassSummary> all;
    QMap<QString, reportpages::MonthCount> months;
    for (int i = 0; i < 10000; ++i) {
        PassSummary p;
        p.fileName = QStringLiteral("NOAA 19 (%1)_010126_000000.dat").arg(10000 + i);
        p.pageBase = safePageBase(p.fileName);
        p.satellite = QStringLiteral("NOAA 19");
        p.orbit = QString::number(10000 + i);
        p.startUtc = QDateTime(QDate(2025, 1, 1), QTime(0, 0), Qt::UTC).addSecs(i * 6300);
        p.recorded = 600;
        p.uploaded = 612;
        p.error = i % 50 ? QString() : QStringLiteral("power data!=mean data");
        ++months[p.month()].passes;
        months[p.month()].bad += p.ok() ? 0 : 1;
        all.prepend(p);
    }
    const QByteArray page = reportpages::index(QStringLiteral("Station"), all.mid(0, reportpages::FrontPageRows), all.size(), months, {},
                                               QDateTime::currentDateTimeUtc());
    QVERIFY2(page.size() < 150 * 1024, qPrintable(QString::number(page.size())));
    QVERIFY(page.contains("Passes: 10000, <span class=\"err\">200 with errors</span>"));
    QCOMPARE(page.count("<li><a href=\"months/"), months.size());
}

void TestReport::neverWritesOrDeletesOutside_data()
{
    QTest::addColumn<QString>("attack");
    QTest::newRow("link planted at index.html") << "index-link";
    QTest::newRow("link planted at a pass page") << "page-link";
    QTest::newRow("state file names a page outside") << "state-outside";
    QTest::newRow("passes folder is a link") << "passes-link";
    QTest::newRow("data file is a link to another file") << "data-link";
}

void TestReport::neverWritesOrDeletesOutside()
{
    QFETCH(QString, attack);
    const QString name = QStringLiteral("SAT 1 (1)_071226_040509.dat");
    QVERIFY(writeTestFile(m_options.dataDir, name, Pass, -100.0f, title(QStringLiteral("SAT 1"), 3)));
    const QString victim = m_dir->filePath(QStringLiteral("victim.txt"));
    QVERIFY(writeBytes(victim, "keep me\n"));
    QVERIFY(QDir().mkpath(out(QStringLiteral("passes"))));
    PassSummary s;
    s.pageBase = safePageBase(name);
    if (attack == QLatin1String("index-link")) {
        QVERIFY(QFile::link(victim, out(QStringLiteral("index.html"))));
    } else if (attack == QLatin1String("page-link")) {
        QVERIFY(QFile::link(victim, out(reportpages::pagePath(s))));
    } else if (attack == QLatin1String("state-outside")) {
        const QByteArray state = R"({"version":2,"passes":[{"size":1,"modifiedMs":1,"summary":{"fileName":"gone.dat","pageBase":"../../victim.txt#"}},
            {"size":1,"modifiedMs":1,"summary":{"fileName":"../victim.txt","pageBase":"_.._victim.txt-00000000"}}]})";
        QVERIFY(writeBytes(out(QLatin1String(ReportBuilder::StateFileName)), state));
        QVERIFY(writeBytes(m_dir->filePath(QStringLiteral("victim.txt#.html")), "keep me\n"));
    } else if (attack == QLatin1String("data-link")) {
        QVERIFY(writeBytes(m_dir->filePath(QStringLiteral("secret")), "root:$6$secret\n"));
        QVERIFY(writeBytes(m_dir->filePath(QStringLiteral("secret.ai")), "root:$6$secret\n"));
        QVERIFY(QFile::link(m_dir->filePath(QStringLiteral("secret")), data(QStringLiteral("x.dat"))));
        QVERIFY(QFile::link(m_dir->filePath(QStringLiteral("secret.ai")), data(QStringLiteral("x.dat.ai"))));
    } else {
        QVERIFY(QDir(out(QStringLiteral("passes"))).removeRecursively());
        QVERIFY(QDir().mkpath(m_dir->filePath(QStringLiteral("elsewhere"))));
        QVERIFY(QFile::link(m_dir->filePath(QStringLiteral("elsewhere")), out(QStringLiteral("passes"))));
    }
    const ReportRun run = ReportBuilder(m_options).update();
    QCOMPARE(read(victim), QByteArray("keep me\n"));
    if (attack == QLatin1String("passes-link")) {
        QVERIFY(!run.failures.isEmpty());
        QVERIFY(QDir(m_dir->filePath(QStringLiteral("elsewhere"))).isEmpty());
        return;
    }
    QVERIFY2(run.failures.isEmpty(), qPrintable(run.failures.join('\n')));
    if (attack == QLatin1String("data-link")) {
        // Listed with its error, but nothing of it published.
        QCOMPARE(run.passes, 2);
        QDirIterator it(out(QString()), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext())
            QVERIFY2(!read(it.next()).contains("$6$secret"), qPrintable(it.filePath()));
        return;
    }
    if (attack == QLatin1String("state-outside")) {
        QCOMPARE(read(m_dir->filePath(QStringLiteral("victim.txt#.html"))), QByteArray("keep me\n"));
        QCOMPARE(run.passes, 1);
        return;
    }
    // The link itself was replaced by the page.
    const QString at = out(attack == QLatin1String("index-link") ? QStringLiteral("index.html") : reportpages::pagePath(s));
    QVERIFY(!QFileInfo(at).isSymLink());
    QVERIFY(read(at).startsWith("<!DOCTYPE html>"));
}

void TestReport::everyDataEntryListedOrNamed_data()
{
    QTest::addColumn<QByteArray>("entry");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason"); // empty: listed as a pass with this error in `kind`
    QTest::newRow("FIFO") << QByteArray("SAT 2 (2)_071226_050000.dat") << "fifo" << "a FIFO, not a regular file";
    QTest::newRow("dangling link") << QByteArray("SAT 2 (2)_071226_050000.dat") << "dangling" << "dangling link";
    QTest::newRow("hidden name") << QByteArray(".SAT 2 (2)_071226_050000.dat") << "file" << "hidden name (starts with \".\")";
    QTest::newRow("not UTF-8") << QByteArray("SAT \xff (2)_071226_050000.dat") << "file" << "name is not valid UTF-8";
    QTest::newRow("folder") << QByteArray("old.dat") << "dir" << "a folder";
    QTest::newRow("other file") << QByteArray("notes.txt") << "file" << "not a data file (.dat)";
    QTest::newRow("many short lines") << QByteArray("SAT 2 (2)_071226_050000.dat") << "lines" << "";
}

void TestReport::everyDataEntryListedOrNamed()
{
    QFETCH(QByteArray, entry);
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    QVERIFY(writeTestFile(m_options.dataDir, QStringLiteral("SAT 1 (1)_071226_040509.dat"), Pass, -100.0f));
    const QByteArray path = QFile::encodeName(m_options.dataDir) + '/' + entry;
    if (kind == QLatin1String("fifo"))
        QCOMPARE(::mkfifo(path.constData(), 0600), 0);
    else if (kind == QLatin1String("dangling"))
        QCOMPARE(::symlink("nowhere.dat", path.constData()), 0);
    else if (kind == QLatin1String("dir"))
        QCOMPARE(::mkdir(path.constData(), 0700), 0);
    else if (kind == QLatin1String("lines"))
        QVERIFY(writeBytes(QFile::decodeName(path), "TuVaRN data file\n" + QByteArray(int(ReportBuilder::MaxDataFileLines) * 2, '\n')));
    else
        QVERIFY(::close(::open(path.constData(), O_CREAT | O_WRONLY, 0600)) == 0); // the name as bytes
    const ReportRun run = ReportBuilder(m_options).update(); // a FIFO must not hang it
    const QString html = index();
    if (reason.isEmpty()) {
        QCOMPARE(run.passes, 2);
        QVERIFY2(html.contains(QStringLiteral("file bad (more than ")), qPrintable(html));
        return;
    }
    QCOMPARE(run.passes, 1);
    QCOMPARE(run.skipped, 1);
    QVERIFY2(html.contains(QStringLiteral(": ") + reason.toHtmlEscaped() + QStringLiteral("</li>")), qPrintable(html));
}

void TestReport::hookLineFromTheReadme()
{
    // "PassHook track-report --station ." as written: run in the station folder,
    // the new data file's path added as the last argument.
    const QString name = QStringLiteral("SAT 1 (1)_071226_040509.dat");
    QVERIFY(writeTestFile(m_options.dataDir, name, Pass, -100.0f));
    const QStringList words = QProcess::splitCommand(QStringLiteral("track-report --station ."));
    QProcess hook;
    hook.setWorkingDirectory(m_dir->path());
    hook.start(QStringLiteral(TUVARN_BIN_DIR "/") + words.first(),
               words.mid(1) + QStringList{QDir(m_options.dataDir).absoluteFilePath(name)});
    QVERIFY(hook.waitForFinished(60000));
    QVERIFY2(hook.exitCode() == 0, hook.readAllStandardError().constData());
    PassSummary s;
    s.pageBase = safePageBase(name);
    QVERIFY(QFile::exists(out(reportpages::pagePath(s))));
}

QTEST_MAIN(TestReport)
#include "tst_report.moc"
