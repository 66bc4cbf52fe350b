#include "appstate.h"
#include "clock.h"
#include "frames.h"
#include "gps.h"
#include "linkstate.h"
#include "hexbytes.h"
#include "linkworld.h"
#include "settings.h"
#include "statusreply.h"

#include <QtTest>
#include <memory>
#include <cstring>

Q_DECLARE_METATYPE(std::optional<bool>)

namespace {
// A 16-byte reply: kind, sync, version 3.18, status, parameter, time.
QByteArray reply(quint8 kind, quint16 status, quint32 parameter, qint32 time)
{
    QByteArray b(16, '\0');
    b[0] = char(kind);
    b[1] = b[2] = b[3] = char(0xFF);
    b[4] = 3;
    b[5] = 18;
    qToLittleEndian<quint16>(status, b.data() + 6);
    qToLittleEndian<quint32>(parameter, b.data() + 8);
    qToLittleEndian<qint32>(time, b.data() + 12);
    return b;
}

quint32 floatBits(float f)
{
    quint32 u;
    std::memcpy(&u, &f, 4);
    return u;
}
} // namespace

class StatusTest : public QObject
{
    Q_OBJECT
private slots:
    void init() { w = std::make_unique<LinkWorld>(); }
    void cleanup() { w = std::make_unique<LinkWorld>(); }

    void decodeLiteralReply();
    void decodeAllFfVariant();
    void kindEffects_data();
    void kindEffects();
    void positionHemispheres();
    void stateLines_data();
    void stateLines();
    void recordStateEffects_data();
    void recordStateEffects();
    void zeroStatusWordIsReportedEachTime();
    void trackingReplyKeepsPointAndOffset();
    void gpsLabels_data();
    void gpsLabels();
    void timeWordSplit_data();
    void timeWordSplit();
    void localTime_data();
    void localTime();
    void clockCorrection_data();
    void clockCorrection();
    void clockRefusalLoggedOncePerChange();
    void infoLabel();

private:
    // A status reply handled on this test's records, as the window hands it over.
    StatusUpdate applyReply(const StatusReply &r)
    {
        return applyStatusReply(w->linkState, r, w->context());
    }

    std::unique_ptr<LinkWorld> w;
};

void StatusTest::decodeLiteralReply()
{
    const StatusReply r = decodeStatusReply(hex("05FFFFFF031250381000FD0058C70000"));
    QVERIFY(r.valid);
    QCOMPARE(r.kind, quint8(5));
    QCOMPARE(r.versionMajor, quint8(3));
    QCOMPARE(r.versionMinor, quint8(18));
    QCOMPARE(r.statusWord, quint16(0x3850));
    QCOMPARE(r.parameterWord, quint32(0x00FD0010));
    QCOMPARE(r.parameterLow16, qint16(16));
    QCOMPARE(r.pointIndex(), quint16(16));
    QCOMPARE(r.byte10, qint8(-3));
    QCOMPARE(r.timeWord, 51032);
    QVERIFY(!decodeStatusReply(hex("05FFFF00031250381000FD0058C70000")).valid);
    QVERIFY(!decodeStatusReply(hex("05FFFFFF031250381000FD0058C700")).valid);
}

void StatusTest::decodeAllFfVariant()
{
    const StatusReply r = decodeStatusReply(hex("FFFFFFFF0102003000000000" "58C70003"));
    QVERIFY(r.valid);
    QCOMPARE(r.kind, quint8(3));
    QCOMPARE(r.timeWord, 51032); // low 24 bits only
    QCOMPARE(r.statusWord, quint16(0x3000));
    QCOMPARE(quint8(r.bytes.at(15)), quint8(0));
}

void StatusTest::kindEffects_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<quint32>("parameter");
    QTest::addColumn<QString>("north");
    QTest::addColumn<QString>("parall");
    QTest::addColumn<QString>("azimuth");
    QTest::addColumn<int>("northSteps");
    QTest::newRow("north -9 steps") << 3 << 0x0000FFF7u << "-1.0125" << "" << "" << -9;
    QTest::newRow("north, 6 digits") << 3 << 12345u << "1388.81" << "" << "" << 12345;
    QTest::newRow("north, high bits ignored") << 3 << 0x12340009u << "1.0125" << "" << "" << 9;
    QTest::newRow("parallel 100 steps") << 4 << 100u << "" << "11.25" << "" << 0;
    QTest::newRow("azimuth 359.9") << 5 << 3599u << "" << "" << "359.9" << 0;
    QTest::newRow("azimuth -1") << 5 << 0xFFFFFFF6u << "" << "" << "-1" << 0;
    QTest::newRow("kind 0") << 0 << 3599u << "" << "" << "" << 0;
}

