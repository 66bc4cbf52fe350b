// track-report's status page: a status that cannot lie about its age, the
// console's last state, and a plain sentence for every status.json it cannot use.
#include "reportbuilder.h"
#include "reporttestfiles.h"

#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// A status as the console writes it, `ageSeconds` old.
QByteArray status(qint64 ageSeconds, const QByteArray &mode = "operator", bool linkAlive = true)
{
    const QByteArray at = QDateTime::currentDateTimeUtc().addSecs(-ageSeconds).toString(Qt::ISODate).toLatin1();
    const QByteArray start = QDateTime::currentDateTimeUtc().addSecs(600).toString(Qt::ISODate).toLatin1();
    return R"({"station":"Roof <A>","mode":")" + mode + R"(","time":")" + at + R"(",
        "link":{"alive":)" + (linkAlive ? "true" : "false") + R"(,"text":"Connected","firmware":"3.7"},
        "gps":{"state":"ok","time":"04:05:08"},
        "controller":{"word":"0x3000","text":"In start position.","error":false},
        "pass":{"satellite":"NOAA 19","orbit":"4711","start":")" + start + R"(","reachablePoints":40,"uploadPoints":40},
        "recording":{"state":5,"text":"recording","points":19},
        "lastDataFile":"/home/op/secret-station/data/SAT 1 (1)_071226_040509.dat",
        "lastEvent":{"time":")" + at + R"(","message":"track sent"},"errors":2,"extra":"not published"})";
}

} // namespace

class TestReportStatus : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    ReportOptions m_options;

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("data")));
        m_options = ReportOptions();
        m_options.dataDir = m_dir->filePath(QStringLiteral("data"));
        m_options.outDir = m_dir->filePath(QStringLiteral("report"));
        m_options.statusFile = m_dir->filePath(QStringLiteral("status.json"));
    }

    void statusPageTellsWhatItKnows_data()
    {
        QTest::addColumn<QString>("kind");      // how status.json stands in the folder
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("shown"); // parts of the page
        QTest::addColumn<bool>("published");    // a status.json beside the page
        QTest::addColumn<int>("staleSeconds");  // the option; 0: left at its default
        const QStringList sentence = {QStringLiteral("<p class=\"err\">No live status: ")};
        QTest::newRow("fresh") << "file" << status(5)
            << QStringList{"<h1>Roof &lt;A&gt;</h1>", "class=\"live\"", "updated 5 s ago", "<span title=\"status word 0x3000\">In start position</span>, <span class=\"countdown\"",
                           "starts in 9 min", "recording, 19 of 40 points", "ok, 04:05:08 UTC", "NOAA 19 (4711), start ",
                           "<span class=\"err\">2</span>", "SAT 1 (1)_071226_040509.dat"} << true << 0;
        QTest::newRow("old") << "file" << status(600)
            << QStringList{"class=\"live stale\"", "data-stale=\"90\"", "no news for 10 min"} << true << 0;
        QTest::newRow("old, limit raised to an hour") << "file" << status(600)
            << QStringList{"class=\"live\"", "updated 10 min ago", "data-stale=\"3600\""} << true << 3600;
        QTest::newRow("link down: GPS unknown") << "file" << status(5, "operator", false)
            << QStringList{"<span class=\"err\">down</span>", "<th>GPS</th><td>unknown</td>"} << true << 0;
        QTest::newRow("stopped") << "file" << status(3600, "stopped")
            << QStringList{"class=\"live stopped\"", "down</span> &ndash; console not running", "console stopped at " + QDateTime::currentDateTimeUtc().addSecs(-3600).toString("yyyy-MM-dd hh:mm")} << true << 0;
        QTest::newRow("missing") << "none" << QByteArray() << (sentence + QStringList{"the file is missing"}) << false << 0;
        QTest::newRow("half-written") << "file" << status(5).left(200) << (sentence + QStringList{"half-written or not JSON"}) << false << 0;
        QTest::newRow("not JSON") << "file" << QByteArray("root:$6$secret:19000:0:99999:7:::\n") << (sentence + QStringList{"not JSON"}) << false << 0;
        QTest::newRow("no time") << "file" << QByteArray("{\"station\":\"x\"}") << (sentence + QStringList{"names no time"}) << false << 0;
        QTest::newRow("too large") << "file" << QByteArray(100 * 1024, ' ') << (sentence + QStringList{"larger than"}) << false << 0;
        QTest::newRow("FIFO") << "fifo" << QByteArray() << (sentence + QStringList{"not a regular file"}) << false << 0;
        QTest::newRow("folder") << "dir" << QByteArray() << (sentence + QStringList{"not a regular file"}) << false << 0;
        QTest::newRow("link to a readable file") << "link" << status(5) << (sentence + QStringList{"a link, not a regular file"}) << false << 0;
    }

    void statusPageTellsWhatItKnows()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, content);
        QFETCH(QStringList, shown);
        QFETCH(bool, published);
        QFETCH(int, staleSeconds);
        if (staleSeconds)
            m_options.staleSeconds = staleSeconds;
        const QByteArray path = QFile::encodeName(m_options.statusFile);
        if (kind == QLatin1String("file")) {
            QVERIFY(writeBytes(m_options.statusFile, content));
        } else if (kind == QLatin1String("fifo")) {
            QCOMPARE(::mkfifo(path.constData(), 0600), 0);
        } else if (kind == QLatin1String("dir")) {
            QCOMPARE(::mkdir(path.constData(), 0700), 0);
        } else if (kind == QLatin1String("link")) {
            QVERIFY(writeBytes(m_dir->filePath(QStringLiteral("elsewhere.json")), content));
            QCOMPARE(::symlink("elsewhere.json", path.constData()), 0);
        }
        const ReportRun run = ReportBuilder(m_options).update(); // a FIFO must not hang it
        QVERIFY(run.statusWritten);
        const QString html = QString::fromUtf8(read(m_dir->filePath(QStringLiteral("report/status.html"))));
        for (const QString &part : shown)
            QVERIFY2(html.contains(part), qPrintable(part + QStringLiteral("\n") + html));
        // Never a path of the server's disk, never the file's own bytes.
        QVERIFY(!html.contains(m_dir->path()));
        QVERIFY(!html.contains(QLatin1String("secret")));
        QVERIFY(!html.contains(QLatin1String("/home/")));
        const QByteArray copy = read(m_dir->filePath(QStringLiteral("report/status.json")));
        QCOMPARE(!copy.isEmpty(), published);
        // Only what the page shows is published.
        QVERIFY(!copy.contains("/home/") && !copy.contains("not published") && !copy.contains("secret"));
    }
};

QTEST_MAIN(TestReportStatus)
#include "tst_reportstatus.moc"
