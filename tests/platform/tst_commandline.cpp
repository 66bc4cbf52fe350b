// The options the programs share, and that every other word reaches the
// program untouched (the console's mode word depends on it).
#include "commandline.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

class TestCommandLine : public QObject
{
    Q_OBJECT
private slots:
    void parse_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("help");
        QTest::addColumn<bool>("version");
        QTest::addColumn<QString>("station");
        QTest::addColumn<QStringList>("words");
        QTest::addColumn<bool>("usageError");
        const QStringList none;
        QTest::newRow("nothing") << none << false << false << QString() << none << false;
        QTest::newRow("mode word") << QStringList{"qzx"} << false << false << QString() << QStringList{"qzx"} << false;
        QTest::newRow("two words stay two") << QStringList{"qzx", "x"} << false << false << QString()
                                            << QStringList{"qzx", "x"} << false;
        QTest::newRow("double dash is a word") << QStringList{"--", "qzx"} << false << false << QString()
                                               << QStringList{"--", "qzx"} << false;
        QTest::newRow("unknown option is a word") << QStringList{"--stations", "-v"} << false << false << QString()
                                                  << QStringList{"--stations", "-v"} << false;
        QTest::newRow("station then word") << QStringList{"--station", "/s t", "qzx"} << false << false
                                           << QString("/s t") << QStringList{"qzx"} << false;
        QTest::newRow("word then station") << QStringList{"qzx", "--station=/a"} << false << false << QString("/a")
                                           << QStringList{"qzx"} << false;
        QTest::newRow("station takes the next word whatever it is")
            << QStringList{"--station", "--help"} << false << false << QString("--help") << none << false;
        QTest::newRow("last station wins") << QStringList{"--station", "/a", "--station", "/b"} << false << false
                                           << QString("/b") << none << false;
        QTest::newRow("station without folder") << QStringList{"--station"} << false << false << QString() << none << true;
        QTest::newRow("station with empty folder") << QStringList{"--station="} << false << false << QString() << none << true;
        QTest::newRow("help") << QStringList{"--help"} << true << false << QString() << none << false;
        QTest::newRow("short help among words") << QStringList{"qzx", "-h"} << true << false << QString()
                                                << QStringList{"qzx"} << false;
        QTest::newRow("version") << QStringList{"--version"} << false << true << QString() << none << false;
        QTest::newRow("other case is a word") << QStringList{"--Version", "QZX"} << false << false << QString()
                                              << QStringList{"--Version", "QZX"} << false;
    }
    void parse()
    {
        QFETCH(QStringList, args);
        const platform::ProgramCommandLine line = platform::parseProgramCommandLine(args);
        QTEST(line.help, "help");
        QTEST(line.version, "version");
        QTEST(line.station, "station");
        QTEST(line.words, "words");
        QTEST(!line.error.isEmpty(), "usageError");
    }

    void stationFolderBecomesWorkingFolder()
    {
        QTemporaryDir dir;
        const QString before = QDir::currentPath();
        QString reason;
        QVERIFY(platform::enterStationFolder(dir.path(), &reason));
        QCOMPARE(QDir::currentPath(), QDir(dir.path()).canonicalPath());
        QVERIFY(!platform::enterStationFolder(dir.filePath(QStringLiteral("missing")), &reason));
        QCOMPARE(reason, QStringLiteral("No such file or directory"));
        QCOMPARE(QDir::currentPath(), QDir(dir.path()).canonicalPath()); // a failure moves nothing
        QVERIFY(QDir::setCurrent(before));
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
