#include "clock.h"
#include "datafilenaming.h"
#include "passdatastore.h"
#include "settings.h"

#include <QTemporaryDir>
#include <QtTest>

class TestDataFileNaming : public QObject
{
    Q_OBJECT

    StationSettingsRecord m_settings;

private slots:
    void cleanup();
    void fileName_data();
    void fileName();
    void fileNameAtPlatformNow();
    void longNameIsWritten();
    void title_data();
    void title();
};

void TestDataFileNaming::cleanup()
{
    m_settings.reset();
    platform::setClock(nullptr);
}

void TestDataFileNaming::fileName_data()
{
    QTest::addColumn<QString>("satellite");
    QTest::addColumn<QString>("orbit");
    QTest::addColumn<QDateTime>("local");
    QTest::addColumn<QString>("name");

    const QDateTime example(QDate(2026, 12, 7), QTime(4, 5, 9));
    QTest::newRow("example") << QStringLiteral("SAT 1") << QStringLiteral("4711") << example
                             << QStringLiteral("SAT 1 (4711)_071226_040509.dat");
    QTest::newRow("24-hour clock, end of year")
        << QStringLiteral("NOAA 19") << QStringLiteral("80123")
        << QDateTime(QDate(1999, 12, 31), QTime(23, 59, 58))
        << QStringLiteral("NOAA 19 (80123)_311299_235958.dat");
    // Shortened in the satellite part only: the .dat, its .ai and the
    // writer's temporary file all stay within 255 bytes.
    QTest::newRow("long satellite") << QString(300, QLatin1Char('N')) << QStringLiteral("42") << example
                                    << QString(222, QLatin1Char('N')) + QStringLiteral(" (42)_071226_040509.dat");
    QTest::newRow("separators in the satellite")
        << QStringLiteral("../../etc/x") << QStringLiteral("1") << example
        << QStringLiteral(".._.._etc_x (1)_071226_040509.dat");
    QTest::newRow("separators in the orbit")
        << QStringLiteral("SAT") << QStringLiteral("1\\2/3") << example
        << QStringLiteral("SAT (1_2_3)_071226_040509.dat");
    QTest::newRow("forbidden and control characters")
        << QStringLiteral("A:B*C?\"<>|") << QStringLiteral("9\t\r") << example
        << QStringLiteral("A_B_C_____ (9__)_071226_040509.dat");
    QTest::newRow("empty track fields") << QString() << QString() << example
                                        << QStringLiteral(" ()_071226_040509.dat");
}

void TestDataFileNaming::fileName()
{
    QFETCH(QString, satellite);
    QFETCH(QString, orbit);
    QFETCH(QDateTime, local);
    QFETCH(QString, name);
    QCOMPARE(dataFileName(satellite, orbit, local), name);
}

void TestDataFileNaming::fileNameAtPlatformNow()
{
    FakeClock clock(QDateTime(QDate(2026, 12, 7), QTime(4, 5, 9), Qt::UTC));
    platform::setClock(&clock);
    const QString expected = QStringLiteral("S (1)_")
        + clock.nowUtc().toLocalTime().toString(QStringLiteral("ddMMyy_hhmmss"))
        + QStringLiteral(".dat");
    QCOMPARE(dataFileName(QStringLiteral("S"), QStringLiteral("1")), expected);
}

void TestDataFileNaming::longNameIsWritten()
{
    QTemporaryDir dir;
    PassDataStore store;
    QCOMPARE(store.allocate(10, 4), 0);
    const QString name = dataFileName(QString(300, QChar(0x00E9)), QStringLiteral("42"),
                                      QDateTime(QDate(2026, 12, 7), QTime(4, 5, 9)));
    QString error;
    QCOMPARE(store.writeDataFile(dir.path(), name, QStringLiteral("title\n"), {}, {}, {}, {}, &error),
             int(PassDataStore::WriteOk));
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QVERIFY(QFile::exists(dir.filePath(name)));
    QVERIFY(QFile::exists(dir.filePath(name + QStringLiteral(".ai"))));
}

void TestDataFileNaming::title_data()
{
    QTest::addColumn<bool>("switchesOn");
    QTest::addColumn<QString>("title");

    QTest::newRow("example settings, switches off")
        << false
        << QStringLiteral("TuVaRN data file\nConfiguration:\nver 3.818d\nStation name  Home St. \n"
                          "Radius 500\nFocus 1400\nDeviation threshold 0.2\nDeviation step 4\n"
                          "Max. deviation 40\nFeedBack disable\nScanLR disable\nScanFB disable\n"
                          "Korr. koeff.=1\nTrackInfo:\n");
    QTest::newRow("odd values, switches on")
        << true
        << QStringLiteral("TuVaRN data file\nConfiguration:\nver 3.818d\nStation name  Home St. \n"
                          "Radius 1.23457e+06\nFocus 1400.5\nDeviation threshold 1e-05\n"
                          "Deviation step -4\nMax. deviation 44\nFeedBack enable\nScanLR enable\n"
                          "ScanFB enable\nKorr. koeff.=0.987654\nTrackInfo:\n");
}

void TestDataFileNaming::title()
{
    QFETCH(bool, switchesOn);
    QFETCH(QString, title);
    m_settings.StationName = QStringLiteral(" Home St. ");
    if (!switchesOn) {
        m_settings.Radius = double(500.0f);
        m_settings.Focus = double(1400.0f);
        m_settings.DeviationPorog = 0.2f;
        m_settings.DeviationStep = 4;
        m_settings.MaxDeviation = 40;
        m_settings.korr = double(1.0f);
    } else {
        m_settings.Radius = double(1234567.0f);
        m_settings.Focus = double(1400.5f);
        m_settings.DeviationPorog = 1e-05f;
        m_settings.DeviationStep = -4;
        m_settings.MaxDeviation = qint8(300);
        m_settings.korr = double(0.98765432f);
        m_settings.Feedback = true;
        m_settings.ScanModeRL = true;
        m_settings.ScanModeFB = true;
    }
    const QString got = dataFileTitle(m_settings);
    QCOMPARE(got, title);
    QCOMPARE(got.count(QLatin1Char('\n')), 14);
}

QTEST_GUILESS_MAIN(TestDataFileNaming)
#include "tst_datafilenaming.moc"
