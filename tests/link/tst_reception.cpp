#include "frames.h"
#include "linkstate.h"
#include "hexbytes.h"
#include "portfolder.h"
#include "ptypeer.h"
#include "linkworld.h"
#include "reception.h"
#include "rs.h"

#include "appstate.h"

#include <QtTest>
#include <memory>

// Reception framing, the link watchdog and the once-per-second counters.
class ReceptionTest : public QObject
{
    Q_OBJECT
private slots:
    void init() { w = std::make_unique<LinkWorld>(); }

    void framingCountsSilentTicks();
    void classifyReceptions_data();
    void classifyReceptions();
    void firstReplyOnlyRevivesTheLink();
    void revivingReplyKeepsTheTrackedPoint_data();
    void revivingReplyKeepsTheTrackedPoint();
    void noStatusRequestInUbloxMode();
    void watchdogExpiresOnTheThirdStep();
    void flashCountdownOnlyTouchesTheWatchdog();
    void cycleAndRecordSteps();
    void uploadConfirmedOrRepeated();
    void uploadGivesUpWhenTooLate();
    void unwrittenUploadWaitsForTheLink();
    void passLostByTheControllerIsSentAgain_data();
    void passLostByTheControllerIsSentAgain();

private:
    // The once-per-second upload step on this test's link.
    UploadSupervisionResult superviseUpload(const std::function<qint8()> &autoLoadTrack,
                                            const std::function<int()> &passStartState,
                                            const std::function<int()> &uploadTrack)
    {
        return ::superviseUpload(w->link, w->serviceMode, autoLoadTrack, passStartState, uploadTrack);
    }

    std::unique_ptr<LinkWorld> w;
};

void ReceptionTest::framingCountsSilentTicks()
{
    ReplyReceiver rx(w->linkState);
    QVERIFY(!rx.onTick()); // nothing pending
    w->linkState.cycleTicks = 7;
    QVERIFY(rx.onReadyRead());
    QCOMPARE(w->linkState.cycleTicks, 0);
    QCOMPARE(w->linkState.replyCountdown, qint8(3));
    QVERIFY(!rx.onTick());
    // More bytes within the silence window restart it, no new reception.
    w->linkState.cycleTicks = 5;
    QVERIFY(!rx.onReadyRead());
    QCOMPARE(w->linkState.cycleTicks, 5);
    QCOMPARE(w->linkState.replyCountdown, qint8(3));
    QVERIFY(!rx.onTick());
    QVERIFY(!rx.onTick());
    QVERIFY(rx.onTick()); // third silent tick: parse
    QVERIFY(!rx.onTick());
    QCOMPARE(w->linkState.replyCountdown, qint8(0));

    w->linkState.quietTicks = 10; // after an overrun
    QVERIFY(rx.onReadyRead());
    for (int i = 0; i < 9; ++i)
        QVERIFY(!rx.onTick());
    QVERIFY(rx.onTick());
}

void ReceptionTest::classifyReceptions_data()
{
    QTest::addColumn<int>("available");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("replyMode");
    QTest::addColumn<int>("quietTicks");
    const QByteArray good = hex("00FFFFFF0312100000000000A0000000");
    QTest::newRow("nothing") << 0 << QByteArray() << int(ParsedReception::None) << 0 << 3;
    QTest::newRow("overrun") << 17 << QByteArray() << int(ParsedReception::Overrun) << 2 << 10;
    QTest::newRow("correction request") << 1 << hex("00") << int(ParsedReception::Correction) << 0 << 3;
    QTest::newRow("lone other byte") << 1 << hex("07") << int(ParsedReception::Dropped) << 0 << 3;
    QTest::newRow("short") << 15 << good.left(15) << int(ParsedReception::Dropped) << 0 << 3;
    QTest::newRow("no sync") << 16 << hex("00FFFF7F0312100000000000A0000000")
                             << int(ParsedReception::Dropped) << 0 << 3;
    QTest::newRow("status") << 16 << good << int(ParsedReception::Status) << 1 << 3;
}

