// The stand-in as a process, driven the way the console drives it.

#include "demodwire.h"
#include "simline.h"

#include <QtTest>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>

namespace {

qint64 msOf(const QJsonObject &o)
{
    return QDateTime::fromString(o.value(QStringLiteral("t")).toString(), Qt::ISODateWithMs).toMSecsSinceEpoch();
}

} // namespace

class TestSimProcess : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void statusRequestAndPeriodicReplies();
    void oddSplitsAreJoinedOrRejected();
    void badChecksumSetsReceiveError();
    void passTimelineWithCorrections();
    void demodulatorAnswersFromStream();
    void controlChannelSendsGarbage();
    void cleanupTestCase();

private:
    QList<QJsonObject> transcript(const QString &kind) const;

    QTemporaryDir m_dir;
    QProcess m_sim;
    QByteArray m_stdout;
    QString m_link;
    quint16 m_demodPort = 0;
    LineEnd m_line;
};

void TestSimProcess::initTestCase()
{
    QVERIFY(m_dir.isValid());
    connect(&m_sim, &QProcess::readyReadStandardOutput, this, [this] { m_stdout += m_sim.readAllStandardOutput(); });
    m_sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_sim.start(QStringLiteral(TUVARN_BIN_DIR "/station-sim"),
                {QStringLiteral("--port-dir"), m_dir.path(), QStringLiteral("--port"), QStringLiteral("7"),
                 QStringLiteral("--demod-port"), QStringLiteral("0"),
                 QStringLiteral("--transcript"), m_dir.filePath(QStringLiteral("t.jsonl")),
                 QStringLiteral("--travel"), QStringLiteral("1"), QStringLiteral("--own-offset"), QStringLiteral("3"),
                 QStringLiteral("--seed"), QStringLiteral("5")});
    QVERIFY(m_sim.waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(m_stdout.contains("ready "), 5000);
    const QString ready = QString::fromUtf8(m_stdout).section(QLatin1Char('\n'), 0, 0);
    m_link = m_dir.filePath(QStringLiteral("COM7"));
    QVERIFY2(ready.contains(QStringLiteral("port=") + m_link), qPrintable(ready));
    m_demodPort = quint16(ready.section(QStringLiteral("demod="), 1).toUInt());
    QVERIFY(m_demodPort != 0);
    QVERIFY(QFileInfo(m_link).isSymLink());
    QVERIFY(m_line.open(m_link));
}

QList<QJsonObject> TestSimProcess::transcript(const QString &kind) const
{
    QFile f(m_dir.filePath(QStringLiteral("t.jsonl")));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QList<QJsonObject> out;
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (line.isEmpty())
            continue;
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        if (o.value(QStringLiteral("kind")).toString() == kind)
            out.append(o);
    }
    return out;
}