void StatusTest::kindEffects()
{
    QFETCH(int, kind);
    QFETCH(quint32, parameter);
    QFETCH(QString, north);
    QFETCH(QString, parall);
    QFETCH(QString, azimuth);
    QFETCH(int, northSteps);
    const KindEffect e =
        applyReplyKind(w->linkState, decodeStatusReply(reply(quint8(kind), 0, parameter, 0)));
    QCOMPARE(e.northCorrZ.value_or(QString()), north);
    QCOMPARE(e.parallCorrZ.value_or(QString()), parall);
    QCOMPARE(e.azimuth.value_or(QString()), azimuth);
    QCOMPARE(int(w->linkState.northCorrSteps), northSteps);
    QCOMPARE(e.parallCorrZ.has_value(), kind == 4);
}

void StatusTest::positionHemispheres()
{
    applyReplyKind(w->linkState, decodeStatusReply(reply(1, 0, floatBits(55.75f), 0)));
    applyReplyKind(w->linkState, decodeStatusReply(reply(2, 0, floatBits(-37.5f), 0)));
    QCOMPARE(w->linkState.latitude, 55.75f);
    QCOMPARE(w->linkState.latHemisphere, QStringLiteral(" N, "));
    QCOMPARE(w->linkState.lonHemisphere, QStringLiteral(" W"));
    applyReplyKind(w->linkState, decodeStatusReply(reply(1, 0, floatBits(0.0f), 0)));
    applyReplyKind(w->linkState, decodeStatusReply(reply(2, 0, floatBits(0.5f), 0)));
    QCOMPARE(w->linkState.latHemisphere, QStringLiteral(" S, "));
    QCOMPARE(w->linkState.lonHemisphere, QStringLiteral(" E"));
}

void StatusTest::stateLines_data()
{
    QTest::addColumn<int>("newWord");
    QTest::addColumn<int>("oldWord");
    QTest::addColumn<bool>("changed");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QStringList>("logs");
    QTest::addColumn<QString>("style");
    const QString red = QStringLiteral("color: Red"), black = QStringLiteral("color: Black");
    QTest::newRow("zero is a receive error") << 0 << 0 << true
        << "   Receive error.   " << QStringList() << red;
    QTest::newRow("loaded after error") << 0x0011 << 0x0001 << true
        << "   Receive error.  Track loaded.   " << QStringList() << red;
    QTest::newRow("finish before origins") << 0x80A0 << 0 << true
        << "   Finish. In Origin.  In true Origin.   "
        << QStringList{"finish", "in origin", "in true origin"} << black;
    QTest::newRow("every bit in order") << 0xCFFF << 0 << true
        << QString("  " " Receive error. " " Origin error. " " Step error. "
                   " To late. Track not started. " " Track loaded. " " Finish." " In Origin. "
                   " In true Origin. " " In start position " " Stopped by user "
                   " Going to origin " " Going to Start pos. " " Going to 180 grad "
                   " Tracking. " "  ")
        << QStringList{"origin error", "To late. Track aborted", "finish", "in origin",
                       "in true origin", "in start position", "tracking"}
        << red;
    QTest::newRow("tracking already on") << 0x0840 << 0x0800 << true
        << "   In start position   " << QStringList{"in start position"} << black;
    QTest::newRow("step error alone is red") << 0x0004 << 0 << true
        << "   Step error.   " << QStringList() << red;
    QTest::newRow("GPS bits alone") << 0x3010 << 0x0010 << false << "" << QStringList() << "";
    QTest::newRow("same word") << 0x0040 << 0x0040 << false << "" << QStringList() << "";
}

void StatusTest::stateLines()
{
    QFETCH(int, newWord);
    QFETCH(int, oldWord);
    QFETCH(bool, changed);
    QFETCH(QString, label);
    QFETCH(QStringList, logs);
    QFETCH(QString, style);
    const StateChange c = describeStateChange(quint16(newWord), quint16(oldWord));
    QCOMPARE(c.changed, changed);
    QCOMPARE(c.labelText, label);
    QCOMPARE(c.logLines, logs);
    QCOMPARE(c.style, style);
}

