// Pointing from the service panel, with the console's window on the
// in-process board: GoToPos uploads a single-point table, Shift+GoToPos writes
// the table only, bad input sends nothing.
#include "simframes.h"
#include "stationworld.h"
#include "tuv.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

class StationGoToTest : public QObject
{
    Q_OBJECT
private slots:
    void goTo_data();
    void goTo();
};

void StationGoToTest::goTo_data()
{
    QTest::addColumn<QString>("azimuth");
    QTest::addColumn<QString>("elevation");
    QTest::addColumn<bool>("shift");
    QTest::addColumn<bool>("good");   // the edits' look
    QTest::addColumn<int>("uploads"); // single-point frames sent
    QTest::addColumn<int>("tables");  // table files written under data/

    // Which input is good: tst_upload (goTo).
    QTest::newRow("reachable: one single-point upload") << "120" << "80" << false << true << 1 << 0;
    QTest::newRow("Shift: the table file only") << "130" << "80" << true << true << 0 << 1;
    QTest::newRow("below the reach") << "120" << "60" << false << false << 0 << 0;
    QTest::newRow("Shift with bad input: no table either") << "120" << "60" << true << false << 0 << 0;
}

void StationGoToTest::goTo()
{
    QFETCH(QString, azimuth);
    QFETCH(QString, elevation);
    QFETCH(bool, shift);
    QFETCH(bool, good);
    QFETCH(int, uploads);
    QFETCH(int, tables);

    StationWorld world;
    QVERIFY2(world.ready(), qPrintable(world.setUpError()));
    QVERIFY2(world.open({}, true), qPrintable(world.setUpError()));
    tuv &w = world.window();
    auto *azim = w.findChild<QLineEdit *>(QStringLiteral("Azim"));
    auto *elev = w.findChild<QLineEdit *>(QStringLiteral("Elev"));
    auto *go = w.findChild<QPushButton *>(QStringLiteral("GoTo"));
    QVERIFY(azim && elev && go);
    QVERIFY(world.waitLinkUp());
    world.board().clearReceived();

    azim->setText(azimuth);
    elev->setText(elevation);
    QTest::mouseClick(go, Qt::LeftButton, shift ? Qt::ShiftModifier : Qt::NoModifier);
    world.advance(3000);

    const QList<QByteArray> sent = world.board().receivedFrames();
    QCOMPARE(sent.size(), uploads);
    for (const QByteArray &frame : sent) {
        QCOMPARE(frame.size(), 34);
        const simframes::UploadCheck check = simframes::checkUploadFrame(frame);
        QVERIFY2(check.ok, qPrintable(check.reason));
        QVERIFY(check.checksumOk);
        QCOMPARE(check.table.uploadMode, quint16(2));
        QCOMPARE(check.table.radii.size(), 1);
        // The board took it and heads for the point.
        QVERIFY(world.board().core().hasPass());
        QCOMPARE(world.board().core().table().radii, check.table.radii);
    }
    if (uploads == 0)
        QVERIFY(!world.board().core().hasPass());
    QCOMPARE(QDir(QStringLiteral("data")).entryList({QStringLiteral("*.uu")}, QDir::Files).size(), tables);

    QCOMPARE(azim->palette().color(QPalette::Base), good ? QColor(Qt::white) : QColor(Qt::red));
    QCOMPARE(azim->palette().color(QPalette::Text), good ? QColor(Qt::black) : QColor(Qt::blue));
    QCOMPARE(elev->palette().color(QPalette::Base), azim->palette().color(QPalette::Base));
    QCOMPARE(elev->palette().color(QPalette::Text), azim->palette().color(QPalette::Text));
    QVERIFY2(world.dialogs().unexpected().isEmpty(), qPrintable(world.dialogs().unexpected().join('|')));
    QVERIFY(!QFile::exists(QStringLiteral("tuvarn.log"))); // service mode keeps no log
}

QTEST_MAIN(StationGoToTest)
#include "tst_stationgoto.moc"
