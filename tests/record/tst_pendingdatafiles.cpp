#include "pendingdatafiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

// Files of a pass that could not be written at the finish are kept and written
// whole once the folder takes them again.
class PendingDataFilesTest : public QObject
{
    Q_OBJECT

    static QByteArray read(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    // A plain file where the data folder should be: no one, root included,
    // can write below it until it goes.
    static void block(const QString &path)
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }

private slots:
    void writtenWhenTheFolderTakesThemAgain_data();
    void writtenWhenTheFolderTakesThemAgain();
    void oldestDroppedWhenFull();
};

void PendingDataFilesTest::writtenWhenTheFolderTakesThemAgain_data()
{
    QTest::addColumn<QByteArray>("dataText");
    QTest::addColumn<QByteArray>("companionText");
    QTest::newRow("both files") << QByteArray("TuVaRN data file\nend\n") << QByteArray("\n Azim\n");
    QTest::newRow("only the companion") << QByteArray() << QByteArray("\n Azim\n");
    QTest::newRow("only the data file") << QByteArray("TuVaRN data file\nend\n") << QByteArray();
}

void PendingDataFilesTest::writtenWhenTheFolderTakesThemAgain()
{
    QFETCH(QByteArray, dataText);
    QFETCH(QByteArray, companionText);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = dir.filePath(QStringLiteral("data"));
    block(folder);
    const QString path = folder + QStringLiteral("/SAT (1)_010120_000000.dat");

    PendingDataFiles pending;
    QVERIFY(pending.add(path, dataText, companionText).isEmpty());
    QString error;
    QVERIFY(pending.retry(&error).isEmpty());
    QVERIFY2(error.contains(folder), qPrintable(error));
    QVERIFY(pending.retry().isEmpty()); // still kept
    QCOMPARE(pending.paths(), QStringList{path});

    QVERIFY(QFile::remove(folder));
    QCOMPARE(pending.retry(&error), QStringList{path});
    QVERIFY(error.isEmpty());
    QVERIFY(pending.isEmpty());
    // Exactly what was kept, and nothing written for a text already on disk.
    QStringList expected;
    if (!dataText.isEmpty()) {
        QCOMPARE(read(path), dataText);
        expected << QFileInfo(path).fileName();
    }
    if (!companionText.isEmpty()) {
        QCOMPARE(read(path + QStringLiteral(".ai")), companionText);
        expected << QFileInfo(path).fileName() + QStringLiteral(".ai");
    }
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name), expected);
    QVERIFY(pending.retry().isEmpty());
}

void PendingDataFilesTest::oldestDroppedWhenFull()
{
    PendingDataFiles pending;
    for (int i = 0; i < PendingDataFiles::MaxKept; ++i)
        QVERIFY(pending.add(QStringLiteral("/nonexistent/%1.dat").arg(i), "d", "c").isEmpty());
    QCOMPARE(pending.add(QStringLiteral("/nonexistent/new.dat"), "d", "c"), QStringLiteral("/nonexistent/0.dat"));
    QCOMPARE(pending.size(), PendingDataFiles::MaxKept);
    QCOMPARE(pending.paths().last(), QStringLiteral("/nonexistent/new.dat"));
}

QTEST_GUILESS_MAIN(PendingDataFilesTest)
#include "tst_pendingdatafiles.moc"
