#include "passtestsupport.h"
#include "passtiming.h"
#include "pointing.h"
#include "upload.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace passtest;

namespace {
// n reachable points at 80 degrees, azimuth stepping one degree from 100.
void reachableTrack(Harness &h, int n)
{
    QVector<double> az, el;
    for (int i = 0; i < n; ++i) {
        az.append(100 + i);
        el.append(80);
    }
    setTrack(h.plan, az, el);
    QCOMPARE(analysePass(h.plan, h.env()), 0);
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList tableFiles(const QString &dir)
{
    return QDir(dir).entryList({QStringLiteral("*.uu")}, QDir::Files | QDir::Hidden);
}
}

class TestUpload : public QObject
{
    Q_OBJECT

    Harness m_h;
    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        useZonePlus3();
        QVERIFY(m_dir.isValid());
        QVERIFY(QDir::setCurrent(m_dir.path()));
    }
    void init()
    {
        m_h.install();
        QDir(QStringLiteral("data")).removeRecursively();
        QFile::remove(QStringLiteral("data"));
        m_h.plan.satellite = QStringLiteral("SAT-1");
        m_h.plan.orbit = QStringLiteral("100");
        // 12:00:00.250 local at +3 hours.
        m_h.clock.setNowUtc(QDateTime(QDate(2020, 5, 12), QTime(9, 0, 0, 250), Qt::UTC));
    }
    void cleanup()
    {
        QVERIFY2(m_h.unexpectedPrompts().isEmpty(), qPrintable(m_h.unexpectedPrompts()));
        m_h.uninstall();
    }

    void frameContent()
    {
        reachableTrack(m_h, 3);
        m_h.plan.startSecondOfDay = 36030;
        m_h.plan.startMode = StartScheduled;
        QCOMPARE(prepareTrackUpload(m_h.plan, *m_h.link, m_h.env()), int(UploadDone));
        QCOMPARE(m_h.lastUploadBytes.size(), 26 + 8 * 3);
        const Frame f = decode(m_h.lastUploadBytes);
        QCOMPARE(f.code, 0);
        QCOMPARE(f.length, quint16(50));
        QCOMPARE(f.start, 36030);
        QCOMPARE(f.sendMs, 9 * 3600000 + 250);
        QCOMPARE(f.mode, quint16(0));
        QCOMPARE(f.radius, 500.0f);
        for (int k = 0; k < 3; ++k) {
            QCOMPARE(f.radii.at(k), float(m_h.plan.feedRadius.at(k)));
            QCOMPARE(f.angles.at(k), float((100 + k + 180) * Deg));
        }
        QCOMPARE(m_h.plan.uploadPointCount, quint16(3));
    }

    void frameSizes_data()
    {
        QTest::addColumn<bool>("service");
        QTest::addColumn<int>("points");
        QTest::addColumn<int>("length"); // 0: refused
        QTest::newRow("496 points") << false << 496 << 3994;
        QTest::newRow("497 points") << false << 497 << 0;
        QTest::newRow("497 points, service") << true << 497 << 0;
        QTest::newRow("2 points") << false << 2 << 42;
    }
    void frameSizes()
    {
        QFETCH(bool, service);
        QFETCH(int, points);
        QFETCH(int, length);
        m_h.serviceMode = service;
        reachableTrack(m_h, points);
        m_h.plan.uploadPointCount = 7;
        if (service && !length)
            m_h.dialogs.expectMessage(QStringLiteral("Track too big"));
        m_h.plan.startMode = StartScheduled;
        QCOMPARE(prepareTrackUpload(m_h.plan, *m_h.link, m_h.env()) == UploadDone, length != 0);
        QVERIFY(m_h.dialogs.scriptDone());
        QCOMPARE(m_h.lastUploadBytes.size(), length);
        if (length) {
            QCOMPARE(decode(m_h.lastUploadBytes).length, quint16(length));
            QVERIFY(m_h.log.isEmpty());
        } else {
            QCOMPARE(m_h.log, QStringList{QStringLiteral("Track too big")});
            QCOMPARE(m_h.plan.uploadPointCount, quint16(7));
            QVERIFY(tableFiles(QStringLiteral("data")).isEmpty());
            QVERIFY(m_h.view.startRadiusAzim.isEmpty());
        }
    }