void ReceptionTest::classifyReceptions()
{
    QFETCH(int, available);
    QFETCH(QByteArray, bytes);
    QFETCH(int, type);
    QFETCH(int, replyMode);
    QFETCH(int, quietTicks);
    w->linkState.linkWatchdog = 2;
    ReplyReceiver rx(w->linkState);
    const ParsedReception p = rx.classify(available, bytes, w->context());
    QCOMPARE(int(p.type), type);
    QCOMPARE(int(w->linkState.replyMode), replyMode);
    QCOMPARE(int(w->linkState.quietTicks), quietTicks);
    if (p.type == ParsedReception::Status)
        QCOMPARE(w->linkState.statusWord, quint16(0x0010));
}

void ReceptionTest::firstReplyOnlyRevivesTheLink()
{
    ReplyReceiver rx(w->linkState);
    const QByteArray reply = hex("00FFFFFF0312100000000000A0000000");
    ParsedReception p = rx.classify(16, reply, w->context());
    QCOMPARE(p.type, ParsedReception::Revive);
    QCOMPARE(w->linkState.statusWord, quint16(0)); // nothing acted on
    QVERIFY(w->linkState.linkLabelStale);
    QVERIFY(rx.afterParse()); // ask for the full status
    QCOMPARE(w->linkState.linkWatchdog, quint8(3));

    p = rx.classify(16, reply, w->context());
    QCOMPARE(p.type, ParsedReception::Status);
    QVERIFY(p.update.linkLabelChanged);
    QCOMPARE(p.update.linkLabelText, QStringLiteral("Ver. 3.18  "));
    QVERIFY(!rx.afterParse());

    // After an overrun every reception asks again, whatever it was.
    rx.classify(40, QByteArray(), w->context());
    QVERIFY(rx.afterParse());
    rx.classify(3, QByteArray(), w->context());
    QVERIFY(rx.afterParse());
}

void ReceptionTest::revivingReplyKeepsTheTrackedPoint_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("pointIndex");
    QTest::addColumn<int>("byte10");
    // Point 3 and offset 2 were kept before the link was lost.
    QTest::newRow("tracking point 7, offset -2") << hex("00FFFFFF031200080700FEFFA0000000") << 7 << -2;
    QTest::newRow("tracking point 300") << hex("00FFFFFF031200082C010000A0000000") << 300 << 0;
    QTest::newRow("not tracking: kept as it was") << hex("00FFFFFF0312100005000000A0000000") << 3 << 2;
}

void ReceptionTest::revivingReplyKeepsTheTrackedPoint()
{
    // A correction request follows the first reply after a silence within
    // half a second; it must be recorded against the point now tracked.
    QFETCH(QByteArray, reply);
    QFETCH(int, pointIndex);
    QFETCH(int, byte10);
    w->linkState.pointIndex = 3;
    w->linkState.byte10Offset = 2;
    ReplyReceiver rx(w->linkState);
    const ParsedReception p = rx.classify(16, reply, w->context());
    QCOMPARE(p.type, ParsedReception::Revive);
    QCOMPARE(w->linkState.statusWord, quint16(0));
    QCOMPARE(int(w->linkState.pointIndex), pointIndex);
    QCOMPARE(int(w->linkState.byte10Offset), byte10);
}

void ReceptionTest::noStatusRequestInUbloxMode()
{
    ReplyReceiver rx(w->linkState);
    w->linkState.ubloxMode = true;
    rx.classify(17, QByteArray(), w->context());
    QVERIFY(!rx.afterParse());
    QCOMPARE(w->linkState.linkWatchdog, quint8(3));
}

