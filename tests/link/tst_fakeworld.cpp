// The in-process test world is sound: the test clock's timers fire when and in
// the order real ones would, and the controller stand-in keeps its own clock.
#include "fakecontroller.h"
#include "simframes.h"
#include "testclock.h"

#include <QMap>
#include <QPointer>
#include <QtEndian>
#include <QtTest>

namespace {

const QDateTime Start = QDateTime(QDate(2026, 12, 8), QTime(12, 0, 0, 400), Qt::UTC);

struct TimerPlan
{
    QString name;
    int intervalMs = 0;
    bool singleShot = true;
    int restartOnceMs = -1;  // restarted with this interval from its first timeout
    QString target;          // acted on at its first timeout
    QString action;          // "delete", "deleteLater", "stop", "shift" (the PC clock, +10 s)
    bool queued = false;     // posts a queued call at every timeout
};
using TimerPlans = QVector<TimerPlan>;

TimerPlan plan(const QString &name, int intervalMs, bool singleShot, int restartOnceMs = -1,
               const QString &target = {}, const QString &action = {}, bool queued = false)
{
    return TimerPlan {name, intervalMs, singleShot, restartOnceMs, target, action, queued};
}

} // namespace

Q_DECLARE_METATYPE(TimerPlans)

class FakeWorldTest : public QObject
{
    Q_OBJECT
private slots:
    void timers_data();
    void timers();
    void boardClock_data();
    void boardClock();
};

void FakeWorldTest::timers_data()
{
    QTest::addColumn<TimerPlans>("plans");
    QTest::addColumn<qint64>("runMs");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("periodic keeps its phase, single-shot fires once")
        << TimerPlans {plan("a", 300, false), plan("b", 500, true)} << qint64(1000)
        << QStringList {"a@300", "b@500", "a@600", "a@900"};
    QTest::newRow("ties fire in start order")
        << TimerPlans {plan("y", 100, false), plan("x", 100, false), plan("z", 200, true)} << qint64(200)
        << QStringList {"y@100", "x@100", "y@200", "x@200", "z@200"};
    QTest::newRow("restart inside the handler counts from then")
        << TimerPlans {plan("a", 100, true, 250)} << qint64(1000) << QStringList {"a@100", "a@350"};
    QTest::newRow("deleted while pending never fires")
        << TimerPlans {plan("a", 100, true, -1, "b", "delete"), plan("b", 150, false)} << qint64(1000)
        << QStringList {"a@100"};
    QTest::newRow("deleteLater'd while pending never fires")
        << TimerPlans {plan("a", 100, true, -1, "b", "deleteLater"), plan("b", 100, false)} << qint64(1000)
        << QStringList {"a@100"};
    QTest::newRow("stopped never fires")
        << TimerPlans {plan("a", 100, true, -1, "b", "stop"), plan("b", 150, true)} << qint64(1000)
        << QStringList {"a@100"};
    QTest::newRow("queued calls run before the next firing")
        << TimerPlans {plan("a", 100, false, -1, {}, {}, true), plan("b", 150, true)} << qint64(200)
        << QStringList {"a@100", "queued a@100", "b@150", "a@200", "queued a@200"};
    QTest::newRow("a shift of the PC clock moves no timer")
        << TimerPlans {plan("a", 100, true, -1, "b", "shift"), plan("b", 150, true)} << qint64(200)
        << QStringList {"a@100", "b@10150"};
}

void FakeWorldTest::timers()
{
    QFETCH(TimerPlans, plans);
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
    for (const TimerPlan &p : plans) {
        platform::Timer *t = platform::newTimer(&owner);
        t->setSingleShot(p.singleShot);
        t->setInterval(p.intervalMs);
        byName.insert(p.name, t);
        auto firings = std::make_shared<int>(0);
        QObject::connect(t, &platform::Timer::timeout, &owner, [=, &owner, &log, &byName] {
            log << stamp(p.name);
            if (p.queued)
                QMetaObject::invokeMethod(&owner, [=, &log] { log << stamp("queued " + p.name); },
                                          Qt::QueuedConnection);
            if (++*firings != 1)
                return;
            if (p.restartOnceMs >= 0)
                byName[p.name]->start(p.restartOnceMs);
            platform::Timer *target = byName.value(p.target);
            if (target && p.action == "delete")
                delete target;
            else if (target && p.action == "deleteLater")
                target->deleteLater();
            else if (target && p.action == "stop")
                target->stop();
            else if (p.action == "shift")
                QVERIFY(platform::clock().shiftSeconds(10, nullptr));
        });
    }
    for (const TimerPlan &p : plans)
        byName[p.name]->start();

    clock.advance(runMs);
    QCOMPARE(log, expected);
    QCOMPARE(clock.elapsedMs(), runMs);
    QCOMPARE(clock.stationMs() - t0, runMs);
    // A bounded wait for what never comes ends at its bound.
    QVERIFY(!clock.advanceUntil([] { return false; }, 500));
    QCOMPARE(clock.elapsedMs(), runMs + 500);
}

void FakeWorldTest::boardClock_data()
{
    QTest::addColumn<int>("pcShiftS");
    QTest::newRow("PC clock an hour back") << -3600;
    QTest::newRow("PC clock an hour ahead") << 3600;
}

// The board keeps station time: a step of the PC clock changes neither when
// its replies leave nor the second they carry. (The rest of the board's talk
// is proven through the console in tests/station.)
void FakeWorldTest::boardClock()
{
    QFETCH(int, pcShiftS);

    TestClock clock(Start);
    clock.install();
    FakeController board;
    board.setBoardClock([&clock] { return clock.stationMs(); });
    QVERIFY(clock.fake().shiftSeconds(pcShiftS, nullptr));
    const qint64 t0 = Start.toMSecsSinceEpoch();
    QList<qint64> arrivals;
    QObject::connect(&board, &ControllerTransport::readyRead, [&] {
        QByteArray bytes(int(board.bytesAvailable()), '\0');
        QCOMPARE(board.read(bytes.data(), bytes.size()), qint64(bytes.size()));
        QCOMPARE(bytes.size(), simframes::StatusReplyLength);
        const qint64 at = clock.stationMs();
        arrivals << at - t0;
        // The time word is the board's second that has just begun.
        const qint32 timeWord = qFromLittleEndian<qint32>(bytes.constData() + 12);
        QCOMPARE(qint64(timeWord), (at - sim::ControllerCore::dayStartMs(at)) / 1000);
    });
    QCOMPARE(int(board.open()), 0);
    clock.advance(5000);
    // The clock starts 400 ms into a second; replies leave 3 ms after each.
    QCOMPARE(arrivals, (QList<qint64> {603, 1603, 2603, 3603, 4603}));
}

QTEST_GUILESS_MAIN(FakeWorldTest)
#include "tst_fakeworld.moc"
