// The extras file, the status file and the parking rule.
#include "controllerlink.h"
#include "clock.h"
#include "extrassettings.h"
#include "linkstate.h"
#include "parkplanner.h"
#include "passdatastore.h"
#include "passplan.h"
#include "stationextras.h"
#include "stationstatus.h"
#include "statusreply.h"

#include <QJsonDocument>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

namespace {
const QDateTime T0(QDate(2026, 12, 7), QTime(4, 0, 0), Qt::UTC);

QJsonObject readJson(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(f.readAll()).object();
}
}

class TestExtras : public QObject
{
    Q_OBJECT

private slots:
    void settings_data();
    void settings();
    void settingsFileRefusedWhole_data();
    void settingsFileRefusedWhole();
    void statusFileWritesOnlyChanges();
    void statusFileFailureKeepsOldFile();
    void statusJsonKeys();
    void park_data();
    void park();
    void parkOnlyOncePerFinish();
    void extrasFollowAPass();
};

void TestExtras::settings_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("status");
    QTest::addColumn<QString>("hook");
    QTest::addColumn<int>("timeout");
    QTest::addColumn<int>("parkAfter");
    QTest::addColumn<int>("parkNear");
    QTest::addColumn<int>("problems");

    QTest::newRow("empty file: all off") << QByteArray() << false << QString() << 60 << -1 << 600 << 0;
    QTest::newRow("all on, CR LF, comment")
        << QByteArray("# extras\r\nStatusFile enable\r\nPassHook /usr/bin/upload --fast\r\n"
                      "PassHookTimeout 30\r\nParkAfter 45\r\nParkUnlessPassWithin 120\r\n")
        << true << QStringLiteral("/usr/bin/upload --fast") << 30 << 45 << 120 << 0;
    QTest::newRow("disable words") << QByteArray("StatusFile disable\nParkAfter disable\n")
                                   << false << QString() << 60 << -1 << 600 << 0;
    QTest::newRow("tabs between key and value") << QByteArray("ParkAfter\t10\n")
                                                << false << QString() << 60 << 10 << 600 << 0;
    // Bad values keep the default and are reported, never half-applied.
    QTest::newRow("bad values reported")
        << QByteArray("StatusFile yes\nPassHookTimeout 0\nParkAfter -5\nParkUnlessPassWithin x\nColour red\n")
        << false << QString() << 60 << -1 << 600 << 5;
}

void TestExtras::settings()
{
    QFETCH(QByteArray, text);
    const ExtrasSettings s = parseExtrasSettings(text);
    QVERIFY(s.present);
    QTEST(s.statusFile, "status");
    QTEST(s.passHook, "hook");
    QTEST(s.passHookTimeout, "timeout");
    QTEST(s.parkAfter, "parkAfter");
    QTEST(s.parkUnlessPassWithin, "parkNear");
    QTEST(int(s.problems.size()), "problems");
}

void TestExtras::settingsFileRefusedWhole_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("reason"); // empty: read as usual

    const QByteArray line("PassHook /usr/bin/upload\n");
    // A timeout of 600 whose last digit lies past 64 KiB.
    QByteArray over(MaxExtrasFileSize - 18, '#');
    over += "\nPassHookTimeout 600\n";
    QByteArray full(MaxExtrasFileSize - int(line.size()) - 1, '#');
    full += '\n' + line;
    QTest::newRow("exactly the limit") << "file" << full << QString();
    QTest::newRow("over the limit") << "file" << over << "larger than 65536 bytes";
    QTest::newRow("NUL byte") << "file" << line + QByteArray("Status\0File enable\n", 19)
                              << "holds a NUL byte";
    QTest::newRow("FIFO") << "fifo" << QByteArray() << "not a regular file";
    QTest::newRow("folder") << "folder" << QByteArray() << "not a regular file";
}