void ReceptionTest::watchdogExpiresOnTheThirdStep()
{
    rs port(18, 49); // never opened: the watchdog path does not touch it
    w->linkState.linkWatchdog = 3;
    w->linkState.lastPortResult = 0;
    w->linkState.linkLabelStale = false;
    w->linkState.statusWord = 0x0810;
    w->linkState.uploadRetry = -1;
    for (int step = 1; step <= 2; ++step) {
        const LinkSupervisionResult r = superviseLink(w->linkState, port, port.portNumber);
        QVERIFY2(!r.labelChanged && r.logLine.isEmpty(), qPrintable(QString::number(step)));
        QVERIFY(!w->linkState.linkLabelStale);
        QCOMPARE(w->linkState.statusWord, quint16(0x0810));
    }
    const LinkSupervisionResult lost = superviseLink(w->linkState, port, port.portNumber);
    QCOMPARE(lost.labelText, QStringLiteral("Disconnected2  "));
    QCOMPARE(lost.labelStyle, QStringLiteral("color: Red"));
    QCOMPARE(lost.logLine, QStringLiteral("Disconnected"));
    QVERIFY(lost.blankStatusLabels);
    QVERIFY(w->linkState.linkLabelStale);
    QCOMPARE(w->linkState.statusWord, quint16(0));
    QCOMPARE(w->linkState.uploadRetry, qint8(0));
    QCOMPARE(w->linkState.linkWatchdog, quint8(0));
}

void ReceptionTest::flashCountdownOnlyTouchesTheWatchdog()
{
    QVERIFY(!flashCycleStep(w->linkState).suspended);
    w->linkState.flashDelay = 3;
    w->linkState.linkWatchdog = 1;
    FlashCycleStep s = flashCycleStep(w->linkState);
    QVERIFY(s.suspended && !s.emitDelalay);
    QCOMPARE(w->linkState.linkWatchdog, quint8(0));
    s = flashCycleStep(w->linkState);
    QVERIFY(s.emitDelalay);
    QCOMPARE(w->linkState.flashDelay, quint8(1));
    QCOMPARE(w->linkState.linkWatchdog, quint8(0)); // not below 0
    s = flashCycleStep(w->linkState);
    QVERIFY(s.suspended && !s.emitDelalay);
    QCOMPARE(w->linkState.flashDelay, quint8(1));
}

void ReceptionTest::cycleAndRecordSteps()
{
    int due = 0;
    for (int i = 0; i < 30; ++i)
        due += cycleSecondDue(w->linkState);
    QCOMPARE(due, 3);
    w->linkState.cycleTicks = 0; // a reception began: the next tick is the second step
    QVERIFY(cycleSecondDue(w->linkState));
    QCOMPARE(w->linkState.cycleTicks, 10);

    QCOMPARE(advanceRecordState(w->linkState), RecordStep::None);
    w->linkState.recordState = 1;
    QCOMPARE(advanceRecordState(w->linkState), RecordStep::StartRecording);
    QCOMPARE(w->linkState.recordState, quint8(2));
    w->linkState.parameterWord = 4;
    QVERIFY(!takeNoiseLevelNow(w->linkState));
    w->linkState.parameterWord = 3;
    QVERIFY(takeNoiseLevelNow(w->linkState));
    QCOMPARE(w->linkState.recordState, quint8(3));
    w->linkState.recordState = 4;
    QCOMPARE(advanceRecordState(w->linkState), RecordStep::ClearStore);
    QCOMPARE(w->linkState.recordState, quint8(5));
}

void ReceptionTest::uploadConfirmedOrRepeated()
{
    PortFolder folder;
    PtyPeer pty(folder.path(), 3);
    rs port(18, 3);
    QCOMPARE(port.open(), quint8(0));
    w->sendThrough(&port);
    int loads = 0, uploads = 0;
    auto load = [&]() -> qint8 { return ++loads == 1 ? 1 : 0; };
    auto canStart = [] { return 1; };
    auto upload = [&] {
        ++uploads;
        return w->link.sendUploadFrame(buildUploadFrame(100, 0, 0, 1.0f, {1.0f}, {0.5f})) != 0;
    };

    UploadSupervisionResult r = superviseUpload(load, canStart, upload);
    QCOMPARE(r.logLines, QStringList{QStringLiteral("track sent")});
    QCOMPARE(uploads, 1);
    QCOMPARE(w->linkState.uploadRetry, qint8(3));
    const QByteArray sent = w->lastUploadBytes;

    // Two seconds without confirmation: waiting; the third repeats it.
    QVERIFY(superviseUpload(load, canStart, upload).logLines.isEmpty());
    QVERIFY(superviseUpload(load, canStart, upload).logLines.isEmpty());
    w->link.sendCommand(CmdStatusRequest);
    r = superviseUpload(load, canStart, upload);
    QCOMPARE(r.logLines, QStringList{QStringLiteral("track upload failed, sent again")});
    QVERIFY(r.resent);
    QCOMPARE(w->txBytes, sent);
    QCOMPARE(w->linkState.uploadRetry, qint8(3));

    // A receive error repeats at once.
    w->linkState.statusWord = 0x0001;
    r = superviseUpload(load, canStart, upload);
    QVERIFY(r.resent);

    w->linkState.statusWord = 0x0010;
    r = superviseUpload(load, canStart, upload);
    QCOMPARE(r.logLines, QStringList{QStringLiteral("received ok")});
    QCOMPARE(w->linkState.uploadRetry, qint8(-1));

    // Confirmed: nothing is loaded even when the controller goes idle.
    w->linkState.statusWord = 0;
    const int loadsBefore = loads;
    QVERIFY(superviseUpload(load, canStart, upload).logLines.isEmpty());
    QCOMPARE(loads, loadsBefore);
    QCOMPARE(uploads, 1);
    w->sendThrough(nullptr);
}

