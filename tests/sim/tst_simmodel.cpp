#include "beammodel.h"
#include "controlcommand.h"
#include "controllercore.h"
#include "trackwriter.h"

#include <QtTest>
#include <cstring>
#include <cmath>

using namespace sim;

namespace {

// 10:00:00.000 UTC on some day.
const qint64 T0 = QDateTime(QDate(2024, 5, 12), QTime(10, 0), Qt::UTC).toMSecsSinceEpoch();

simframes::UploadTable passTable(qint32 startSecondOfDay, int points, quint16 mode = 0)
{
    simframes::UploadTable t;
    t.startSecondOfDay = startSecondOfDay;
    t.uploadMode = mode;
    t.radius = 500.0f;
    for (int i = 0; i < points; ++i) {
        t.radii.append(200.0f + i);
        t.angles.append(1.0f + 0.01f * i);
    }
    return t;
}

CoreConfig config()
{
    CoreConfig c;
    c.startLeadMs = 20000;
    c.travelMs = 3000;
    c.finishHoldMs = 3000;
    c.ownOffsetAmplitude = 0;
    return c;
}

} // namespace

class TestSimModel : public QObject
{
    Q_OBJECT
private slots:
    void passTimeline_data();
    void passTimeline();
    void trackingReplyCarriesIndexAndOwnOffset();
    void lateAndDayBoundaryStarts_data();
    void lateAndDayBoundaryStarts();
    void singlePointGoesAtOnce();
    void commands_data();
    void commands();
    void storedCorrectionsInReplyKinds();
    void receiveErrorStaysUntilGoodFrame();
    void ownOffsetIsSmallAndVaries();
    void acrossNormalMatchesChordFormula_data();
    void acrossNormalMatchesChordFormula();
    void feedStaysWithinReach();
    void beamFallsOffWithError();
    void generatedPassMatchesConsoleTable();
    void trackFileColumns();
    void trackFilePassIsReachable();
    void controlCommands_data();
    void controlCommands();
    void scheduledFaults();
    void pointingErrorTerms_data();
    void pointingErrorTerms();
    void passesVaryInApproach();
};

void TestSimModel::passTimeline_data()
{
    QTest::addColumn<qint64>("offsetMs");
    QTest::addColumn<int>("statusWord");
    QTest::addColumn<int>("param"); // countdown or point index, -1: not in a pass

    // Upload at T0, start 60 s later, 5 points.
    QTest::newRow("loaded, waiting") << qint64(100) << 0x3010 << 60;
    QTest::newRow("just before going") << qint64(39999) << 0x3010 << 21;
    QTest::newRow("going to start") << qint64(40000) << 0x3210 << 20;
    QTest::newRow("still going") << qint64(42999) << 0x3210 << 18;
    QTest::newRow("in start position") << qint64(43000) << 0x3050 << 17;
    QTest::newRow("last second of countdown") << qint64(59001) << 0x3050 << 1;
    QTest::newRow("first point") << qint64(60000) << 0x3800 << 0;
    QTest::newRow("second point") << qint64(61000) << 0x3800 << 1;
    QTest::newRow("last point") << qint64(64999) << 0x3800 << 4;
    QTest::newRow("finish") << qint64(65000) << 0xB000 << -1;
    QTest::newRow("finish held") << qint64(67999) << 0xB000 << -1;
    QTest::newRow("idle again") << qint64(68000) << 0x3000 << -1;
}

void TestSimModel::passTimeline()
{
    QFETCH(qint64, offsetMs);
    QFETCH(int, statusWord);
    QFETCH(int, param);
    ControllerCore core(config());
    QCOMPARE(core.acceptUpload(passTable(36000 + 60, 5), T0), ControllerCore::UploadResult::Accepted);
    ControllerCore probe = core;
    const Snapshot s = core.at(T0 + offsetMs);
    QCOMPARE(s.statusWord, quint16(statusWord));
    const simframes::StatusReply r = probe.reply(T0 + offsetMs);
    QCOMPARE(r.statusWord, quint16(statusWord));
    QCOMPARE(r.timeWord, qint32(36000 + offsetMs / 1000));
    if (param >= 0) {
        QCOMPARE(int(r.kind), 0);
        QCOMPARE(int(r.param & 0xFFFF), param);
    } else {
        QVERIFY(r.kind >= 1 && r.kind <= 5);
    }
}

