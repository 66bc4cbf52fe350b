// flashprg against a scripted boot loader on a pseudo-terminal: every frame
// byte for byte, the progress texts, the timeouts and the port's parity.
#include "flashprg.h"
#include "flashworkflow.h"
#include "rs.h"

#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

QByteArray image(int size)
{
    QByteArray out(size, '\0');
    for (int i = 0; i < size; ++i)
        out[i] = char(quint8(i * i / 3 + 0x5A * (i >> 8)));
    return out;
}

// The controller's side: frames cut by 20 ms of silence, each answered at once.
class ScriptedLoader : public QObject
{
public:
    ScriptedLoader(const QString &dir, int com)
    {
        m_master = posix_openpt(O_RDWR | O_NOCTTY);
        if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0)
            return;
        fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
        m_link = dir + QStringLiteral("/COM%1").arg(com);
        m_linked = QFile::link(QString::fromLocal8Bit(ptsname(m_master)), m_link);
        m_notifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, [this] {
            char buf[512];
            ssize_t n;
            while ((n = ::read(m_master, buf, sizeof buf)) > 0)
                m_pending.append(buf, int(n));
            m_silence.start();
        });
        m_silence.setSingleShot(true);
        m_silence.setInterval(20);
        connect(&m_silence, &QTimer::timeout, this, [this] {
            frames.append(m_pending);
            lastFrame.start();
            const QByteArray reply = answer(frames.size() - 1, m_pending);
            m_pending.clear();
            if (!reply.isEmpty())
                [[maybe_unused]] const auto n = ::write(m_master, reply.constData(), size_t(reply.size()));
        });
    }
    ~ScriptedLoader() override
    {
        if (m_linked)
            QFile::remove(m_link);
        if (m_master >= 0)
            ::close(m_master);
    }
    bool isValid() const { return m_linked; }

    QList<QByteArray> frames;
    QElapsedTimer lastFrame;
    std::function<QByteArray(int, const QByteArray &)> answer;

private:
    int m_master = -1;
    bool m_linked = false;
    QString m_link;
    QSocketNotifier *m_notifier = nullptr;
    QTimer m_silence;
    QByteArray m_pending;
};

const QByteArray GetReply = hex("79 0B 22 00 01 02 11 21 31 43 63 73 82 92 79");

// The whole exchange for an image whose blocks are described as (offset,
// length, data-frame head, XOR).
QList<QByteArray> exchange(const QByteArray &img, const char *eraseList,
                           const QList<std::tuple<const char *, int, int, const char *, const char *>> &blocks)
{
    QList<QByteArray> out = {hex("7F"), hex("00 FF"), hex("43 BC"), hex(eraseList)};
    for (const auto &[address, offset, length, head, x] : blocks)
        out << hex("31 CE") << hex(address) << hex(head) + img.mid(offset, length) + hex(x);
    out << hex("21 DE") << hex("08 00 00 00 08");
    return out;
}

} // namespace