void ReceptionTest::uploadGivesUpWhenTooLate()
{
    auto load = []() -> qint8 { return 1; };
    int startState = 2;
    auto canStart = [&] { return startState; };
    UploadSupervisionResult r = superviseUpload(load, canStart, [] { return true; });
    QCOMPARE(r.logLines, QStringList{QStringLiteral("too late")});
    QCOMPARE(w->linkState.uploadRetry, qint8(0));

    w->linkState.statusWord = 0x0200; // busy: no load at all
    int loads = 0;
    r = superviseUpload([&]() -> qint8 { ++loads; return 1; }, canStart, [] { return true; });
    QCOMPARE(loads, 0);

    w->linkState.statusWord = 0x0001;
    w->linkState.uploadRetry = 2;
    r = superviseUpload(load, canStart, [] { return true; });
    QCOMPARE(r.logLines, QStringList{QStringLiteral("track upload failed, too late")});
    QCOMPARE(w->linkState.uploadRetry, qint8(0));

    // An upload the planner refused is neither announced nor repeated.
    w->linkState.statusWord = 0;
    w->linkState.uploadRetry = 0;
    startState = 1;
    r = superviseUpload(load, canStart, [] { return false; });
    QVERIFY(r.logLines.isEmpty());
    QVERIFY(!r.uploaded);
    QCOMPARE(w->linkState.uploadRetry, qint8(0));

    w->serviceMode = true; // nothing automatic in service mode
    w->linkState.statusWord = 0;
    r = superviseUpload(load, canStart, [] { return true; });
    QVERIFY(r.logLines.isEmpty());
}

// The console's automatic upload, as the window runs it.
static int uploadAsTheWindowDoes(ControllerLink &link)
{
    link.sendUploadFrame(buildUploadFrame(100, 0, 0, 1.0f, {1.0f}, {0.5f}));
    return link.lastUploadWritten() ? AttemptWritten : AttemptNotWritten;
}

void ReceptionTest::unwrittenUploadWaitsForTheLink()
{
    PortFolder folder;
    rs port(18, 3);
    w->sendThrough(&port);
    int loads = 0, uploads = 0;
    auto load = [&]() -> qint8 { return ++loads == 2 ? 1 : 0; };
    auto canStart = [] { return 1; };
    auto upload = [&] { ++uploads; return uploadAsTheWindowDoes(w->link); };

    // No port: nothing went out, and nothing is claimed or repeated.
    QVERIFY(superviseUpload(load, canStart, upload).logLines.isEmpty());
    UploadSupervisionResult r = superviseUpload(load, canStart, upload);
    QCOMPARE(r.logLines, QStringList{QStringLiteral("track not sent: port not open")});
    QVERIFY(!r.uploaded);
    QCOMPARE(w->linkState.uploadRetry, qint8(0));
    for (int second = 0; second < 6; ++second)
        QVERIFY(superviseUpload(load, canStart, upload).logLines.isEmpty());
    QCOMPARE(uploads, 1);

    // The controller is back and reports itself idle: the pass goes out.
    PtyPeer pty(folder.path(), 3);
    QCOMPARE(port.open(), quint8(0));
    w->linkState.stateKnown = true;
    r = superviseUpload(load, canStart, upload);
    QCOMPARE(r.logLines, QStringList{QStringLiteral("track sent")});
    QVERIFY(r.uploaded);
    QCOMPARE(uploads, 2);
    QCOMPARE(pty.read(34).size(), 34);
    QCOMPARE(w->linkState.uploadRetry, qint8(3));
    w->linkState.statusWord = 0x3010;
    QCOMPARE(superviseUpload(load, canStart, upload).logLines, QStringList{QStringLiteral("received ok")});
    w->sendThrough(nullptr);
}