void TestSimModel::trackingReplyCarriesIndexAndOwnOffset()
{
    CoreConfig c = config();
    c.ownOffsetAmplitude = 4;
    ControllerCore core(c);
    core.acceptUpload(passTable(36000 + 30, 40), T0);
    for (int k : {0, 3, 6, 17, 39}) {
        const simframes::StatusReply r = core.reply(T0 + 30000 + 1000 * k + 10);
        const QByteArray bytes = simframes::buildStatusReply(r);
        QCOMPARE(int(quint8(bytes[8]) | (quint8(bytes[9]) << 8)), k);
        QCOMPARE(qint8(bytes[10]), core.ownOffset(k));
        QCOMPARE(int(bytes[0]), 0);
    }
}

void TestSimModel::lateAndDayBoundaryStarts_data()
{
    QTest::addColumn<qint64>("uploadAt");
    QTest::addColumn<qint32>("startSecondOfDay");
    QTest::addColumn<bool>("tooLate");
    QTest::addColumn<qint32>("countdown");

    const qint64 lateEvening = QDateTime(QDate(2024, 5, 12), QTime(23, 59, 50), Qt::UTC).toMSecsSinceEpoch();
    QTest::newRow("start is now") << T0 << qint32(36000) << true << 0;
    QTest::newRow("start a second ago") << T0 << qint32(35999) << true << 0;
    QTest::newRow("negative start") << T0 << qint32(-8940) << true << 0;
    QTest::newRow("one second ahead") << T0 << qint32(36001) << false << 1;
    QTest::newRow("after midnight") << lateEvening << qint32(86400 + 10) << false << 20;
    QTest::newRow("tomorrow same time") << T0 << qint32(36000 + 86400) << false << 86400;
}

void TestSimModel::lateAndDayBoundaryStarts()
{
    QFETCH(qint64, uploadAt);
    QFETCH(qint32, startSecondOfDay);
    QFETCH(bool, tooLate);
    QFETCH(qint32, countdown);
    ControllerCore core(config());
    const auto result = core.acceptUpload(passTable(startSecondOfDay, 3), uploadAt);
    QCOMPARE(result == ControllerCore::UploadResult::TooLate, tooLate);
    const Snapshot s = core.at(uploadAt);
    QCOMPARE(bool(s.statusWord & TooLate), tooLate);
    QCOMPARE(bool(s.statusWord & TrackLoaded), !tooLate);
    QCOMPARE(s.countdown, countdown);
}

void TestSimModel::singlePointGoesAtOnce()
{
    ControllerCore core(config());
    core.acceptUpload(passTable(36000 + 60, 1, 2), T0);
    QCOMPARE(core.at(T0).statusWord, quint16(0x3210));
    QCOMPARE(core.at(T0 + 3000).statusWord, quint16(0x3050));
    QCOMPARE(core.at(T0 + 60000).statusWord, quint16(0x3800)); // one point, like a pass
    QCOMPARE(core.at(T0 + 61000).statusWord, quint16(0xB000));
}

void TestSimModel::commands_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("moving");
    QTest::addColumn<int>("arrived");
    QTest::newRow("go to origin") << 1 << 0x3100 << 0x3020;
    QTest::newRow("corrected origin") << 2 << 0x3100 << 0x3080;
    QTest::newRow("cancel") << 6 << 0x7000 << 0x7000;
    QTest::newRow("flip to 180") << 7 << 0x3400 << 0x3000;
}

void TestSimModel::commands()
{
    QFETCH(int, code);
    QFETCH(int, moving);
    QFETCH(int, arrived);
    ControllerCore core(config());
    core.acceptUpload(passTable(36000 + 10, 20), T0);
    // During the pass: every one of these ends it.
    const qint64 at = T0 + 12000;
    QVERIFY(core.at(at).tracking);
    core.command(code, 0, at);
    QCOMPARE(core.at(at + 10).statusWord, quint16(moving));
    QCOMPARE(core.at(at + 2999).statusWord, quint16(moving));
    QCOMPARE(core.at(at + 3000).statusWord, quint16(arrived));
    QVERIFY(!core.at(at + 3000).tracking);
    QVERIFY(!core.hasPass());
}

