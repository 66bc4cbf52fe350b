// Link supervision of the console in operator mode, against the stand-in's
// fault switches: a port that is not there yet, a controller that falls
// silent, a port that vanishes and comes back, a burst of noise, and a
// controller that restarts between upload and start. A pass far ahead waits
// in the track folder from the start, so the first upload finds no port.
#include "stationprocess.h"

using e2e::LogEntry;

namespace {

qint64 msOf(const QJsonObject &o)
{
    return QDateTime::fromString(o.value(QStringLiteral("t")).toString(), Qt::ISODateWithMs).toMSecsSinceEpoch();
}

QString clock(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(QStringLiteral("hh:mm:ss.zzz"));
}

// A pass of 20 reachable points starting at startUtc.
QByteArray trackFile(const QDateTime &startUtc)
{
    QByteArray text = "Satellite: LINKSAT\nStart date & time: "
                      + startUtc.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")).toLatin1()
                      + " UTC\nOrbit: 7\n\n Time       Azim     Elev\n\n";
    for (int i = 0; i < 20; ++i)
        text += QString::asprintf("00:00:00   %3d 00    80 00\n", 100 + i).toLatin1();
    return text;
}

} // namespace

class TestLink : public QObject
{
    Q_OBJECT

    e2e::StationRun m_run;

    int logged(const QString &message) const { return m_run.logged(message); }
    // The i-th (from 1) entry with this message.
    LogEntry entry(const QString &message, int nth) const
    {
        for (const LogEntry &e : m_run.log())
            if (e.message == message && --nth == 0)
                return e;
        return {};
    }
    int indexOf(const QString &message, int nth) const
    {
        const QList<LogEntry> all = m_run.log();
        for (int i = 0; i < all.size(); ++i)
            if (all[i].message == message && --nth == 0)
                return i;
        return -1;
    }
    QList<QJsonObject> transcript(const char *dir, const char *kind) const
    {
        return e2e::ofKind(m_run.transcript(), dir, kind);
    }
    // Time of the console's first status request (code 11) after `afterMs`, or 0.
    qint64 statusRequestAfter(qint64 afterMs) const
    {
        for (const QJsonObject &o : transcript("rx", "command"))
            if (o.value(QStringLiteral("code")).toInt() == 11 && msOf(o) > afterMs)
                return msOf(o);
        return 0;
    }
    qint64 lastStatusBefore(qint64 ms) const
    {
        qint64 last = 0;
        for (const QJsonObject &o : transcript("tx", "status"))
            if (msOf(o) < ms)
                last = msOf(o);
        return last;
    }
    qint64 faultAt(const QString &fault) const
    {
        qint64 at = 0;
        for (const QJsonObject &o : transcript("sim", "fault"))
            if (o.value(QStringLiteral("fault")).toString() == fault)
                at = msOf(o);
        return at;
    }
    // When the stand-in linked its port again after `afterMs`, or 0.
    qint64 portBackAfter(qint64 afterMs) const
    {
        for (const QJsonObject &o : transcript("sim", "port"))
            if (o.contains(QStringLiteral("link")) && msOf(o) > afterMs)
                return msOf(o);
        return 0;
    }

    // One control command on the stand-in's standard input; it answers "ok ...".
    void command(const QByteArray &line)
    {
        const int from = m_run.simOut().size();
        QCOMPARE(m_run.sim().write(line + '\n'), qint64(line.size() + 1));
        const QByteArray answer = "\nok " + line.split(' ').first();
        QTRY_VERIFY_WITH_TIMEOUT(m_run.simOut().indexOf(answer, qMax(0, from - 1)) >= 0, 5000);
    }

private slots:
    void initTestCase();
    void absentPortLoggedOnce();
    void portAppearsAndLinkComesUp();
    void silenceDropsTheLinkOnce();
    void vanishedPortIsReopened();
    void garbageIsShrugged();
    void shortPortDropRecovers();
    void controllerRestartGetsThePassAgain();
    void consoleEndsCleanly();
    void cleanup();
    void cleanupTestCase();
};

void TestLink::initTestCase()
{
    E2E_STEP(m_run.prepare(e2e::stationIni(4, true, false)));
    // Far enough ahead that the stand-in never starts it during this test.
    QFile track(m_run.path(QStringLiteral("track/Track.txt")));
    QVERIFY(track.open(QIODevice::WriteOnly));
    track.write(trackFile(QDateTime::currentDateTimeUtc().addSecs(1200)));
    track.close();
    E2E_STEP(m_run.startConsole());
    m_run.setUpDone();
}

