// A whole pass in one process: the console's window on the in-process board,
// with the demodulator answering on 127.0.0.1:6002 (run in a network
// namespace of its own). Track file to data file in milliseconds.
#include "datafilereader.h"
#include "demodpeer.h"
#include "linkstate.h"
#include "stationworld.h"
#include "tuv.h"

#include <QDir>
#include <QLabel>
#include <QTcpSocket>
#include <QtTest>

namespace {
constexpr int Points = 20;
constexpr qint32 PowerTenths = 123;
constexpr qint32 SnrTenths = 45;

QList<int> bytes(const QMap<int, quint8> &answers)
{
    QList<int> out;
    for (quint8 b : answers)
        out << int(qint8(b));
    return out;
}
} // namespace

class StationPassTest : public QObject
{
    Q_OBJECT
private slots:
    void wholePass_data();
    void wholePass();
};

void StationPassTest::wholePass_data()
{
    QTest::addColumn<SettingChanges>("settings");
    QTest::addColumn<QList<int>>("answers"); // the correction bytes, point by point
    QTest::addColumn<bool>("eitherSide");    // the sweep may start to either side

    // Without a scan mode every answer is 0: tst_correction (initialStep).
    QTest::newRow("ScanModeRL: a sweep of 10 between -40 and 40")
        << SettingChanges {{"ScanModeRL", "enable"}}
        << QList<int> {10, 20, 30, 40, 30, 20, 10, 0, -10, -20, -30, -40, -30, -20, -10, 0, 10, 20, 30, 40}
        << true;
    QTest::newRow("ScanModeFB: each side twice, two zeros between")
        << SettingChanges {{"ScanModeFB", "enable"}}
        << QList<int> {0, 0x40, 0, 0, -0x80, 0, 0, -0x80, 0, 0, 0x40, 0, 0, 0x40, 0, 0, -0x80, 0, 0, -0x80}
        << false;
}

// The track is sent and confirmed; the board goes to the start, tracks, asks
// once a point and finishes; every request is answered in the scan mode's
// pattern, and the data file holds each point with its correction, the
// board's own offset and the demodulator's samples.
void StationPassTest::wholePass()
{
    QFETCH(SettingChanges, settings);
    QFETCH(QList<int>, answers);
    QFETCH(bool, eitherSide);

    StationWorld world;
    QVERIFY2(world.ready(), qPrintable(world.setUpError()));
    DemodPeer demod(PowerTenths, SnrTenths);
    QVERIFY2(demod.listen(), qPrintable(demod.errorString()));
    bool settled = true;
    world.setEveryStep([&] { settled = demod.settle() && settled; });
    QVERIFY2(world.open(settings + SettingChanges {{"Demodulator", "enable"}}), qPrintable(world.setUpError()));
    auto *socket = world.window().findChild<QTcpSocket *>();
    QVERIFY(socket);
    demod.setClientSocket(socket);
    QVERIFY(world.waitLinkUp());
    QVERIFY(world.settingsLabel()->text().contains(QLatin1String(", Demod. ok")));

    const QDateTime start =
        QDateTime::fromMSecsSinceEpoch((world.clock().nowMs() + 40000) / 1000 * 1000, Qt::UTC);
    QVERIFY(world.writeTrack(start, Points));
    const QString finish = QStringLiteral("finish");
    QVERIFY(world.advanceUntil([&] { return world.logMessages().contains(finish); }, 80000));
    const QDateTime finishedAt = world.clock().nowUtc(); // local time is UTC here
    world.advance(5000);
    QVERIFY2(settled, "the demodulator's line did not come to rest");

    const QStringList log = world.logMessages();
    const QStringList expected {
        QStringLiteral("*** TuVaRN log started ***"), QStringLiteral("port opened ok"),
        QStringLiteral("Track loaded: SAT-1. Start at ") + start.toString(QStringLiteral("dd.MM.yyyy  hh:mm:ss")),
        QStringLiteral("track sent"), QStringLiteral("received ok"), QStringLiteral("in start position"),
        QStringLiteral("tracking"), finish};
    QCOMPARE(log, expected);
    QCOMPARE(world.window().state().linkState.uploadRetry, qint8(0)); // free for the next track

    // One request a point, each answered.
    QCOMPARE(world.board().requestsSent(), Points);
    QCOMPARE(world.board().answers().keys(), QVector<int>({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15,
                                                           16, 17, 18, 19}).toList());
    QList<int> mirrored;
    for (int a : answers)
        mirrored << -a;
    const QList<int> got = bytes(world.board().answers());
    if (eitherSide && got != answers)
        QCOMPARE(got, mirrored);
    else
        QCOMPARE(got, answers);

    // The data file, as the viewer reads it, and its companion.
    const QStringList files = QDir(QStringLiteral("data")).entryList({QStringLiteral("*.dat")}, QDir::Files);
    QCOMPARE(files, QStringList {QStringLiteral("SAT-1 (4242)_")
                                 + finishedAt.toString(QStringLiteral("ddMMyy_hhmmss")) + QStringLiteral(".dat")});
    QVERIFY(QFile::exists(QStringLiteral("data/") + files.first() + QStringLiteral(".ai")));
    const DataFileContent content = readDataFile(QStringLiteral("data/") + files.first());
    QCOMPARE(content.error, QString());
    QCOMPARE(content.rows.size(), Points);
    QCOMPARE(content.noise, PowerTenths / 10.0f);
    for (int i = 0; i < Points; ++i) {
        QCOMPARE(content.rows[i].korr, got[i]);
        QCOMPARE(content.rows[i].korr0, int(world.board().core().ownOffset(i)));
        // A power request every 100 ms of the cycle: about ten samples a
        // point (fewer for the first, begun half-way).
        const QVector<float> &power = content.powerLines[i];
        QVERIFY2(power.size() >= (i == 0 ? 1 : 8) && power.size() <= 10, qPrintable(QString::number(power.size())));
        for (float p : power)
            QCOMPARE(p, PowerTenths / 10.0f);
        for (float s : content.snrLines[i])
            QCOMPARE(s, SnrTenths / 10.0f);
    }
    // Tracking asked for power every 100 ms.
    QVERIFY2(demod.powerRequests() >= Points * 10, qPrintable(QString::number(demod.powerRequests())));
}

QTEST_MAIN(StationPassTest)
#include "tst_stationpass.moc"