void TestSimModel::storedCorrectionsInReplyKinds()
{
    ControllerCore core(config());
    core.command(3, 5, T0);
    core.command(3, -9, T0);
    core.command(4, 12, T0);
    core.command(5, 1234, T0);
    core.command(5, 9999, T0); // "No change"
    QMap<int, quint32> byKind;
    for (int i = 0; i < 5; ++i) {
        const simframes::StatusReply r = core.reply(T0 + 1000 * i);
        byKind.insert(r.kind, r.param);
    }
    QCOMPARE(byKind.keys(), (QList<int>{1, 2, 3, 4, 5}));
    QCOMPARE(qint16(byKind[3] & 0xFFFF), qint16(-4));
    QCOMPARE(qint16(byKind[4] & 0xFFFF), qint16(12));
    QCOMPARE(qint16(byKind[5] & 0xFFFF), qint16(1234));
    float lat;
    std::memcpy(&lat, &byKind[1], 4);
    QCOMPARE(lat, config().latitude);
}

void TestSimModel::receiveErrorStaysUntilGoodFrame()
{
    ControllerCore core(config());
    core.receiveFailed();
    QCOMPARE(core.at(T0).statusWord, quint16(0x3001));
    core.command(11, 0, T0); // a status request clears nothing
    QCOMPARE(core.at(T0 + 5000).statusWord, quint16(0x3001));
    core.acceptUpload(passTable(36000 + 100, 3), T0 + 5000);
    QCOMPARE(core.at(T0 + 5000).statusWord, quint16(0x3010));

    core.config().gpsBits = 0x1000;
    QCOMPARE(core.at(T0 + 5000).statusWord, quint16(0x1010));
}

void TestSimModel::ownOffsetIsSmallAndVaries()
{
    CoreConfig c = config();
    c.ownOffsetAmplitude = 3;
    ControllerCore core(c);
    QSet<int> seen;
    for (int k = 0; k < 48; ++k) {
        const int v = core.ownOffset(k);
        QVERIFY(v >= -3 && v <= 3);
        if (k > 0)
            QVERIFY(std::abs(v - core.ownOffset(k - 1)) <= 1); // slowly
        seen.insert(v);
    }
    QVERIFY(seen.contains(3) && seen.contains(-3));
    c.ownOffsetAmplitude = 0;
    ControllerCore quiet(c);
    QCOMPARE(int(quiet.ownOffset(6)), 0);
}

void TestSimModel::acrossNormalMatchesChordFormula_data()
{
    QTest::addColumn<QPointF>("a");
    QTest::addColumn<QPointF>("b");
    QTest::newRow("horizontal") << QPointF(0, 0) << QPointF(10, 0);
    QTest::newRow("vertical") << QPointF(0, 0) << QPointF(0, 10);
    QTest::newRow("diagonal") << QPointF(10, 10) << QPointF(0, 0);
    QTest::newRow("falling") << QPointF(-120, 40) << QPointF(-100, 90);
    QTest::newRow("third quadrant") << QPointF(-200, -150) << QPointF(-190, -160);
}

void TestSimModel::acrossNormalMatchesChordFormula()
{
    QFETCH(QPointF, a);
    QFETCH(QPointF, b);
    // The console's form: theta = atan(-(yA - yB) / (xA - xB)), normal (sin, cos).
    const double theta = std::atan(-(a.y() - b.y()) / (a.x() - b.x()));
    const QPointF n = beam::acrossNormal(a, b);
    QVERIFY(std::abs(n.x() - std::sin(theta)) < 1e-9);
    QVERIFY(std::abs(n.y() - std::cos(theta)) < 1e-9);
    QCOMPARE(beam::acrossNormal(a, a), QPointF(0, 0));
}

