// Automatic uploads in operator mode, with the console's window on the
// in-process board: a track file at TrackPath is loaded, sent, confirmed, and
// sent again when the board refuses it, loses it, or the port was away.
#include "linkstate.h"
#include "simframes.h"
#include "stationworld.h"
#include "tuv.h"

#include <QtTest>

namespace {
const QString Started = QStringLiteral("*** TuVaRN log started ***");
const QString Opened = QStringLiteral("port opened ok");
const QString Sent = QStringLiteral("track sent");
const QString ReceivedOk = QStringLiteral("received ok");
const QString SentAgain = QStringLiteral("track upload failed, sent again");
const QString NotSent = QStringLiteral("track not sent: port not open");
const QString Lost = QStringLiteral("track lost by the controller, sent again");

QString loaded(const QDateTime &start)
{
    return QStringLiteral("Track loaded: SAT-1. Start at ") + start.toString(QStringLiteral("dd.MM.yyyy  hh:mm:ss"));
}

// The log from the track's load on.
QStringList fromLoad(const QStringList &log)
{
    for (int i = 0; i < log.size(); ++i)
        if (log.at(i).startsWith(QLatin1String("Track loaded: ")))
            return log.mid(i);
    return {};
}

// A station whose link is up, with a track of 20 points starting this far ahead.
struct UploadStation
{
    StationWorld world;
    QDateTime start;

    bool begin(qint64 startInMs)
    {
        if (!world.ready() || !world.open() || !world.waitLinkUp())
            return false;
        // Whole seconds, as the track file gives them.
        const qint64 at = (world.clock().nowMs() + startInMs) / 1000 * 1000;
        start = QDateTime::fromMSecsSinceEpoch(at, Qt::UTC);
        return world.writeTrack(start, 20);
    }
    // Every upload the board got is a good table for the track's start, the
    // first one again: byte for byte when repeated, or made anew (a later
    // console time) when the pass is sent again.
    void checkUploadsAlike(int expected, bool repeated = true)
    {
        const QList<QByteArray> ups = world.uploads();
        QCOMPARE(ups.size(), expected);
        const simframes::UploadCheck first = simframes::checkUploadFrame(ups.first());
        QVERIFY2(first.ok, qPrintable(first.reason));
        QCOMPARE(first.table.radii.size(), 20);
        QCOMPARE(first.table.startSecondOfDay, start.time().msecsSinceStartOfDay() / 1000);
        for (const QByteArray &frame : ups) {
            if (repeated) {
                QCOMPARE(frame, ups.first());
                continue;
            }
            const simframes::UploadCheck check = simframes::checkUploadFrame(frame);
            QVERIFY2(check.ok, qPrintable(check.reason));
            QCOMPARE(check.table.startSecondOfDay, first.table.startSecondOfDay);
            QCOMPARE(check.table.uploadMode, first.table.uploadMode);
            QCOMPARE(check.table.radii, first.table.radii);
            QCOMPARE(check.table.angles, first.table.angles);
        }
    }
};
} // namespace

class StationUploadTest : public QObject
{
    Q_OBJECT
private slots:
    void confirmed_data();
    void confirmed();
    void refused_data();
    void refused();
    void controllerRestart();
    void portGone();
};

void StationUploadTest::confirmed_data()
{
    // A pass too near to send: tst_reception (uploadGivesUpWhenTooLate).
    QTest::addColumn<qint64>("startInMs");
    QTest::newRow("a minute ahead") << qint64(60000);
    QTest::newRow("ten hours ahead") << qint64(36000000);
}

// The track found at TrackPath is loaded at the second look, sent, and the
// board's track-loaded bit confirms it once; nothing more is sent or logged.
void StationUploadTest::confirmed()
{
    QFETCH(qint64, startInMs);

    UploadStation s;
    QVERIFY(s.begin(startInMs));
    s.world.advance(2500);
    QVERIFY(!QFile::exists(QStringLiteral("track/Track.txt"))); // moved to its archive name
    s.world.advance(5000);
    QCOMPARE(fromLoad(s.world.logMessages()), (QStringList {loaded(s.start), Sent, ReceivedOk}));
    QCOMPARE(s.world.logMessages().mid(0, 2), (QStringList {Started, Opened}));
    s.checkUploadsAlike(1);
    QCOMPARE(s.world.window().state().linkState.uploadRetry, qint8(-1));
    QVERIFY(s.world.board().core().hasPass());
}

