#include "wholefile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

// A file written whole or not at all, also when the disk fills up halfway:
// the file-size limit stands in for a full disk (the write fails part-way).
class WholeFileTest : public QObject
{
    Q_OBJECT

    struct FileSizeLimit
    {
        rlimit saved {};
        explicit FileSizeLimit(rlim_t bytes)
        {
            std::signal(SIGXFSZ, SIG_IGN);
            getrlimit(RLIMIT_FSIZE, &saved);
            rlimit limit = saved;
            limit.rlim_cur = bytes;
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &saved); }
    };

private slots:
    void nothingCutOffWhenTheDiskFills_data();
    void nothingCutOffWhenTheDiskFills();
};

void WholeFileTest::nothingCutOffWhenTheDiskFills_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("earlierFile");
    // Below the write buffer the loss shows only when the buffer is flushed.
    QTest::newRow("small, new") << 3000 << false;
    QTest::newRow("small, replacing") << 3000 << true;
    QTest::newRow("large, new") << 100000 << false;
    QTest::newRow("large, replacing") << 100000 << true;
}

void WholeFileTest::nothingCutOffWhenTheDiskFills()
{
    QFETCH(int, size);
    QFETCH(bool, earlierFile);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("pass.dat"));
    QString message;
    if (earlierFile)
        QVERIFY(writeWholeFile(path, "earlier\n", &message));
    const QByteArray bytes(size, 'x');
    {
        FileSizeLimit full(1000);
        QVERIFY(!writeWholeFile(path, bytes, &message));
    }
    QVERIFY2(message.startsWith(QStringLiteral("cannot write ") + path), qPrintable(message));
    const QStringList expected = earlierFile ? QStringList{QStringLiteral("pass.dat")} : QStringList();
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), expected);
    if (earlierFile) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("earlier\n"));
    }
    // With room again the same call succeeds.
    QVERIFY(writeWholeFile(path, bytes, &message));
    QCOMPARE(QFileInfo(path).size(), qint64(size));
}

QTEST_GUILESS_MAIN(WholeFileTest)
#include "tst_wholefile.moc"
