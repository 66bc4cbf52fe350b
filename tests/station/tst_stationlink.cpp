// The main cycle and the controller link, with the console's window on the
// in-process board: the link comes up, keeps the second's rhythm of the
// replies, and lives through an absent, refused, silent or noisy line.
#include "linkstate.h"
#include "stationworld.h"
#include "tuv.h"

#include <QLabel>
#include <QtTest>

namespace {
const QString Started = QStringLiteral("*** TuVaRN log started ***");
const QString Opened = QStringLiteral("port opened ok");

// What the test does to the board at a moment (ms after the window opened).
struct Step
{
    qint64 atMs;
    QString action; // "absent", "present", "refuse <reason>", "accept"
};
using Steps = QList<Step>;

void apply(FakeController &board, const QString &action)
{
    if (action == QLatin1String("absent"))
        board.setPresent(false);
    else if (action == QLatin1String("present"))
        board.setPresent(true);
    else if (action.startsWith(QLatin1String("refuse ")))
        board.refuseOpen(action.mid(7));
    else if (action == QLatin1String("accept"))
        board.refuseOpen(QString());
    else
        QFAIL(qPrintable(QStringLiteral("unknown action ") + action));
}
} // namespace

Q_DECLARE_METATYPE(Steps)

class StationLinkTest : public QObject
{
    Q_OBJECT
private slots:
    void linkComesUp();
    void portFaults_data();
    void portFaults();
    void silence_data();
    void silence();
    void badReceptions_data();
    void badReceptions();
};

// The port opens at the first once-per-second step; the first reply only
// revives the link and brings one status request; the next shows the version.
// From then on the board's own replies keep the link, no request is sent, and
// every once-per-second step follows 100 ms after a reception began. (The
// label's text for other versions: tst_status, tst_reception.)
void StationLinkTest::linkComesUp()
{
    StationWorld world;
    QVERIFY2(world.ready(), qPrintable(world.setUpError()));
    QVERIFY2(world.open(), qPrintable(world.setUpError()));
    tuv &w = world.window();

    QVERIFY(world.advanceUntil([&] { return world.logMessages().contains(Opened); }, 1500));
    QCOMPARE(world.clock().elapsedMs(), qint64(1000));
    QCOMPARE(world.linkLabel()->text(), QStringLiteral("Disconnected1  "));
    QCOMPARE(world.linkLabel()->styleSheet(), QStringLiteral("color: Red"));

    QVERIFY(world.waitLinkUp(3000));
    QCOMPARE(world.linkLabel()->text(), QStringLiteral("Ver. 3.7  "));
    QCOMPARE(world.linkLabel()->styleSheet(), QStringLiteral("color: Black"));
    QCOMPARE(world.statusRequests(), 1);
    QCOMPARE(world.board().receivedFrames().size(), 1);
    QVERIFY(!world.gpsLabel()->text().isEmpty());

    qint64 lastArrival = -1;
    QList<qint64> stepDelays;
    QObject::connect(&world.board(), &ControllerTransport::readyRead, &world.board(),
                     [&] { lastArrival = world.clock().elapsedMs(); });
    int watchdog = w.state().linkState.linkWatchdog;
    int lowest = watchdog;
    world.advanceUntil([&] {
        const int now = w.state().linkState.linkWatchdog;
        if (now == watchdog - 1 && lastArrival >= 0)
            stepDelays << world.clock().elapsedMs() - lastArrival;
        watchdog = now;
        lowest = qMin(lowest, now);
        return false;
    }, 10000);
    // Ten steps in ten seconds; the first comes before any arrival was seen.
    QCOMPARE(stepDelays.size(), 9);
    QCOMPARE(stepDelays, QVector<qint64>(stepDelays.size(), 100).toList());
    QCOMPARE(lowest, 2);
    QCOMPARE(world.statusRequests(), 1);
    QCOMPARE(world.board().receivedFrames().size(), 1);
    QCOMPARE(world.logMessages(), (QStringList {Started, Opened}));
    QCOMPARE(world.paneMessages(), world.logMessages());
}

void StationLinkTest::portFaults_data()
{
    QTest::addColumn<Steps>("steps");
    QTest::addColumn<QStringList>("labelsBefore"); // the link label before each step
    QTest::addColumn<QStringList>("log");

    QTest::newRow("refused: the reason once, then opened")
        << Steps {{0, "refuse Permission denied"}, {6000, "accept"}}
        << QStringList {QString(), QStringLiteral("port COM:5 not opened ")}
        << QStringList {Started, QStringLiteral("port not opened"), QStringLiteral("port COM5: Permission denied"),
                        Opened};
    QTest::newRow("a new reason is logged, the same result is not")
        << Steps {{0, "refuse Permission denied"}, {3500, "refuse Device or resource busy"}, {7000, "accept"}}
        << QStringList {QString(), QStringLiteral("port COM:5 not opened "), QStringLiteral("port COM:5 not opened ")}
        << QStringList {Started, QStringLiteral("port not opened"), QStringLiteral("port COM5: Permission denied"),
                        QStringLiteral("port COM5: Device or resource busy"), Opened};
    QTest::newRow("pulled while open, plugged in again")
        << Steps {{4000, "absent"}, {12000, "present"}}
        << QStringList {QStringLiteral("Ver. 3.7  "), QStringLiteral("port COM:5 absent ")}
        << QStringList {Started, Opened, QStringLiteral("Disconnected"), QStringLiteral("port absent"), Opened};
    QTest::newRow("absent, then present but refused, then opened")
        << Steps {{0, "absent"}, {3000, "refuse Permission denied"}, {3000, "present"}, {8000, "accept"}}
        << QStringList {QString(), QStringLiteral("port COM:5 absent "), QStringLiteral("port COM:5 absent "),
                        QStringLiteral("port COM:5 not opened ")}
        << QStringList {Started, QStringLiteral("port absent"), QStringLiteral("port not opened"),
                        QStringLiteral("port COM5: Permission denied"), Opened};
}

