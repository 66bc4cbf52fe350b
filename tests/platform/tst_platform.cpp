#include "clock.h"
#include "dialogs.h"
#include "paths.h"
#include "portcatalogue.h"
#include "termination.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>

class TestPlatform : public QObject
{
    Q_OBJECT
private slots:
    void fakeClockShiftsWholeTimestamp()
    {
        FakeClock fake(QDateTime(QDate(2026, 12, 7), QTime(23, 59, 59, 100), Qt::UTC));
        platform::setClock(&fake);
        QString reason;
        QVERIFY(platform::clock().shiftSeconds(2, &reason));
        QCOMPARE(platform::nowUtc(), QDateTime(QDate(2026, 12, 8), QTime(0, 0, 1, 100), Qt::UTC));
        fake.refuseWith(QStringLiteral("Operation not permitted"));
        QVERIFY(!platform::clock().shiftSeconds(-2, &reason));
        QCOMPARE(reason, QStringLiteral("Operation not permitted"));
        QCOMPARE(platform::nowUtc(), QDateTime(QDate(2026, 12, 8), QTime(0, 0, 1, 100), Qt::UTC));
        QCOMPARE(fake.setCalls(), 2);
        platform::setClock(nullptr);
        QVERIFY(qAbs(platform::nowUtc().msecsTo(QDateTime::currentDateTimeUtc())) < 1000);
    }

    void fileNamesFitTheLimit_data()
    {
        QTest::addColumn<QString>("head");
        QTest::addColumn<QString>("tail");
        QTest::addColumn<QString>("fitted");
        const QString stamp = QStringLiteral("(7)_081226_093356.txt"); // 21 bytes
        QTest::newRow("fits: unchanged") << QStringLiteral("SAT") << stamp << QStringLiteral("SAT") + stamp;
        QTest::newRow("exactly 255") << QString(234, QLatin1Char('a')) << stamp << QString(234, QLatin1Char('a')) + stamp;
        QTest::newRow("head cut") << QString(300, QLatin1Char('a')) << stamp << QString(234, QLatin1Char('a')) + stamp;
        // U+1F6F0 (satellite) is a surrogate pair, four bytes in UTF-8: never split.
        const QString sat = QString::fromUcs4(U"\U0001F6F0");
        QTest::newRow("no half character") << sat.repeated(60) + QStringLiteral("ab") << stamp
                                           << sat.repeated(58) + stamp;
        QTest::newRow("tail alone too long") << QStringLiteral("x") << QString(300, QLatin1Char('9')) + stamp
                                             << QString(234, QLatin1Char('9')) + stamp;
    }
    void fileNamesFitTheLimit()
    {
        QFETCH(QString, head);
        QFETCH(QString, tail);
        QFETCH(QString, fitted);
        const QString name = platform::fitFileName(head, tail);
        QCOMPARE(name, fitted);
        QVERIFY(QFile::encodeName(name).size() <= 255);
        QCOMPARE(QString::fromUtf8(QFile::encodeName(name)), name); // whole characters only
        QCOMPARE(platform::pathSeparator(), QLatin1Char('/'));
    }

    void portsAreComEntriesOfThePortFolder()
    {
        QTemporaryDir dir;
        qputenv("TUVARN_PORT_DIR", dir.path().toUtf8());
        QFile target(dir.filePath(QStringLiteral("target")));
        QVERIFY(target.open(QIODevice::WriteOnly));
        target.close();
        QVERIFY(QFile::link(target.fileName(), dir.filePath(QStringLiteral("COM3"))));
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("gone")), dir.filePath(QStringLiteral("COM4"))));
        QVERIFY(QFile::link(target.fileName(), dir.filePath(QStringLiteral("COMX"))));
        QVERIFY(QFile::link(target.fileName(), dir.filePath(QStringLiteral("com5"))));

        const QList<PortEntry> ports = platform::availablePorts();
        QCOMPARE(ports.size(), 1); // dangling COM4, COMX and com5 are no ports
        QCOMPARE(ports.first().name, QStringLiteral("COM3"));
        QCOMPARE(ports.first().location, dir.filePath(QStringLiteral("COM3")));
        qunsetenv("TUVARN_PORT_DIR");
        QCOMPARE(platform::portFolder(), QStringLiteral("/dev"));
    }

    void scriptedDialogsAnswerAndRecord()
    {
        ScriptedDialogs d;
        d.expectQuestion(QStringLiteral("Switch?"), true);
        d.expectOpenFile(QStringLiteral("Open Track"), QStringLiteral("/x/a.txt"));
        QVERIFY(d.question(QStringLiteral("Switch?")));
        QCOMPARE(d.openFile(QStringLiteral("Open Track"), QStringLiteral("/d"), QStringLiteral("F")),
                 QStringLiteral("/x/a.txt"));
        QCOMPARE(d.lastDir(), QStringLiteral("/d"));
        QVERIFY(d.scriptDone());
        QVERIFY(d.unexpected().isEmpty());
        // Out of script: harmless answers, but noted.
        QVERIFY(!d.question(QStringLiteral("Again?")));
        QCOMPARE(d.unexpected(), QStringList{QStringLiteral("question: Again?")});
        QCOMPARE(d.prompts().size(), 3);
    }

    void terminationSignalRunsHandlerOnTheLoop()
    {
        int calls = 0;
        platform::onTerminationRequest([&calls] { ++calls; });
        ::raise(SIGTERM);
        QTRY_COMPARE_WITH_TIMEOUT(calls, 1, 2000);
        ::raise(SIGINT);
        QTRY_COMPARE_WITH_TIMEOUT(calls, 2, 2000);
    }
};

QTEST_GUILESS_MAIN(TestPlatform)
#include "tst_platform.moc"
