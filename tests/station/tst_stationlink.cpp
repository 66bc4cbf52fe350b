// The main cycle and the controller link, with the console's window on the
// in-process board: the link comes up, keeps the second's rhythm of the
// replies, and lives through an absent, refused, silent or noisy line.
#include "controllerlink.h"
#include "linkstate.h"
#include "stationworld.h"
#include "tuv.h"

#include <QLabel>
#include <QLineEdit>
#include <QtTest>

class StationLinkTest : public QObject
{
    Q_OBJECT
private slots:
    void explore();
};

void StationLinkTest::explore()
{
    StationWorld world;
    QVERIFY2(world.ready(), qPrintable(world.setUpError()));
    QVERIFY2(world.open(), qPrintable(world.setUpError()));
    QVERIFY(world.waitLinkUp());
    qDebug() << world.clock().elapsedMs() << world.logMessages() << world.statusRequests();
    world.advance(10000);
    qDebug() << world.clock().elapsedMs() << world.logMessages() << world.statusRequests();
    qDebug() << world.paneMessages();
    world.board().fallSilent(5000);
    world.advance(10000);
    qDebug() << world.logMessages() << world.statusRequests() << world.linkLabel()->text();
}

QTEST_MAIN(StationLinkTest)
#include "tst_stationlink.moc"
