#include "frames.h"
#include "hexbytes.h"
#include "linkworld.h"

#include <QtTest>
#include <memory>

class FramesTest : public QObject
{
    Q_OBJECT
private slots:
    void init() { w = std::make_unique<LinkWorld>(); }

    void commandFrames_data();
    void commandFrames();
    void sendWithoutPortKeepsBytes();
    void checksumWindows_data();
    void checksumWindows();
    void checksumExampleWords();
    void uploadFrameLayout();
    void uploadLengths_data();
    void uploadLengths();
    void uploadRepeatAndMode();
    void sendTimeWrapsAtMidnight_data();
    void sendTimeWrapsAtMidnight();

private:
    std::unique_ptr<LinkWorld> w;
};

void FramesTest::commandFrames_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("hasArg");
    QTest::addColumn<int>("arg");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("go to origin") << 1 << false << 0 << hex("01000000");
    QTest::newRow("go to corrected origin") << 2 << false << 0 << hex("02000000");
    QTest::newRow("north correction -9") << 3 << true << -9 << hex("03000000F7FF");
    QTest::newRow("parallel correction +9") << 4 << true << 9 << hex("040000000900");
    QTest::newRow("store, no change") << 5 << true << 9999 << hex("050000000F27");
    QTest::newRow("store azimuth 359.9") << 5 << true << 3599 << hex("050000000F0E");
    QTest::newRow("cancel") << 6 << false << 0 << hex("06000000");
    QTest::newRow("flip to 180") << 7 << false << 0 << hex("07000000");
    QTest::newRow("u-blox") << 9 << false << 0 << hex("09000000");
    QTest::newRow("programming") << 10 << false << 0 << hex("0A000000");
    QTest::newRow("status request") << 11 << false << 0 << hex("0B000000");
}

void FramesTest::commandFrames()
{
    QFETCH(int, code);
    QFETCH(bool, hasArg);
    QFETCH(int, arg);
    QFETCH(QByteArray, expected);
    const QByteArray built = hasArg ? commandBytes(code, qint16(arg)) : commandBytes(code);
    QCOMPARE(built.toHex(), expected.toHex());
    // The sender goes through txFrame and leaves exactly these bytes in txBytes.
    if (hasArg)
        w->link.sendCommand(code, qint16(arg));
    else
        w->link.sendCommand(code);
    QCOMPARE(w->txBytes.toHex(), expected.toHex());
    QCOMPARE(w->txFrame.size(), TxFrameSize);
}

void FramesTest::sendWithoutPortKeepsBytes()
{
    QCOMPARE(w->link.sendCommand(CmdCancel), qint64(-1));
    QCOMPARE(w->link.sendCorrectionByte(-5), qint64(-1));
    QCOMPARE(w->txBytes.toHex(), QByteArray("fb"));
    QCOMPARE(w->link.resendTxBytes(), qint64(-1));
    // A 6-byte command after a 4-byte one does not leak the old argument.
    w->link.sendCommand(CmdSetNorthCorrection, 0x0102);
    w->link.sendCommand(CmdGoToOrigin);
    QCOMPARE(w->txBytes.toHex(), QByteArray("01000000"));
}

void FramesTest::checksumWindows_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("sum");
    // Words 0x0201 + 0x0302 + 0x0403: every byte offset up to L-4, overlapping.
    // Stepping by two (0x0604) or reaching into the checksum (0x0E0A) is wrong.
    QTest::newRow("six bytes") << hex("010203040506") << 0x0906;
    QTest::newRow("carry wraps at 16 bits") << hex("FFFFFFFF0000") << 0xFFFD;
    QTest::newRow("checksum bytes not covered") << hex("00000000ABCD") << 0;
}

void FramesTest::checksumWindows()
{
    QFETCH(QByteArray, frame);
    QFETCH(int, sum);
    QCOMPARE(int(uploadChecksum(frame, frame.size())), sum);
}

void FramesTest::checksumExampleWords()
{
    // 00 00 00 00 22 00 ...: words 0, 0, 0, 0x2200, 0x0022 at offsets 0..4.
    const QByteArray start = hex("000000002200");
    QByteArray frame = start + QByteArray(2, '\0'); // word at offset 4 is the last one
    QCOMPARE(int(uploadChecksum(frame, frame.size())), 0x2200 + 0x0022);
}