void StationUploadTest::refused_data()
{
    QTest::addColumn<qint64>("startInMs");
    QTest::addColumn<qint64>("refusedMs");   // -1: for good
    QTest::addColumn<QString>("last");       // the last line logged
    QTest::newRow("refused for 4 s") << qint64(60000) << qint64(4000) << ReceivedOk;
    QTest::newRow("refused until too late") << qint64(12000) << qint64(-1)
                                            << QStringLiteral("track upload failed, too late");
}

// Every refusal (the receive-error bit) brings the same frame again, logged
// each time, until the board takes it or the pass can no longer start.
void StationUploadTest::refused()
{
    QFETCH(qint64, startInMs);
    QFETCH(qint64, refusedMs);
    QFETCH(QString, last);

    UploadStation s;
    QVERIFY(s.begin(startInMs));
    s.world.board().setRefuseUploads(true);
    QVERIFY(s.world.advanceUntil([&] { return !s.world.uploads().isEmpty(); }, 3000));
    if (refusedMs >= 0) {
        s.world.advance(refusedMs);
        s.world.board().setRefuseUploads(false);
    }
    QVERIFY(s.world.advanceUntil([&] { return s.world.logMessages().last() == last; }, startInMs + 2000));
    const int uploads = s.world.uploads().size();
    s.world.advance(5000);
    // Nothing after the last word.
    QCOMPARE(s.world.uploads().size(), uploads);

    const QStringList log = fromLoad(s.world.logMessages());
    QVERIFY(log.size() >= 4);
    QCOMPARE(log.mid(0, 2), (QStringList {loaded(s.start), Sent}));
    QCOMPARE(log.last(), last);
    const int again = log.count(SentAgain);
    QCOMPARE(log.size(), 3 + again);
    // Once a second at least while refused.
    QVERIFY2(again >= qMax<qint64>(1, refusedMs / 1000), qPrintable(QString::number(again)));
    s.checkUploadsAlike(1 + again);
    QCOMPARE(s.world.board().core().hasPass(), refusedMs >= 0);
}

// A board that restarts and turns up idle gets the owed pass again. (Not
// when the pass can no longer start: tst_reception, "start already too near".)
void StationUploadTest::controllerRestart()
{
    UploadStation s;
    QVERIFY(s.begin(60000));
    QVERIFY(s.world.advanceUntil([&] { return s.world.logMessages().contains(ReceivedOk); }, 5000));
    s.world.advance(s.start.toMSecsSinceEpoch() - 40000 - s.world.clock().nowMs());
    s.world.board().resetBoard();
    s.world.advance(6000);
    QCOMPARE(fromLoad(s.world.logMessages()), (QStringList {loaded(s.start), Sent, ReceivedOk, Lost, ReceivedOk}));
    s.checkUploadsAlike(2, false);
    QVERIFY(s.world.board().core().hasPass());
}

// With the port gone while a refused upload is repeated, the pass is "not
// sent" once, however long, and goes out as soon as the link is back. (A port
// away before the first upload: tst_link, absentPortLoggedOnce and
// portAppearsAndLinkComesUp.)
void StationUploadTest::portGone()
{
    UploadStation s;
    QVERIFY(s.begin(60000));
    FakeController &board = s.world.board();
    board.setRefuseUploads(true);
    QVERIFY(s.world.advanceUntil([&] { return s.world.logMessages().contains(SentAgain); }, 5000));
    board.setPresent(false);
    QVERIFY(s.world.advanceUntil([&] { return s.world.logMessages().contains(NotSent); }, 10000));
    // Refused to the end: the board is left without the pass.
    board.setRefuseUploads(false);
    const int uploadsWhileAway = s.world.uploads().size();
    s.world.advance(8000);
    board.setPresent(true);
    QVERIFY(s.world.advanceUntil([&] { return s.world.logMessages().contains(ReceivedOk); }, 5000));
    s.world.advance(3000);

    QStringList got = fromLoad(s.world.logMessages());
    got.removeAll(SentAgain);
    QCOMPARE(got.mid(0, 1), QStringList {loaded(s.start)});
    QCOMPARE(got.mid(1), (QStringList {Sent, NotSent, QStringLiteral("Disconnected"), QStringLiteral("port absent"),
                                       Opened, Lost, ReceivedOk}));
    s.checkUploadsAlike(uploadsWhileAway + 1, false);
    QVERIFY(board.core().hasPass());
}

QTEST_MAIN(StationUploadTest)
#include "tst_stationupload.moc"