void TestSimModel::feedStaysWithinReach()
{
    const beam::TablePath path({490.0f, 495.0f, 498.0f}, {0.0f, 0.02f, 0.04f}, 500.0);
    const QPointF p = path.point(1);
    const QPointF moved = path.feedAt(1, 3.0, 0.0);
    QVERIFY(std::abs(std::hypot(moved.x() - p.x(), moved.y() - p.y()) - 3.0) < 1e-6);
    const QPointF far = path.feedAt(2, 0.0, 40.0);
    QVERIFY(std::hypot(far.x(), far.y()) <= 500.0 + 1e-9);
    const QPointF farOut = path.feedAt(1, 0.0, -40.0) ;
    QVERIFY(std::hypot(farOut.x(), farOut.y()) <= 500.0 + 1e-9);
}

void TestSimModel::beamFallsOffWithError()
{
    beam::Params params;
    params.noiseFloorDb = 20.0;
    params.peakSnrDb = 25.0;
    params.halfPowerWidthMm = 30.0;
    params.jitterDb = 0.0;
    const beam::Model model(params);
    QCOMPARE(model.gain(0.0), 1.0);
    QVERIFY(std::abs(model.gain(15.0) - 0.5) < 1e-12);
    QCOMPARE(model.gain(-1.0), 0.0);
    double last = model.powerDb(0.0);
    QVERIFY(std::abs(last - (20.0 + 10.0 * std::log10(1.0 + std::pow(10.0, 2.5)))) < 1e-9);
    for (double e = 1.0; e < 80.0; e += 1.0) {
        QVERIFY(model.powerDb(e) < last);
        last = model.powerDb(e);
    }
    std::mt19937 rng(7);
    QCOMPARE(model.sample(-1.0, rng).powerTenths, 200); // noise floor, tenths of a dB
    QCOMPARE(model.sample(-1.0, rng).snrTenths, 0);
    QCOMPARE(model.sample(0.0, rng).snrTenths, qint32(std::lround(model.snrDb(0.0) * 10)));
}

void TestSimModel::generatedPassMatchesConsoleTable()
{
    trackwriter::PassShape shape;
    shape.points = 30;
    shape.headingDeg = 130.0;
    const trackwriter::Pass pass = trackwriter::makePass(QStringLiteral("S"), QStringLiteral("1"),
                                                         QDateTime::currentDateTimeUtc(), shape);
    // The console's table, read from the file text by its columns.
    const QList<QByteArray> lines = trackwriter::trackFileText(pass).split('\n');
    QVector<float> radii, angles;
    for (int i = 6; i < 6 + pass.size(); ++i) {
        const double az = lines[i].mid(11, 3).trimmed().toInt() + lines[i].mid(15, 2).toInt() / 60.0;
        const double el = lines[i].mid(20, 3).trimmed().toInt() + lines[i].mid(24, 2).toInt() / 60.0;
        double fi = az * 0.017453292519943295 + M_PI;
        if (fi > 2 * M_PI)
            fi -= 2 * M_PI;
        radii.append(float(1400.0 / std::tan(el * 0.017453292519943295)));
        angles.append(float(fi));
    }
    const beam::TablePath table(radii, angles, 500.0);
    const beam::TablePath truth = trackwriter::feedPath(pass, 1400.0);
    QCOMPARE(truth.size(), table.size());
    for (int k = 0; k < table.size(); ++k) {
        const QPointF image = beam::trueImage(truth, k, 4.0, 0.0);
        // The feed finds the satellite 4 mm across the table, and nowhere else.
        QVERIFY2(beam::pointingError(table, k, 4.0, 0.0, image) < 0.01, qPrintable(QString::number(k)));
        QVERIFY(std::abs(beam::pointingError(table, k, 14.0, 0.0, image) - 10.0) < 0.01);
        QVERIFY(std::abs(beam::pointingError(table, k, -6.0, 0.0, image) - 10.0) < 0.01);
        QVERIFY(std::abs(beam::pointingError(table, k, 4.0, 3.0, image) - 3.0) < 0.01);
    }
}

