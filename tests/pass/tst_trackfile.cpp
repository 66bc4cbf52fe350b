#include "passtestsupport.h"
#include "passtiming.h"
#include "trackfile.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

using namespace passtest;

namespace {
QByteArray linesOf(int count)
{
    // A valid file of exactly `count` lines: six header lines, count - 7 point
    // lines, and the empty last line that ends the list.
    QByteArray text = header();
    for (int i = 0; i < count - 7; ++i)
        text += pointLine(i % 360, 0, 80, 0) + '\n';
    return text;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}
}

class TestTrackFile : public QObject
{
    Q_OBJECT

    Harness m_h;
    QTemporaryDir m_dir;

    QString trackDir() const { return m_dir.path() + QStringLiteral("/Track"); }

private slots:
    void initTestCase()
    {
        useZonePlus3();
        QVERIFY(m_dir.isValid());
    }
    void init()
    {
        m_h.install();
        QDir(trackDir()).removeRecursively();
        QVERIFY(QDir().mkpath(trackDir()));
        m_h.settings.TrackPath = trackDir() + QStringLiteral("/Track.txt");
        m_h.clock.setNowUtc(QDateTime(QDate(2020, 5, 12), QTime(7, 20, 30), Qt::UTC));
    }
    void cleanup()
    {
        QVERIFY2(m_h.unexpectedPrompts().isEmpty(), qPrintable(m_h.unexpectedPrompts()));
        m_h.uninstall();
    }

    void parseCodes_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("points");