void TestExtras::settingsFileRefusedWhole()
{
    QFETCH(QString, kind);
    QFETCH(QByteArray, text);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    const QString path = dir.filePath(QLatin1String(ExtrasFileName));
    if (kind == QLatin1String("fifo")) {
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    } else if (kind == QLatin1String("folder")) {
        QVERIFY(QDir().mkdir(path));
    } else {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QCOMPARE(f.write(text), qint64(text.size()));
    }
    QElapsedTimer t;
    t.start();
    const ExtrasSettings s = loadExtrasSettings(path);
    QVERIFY(t.elapsed() < 2000);
    if (reason.isEmpty()) {
        QVERIFY(s.present);
        QCOMPARE(s.passHook, QStringLiteral("/usr/bin/upload"));
        QVERIFY(s.problems.isEmpty());
        return;
    }
    // Refused whole: nothing of it is used, and the log says why.
    QVERIFY(!s.present);
    QVERIFY(s.passHook.isEmpty());
    QCOMPARE(s.passHookTimeout, 60);
    QCOMPARE(s.problems.size(), 1);
    QVERIFY2(s.problems.first().contains(reason), qPrintable(s.problems.first()));
}

void TestExtras::statusFileWritesOnlyChanges()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("status.json"));
    StatusFile file(path);
    StationStatus st;
    st.station = QStringLiteral("Roof");

    QCOMPARE(file.update(st.toJson(), T0), StatusFile::Written);
    QCOMPARE(readJson(path).value(QStringLiteral("time")).toString(), QStringLiteral("2026-12-07T04:00:00Z"));
    // Only the time differs: the file stays as it was.
    QCOMPARE(file.update(st.toJson(), T0.addSecs(1)), StatusFile::Unchanged);
    QCOMPARE(readJson(path).value(QStringLiteral("time")).toString(), QStringLiteral("2026-12-07T04:00:00Z"));
    st.errors = 1;
    QCOMPARE(file.update(st.toJson(), T0.addSecs(2)), StatusFile::Written);
    const QJsonObject o = readJson(path);
    QCOMPARE(o.value(QStringLiteral("errors")).toInt(), 1);
    QCOMPARE(o.value(QStringLiteral("time")).toString(), QStringLiteral("2026-12-07T04:00:02Z"));
    // Written through a temporary file and a rename: nothing else is left.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("status.json")});
}

void TestExtras::statusFileFailureKeepsOldFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("status.json"));
    StationStatus st;
    QVERIFY(StatusFile(path).update(st.toJson(), T0) == StatusFile::Written);
    const QByteArray before = [&] { QFile f(path); f.open(QIODevice::ReadOnly); return f.readAll(); }();

    // A folder that cannot take the temporary file: the old file stays whole.
    StatusFile broken(dir.filePath(QStringLiteral("missing/status.json")));
    QString error;
    st.errors = 7;
    QCOMPARE(broken.update(st.toJson(), T0, &error), StatusFile::Failed);
    QVERIFY(!error.isEmpty());
    // A failed write is tried again on the next call, not taken as written.
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("missing")));
    QCOMPARE(broken.update(st.toJson(), T0), StatusFile::Written);
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), before);
}

void TestExtras::statusJsonKeys()
{
    StationStatus st;
    st.station = QStringLiteral("Roof <1>");
    st.replyWord = 0x3840;
    st.gpsKnown = true;
    st.gpsTimeWord = 4 * 3600 + 5 * 60 + 9;
    st.stateKnown = true;
    st.stateWord = 0x0841;
    st.stateText = QStringLiteral(" Receive error.  Tracking. ");
    st.stateError = true;
    st.passLoaded = true;
    st.satellite = QStringLiteral("SAT 1");
    st.orbit = QStringLiteral("4711");
    st.passStartUtc = T0;
    st.reachablePoints = 37;
    st.uploadPoints = 37;
    st.recordState = 5;
    st.recordedPoints = 12;
    const QJsonObject o = QJsonDocument::fromJson(StatusFile::document(st.toJson(), T0)).object();
    QCOMPARE(o.value(QStringLiteral("station")).toString(), QStringLiteral("Roof <1>"));
    QCOMPARE(o.value(QStringLiteral("mode")).toString(), QStringLiteral("operator"));
    QCOMPARE(o.value(QStringLiteral("gps")).toObject().value(QStringLiteral("state")).toString(), QStringLiteral("ok"));
    QCOMPARE(o.value(QStringLiteral("gps")).toObject().value(QStringLiteral("time")).toString(), QStringLiteral("04:05:09"));
    const QJsonObject c = o.value(QStringLiteral("controller")).toObject();
    QCOMPARE(c.value(QStringLiteral("word")).toString(), QStringLiteral("0x0841"));
    QCOMPARE(c.value(QStringLiteral("text")).toString(), QStringLiteral("Receive error.  Tracking."));
    QCOMPARE(c.value(QStringLiteral("error")).toBool(), true);
    const QJsonObject p = o.value(QStringLiteral("pass")).toObject();
    QCOMPARE(p.value(QStringLiteral("start")).toString(), QStringLiteral("2026-12-07T04:00:00Z"));
    QCOMPARE(p.value(QStringLiteral("reachablePoints")).toInt(), 37);
    QCOMPARE(o.value(QStringLiteral("recording")).toObject().value(QStringLiteral("points")).toInt(), 12);
    QVERIFY(o.value(QStringLiteral("lastDataFile")).isNull());
    QVERIFY(o.value(QStringLiteral("lastEvent")).isNull());
    // Nothing loaded: null, not an empty object.
    st.passLoaded = false;
    QVERIFY(st.toJson().value(QStringLiteral("pass")).isNull());
}

