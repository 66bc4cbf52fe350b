#include "frames.h"
#include "linkstate.h"
#include "linktestutil.h"
#include "reception.h"
#include "rs.h"

#include <QFile>
#include <QSignalSpy>
#include <QtTest>

// The serial wrapper against a pseudo-terminal linked as COM<n>.
class RsTest : public QObject
{
    Q_OBJECT
private slots:
    void init() { resetLinkWorld(); }

    void openCodesAndTraffic();
    void presentButNotOpenable();
    void supervisionReportsEachChangeOnce();
    void statusReplyThroughThePort();
    void terminalThatHungUpIsReopened();
};

void RsTest::openCodesAndTraffic()
{
    PortFolder folder;
    rs port(18, 41);
    QCOMPARE(port.open(), quint8(1));
    QVERIFY(!port.isOpened());
    QCOMPARE(port.write(commandBytes(CmdGoToOrigin)), qint64(-1));
    char buf[4];
    QCOMPARE(port.read(buf, 4), qint64(-1));

    PtyLink pty(folder.path(), 41);
    QVERIFY(pty.isValid());
    rs other(18, 4); // COM4 is not COM41
    QCOMPARE(other.open(), quint8(1));
    QCOMPARE(port.open(), quint8(0));
    QVERIFY(port.isOpened());
    QCOMPARE(port.port()->baudRate(), 9600);
    QCOMPARE(port.port()->dataBits(), QSerialPort::Data8);
    QCOMPARE(port.parity(), QSerialPort::NoParity);
    QCOMPARE(port.port()->stopBits(), QSerialPort::OneStop);
    QCOMPARE(port.port()->readBufferSize(), qint64(18));

    // The common sender writes exactly the frame bytes.
    setControllerPort(&port);
    QCOMPARE(sendCommand(CmdSetNorthCorrection, -9), qint64(6));
    QCOMPARE(pty.readFromConsole(6).toHex(), QByteArray("03000000f7ff"));

    // Bytes from the controller arrive.
    QSignalSpy ready(port.port(), &QSerialPort::readyRead);
    pty.writeToConsole(hex("00"));
    QTRY_COMPARE(port.bytesAvailable(), qint64(1));
    QCOMPARE(port.read(buf, 4), qint64(1));
    QCOMPARE(buf[0], '\0');
    QVERIFY(ready.count() >= 1);

    // A second open of a present port changes nothing.
    QCOMPARE(port.open(), quint8(0));
    QVERIFY(port.port()->isOpen());

    // The adapter is pulled: the next open closes the port and says absent.
    pty.unlinkName();
    QCOMPARE(port.open(), quint8(1));
    QVERIFY(!port.isOpened());
    QVERIFY(!port.port()->isOpen());
    QCOMPARE(sendCommand(CmdCancel), qint64(-1));
}

void RsTest::presentButNotOpenable()
{
    PortFolder folder;
    // Listed under the right name but no terminal behind it.
    QFile notATerminal(folder.path() + QStringLiteral("/COM42"));
    QVERIFY(notATerminal.open(QIODevice::WriteOnly));
    notATerminal.close();
    rs port(18, 42);
    QCOMPARE(port.open(), quint8(2));
    QVERIFY(!port.isOpened());
    QCOMPARE(port.write(QByteArray("x")), qint64(-1));
    QVERIFY(!port.openError().isEmpty());

    // The system's reason follows the log line, once.
    LinkSupervisionResult r = superviseLink(port);
    QCOMPARE(r.logLine, QStringLiteral("port not opened"));
    QCOMPARE(r.reasonLine, QStringLiteral("port COM42: ") + port.openError());
    for (int second = 0; second < 3; ++second) {
        r = superviseLink(port);
        QVERIFY(r.logLine.isEmpty());
        QVERIFY(r.reasonLine.isEmpty());
    }
}