void ReceptionTest::passLostByTheControllerIsSentAgain_data()
{
    QTest::addColumn<bool>("linkLost");
    QTest::addColumn<int>("startState");
    QTest::addColumn<int>("idleWord");
    QTest::addColumn<bool>("sentAgain");
    QTest::newRow("restart after a link loss") << true << 1 << 0x3000 << true;
    QTest::newRow("restart after a link loss, origin") << true << 1 << 0x3020 << true;
    QTest::newRow("restart while the link held") << false << 1 << 0x3000 << true;
    QTest::newRow("restart, no GPS") << true << 1 << 0x0001 << true;
    QTest::newRow("start already too near") << true << 0 << 0x3000 << false;
    QTest::newRow("controller says too late") << false << 1 << 0x3008 << false;
}

void ReceptionTest::passLostByTheControllerIsSentAgain()
{
    QFETCH(bool, linkLost);
    QFETCH(int, startState);
    QFETCH(int, idleWord);
    QFETCH(bool, sentAgain);
    PortFolder folder;
    PtyPeer pty(folder.path(), 3);
    rs port(18, 3);
    QCOMPARE(port.open(), quint8(0));
    w->sendThrough(&port);
    int uploads = 0, loads = 0;
    int canStartNow = 1;
    auto load = [&]() -> qint8 { return ++loads == 1 ? 1 : 0; };
    auto canStart = [&] { return canStartNow; };
    auto upload = [&] { ++uploads; return uploadAsTheWindowDoes(w->link); };

    QCOMPARE(superviseUpload(load, canStart, upload).logLines, QStringList{QStringLiteral("track sent")});
    w->linkState.statusWord = 0x3010;
    QCOMPARE(superviseUpload(load, canStart, upload).logLines, QStringList{QStringLiteral("received ok")});
    QVERIFY(superviseUpload(load, canStart, upload).logLines.isEmpty());

    if (linkLost) {
        w->linkState.linkWatchdog = 1;
        QCOMPARE(superviseLink(w->linkState, port, port.portNumber).logLine, QStringLiteral("Disconnected"));
        // Until a reply says otherwise the controller's state is unknown.
        QVERIFY(superviseUpload(load, canStart, upload).logLines.isEmpty());
        w->link.requestStatus();
        QVERIFY(superviseUpload(load, canStart, upload).logLines.isEmpty());
        QCOMPARE(uploads, 1);
    }
    canStartNow = startState;
    w->linkState.statusWord = quint16(idleWord & 0xCFFF); // GPS bits alone are no state
    w->linkState.stateKnown = true;
    const UploadSupervisionResult r = superviseUpload(load, canStart, upload);
    if (sentAgain) {
        QCOMPARE(r.logLines, QStringList{QStringLiteral("track lost by the controller, sent again")});
        QCOMPARE(uploads, 2);
        QCOMPARE(w->linkState.uploadRetry, qint8(3));
        w->linkState.statusWord = 0x3010;
        QCOMPARE(superviseUpload(load, canStart, upload).logLines, QStringList{QStringLiteral("received ok")});
    } else {
        QVERIFY(r.logLines.isEmpty());
        QCOMPARE(uploads, 1);
    }
    // Once only: the controller holds it again, or it is given up.
    for (int second = 0; second < 4; ++second)
        QVERIFY(superviseUpload(load, canStart, upload).logLines.isEmpty());
    QCOMPARE(uploads, sentAgain ? 2 : 1);
    w->sendThrough(nullptr);
}

int runReceptionTest(int argc, char **argv)
{
    ReceptionTest t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_reception.moc"