void TestSimProcess::statusRequestAndPeriodicReplies()
{
    // Let a first tick pass, then ask.
    QTRY_VERIFY_WITH_TIMEOUT(m_line.repliesSince(0, 0) >= 1, 3000);
    const int from = m_line.receptions.size();
    const int commandsBefore = transcript(QStringLiteral("command")).size();
    m_line.send(QByteArray("\x0B\x00\x00\x00", 4));
    QTRY_VERIFY_WITH_TIMEOUT(m_line.receptions.size() > from, 3000);
    QVERIFY(m_line.receptions[from].isReply());

    // Times from the stand-in's own transcript, not from when this busy side
    // got round to reading: the reply leaves soon after the request came in.
    QTRY_COMPARE_WITH_TIMEOUT(transcript(QStringLiteral("command")).size(), commandsBefore + 1, 3000);
    const qint64 askedAt = msOf(transcript(QStringLiteral("command")).last());
    qint64 repliedAt = 0;
    for (const QJsonObject &o : transcript(QStringLiteral("status")))
        if (o.value(QStringLiteral("why")).toString() == QLatin1String("status request") && msOf(o) >= askedAt
            && repliedAt == 0)
            repliedAt = msOf(o);
    QVERIFY(repliedAt != 0);
    QVERIFY2(repliedAt - askedAt < 600, qPrintable(QString::number(repliedAt - askedAt)));

    QTRY_VERIFY_WITH_TIMEOUT(m_line.receptions.size() >= from + 4, 8000);
    for (int i = from; i < m_line.receptions.size(); ++i) {
        const Reception &r = m_line.receptions[i];
        QVERIFY2(r.isReply(), r.bytes.toHex().constData()); // nothing but whole replies
        QCOMPARE(int(r.bytes[4]), 3);
        QCOMPARE(int(r.bytes[5]), 7);
        QCOMPARE(r.status() & 0x3000, 0x3000);
        QVERIFY(quint8(r.bytes[0]) >= 1 && quint8(r.bytes[0]) <= 5); // kinds rotate while idle
    }
    QVERIFY(m_line.receptions[from + 1].bytes[0] != m_line.receptions[from + 2].bytes[0]);
    // Each reply carries the UTC second it was sent in.
    const QList<QJsonObject> sent = transcript(QStringLiteral("status"));
    QVERIFY(sent.size() >= 4);
    for (const QJsonObject &o : sent) {
        const qint32 second = QDateTime::fromMSecsSinceEpoch(msOf(o), Qt::UTC).time().msecsSinceStartOfDay() / 1000;
        const qint32 diff = std::abs(second - o.value(QStringLiteral("timeWord")).toInt());
        QVERIFY2(diff <= 1 || diff >= 86399, qPrintable(o.value(QStringLiteral("t")).toString()));
    }
}

void TestSimProcess::oddSplitsAreJoinedOrRejected()
{
    const int rejectedBefore = transcript(QStringLiteral("rejected")).size();
    const int commandsBefore = transcript(QStringLiteral("command")).size();
    // Two halves a few milliseconds apart make one frame.
    m_line.send(QByteArray("\x0B\x00", 2));
    QTest::qWait(3);
    m_line.send(QByteArray("\x00\x00", 2));
    QTRY_COMPARE_WITH_TIMEOUT(transcript(QStringLiteral("command")).size(), commandsBefore + 1, 2000);
    // Halves far apart are two broken receptions; an unknown code is refused.
    m_line.send(QByteArray("\x03\x00\x00", 3));
    QTest::qWait(150);
    m_line.send(QByteArray("\x00\xF7\xFF", 3));
    QTest::qWait(150);
    m_line.send(QByteArray("\x08\x00\x00\x00", 4));
    QTRY_COMPARE_WITH_TIMEOUT(transcript(QStringLiteral("rejected")).size(), rejectedBefore + 3, 2000);
    const QList<QJsonObject> rejected = transcript(QStringLiteral("rejected"));
    QVERIFY(rejected.last().value(QStringLiteral("reason")).toString().contains(QStringLiteral("unknown command code 8")));
    QCOMPARE(m_sim.state(), QProcess::Running);
}

void TestSimProcess::badChecksumSetsReceiveError()
{
    QByteArray frame = uploadFrame(secondOfDayNow() + 100, 4);
    frame[frame.size() - 2] = char(frame[frame.size() - 2] ^ 0x10);
    const int uploadsBefore = transcript(QStringLiteral("upload")).size();
    const int from = m_line.receptions.size();
    m_line.send(frame);
    // Replies may still carry the receive error of the broken frames before;
    // go by the stand-in's record of this upload and of its answer to it.
    QTRY_COMPARE_WITH_TIMEOUT(transcript(QStringLiteral("upload")).size(), uploadsBefore + 1, 5000);
    const QJsonObject upload = transcript(QStringLiteral("upload")).last();
    QCOMPARE(upload.value(QStringLiteral("checksumOk")).toBool(), false);
    QCOMPARE(upload.value(QStringLiteral("accepted")).toBool(), false);
    QCOMPARE(upload.value(QStringLiteral("n")).toInt(), 4);
    QJsonObject answer;
    QTRY_VERIFY_WITH_TIMEOUT([&] {
        for (const QJsonObject &o : transcript(QStringLiteral("status")))
            if (msOf(o) >= msOf(upload) && o.value(QStringLiteral("why")).toString() == QLatin1String("receive error"))
                answer = o;
        return !answer.isEmpty();
    }(), 3000);
    const int word = answer.value(QStringLiteral("statusWord")).toInt();
    QCOMPARE(word & 0x0001, 0x0001);
    QCOMPARE(word & 0x0010, 0);
    // And on the line: no reply since says a track was loaded.
    QCOMPARE(m_line.repliesSince(from, 0x0010), 0);
}