void TestSimModel::trackFileColumns()
{
    const QDateTime start(QDate(2024, 5, 12), QTime(23, 59, 58), Qt::UTC);
    trackwriter::PassShape shape;
    shape.points = 7;
    const trackwriter::Pass pass = trackwriter::makePass(QStringLiteral("SIM-1"), QStringLiteral("4711"), start, shape);
    const QByteArray text = trackwriter::trackFileText(pass);
    QVERIFY(text.endsWith("\n"));
    QVERIFY(!text.endsWith("\n\n"));
    const QList<QByteArray> lines = text.split('\n');
    QCOMPARE(lines.size(), 6 + 7 + 1); // the empty last line ends the point list
    QVERIFY(lines.last().isEmpty());
    QCOMPARE(lines[0], QByteArray("Satellite: SIM-1"));
    QCOMPARE(lines[1], QByteArray("Start date & time: 2024-05-12 23:59:58 UTC"));
    QCOMPARE(lines[2], QByteArray("Orbit: 4711"));
    // The console reads the fields by position.
    const int utc = lines[1].indexOf("UTC");
    QCOMPARE(lines[1].mid(utc - 9, 2), QByteArray("23"));
    QCOMPARE(lines[1].mid(utc - 3, 2), QByteArray("58"));
    for (int i = 0; i < 7; ++i) {
        const QByteArray &l = lines[6 + i];
        QCOMPARE(l.mid(11, 3).trimmed().toInt() * 60 + l.mid(15, 2).toInt(), pass.azimuthMinutes[i]);
        QCOMPARE(l.mid(20, 3).trimmed().toInt() * 60 + l.mid(24, 2).toInt(), pass.elevationMinutes[i]);
        QVERIFY(l.mid(15, 2).toInt() < 60 && l.mid(24, 2).toInt() < 60);
    }
    QVERIFY(lines[6 + 2].startsWith("00:00:00")); // seconds run on over midnight
}

void TestSimModel::trackFilePassIsReachable()
{
    trackwriter::PassShape shape;
    shape.points = 40;
    shape.minElevationDeg = 75.0;
    shape.maxElevationDeg = 86.0;
    for (double heading : {0.0, 47.0, 200.0}) {
        shape.headingDeg = heading;
        const trackwriter::Pass pass = trackwriter::makePass(QStringLiteral("S"), QStringLiteral("1"),
                                                             QDateTime::currentDateTimeUtc(), shape);
        QCOMPARE(pass.size(), 40);
        int highest = 0;
        for (int i = 0; i < pass.size(); ++i) {
            QVERIFY(pass.elevationMinutes[i] >= 75 * 60);
            QVERIFY(pass.elevationMinutes[i] <= 86 * 60);
            QVERIFY(pass.azimuthMinutes[i] >= 0 && pass.azimuthMinutes[i] < 21600);
            // Focus 1400, Radius 500: reachable means R <= 500.
            QVERIFY(1400.0 / std::tan(pass.elevationDeg(i) * M_PI / 180.0) <= 500.0);
            highest = qMax(highest, pass.elevationMinutes[i]);
        }
        QVERIFY(highest >= 85 * 60 + 50);
        QCOMPARE(pass.elevationMinutes.first(), 75 * 60);
        QCOMPARE(pass.elevationMinutes.last(), 75 * 60);
    }
}

void TestSimModel::controlCommands_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("verb");
    QTest::addColumn<int>("number");
    QTest::newRow("silent") << "silent 5" << int(control::Command::Silent) << 5;
    QTest::newRow("silent needs seconds") << "silent" << int(control::Command::Invalid) << 0;
    QTest::newRow("silent not a number") << "silent x" << int(control::Command::Invalid) << 0;
    QTest::newRow("drop default") << "drop-port" << int(control::Command::DropPort) << 2;
    QTest::newRow("garbage") << "  garbage   20 " << int(control::Command::Garbage) << 20;
    QTest::newRow("garbage zero") << "garbage 0" << int(control::Command::Invalid) << 0;
    QTest::newRow("refuse on") << "refuse-uploads on" << int(control::Command::RefuseUploads) << 0;
    QTest::newRow("refuse what") << "refuse-uploads maybe" << int(control::Command::Invalid) << 0;
    QTest::newRow("gps failed") << "gps failed" << int(control::Command::Gps) << 0;
    QTest::newRow("demod-stop") << "demod-stop" << int(control::Command::DemodStop) << 0;
    QTest::newRow("quit with junk") << "quit now" << int(control::Command::Invalid) << 0;
    QTest::newRow("empty") << "   " << int(control::Command::Empty) << 0;
    QTest::newRow("unknown") << "explode" << int(control::Command::Invalid) << 0;
}