    void startAndSendTimes_data()
    {
        QTest::addColumn<QDateTime>("utc");
        QTest::addColumn<int>("startMode");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("sendMs");
        const QDateTime halfPastMidnightLocal(QDate(2020, 5, 11), QTime(21, 30, 0, 500), Qt::UTC);
        QTest::newRow("immediate at 00:30 local") << halfPastMidnightLocal << 1 << -8940 << 77400500;
        QTest::newRow("immediate late in the day")
            << QDateTime(QDate(2020, 5, 12), QTime(20, 59, 30), Qt::UTC) << 1 << 86370 + 60 - 10800 << 75570000;
        QTest::newRow("send time wraps at midnight")
            << QDateTime(QDate(2020, 5, 12), QTime(22, 30), Qt::UTC) << 1 << 5400 + 60 - 10800 << 81000000;
        QTest::newRow("scheduled keeps the pass start") << halfPastMidnightLocal << 0 << 36030 << 77400500;
    }
    void startAndSendTimes()
    {
        QFETCH(QDateTime, utc);
        QFETCH(int, startMode);
        QFETCH(int, start);
        QFETCH(int, sendMs);
        reachableTrack(m_h, 4);
        m_h.plan.startSecondOfDay = 36030;
        m_h.clock.setNowUtc(utc);
        m_h.plan.startMode = static_cast<quint8>(startMode);
        QCOMPARE(prepareTrackUpload(m_h.plan, *m_h.link, m_h.env()), int(UploadDone));
        const Frame f = decode(m_h.lastUploadBytes);
        QCOMPARE(f.start, start);
        QCOMPARE(f.sendMs, sendMs);
    }

