#include "passdatastore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {
double rad(double degrees) { return degrees * 3.14159265358979323846 / 180.0; }

QByteArray readAll(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray("<missing>");
    return f.readAll();
}

QString spaces(int n) { return QString(n, QLatin1Char(' ')); }

// The table rows of a data file text: the lines between header and noise level.
QStringList tableRows(const QByteArray &text)
{
    const QStringList lines = QString::fromUtf8(text).split(QLatin1Char('\n'));
    int header = 0;
    while (header < lines.size() && !lines.at(header).startsWith(QLatin1String(" Fi ")))
        ++header;
    int noise = header + 1;
    while (noise < lines.size() && !lines.at(noise).startsWith(QLatin1String("Noise level")))
        ++noise;
    return lines.mid(header + 1, noise - header - 1);
}

// One closed point with a single sample pair.
QString oneRow(double fiDegrees, double radius, qint32 step)
{
    PassDataStore store;
    store.allocate(1, 20);
    store.start();
    store.addSample(1.0f, 1.0f);
    store.closePoint();
    store.addPoint(0, 0, step, 1);
    const QStringList rows = tableRows(store.dataFileText(QString(), {radius}, {rad(fiDegrees)}));
    return rows.value(0);
}

const char SmallPass[] =
    "TuVaRN data file\nTrackInfo:\nSAT pass"
    "\n Fi       R     Korr    Korr0     P      SNR     N      X      step    err\n"
    "30.0    200.0   4       -1      11.2    2.1     2       1         42949672950  \n"
    "-123.5   0.0     -128    127     -120.0  -123.4  1       1         57      0  \n"
    "5.0     500.0   0       0       0.0     0.0     0       1         0       0  \n"
    "Noise level -45.5\n"
    "RealTime section\n"
    "Power level\n"
    "10.10 12.30 \n"
    "-120.04 \n"
    "\n"
    "SNR\n"
    "1.50 2.70 \n"
    "-123.44 \n"
    "\n"
    "end\n";

const char SmallPassCompanion[] =
    "\n Azim    Elev    SNR    P\n"
    "10.0    45.0    2.1     11.2    \n"
    "200.5   0.0     -123.4   -120.0  \n"
    "360.0   89.9    0.0     0.0     \n";
}

class TestDataFile : public QObject
{
    Q_OBJECT

private:
    // Three points: two samples, one sample, none; the open fourth is never written.
    static void fillSmallPass(PassDataStore &store)
    {
        store.allocate(1000, 20);
        store.start();
        store.addSample(10.1f, 1.5f);
        store.addSample(12.3f, 2.7f);
        store.closePoint();
        store.addPoint(-1, 4, -1, 1);
        store.addSample(-120.04f, -123.44f);
        store.closePoint();
        store.addPoint(127, -128, 57, 1);
        store.closePoint();
        store.addPoint(0, 0, 0, 1);
        store.addSample(99.0f, 99.0f);
        store.setNoiseLevel(-45.5f);
    }
    static int write(const PassDataStore &store, const QString &folder, const QString &name,
                     QString *error = nullptr)
    {
        return store.writeDataFile(folder, name, QStringLiteral("TuVaRN data file\nTrackInfo:\nSAT pass"),
                                   {200.0, 0.04, 499.96}, {rad(30), rad(-123.46), rad(5)},
                                   {rad(10), rad(200.5), rad(359.96)}, {rad(45), rad(0.04), rad(89.9)},
                                   error);
    }
    static QStringList entries(const QString &folder)
    {
        return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }

private slots:
    void smallPassByteForByte();
    void exampleRowOf77Characters();
    void fiCell_data();
    void fiCell();
    void stepAndErrCells_data();
    void stepAndErrCells();
    void noiseLevelInG6_data();
    void noiseLevelInG6();
    void emptyPassStillHasEverySection();
    void replacesAnEarlierFileWhole();
    void refusedFolderReportsAndWritesNothing();
    void refusedFileLeavesNoPartialFile_data();
    void refusedFileLeavesNoPartialFile();
    void unsafeFileNameIsRefused_data();
    void unsafeFileNameIsRefused();
    void unallocatedStoreWritesNothing();
};

