// One whole pass with the extras of extras.ini turned on, in one process:
// status.json followed through the pass, the command after the data file,
// parking after the finish, and what the window leaves when it goes. The
// demodulator answers on 127.0.0.1:6002 (a network namespace of its own). The
// hook is a real child process on real time: it is waited for with bounded
// real-time waits; everything else runs on the test clock.
#include "demodpeer.h"
#include "stationworld.h"
#include "tuv.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QtTest>

#include <algorithm>
#include <csignal>
#include <memory>

namespace {
constexpr int Points = 10;
const QString Finish = QStringLiteral("finish");
const QString Parked = QStringLiteral("park: antenna sent to origin");
const QString InOrigin = QStringLiteral("in origin");

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A JSON value by its path of keys ("gps/state").
QJsonValue at(const QJsonObject &o, const QString &path)
{
    QJsonValue v(o);
    for (const QString &key : path.split(QLatin1Char('/')))
        v = v.toObject().value(key);
    return v;
}

int indexOf(const QStringList &log, const QString &message, bool prefix = false)
{
    for (int i = 0; i < log.size(); ++i)
        if (prefix ? log[i].startsWith(message) : log[i] == message)
            return i;
    return -1;
}

bool isOriginFrame(const QByteArray &frame) { return frame == QByteArray::fromHex("01000000"); }
} // namespace

class StationExtrasTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<StationWorld> m_world;
    std::unique_ptr<DemodPeer> m_demod;
    // Every distinct status.json seen during the pass, in order, read after
    // every timer firing.
    QList<QJsonObject> m_seen;
    int m_unreadable = 0;
    QDateTime m_trackStart;
    QDateTime m_finishAt; // station time of the log entries
    QDateTime m_parkAt;
    int m_originFramesAtFinish = -1;
    QString m_dataFile;

    void sample()
    {
        QFile f(QStringLiteral("status.json"));
        if (!f.open(QIODevice::ReadOnly))
            return;
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(f.readAll(), &error);
        if (error.error != QJsonParseError::NoError || !doc.isObject()) {
            ++m_unreadable;
            return;
        }
        if (m_seen.isEmpty() || m_seen.last() != doc.object())
            m_seen.append(doc.object());
    }
    int originFrames() const
    {
        return int(std::count_if(m_world->board().receivedFrames().cbegin(),
                                 m_world->board().receivedFrames().cend(), isOriginFrame));
    }
    bool logged(const QString &message) const { return m_world->logMessages().contains(message); }

private slots:
    void initTestCase();
    void statusFollowsThePass_data();
    void statusFollowsThePass();
    void statusAfterThePass_data();
    void statusAfterThePass();
    void hookGotTheDataFile();
    void parkedAfterTheFinish();
    void stoppedStateLeftWhenTheWindowGoes();
    void hookLeftoversEndWithTheWindow();
    void cleanupTestCase();
};

