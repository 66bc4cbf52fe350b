#include "passtestsupport.h"
#include "passtiming.h"
#include "upload.h"

#include <QDir>
#include <QTemporaryDir>

using namespace passtest;

namespace {
// `low` points below the reach, then `high` reachable ones.
void lowThenHigh(PassPlanRecord &plan, int low, int high)
{
    QVector<double> az, el;
    for (int i = 0; i < low + high; ++i) {
        az.append(100 + i);
        el.append(i < low ? 60 : 80);
    }
    setTrack(plan, az, el);
    plan.maxElevation = 80 * Deg;
}

void setStart(PassPlanRecord &plan, int y, int mo, int d, int h, int mi, int s)
{
    plan.startYear = y;
    plan.startMonth = mo;
    plan.startDay = d;
    plan.startHour = h;
    plan.startMinute = mi;
    plan.startSecond = s;
}
}

class TestPassTiming : public QObject
{
    Q_OBJECT

    Harness m_h;
    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(QDir::setCurrent(m_dir.path()));
    }
    void init()
    {
        m_h.install();
        m_h.plan.satellite = QStringLiteral("SAT-1");
        m_h.plan.orbit = QStringLiteral("100");
        setStart(m_h.plan, 2020, 5, 12, 10, 0, 0);
    }
    void cleanup()
    {
        QVERIFY2(m_h.unexpectedPrompts().isEmpty(), qPrintable(m_h.unexpectedPrompts()));
        m_h.uninstall();
    }

    void reachablePartOfThePass()
    {
        lowThenHigh(m_h.plan, 30, 5);
        QCOMPARE(analysePass(m_h.plan, m_h.env()), 0);
        QCOMPARE(m_h.plan.firstReachable, quint16(30));
        QCOMPARE(m_h.plan.reachableCount, 5);
        QCOMPARE(m_h.plan.feedRadius.size(), 5);
        QCOMPARE(QString::number(m_h.plan.feedRadius.at(0), 'f', 1), QStringLiteral("246.9"));
        QVERIFY(qAbs(m_h.plan.feedAngle.at(4) - (134 + 180) * Deg) < 1e-12);
        QCOMPARE(m_h.plan.startUtc, QDateTime(QDate(2020, 5, 12), QTime(10, 0, 30), Qt::UTC));
        QCOMPARE(m_h.plan.startSecondOfDay, 10 * 3600 + 30);
        QCOMPARE(m_h.view.trackInfoResizes, 1);
    }

    void summaryTexts_data()
    {
        QTest::addColumn<bool>("service");
        QTest::addColumn<QList<int>>("start");
        QTest::addColumn<QString>("text");

        QTest::newRow("operator")
            << false << QList<int>{2020, 5, 12, 10, 0, 0}
            << "SAT-1\nmax elevation 80.00; 5 actual points\nStart at 12.05.2020  13:00:30";
        QTest::newRow("operator, local start after midnight")
            << false << QList<int>{2020, 5, 12, 22, 59, 30}
            << "SAT-1\nmax elevation 80.00; 5 actual points\nStart at 13.05.2020  02:00:00";
        QTest::newRow("service")
            << true << QList<int>{2020, 5, 12, 10, 0, 0}
            << "SAT-1 (100)\nmax elevation 80.00; 5 actual points\nStart at 12.05.2020  10:00:00  "
               "(12.05.2020  13:00:00 local)\nActual start at 12.05.2020  13:00:30 (+30sec)";
        QTest::newRow("operator, no real day") << false << QList<int>{2020, 0, 12, 10, 0, 0}
                                               << "SAT-1\nmax elevation 80.00; 5 actual points\nStart at ";
        QTest::newRow("service, no real time")
            << true << QList<int>{2020, 5, 12, 24, 0, 0}
            << "SAT-1 (100)\nmax elevation 80.00; 5 actual points\nStart at   ( local)\nActual start at  (+30sec)";
    }
    void summaryTexts()
    {
        QFETCH(bool, service);
        QFETCH(QList<int>, start);
        QFETCH(QString, text);
        m_h.serviceMode = service;
        setStart(m_h.plan, start[0], start[1], start[2], start[3], start[4], start[5]);
        lowThenHigh(m_h.plan, 30, 5);
        QCOMPARE(analysePass(m_h.plan, m_h.env()), 0);
        QCOMPARE(m_h.view.trackInfo, text);
    }

    void startSecondOfDay_data()
    {
        QTest::addColumn<QDate>("today");
        QTest::addColumn<int>("seconds");
        QTest::newRow("built the day before") << QDate(2020, 5, 12) << 86410;
        QTest::newRow("built that day") << QDate(2020, 5, 13) << 10;
        QTest::newRow("built two days after") << QDate(2020, 5, 15) << 10 - 2 * 86400;
    }
    void startSecondOfDay()
    {
        QFETCH(QDate, today);
        QFETCH(int, seconds);
        m_h.clock.setNowUtc(QDateTime(today, QTime(23, 59, 59, 999), Qt::UTC));
        setStart(m_h.plan, 2020, 5, 12, 23, 59, 50);
        lowThenHigh(m_h.plan, 20, 3);
        QCOMPARE(analysePass(m_h.plan, m_h.env()), 0);
        QCOMPARE(m_h.plan.startUtc, QDateTime(QDate(2020, 5, 13), QTime(0, 0, 10), Qt::UTC));
        QCOMPARE(m_h.plan.startSecondOfDay, seconds);
    }

    void invalidStart()
    {
        m_h.plan.startSecondOfDay = 123;
        setStart(m_h.plan, 2020, 0, 12, 10, 0, 0);
        lowThenHigh(m_h.plan, 0, 2);
        QCOMPARE(analysePass(m_h.plan, m_h.env()), 0);
        QVERIFY(!m_h.plan.startUtc.isValid());
        QCOMPARE(::passStartState(m_h.plan), int(PassStartInvalid));
        QCOMPARE(m_h.plan.startSecondOfDay, 0);
        QCOMPARE(m_h.view.trackInfoStyle, QStringLiteral("color: Red"));
    }

    void summaryColour_data()
    {
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QString>("style");
        QTest::newRow("startable") << QDateTime(QDate(2020, 5, 12), QTime(9, 0), Qt::UTC) << "color: Black";
        QTest::newRow("5 s ahead") << QDateTime(QDate(2020, 5, 12), QTime(9, 59, 55), Qt::UTC) << "color: Red";
        QTest::newRow("past") << QDateTime(QDate(2020, 5, 12), QTime(11, 0), Qt::UTC) << "color: Red";
        QTest::newRow("two days early") << QDateTime(QDate(2020, 5, 10), QTime(9, 0), Qt::UTC) << "color: Red";
    }
    void summaryColour()
    {
        QFETCH(QDateTime, now);
        QFETCH(QString, style);
        m_h.clock.setNowUtc(now);
        lowThenHigh(m_h.plan, 0, 3);
        QCOMPARE(analysePass(m_h.plan, m_h.env()), 0);
        QCOMPARE(m_h.view.trackInfoStyle, style);
    }

    void failures_data()
    {
        QTest::addColumn<QVector<double>>("elevations");
        QTest::addColumn<QStringList>("log");
        QTest::addColumn<int>("reachable");
        QTest::newRow("one reachable point") << QVector<double>{30, 80, 30} << QStringList{"Track too low"} << 1;
        QTest::newRow("nothing reachable") << QVector<double>{30, 60, 70} << QStringList() << 0;
        QTest::newRow("below the horizon") << QVector<double>{-80, -85, -80} << QStringList() << 0;
        QTest::newRow("no points") << QVector<double>() << QStringList() << 0;
    }
    void failures()
    {
        QFETCH(QVector<double>, elevations);
        QFETCH(QStringList, log);
        QFETCH(int, reachable);
        SkyPanel panel(QSize(200, 200), m_h.plan, m_h.settings, m_h.sky);
        setSkyPanel(&panel);
        const int shows = m_h.view.pixmapShows;
        m_h.view.trackInfo = QStringLiteral("previous pass");
        m_h.view.trackInfoStyle = QStringLiteral("color: Black");
        setTrack(m_h.plan, QVector<double>(elevations.size(), 10), elevations);
        QCOMPARE(analysePass(m_h.plan, m_h.env()), 1);
        QCOMPARE(m_h.log, log);
        QCOMPARE(m_h.plan.reachableCount, reachable);
        QCOMPARE(m_h.plan.firstReachable, reachable ? quint16(1) : NoReachablePoint);
        QCOMPARE(m_h.view.trackInfo, QStringLiteral("previous pass"));
        QCOMPARE(m_h.view.trackInfoStyle, QStringLiteral("color: Black"));
        QCOMPARE(m_h.view.pixmapShows, shows); // preview left as it was
    }

    void singlePointDrawsWithoutSummary()
    {
        SkyPanel panel(QSize(200, 200), m_h.plan, m_h.settings, m_h.sky);
        setSkyPanel(&panel);
        const int shows = m_h.view.pixmapShows;
        m_h.plan.singlePointTrack = true;
        setTrack(m_h.plan, {45}, {80});
        QCOMPARE(analysePass(m_h.plan, m_h.env()), 0);
        QCOMPARE(m_h.plan.reachableCount, 1);
        QVERIFY(m_h.view.trackInfo.isEmpty());
        QVERIFY(m_h.view.pixmapShows > shows);
        QVERIFY(!m_h.plan.startUtc.isValid()); // GoTo leaves the pass times alone
    }

    void passStartState_data()
    {
        QTest::addColumn<qint64>("aheadMs");
        QTest::addColumn<int>("state");
        QTest::newRow("past") << qint64(-1000) << 0;
        QTest::newRow("now") << qint64(0) << 0;
        QTest::newRow("exactly 5 s") << qint64(5000) << 0;
        QTest::newRow("5.001 s") << qint64(5001) << 1;
        QTest::newRow("5.5 s") << qint64(5500) << 1;
        QTest::newRow("86400.999 s") << qint64(86400999) << 1;
        QTest::newRow("86401 s") << qint64(86401000) << 2;
    }
    void passStartState()
    {
        QFETCH(qint64, aheadMs);
        QFETCH(int, state);
        m_h.clock.setNowUtc(QDateTime(QDate(2020, 5, 12), QTime(23, 59, 58, 500), Qt::UTC));
        m_h.plan.startUtc = m_h.clock.nowUtc().addMSecs(aheadMs);
        QCOMPARE(::passStartState(m_h.plan), state);
    }

    void uploadButton_data()
    {
        QTest::addColumn<bool>("service");
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<bool>("sent");
        const QDateTime inWindow(QDate(2020, 5, 12), QTime(9, 0), Qt::UTC);
        const QDateTime late(QDate(2020, 5, 12), QTime(10, 0, 26), Qt::UTC);
        const QDateTime early(QDate(2020, 5, 11), QTime(9, 0), Qt::UTC);
        QTest::newRow("service, in the window") << true << inWindow << true;
        QTest::newRow("service, too late") << true << late << false;
        QTest::newRow("service, too early") << true << early << false;
        QTest::newRow("operator uploads without a time test") << false << late << true;
    }
    void uploadButton()
    {
        QFETCH(bool, service);
        QFETCH(QDateTime, now);
        QFETCH(bool, sent);
        m_h.serviceMode = service;
        lowThenHigh(m_h.plan, 30, 5);
        m_h.clock.setNowUtc(QDateTime(QDate(2020, 5, 12), QTime(9, 0), Qt::UTC));
        QCOMPARE(analysePass(m_h.plan, m_h.env()), 0);
        m_h.clock.setNowUtc(now);
        m_h.plan.startMode = StartImmediate;
        if (!sent)
            m_h.dialogs.expectInformation(QStringLiteral("To late or too early. Track not loaded"));
        QCOMPARE(pass::uploadScheduledPass(m_h.plan, *m_h.link, m_h.env()),
                 sent ? int(UploadDone) : int(UploadRefusedTime));
        QVERIFY(m_h.dialogs.scriptDone());
        QCOMPARE(m_h.lastUploadBytes.isEmpty(), !sent);
        if (sent) {
            QCOMPARE(m_h.plan.startMode, quint8(StartScheduled));
            const Frame f = decode(m_h.lastUploadBytes);
            QCOMPARE(f.start, 10 * 3600 + 30);
            QCOMPARE(f.radii.size(), 5);
        }
    }
};

QTEST_MAIN(TestPassTiming)
#include "tst_passtiming.moc"