void TestDataFile::smallPassByteForByte()
{
    PassDataStore store;
    fillSmallPass(store);
    QTemporaryDir dir;
    // The folder is made on the way; exactly the two files stay behind.
    const QString folder = dir.filePath(QStringLiteral("station/data"));
    QString error = QStringLiteral("stale");
    QCOMPARE(write(store, folder, QStringLiteral("SAT (1)_071226_040509.dat"), &error), 0);
    QCOMPARE(error, QString());
    QCOMPARE(entries(folder), QStringList({QStringLiteral("SAT (1)_071226_040509.dat"),
                                           QStringLiteral("SAT (1)_071226_040509.dat.ai")}));
    const QString path = folder + QStringLiteral("/SAT (1)_071226_040509.dat");
    QCOMPARE(readAll(path), QByteArray(SmallPass));
    QCOMPARE(readAll(path + QStringLiteral(".ai")), QByteArray(SmallPassCompanion));
}

void TestDataFile::exampleRowOf77Characters()
{
    PassDataStore store;
    store.allocate(1000, 20);
    store.start();
    for (int n = 0; n < 20; ++n)
        store.addSample(12.34f, 5.67f);
    store.closePoint();
    store.addPoint(2, -3, 57, 1);

    const QStringList rows = tableRows(store.dataFileText(QString(), {123.44}, {rad(45.26)}));
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows.at(0),
             QStringLiteral("45.3    123.4   -3      2       12.3    5.7     20      1         57      0  "));
    QCOMPARE(rows.at(0).size(), 77);
}

void TestDataFile::fiCell_data()
{
    QTest::addColumn<double>("degrees");
    QTest::addColumn<QString>("cell");

    QTest::newRow("long: no padding") << -123.46 << QStringLiteral("-123.5   ");
    QTest::newRow("short: padded to 8") << 5.0 << QStringLiteral("5.0     ");
    QTest::newRow("exactly 8") << 123.44 << QStringLiteral("123.4   ");
    QTest::newRow("rounds up across a digit") << 99.96 << QStringLiteral("100.0   ");
}

void TestDataFile::fiCell()
{
    QFETCH(double, degrees);
    QFETCH(QString, cell);
    // The R cell follows directly: it shows where the Fi cell ends.
    QCOMPARE(oneRow(degrees, 7.0, 0).left(cell.size() + 6), cell + QStringLiteral("7.0   "));
}

void TestDataFile::stepAndErrCells_data()
{
    QTest::addColumn<qint32>("step");
    QTest::addColumn<QString>("tail");

    QTest::newRow("57") << 57 << QStringLiteral("1         57      0  ");
    QTest::newRow("8 digits") << 12345678 << QStringLiteral("1         123456780  ");
    QTest::newRow("negative as unsigned") << -1 << QStringLiteral("1         42949672950  ");
}

void TestDataFile::stepAndErrCells()
{
    QFETCH(qint32, step);
    QFETCH(QString, tail);
    const QString row = oneRow(0.0, 0.0, step);
    QVERIFY2(row.endsWith(tail), qPrintable(row));
}

void TestDataFile::noiseLevelInG6_data()
{
    QTest::addColumn<float>("level");
    QTest::addColumn<QString>("line");

    QTest::newRow("whole") << 1400.0f << QStringLiteral("Noise level 1400");
    QTest::newRow("single-precision 0.2") << 0.2f << QStringLiteral("Noise level 0.2");
    QTest::newRow("tiny") << 1e-05f << QStringLiteral("Noise level 1e-05");
    QTest::newRow("seven digits") << 1234567.0f << QStringLiteral("Noise level 1.23457e+06");
    QTest::newRow("six significant") << -123.4567f << QStringLiteral("Noise level -123.457");
}

void TestDataFile::noiseLevelInG6()
{
    QFETCH(float, level);
    QFETCH(QString, line);
    PassDataStore store;
    store.allocate(1, 1);
    store.start();
    store.setNoiseLevel(level);
    const QStringList lines = QString::fromUtf8(store.dataFileText(QString(), {}, {})).split('\n');
    QVERIFY(lines.contains(line));
}

void TestDataFile::emptyPassStillHasEverySection()
{
    PassDataStore store;
    store.allocate(1000, 20);
    store.start();
    store.addSample(3.0f, 3.0f); // open, never closed by addPoint
    QTemporaryDir dir;
    QCOMPARE(store.writeDataFile(dir.path(), QStringLiteral("e.dat"), QStringLiteral("title"),
                                 {}, {}, {}, {}),
             0);
    // The headers spelled out space by space.
    const QString header = QStringLiteral("\n Fi") + spaces(7) + QStringLiteral("R") + spaces(5)
        + QStringLiteral("Korr") + spaces(4) + QStringLiteral("Korr0") + spaces(5)
        + QStringLiteral("P") + spaces(6) + QStringLiteral("SNR") + spaces(5) + QStringLiteral("N")
        + spaces(6) + QStringLiteral("X") + spaces(6) + QStringLiteral("step") + spaces(4)
        + QStringLiteral("err\n");
    QCOMPARE(QString::fromUtf8(readAll(dir.filePath(QStringLiteral("e.dat")))),
             QStringLiteral("title") + header
                 + QStringLiteral("Noise level 0\nRealTime section\nPower level\nSNR\nend\n"));
    QCOMPARE(QString::fromUtf8(readAll(dir.filePath(QStringLiteral("e.dat.ai")))),
             QStringLiteral("\n Azim") + spaces(4) + QStringLiteral("Elev") + spaces(4)
                 + QStringLiteral("SNR") + spaces(4) + QStringLiteral("P\n"));
}