        const QByteArray good = trackText(points(3, 80));
        QTest::newRow("ends with a line break") << good << 0 << 3;
        QByteArray crlf = good;
        crlf.replace("\n", "\r\n");
        QTest::newRow("CR LF line ends") << crlf << 0 << 3;
        QByteArray open = good;
        open.chop(1);
        QTest::newRow("last point without line end") << open << 6 << 0;
        QTest::newRow("fewer than 7 lines") << header().left(header().size() - 1) << 6 << 0;
        QTest::newRow("header only, line 7 empty, no end") << header() << 6 << 0;
        QTest::newRow("empty file") << QByteArray() << 2 << 0;
        QByteArray lower = good;
        lower.replace("Satellite: ", "satellite: ");
        QTest::newRow("satellite in lower case") << lower << 2 << 0;
        QTest::newRow("no start line") << QByteArray("Satellite: A\nOrbit: 1\n") << 3 << 0;
        QTest::newRow("line 1 only") << QByteArray("Satellite: A") << 3 << 0;
        QByteArray noOrbit = good;
        noOrbit.replace("Orbit: ", "Orbit ");
        QTest::newRow("no orbit") << noOrbit << 4 << 0;
        QTest::newRow("exactly 1000 lines") << linesOf(1000) << 0 << 993;
        QTest::newRow("1001 lines") << linesOf(1001) << 5 << 0;
        QTest::newRow("text ends at NUL after the list") << (good + QByteArray("\0garbage\n\n", 10)) << 0 << 3;
        QByteArray cut = good;
        cut.insert(good.indexOf(pointLine(101, 0, 80, 0)) + 5, '\0');
        QTest::newRow("NUL inside the point list") << cut << 6 << 0;
        QByteArray lone = good;
        lone.replace("Orbit: 100\n", "Orbit: 100\r\r\n");
        QTest::newRow("lone CR stays in the line") << lone << 0 << 3;
    }
    void parseCodes()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, code);
        QFETCH(int, points);
        TrackFile track;
        QCOMPARE(track.parse(bytes), code);
        if (code == 0)
            QCOMPARE(track.pointCount(), points);
    }

    void headerFields_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("satellite");
        QTest::addColumn<QString>("orbit");
        QTest::addColumn<QList<int>>("date");

        const QByteArray body = pointLine(1, 0, 80, 0) + "\n\n";
        QTest::newRow("usual")
            << (header("NOAA 19", "58123", "2020-05-12 23:59:50") + body) << "NOAA 19" << "58123"
            << QList<int>{2020, 5, 12, 23, 59, 50};
        QTest::newRow("keys in the middle of the line")
            << QByteArray("xx Satellite: SAT\nnow Start date & time: 2021-11-03 01:02:03 UTC\nthe Orbit: 7 \n\n\n\n"
                          + body)
            << "SAT" << "7 " << QList<int>{2021, 11, 3, 1, 2, 3};
        QTest::newRow("earlier colon takes the name")
            << QByteArray("Name: Satellite: SAT\nStart date & time: 2020-05-12 10:00:00 UTC\nOrbit: 1\n\n\n\n" + body)
            << "Satellite: SAT" << "1" << QList<int>{2020, 5, 12, 10, 0, 0};
        QTest::newRow("no UTC: time fields 0")
            << QByteArray("Satellite: S\nStart date & time: 2020-05-12 10:11:12\nOrbit: 1\n\n\n\n" + body)
            << "S" << "1" << QList<int>{2020, 5, 12, 0, 0, 0};
        QTest::newRow("no dash: month and day from positions 0 and 3")
            << QByteArray("Satellite: S\n12 34 Start date & time: 2020/05/12 10:11:12 UTC\nOrbit: 1\n\n\n\n" + body)
            << "S" << "1" << QList<int>{2020, 12, 34, 10, 11, 12};
        QTest::newRow("not numbers read as 0")
            << QByteArray("Satellite: S\nStart date & time: 2o20-x5-1 aa:b :+9 UTC\nOrbit: 1\n\n\n\n" + body)
            << "S" << "1" << QList<int>{0, 0, 1, 0, 0, 9};
    }
    void headerFields()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, satellite);
        QFETCH(QString, orbit);
        QFETCH(QList<int>, date);
        TrackFile track;
        QCOMPARE(track.parse(bytes), 0);
        QCOMPARE(track.satellite(), satellite);
        QCOMPARE(track.orbit(), orbit);
        QCOMPARE((QList<int>{track.year(), track.month(), track.day(), track.hour(), track.minute(),
                             track.second()}),
                 date);
    }

    void pointColumns_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<double>("azimuth");
        QTest::addColumn<double>("elevation");

        QTest::newRow("usual") << pointLine(123, 45, 67, 30) << 123.75 << 67.5;
        QTest::newRow("-1 deg 30 min") << pointLine(0, 0, -1, 30) << 0.0 << -0.5;
        QTest::newRow("-0 deg 30 min") << QByteArray("00:00:00     0 00    -0 30") << 0.0 << 0.5;
        QTest::newRow("empty line 7") << QByteArray() << 0.0 << 0.0;
        QTest::newRow("short line") << QByteArray("00:00:00   350 1") << 350.0 + 1.0 / 60.0 << 0.0;
        QTest::newRow("letters in a column") << QByteArray("00:00:00   1x0 30   080 1z") << 0.5 << 80.0;
        QTest::newRow("other characters ignored") << QByteArray("abcdefghijk 12 15ZZZ 45 06 trailing")
                                                  << 12.25 << 45.1;
    }
    void pointColumns()
    {
        QFETCH(QByteArray, line);
        QFETCH(double, azimuth);
        QFETCH(double, elevation);
        TrackFile track;
        QCOMPARE(track.parse(header() + line + "\n\n"), 0);
        QCOMPARE(track.pointCount(), 1);
        QVector<double> az, el;
        track.toRadians(az, el);
        QVERIFY(qAbs(az.at(0) - azimuth * Deg) < 1e-12);
        QVERIFY(qAbs(el.at(0) - elevation * Deg) < 1e-12);
        QCOMPARE(track.maxElevation(), qMax(0.0, el.at(0)));
    }

    void emptyLineSevenStillStartsTheList()
    {
        TrackFile track;
        QCOMPARE(track.parse(header() + "\n" + pointLine(10, 0, 80, 0) + "\n\n"), 0);
        QCOMPARE(track.pointCount(), 2);
    }

    void maxElevationOverTheTrack()
    {
        TrackFile track;
        QCOMPARE(track.parse(trackText({pointLine(1, 0, 10, 0), pointLine(2, 0, 85, 30), pointLine(3, 0, 20, 0)})), 0);
        QVector<double> az, el;
        QVERIFY(qAbs(track.toRadians(az, el) - 85.5 * Deg) < 1e-12);
    }

    void garbageNeverCrashes()
    {
        QRandomGenerator rng(1234);
        for (int round = 0; round < 200; ++round) {
            QByteArray bytes(rng.bounded(4000), Qt::Uninitialized);
            for (char &c : bytes)
                c = static_cast<char>(rng.bounded(256));
            if (round % 3 == 0)
                bytes.prepend(header());
            TrackFile track;
            const int code = track.parse(bytes);
            QVERIFY(code >= 0 && code <= 6);
        }
        QByteArray many = header();
        for (int i = 0; i < 10000; ++i)
            many += pointLine(i % 360, 0, 80, 0) + '\n';
        TrackFile track;
        QCOMPARE(track.parse(many), 5);
        QCOMPARE(track.parse(QByteArray(5000, '\0')), 2);
        QCOMPARE(track.parse(QByteArray(5000, '\n')), 2);
    }

    void renamedNames_data()
    {
        QTest::addColumn<bool>("service");
        QTest::addColumn<QString>("trackPath");
        QTest::addColumn<QString>("satellite");
        QTest::addColumn<QString>("expected");

        QTest::newRow("operator") << false << "/st/Track/Track.txt" << "SAT-1"
                                  << "/st/Track/SAT-1(100)_120520_102030.txt";
        QTest::newRow("operator, no Track.txt in the path")
            << false << "/st/in/pass.dat" << "SAT-1" << "/st/in/pass.datSAT-1(100)_120520_102030.txt";
        QTest::newRow("operator, first Track.txt counts")
            << false << "/st/Track.txt/Track.txt" << "S" << "/st/S(100)_120520_102030.txt";
        QTest::newRow("operator, unsafe name stays in the folder")
            << false << "/st/Track/Track.txt" << "../x/y:z" << "/st/Track/.._x_y_z(100)_120520_102030.txt";
        QTest::newRow("service") << true << "/st/Track/Track.txt" << "SAT-1" << "/open/dir/SAT-1(100).txt";
        QTest::newRow("service, unsafe name") << true << "/st/Track/Track.txt" << "a/../b"
                                              << "/open/dir/a_.._b(100).txt";
        // Names are cut to the file system's 255 bytes, never inside a character.
        const QString longName = QString(300, QChar(0x00E9)); // two bytes each in UTF-8
        QTest::newRow("operator, long name") << false << "/st/Track/Track.txt" << longName
                                             << "/st/Track/" + QString(116, QChar(0x00E9)) + "(100)_120520_102030.txt";
        QTest::newRow("service, long name") << true << "/st/Track/Track.txt" << longName
                                            << "/open/dir/" + QString(123, QChar(0x00E9)) + "(100).txt";
    }
    void renamedNames()
    {
        QFETCH(bool, service);
        QFETCH(QString, trackPath);
        QFETCH(QString, satellite);
        QFETCH(QString, expected);
        QCOMPARE(renamedTrackPath(trackPath, service, QStringLiteral("/open/dir"), satellite,
                                  QStringLiteral("100")),
                 expected);
    }

    void loadRenamesIntoTrackFolder()
    {
        const QString elsewhere = m_dir.path() + QStringLiteral("/chosen.txt");
        QVERIFY(writeFile(elsewhere, trackText(points(4, 80))));
        QCOMPARE(loadTrackFile(m_h.plan, m_h.settings, m_h.serviceMode, elsewhere), 0);
        QVERIFY(!QFile::exists(elsewhere));
        QVERIFY(QFile::exists(trackDir() + QStringLiteral("/SAT-1(100)_120520_102030.txt")));
        QCOMPARE(m_h.plan.pointCount, 4);
        QCOMPARE(m_h.plan.satellite, QStringLiteral("SAT-1"));
        QCOMPARE(m_h.plan.startHour, 10);
        QVERIFY(qAbs(m_h.plan.azimuth.at(3) - 103 * Deg) < 1e-12);
    }

    void loadInServiceModeRenamesBesideTheFile()
    {
        m_h.serviceMode = true;
        m_h.plan.lastOpenDir = m_dir.path();
        const QString chosen = m_dir.path() + QStringLiteral("/chosen.txt");
        QVERIFY(writeFile(chosen, trackText(points(4, 80), "NOAA/15", "7")));
        QCOMPARE(loadTrackFile(m_h.plan, m_h.settings, m_h.serviceMode, chosen), 0);
        QVERIFY(QFile::exists(m_dir.path() + QStringLiteral("/NOAA_15(7).txt")));
        QFile::remove(m_dir.path() + QStringLiteral("/NOAA_15(7).txt"));
    }

    void failedLoadKeepsThePlan()
    {
        const QString path = m_dir.path() + QStringLiteral("/first.txt");
        QVERIFY(writeFile(path, trackText(points(5, 80), "FIRST", "1")));
        QCOMPARE(loadTrackFile(m_h.plan, m_h.settings, m_h.serviceMode, path), 0);
        const QVector<double> azimuth = m_h.plan.azimuth;

        const QString bad = m_dir.path() + QStringLiteral("/bad.txt");
        QByteArray text = trackText(points(2, 30), "SECOND", "2", "2021-01-01 00:00:00");
        text.chop(1); // no line end after the last point
        QVERIFY(writeFile(bad, text));
        QCOMPARE(loadTrackFile(m_h.plan, m_h.settings, m_h.serviceMode, bad), 6);
        QVERIFY(QFile::exists(bad)); // not renamed
        QCOMPARE(m_h.plan.pointCount, 5);
        QCOMPARE(m_h.plan.azimuth, azimuth);
        QCOMPARE(m_h.plan.satellite, QStringLiteral("FIRST"));
        QCOMPARE(m_h.plan.startYear, 2020);
        QCOMPARE(loadTrackFile(m_h.plan, m_h.settings, m_h.serviceMode, m_dir.path() + QStringLiteral("/missing.txt")),
                 1);
        QCOMPARE(m_h.plan.pointCount, 5);
    }

    void autoLoadNeedsTwoPolls()
    {
        // 30 low points, then 10 reachable ones: the start moves 30 s on.
        QList<QByteArray> list = points(30, 60);
        list += points(10, 80);
        QVERIFY(writeFile(m_h.settings.TrackPath, trackText(list, "SAT-1", "100", "2020-05-12 10:00:00")));
        QCOMPARE(autoLoadTrack(m_h.plan, m_h.env()), qint8(0));
        QVERIFY(QFile::exists(m_h.settings.TrackPath));
        QVERIFY(m_h.log.isEmpty());
        QCOMPARE(autoLoadTrack(m_h.plan, m_h.env()), qint8(1));
        QVERIFY(!QFile::exists(m_h.settings.TrackPath));
        QCOMPARE(m_h.log, QStringList{QStringLiteral("Track loaded: SAT-1. Start at 12.05.2020  10:00:30")});
        QCOMPARE(m_h.plan.firstReachable, quint16(30));
        // Nothing there any more: no load, nothing logged.
        QCOMPARE(autoLoadTrack(m_h.plan, m_h.env()), qint8(0));
        QCOMPARE(m_h.log.size(), 1);
    }

    void autoLoadToggleSurvivesEmptyPolls()
    {
        QVERIFY(writeFile(m_h.settings.TrackPath, trackText(points(5, 80))));
        QCOMPARE(autoLoadTrack(m_h.plan, m_h.env()), qint8(0));
        QVERIFY(QFile::remove(m_h.settings.TrackPath));
        QCOMPARE(autoLoadTrack(m_h.plan, m_h.env()), qint8(0)); // nothing found: the toggle stays set
        QVERIFY(writeFile(m_h.settings.TrackPath, trackText(points(5, 80))));
        QCOMPARE(autoLoadTrack(m_h.plan, m_h.env()), qint8(1));
    }

    void autoLoadWaitsForAWriterStillWriting()
    {
        // A prediction program that writes line by line: at the second poll the
        // file ends at a line end halfway through the points, which would
        // load as a shorter pass.
        const QByteArray whole = trackText(points(8, 80), "SLOW", "7");
        const int cut = whole.indexOf("\n", whole.size() / 2) + 1;
        QVERIFY(writeFile(m_h.settings.TrackPath, whole.left(cut)));
        QCOMPARE(autoLoadTrack(m_h.plan, m_h.env()), qint8(0));
        QFile file(m_h.settings.TrackPath);
        QVERIFY(file.open(QIODevice::Append));
        QCOMPARE(file.write(whole.mid(cut)), qint64(whole.size() - cut));
        file.close();
        QCOMPARE(autoLoadTrack(m_h.plan, m_h.env()), qint8(0)); // changed since the first poll
        QVERIFY(QFile::exists(m_h.settings.TrackPath));
        QVERIFY(m_h.log.isEmpty());
        QCOMPARE(autoLoadTrack(m_h.plan, m_h.env()), qint8(1));
        QCOMPARE(m_h.plan.pointCount, 8);
        QCOMPARE(m_h.plan.satellite, QStringLiteral("SLOW"));
    }

    void autoLoadReportsBadFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("log");
        QByteArray noOrbit = trackText(points(3, 80));
        noOrbit.replace("Orbit: ", "Orb: ");
        QTest::newRow("code 4") << noOrbit << QStringList{QStringLiteral("error in track file 4")};
        QTest::newRow("code 5") << linesOf(1001) << QStringList{QStringLiteral("error in track file 5")};
        QTest::newRow("one reachable point")
            << trackText(QList<QByteArray>{pointLine(1, 0, 30, 0), pointLine(2, 0, 80, 0)})
            << QStringList{QStringLiteral("Track too low")};
        QTest::newRow("nothing reachable") << trackText(points(5, 30)) << QStringList();
    }
    void autoLoadReportsBadFiles()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, log);
        QVERIFY(writeFile(m_h.settings.TrackPath, bytes));
        // A bad file that stays is reported once, not at every second poll.
        for (int poll = 0; poll < 8; ++poll)
            QCOMPARE(autoLoadTrack(m_h.plan, m_h.env()), qint8(0));
        QCOMPARE(m_h.log, log);
    }

    void badFileReportedOncePerVersion()
    {
        QByteArray text = trackText(points(3, 80));
        text.chop(1);
        QVERIFY(writeFile(m_h.settings.TrackPath, text));
        for (int poll = 0; poll < 6; ++poll)
            QCOMPARE(autoLoadTrack(m_h.plan, m_h.env()), qint8(0));
        QCOMPARE(m_h.log, QStringList{QStringLiteral("error in track file 6")});
        // Written again (another size): a new version, read and reported again.
        QVERIFY(writeFile(m_h.settings.TrackPath, text + " "));
        for (int poll = 0; poll < 6; ++poll)
            QCOMPARE(autoLoadTrack(m_h.plan, m_h.env()), qint8(0));
        QCOMPARE(m_h.log.size(), 2);
        // Mended: loaded.
        QVERIFY(writeFile(m_h.settings.TrackPath, trackText(points(5, 80))));
        QCOMPARE(autoLoadTrack(m_h.plan, m_h.env()), qint8(0));
        QCOMPARE(autoLoadTrack(m_h.plan, m_h.env()), qint8(1));
        QVERIFY(!QFile::exists(m_h.settings.TrackPath));
    }

    void unmovableFileLoadedOnce()
    {
        // Something already holds the archive name: the rename fails.
        QVERIFY(QDir().mkpath(trackDir() + QStringLiteral("/SAT-1(100)_120520_102030.txt")));
        QVERIFY(writeFile(m_h.settings.TrackPath, trackText(points(5, 80))));
        QCOMPARE(autoLoadTrack(m_h.plan, m_h.env()), qint8(0));
        QCOMPARE(autoLoadTrack(m_h.plan, m_h.env()), qint8(1));
        QVERIFY(QFile::exists(m_h.settings.TrackPath));
        QCOMPARE(m_h.log.size(), 2);
        QVERIFY2(m_h.log.at(0).startsWith(QStringLiteral("track file not moved: ")), qPrintable(m_h.log.at(0)));
        QVERIFY(m_h.log.at(1).startsWith(QStringLiteral("Track loaded: SAT-1")));
        m_h.clock.advanceMs(60000); // a later archive name would be free, but the file is the same
        for (int poll = 0; poll < 6; ++poll)
            QCOMPARE(autoLoadTrack(m_h.plan, m_h.env()), qint8(0));
        QCOMPARE(m_h.log.size(), 2);
    }

    void longSatelliteNameIsArchived()
    {
        const QByteArray name(300, 'N');
        QVERIFY(writeFile(m_h.settings.TrackPath, trackText(points(5, 80), name, "42")));
        QCOMPARE(autoLoadTrack(m_h.plan, m_h.env()), qint8(0));
        QCOMPARE(autoLoadTrack(m_h.plan, m_h.env()), qint8(1));
        QVERIFY(!QFile::exists(m_h.settings.TrackPath));
        const QStringList archived = QDir(trackDir()).entryList(QDir::Files);
        QCOMPARE(archived.size(), 1);
        QCOMPARE(QFile::encodeName(archived.first()).size(), 255);
        QVERIFY(archived.first().endsWith(QStringLiteral("NN(42)_120520_102030.txt")));
        QCOMPARE(m_h.plan.satellite, QString::fromLatin1(name)); // the plan keeps the whole name
        QCOMPARE(m_h.log.size(), 1);
    }

    void openButtonLoadsAndEnables()
    {
        m_h.serviceMode = true;
        m_h.plan.lastOpenDir = QStringLiteral("/previous");
        m_h.plan.singlePointTrack = true;
        const QString chosen = m_dir.path() + QStringLiteral("/open.txt");
        QVERIFY(writeFile(chosen, trackText(points(6, 80), "OPENED", "9")));
        m_h.dialogs.expectOpenFile(QStringLiteral("Open Track"), chosen);
        pass::openTrackFromDialog(m_h.plan, m_h.env());
        QVERIFY(m_h.dialogs.scriptDone());
        QCOMPARE(m_h.dialogs.lastDir(), QStringLiteral("/previous"));
        QCOMPARE(m_h.dialogs.lastFilter(), QStringLiteral("Track Files (*.txt)"));
        QCOMPARE(m_h.plan.lastOpenDir, m_dir.path());
        QCOMPARE(m_h.view.uploadEnabled, 1);
        QVERIFY(!m_h.plan.singlePointTrack);
        QCOMPARE(m_h.plan.reachableCount, 6);
        QVERIFY(m_h.view.trackInfo.startsWith(QStringLiteral("OPENED (9)\n")));
        QVERIFY(QFile::remove(m_dir.path() + QStringLiteral("/OPENED(9).txt")));
    }

    void openButtonRefusesBadFile()
    {
        const QString chosen = m_dir.path() + QStringLiteral("/bad.txt");
        QVERIFY(writeFile(chosen, QByteArray("not a track")));
        m_h.dialogs.expectOpenFile(QStringLiteral("Open Track"), chosen);
        m_h.dialogs.expectMessage(QStringLiteral("Track not loaded1"));
        pass::openTrackFromDialog(m_h.plan, m_h.env());
        QVERIFY(m_h.dialogs.scriptDone());
        QCOMPARE(m_h.view.uploadEnabled, -1);
        QVERIFY(QFile::exists(chosen));
    }

    void openButtonCancelled()
    {
        m_h.plan.lastOpenDir = QStringLiteral("/kept");
        m_h.dialogs.expectOpenFile(QStringLiteral("Open Track"), QString());
        pass::openTrackFromDialog(m_h.plan, m_h.env());
        QCOMPARE(m_h.plan.lastOpenDir, QStringLiteral("/kept"));
        QCOMPARE(m_h.view.uploadEnabled, -1);
    }
};

QTEST_MAIN(TestTrackFile)
#include "tst_trackfile.moc"