    void stopPoint_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("points");
        QTest::addColumn<int>("mode");
        QTest::newRow("10 of 50") << "10" << 10 << 1;
        QTest::newRow("100 of 50") << "100" << 50 << 1;
        QTest::newRow("blanks around") << " 10 " << 10 << 1;
        QTest::newRow("empty") << "" << 50 << 0;
        QTest::newRow("zero") << "0" << 50 << 0;
        QTest::newRow("negative") << "-3" << 50 << 0;
        QTest::newRow("not a number") << "x7" << 50 << 0;
    }
    void stopPoint()
    {
        QFETCH(QString, text);
        QFETCH(int, points);
        QFETCH(int, mode);
        reachableTrack(m_h, 50);
        m_h.plan.uploadMode = 2; // left over from a GoTo
        m_h.view.stopPoint = text;
        m_h.plan.startMode = StartScheduled;
        QCOMPARE(prepareTrackUpload(m_h.plan, *m_h.link, m_h.env()), int(UploadDone));
        const Frame f = decode(m_h.lastUploadBytes);
        QCOMPARE(f.radii.size(), points);
        QCOMPARE(f.mode, quint16(mode));
        QVERIFY(m_h.view.startRadiusAzim.startsWith(QStringLiteral("R=246.9, az.=280.0, u1=")));
        if (mode == 1)
            QVERIFY(m_h.view.stopRadiusAzim.startsWith(
                QStringLiteral("R=246.9, az.=%1.0, u1=").arg(280 + points - 1)));
        else
            QVERIFY(m_h.view.stopRadiusAzim.isEmpty());
    }

    void radiusAzimLabel()
    {
        m_h.plan.feedRadius = {250};
        m_h.plan.feedAngle = {200 * Deg};
        m_h.plan.reachableCount = 1;
        m_h.plan.firstReachable = 0;
        setTrack(m_h.plan, {20}, {80});
        QCOMPARE(pass::uploadImmediately(m_h.plan, *m_h.link, m_h.env(), true), int(UploadDone));
        QCOMPARE(m_h.view.startRadiusAzim, QStringLiteral("R=250.0, az.=200.0, u1=260.0, u2=60.0"));
        QVERIFY(m_h.lastUploadBytes.isEmpty()); // Shift: table file only
        QCOMPARE(tableFiles(QStringLiteral("data")), QStringList{QStringLiteral("SAT-1 (100).uu")});
    }

    void tableFileBytes()
    {
        setTrack(m_h.plan, {0, 200, -123.4}, {10, 80, 75});
        m_h.plan.firstReachable = 1;
        m_h.plan.feedRadius = {250, 500};
        m_h.plan.feedAngle = {20 * Deg, 30 * Deg};
        m_h.plan.reachableCount = 2;
        m_h.view.trackInfo = QStringLiteral("Info\nline \u00b0");
        m_h.plan.startMode = StartScheduled;
        QVERIFY(QDir().mkpath(QStringLiteral("data")));
        QFile old(QStringLiteral("data/SAT-1 (100).uu"));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(5000, 'x'));
        old.close();

        QCOMPARE(prepareTrackUpload(m_h.plan, *m_h.link, m_h.env()), int(UploadDone));
        const QByteArray expected = "Info\nline \xc2\xb0\nAzim    Elev     R       Fi      u1      u2\n"
                                    "200.0   80.0    250.0   20.0    -40.0   300.0   \n"
                                    "-123.4   75.0    500.0   30.0    30.0    180.0   \n";
        QCOMPARE(readAll(QStringLiteral("data/SAT-1 (100).uu")), expected);
    }

    void tableFilePlaces_data()
    {
        QTest::addColumn<bool>("service");
        QTest::addColumn<int>("startMode");
        QTest::addColumn<bool>("opened");
        QTest::addColumn<QString>("satellite");
        QTest::addColumn<QString>("where"); // "data", "opened" or "" for none
        QTest::addColumn<QString>("name");
        QTest::newRow("operator, scheduled") << false << 0 << true << "SAT-1" << "data" << "SAT-1 (100).uu";
        QTest::newRow("operator, table only") << false << 2 << true << "SAT-1" << "data" << "SAT-1 (100).uu";
        QTest::newRow("operator, immediate") << false << 1 << true << "SAT-1" << "" << "";
        QTest::newRow("service, scheduled") << true << 0 << true << "SAT-1" << "" << "";
        QTest::newRow("service, table only") << true << 2 << true << "SAT-1" << "opened" << "SAT-1 (100).uu";
        QTest::newRow("service, nothing opened yet") << true << 2 << false << "SAT-1" << "data" << "SAT-1 (100).uu";
        QTest::newRow("unsafe satellite") << false << 0 << true << "../../x:y" << "data" << ".._.._x_y (100).uu";
        // Cut to leave QSaveFile room within 255 bytes; the old 300-byte name was never written.
        QTest::newRow("long satellite") << false << 0 << true << QString(300, QLatin1Char('S')) << "data"
                                        << QString(239, QLatin1Char('S')) + " (100).uu";
    }
    void tableFilePlaces()
    {
        QFETCH(bool, service);
        QFETCH(int, startMode);
        QFETCH(bool, opened);
        QFETCH(QString, satellite);
        QFETCH(QString, where);
        QFETCH(QString, name);
        QTemporaryDir openedDir;
        m_h.serviceMode = service;
        m_h.plan.lastOpenDir = opened ? openedDir.path() : QString();
        m_h.plan.satellite = satellite;
        reachableTrack(m_h, 3);
        m_h.plan.startMode = static_cast<quint8>(startMode);
        QCOMPARE(prepareTrackUpload(m_h.plan, *m_h.link, m_h.env()), int(UploadDone));
        const QStringList inData = tableFiles(QStringLiteral("data"));
        const QStringList inOpened = tableFiles(openedDir.path());
        QCOMPARE(inData, where == QLatin1String("data") ? QStringList{name} : QStringList());
        QCOMPARE(inOpened, where == QLatin1String("opened") ? QStringList{name} : QStringList());
        QVERIFY(tableFiles(m_dir.path()).isEmpty());
    }

    void tableFileThatCannotBeWritten()
    {
        QFile blocker(QStringLiteral("data")); // a file where the folder should be
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        reachableTrack(m_h, 3);
        m_h.plan.startMode = StartScheduled;
        QCOMPARE(prepareTrackUpload(m_h.plan, *m_h.link, m_h.env()), int(UploadDone));
        QCOMPARE(m_h.log, QStringList{QStringLiteral("Table file not written: data/SAT-1 (100).uu")});
        QCOMPARE(decode(m_h.lastUploadBytes).radii.size(), 3); // the upload goes on

        m_h.serviceMode = true;
        m_h.plan.lastOpenDir = m_dir.path() + QStringLiteral("/gone");
        const QString path = m_h.plan.lastOpenDir + QStringLiteral("/SAT-1 (100).uu");
        m_h.dialogs.expectMessage(QStringLiteral("Table file not written: ") + path);
        QCOMPARE(pass::uploadImmediately(m_h.plan, *m_h.link, m_h.env(), true), int(UploadDone));
        QVERIFY(m_h.dialogs.scriptDone());
    }

    void noReachablePointIsRefused_data()
    {
        QTest::addColumn<bool>("service");
        QTest::addColumn<int>("startMode");
        QTest::newRow("operator upload") << false << 0;
        QTest::newRow("operator immediate") << false << 1;
        QTest::newRow("service table only") << true << 2;
    }
    void noReachablePointIsRefused()
    {
        QFETCH(bool, service);
        QFETCH(int, startMode);
        m_h.serviceMode = service;
        setTrack(m_h.plan, {10, 20}, {30, 40});
        QCOMPARE(analysePass(m_h.plan, m_h.env()), 1);
        m_h.plan.startMode = static_cast<quint8>(startMode);
        if (service)
            m_h.dialogs.expectMessage(QString::fromLatin1(NoReachableText));
        QCOMPARE(prepareTrackUpload(m_h.plan, *m_h.link, m_h.env()), int(UploadNoReachable));
        QVERIFY(m_h.dialogs.scriptDone());
        QCOMPARE(m_h.log, QStringList{QString::fromLatin1(NoReachableText)});
        QVERIFY(m_h.lastUploadBytes.isEmpty());
        QVERIFY(m_h.txBytes.isEmpty());
        QVERIFY(tableFiles(QStringLiteral("data")).isEmpty());
        QVERIFY(m_h.view.startRadiusAzim.isEmpty());
    }

    void goTo_data()
    {
        QTest::addColumn<QString>("azim");
        QTest::addColumn<QString>("elev");
        QTest::addColumn<bool>("shift");
        QTest::addColumn<int>("look");
        QTest::addColumn<int>("sentBytes");
        QTest::newRow("reachable") << "45" << "80" << false << 1 << 34;
        QTest::newRow("reachable, Shift") << "45" << "80" << true << 1 << 0;
        QTest::newRow("just above the minimum") << "45" << "70.35" << false << 1 << 34;
        QTest::newRow("below the minimum") << "45" << "70" << false << 0 << 0;
        QTest::newRow("azimuth not a number") << "abc" << "80" << false << 0 << 0;
        QTest::newRow("empty elevation") << "45" << "" << false << 0 << 0;
        QTest::newRow("past the zenith") << "45" << "95" << false << 1 << 0;
    }
    void goTo()
    {
        QFETCH(QString, azim);
        QFETCH(QString, elev);
        QFETCH(bool, shift);
        QFETCH(int, look);
        QFETCH(int, sentBytes);
        reachableTrack(m_h, 5);
        const int pointsBefore = m_h.plan.pointCount;
        m_h.view.trackInfo = QStringLiteral("summary");
        pass::goToPosition(m_h.plan, *m_h.link, m_h.env(), azim, elev, shift);
        QCOMPARE(m_h.view.goToGood, look);
        QCOMPARE(m_h.lastUploadBytes.size(), sentBytes);
        if (!look) {
            QCOMPARE(m_h.plan.pointCount, pointsBefore);
            QCOMPARE(m_h.view.trackInfo, QStringLiteral("summary"));
            return;
        }
        QVERIFY(m_h.plan.singlePointTrack);
        QCOMPARE(m_h.plan.pointCount, 1);
        QVERIFY(m_h.view.trackInfo.isEmpty());
        QCOMPARE(tableFiles(QStringLiteral("data")).size(), shift ? 1 : 0);
        if (sentBytes) {
            const Frame f = decode(m_h.lastUploadBytes);
            QCOMPARE(f.mode, quint16(2));
            QCOMPARE(f.start, 12 * 3600 + 60 - 3 * 3600);
            QCOMPARE(f.angles.at(0), float(225 * Deg));
            QCOMPARE(m_h.plan.uploadPointCount, quint16(1));
        }
    }

    void focusEntry_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("focus");
        QTest::addColumn<QString>("label");
        QTest::addColumn<int>("reachable");
        QTest::newRow("longer focus") << "1500" << 1500.0 << "mm (min elev.= 71.6)" << 0;
        QTest::newRow("below 100 ignored") << "99" << 1400.0 << "" << 4;
        QTest::newRow("not a number ignored") << "abc" << 1400.0 << "" << 4;
        QTest::newRow("nan ignored") << "nan" << 1400.0 << "" << 4;
    }
    void focusEntry()
    {
        QFETCH(QString, text);
        QFETCH(double, focus);
        QFETCH(QString, label);
        QFETCH(int, reachable);
        setTrack(m_h.plan, {1, 2, 3, 4}, {71, 71, 71, 71}); // 482 mm at Focus 1400
        QCOMPARE(analysePass(m_h.plan, m_h.env()), 0);
        pass::setFocusFromText(m_h.plan, m_h.env(), text);
        QCOMPARE(m_h.settings.Focus, focus);
        QCOMPARE(m_h.view.minElevation, label);
        QCOMPARE(m_h.plan.reachableCount, reachable);
    }

    void korrEntry_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("korr");
        QTest::addColumn<int>("reachable");
        QTest::newRow("smaller radii") << "0.9" << double(0.9f) << 4;
        QTest::newRow("not a number ignored") << "x" << 1.0 << 0;
    }
    void korrEntry()
    {
        QFETCH(QString, text);
        QFETCH(double, korr);
        QFETCH(int, reachable);
        setTrack(m_h.plan, {1, 2, 3, 4}, {70, 70, 70, 70}); // 509.6 mm at korr 1
        QCOMPARE(analysePass(m_h.plan, m_h.env()), 1);
        pass::setKorrFromText(m_h.plan, m_h.env(), text);
        QCOMPARE(m_h.settings.korr, korr);
        QCOMPARE(m_h.plan.reachableCount, reachable);
    }
};

QTEST_MAIN(TestUpload)
#include "tst_upload.moc"
