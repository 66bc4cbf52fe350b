// The in-process test world is sound: the test clock's timers fire when and in
// the order real ones would, and the controller stand-in on it talks like the
// board on its line.
#include "fakecontroller.h"
#include "simframes.h"
#include "testclock.h"

#include <QMap>
#include <QPointer>
#include <QtEndian>
#include <QtTest>

namespace {

const QDateTime Start = QDateTime(QDate(2026, 12, 8), QTime(12, 0, 0, 400), Qt::UTC);

struct TimerSpec
{
    QString name;
    int intervalMs = 0;
    bool singleShot = true;
    int restartOnceMs = -1;  // restarted with this interval from its first timeout
    QString target;          // acted on at its first timeout
    QString action;          // "delete", "deleteLater", "stop", "shift" (the PC clock, +10 s)
    bool queued = false;     // posts a queued call at every timeout
};
using TimerSpecs = QVector<TimerSpec>;

TimerSpec spec(const QString &name, int intervalMs, bool singleShot, int restartOnceMs = -1,
               const QString &target = {}, const QString &action = {}, bool queued = false)
{
    return TimerSpec {name, intervalMs, singleShot, restartOnceMs, target, action, queued};
}

} // namespace

Q_DECLARE_METATYPE(TimerSpecs)

class FakeWorldTest : public QObject
{
    Q_OBJECT
private slots:
    void timers_data();
    void timers();
    void controller_data();
    void controller();
};

void FakeWorldTest::timers_data()
{
    QTest::addColumn<TimerSpecs>("specs");
    QTest::addColumn<qint64>("runMs");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("periodic keeps its phase, single-shot fires once")
        << TimerSpecs {spec("a", 300, false), spec("b", 500, true)} << qint64(1000)
        << QStringList {"a@300", "b@500", "a@600", "a@900"};
    QTest::newRow("ties fire in start order")
        << TimerSpecs {spec("y", 100, false), spec("x", 100, false), spec("z", 200, true)} << qint64(200)
        << QStringList {"y@100", "x@100", "y@200", "x@200", "z@200"};
    QTest::newRow("restart inside the handler counts from then")
        << TimerSpecs {spec("a", 100, true, 250)} << qint64(1000) << QStringList {"a@100", "a@350"};
    QTest::newRow("deleted while pending never fires")
        << TimerSpecs {spec("a", 100, true, -1, "b", "delete"), spec("b", 150, false)} << qint64(1000)
        << QStringList {"a@100"};
    QTest::newRow("deleteLater'd while pending never fires")
        << TimerSpecs {spec("a", 100, true, -1, "b", "deleteLater"), spec("b", 100, false)} << qint64(1000)
        << QStringList {"a@100"};
    QTest::newRow("stopped never fires")
        << TimerSpecs {spec("a", 100, true, -1, "b", "stop"), spec("b", 150, true)} << qint64(1000)
        << QStringList {"a@100"};
    QTest::newRow("queued calls run before the next firing")
        << TimerSpecs {spec("a", 100, false, -1, {}, {}, true), spec("b", 150, true)} << qint64(200)
        << QStringList {"a@100", "queued a@100", "b@150", "a@200", "queued a@200"};
    QTest::newRow("a shift of the PC clock moves no timer")
        << TimerSpecs {spec("a", 100, true, -1, "b", "shift"), spec("b", 150, true)} << qint64(200)
        << QStringList {"a@100", "b@10150"};
}

void FakeWorldTest::timers()
{
    QFETCH(TimerSpecs, specs);
    QFETCH(qint64, runMs);
    QFETCH(QStringList, expected);

    TestClock clock(Start);
    clock.install();
    QObject owner;
    QMap<QString, QPointer<platform::Timer>> byName;
    QStringList log;
    const qint64 t0 = Start.toMSecsSinceEpoch();
    // Time as every reader of the process clock sees it.
    auto stamp = [t0](const QString &what) {
        return QStringLiteral("%1@%2").arg(what).arg(platform::nowUtc().toMSecsSinceEpoch() - t0);
    };
    for (const TimerSpec &spec : specs) {
        platform::Timer *t = platform::newTimer(&owner);
        t->setSingleShot(spec.singleShot);
        t->setInterval(spec.intervalMs);
        byName.insert(spec.name, t);
        auto firings = std::make_shared<int>(0);
        QObject::connect(t, &platform::Timer::timeout, &owner, [=, &owner, &log, &byName] {
            log << stamp(spec.name);
            if (spec.queued)
                QMetaObject::invokeMethod(&owner, [=, &log] { log << stamp("queued " + spec.name); },
                                          Qt::QueuedConnection);
            if (++*firings != 1)
                return;
            if (spec.restartOnceMs >= 0)
                byName[spec.name]->start(spec.restartOnceMs);
            platform::Timer *target = byName.value(spec.target);
            if (target && spec.action == "delete")
                delete target;
            else if (target && spec.action == "deleteLater")
                target->deleteLater();
            else if (target && spec.action == "stop")
                target->stop();
            else if (spec.action == "shift")
                QVERIFY(platform::clock().shiftSeconds(10, nullptr));
        });
    }
    for (const TimerSpec &spec : specs)
        byName[spec.name]->start();

    clock.advance(runMs);
    QCOMPARE(log, expected);
    QCOMPARE(clock.elapsedMs(), runMs);
    QCOMPARE(clock.stationMs() - t0, runMs);
    // A bounded wait for what never comes ends at its bound.
    QVERIFY(!clock.advanceUntil([] { return false; }, 500));
    QCOMPARE(clock.elapsedMs(), runMs + 500);
}