void TestLink::absentPortLoggedOnce()
{
    QTRY_VERIFY_WITH_TIMEOUT(logged(QStringLiteral("port absent")) >= 1, 10000);
    // The port is tried every second; only the change is reported.
    QTest::qWait(3000);
    QCOMPARE(logged(QStringLiteral("port absent")), 1);
    QCOMPARE(logged(QStringLiteral("port opened ok")), 0);
    QCOMPARE(m_run.console().state(), QProcess::Running);

    // The pass was loaded, but with no port nothing went out: said once, not
    // claimed as sent, not "repeated".
    QTRY_COMPARE_WITH_TIMEOUT(logged(QStringLiteral("track not sent: port not open")), 1, 10000);
    QTest::qWait(4000);
    QCOMPARE(logged(QStringLiteral("track not sent: port not open")), 1);
    QCOMPARE(logged(QStringLiteral("track sent")), 0);
    QCOMPARE(logged(QStringLiteral("track upload failed, sent again")), 0);
}

void TestLink::portAppearsAndLinkComesUp()
{
    const QStringList args = {QStringLiteral("--port-dir"), m_run.path(QStringLiteral("ports")), QStringLiteral("--port"), QStringLiteral("4"),
                              QStringLiteral("--demod-port"), QStringLiteral("6002"),
                              QStringLiteral("--transcript"), m_run.path(QStringLiteral("sim.jsonl"))};
    E2E_STEP(m_run.startSim(args));
    const qint64 started = QDateTime::currentMSecsSinceEpoch();

    QTRY_COMPARE_WITH_TIMEOUT(logged(QStringLiteral("port opened ok")), 1, 10000);
    // The first reply revives the link and the console asks for the full status.
    QTRY_VERIFY_WITH_TIMEOUT(statusRequestAfter(started - 1000) != 0, 10000);
    QCOMPARE(logged(QStringLiteral("port absent")), 1);
    QCOMPARE(logged(QStringLiteral("port opened ok")), 1);
    QCOMPARE(logged(QStringLiteral("Disconnected")), 0);

    // The waiting pass goes out once the controller reports itself idle.
    QTRY_COMPARE_WITH_TIMEOUT(logged(QStringLiteral("received ok")), 1, 10000);
    QCOMPARE(logged(QStringLiteral("track sent")), 1);
    const QList<QJsonObject> uploads = transcript("rx", "upload");
    QCOMPARE(uploads.size(), 1);
    QVERIFY(uploads.first().value(QStringLiteral("accepted")).toBool());
}

void TestLink::silenceDropsTheLinkOnce()
{
    command("silent 6");
    const qint64 fault = faultAt(QStringLiteral("silent"));
    QVERIFY(fault != 0);

    QTRY_COMPARE_WITH_TIMEOUT(logged(QStringLiteral("Disconnected")), 1, 10000);
    // Three once-per-second steps without a reception: about 2.1 s after the
    // last reply, judged by the console's own log stamp (whole seconds), not
    // by when this side happened to look.
    const qint64 last = lastStatusBefore(fault);
    QVERIFY(last != 0);
    const QString times = QStringLiteral("last reply %1, fault %2").arg(clock(last), clock(fault));
    const qint64 stamped = entry(QStringLiteral("Disconnected"), 1).at.toMSecsSinceEpoch();
    QVERIFY2(stamped + 1000 > last + 1500 && stamped <= last + 3500,
             qPrintable(times + QStringLiteral(", stamped ") + clock(stamped)));

    // The replies resume after 6 s; the first one makes the console ask for the status.
    QTRY_VERIFY_WITH_TIMEOUT(statusRequestAfter(fault) != 0, 12000);
    QVERIFY2(statusRequestAfter(fault) >= fault + 5950, qPrintable(clock(statusRequestAfter(fault))));
    const qint64 back = statusRequestAfter(fault);
    QTRY_VERIFY_WITH_TIMEOUT(lastStatusBefore(QDateTime::currentMSecsSinceEpoch()) > back, 5000);

    // The link holds again: nothing more to report.
    QTest::qWait(4000);
    QCOMPARE(logged(QStringLiteral("Disconnected")), 1);
    QCOMPARE(logged(QStringLiteral("port absent")), 1);
    QCOMPARE(logged(QStringLiteral("port opened ok")), 1);
}