void TestExtras::park_data()
{
    QTest::addColumn<int>("after");
    QTest::addColumn<int>("stepAt");       // seconds after the finish
    QTest::addColumn<int>("statusWord");
    QTest::addColumn<int>("uploadRetry");
    QTest::addColumn<int>("nextStartIn"); // seconds after the step; 0: no pass loaded
    QTest::addColumn<int>("action");

    QTest::newRow("before the time") << 30 << 29 << 0x3020 << 0 << 0 << int(ParkPlanner::Nothing);
    QTest::newRow("at the time, idle") << 30 << 30 << 0x3000 << 0 << 0 << int(ParkPlanner::Park);
    QTest::newRow("finished pass still loaded") << 30 << 30 << 0x3000 << 0 << -300 << int(ParkPlanner::Park);
    QTest::newRow("next pass far") << 30 << 31 << 0x3000 << 0 << 601 << int(ParkPlanner::Park);
    QTest::newRow("next pass near") << 30 << 31 << 0x3000 << 0 << 600 << int(ParkPlanner::Skip);
    QTest::newRow("next pass uploaded") << 30 << 30 << 0x3000 << 3 << 0 << int(ParkPlanner::Skip);
    QTest::newRow("next upload confirmed") << 30 << 30 << 0x3000 << -1 << 0 << int(ParkPlanner::Skip);
    QTest::newRow("going to start") << 30 << 30 << 0x3210 << 0 << 0 << int(ParkPlanner::Skip);
    QTest::newRow("tracking") << 0 << 0 << 0x3800 << 0 << 0 << int(ParkPlanner::Skip);
}

void TestExtras::park()
{
    QFETCH(int, after);
    QFETCH(int, stepAt);
    QFETCH(int, statusWord);
    QFETCH(int, uploadRetry);
    QFETCH(int, nextStartIn);
    ParkPlanner planner(after, 600);
    planner.passFinished(T0);
    ParkPlanner::Station s;
    s.statusWord = quint16(statusWord);
    s.uploadRetry = qint8(uploadRetry);
    const QDateTime now = T0.addSecs(stepAt);
    if (nextStartIn != 0)
        s.nextStartUtc = now.addSecs(nextStartIn);
    const ParkPlanner::Decision d = planner.step(now, s);
    QTEST(int(d.action), "action");
    QCOMPARE(d.logLine.isEmpty(), d.action == ParkPlanner::Nothing);
}

void TestExtras::parkOnlyOncePerFinish()
{
    ParkPlanner planner(5, 600);
    ParkPlanner::Station idle;
    // Never armed without a finish.
    QCOMPARE(planner.step(T0.addSecs(100), idle).action, ParkPlanner::Nothing);
    planner.passFinished(T0);
    QCOMPARE(planner.step(T0.addSecs(5), idle).action, ParkPlanner::Park);
    QCOMPARE(planner.step(T0.addSecs(6), idle).action, ParkPlanner::Nothing);
    // Off (-1): a finish arms nothing.
    ParkPlanner off(-1, 600);
    off.passFinished(T0);
    QVERIFY(!off.armed());
}

