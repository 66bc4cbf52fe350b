// The programmer's transitions walked as a pure function: every frame byte for
// byte, the progress texts and where a run fails. A few runs of flashprg
// against a scripted boot loader on a pseudo-terminal: answers taken as soon
// as they are complete, the timeouts and the port's parity.
#include "bootstep.h"
#include "flashprg.h"
#include "flashworkflow.h"
#include "hexbytes.h"
#include "ptypeer.h"
#include "rs.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>

namespace {

QByteArray image(int size)
{
    QByteArray out(size, '\0');
    for (int i = 0; i < size; ++i)
        out[i] = char(quint8(i * i / 3 + 0x5A * (i >> 8)));
    return out;
}

// The controller's side: frames cut by 20 ms of silence, each answered at once.
class ScriptedLoader
{
public:
    ScriptedLoader(const QString &dir, int com) : m_peer(dir, com)
    {
        clock.start();
        m_peer.cutFrames(
            20,
            [this](const QByteArray &frame) {
                frames.append(frame);
                lastFrame.start();
                const QByteArray reply = answer(frames.size() - 1, frame);
                answerMs.append(clock.elapsed());
                if (!reply.isEmpty())
                    m_peer.write(reply);
            },
            [this] { frameStartMs.append(clock.elapsed()); });
    }
    bool isValid() const { return m_peer.isValid(); }

