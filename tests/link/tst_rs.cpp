#include "frames.h"
#include "linkstate.h"
#include "hexbytes.h"
#include "portfolder.h"
#include "ptypeer.h"
#include "linkworld.h"
#include "reception.h"
#include "rs.h"

#include <QFile>
#include <QSignalSpy>
#include <QtTest>
#include <memory>

// The serial wrapper against a pseudo-terminal linked as COM<n>.
class RsTest : public QObject
{
    Q_OBJECT
private slots:
    void init() { w = std::make_unique<LinkWorld>(); }

    void openCodesAndTraffic();
    void presentButNotOpenable();
    void supervisionReportsEachChangeOnce();
    void statusReplyThroughThePort();
    void terminalThatHungUpIsReopened();

private:
    std::unique_ptr<LinkWorld> w;
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

    PtyPeer pty(folder.path(), 41);
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
    w->sendThrough(&port);
    QCOMPARE(w->link.sendCommand(CmdSetNorthCorrection, -9), qint64(6));
    QCOMPARE(pty.read(6).toHex(), QByteArray("03000000f7ff"));

    // Bytes from the controller arrive.
    QSignalSpy ready(port.port(), &QSerialPort::readyRead);
    pty.write(hex("00"));
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
    QCOMPARE(w->link.sendCommand(CmdCancel), qint64(-1));
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
    LinkSupervisionResult r = superviseLink(w->linkState, port, port.portNumber);
    QCOMPARE(r.logLine, QStringLiteral("port not opened"));
    QCOMPARE(r.reasonLine, QStringLiteral("port COM42: ") + port.openError());
    for (int second = 0; second < 3; ++second) {
        r = superviseLink(w->linkState, port, port.portNumber);
        QVERIFY(r.logLine.isEmpty());
        QVERIFY(r.reasonLine.isEmpty());
    }
}

void RsTest::supervisionReportsEachChangeOnce()
{
    PortFolder folder;
    rs port(18, 43);

    LinkSupervisionResult r = superviseLink(w->linkState, port, port.portNumber);
    QVERIFY(r.labelChanged);
    QCOMPARE(r.labelText, QStringLiteral("port COM:43 absent "));
    QCOMPARE(r.labelStyle, QStringLiteral("color: Red"));
    QCOMPARE(r.logLine, QStringLiteral("port absent"));
    QCOMPARE(w->linkState.lastPortResult, quint8(1));

    w->linkState.linkLabelStale = false;
    r = superviseLink(w->linkState, port, port.portNumber);
    QVERIFY(!r.labelChanged);
    QVERIFY(r.logLine.isEmpty());
    QVERIFY(w->linkState.linkLabelStale); // every port check marks the label stale

    PtyPeer pty(folder.path(), 43);
    QVERIFY(pty.isValid());
    r = superviseLink(w->linkState, port, port.portNumber);
    QCOMPARE(r.labelText, QStringLiteral("Disconnected1  "));
    QCOMPARE(r.logLine, QStringLiteral("port opened ok"));
    r = superviseLink(w->linkState, port, port.portNumber);
    QVERIFY(!r.labelChanged);
    QVERIFY(r.logLine.isEmpty());

    pty.unlinkName();
    r = superviseLink(w->linkState, port, port.portNumber);
    QCOMPARE(r.labelText, QStringLiteral("port COM:43 absent "));
    QVERIFY(!port.isOpened());
}

void RsTest::statusReplyThroughThePort()
{
    PortFolder folder;
    PtyPeer pty(folder.path(), 44);
    rs port(18, 44);
    QCOMPARE(port.open(), quint8(0));
    ReplyReceiver receiver(w->linkState);
    w->linkState.linkWatchdog = 2;
    pty.write(hex("00FFFFFF03120000000000005A000000"));
    QTRY_COMPARE(port.bytesAvailable(), qint64(16));
    const ParsedReception p = receiver.parse(port, w->context());
    QCOMPARE(p.type, ParsedReception::Status);
    QCOMPARE(p.reply.versionMinor, quint8(0x12));
    QCOMPARE(port.bytesAvailable(), qint64(0));

    // Too much at once: dropped whole, the silence window grows.
    pty.write(QByteArray(17, '\x55'));
    QTRY_VERIFY(port.bytesAvailable() > 16);
    QCOMPARE(receiver.parse(port, w->context()).type, ParsedReception::Overrun);
    QCOMPARE(w->linkState.quietTicks, quint8(10));
    QCOMPARE(w->linkState.replyMode, quint8(2));

    // A backlog that fills the read buffer must not leave the port deaf.
    pty.write(QByteArray(64, '\x55'));
    QTRY_COMPARE(port.bytesAvailable(), qint64(18));
    QCOMPARE(receiver.parse(port, w->context()).type, ParsedReception::Overrun);
    QTest::qWait(50);
    port.clearInput(); // what was still queued behind the full buffer
    pty.write(hex("00FFFFFF03120000000000005A000000"));
    QTRY_COMPARE(port.bytesAvailable(), qint64(16));
}

void RsTest::terminalThatHungUpIsReopened()
{
    PortFolder folder;
    rs port(18, 45);
    QByteArray fromConsole;
    {
        PtyPeer first(folder.path(), 45);
        QCOMPARE(port.open(), quint8(0));
        QVERIFY(!port.hungUp());
    } // the terminal goes away ...
    QTRY_VERIFY(port.hungUp());
    PtyPeer second(folder.path(), 45); // ... and comes back under the same name
    QCOMPARE(port.open(), quint8(0));
    QVERIFY(!port.hungUp());
    QCOMPARE(port.write(commandBytes(CmdCancel)), qint64(4));
    QCOMPARE(second.read(4).toHex(), QByteArray("06000000"));

    QVERIFY(!port.dropIfHungUp());
    QVERIFY(port.isOpened());
}

int runRsTest(int argc, char **argv)
{
    RsTest t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_rs.moc"