void TestLink::vanishedPortIsReopened()
{
    // Gone for 5 s from anywhere in a second after a reply: the console's
    // first port check after the link times out (about 3.1 s after that
    // reply) falls into the time without a port, whenever the drop came.
    command("drop-port 5");
    const qint64 fault = faultAt(QStringLiteral("drop-port"));
    QVERIFY(fault != 0);

    const qint64 last = lastStatusBefore(fault);
    qInfo("port dropped %lld ms after the last reply", fault - last);
    QTRY_VERIFY_WITH_TIMEOUT(portBackAfter(fault) != 0, 12000);
    const qint64 back = portBackAfter(fault);
    const QString times = QStringLiteral("last reply %1, dropped %2, back %3").arg(clock(last), clock(fault), clock(back));
    QTRY_VERIFY2_WITH_TIMEOUT(logged(QStringLiteral("port absent")) == 2, qPrintable(times), 10000);
    QTRY_VERIFY2_WITH_TIMEOUT(logged(QStringLiteral("port opened ok")) == 2, qPrintable(times), 10000);
    QTRY_VERIFY2_WITH_TIMEOUT(statusRequestAfter(back) != 0, qPrintable(times), 10000);

    // Silence first, then the missing port, then the port again.
    QCOMPARE(logged(QStringLiteral("Disconnected")), 2);
    const int lost = indexOf(QStringLiteral("Disconnected"), 2);
    const int absent = indexOf(QStringLiteral("port absent"), 2);
    const int opened = indexOf(QStringLiteral("port opened ok"), 2);
    QVERIFY2(lost < absent && absent < opened, qPrintable(QStringLiteral("%1 %2 %3").arg(lost).arg(absent).arg(opened)));

    QTest::qWait(4000);
    QCOMPARE(logged(QStringLiteral("port absent")), 2);
    QCOMPARE(logged(QStringLiteral("port opened ok")), 2);
    QCOMPARE(logged(QStringLiteral("Disconnected")), 2);
}

void TestLink::garbageIsShrugged()
{
    command("garbage 40");
    // The stand-in answers the command at once but sends the bytes only after
    // the silence that follows its last transmission.
    QTRY_COMPARE_WITH_TIMEOUT(transcript("tx", "garbage").size(), 1, 5000);
    const QList<QJsonObject> sent = transcript("tx", "garbage");
    const qint64 at = msOf(sent.first());
    // More than a reply's worth of bytes is an overrun: dropped, and the status asked for.
    QTRY_VERIFY_WITH_TIMEOUT(statusRequestAfter(at) != 0, 5000);
    QTest::qWait(4000);
    QCOMPARE(m_run.console().state(), QProcess::Running);
    QCOMPARE(logged(QStringLiteral("Disconnected")), 2);
    QCOMPARE(logged(QStringLiteral("port absent")), 2);
}

void TestLink::shortPortDropRecovers()
{
    // A port gone for one second, at most a second after a reply: by the time
    // the console looks for it again (about 3.1 s after that reply) it is
    // back, behind a new terminal.
    command("drop-port 1");
    const qint64 fault = faultAt(QStringLiteral("drop-port"));
    QTRY_VERIFY_WITH_TIMEOUT(portBackAfter(fault) != 0, 5000);
    const qint64 back = portBackAfter(fault);
    QTRY_VERIFY_WITH_TIMEOUT(statusRequestAfter(back) != 0, 10000);
}

void TestLink::controllerRestartGetsThePassAgain()
{
    // Silence and port drops above left the pass on the controller: nothing resent.
    QCOMPARE(logged(QStringLiteral("track lost by the controller, sent again")), 0);
    QCOMPARE(transcript("rx", "upload").size(), 1);
    const QString again = QStringLiteral("track lost by the controller, sent again");

    // A restart while the link holds: idle, without the track-loaded bit.
    command("reset");
    QTRY_COMPARE_WITH_TIMEOUT(logged(again), 1, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(logged(QStringLiteral("received ok")), 2, 10000);

    // A restart behind a lost link: sent once the link is back.
    const int lostBefore = logged(QStringLiteral("Disconnected"));
    command("drop-port 3");
    command("reset");
    QTRY_COMPARE_WITH_TIMEOUT(logged(again), 2, 20000);
    QTRY_COMPARE_WITH_TIMEOUT(logged(QStringLiteral("received ok")), 3, 10000);
    const int lost = indexOf(QStringLiteral("Disconnected"), lostBefore + 1);
    QVERIFY2(indexOf(again, 1) < lost && lost < indexOf(again, 2), qPrintable(QString::number(lost)));

    const QList<QJsonObject> uploads = transcript("rx", "upload");
    QCOMPARE(uploads.size(), 3);
    for (const QJsonObject &u : uploads)
        QVERIFY(u.value(QStringLiteral("accepted")).toBool());
    QTest::qWait(3000);
    QCOMPARE(logged(again), 2);
    QCOMPARE(logged(QStringLiteral("track sent")), 1);
}

void TestLink::consoleEndsCleanly()
{
    E2E_STEP(m_run.endConsole());
    m_run.endSim();
}

void TestLink::cleanup()
{
    m_run.noteResult();
}

void TestLink::cleanupTestCase()
{
    m_run.tearDown();
}

QTEST_GUILESS_MAIN(TestLink)
#include "tst_link.moc"