void TestExtras::extrasFollowAPass()
{
    QTemporaryDir dir;
    const QString old = QDir::currentPath();
    QDir::setCurrent(dir.path());
    FakeClock clock(T0);
    platform::setClock(&clock);
    PassPlanRecord PassPlan;
    LinkState linkState;
    QByteArray txFrame, txBytes, lastUploadBytes;
    ControllerLink link(linkState, txFrame, txBytes, lastUploadBytes);

    ExtrasSettings settings = parseExtrasSettings("StatusFile enable\nParkAfter 10\n");
    QStringList log;
    PassDataStore store;
    store.allocate(10, 4);
    {
        StationExtras extras(settings, [&](const QString &m) { log << m; }, &store, PassPlan, link, QString(),
                             false);
        const QString path = dir.filePath(QStringLiteral("status.json"));
        QVERIFY(QFile::exists(path)); // written at once
        QVERIFY(readJson(path).value(QStringLiteral("pass")).isNull());

        PassPlan.satellite = QStringLiteral("NOAA 19");
        PassPlan.orbit = QStringLiteral("123");
        PassPlan.startUtc = T0.addSecs(-30); // the pass being tracked
        PassPlan.reachableCount = 8;
        linkState.linkWatchdog = 3;
        StatusUpdate u;
        u.reply.statusWord = 0x3800;
        u.reply.timeWord = 4 * 3600;
        u.change.changed = true;
        u.change.word = 0x3800;
        u.change.line = QStringLiteral(" Tracking. ");
        u.change.style = QStringLiteral("color: Black");
        extras.statusShown(u);
        extras.logged(QStringLiteral("tracking"));
        clock.advanceMs(1000);
        extras.tick();
        QJsonObject o = readJson(path);
        QCOMPARE(o.value(QStringLiteral("pass")).toObject().value(QStringLiteral("satellite")).toString(),
                 QStringLiteral("NOAA 19"));
        QCOMPARE(o.value(QStringLiteral("controller")).toObject().value(QStringLiteral("text")).toString(),
                 QStringLiteral("Tracking."));
        QCOMPARE(o.value(QStringLiteral("lastEvent")).toObject().value(QStringLiteral("message")).toString(),
                 QStringLiteral("tracking"));
        QCOMPARE(o.value(QStringLiteral("link")).toObject().value(QStringLiteral("alive")).toBool(), true);

        // Finish; the data file is written; an error state later counts once.
        u.change.word = 0xB000;
        u.change.finish = true;
        u.change.line = QStringLiteral(" Finish.");
        extras.statusShown(u);
        extras.dataFileWritten(dir.filePath(QStringLiteral("data/NOAA 19 (123)_071226_040100.dat")), true);
        u.change.finish = false;
        u.change.word = 0x3001;
        u.change.style = QStringLiteral("color: Red");
        extras.statusShown(u);
        extras.statusShown(u);
        clock.advanceMs(1000);
        extras.tick();
        o = readJson(path);
        QVERIFY(o.value(QStringLiteral("lastDataFile")).toString().endsWith(QStringLiteral("_071226_040100.dat")));
        QCOMPARE(o.value(QStringLiteral("errors")).toInt(), 1);
        QVERIFY(!log.contains(QStringLiteral("park: antenna sent to origin")));
        clock.advanceMs(10000);
        extras.tick();
        QCOMPARE(log.count(QStringLiteral("park: antenna sent to origin")), 1);

        // The next pass is loaded and starts soon: the next finish parks nothing.
        u.change.finish = true;
        extras.statusShown(u);
        PassPlan.startUtc = clock.nowUtc().addSecs(100);
        clock.advanceMs(10000);
        extras.tick();
        QCOMPARE(log.count(QStringLiteral("park: antenna sent to origin")), 1);
        QCOMPARE(log.last(), QStringLiteral("park skipped: next pass in 90 s"));
    }
    platform::setClock(nullptr);
    QDir::setCurrent(old);
}

QTEST_GUILESS_MAIN(TestExtras)
#include "tst_extras.moc"