void FakeWorldTest::controller_data()
{
    QTest::addColumn<bool>("present");
    QTest::addColumn<QString>("refusal");
    QTest::addColumn<qint64>("silentMs");
    QTest::addColumn<int>("rawBytes");
    QTest::addColumn<int>("uploadPoints");     // pass starts 25 s after the upload
    QTest::addColumn<bool>("refuseUploads");
    QTest::addColumn<qint64>("goneAtMs");      // -1: stays
    QTest::addColumn<qint64>("runMs");
    QTest::addColumn<int>("pcShiftS");         // board on station time, PC clock shifted
    QTest::addColumn<int>("openResult");
    QTest::addColumn<int>("finalOpen");
    QTest::addColumn<int>("replies");
    QTest::addColumn<qint64>("firstReplyMs");  // -1: none
    QTest::addColumn<int>("requests");
    QTest::addColumn<int>("others");
    QTest::addColumn<int>("bitsSeen");

    using namespace sim;
    const int gps = 0x3000;
    // Clock starts 400 ms into a second; ticks leave 3 ms after each second.
    QTest::newRow("idle: one reply per whole second")
        << true << QString() << qint64(0) << 0 << 0 << false << qint64(-1) << qint64(5000) << 0
        << 0 << 0 << 5 << qint64(603) << 0 << 0 << gps;
    QTest::newRow("upload: loaded at once, then one request per point")
        << true << QString() << qint64(0) << 0 << 3 << false << qint64(-1) << qint64(32000) << 0
        << 0 << 0 << 33 << qint64(15) << 3 << 0
        << int(gps | TrackLoaded | GoingToStart | InStartPosition | Tracking | Finish);
    QTest::newRow("board on its own clock: a PC clock step back changes nothing")
        << true << QString() << qint64(0) << 0 << 0 << false << qint64(-1) << qint64(5000) << -3600
        << 0 << 0 << 5 << qint64(603) << 0 << 0 << gps;
    QTest::newRow("refused upload: receive error")
        << true << QString() << qint64(0) << 0 << 3 << true << qint64(-1) << qint64(2000) << 0
        << 0 << 0 << 3 << qint64(15) << 0 << 0 << int(gps | ReceiveError);
    QTest::newRow("silent for 3 s")
        << true << QString() << qint64(3000) << 0 << 0 << false << qint64(-1) << qint64(5000) << 0
        << 0 << 0 << 2 << qint64(3603) << 0 << 0 << gps;
    QTest::newRow("raw bytes: one transmission of their own")
        << true << QString() << qint64(0) << 17 << 0 << false << qint64(-1) << qint64(1000) << 0
        << 0 << 0 << 1 << qint64(603) << 0 << 1 << gps;
    QTest::newRow("refused open")
        << true << QString("Permission denied") << qint64(0) << 0 << 0 << false << qint64(-1)
        << qint64(3000) << 0 << 2 << 2 << 0 << qint64(-1) << 0 << 0 << 0;
    QTest::newRow("absent")
        << false << QString() << qint64(0) << 0 << 0 << false << qint64(-1) << qint64(3000) << 0
        << 1 << 1 << 0 << qint64(-1) << 0 << 0 << 0;
    QTest::newRow("gone while open")
        << true << QString() << qint64(0) << 0 << 0 << false << qint64(2000) << qint64(4000) << 0
        << 0 << 1 << 2 << qint64(603) << 0 << 0 << gps;
}