void TestSimProcess::passTimelineWithCorrections()
{
    const QList<qint8> answers {5, -3, 0x40};
    QList<quint32> trackedIndex;
    QList<qint8> byte10AtRequest;
    QList<int> requestAfterPoint;
    qint8 lastByte10 = 0;
    int lastPoint = -1;
    m_line.onReception = [&](const Reception &r) {
        if (r.isReply() && (r.status() & 0x0800)) {
            lastPoint = int(r.param() & 0xFFFF);
            lastByte10 = qint8(r.bytes[10]);
            if (trackedIndex.isEmpty() || trackedIndex.last() != quint32(lastPoint))
                trackedIndex.append(quint32(lastPoint));
        } else if (r.isRequest()) {
            requestAfterPoint.append(lastPoint);
            byte10AtRequest.append(lastByte10);
            const int k = requestAfterPoint.size() - 1;
            if (k < answers.size())
                m_line.send(QByteArray(1, char(answers[k])));
        }
    };

    const int from = m_line.receptions.size();
    const qint32 start = secondOfDayNow() + 6;
    m_line.send(uploadFrame(start, 3));
    QTRY_VERIFY_WITH_TIMEOUT(m_line.repliesSince(from, 0x0010) >= 1, 3000);
    // The good upload clears the receive error: from the reply that says the
    // track is loaded on (replies sent before it may still carry the error).
    int loaded = from;
    while (!(m_line.receptions[loaded].isReply() && (m_line.receptions[loaded].status() & 0x0010)))
        ++loaded;
    QCOMPARE(m_line.repliesSince(loaded, 0x0001), 0);
    QTRY_VERIFY_WITH_TIMEOUT(m_line.repliesSince(from, 0x8000) >= 1, 20000);
    QTRY_VERIFY_WITH_TIMEOUT(m_line.receptions.last().isReply() && (m_line.receptions.last().status() & 0x8010) == 0, 6000);
    m_line.onReception = nullptr;

    QVERIFY(m_line.repliesSince(from, 0x0210) >= 1); // going to start
    QList<quint32> countdown;
    for (int i = from; i < m_line.receptions.size(); ++i) {
        const Reception &r = m_line.receptions[i];
        if (r.isReply() && (r.status() & 0x0050) == 0x0050)
            countdown.append(r.param());
    }
    QVERIFY(countdown.size() >= 2);
    for (int i = 1; i < countdown.size(); ++i)
        QVERIFY(countdown[i] < countdown[i - 1]);
    QVERIFY(countdown.last() <= 2);
    QCOMPARE(trackedIndex, (QList<quint32>{0, 1, 2}));
    // One request per point, each after that point's tracking reply.
    QCOMPARE(requestAfterPoint, (QList<int>{0, 1, 2}));

    // The transcript says the same, request by request.
    QTRY_COMPARE_WITH_TIMEOUT(transcript(QStringLiteral("correction")).size(), 3, 2000);
    const QList<QJsonObject> requests = transcript(QStringLiteral("request"));
    const QList<QJsonObject> corrections = transcript(QStringLiteral("correction"));
    QCOMPARE(requests.size(), 3);
    for (int k = 0; k < 3; ++k) {
        QCOMPARE(requests[k].value(QStringLiteral("pointIndex")).toInt(), k);
        QCOMPARE(requests[k].value(QStringLiteral("byte10")).toInt(), int(byte10AtRequest[k]));
        QCOMPARE(corrections[k].value(QStringLiteral("pointIndex")).toInt(), k);
        QCOMPARE(corrections[k].value(QStringLiteral("value")).toInt(), int(answers[k]));
        QCOMPARE(corrections[k].value(QStringLiteral("byte10")).toInt(), int(byte10AtRequest[k]));
    }
    QCOMPARE(corrections[2].value(QStringLiteral("flag")).toString(), QStringLiteral("forward"));
    QVERIFY(transcript(QStringLiteral("correction-missed")).isEmpty());
    QVERIFY(!transcript(QStringLiteral("upload")).isEmpty());
    const QJsonObject upload = transcript(QStringLiteral("upload")).last();
    QCOMPARE(upload.value(QStringLiteral("startSecondOfDay")).toInt(), start);
    QCOMPARE(upload.value(QStringLiteral("outcome")).toString(), QStringLiteral("scheduled"));
}