class TestFlashprg : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        qputenv("TUVARN_PORT_DIR", m_dir.path().toUtf8());
        qRegisterMetaType<QSerialPort::SerialPortError>();
        resetFlashWorkflow();
    }

    void run_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("failAt");       // frame answered with failReply (-1: none)
        QTest::addColumn<QByteArray>("failReply");
        QTest::addColumn<int>("err");
        QTest::addColumn<QList<QByteArray>>("frames");
        QTest::addColumn<QStringList>("texts");

        const QByteArray i512 = image(512), i300 = image(300), i1024 = image(1024);
        const QStringList head = {QStringLiteral("Loaded 512 bytes"), QStringLiteral("\nprogramming mode ok")};
        const QStringList erased = head + QStringList{QStringLiteral("\nbootloader ok"), QStringLiteral("\nmemory erased ok")};
        const QList<QByteArray> all512 = exchange(i512, "00 00 00",
            {{"08 00 00 00 08", 0, 256, "FF", "69"}, {"08 00 01 00 09", 256, 256, "FF", "0A"}});

        QTest::newRow("512 bytes: two blocks") << 512 << -1 << QByteArray() << 0 << all512
                                               << erased + QStringList{".", "."};
        QTest::newRow("300 bytes: block and tail of 44")
            << 300 << -1 << QByteArray() << 0
            << exchange(i300, "00 00 00", {{"08 00 00 00 08", 0, 256, "FF", "69"}, {"08 00 01 00 09", 256, 44, "2B", "4D"}})
            << QStringList{QStringLiteral("Loaded 300 bytes"), QStringLiteral("\nprogramming mode ok"),
                           QStringLiteral("\nbootloader ok"), QStringLiteral("\nmemory erased ok"), ".", "."};
        QTest::newRow("1024 bytes: two pages")
            << 1024 << -1 << QByteArray() << 0
            << exchange(i1024, "01 00 01 00",
                        {{"08 00 00 00 08", 0, 256, "FF", "69"}, {"08 00 01 00 09", 256, 256, "FF", "0A"},
                         {"08 00 02 00 0A", 512, 256, "FF", "0C"}, {"08 00 03 00 0B", 768, 256, "FF", "9D"}})
            << QStringList{QStringLiteral("Loaded 1024 bytes"), QStringLiteral("\nprogramming mode ok"),
                           QStringLiteral("\nbootloader ok"), QStringLiteral("\nmemory erased ok"), ".", ".", ".", "."};
        QTest::newRow("silent boot loader") << 512 << 0 << QByteArray() << 1 << all512.mid(0, 1) << QStringList();
        QTest::newRow("Get reply of 14 bytes") << 512 << 1 << GetReply.left(13) + hex("79") << 1 << all512.mid(0, 2) << head;
        QTest::newRow("Get reply without the last ACK")
            << 512 << 1 << GetReply.left(14) + hex("1F") << 1 << all512.mid(0, 2) << head;
        QTest::newRow("NACK of the erase list") << 512 << 3 << hex("1F") << 1 << all512.mid(0, 4)
                                                << head + QStringList{QStringLiteral("\nbootloader ok")};
        QTest::newRow("two bytes for an ACK") << 512 << 4 << hex("79 79") << 1 << all512.mid(0, 5) << erased;
        QTest::newRow("NACK of the Go address") << 512 << 11 << hex("1F") << 1 << all512 << erased + QStringList{".", "."};
    }
    void run()
    {
        QFETCH(int, size);
        QFETCH(int, failAt);
        QFETCH(QByteArray, failReply);
        QFETCH(int, err);
        QFETCH(QList<QByteArray>, frames);
        QFETCH(QStringList, texts);

        ScriptedLoader loader(m_dir.path(), 4);
        QVERIFY(loader.isValid());
        loader.answer = [&](int index, const QByteArray &frame) {
            if (index == failAt)
                return failReply;
            return frame == hex("00 FF") ? GetReply : hex("79");
        };
        rs port(18, 4);
        QCOMPARE(port.open(), quint8(0));

        // A pseudo-terminal refuses parity: the switch to even parity shows
        // only as the port's refusal.
        QSignalSpy portErrors(port.port(), &QSerialPort::errorOccurred);
        auto *run = new flashprg(nullptr, &port, image(size), 16);
        QCOMPARE(portErrors.size(), 1);
        QCOMPARE(portErrors.first().first().value<QSerialPort::SerialPortError>(),
                 QSerialPort::UnsupportedOperationError);
        QSignalSpy finished(run, &flashprg::finish);
        QSignalSpy progress(run, &flashprg::progresS);
        QVERIFY(finished.wait(3000 + 400 * frames.size()));
        const qint64 afterLastFrame = loader.lastFrame.elapsed();
        QCOMPARE(int(finished.first().first().value<char>()), err);
        if (err == 1) {
            // Two seconds after the last frame (plus the 100 ms a reply waits).
            QVERIFY2(afterLastFrame >= 1850 && afterLastFrame <= 2600, qPrintable(QString::number(afterLastFrame)));
        }
        QTest::qWait(100); // nothing more goes out
        QCOMPARE(loader.frames.size(), frames.size());
        for (int i = 0; i < frames.size(); ++i)
            QCOMPARE(loader.frames[i].toHex(' '), frames[i].toHex(' '));
        QStringList got;
        for (const QList<QVariant> &args : progress)
            got << args.first().toString();
        QCOMPARE(got, texts);
        delete run;
        QCOMPARE(port.parity(), QSerialPort::NoParity);
        QCOMPARE(portErrors.size(), 1);
    }

    void refusedImages_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<QString>("problem");
        QTest::newRow("empty") << 0 << QStringLiteral("Firmware image is empty");
        QTest::newRow("page count 256") << 255 * 1024
                                        << QStringLiteral("Firmware image too big (261120 bytes, at most 261119)");
        QTest::newRow("largest") << 255 * 1024 - 1 << QString();
    }
    void refusedImages()
    {
        QFETCH(int, size);
        QFETCH(QString, problem);
        QCOMPARE(flashprg::imageProblem(size), problem);
        if (problem.isEmpty())
            return;
        ScriptedLoader loader(m_dir.path(), 5);
        rs port(18, 5);
        QCOMPARE(port.open(), quint8(0));
        QSignalSpy portErrors(port.port(), &QSerialPort::errorOccurred);
        flashprg run(nullptr, &port, QByteArray(size, '\x11'), 16);
        QVERIFY(portErrors.isEmpty()); // the port is not touched
        QSignalSpy finished(&run, &flashprg::finish);
        QVERIFY(finished.wait(200));
        QCOMPARE(int(finished.first().first().value<char>()), 1);
        QTest::qWait(50);
        QVERIFY(loader.frames.isEmpty());
    }

    void progressLines()
    {
        // 51 blocks: a line of 50 dots, then a new line for the 51st.
        QString label = appendProgress(QStringLiteral("x"), QString());
        label = appendProgress(label, QStringLiteral("\nmemory erased ok"));
        for (int i = 0; i < 51; ++i)
            label = appendProgress(label, QStringLiteral("."));
        QCOMPARE(label, QStringLiteral("x\nmemory erased ok\n") + QString(50, '.') + QStringLiteral("\n."));
        QCOMPARE(appendProgress(QStringLiteral("a"), QString()), QStringLiteral("a"));
        QCOMPARE(appendProgress(QStringLiteral("a"), QStringLiteral(".")), QStringLiteral("a\n."));
    }
};

QTEST_GUILESS_MAIN(TestFlashprg)
#include "tst_flashprg.moc"