void FramesTest::uploadFrameLayout()
{
    const QByteArray frame = buildUploadFrame(43200, 1000, UploadSinglePoint, 1000.0f, {500.0f}, {1.5f});
    QCOMPARE(frame.toHex().toUpper(),
             QByteArray("000000002200C0A80000E8030000020000007A44000000000000FA430000C03F3276"));
}

void FramesTest::uploadLengths_data()
{
    QTest::addColumn<int>("points");
    QTest::addColumn<int>("length");
    QTest::newRow("one point") << 1 << 34;
    QTest::newRow("largest") << 496 << 3994;
    QTest::newRow("too big") << 497 << 0;
}

void FramesTest::uploadLengths()
{
    QFETCH(int, points);
    QFETCH(int, length);
    QVector<float> radii(points), angles(points);
    for (int i = 0; i < points; ++i) {
        radii[i] = 400.0f + i;
        angles[i] = 0.001f * i;
    }
    const QByteArray frame = buildUploadFrame(1, 2, UploadWholePass, 900.0f, radii, angles);
    QCOMPARE(frame.size(), length);
    if (length == 0)
        return;
    QCOMPARE(int(quint8(frame[4]) | quint8(frame[5]) << 8), length);
    const quint16 stored = quint8(frame[length - 2]) | quint8(frame[length - 1]) << 8;
    QCOMPARE(stored, uploadChecksum(frame, length));
    // Column-major: the last radius sits right before the first angle.
    float lastRadius, firstAngle;
    memcpy(&lastRadius, frame.constData() + 24 + 4 * (points - 1), 4);
    memcpy(&firstAngle, frame.constData() + 24 + 4 * points, 4);
    QCOMPARE(lastRadius, radii.last());
    QCOMPARE(firstAngle, angles.first());
}

void FramesTest::uploadRepeatAndMode()
{
    QVERIFY(buildUploadFrame(0, 0, 0, 1.0f, {1.0f, 2.0f}, {1.0f}).isEmpty());
    QVERIFY(!isSinglePointUpload(w->lastUploadBytes));
    const QByteArray single = buildUploadFrame(5, 6, UploadSinglePoint, 1.0f, {1.0f}, {2.0f});
    QCOMPARE(w->link.sendUploadFrame(single), qint64(-1)); // no port: dropped, still kept
    QCOMPARE(w->lastUploadBytes, single);
    QCOMPARE(w->txBytes, single);
    QVERIFY(isSinglePointUpload(w->lastUploadBytes));
    w->link.sendCommand(CmdStatusRequest);
    w->link.resendLastUpload();
    QCOMPARE(w->txBytes, single);
    const QByteArray whole = buildUploadFrame(5, 6, UploadWholePass, 1.0f, {1.0f}, {2.0f});
    w->link.sendUploadFrame(whole);
    QVERIFY(!isSinglePointUpload(w->lastUploadBytes));
    QCOMPARE(w->link.sendUploadFrame(QByteArray(TxFrameSize + 1, '\0')), qint64(-1));
    QCOMPARE(w->lastUploadBytes, whole);
}

void FramesTest::sendTimeWrapsAtMidnight_data()
{
    QTest::addColumn<QTime>("local");
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("ms");
    QTest::newRow("east of UTC, wraps back") << QTime(2, 0, 0, 250) << 3 << 82800250;
    QTest::newRow("west of UTC, wraps forward") << QTime(22, 0, 0, 1) << -5 << 10800001;
    QTest::newRow("UTC") << QTime(12, 0, 0) << 0 << 43200000;
}

void FramesTest::sendTimeWrapsAtMidnight()
{
    QFETCH(QTime, local);
    QFETCH(int, offset);
    QFETCH(int, ms);
    QCOMPARE(uploadSendTimeMs(QDateTime(QDate(2024, 3, 1), local), qint16(offset)), ms);
    QCOMPARE(uploadSendTimeMs(QDateTime(), 0), 0);
}

int runFramesTest(int argc, char **argv)
{
    FramesTest t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_frames.moc"