void RsTest::supervisionReportsEachChangeOnce()
{
    PortFolder folder;
    rs port(18, 43);

    LinkSupervisionResult r = superviseLink(port);
    QVERIFY(r.labelChanged);
    QCOMPARE(r.labelText, QStringLiteral("port COM:43 absent "));
    QCOMPARE(r.labelStyle, QStringLiteral("color: Red"));
    QCOMPARE(r.logLine, QStringLiteral("port absent"));
    QCOMPARE(linkState.lastPortResult, quint8(1));

    linkState.linkLabelStale = false;
    r = superviseLink(port);
    QVERIFY(!r.labelChanged);
    QVERIFY(r.logLine.isEmpty());
    QVERIFY(linkState.linkLabelStale); // every port check marks the label stale

    PtyLink pty(folder.path(), 43);
    QVERIFY(pty.isValid());
    r = superviseLink(port);
    QCOMPARE(r.labelText, QStringLiteral("Disconnected1  "));
    QCOMPARE(r.logLine, QStringLiteral("port opened ok"));
    r = superviseLink(port);
    QVERIFY(!r.labelChanged);
    QVERIFY(r.logLine.isEmpty());

    pty.unlinkName();
    r = superviseLink(port);
    QCOMPARE(r.labelText, QStringLiteral("port COM:43 absent "));
    QVERIFY(!port.isOpened());
}

void RsTest::statusReplyThroughThePort()
{
    PortFolder folder;
    PtyLink pty(folder.path(), 44);
    rs port(18, 44);
    QCOMPARE(port.open(), quint8(0));
    ReplyReceiver receiver;
    linkState.linkWatchdog = 2;
    pty.writeToConsole(hex("00FFFFFF03120000000000005A000000"));
    QTRY_COMPARE(port.bytesAvailable(), qint64(16));
    const ParsedReception p = receiver.parse(port);
    QCOMPARE(p.type, ParsedReception::Status);
    QCOMPARE(p.reply.versionMinor, quint8(0x12));
    QCOMPARE(port.bytesAvailable(), qint64(0));

    // Too much at once: dropped whole, the silence window grows.
    pty.writeToConsole(QByteArray(17, '\x55'));
    QTRY_VERIFY(port.bytesAvailable() > 16);
    QCOMPARE(receiver.parse(port).type, ParsedReception::Overrun);
    QCOMPARE(linkState.quietTicks, quint8(10));
    QCOMPARE(linkState.replyMode, quint8(2));

    // A backlog that fills the read buffer must not leave the port deaf.
    pty.writeToConsole(QByteArray(64, '\x55'));
    QTRY_COMPARE(port.bytesAvailable(), qint64(18));
    QCOMPARE(receiver.parse(port).type, ParsedReception::Overrun);
    QTest::qWait(50);
    port.clearInput(); // what was still queued behind the full buffer
    pty.writeToConsole(hex("00FFFFFF03120000000000005A000000"));
    QTRY_COMPARE(port.bytesAvailable(), qint64(16));
}

void RsTest::terminalThatHungUpIsReopened()
{
    PortFolder folder;
    rs port(18, 45);
    QByteArray fromConsole;
    {
        PtyLink first(folder.path(), 45);
        QCOMPARE(port.open(), quint8(0));
        QVERIFY(!port.hungUp());
    } // the terminal goes away ...
    QTRY_VERIFY(port.hungUp());
    PtyLink second(folder.path(), 45); // ... and comes back under the same name
    QCOMPARE(port.open(), quint8(0));
    QVERIFY(!port.hungUp());
    QCOMPARE(port.write(commandBytes(CmdCancel)), qint64(4));
    QCOMPARE(second.readFromConsole(4).toHex(), QByteArray("06000000"));

    QVERIFY(!port.dropIfHungUp());
    QVERIFY(port.isOpened());
}

int runRsTest(int argc, char **argv)
{
    RsTest t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_rs.moc"