void StatusTest::recordStateEffects_data()
{
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("oldWord");
    QTest::addColumn<int>("newWord");
    QTest::addColumn<int>("after");
    QTest::addColumn<std::optional<bool>>("manual");
    QTest::addColumn<std::optional<bool>>("modes");
    const std::optional<bool> none;
    QTest::newRow("going to start") << 0 << 0x0010 << 0x0210 << 1 << none << none;
    QTest::newRow("going to start while recording") << 2 << 0x0010 << 0x0200 << 2 << none << none;
    QTest::newRow("true origin, then going to start") << 2 << 0 << 0x0280 << 1 << none << none;
    QTest::newRow("tracking on after noise") << 3 << 0x0040 << 0x0800 << 4
                                             << std::optional<bool>(true) << std::optional<bool>(false);
    QTest::newRow("tracking on too early") << 2 << 0x0040 << 0x0800 << 2
                                           << std::optional<bool>(true) << std::optional<bool>(false);
    QTest::newRow("finish ends tracking") << 5 << 0x0800 << 0x8000 << 0
                                          << std::optional<bool>(false) << std::optional<bool>(true);
    QTest::newRow("finish alone") << 0 << 0 << 0x8000 << 0 << std::optional<bool>(false) << none;
}

void StatusTest::recordStateEffects()
{
    QFETCH(int, before);
    QFETCH(int, oldWord);
    QFETCH(int, newWord);
    QFETCH(int, after);
    QFETCH(std::optional<bool>, manual);
    QFETCH(std::optional<bool>, modes);
    w->linkState.recordState = quint8(before);
    w->linkState.uploadRetry = -1;
    const StateChange c = describeStateChange(quint16(newWord), quint16(oldWord));
    QCOMPARE(c.manualButtonsEnabled, manual);
    QCOMPARE(c.modeBoxesEnabled, modes);
    applyStateChange(w->linkState, c);
    QCOMPARE(int(w->linkState.recordState), after);
    QCOMPARE(w->linkState.statusWord, quint16(newWord));
    QCOMPARE(w->linkState.uploadRetry, qint8((newWord & 0x8000) ? 0 : -1));
}

void StatusTest::zeroStatusWordIsReportedEachTime()
{
    w->linkState.linkLabelStale = false;
    StatusUpdate u = applyReply(decodeStatusReply(reply(0, 0, 0, 3600)));
    QVERIFY(u.change.changed);
    QCOMPARE(u.change.labelText, QStringLiteral("   Receive error.   "));
    QCOMPARE(u.gps.label.text, QStringLiteral(" GPS NOT valid "));
    QCOMPARE(u.gps.label.style, QStringLiteral("color: Red"));
    QCOMPARE(u.linkLabelText, QStringLiteral("Ver. 3.18  "));
    u = applyReply(decodeStatusReply(reply(0, 0, 0, 3600)));
    QVERIFY(u.change.changed);

    // A finish after recording writes the data file, without one it does not.
    w->linkState.lastDemodResult = 0;
    u = applyReply(decodeStatusReply(reply(0, 0x8000, 0, 3600)));
    QVERIFY(u.change.finish && !u.writeDataFile);
    w->linkState.lastDemodResult = 8;
    u = applyReply(decodeStatusReply(reply(0, 0x8020, 0, 3600)));
    QVERIFY(u.writeDataFile);
}

void StatusTest::trackingReplyKeepsPointAndOffset()
{
    QByteArray b = reply(0, 0x3800, 7, 3600);
    b[10] = char(0xFB);
    StatusUpdate u = applyReply(decodeStatusReply(b));
    QVERIFY(u.tracking);
    QCOMPARE(u.pointIndex, quint16(7));
    QCOMPARE(u.drawOffset, qint8(-5));
    QCOMPARE(w->linkState.byte10Offset, qint8(-5));
    QCOMPARE(w->linkState.pointIndex, quint16(7));
    QCOMPARE(u.change.logLines, QStringList{QStringLiteral("tracking")});
    // The next reply with only another point index is no state change.
    u = applyReply(decodeStatusReply(reply(0, 0x3800, 8, 3601)));
    QVERIFY(!u.change.changed);
    QVERIFY(!u.linkLabelChanged);
    QCOMPARE(w->linkState.pointIndex, quint16(8));
    QCOMPARE(w->linkState.byte10Offset, qint8(0));
}

