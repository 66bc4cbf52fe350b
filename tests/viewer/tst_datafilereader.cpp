#include "datafilereader.h"
#include "viewertestfiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const QByteArray Minimal =
    "TuVaRN data file\nConfiguration:\nRadius 1000\nTrackInfo:\nSAT\n Fi R\n1.0 2.0 3 4 5 6 7 8\n"
    "Noise level -90\nRealTime section\nPower level\n1.5 2.5\nSNR\n3.5 4.5\nend\n";

QByteArray edited(const char *from, const QByteArray &to, QByteArray text = Minimal)
{
    return text.replace(from, to);
}

// n rows of one sample each; the first row's power and SNR lines hold `wide`
// samples when given.
QByteArray rows(int n, int wide = 0)
{
    QByteArray table, samples;
    for (int i = 0; i < n; ++i) {
        table += "1.0 2.0 3 4 5 6 7 8\n";
        samples += i == 0 && wide > 0 ? QByteArray("1 ").repeated(wide) + "\n" : QByteArray("1.5\n");
    }
    return "TuVaRN data file\n Fi\n" + table + "Noise level 0\nPower level\n" + samples + "SNR\n"
        + samples + "end\n";
}
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class TestDataFileReader : public QObject
{
    Q_OBJECT

private slots:
    void stationFileLoads()
    {
        QTemporaryDir dir;
        QVERIFY(writeTestFile(dir.path(), "a.dat",
                              {{10.0, 500, 2, -3, {-80, -78}, {5, 7}},
                               {45.26, 600.04, -1, 4, {-70, -72, -71}, {8, 6, 7}},
                               {-20.0, 700, 0, 0, {-75}, {6}}},
                              -95.5f));
        const DataFileContent file = readDataFile(dir.filePath("a.dat"));
        QCOMPARE(file.error, QString());
        QCOMPARE(file.configText, "ver 3.818d\nStation name Test\nRadius 1500\nFocus 600\nKorr. koeff.=1\n");
        QCOMPARE(file.trackText, "SAT 1 (4711)\nStart 12:00:00\n");

        ViewerData d;
        QCOMPARE(d.load(file), QString());
        QCOMPARE(d.rowCount, quint16(3));
        QCOMPARE(d.viewFeedAngle.at(1), float(45.3 * M_PI / 180));
        QCOMPARE(d.viewFeedRadius.at(1), 600.0f);
        QCOMPARE(QVector<int>({d.store.korr0At(0), d.store.korrAt(0), d.korr0Min, d.korr0Max}),
                 QVector<int>({-3, 2, -3, 4}));
        QCOMPARE(QVector<float>({d.store.meanPowerAt(1), d.store.meanSnrAt(1)}), QVector<float>({-71, 7}));
        // Power range reaches down to the noise level; SNR starts at 0.
        QCOMPARE(QVector<float>({d.viewRadius, d.viewFocus, d.viewNoise, d.powerMin, d.powerMax,
                                 d.powerThreshold, d.snrMin, d.snrMax, d.viewColourScale}),
                 QVector<float>({1500, 600, -95.5f, -95.5f, -70, -73, 0, 8, 256 / 25.5f}));
    }

    // The header is the writer's whole header line, so names holding "Fi" read;
    // a file without that line is read by the first line holding "Fi", as before.
    void headerFoundByItsWholeLine_data()
    {
        QTest::addColumn<QString>("station");
        QTest::addColumn<QString>("satellite");
        QTest::addColumn<QByteArray>("replace"); // header line replaced by this when not empty
        QTest::addColumn<QString>("error");
        QTest::addColumn<int>("rows");
        // Both lines ahead of the header hold "Fi".
        QTest::newRow("station Fiji Ground, satellite WiFi-SAT") << "Fiji Ground" << "WiFi-SAT" << QByteArray() << "" << 2;
        QTest::newRow("short header, plain names") << "Test" << "SAT" << QByteArray(" Fi R") << "" << 2;
        // Without the whole header the first "Fi" line is taken, as it always was.
        QTest::newRow("short header, Fiji Ground") << "Fiji Ground" << "SAT" << QByteArray(" Fi R")
                                                   << "power data!=mean data" << 0;
    }

    void headerFoundByItsWholeLine()
    {
        QFETCH(QString, station);
        QFETCH(QString, satellite);
        QFETCH(QByteArray, replace);
        QFETCH(QString, error);
        QFETCH(int, rows);
        QTemporaryDir dir;
        const QString title = testTitle().replace("Station name Test", "Station name " + station)
                                  .replace("SAT 1 (4711)", satellite + " 1 (4711)");
        QVERIFY(writeTestFile(dir.path(), "a.dat",
                              {{10.0, 500, 2, -3, {-80, -78}, {5, 7}}, {45.26, 600.04, -1, 4, {-70}, {8}}},
                              -95.5f, title));
        QByteArray bytes = fileBytes(dir.filePath("a.dat"));
        if (!replace.isEmpty())
            bytes.replace(DataFileTableHeader, replace);
        const DataFileContent file = parseDataFile(bytes);
        QCOMPARE(file.error, error);
        QCOMPARE(file.rows.size(), rows);
        if (rows > 0) {
            QCOMPARE(file.configText, "ver 3.818d\nStation name " + station
                                          + "\nRadius 1500\nFocus 600\nKorr. koeff.=1\n");
            QCOMPARE(file.trackText, satellite + " 1 (4711)\nStart 12:00:00\n");
            QCOMPARE(file.rows.at(1).korr0, 4);
            QCOMPARE(file.powerLines.at(0), QVector<float>({-80, -78}));
        }
    }

    void errors_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("error");
        QTest::addColumn<bool>("textsRead");
        QTest::newRow("good") << Minimal << "" << true;
        QTest::newRow("empty") << QByteArray() << "title bad" << false;
        QTest::newRow("title") << edited("data file", "data") << "title bad" << false;
        QTest::newRow("title before header") << edited(" Fi", "", edited("data file", "x")) << "title bad" << false;
        QTest::newRow("no header") << edited(" Fi", " Xx") << "file bad" << false;
        QTest::newRow("no noise") << edited("Noise level", "Noise") << "no noise level" << true;
        QTest::newRow("noise before power") << edited("Power", "P", edited("Noise level", "N")) << "no noise level" << true;
        QTest::newRow("zero track") << edited("1.0 2.0 3 4 5 6 7 8\n", "") << "zero track" << true;
        QTest::newRow("no power level") << edited("Power level", "Power") << "real section is bad" << true;
        QTest::newRow("power count") << edited("SNR\n", "9 9\nSNR\n") << "power data!=mean data" << true;
        QTest::newRow("no snr") << edited("SNR\n", "") << "power section is bad" << true;
        QTest::newRow("snr count") << edited("end", "1 1\nend") << "snr data!=mean data" << true;
        QTest::newRow("no end") << edited("end", "e") << "snr section is bad" << true;
        QTest::newRow("end after NUL") << edited("end", QByteArray("\0end", 4)) << "snr section is bad" << true;
        QTest::newRow("short row") << edited("7 8\n", "7\n") << "file bad" << true;
        QTest::newRow("unpaired samples") << edited("3.5 4.5", "3.5") << "file bad" << true;
        QTest::newRow("no samples") << edited("3.5 4.5", " ", edited("1.5 2.5", " ")) << "file bad" << true;
        QTest::newRow("65535 rows") << rows(65535) << "" << true;
        QTest::newRow("65536 rows") << rows(65536) << "file bad" << true;
        // 1.3 MB asking for two 1 GiB sample arrays.
        QTest::newRow("65535 rows, one line of 4096") << rows(65535, 4096) << "file bad" << true;
        QTest::newRow("store at its cap") << rows(512, 4096) << "" << true;
        QTest::newRow("store beyond its cap") << rows(512, 4097) << "file bad" << true;
    }

    void errors()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, error);
        QFETCH(bool, textsRead);
        const DataFileContent file = parseDataFile(text);
        QCOMPARE(file.error, error);
        QCOMPARE(file.textsRead, textsRead);
    }

    void unreadableAndCrLf()
    {
        QTemporaryDir dir;
        QCOMPARE(readDataFile(dir.filePath("missing.dat")).error, QString("not opened"));
        QFile crlf(dir.filePath("crlf.dat"));
        QVERIFY(crlf.open(QIODevice::WriteOnly));
        crlf.write(QByteArray(Minimal).replace("\n", "\r\n"));
        crlf.close();
        const DataFileContent a = readDataFile(crlf.fileName());
        QCOMPARE(a.error, QString());
        QCOMPARE(a.configText + a.trackText, "Radius 1000\nSAT\n");
        QCOMPARE(a.noise, -90.0f);
        QCOMPARE(a.snrLines, parseDataFile(Minimal).snrLines);
    }

    void pointWithoutSamples()
    {
        QTemporaryDir dir;
        QVERIFY(writeTestFile(dir.path(), "gap.dat",
                              {{0, 500, 0, 0, {-80}, {5}}, {1, 500, 0, 0, {}, {}}}, -90));
        QCOMPARE(readDataFile(dir.filePath("gap.dat")).error, QString("power data!=mean data"));
    }

    void snrRangeOnlyWidens()
    {
        ViewerData d;
        QCOMPARE(d.load(parseDataFile(edited("3.5 4.5", "5 8"))), QString());
        QCOMPARE(d.snrMin, 0.0f);
        QCOMPARE(d.snrMax, 8.0f);
        QCOMPARE(d.load(parseDataFile(edited("3.5 4.5", "-2 3"))), QString());
        QCOMPARE(d.snrMin, -2.0f);
        QCOMPARE(d.snrMax, 8.0f);

        // A store that cannot be allocated refuses the file and keeps the last one.
        DataFileContent huge = parseDataFile(Minimal);
        huge.maxSamples = 1u << 30;
        QCOMPARE(d.load(huge), QString("file bad"));
        QCOMPARE(d.store.meanSnrAt(0), 0.5f);
        // Refused beyond the cap even where the store could be allocated.
        huge.maxSamples = quint32(MaxViewerSampleSlots) + 1;
        QCOMPARE(d.load(huge), QString("file bad"));
        QCOMPARE(d.store.meanSnrAt(0), 0.5f);
        QCOMPARE(d.store.depth(), 2u);
    }
};

QTEST_GUILESS_MAIN(TestDataFileReader)
#include "tst_datafilereader.moc"
