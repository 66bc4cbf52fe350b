#include "demodwire.h"
#include "simframes.h"

#include <QtTest>
#include <cstring>

using namespace simframes;

namespace {

QByteArray bytes(std::initializer_list<int> list)
{
    QByteArray b;
    for (int v : list)
        b.append(char(v));
    return b;
}

UploadTable threePoints()
{
    UploadTable t;
    t.startSecondOfDay = 43210;
    t.consoleTimeMs = 43150000;
    t.uploadMode = 0;
    t.radius = 500.0f;
    t.radii = {250.0f, 251.5f, 253.0f};
    t.angles = {3.49f, 3.5f, 3.51f};
    return t;
}

} // namespace

class TestSimFrames : public QObject
{
    Q_OBJECT
private slots:
    void checksumOverlappingWords_data();
    void checksumOverlappingWords();
    void uploadFrameLayout();
    void uploadCheck_data();
    void uploadCheck();
    void splitReception_data();
    void splitReception();
    void statusReplyBytes();
    void demodRequestsFromStream();
    void demodAnswerFields();
};

void TestSimFrames::checksumOverlappingWords_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("expected");
    // Words at offsets 0..L-4: 00 00, 00 00, 00 00, 00 22 -> 0x2200, 22 05 -> 0x0522, 05 00 -> 0x0005.
    QTest::newRow("bytes step by one") << bytes({0, 0, 0, 0, 0x22, 0x05, 0x00, 0xAA, 0xBB}) << (0x2200 + 0x0522 + 0x0005);
    // The two last bytes (the checksum place) are not covered.
    QTest::newRow("tail ignored") << bytes({1, 0, 0, 0xFF, 0xFF}) << (0x0001 + 0x0000);
    // 0xFFFF words wrap modulo 65536.
    QTest::newRow("wraps") << bytes({0xFF, 0xFF, 0xFF, 0, 0}) << ((0xFFFF + 0xFFFF) & 0xFFFF);
}

void TestSimFrames::checksumOverlappingWords()
{
    QFETCH(QByteArray, frame);
    QFETCH(int, expected);
    QCOMPARE(int(uploadChecksum(frame, frame.size())), expected);
}

void TestSimFrames::uploadFrameLayout()
{
    const QByteArray f = buildUploadFrame(threePoints());
    QCOMPARE(f.size(), 26 + 8 * 3);
    QCOMPARE(f.left(6), bytes({0, 0, 0, 0, 50, 0}));
    QCOMPARE(f.mid(6, 4), bytes({0xCA, 0xA8, 0x00, 0x00})); // 43210
    QCOMPARE(f.mid(14, 2), bytes({0, 0}));
    QCOMPARE(f.mid(16, 4), bytes({0x00, 0x00, 0xFA, 0x43})); // 500.0f
    QCOMPARE(f.mid(24, 4), bytes({0x00, 0x00, 0x7A, 0x43})); // first radius 250.0f, then radii, then angles
    const quint16 sum = uploadChecksum(f, f.size());
    QCOMPARE(quint8(f[f.size() - 2]), quint8(sum & 0xFF));
    QCOMPARE(quint8(f[f.size() - 1]), quint8(sum >> 8));

    const UploadCheck c = checkUploadFrame(f);
    QVERIFY2(c.ok, qPrintable(c.reason));
    QCOMPARE(c.table.startSecondOfDay, 43210);
    QCOMPARE(c.table.consoleTimeMs, 43150000);
    QCOMPARE(c.table.radii, threePoints().radii);
    QCOMPARE(c.table.angles, threePoints().angles);
}