void StationExtrasTest::initTestCase()
{
    m_world = std::make_unique<StationWorld>();
    QVERIFY2(m_world->ready(), qPrintable(m_world->setUpError()));
    // The station folder is the current folder from here on.
    const QString here = QDir::currentPath();
    QFile hook(QStringLiteral("hook.sh"));
    QVERIFY(hook.open(QIODevice::WriteOnly));
    hook.write("printf '%s\\n' \"$1\" >> \"$(dirname \"$0\")/hook.out\"\n"
               // Something left running behind it, ended when the console ends.
               "sleep 120 & echo $! > \"$(dirname \"$0\")/hook.child\"\n");
    hook.close();
    QFile extras(QStringLiteral("extras.ini"));
    QVERIFY(extras.open(QIODevice::WriteOnly));
    extras.write("# extras of an unattended station\nStatusFile enable\nPassHook /bin/sh \""
                 + QDir(here).absoluteFilePath(QStringLiteral("hook.sh")).toUtf8()
                 + "\"\nPassHookTimeout 20\nParkAfter 2\nParkUnlessPassWithin 60\n");
    extras.close();

    m_demod = std::make_unique<DemodPeer>(123, 45);
    QVERIFY2(m_demod->listen(), qPrintable(m_demod->errorString()));
    m_world->setEveryStep([this] {
        m_demod->settle();
        sample();
    });
    QVERIFY2(m_world->open({{"StationName", "Test station"}, {"Demodulator", "enable"}, {"Feedback", "enable"}}),
             qPrintable(m_world->setUpError()));
    auto *socket = m_world->window().findChild<QTcpSocket *>();
    QVERIFY(socket);
    m_demod->setClientSocket(socket);
    QVERIFY(m_world->waitLinkUp());

    m_trackStart = QDateTime::fromMSecsSinceEpoch((m_world->clock().nowMs() + 40000) / 1000 * 1000, Qt::UTC);
    QVERIFY(m_world->writeTrack(m_trackStart, Points, 85, "SIMSAT", "1"));
    QVERIFY(m_world->advanceUntil([this] { return logged(Finish); }, 90000));
    m_finishAt = m_world->clock().nowUtc();
    m_originFramesAtFinish = originFrames();
    QVERIFY(m_world->advanceUntil([this] { return logged(Parked); }, 10000));
    m_parkAt = m_world->clock().nowUtc();
    QVERIFY(m_world->advanceUntil([this] { return logged(InOrigin); }, 30000));
    // The status beat takes it in within a second.
    QVERIFY(m_world->advanceUntil(
        [this] { return !m_seen.isEmpty() && at(m_seen.last(), QStringLiteral("lastEvent/message")) == InOrigin; },
        3000));
    const QStringList dat = QDir(QStringLiteral("data")).entryList({QStringLiteral("*.dat")}, QDir::Files);
    QCOMPARE(dat.size(), 1);
    m_dataFile = QDir(QStringLiteral("data")).absoluteFilePath(dat.first());
    // The hook runs on real time: its end is seen through the event loop.
    QTRY_VERIFY_WITH_TIMEOUT(indexOf(m_world->logMessages(), QStringLiteral("hook exit code "), true) >= 0, 5000);
}

void StationExtrasTest::cleanupTestCase()
{
    m_world.reset();
    m_demod.reset();
}

void StationExtrasTest::statusFollowsThePass_data()
{
    // What every document of the pass holds.
    QTest::addColumn<QString>("key");
    QTest::addColumn<QJsonValue>("expected");
    QTest::newRow("station") << QStringLiteral("station") << QJsonValue(QStringLiteral("Test station"));
    QTest::newRow("mode") << QStringLiteral("mode") << QJsonValue(QStringLiteral("operator"));
    QTest::newRow("errors") << QStringLiteral("errors") << QJsonValue(0);
}

void StationExtrasTest::statusFollowsThePass()
{
    QFETCH(QString, key);
    QFETCH(QJsonValue, expected);
    // Whole or not at all: every read gave a complete document.
    QCOMPARE(m_unreadable, 0);
    QVERIFY(m_seen.size() >= 10);

    QList<int> states;
    int maxPoints = 0;
    bool trackingShown = false;
    QString start;
    for (const QJsonObject &o : qAsConst(m_seen)) {
        QCOMPARE(o.value(key), expected);
        QVERIFY(QDateTime::fromString(o.value(QStringLiteral("time")).toString(), Qt::ISODate).isValid());
        const int state = at(o, QStringLiteral("recording/state")).toInt();
        if (states.isEmpty() || states.last() != state)
            states << state;
        maxPoints = std::max(maxPoints, at(o, QStringLiteral("recording/points")).toInt());
        trackingShown = trackingShown || at(o, QStringLiteral("controller/text")) == QStringLiteral("Tracking.");
        const QJsonValue pass = o.value(QStringLiteral("pass"));
        if (pass.isObject()) {
            QCOMPARE(at(o, QStringLiteral("pass/satellite")).toString(), QStringLiteral("SIMSAT"));
            QCOMPARE(at(o, QStringLiteral("pass/orbit")).toString(), QStringLiteral("1"));
            QVERIFY(at(o, QStringLiteral("pass/reachablePoints")).toInt() > 0);
            start = at(o, QStringLiteral("pass/start")).toString();
        }
    }
    // The recording states in the order the pass takes them, and the points
    // growing while it is tracked.
    QVERIFY2(states.contains(3) && states.contains(5), qPrintable(QString::number(states.size())));
    QVERIFY(states.indexOf(3) < states.indexOf(5));
    QCOMPARE(states.last(), 0);
    QVERIFY(trackingShown);
    QVERIFY(maxPoints >= 5);
    // The pass start is the track's first reachable point (all are reachable).
    QCOMPARE(start, m_trackStart.toString(Qt::ISODate));
}