// Each port result is logged when it changes, a refusal's reason once per
// reason, and the link comes up within seconds of the port coming back.
void StationLinkTest::portFaults()
{
    QFETCH(Steps, steps);
    QFETCH(QStringList, labelsBefore);
    QFETCH(QStringList, log);

    StationWorld world;
    QVERIFY2(world.ready(), qPrintable(world.setUpError()));
    QVERIFY2(world.open(), qPrintable(world.setUpError()));
    for (int i = 0; i < steps.size(); ++i) {
        world.advance(steps[i].atMs - world.clock().elapsedMs());
        QCOMPARE(world.linkLabel()->text(), labelsBefore.at(i));
        apply(world.board(), steps[i].action);
    }
    QVERIFY(world.waitLinkUp(4000));
    world.advance(5000); // and nothing more is logged
    QCOMPARE(world.linkLabel()->text(), QStringLiteral("Ver. 3.7  "));
    QCOMPARE(world.logMessages(), log);
    QCOMPARE(world.paneMessages(), log);
}

void StationLinkTest::silence_data()
{
    QTest::addColumn<qint64>("silentMs");
    QTest::addColumn<bool>("lost");
    // A long silence is lost once: tst_link (silenceDropsTheLinkOnce).
    QTest::newRow("one reply missed: the link holds") << qint64(1100) << false;
    QTest::newRow("two replies missed: lost") << qint64(2100) << true;
}

// Replies stop: "Disconnected" once, the labels blanked, then the link comes
// back by itself with one status request and the version label.
void StationLinkTest::silence()
{
    QFETCH(qint64, silentMs);
    QFETCH(bool, lost);

    StationWorld world;
    QVERIFY2(world.ready(), qPrintable(world.setUpError()));
    QVERIFY2(world.open(), qPrintable(world.setUpError()));
    QVERIFY(world.waitLinkUp());
    world.advance(3000);
    QVERIFY(!world.gpsLabel()->text().isEmpty());
    // Just after a reply: the next one on time is the first to be missed.
    const int replies = world.board().repliesSent();
    QVERIFY(world.advanceUntil([&] { return world.board().repliesSent() > replies; }, 1100));
    QCOMPARE(world.clock().nowMs() % 1000, qint64(FakeController::TickPhaseMs));
    const int requestsBefore = world.statusRequests();
    world.board().fallSilent(silentMs);

    const QString disconnected = QStringLiteral("Disconnected");
    const bool wentDown =
        world.advanceUntil([&] { return world.logMessages().contains(disconnected); }, silentMs + 3000);
    QCOMPARE(wentDown, lost);
    if (lost) {
        QCOMPARE(world.linkLabel()->text(), QStringLiteral("Disconnected2  "));
        QCOMPARE(world.linkLabel()->styleSheet(), QStringLiteral("color: Red"));
        for (QLabel *l : {world.gpsLabel(), world.infoLabel(), world.stateLabel()})
            QCOMPARE(l->text(), QString());
        QVERIFY(world.waitLinkUp(silentMs + 3000));
        QVERIFY(!world.gpsLabel()->text().isEmpty());
    }
    world.advance(5000);
    QCOMPARE(world.linkLabel()->text(), QStringLiteral("Ver. 3.7  "));
    QCOMPARE(world.statusRequests(), requestsBefore + (lost ? 1 : 0));
    QStringList expected {Started, Opened};
    if (lost)
        expected << disconnected;
    QCOMPARE(world.logMessages(), expected);
}

void StationLinkTest::badReceptions_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("requests"); // status requests it brings

    // Each kind of reception by itself: tst_reception (classifyReceptions).
    QByteArray noSync(16, '\0');
    noSync[1] = char(0xFF);
    noSync[2] = char(0xFF);
    QTest::newRow("overrun of 17 bytes") << QByteArray(17, char(0xA5)) << 1;
    QTest::newRow("16 bytes without the sync") << noSync << 0;
    QTest::newRow("a correction request with nothing recorded") << QByteArray(1, '\0') << 0;
}

// An overrun is dropped and a status request follows; other bad receptions
// are dropped without a word. The link stays up, nothing is logged.
void StationLinkTest::badReceptions()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, requests);

    StationWorld world;
    QVERIFY2(world.ready(), qPrintable(world.setUpError()));
    QVERIFY2(world.open(), qPrintable(world.setUpError()));
    QVERIFY(world.waitLinkUp());
    world.advance(2500);
    world.board().clearReceived();
    world.board().sendBytes(bytes);
    world.advance(5000);
    QCOMPARE(world.board().receivedFrames(), QVector<QByteArray>(requests, StationWorld::statusRequestFrame()).toList());
    QCOMPARE(world.window().state().linkState.quietTicks, quint8(3));
    QCOMPARE(world.linkLabel()->text(), QStringLiteral("Ver. 3.7  "));
    QCOMPARE(world.logMessages(), (QStringList {Started, Opened}));
}

QTEST_MAIN(StationLinkTest)
#include "tst_stationlink.moc"