void StatusTest::gpsLabels_data()
{
    QTest::addColumn<int>("word");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("style");
    QTest::newRow("ok") << 0x3010 << " GPS time ok " << "color: green";
    QTest::newRow("actual") << 0x2000 << " GPS time is actual " << "color: green";
    QTest::newRow("failed") << 0x1800 << " GPS time failed " << "color: Red";
    QTest::newRow("not valid") << 0x0001 << " GPS NOT valid " << "color: Red";
}

void StatusTest::gpsLabels()
{
    QFETCH(int, word);
    QFETCH(QString, text);
    QFETCH(QString, style);
    const GpsLabel l = gpsLabelFor(quint16(word));
    QCOMPARE(l.text, text);
    QCOMPARE(l.style, style);
}

void StatusTest::timeWordSplit_data()
{
    QTest::addColumn<int>("word");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QTime>("time");
    QTest::newRow("midnight") << 0 << true << QTime(0, 0, 0);
    QTest::newRow("1:01:01") << 3661 << true << QTime(1, 1, 1);
    QTest::newRow("13:05:09") << 47109 << true << QTime(13, 5, 9);
    QTest::newRow("last second") << 86399 << true << QTime(23, 59, 59);
    QTest::newRow("one day") << 86400 << false << QTime();
    QTest::newRow("negative") << -1 << false << QTime();
}

void StatusTest::timeWordSplit()
{
    QFETCH(int, word);
    QFETCH(bool, valid);
    QFETCH(QTime, time);
    const GpsTime t = splitTimeWord(word);
    QCOMPARE(t.valid, valid);
    if (valid)
        QCOMPARE(QTime(t.hours, t.minutes, t.seconds), time);
    else
        QVERIFY(localTimeText(t, 0).isEmpty());
}

void StatusTest::localTime_data()
{
    QTest::addColumn<int>("word");
    QTest::addColumn<int>("offset");
    QTest::addColumn<QString>("text");
    QTest::newRow("east wraps") << 81000 << 3 << "01:30:00";
    QTest::newRow("west wraps") << 7200 << -5 << "21:00:00";
    QTest::newRow("leading zeros") << 3661 << 0 << "01:01:01";
}

void StatusTest::localTime()
{
    QFETCH(int, word);
    QFETCH(int, offset);
    QFETCH(QString, text);
    QCOMPARE(localTimeText(splitTimeWord(word), qint16(offset)), text);
}

void StatusTest::clockCorrection_data()
{
    QTest::addColumn<QDateTime>("pc");
    QTest::addColumn<int>("word");
    QTest::addColumn<int>("gpsTime");
    QTest::addColumn<bool>("timeCorr");
    QTest::addColumn<bool>("set");
    QTest::addColumn<QDateTime>("after");
    QTest::addColumn<QString>("log");
    const auto at = [](int day, int h, int m, int s, int ms) {
        return QDateTime(QDate(2024, 3, day), QTime(h, m, s, ms), Qt::UTC);
    };
    QTest::newRow("milliseconds ignored") << at(1, 13, 5, 9, 700) << 0x3000 << 47109 << true << false
                                          << at(1, 13, 5, 9, 700) << QString();
    QTest::newRow("one second behind") << at(1, 13, 5, 8, 100) << 0x3000 << 47109 << true << true
                                       << at(1, 13, 5, 9, 100) << "PC clock corrected by +1 s";
    QTest::newRow("correction disabled") << at(1, 13, 5, 8, 100) << 0x3000 << 47109 << false << false
                                         << at(1, 13, 5, 8, 100) << QString();
    QTest::newRow("GPS only actual") << at(1, 10, 0, 0, 0) << 0x2000 << 47109 << true << false
                                     << at(1, 10, 0, 0, 0) << QString();
    QTest::newRow("hours differ") << at(1, 14, 5, 9, 5) << 0x3000 << 47109 << true << true
                                  << at(1, 13, 5, 9, 5) << "PC clock corrected by -3600 s";
    // Across midnight the date moves with the time of day.
    QTest::newRow("PC before midnight, GPS after") << at(1, 23, 59, 59, 950) << 0x3000 << 0 << true << true
                                                   << at(2, 0, 0, 0, 950) << "PC clock corrected by +1 s";
    QTest::newRow("PC after midnight, GPS before") << at(2, 0, 0, 0, 100) << 0x3000 << 86399 << true << true
                                                   << at(1, 23, 59, 59, 100) << "PC clock corrected by -1 s";
    QTest::newRow("PC ten seconds behind midnight") << at(1, 23, 59, 55, 0) << 0x3000 << 5 << true << true
                                                    << at(2, 0, 0, 5, 0) << "PC clock corrected by +10 s";
}