void TestSimModel::controlCommands()
{
    QFETCH(QString, line);
    QFETCH(int, verb);
    QFETCH(int, number);
    const control::Command c = control::parse(line);
    QCOMPARE(int(c.verb), verb);
    if (verb == control::Command::Invalid)
        QVERIFY(!c.error.isEmpty());
    else
        QCOMPARE(c.number, number);
    if (line.startsWith(QLatin1String("gps")))
        QCOMPARE(c.gpsBits, quint16(0x1000));
    if (line == QLatin1String("refuse-uploads on"))
        QVERIFY(c.on);
}

void TestSimModel::scheduledFaults()
{
    control::Scheduled s = control::parseScheduled(QStringLiteral("+12 silent 5"));
    QVERIFY(s.ok);
    QCOMPARE(s.delaySeconds, 12);
    QCOMPARE(s.command, QStringLiteral("silent 5"));
    s = control::parseScheduled(QStringLiteral("garbage 3"));
    QVERIFY(s.ok);
    QCOMPARE(s.delaySeconds, 0);
    QVERIFY(!control::parseScheduled(QStringLiteral("+x silent 5")).ok);
    QVERIFY(!control::parseScheduled(QStringLiteral("+5")).ok);
    QVERIFY(!control::parseScheduled(QStringLiteral("+5 fly")).ok);
}

void TestSimModel::pointingErrorTerms_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QPointF>("image"); // of the commanded point (100, 0)
    QTest::newRow("all four") << "scale=1.015,rot=0.4,x=3,y=-2" << true
                              << QPointF(101.5 * std::cos(0.4 * M_PI / 180) + 3, 101.5 * std::sin(0.4 * M_PI / 180) - 2);
    QTest::newRow("rotation only") << "rot=-1" << true << QPointF(100 * std::cos(M_PI / 180), -100 * std::sin(M_PI / 180));
    QTest::newRow("quarter turn is too much") << "rot=90" << false << QPointF();
    QTest::newRow("offset in any order") << "y=1, x=-4" << true << QPointF(96, 1);
    QTest::newRow("unknown key") << "tilt=1" << false << QPointF();
    QTest::newRow("not a number") << "x=three" << false << QPointF();
    QTest::newRow("empty") << "" << false << QPointF();
    QTest::newRow("offset too large") << "x=101" << false << QPointF();
}

void TestSimModel::pointingErrorTerms()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(QPointF, image);
    beam::PointingError e;
    QString why;
    QCOMPARE(beam::parsePointingError(text, &e, &why), ok);
    QCOMPARE(why.isEmpty(), ok);
    if (ok) {
        const QPointF got = beam::imageOf(e, QPointF(100, 0));
        QVERIFY2(std::hypot(got.x() - image.x(), got.y() - image.y()) < 1e-9,
                 qPrintable(QStringLiteral("%1 %2").arg(got.x()).arg(got.y())));
    }
}

void TestSimModel::passesVaryInApproach()
{
    trackwriter::PassShape base;
    const double farthest = base.focusMm / std::tan(base.minElevationDeg * M_PI / 180);
    QVector<double> nearest;
    for (int k = 0; k < 6; ++k) {
        const trackwriter::PassShape s = trackwriter::withApproach(base, k);
        QCOMPARE(s.minElevationDeg, base.minElevationDeg);
        const double d = base.focusMm / std::tan(s.maxElevationDeg * M_PI / 180);
        QVERIFY2(d > 0.05 * farthest && d < 0.85 * farthest, qPrintable(QString::number(d)));
        for (double other : nearest)
            QVERIFY(std::fabs(other - d) > 0.05 * farthest);
        nearest.append(d);
    }
}

QTEST_APPLESS_MAIN(TestSimModel)
#include "tst_simmodel.moc"
