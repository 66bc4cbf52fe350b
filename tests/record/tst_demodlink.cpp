#include "demodlink.h"
#include "settingslabel.h"
#include "passdatastore.h"
#include "settings.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QtEndian>
#include <QtTest>

namespace {
QByteArray answer(qint32 power, qint32 snr, int size = DemodLink::AnswerSize)
{
    if (size < 52)
        return QByteArray(size, '\x55');
    uchar fields[8];
    qToLittleEndian<qint32>(power, fields);
    qToLittleEndian<qint32>(snr, fields + 4);
    QByteArray bytes(44, '\x55');
    bytes.append(reinterpret_cast<const char *>(fields), 8);
    bytes.append(QByteArray(size - 52, '\x55'));
    return bytes;
}

// A loopback port with nothing listening on it.
quint16 closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}
}

class TestDemodLink : public QObject
{
    Q_OBJECT

private:
    StationSettingsRecord m_settings;
    QTcpServer m_server;
    QTcpSocket *m_peer = nullptr; // the demodulator's side of the connection

    // Connects the link to the local server and returns the bytes the server got.
    QByteArray connectLink(DemodLink &link)
    {
        link.setEndpoint(QStringLiteral("127.0.0.1"), m_server.serverPort());
        QString text;
        bool rewrite = false;
        const qint64 result = link.checkDemodulator(m_settings, &text, &rewrite);
        if (result != 9 || !m_server.waitForNewConnection(2000))
            return QByteArray("<no connection>");
        m_peer = m_server.nextPendingConnection();
        if (!m_peer)
            return QByteArray("<no peer>");
        QTcpSocket *peer = m_peer;
        if (!QTest::qWaitFor([peer] { return peer->bytesAvailable() >= 9; }, 2000))
            return QByteArray("<nothing received>");
        return m_peer->readAll();
    }

    // Sends bytes from the demodulator and waits until the link holds all of them.
    bool deliver(DemodLink &link, const QByteArray &bytes)
    {
        const qint64 before = link.socket()->bytesAvailable();
        m_peer->write(bytes);
        m_peer->flush();
        QTcpSocket *socket = link.socket();
        const qint64 expected = before + bytes.size();
        return QTest::qWaitFor([socket, expected] { return socket->bytesAvailable() >= expected; },
                               2000);
    }

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void messagesByteForByte();
    void decodeAnswer_data();
    void decodeAnswer();
    void disabledNeverConnects();
    void failWithScanTexts_data();
    void failWithScanTexts();
    void okSendsConnectMessage();
    void liveConnectionKeepsLabel();
    void powerRequest();
    void readTakesOneSamplePerBlock();
    void readWaitsForRecordingConditions_data();
    void readWaitsForRecordingConditions();
    void shortBlockIsIgnored();
    void labelText();
};

void TestDemodLink::initTestCase()
{
    QVERIFY(m_server.listen(QHostAddress::LocalHost, 0));
}

void TestDemodLink::init()
{
    m_settings.reset();
    m_settings.Demodulator = true;
    m_settings.Feedback = true;
}

void TestDemodLink::cleanup()
{
    delete m_peer;
    m_peer = nullptr;
    m_settings.reset();
}

void TestDemodLink::messagesByteForByte()
{
    QCOMPARE(DemodLink::statusProbeMessage(), QByteArray::fromHex("2EFD69B601000000"));
    QCOMPARE(DemodLink::connectMessage(), QByteArray::fromHex("2EFD69B62F00010001"));
    QCOMPARE(DemodLink::powerRequestMessage(), QByteArray::fromHex("2EFD69B630000000"));
}

void TestDemodLink::decodeAnswer_data()
{
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<float>("power");
    QTest::addColumn<float>("snr");

    QTest::newRow("example") << answer(1234, -56) << true << 123.4f << -5.6f;
    QTest::newRow("extremes") << answer(-2147483647 - 1, 2147483647) << true
                              << float(-2147483647 - 1) / 10.0f << 2147483647.0f / 10.0f;
    QTest::newRow("longer block: first answer") << answer(100, 20) + answer(7, 7) << true << 10.0f
                                                << 2.0f;
    QTest::newRow("51 bytes") << answer(0, 0, 51) << false << 0.0f << 0.0f;
    QTest::newRow("empty") << QByteArray() << false << 0.0f << 0.0f;
}

void TestDemodLink::decodeAnswer()
{
    QFETCH(QByteArray, block);
    QFETCH(bool, ok);
    QFETCH(float, power);
    QFETCH(float, snr);
    float p = 0;
    float s = 0;
    QCOMPARE(DemodLink::decodeAnswer(block, &p, &s), ok);
    if (ok) {
        QVERIFY(p == power);
        QVERIFY(s == snr);
    }
}