void TestSimFrames::uploadCheck_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<bool>("checksumOk");
    QTest::addColumn<QString>("reasonPart");

    const QByteArray good = buildUploadFrame(threePoints());
    QTest::newRow("good") << good << true << true << QString();

    QByteArray flipped = good;
    flipped[30] = char(flipped[30] ^ 0x01); // one bit of the table
    QTest::newRow("one table bit") << flipped << false << false << QStringLiteral("checksum");

    QByteArray badSum = good;
    badSum[badSum.size() - 1] = char(badSum[badSum.size() - 1] + 1);
    QTest::newRow("checksum byte") << badSum << false << false << QStringLiteral("checksum");

    QTest::newRow("length field larger than frame") << good.left(good.size() - 8) << false << false
                                                    << QStringLiteral("received");

    UploadTable mode3 = threePoints();
    mode3.uploadMode = 3;
    QTest::newRow("unknown mode") << buildUploadFrame(mode3) << false << true << QStringLiteral("mode");

    UploadTable none = threePoints();
    none.radii.clear();
    none.angles.clear();
    QTest::newRow("no points") << buildUploadFrame(none) << false << true << QStringLiteral("without points");

    UploadTable nan = threePoints();
    nan.radii[1] = std::numeric_limits<float>::quiet_NaN();
    QTest::newRow("nan radius") << buildUploadFrame(nan) << false << true << QStringLiteral("point 1");

    UploadTable single;
    single.startSecondOfDay = 100;
    single.uploadMode = 2;
    single.radius = 500.0f;
    single.radii = {120.0f};
    single.angles = {1.0f};
    const QByteArray one = buildUploadFrame(single);
    QTest::newRow("single point is 34 bytes") << one << (one.size() == 34) << true << QString();

    UploadTable big = threePoints();
    big.radii.fill(100.0f, 497);
    big.angles.fill(1.0f, 497);
    QTest::newRow("497 points exceed 4000 bytes") << buildUploadFrame(big) << false << false << QStringLiteral("length");
}

void TestSimFrames::uploadCheck()
{
    QFETCH(QByteArray, frame);
    QFETCH(bool, ok);
    QFETCH(bool, checksumOk);
    QFETCH(QString, reasonPart);
    const UploadCheck c = checkUploadFrame(frame);
    QCOMPARE(c.ok, ok);
    QCOMPARE(c.checksumOk, checksumOk);
    if (!ok)
        QVERIFY2(c.reason.contains(reasonPart), qPrintable(c.reason));
}

void TestSimFrames::splitReception_data()
{
    QTest::addColumn<QByteArray>("reception");
    QTest::addColumn<bool>("answerPending");
    QTest::addColumn<QString>("expected"); // one letter per frame: C command, U upload, A answer, R rejected
    QTest::addColumn<QList<int>>("codes");

    const QByteArray upload = buildUploadFrame(threePoints());
    const QByteArray status = bytes({0x0B, 0, 0, 0});
    QTest::newRow("status request") << status << false << "C" << QList<int>{11};
    QTest::newRow("north -9") << bytes({3, 0, 0, 0, 0xF7, 0xFF}) << false << "C" << QList<int>{3};
    QTest::newRow("two glued") << (bytes({1, 0, 0, 0}) + status) << false << "CC" << QList<int>{1, 11};
    QTest::newRow("upload then command") << (upload + bytes({6, 0, 0, 0})) << false << "UC" << QList<int>{0, 6};
    QTest::newRow("answer alone") << bytes({0xF6}) << true << "A" << QList<int>{};
    QTest::newRow("answer zero") << bytes({0x00}) << true << "A" << QList<int>{};
    QTest::newRow("answer before command") << (bytes({0x05}) + status) << true << "AC" << QList<int>{11};
    QTest::newRow("command while answer due") << status << true << "C" << QList<int>{11};
    QTest::newRow("lone byte, nothing asked") << bytes({0x05}) << false << "R" << QList<int>{};
    QTest::newRow("unknown code") << bytes({8, 0, 0, 0}) << false << "R" << QList<int>{};
    QTest::newRow("code 12") << bytes({12, 0, 0, 0}) << false << "R" << QList<int>{};
    QTest::newRow("short command") << bytes({0x0B, 0, 0}) << false << "R" << QList<int>{};
    QTest::newRow("6-byte command cut") << bytes({4, 0, 0, 0, 1}) << false << "R" << QList<int>{};
    QTest::newRow("upload cut short") << upload.left(40) << false << "R" << QList<int>{};
    QTest::newRow("good then trailing bytes") << (status + bytes({1, 2})) << false << "CR" << QList<int>{11};
    QByteArray badLength = upload;
    badLength[4] = char(51); // not 26 + 8n
    QTest::newRow("upload length not 26+8n") << badLength << false << "R" << QList<int>{};
}

