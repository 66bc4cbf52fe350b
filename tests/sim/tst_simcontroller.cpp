// The stand-in's controller board in this process, on its own pseudo-terminal.
#include "controller.h"
#include "simline.h"

#include <QTemporaryDir>
#include <QThread>

class TestSimController : public QObject
{
    Q_OBJECT
private slots:
    void oneRequestPerPointOnABusyMachine_data();
    void oneRequestPerPointOnABusyMachine();
};

void TestSimController::oneRequestPerPointOnABusyMachine_data()
{
    QTest::addColumn<int>("stallAfterPoint");
    // Held up past the point's request and past the next second's tick.
    QTest::newRow("held up mid pass") << 0;
    QTest::newRow("held up on the last point") << 2;
}

void TestSimController::oneRequestPerPointOnABusyMachine()
{
    QFETCH(int, stallAfterPoint);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    Controller::Options options;
    options.portFolder = dir.path();
    options.portNumber = 7;
    sim::CoreConfig core;
    core.startLeadMs = 2000;
    core.travelMs = 500;
    Controller controller(options, core, nullptr);
    QString error;
    QVERIFY2(controller.start(&error), qPrintable(error));
    LineEnd line;
    QVERIFY(line.open(dir.filePath(QStringLiteral("COM7"))));

    QList<int> tracked;
    QList<int> requestAfterPoint;
    int lastPoint = -1;
    bool stalled = false;
    line.onReception = [&](const Reception &r) {
        if (r.isReply() && (r.status() & 0x0800)) {
            lastPoint = int(r.param() & 0xFFFF);
            if (tracked.isEmpty() || tracked.last() != lastPoint)
                tracked.append(lastPoint);
            if (lastPoint == stallAfterPoint && !stalled) {
                stalled = true;
                QThread::msleep(1250); // the whole process held up, as by a busy machine
            }
        } else if (r.isRequest()) {
            requestAfterPoint.append(lastPoint);
        }
    };
    line.send(uploadFrame(secondOfDayNow() + 3, 3));
    QTRY_VERIFY_WITH_TIMEOUT(line.repliesSince(0, 0x8000) >= 1, 15000);
    line.onReception = nullptr;

    QVERIFY(stalled);
    QCOMPARE(tracked, (QList<int>{0, 1, 2}));
    QCOMPARE(requestAfterPoint, (QList<int>{0, 1, 2}));
}

QTEST_GUILESS_MAIN(TestSimController)
#include "tst_simcontroller.moc"