void StatusTest::clockCorrection()
{
    QFETCH(QDateTime, pc);
    QFETCH(int, word);
    QFETCH(int, gpsTime);
    QFETCH(bool, timeCorr);
    QFETCH(bool, set);
    QFETCH(QDateTime, after);
    QFETCH(QString, log);
    FakeClock clock(pc);
    platform::setClock(&clock);
    w->StationSettings.TimeCorr = timeCorr ? 1 : 0;
    w->linkState.linkWatchdog = 3;
    const StatusUpdate u = applyReply(decodeStatusReply(reply(0, quint16(word), 0, gpsTime)));
    QCOMPARE(u.gps.clockSet, set);
    QCOMPARE(clock.setCalls(), set ? 1 : 0);
    QCOMPARE(clock.nowUtc(), after);
    QCOMPARE(u.gps.clockLogLine, log);
}

void StatusTest::clockRefusalLoggedOncePerChange()
{
    FakeClock clock(QDateTime(QDate(2024, 3, 1), QTime(13, 5, 8), Qt::UTC));
    platform::setClock(&clock);
    w->StationSettings.TimeCorr = 1;
    w->linkState.linkWatchdog = 3;
    const auto replyAt = [&](qint32 gpsTime) {
        clock.advanceMs(1000);
        return applyReply(decodeStatusReply(reply(0, 0x3000, 0, gpsTime))).gps.clockLogLine;
    };
    clock.refuseWith(QStringLiteral("Operation not permitted"));
    QCOMPARE(replyAt(47200), QStringLiteral("PC clock not set: Operation not permitted"));
    QCOMPARE(replyAt(47201), QString()); // tried again, not logged again
    QCOMPARE(replyAt(47202), QString());
    QCOMPARE(clock.setCalls(), 3);
    clock.refuseWith(QStringLiteral("Invalid argument"));
    QCOMPARE(replyAt(47203), QStringLiteral("PC clock not set: Invalid argument"));
    clock.refuseWith(QString());
    QCOMPARE(replyAt(47204), QStringLiteral("PC clock corrected by +91 s"));
    QCOMPARE(replyAt(47205), QString()); // in step now
    clock.refuseWith(QStringLiteral("Operation not permitted"));
    QCOMPARE(replyAt(47300), QStringLiteral("PC clock not set: Operation not permitted"));
}

void StatusTest::infoLabel()
{
    w->utcOffsetHours = 3;
    w->serviceMode = true;
    applyReply(decodeStatusReply(reply(1, 0x3000, floatBits(55.75f), 81000)));
    StatusUpdate u = applyReply(decodeStatusReply(reply(2, 0x3000, floatBits(37.6f), 81000)));
    QCOMPARE(u.gps.infoText, QStringLiteral("    01:30:00   55.75000 N, 37.60000 E  "));
    QCOMPARE(u.vexa41Text, QStringLiteral("Status=3000"));

    // Track loaded: the countdown, unless an error bit is set or the upload
    // was a single point.
    u = applyReply(decodeStatusReply(reply(0, 0x3010, 42, 81000)));
    QCOMPARE(u.gps.infoText, QStringLiteral("    01:30:00   Start in 42 sec  "));
    u = applyReply(decodeStatusReply(reply(0, 0x3012, 42, 81000)));
    QCOMPARE(u.gps.infoText, QStringLiteral("    01:30:00  "));
    w->link.sendUploadFrame(buildUploadFrame(0, 0, UploadSinglePoint, 1.0f, {1.0f}, {1.0f}));
    u = applyReply(decodeStatusReply(reply(0, 0x3010, 42, 81000)));
    QCOMPARE(u.gps.infoText, QStringLiteral("    01:30:00  "));

    w->serviceMode = false; // operator mode: no position, no status text
    u = applyReply(decodeStatusReply(reply(1, 0x3000, floatBits(55.75f), 90000)));
    QCOMPARE(u.gps.infoText, QStringLiteral("      ")); // time word rejected
    QVERIFY(u.vexa41Text.isEmpty());
}

int runStatusTest(int argc, char **argv)
{
    StatusTest t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_status.moc"