void TestDemodLink::disabledNeverConnects()
{
    m_settings.Demodulator = false;
    m_settings.Feedback = false;
    m_settings.ScanModeRL = true;
    m_settings.ScanModeFB = true;
    DemodLink link;
    link.setEndpoint(QStringLiteral("127.0.0.1"), m_server.serverPort());
    QString text = QStringLiteral("stale");
    bool rewrite = false;
    QCOMPARE(link.checkDemodulator(m_settings, &text, &rewrite), qint64(0));
    QCOMPARE(text, QStringLiteral(", Demod. disabled"));
    QVERIFY(rewrite);
    QCOMPARE(link.lastDemodResult(), qint64(0));
    QCOMPARE(link.socket()->state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(link.sendPowerRequest(), qint64(-1));
    QCOMPARE(link.lastDemodResult(), qint64(-1));
}

void TestDemodLink::failWithScanTexts_data()
{
    QTest::addColumn<bool>("feedback");
    QTest::addColumn<bool>("rl");
    QTest::addColumn<bool>("fb");
    QTest::addColumn<QString>("text");

    QTest::newRow("feedback on") << true << false << false << QStringLiteral(", Demod. fail");
    QTest::newRow("feedback off, RL")
        << false << true << false << QStringLiteral(", Demod. fail, Feedback off, ScanModeRL");
    QTest::newRow("all three")
        << false << true << true
        << QStringLiteral(", Demod. fail, Feedback off, ScanModeRL, ScanModeFB");
    QTest::newRow("FB only") << true << false << true << QStringLiteral(", Demod. fail, ScanModeFB");
}

void TestDemodLink::failWithScanTexts()
{
    QFETCH(bool, feedback);
    QFETCH(bool, rl);
    QFETCH(bool, fb);
    QFETCH(QString, text);
    m_settings.Feedback = feedback;
    m_settings.ScanModeRL = rl;
    m_settings.ScanModeFB = fb;

    DemodLink link;
    link.setEndpoint(QStringLiteral("127.0.0.1"), closedPort());
    // Every idle check retries and rebuilds the text.
    for (int attempt = 0; attempt < 2; ++attempt) {
        QString got;
        bool rewrite = false;
        QCOMPARE(link.checkDemodulator(m_settings, &got, &rewrite), qint64(0));
        QCOMPARE(got, text);
        QVERIFY(rewrite);
    }
}

void TestDemodLink::okSendsConnectMessage()
{
    m_settings.Feedback = false;
    m_settings.ScanModeFB = true;
    DemodLink link;
    link.setEndpoint(QStringLiteral("127.0.0.1"), m_server.serverPort());
    QString text;
    bool rewrite = false;
    QCOMPARE(link.checkDemodulator(m_settings, &text, &rewrite), qint64(9));
    QCOMPARE(text, QStringLiteral(", Demod. ok, Feedback off, ScanModeFB"));
    QVERIFY(rewrite);
    QCOMPARE(link.lastDemodResult(), qint64(9));
    QVERIFY(m_server.waitForNewConnection(2000));
    m_peer = m_server.nextPendingConnection();
    QTRY_COMPARE_WITH_TIMEOUT(m_peer->bytesAvailable(), qint64(9), 2000);
    QCOMPARE(m_peer->readAll(), QByteArray::fromHex("2EFD69B62F00010001"));
}

void TestDemodLink::liveConnectionKeepsLabel()
{
    DemodLink link;
    QCOMPARE(connectLink(link), DemodLink::connectMessage());
    QString text = QStringLiteral("stale");
    bool rewrite = true;
    QCOMPARE(link.checkDemodulator(m_settings, &text, &rewrite), qint64(1));
    QVERIFY(!rewrite);
    QCOMPARE(text, QString());
    QCOMPARE(link.lastDemodResult(), qint64(1));
    QTRY_COMPARE_WITH_TIMEOUT(m_peer->bytesAvailable(), qint64(8), 2000);
    QCOMPARE(m_peer->readAll(), QByteArray::fromHex("2EFD69B601000000"));
}

void TestDemodLink::powerRequest()
{
    DemodLink link;
    QCOMPARE(link.sendPowerRequest(), qint64(-1));
    QCOMPARE(connectLink(link), DemodLink::connectMessage());
    QCOMPARE(link.sendPowerRequest(), qint64(8));
    QCOMPARE(link.lastDemodResult(), qint64(8));
    QTRY_COMPARE_WITH_TIMEOUT(m_peer->bytesAvailable(), qint64(8), 2000);
    QCOMPARE(m_peer->readAll(), QByteArray::fromHex("2EFD69B630000000"));
}

void TestDemodLink::readTakesOneSamplePerBlock()
{
    DemodLink link;
    QCOMPARE(connectLink(link), DemodLink::connectMessage());
    QSignalSpy ready(&link, &DemodLink::dataReady);
    PassDataStore store;
    store.allocate(1000, 20);
    store.start();

    QVERIFY(deliver(link, answer(1234, -56) + answer(500, 500)));
    QVERIFY(ready.count() >= 1);
    QCOMPARE(link.readTcpData(m_settings, DemodLink::Tracking, store), DemodLink::SampleAdded);
    QCOMPARE(link.socket()->bytesAvailable(), qint64(0));
    QCOMPARE(store.openSampleCount(), 1u);
    QVERIFY(store.powerSampleAt(0, 0) == 123.4f);
    QVERIFY(store.snrSampleAt(0, 0) == -5.6f);
}

void TestDemodLink::readWaitsForRecordingConditions_data()
{
    QTest::addColumn<bool>("demodulator");
    QTest::addColumn<quint16>("statusWord");
    QTest::addColumn<int>("result");

    QTest::newRow("tracking") << true << quint16(0x8800) << int(DemodLink::SampleAdded);
    QTest::newRow("in start position") << true << quint16(0x0041) << int(DemodLink::SampleAdded);
    QTest::newRow("going to start") << true << quint16(0x0200) << int(DemodLink::NotRead);
    QTest::newRow("idle") << true << quint16(0x0000) << int(DemodLink::NotRead);
    QTest::newRow("setting off") << false << quint16(0x0800) << int(DemodLink::NotRead);
}

void TestDemodLink::readWaitsForRecordingConditions()
{
    QFETCH(bool, demodulator);
    QFETCH(quint16, statusWord);
    QFETCH(int, result);
    DemodLink link;
    QCOMPARE(connectLink(link), DemodLink::connectMessage());
    m_settings.Demodulator = demodulator;
    PassDataStore store;
    store.allocate(10, 20);
    store.start();
    QVERIFY(deliver(link, answer(-300, 45)));

    QCOMPARE(int(link.readTcpData(m_settings, statusWord, store)), result);
    if (result == DemodLink::NotRead) {
        // Left queued: a later arrival under the right conditions reads it all and
        // takes the first answer.
        QCOMPARE(link.socket()->bytesAvailable(), qint64(DemodLink::AnswerSize));
        QCOMPARE(store.openSampleCount(), 0u);
        m_settings.Demodulator = true;
        QVERIFY(deliver(link, answer(999, 999)));
        QCOMPARE(link.readTcpData(m_settings, DemodLink::InStartPosition, store), DemodLink::SampleAdded);
    }
    QCOMPARE(store.openSampleCount(), 1u);
    QVERIFY(store.powerSampleAt(0, 0) == -30.0f);
    QVERIFY(store.snrSampleAt(0, 0) == 4.5f);
}

void TestDemodLink::shortBlockIsIgnored()
{
    DemodLink link;
    QCOMPARE(connectLink(link), DemodLink::connectMessage());
    PassDataStore store;
    store.allocate(10, 20);
    store.start();
    QVERIFY(deliver(link, answer(0, 0, 51)));
    QCOMPARE(link.readTcpData(m_settings, DemodLink::Tracking, store), DemodLink::ShortBlock);
    QCOMPARE(store.openSampleCount(), 0u);
    // The next whole answer is read on its own.
    QVERIFY(deliver(link, answer(10, 20)));
    QCOMPARE(link.readTcpData(m_settings, DemodLink::Tracking, store), DemodLink::SampleAdded);
    QVERIFY(store.powerSampleAt(0, 0) == 1.0f);
    // A store that takes no sample still empties the socket.
    store.release();
    QVERIFY(deliver(link, answer(10, 20)));
    QCOMPARE(link.readTcpData(m_settings, DemodLink::Tracking, store), DemodLink::StoreRefused);
    QCOMPARE(link.socket()->bytesAvailable(), qint64(0));
}

void TestDemodLink::labelText()
{
    QCOMPARE(settingsLabelText(QStringLiteral(" Focus 1400mm, Time zone 3"),
                               QStringLiteral(", Demod. disabled")),
             QStringLiteral(" Focus 1400mm, Time zone 3, Demod. disabled  "));
    QCOMPARE(settingsLabelText(QStringLiteral("S"), QString()), QStringLiteral("S  "));
}

QTEST_GUILESS_MAIN(TestDemodLink)
#include "tst_demodlink.moc"