void TestSimFrames::splitReception()
{
    QFETCH(QByteArray, reception);
    QFETCH(bool, answerPending);
    QFETCH(QString, expected);
    QFETCH(QList<int>, codes);
    const QVector<RxFrame> frames = simframes::splitReception(reception, answerPending);
    QString got;
    QList<int> gotCodes;
    int total = 0;
    for (const RxFrame &f : frames) {
        got += f.type == RxFrame::Command ? 'C' : f.type == RxFrame::Upload ? 'U' : f.type == RxFrame::Correction ? 'A' : 'R';
        if (f.type == RxFrame::Command || f.type == RxFrame::Upload)
            gotCodes.append(f.code);
        if (f.type == RxFrame::Rejected)
            QVERIFY(!f.reason.isEmpty());
        total += f.bytes.size();
    }
    QCOMPARE(got, expected);
    QCOMPARE(gotCodes, codes);
    QCOMPARE(total, reception.size()); // every byte accounted for
    if (expected == QLatin1String("C") && codes == QList<int>{3})
        QCOMPARE(frames[0].arg, qint16(-9));
}

void TestSimFrames::statusReplyBytes()
{
    StatusReply r;
    r.kind = 0;
    r.versionMajor = 3;
    r.versionMinor = 7;
    r.statusWord = 0x3810;
    r.param = trackingParam(300, -3);
    r.timeWord = 45296; // 12:34:56
    QCOMPARE(buildStatusReply(r),
             bytes({0x00, 0xFF, 0xFF, 0xFF, 3, 7, 0x10, 0x38, 0x2C, 0x01, 0xFD, 0x00, 0xF0, 0xB0, 0x00, 0x00}));

    r.kind = 1;
    r.statusWord = 0x3000;
    r.param = floatBits(59.9375f);
    const QByteArray lat = buildStatusReply(r);
    float back;
    std::memcpy(&back, lat.constData() + 8, 4);
    QCOMPARE(back, 59.9375f);
    QCOMPARE(lat.size(), 16);
}

void TestSimFrames::demodRequestsFromStream()
{
    using namespace demodwire;
    const QByteArray stream = QByteArray("\x01\x02", 2) + probeBytes() + connectBytes() + powerRequestBytes()
                              + bytes({0x2E, 0xFD, 0x69, 0xB6, 0x99, 0, 0, 0}) + powerRequestBytes();
    // Fed one byte at a time, then all at once: the same requests come out.
    for (int chunk : {1, 5, int(stream.size())}) {
        RequestParser parser;
        QList<Request::Type> types;
        for (int at = 0; at < stream.size(); at += chunk) {
            parser.feed(stream.mid(at, chunk));
            Request r;
            while (parser.next(&r))
                types.append(r.type);
        }
        // Garbage in front may be reported in pieces while no marker is in sight.
        while (!types.isEmpty() && types.first() == Request::Garbage)
            types.removeFirst();
        QCOMPARE(types, (QList<Request::Type>{Request::Probe, Request::Connect, Request::Power,
                                              Request::Unknown, Request::Power}));
        QCOMPARE(parser.pending(), 0);
    }
}

void TestSimFrames::demodAnswerFields()
{
    const QByteArray a = demodwire::buildAnswer(1234, -56);
    QCOMPARE(a.size(), 52);
    QCOMPARE(a.mid(44, 4), bytes({0xD2, 0x04, 0, 0}));
    QCOMPARE(a.mid(48, 4), bytes({0xC8, 0xFF, 0xFF, 0xFF}));
    QCOMPARE(a.left(4), bytes({0x2E, 0xFD, 0x69, 0xB6}));
}

QTEST_APPLESS_MAIN(TestSimFrames)
#include "tst_simframes.moc"