void TestDataFile::replacesAnEarlierFileWhole()
{
    QTemporaryDir dir;
    QFile old(dir.filePath(QStringLiteral("p.dat")));
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(10000, 'x'));
    old.close();

    PassDataStore store;
    fillSmallPass(store);
    QCOMPARE(write(store, dir.path(), QStringLiteral("p.dat")), 0);
    QCOMPARE(readAll(dir.filePath(QStringLiteral("p.dat"))), QByteArray(SmallPass));
}

void TestDataFile::refusedFolderReportsAndWritesNothing()
{
    QTemporaryDir dir;
    // A plain file where the folder should be: the folder cannot be made.
    QFile blocker(dir.filePath(QStringLiteral("data")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.write("keep");
    blocker.close();

    PassDataStore store;
    fillSmallPass(store);
    for (const QString &folder : {dir.filePath(QStringLiteral("data")), dir.filePath(QStringLiteral("data/sub"))}) {
        QString error;
        QCOMPARE(write(store, folder, QStringLiteral("p.dat"), &error), 1);
        QVERIFY2(error.contains(folder), qPrintable(error));
    }
    QCOMPARE(readAll(dir.filePath(QStringLiteral("data"))), QByteArray("keep"));
    QCOMPARE(entries(dir.path()), QStringList{QStringLiteral("data")});
}

void TestDataFile::refusedFileLeavesNoPartialFile_data()
{
    QTest::addColumn<QString>("blocked");
    QTest::addColumn<QString>("written");

    QTest::newRow("data file") << QStringLiteral("p.dat") << QStringLiteral("p.dat.ai");
    QTest::newRow("companion") << QStringLiteral("p.dat.ai") << QStringLiteral("p.dat");
}

void TestDataFile::refusedFileLeavesNoPartialFile()
{
    QFETCH(QString, blocked);
    QFETCH(QString, written);
    QTemporaryDir dir;
    // A folder in a file's place cannot be replaced by it.
    QVERIFY(QDir(dir.path()).mkdir(blocked));
    PassDataStore store;
    fillSmallPass(store);
    QString error;
    QCOMPARE(write(store, dir.path(), QStringLiteral("p.dat"), &error), 1);
    QVERIFY2(error.contains(dir.filePath(blocked) + QLatin1Char(':')), qPrintable(error));
    QVERIFY(QFileInfo(dir.filePath(blocked)).isDir());
    // The other file is whole, and no temporary file stays behind.
    const QByteArray expected = written.endsWith(QLatin1String(".ai")) ? QByteArray(SmallPassCompanion)
                                                                        : QByteArray(SmallPass);
    QCOMPARE(readAll(dir.filePath(written)), expected);
    QCOMPARE(entries(dir.path()), QStringList({QStringLiteral("p.dat"), QStringLiteral("p.dat.ai")}));
}

void TestDataFile::unsafeFileNameIsRefused_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("parent") << QStringLiteral("../p.dat");
    QTest::newRow("subfolder") << QStringLiteral("a/p.dat");
    QTest::newRow("backslash") << QStringLiteral("..\\p.dat");
    QTest::newRow("empty") << QString();
    QTest::newRow("dot-dot") << QStringLiteral("..");
}

void TestDataFile::unsafeFileNameIsRefused()
{
    QFETCH(QString, name);
    QTemporaryDir dir;
    PassDataStore store;
    fillSmallPass(store);
    QString error;
    QCOMPARE(write(store, dir.filePath(QStringLiteral("data")), name, &error), 1);
    QVERIFY(!error.isEmpty());
    QCOMPARE(entries(dir.path()), QStringList());
}

void TestDataFile::unallocatedStoreWritesNothing()
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("data"));
    PassDataStore store;
    QCOMPARE(write(store, folder, QStringLiteral("p.dat")), 2);
    QVERIFY(!QFileInfo::exists(folder));
}

QTEST_GUILESS_MAIN(TestDataFile)
#include "tst_datafile.moc"
