// track-report: index, pass pages, pictures and CSV for good and bad files,
// safe names, the status page, and doing only what changed.
#include "passplot.h"
#include "passsummary.h"
#include "reportbuilder.h"
#include "reportpages.h"
#include "viewertestfiles.h"

#include <QGuiApplication>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

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

QByteArray read(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
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
    void statusPage();
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
    for (const char *cell : {">SAT 1<", ">4711<", ">07.12.2026  04:05:09<", ">3 / 5<", ">-100.0<",
                             ">11.0<", ">5.2<", ">9.0<", ">ok<"})
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
    QVERIFY(page.contains(QStringLiteral("href=\"") + s.pageBase.toHtmlEscaped() + QStringLiteral(".csv\"")));
    QVERIFY(page.contains(QStringLiteral("href=\"../index.html\"")));
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
    QCOMPARE(lines.at(0), QByteArray("point,fi_deg,r_mm,korr,korr0,samples,power_db,snr_db,power_above_noise_db"));
    QCOMPARE(lines.at(1), QByteArray("0,-30.0,200.0,0,0,2,-99.50,1.50,0.50"));
    QCOMPARE(lines.at(2), QByteArray("1,0.0,150.0,1,2,2,-89.00,9.00,11.00"));
    QCOMPARE(lines.at(3), QByteArray("2,30.0,200.0,-1,-3,2,-96.00,4.00,4.00"));
    QVERIFY(lines.at(4).isEmpty());
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
    // A deleted page is made again.
    QVERIFY(QFile::remove(out(reportpages::pagePath(sa))));
    QCOMPARE(builder.update().rebuilt, 1);
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
    QVERIFY(QDir(out(QStringLiteral("passes"))).entryList(QDir::Files).contains(base + QStringLiteral(".html")));
    for (const QString &html : {index(), QString::fromUtf8(read(out(QStringLiteral("passes/") + base + QStringLiteral(".html"))))}) {
        QVERIFY(!html.contains(QLatin1String("<script>")));
        QVERIFY(!html.contains(QLatin1String("<img src=x>")));
        QVERIFY(html.contains(QLatin1String("&lt;script&gt;alert(1)&lt;/script&gt;")));
    }
}

void TestReport::statusPage()
{
    ReportBuilder builder(m_options);
    ReportRun run = builder.update();
    QVERIFY(run.statusWritten);
    QVERIFY(read(out(QStringLiteral("status.html"))).contains("No live status"));

    const QByteArray json = R"({"station":"Roof <A>","mode":"operator","time":"2026-12-07T04:05:09Z",
        "link":{"alive":false,"text":"Disconnected2","firmware":null},"gps":{"state":"ok","time":"04:05:08"},
        "controller":{"word":"0x0841","text":"Tracking.","error":true},"pass":null,
        "recording":{"state":5,"text":"recording","points":12},"lastDataFile":null,"lastEvent":null,"errors":2})";
    QVERIFY(writeBytes(m_options.statusFile, json));
    run = builder.update();
    QVERIFY(run.statusWritten);
    QVERIFY(!run.indexWritten);
    const QByteArray html = read(out(QStringLiteral("status.html")));
    for (const char *part : {"Roof &lt;A&gt;", "<span class=\"err\">down</span>", "04:05:08 UTC",
                             "<span class=\"err\">Tracking. (0x0841)</span>", "recording, 12 points",
                             "<span class=\"err\">2</span>"})
        QVERIFY2(html.contains(part), part);
    QCOMPARE(read(out(QStringLiteral("status.json"))), json);
    QVERIFY(!builder.update().statusWritten);
    QVERIFY(QFile::remove(m_options.statusFile));
    QVERIFY(builder.update().statusWritten);
    QVERIFY(!QFile::exists(out(QStringLiteral("status.json"))));
}

QTEST_MAIN(TestReport)
#include "tst_report.moc"
