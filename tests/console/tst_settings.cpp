#include "dialogs.h"
#include "settings.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {
// A complete file whose TrackPath lies in an existing folder.
QByteArray completeFile(const QString &trackDir, const QByteArray &eol = "\n")
{
    QList<QByteArray> lines = exampleSettingsText().split('\n');
    QByteArray out;
    for (QByteArray line : lines) {
        line.replace("\r", "");
        if (line.startsWith("C:\\"))
            line = (trackDir + QStringLiteral("/Track.txt")).toUtf8();
        out += line + eol;
    }
    return out;
}

QByteArray replaceValue(QByteArray file, const QByteArray &key, const QByteArray &value)
{
    const QByteArray from = "\n" + key + "\n";
    const int at = file.indexOf(from);
    Q_ASSERT(at >= 0);
    const int valueStart = at + from.size();
    const int valueEnd = file.indexOf('\n', valueStart);
    return file.replace(valueStart, valueEnd - valueStart, value);
}
}

class TestSettings : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    ScriptedDialogs m_dialogs;
    StationSettingsRecord m_settings;

private slots:
    void init()
    {
        m_settings.reset();
        m_dialogs = ScriptedDialogs();
        platform::setDialogs(&m_dialogs);
    }
    void cleanup()
    {
        QVERIFY2(m_dialogs.unexpected().isEmpty(), qPrintable(m_dialogs.unexpected().join('|')));
        platform::setDialogs(nullptr);
    }

    void defaultsBeforeLoading()
    {
        QCOMPARE(m_settings.korr, 1.0);
        QCOMPARE(m_settings.Focus, 0.0);
        QCOMPARE(m_settings.Port, 0);
    }

    void exampleLoadsWithAllValues()
    {
        QCOMPARE(loadSettingsFromBytes(m_settings, completeFile(m_dir.path())), quint8(0));
        const StationSettingsRecord &s = m_settings;
        QCOMPARE(s.StationName, QStringLiteral("Name"));
        QCOMPARE(s.Focus, 1400.0);
        QCOMPARE(s.Radius, 500.0);
        QCOMPARE(s.HalfRadius, 250.0);
        QCOMPARE(s.Port, 1);
        QCOMPARE(s.TimeCorr, 1);
        QCOMPARE(s.MaxDeviation, qint8(40));
        QCOMPARE(s.DeviationStep, qint8(4));
        QCOMPARE(s.DeviationPorog, 0.2f);
        QVERIFY(s.Demodulator);
        QVERIFY(!s.Feedback);
        QVERIFY(!s.ScanModeRL);
        QVERIFY(!s.ScanModeFB);
        QCOMPARE(s.korr, 1.0);
    }

    void crlfAndLfReadAlike()
    {
        QCOMPARE(loadSettingsFromBytes(m_settings, completeFile(m_dir.path(), "\r\n")), quint8(0));
        QCOMPARE(m_settings.StationName, QStringLiteral("Name"));
        QCOMPARE(m_settings.korr, 1.0);
    }

    void resultCodes_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("code");
        const QByteArray good = completeFile(m_dir.path());
        QTest::newRow("magic inside other text") << QByteArray("xx Tuvarn_ini_file yy\n") + good.mid(good.indexOf('\n') + 1) << 0;
        QTest::newRow("magic in other case") << QByteArray("tuvarn_ini_file\n") + good.mid(good.indexOf('\n') + 1) << 1;
        QTest::newRow("empty file") << QByteArray() << 1;
        QTest::newRow("one line") << QByteArray("Tuvarn_ini_file") << 2;
        QTest::newRow("two lines") << QByteArray("Tuvarn_ini_file\nStationName") << 3;
        QTest::newRow("no StationName") << QByteArray("Tuvarn_ini_file\nStation\nx\nFocus\n1\n") << 2;
        QTest::newRow("exactly three lines") << QByteArray("Tuvarn_ini_file\nStationName\nA") << 3;
        QTest::newRow("korr missing") << good.left(good.indexOf("korr\n")) << 3;
        QTest::newRow("korr on last line") << good.left(good.indexOf("korr\n") + 4) << 3;
        QTest::newRow("port 0") << replaceValue(good, "Port", "0") << 1;
        QTest::newRow("port 51") << replaceValue(good, "Port", "51") << 1;
        QTest::newRow("port -3") << replaceValue(good, "Port", "-3") << 1;
        QTest::newRow("port letters first") << replaceValue(good, "Port", "x5") << 1;
        QTest::newRow("port 50") << replaceValue(good, "Port", "50") << 0;
        QTest::newRow("port with blanks") << replaceValue(good, "Port", "  7 ") << 0;
        QTest::newRow("NUL cuts the file") << good.left(good.indexOf("korr")) + QByteArray(1, '\0') + "korr\n1\n" << 3;
        QTest::newRow("binary garbage") << QByteArray("\xff\xfe\x00\x01garbage", 11) << 1;
    }
    void resultCodes()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, code);
        QCOMPARE(int(loadSettingsFromBytes(m_settings, content)), code);
    }

    // Values the pointing model cannot use are refused like a bad Port; zero
    // (an empty or non-numeric value) and every ordinary value still load.
    void numbersOutOfRange_data()
    {
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<int>("code");
        QTest::newRow("Radius nan") << QByteArray("Radius") << QByteArray("nan") << 1;
        QTest::newRow("Radius inf") << QByteArray("Radius") << QByteArray("inf") << 1;
        QTest::newRow("Radius -inf") << QByteArray("Radius") << QByteArray("-inf") << 1;
        QTest::newRow("Radius 3e9") << QByteArray("Radius") << QByteArray("3e9") << 1;
        QTest::newRow("Radius negative") << QByteArray("Radius") << QByteArray("-500") << 1;
        QTest::newRow("Radius overflowing float reads as 0") << QByteArray("Radius") << QByteArray("1e39") << 0;
        QTest::newRow("Radius 1234567") << QByteArray("Radius") << QByteArray("1234567") << 0;
        QTest::newRow("Radius 1e7") << QByteArray("Radius") << QByteArray("1e7") << 0;
        QTest::newRow("Radius 0") << QByteArray("Radius") << QByteArray("0") << 0;
        QTest::newRow("Focus nan") << QByteArray("Focus") << QByteArray("nan") << 1;
        QTest::newRow("Focus 2e7") << QByteArray("Focus") << QByteArray("2e7") << 1;
        QTest::newRow("Focus 600") << QByteArray("Focus") << QByteArray("600") << 0;
        QTest::newRow("korr inf") << QByteArray("korr") << QByteArray("inf") << 1;
        QTest::newRow("korr -1") << QByteArray("korr") << QByteArray("-1") << 1;
        QTest::newRow("korr 101") << QByteArray("korr") << QByteArray("101") << 1;
        QTest::newRow("korr 0.98") << QByteArray("korr") << QByteArray("0.98") << 0;
        QTest::newRow("DeviationPorog nan") << QByteArray("DeviationPorog") << QByteArray("nan") << 1;
        QTest::newRow("DeviationPorog 1e6") << QByteArray("DeviationPorog") << QByteArray("1e6") << 1;
        QTest::newRow("DeviationPorog -0.5") << QByteArray("DeviationPorog") << QByteArray("-0.5") << 0;
        QTest::newRow("Port smallest int") << QByteArray("Port") << QByteArray("-2147483648") << 1;
        QTest::newRow("Port largest int") << QByteArray("Port") << QByteArray("2147483647") << 1;
        QTest::newRow("MaxDeviation keeps its low byte") << QByteArray("MaxDeviation") << QByteArray("-2147483648") << 0;
    }
    void numbersOutOfRange()
    {
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, value);
        QFETCH(int, code);
        QCOMPARE(int(loadSettingsFromBytes(m_settings, replaceValue(completeFile(m_dir.path()), key, value))), code);
    }

    void portIsStoredBeforeItIsRejected()
    {
        QCOMPARE(loadSettingsFromBytes(m_settings, replaceValue(completeFile(m_dir.path()), "Port", "51")), quint8(1));
        QCOMPARE(m_settings.Port, 51);
    }

    void switchKinds_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<int>("timeCorr");
        QTest::addColumn<bool>("demodulator");
        QTest::newRow("enable") << QByteArray("enable") << 1 << true;
        QTest::newRow("disable") << QByteArray("disable") << 0 << false;
        QTest::newRow("yes") << QByteArray("yes") << 1 << false;
        QTest::newRow("empty") << QByteArray("") << 1 << false;
        QTest::newRow("enabled by words") << QByteArray("please enable it") << 1 << true;
    }
    void switchKinds()
    {
        QFETCH(QByteArray, value);
        QByteArray file = completeFile(m_dir.path());
        file = replaceValue(file, "TimeCorr", value);
        file = replaceValue(file, "Demodulator", value);
        QCOMPARE(loadSettingsFromBytes(m_settings, file), quint8(0));
        QTEST(m_settings.TimeCorr, "timeCorr");
        QTEST(m_settings.Demodulator, "demodulator");
    }

    void eightBitDeviationsAndSinglePrecision()
    {
        QByteArray file = completeFile(m_dir.path());
        file = replaceValue(file, "MaxDeviation", "300");
        file = replaceValue(file, "DeviationStep", "-4");
        file = replaceValue(file, "Focus", "1400.1");
        file = replaceValue(file, "korr", "abc");
        QCOMPARE(loadSettingsFromBytes(m_settings, file), quint8(0));
        QCOMPARE(m_settings.MaxDeviation, qint8(44));
        QCOMPARE(m_settings.DeviationStep, qint8(-4));
        QCOMPARE(m_settings.Focus, double(1400.1f));
        QVERIFY(m_settings.Focus != 1400.1);
        QCOMPARE(m_settings.korr, 0.0);
    }

    void keyLinesAnywhereAndLaterValuesWin()
    {
        QByteArray file = completeFile(m_dir.path());
        // A comment mentioning Focus is a Focus key line; a blank value line gives 0.
        file += "# the Focus below is for tests\n1200\nRadius\n\nStationName trailing\n";
        QCOMPARE(loadSettingsFromBytes(m_settings, file), quint8(0));
        QCOMPARE(m_settings.Focus, 1200.0);
        QCOMPARE(m_settings.Radius, 0.0);
        QCOMPARE(m_settings.HalfRadius, 0.0);
    }

    void stationNameKeepsBlanks()
    {
        QByteArray file = completeFile(m_dir.path());
        file.replace("\nName\n", "\n  My station  \n");
        QCOMPARE(loadSettingsFromBytes(m_settings, file), quint8(0));
        QCOMPARE(m_settings.StationName, QStringLiteral("  My station  "));
    }

    void missingTrackFolderShowsBoxAndGivesFour()
    {
        QByteArray file = completeFile(m_dir.path() + QStringLiteral("/nowhere"));
        m_dialogs.expectMessage(QStringLiteral("bad track path"));
        QCOMPARE(loadSettingsFromBytes(m_settings, file), quint8(4));
        QVERIFY(m_dialogs.scriptDone());
    }

    void trackDirectory_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("dir");
        QTest::newRow("plain") << "/a/b/Track.txt" << "/a/b/";
        QTest::newRow("no separator is the root") << "Track.txt" << "/";
        QTest::newRow("relative") << "track/Track.txt" << "track/";
        QTest::newRow("backslashes do not separate here") << "C:\\T\\Track.txt" << "/";
    }
    void trackDirectory()
    {
        QFETCH(QString, path);
        QTEST(trackDirectoryOf(path), "dir");
    }

    void hugeInputEndsWithACode()
    {
        QByteArray big("Tuvarn_ini_file\nStationName\nx\n");
        big += QByteArray(10 * 1024 * 1024, 'a');
        QElapsedTimer t;
        t.start();
        QCOMPARE(loadSettingsFromBytes(m_settings, big), quint8(3));
        QVERIFY(t.elapsed() < 10000);
    }

    void exampleFileIsExact()
    {
        const QByteArray text = exampleSettingsText();
        const QList<QByteArray> lines = text.split('\n');
        QCOMPARE(lines.size(), 30); // 29 lines, each ended by CR LF
        QVERIFY(lines.last().isEmpty());
        for (int i = 0; i < 29; ++i)
            QVERIFY2(lines.at(i).endsWith('\r'), qPrintable(QString::number(i)));
        QCOMPARE(lines.at(4), QByteArray("C:\\Tuvarn\\Track\\Track.txt\r"));
        QCOMPARE(lines.at(14), QByteArray("40\r"));
        QCOMPARE(lines.at(18), QByteArray("0.2\r"));
        QCOMPARE(lines.at(28), QByteArray("1.0\r"));

        QTemporaryDir dir;
        const QString old = QDir::currentPath();
        QDir::setCurrent(dir.path());
        writeExampleSettings();
        QFile f(QStringLiteral("tuvarn.xmp"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), text);
        QDir::setCurrent(old);
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