void StationExtrasTest::statusAfterThePass_data()
{
    // How the gps and link fields are written: tst_extras (statusJsonKeys,
    // extrasFollowAPass).
    QTest::addColumn<QString>("path");
    QTest::addColumn<QJsonValue>("expected");
    QTest::newRow("data file") << QStringLiteral("lastDataFile") << QJsonValue(m_dataFile);
    QTest::newRow("firmware") << QStringLiteral("link/firmware") << QJsonValue(QStringLiteral("3.7"));
    QTest::newRow("controller") << QStringLiteral("controller/text") << QJsonValue(QStringLiteral("In Origin."));
    // The pass has finished: it is no longer shown as the loaded one.
    QTest::newRow("no pass") << QStringLiteral("pass") << QJsonValue(QJsonValue::Null);
}

void StationExtrasTest::statusAfterThePass()
{
    QFETCH(QString, path);
    QFETCH(QJsonValue, expected);
    QCOMPARE(at(m_seen.last(), path), expected);
}

// The command got the data file's path; its end is logged after the finish.
void StationExtrasTest::hookGotTheDataFile()
{
    QTRY_COMPARE_WITH_TIMEOUT(readAll(QStringLiteral("hook.out")), m_dataFile.toUtf8() + '\n', 5000);
    const QStringList log = m_world->logMessages();
    const int ran = indexOf(log, QStringLiteral("hook exit code 0 after "), true);
    QVERIFY(ran > indexOf(log, Finish));
    QVERIFY2(QRegularExpression(QStringLiteral("^hook exit code 0 after \\d+\\.\\d s$")).match(log[ran]).hasMatch(),
             qPrintable(log[ran]));
}

void StationExtrasTest::parkedAfterTheFinish()
{
    const QStringList log = m_world->logMessages();
    const int finish = indexOf(log, Finish);
    const int park = indexOf(log, Parked);
    QVERIFY(finish >= 0);
    QVERIFY(park > finish);
    // Two seconds after the finish, give or take the one-second beat.
    const qint64 after = m_finishAt.secsTo(m_parkAt);
    QVERIFY2(after >= 2 && after <= 4, qPrintable(QString::number(after)));
    QVERIFY(indexOf(log, InOrigin) > park);
    // Exactly one go-to-origin frame reached the controller, after the finish.
    QCOMPARE(m_originFramesAtFinish, 0);
    QCOMPARE(originFrames(), 1);
}

// What status.json holds once the window is gone (the path a SIGTERM takes in
// the program: the window is closed and destroyed). Its time is the moment it
// went.
void StationExtrasTest::stoppedStateLeftWhenTheWindowGoes()
{
    const QString now = m_world->clock().nowUtc().toString(Qt::ISODate);
    m_world->close();
    const QJsonObject o = QJsonDocument::fromJson(readAll(QStringLiteral("status.json"))).object();
    QCOMPARE(o.value(QStringLiteral("mode")), QJsonValue(QStringLiteral("stopped")));
    QCOMPARE(o.value(QStringLiteral("station")), QJsonValue(QStringLiteral("Test station")));
    QCOMPARE(o.value(QStringLiteral("time")), QJsonValue(now));
}

void StationExtrasTest::hookLeftoversEndWithTheWindow()
{
    // The window went well inside the hook's 20 s.
    const qint64 child = readAll(QStringLiteral("hook.child")).trimmed().toLongLong();
    QVERIFY(child > 0);
    const auto gone = [child] {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(child));
        // Ended, or a zombie of a parent that does not reap.
        return ::kill(pid_t(child), 0) != 0 || !stat.open(QIODevice::ReadOnly)
            || stat.readAll().split(')').last().startsWith(" Z");
    };
    QTRY_VERIFY_WITH_TIMEOUT(gone(), 5000);
    const QStringList log = m_world->logMessages();
    const int ended = indexOf(log, QStringLiteral("hook process group "), true);
    QVERIFY(ended >= 0);
    QVERIFY2(log[ended].endsWith(QLatin1String(" ended: console exit")), qPrintable(log[ended]));
    QVERIFY(ended < indexOf(log, QStringLiteral("The end")));
}

QTEST_MAIN(StationExtrasTest)
#include "tst_stationextras.moc"