void TestSimProcess::demodulatorAnswersFromStream()
{
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), m_demodPort);
    QVERIFY(socket.waitForConnected(3000));
    const QByteArray stream = demodwire::probeBytes() + demodwire::connectBytes() + demodwire::powerRequestBytes()
                              + demodwire::powerRequestBytes();
    socket.write(stream.left(13));
    QVERIFY(socket.waitForBytesWritten(1000));
    QTest::qWait(20);
    socket.write(stream.mid(13));
    QByteArray got;
    QTRY_VERIFY_WITH_TIMEOUT((got += socket.readAll()).size() >= 2 * 52, 3000);
    QCOMPARE(got.size(), 2 * 52); // the probe and the connect message get no answer
    const QList<QJsonObject> sent = transcript(QStringLiteral("demod"));
    QVERIFY(sent.size() >= 2);
    for (int i = 0; i < 2; ++i) {
        const QByteArray a = got.mid(52 * i, 52);
        const qint32 power = qint32(quint8(a[44]) | (quint8(a[45]) << 8) | (quint8(a[46]) << 16) | (quint8(a[47]) << 24));
        const QJsonObject line = sent[sent.size() - 2 + i];
        QCOMPARE(line.value(QStringLiteral("powerTenths")).toInt(), power);
        QCOMPARE(line.value(QStringLiteral("signal")).toBool(), false); // no pass: noise floor
        QVERIFY(std::abs(power - 200) < 20);
    }
}

void TestSimProcess::controlChannelSendsGarbage()
{
    const int from = m_line.receptions.size();
    m_sim.write("garbage 40\n");
    QTRY_VERIFY_WITH_TIMEOUT(m_stdout.contains("ok garbage 40"), 2000);
    bool seen = false;
    QTRY_VERIFY_WITH_TIMEOUT([&] {
        for (int i = from; i < m_line.receptions.size(); ++i)
            seen = seen || m_line.receptions[i].bytes.size() == 40;
        return seen;
    }(), 3000);
    m_sim.write("fly away\n");
    QTRY_VERIFY_WITH_TIMEOUT(m_stdout.contains("error: unknown command 'fly'"), 2000);
}

void TestSimProcess::cleanupTestCase()
{
    if (m_sim.state() != QProcess::Running)
        return;
    m_sim.terminate(); // SIGTERM: the orderly way out
    QVERIFY(m_sim.waitForFinished(5000));
    QCOMPARE(m_sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_sim.exitCode(), 0);
    QVERIFY(!QFileInfo(m_link).isSymLink());
    QCOMPARE(transcript(QStringLiteral("stop")).size(), 1);
}

QTEST_GUILESS_MAIN(TestSimProcess)
#include "tst_simprocess.moc"