    QList<QByteArray> frames;
    QList<qint64> frameStartMs; // first byte of each frame
    QList<qint64> answerMs;     // each answer written
    QElapsedTimer clock;
    QElapsedTimer lastFrame;
    std::function<QByteArray(int, const QByteArray &)> answer;

private:
    PtyPeer m_peer;
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

// The exchange as the transitions lead it, each answer judged by its length
// first. It stops where the run ends or would wait for its timeout.
struct Walk
{
    QList<QByteArray> frames;
    QStringList texts;
    BootPhase end = BootPhase::Sync;
    bool everyStepSent = true; // each taken answer before the end sent a frame
};
Walk walk(const QByteArray &img, const std::function<QByteArray(BootPhase, int)> &answer)
{
    const BootImage image = BootImage::of(img);
    BootState state;
    Walk w;
    w.frames << bootStartFrame();
    for (int i = 0; i < 10000 && state.phase != BootPhase::Done && state.phase != BootPhase::Failed; ++i) {
        const QByteArray got = answer(state.phase, i);
        if (answerFit(state.phase, got.size()) != AnswerFit::Take)
            break;
        const BootStep step = bootTransition(image, state, got.left(16));
        w.texts << step.progress;
        const bool goesOn = step.next.phase != BootPhase::Done && step.next.phase != BootPhase::Failed;
        w.everyStepSent = w.everyStepSent && step.sendFrame == goesOn && step.send.isEmpty() != goesOn;
        if (step.sendFrame)
            w.frames << step.send;
        state = step.next;
    }
    w.end = state.phase;
    return w;
}

} // namespace

Q_DECLARE_METATYPE(BootPhase)
Q_DECLARE_METATYPE(AnswerFit)


class TestFlashprg : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        qputenv("TUVARN_PORT_DIR", m_dir.path().toUtf8());
        qRegisterMetaType<QSerialPort::SerialPortError>();
    }

    void transitions_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("failAt"); // answer replaced by failReply (-1: none)
        QTest::addColumn<QByteArray>("failReply");
        QTest::addColumn<BootPhase>("end");
        QTest::addColumn<QList<QByteArray>>("frames");
        QTest::addColumn<QStringList>("texts");

        const QByteArray i512 = image(512), i300 = image(300), i1024 = image(1024);
        const QStringList head = {QStringLiteral("Loaded 512 bytes"), QStringLiteral("\nprogramming mode ok")};
        const QStringList erased = head + QStringList{QStringLiteral("\nbootloader ok"), QStringLiteral("\nmemory erased ok")};
        const QList<QByteArray> all512 = exchange(i512, "00 00 00",
            {{"08 00 00 00 08", 0, 256, "FF", "69"}, {"08 00 01 00 09", 256, 256, "FF", "0A"}});

        QTest::newRow("512 bytes: two blocks") << 512 << -1 << QByteArray() << BootPhase::Done << all512
                                               << erased + QStringList{".", "."};
        QTest::newRow("300 bytes: block and tail of 44")
            << 300 << -1 << QByteArray() << BootPhase::Done
            << exchange(i300, "00 00 00", {{"08 00 00 00 08", 0, 256, "FF", "69"}, {"08 00 01 00 09", 256, 44, "2B", "4D"}})
            << QStringList{QStringLiteral("Loaded 300 bytes"), QStringLiteral("\nprogramming mode ok"),
                           QStringLiteral("\nbootloader ok"), QStringLiteral("\nmemory erased ok"), ".", "."};
        QTest::newRow("1024 bytes: two pages")
            << 1024 << -1 << QByteArray() << BootPhase::Done
            << exchange(i1024, "01 00 01 00",
                        {{"08 00 00 00 08", 0, 256, "FF", "69"}, {"08 00 01 00 09", 256, 256, "FF", "0A"},
                         {"08 00 02 00 0A", 512, 256, "FF", "0C"}, {"08 00 03 00 0B", 768, 256, "FF", "9D"}})
            << QStringList{QStringLiteral("Loaded 1024 bytes"), QStringLiteral("\nprogramming mode ok"),
                           QStringLiteral("\nbootloader ok"), QStringLiteral("\nmemory erased ok"), ".", ".", ".", "."};
        QTest::newRow("silent boot loader") << 512 << 0 << QByteArray() << BootPhase::Sync << all512.mid(0, 1) << QStringList();
        QTest::newRow("NACK of the start byte") << 512 << 0 << hex("1F") << BootPhase::Failed << all512.mid(0, 1) << QStringList();
        QTest::newRow("Get reply of 14 bytes")
            << 512 << 1 << GetReply.left(13) + hex("79") << BootPhase::GetReply << all512.mid(0, 2) << head;
        QTest::newRow("Get reply of 16 bytes")
            << 512 << 1 << GetReply + hex("79") << BootPhase::GetReply << all512.mid(0, 2) << head;
        QTest::newRow("Get reply without the last ACK")
            << 512 << 1 << GetReply.left(14) + hex("1F") << BootPhase::Failed << all512.mid(0, 2) << head;
        QTest::newRow("Get refused: left for the timeout") << 512 << 1 << hex("1F") << BootPhase::GetReply << all512.mid(0, 2) << head;
        QTest::newRow("NACK of the erase list") << 512 << 3 << hex("1F") << BootPhase::Failed << all512.mid(0, 4)
                                                << head + QStringList{QStringLiteral("\nbootloader ok")};
        QTest::newRow("two bytes for an ACK") << 512 << 4 << hex("79 79") << BootPhase::WriteCommand << all512.mid(0, 5) << erased;
        QTest::newRow("garbage for an ACK") << 512 << 5 << hex("00") << BootPhase::Failed << all512.mid(0, 6) << erased;
        QTest::newRow("NACK of a block") << 512 << 6 << hex("1F") << BootPhase::Failed << all512.mid(0, 7)
                                         << erased + QStringList{"."};
        QTest::newRow("NACK of the Go address") << 512 << 11 << hex("1F") << BootPhase::Failed << all512 << erased + QStringList{".", "."};
    }
    void transitions()
    {
        QFETCH(int, size);
        QFETCH(int, failAt);
        QFETCH(QByteArray, failReply);
        QFETCH(BootPhase, end);
        QFETCH(QList<QByteArray>, frames);
        QFETCH(QStringList, texts);

        const Walk w = walk(image(size), [&](BootPhase phase, int index) {
            if (index == failAt)
                return failReply;
            return phase == BootPhase::GetReply ? GetReply : hex("79");
        });
        QCOMPARE(int(w.end), int(end));
        QVERIFY(w.everyStepSent);
        QCOMPARE(w.frames.size(), frames.size());
        for (int i = 0; i < frames.size(); ++i)
            QCOMPARE(w.frames[i].toHex(' '), frames[i].toHex(' '));
        QCOMPARE(w.texts, texts);
    }

    void afterTheEnd()
    {
        const BootImage img = BootImage::of(image(512));
        // A late ACK after a failure sends nothing but starts the timeout over.
        BootStep step = bootTransition(img, {BootPhase::Failed, 1}, hex("79"));
        QCOMPARE(int(step.next.phase), int(BootPhase::Failed));
        QVERIFY(step.sendFrame);
        QVERIFY(step.send.isEmpty());
        step = bootTransition(img, {BootPhase::Failed, 1}, hex("1F"));
        QVERIFY(!step.sendFrame);
        // An image without a tail where the tail is due fails without a dot.
        step = bootTransition(img, {BootPhase::WriteAddress, 2}, hex("79"));
        QCOMPARE(int(step.next.phase), int(BootPhase::Failed));
        QVERIFY(!step.sendFrame);
        QVERIFY(step.progress.isEmpty());
        // The Go address acknowledged: done, nothing more goes out.
        step = bootTransition(img, {BootPhase::GoAddress, 2}, hex("79"));
        QCOMPARE(int(step.next.phase), int(BootPhase::Done));
        QVERIFY(!step.sendFrame);
        // A reception cut to the largest accepted one is not a Get reply.
        step = bootTransition(img, {BootPhase::GetReply, 0}, GetReply.left(14));
        QCOMPARE(int(step.next.phase), int(BootPhase::Failed));
    }

    void answerLengths_data()
    {
        QTest::addColumn<BootPhase>("phase");
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<int>("known");
        QTest::addColumn<int>("available");
        QTest::addColumn<AnswerFit>("fit");
        QTest::newRow("ACK") << BootPhase::EraseList << hex("79") << 1 << 1 << AnswerFit::Take;
        QTest::newRow("ACK and more") << BootPhase::Block << hex("79 79") << 1 << 2 << AnswerFit::Discard;
        QTest::newRow("NACK of the start") << BootPhase::Sync << hex("1F") << 1 << 1 << AnswerFit::Take;
        QTest::newRow("nothing yet after the start") << BootPhase::Sync << QByteArray() << 1 << 0 << AnswerFit::Discard;
        QTest::newRow("Get: ACK only") << BootPhase::GetReply << hex("79") << -1 << 1 << AnswerFit::Wait;
        QTest::newRow("Get: count 11") << BootPhase::GetReply << hex("79 0B") << 15 << 15 << AnswerFit::Take;
        QTest::newRow("Get: count 11, short") << BootPhase::GetReply << hex("79 0B") << 15 << 14 << AnswerFit::Wait;
        QTest::newRow("Get: count 12") << BootPhase::GetReply << hex("79 0C") << 16 << 16 << AnswerFit::Wait;
        QTest::newRow("Get: count 255") << BootPhase::GetReply << hex("79 FF") << 259 << 16 << AnswerFit::Wait;
        QTest::newRow("Get refused") << BootPhase::GetReply << hex("1F") << 1 << 1 << AnswerFit::Wait;
    }
    void answerLengths()
    {
        QFETCH(BootPhase, phase);
        QFETCH(QByteArray, head);
        QFETCH(int, known);
        QFETCH(int, available);
        QFETCH(AnswerFit, fit);
        QCOMPARE(knownAnswerLength(phase, head), known);
        QCOMPARE(int(answerFit(phase, available)), int(fit));
    }

    // Over a pseudo-terminal: a whole run and two that must fail as before.
    void lineRuns_data()
    {
        QTest::addColumn<int>("failAt");
        QTest::addColumn<QByteArray>("failReply");
        QTest::addColumn<int>("err");
        QTest::addColumn<int>("frameCount");
        QTest::newRow("1024 bytes") << -1 << QByteArray() << 0 << 18;
        QTest::newRow("two bytes for an ACK") << 4 << hex("79 79") << 1 << 5;
        QTest::newRow("Get reply of 14 bytes") << 1 << GetReply.left(13) + hex("79") << 1 << 2;
    }
    void lineRuns()
    {
        QFETCH(int, failAt);
        QFETCH(QByteArray, failReply);
        QFETCH(int, err);
        QFETCH(int, frameCount);

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
        const QByteArray img = image(1024);
        auto *run = new flashprg(nullptr, &port, img, 16);
        QCOMPARE(portErrors.size(), 1);
        QCOMPARE(portErrors.first().first().value<QSerialPort::SerialPortError>(),
                 QSerialPort::UnsupportedOperationError);
        QSignalSpy finished(run, &flashprg::finish);
        QSignalSpy progress(run, &flashprg::progresS);
        QVERIFY(finished.wait(20000));
        const qint64 afterLastFrame = loader.lastFrame.elapsed();
        QCOMPARE(int(finished.first().first().value<char>()), err);
        if (err == 1) {
            // Two seconds after the last frame (plus the 100 ms a garbled reply
            // waits), and not a second timeout later: a busy machine delivers
            // the timer late, but never a whole timeout late in one go.
            QVERIFY2(afterLastFrame >= 1850 && afterLastFrame < 3950, qPrintable(QString::number(afterLastFrame)));
        }
        QTRY_COMPARE_WITH_TIMEOUT(loader.answerMs.size(), frameCount, 1000);
        QCOMPARE(loader.frames.size(), frameCount);
        // The frames on the line are the transitions' own.
        const Walk w = walk(img, [&](BootPhase, int index) { return loader.answer(index, loader.frames.value(index)); });
        for (int i = 0; i < frameCount; ++i)
            QCOMPARE(loader.frames[i].toHex(' '), w.frames.value(i).toHex(' '));
        QStringList got;
        for (const QList<QVariant> &args : progress)
            got << args.first().toString();
        QCOMPARE(got, w.texts);
        if (err == 0) {
            // Each complete answer is taken at once, not after 100 ms of silence
            // (the old rule never reacts under 100 ms, however idle the machine).
            QList<qint64> reactions;
            for (int i = 0; i + 1 < frameCount; ++i)
                reactions << loader.frameStartMs[i + 1] - loader.answerMs[i];
            std::sort(reactions.begin(), reactions.end());
            QVERIFY2(reactions[reactions.size() / 2] < 90, qPrintable(QString::number(reactions[reactions.size() / 2])));
        }
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
        FlashWorkflowState w;
        QString label = appendProgress(w, QStringLiteral("x"), QString());
        label = appendProgress(w, label, QStringLiteral("\nmemory erased ok"));
        for (int i = 0; i < 51; ++i)
            label = appendProgress(w, label, QStringLiteral("."));
        QCOMPARE(label, QStringLiteral("x\nmemory erased ok\n") + QString(50, '.') + QStringLiteral("\n."));
        QCOMPARE(appendProgress(w, QStringLiteral("a"), QString()), QStringLiteral("a"));
        QCOMPARE(appendProgress(w, QStringLiteral("a"), QStringLiteral(".")), QStringLiteral("a\n."));
    }
};

QTEST_GUILESS_MAIN(TestFlashprg)
#include "tst_flashprg.moc"