void FakeWorldTest::controller()
{
    QFETCH(bool, present);
    QFETCH(QString, refusal);
    QFETCH(qint64, silentMs);
    QFETCH(int, rawBytes);
    QFETCH(int, uploadPoints);
    QFETCH(bool, refuseUploads);
    QFETCH(qint64, goneAtMs);
    QFETCH(qint64, runMs);
    QFETCH(int, pcShiftS);

    TestClock clock(Start);
    clock.install();
    FakeController board;
    if (pcShiftS != 0) {
        board.setBoardClock([&clock] { return clock.stationMs(); });
        QVERIFY(clock.fake().shiftSeconds(pcShiftS, nullptr));
    }
    const qint64 t0 = Start.toMSecsSinceEpoch();
    board.setPresent(present);
    board.refuseOpen(refusal);
    board.setRefuseUploads(refuseUploads);

    // A console that only reads: every transmission arrives whole, by itself.
    int replies = 0, requests = 0, others = 0, bitsSeen = 0, signalsInWrite = 0;
    qint64 firstReplyMs = -1;
    bool inWrite = false;
    QList<qint64> tickArrivals;
    QObject::connect(&board, &ControllerTransport::readyRead, [&] {
        signalsInWrite += inWrite ? 1 : 0;
        QByteArray bytes(int(board.bytesAvailable()), '\0');
        QCOMPARE(board.read(bytes.data(), bytes.size()), qint64(bytes.size()));
        const qint64 at = clock.stationMs() - t0;
        if (bytes.size() == simframes::StatusReplyLength) {
            ++replies;
            if (firstReplyMs < 0)
                firstReplyMs = at;
            bitsSeen |= quint8(bytes[6]) | quint8(bytes[7]) << 8; // the status word
            if ((t0 + at) % 1000 == FakeController::TickPhaseMs) {
                tickArrivals << at;
                // The time word is the board's second that has just begun.
                const qint32 timeWord = qFromLittleEndian<qint32>(bytes.constData() + 12);
                QCOMPARE(qint64(timeWord),
                         (t0 + at - sim::ControllerCore::dayStartMs(t0 + at)) / 1000);
            }
        } else if (bytes == QByteArray(1, '\0')) {
            // In the middle of a point; answered with its count.
            QCOMPARE((t0 + at) % 1000, qint64(FakeController::RequestOffsetMs));
            ++requests;
            inWrite = true;
            board.write(QByteArray(1, char(requests)));
            inWrite = false;
        } else {
            QCOMPARE(bytes.size(), rawBytes);
            ++others;
        }
    });

    QTEST(int(board.open()), "openResult");
    if (!refusal.isEmpty())
        QCOMPARE(board.openError(), refusal);
    if (silentMs > 0)
        board.fallSilent(silentMs);
    if (rawBytes > 0)
        board.sendBytes(QByteArray(rawBytes, char(0xA5)));
    if (uploadPoints > 0) {
        simframes::UploadTable table;
        table.startSecondOfDay = int((t0 - sim::ControllerCore::dayStartMs(t0)) / 1000) + 25;
        table.radius = 1000.0f;
        for (int i = 0; i < uploadPoints; ++i) {
            table.radii << 500.0f + i;
            table.angles << 10.0f * i;
        }
        inWrite = true;
        board.write(simframes::buildUploadFrame(table));
        inWrite = false;
    }
    if (goneAtMs >= 0) {
        clock.advance(goneAtMs);
        board.setPresent(false);
        QCOMPARE(board.write(QByteArray(4, '\0')), qint64(-1));
        clock.advance(runMs - goneAtMs);
    } else {
        clock.advance(runMs);
    }

    QTEST(int(board.open()), "finalOpen");
    QTEST(replies, "replies");
    QTEST(firstReplyMs, "firstReplyMs");
    QTEST(requests, "requests");
    QTEST(others, "others");
    QTEST(bitsSeen, "bitsSeen");
    QCOMPARE(signalsInWrite, 0);
    // Every request was answered, and each answer was taken for its own point.
    QMap<int, quint8> answers;
    for (int i = 0; i < requests; ++i)
        answers.insert(i, quint8(i + 1));
    QCOMPARE(board.answers(), answers);
    // Unprompted replies come one per second, on the second.
    for (int i = 1; i < tickArrivals.size(); ++i)
        QCOMPARE(tickArrivals[i] - tickArrivals[i - 1], qint64(1000));
}

QTEST_GUILESS_MAIN(FakeWorldTest)
#include "tst_fakeworld.moc"
