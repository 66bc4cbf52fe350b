// The controller link after a programming run: the window hands the port to
// the programmer and must read the controller's replies again once the run has
// ended, whatever the end and however quickly the boot loader answered.
#include "appstate.h"
#include "controllerlink.h"
#include "dialogs.h"
#include "flashprg.h"
#include "flashworkflow.h"
#include "frames.h"
#include "hexbytes.h"
#include "linkstate.h"
#include "portfolder.h"
#include "ptypeer.h"
#include "rs.h"
#include "settings.h"
#include "tuv.h"

#include <QLabel>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>
#include <sys/ioctl.h>

namespace {

constexpr int Com = 7;
const QByteArray StatusRequest = hex("0B 00 00 00");
// Version 2.7, in the origin.
const QByteArray Reply = hex("05 FF FF FF 02 07 20 00 00 00 00 00 10 0E 00 00");
const QByteArray GetReply = hex("79 0B 22 00 01 02 11 21 31 43 63 73 82 92 79");
const QByteArray GoAddress = hex("08 00 00 00 08");
const QString FinishedText = QStringLiteral("Programming finished.\nTurn flash switch off\nand reboot");

enum class Loader { Acks, Refuses, Silent };

// The board: a boot loader answering frames cut by 10 ms of silence, then the
// controller's firmware, which only listens until the test makes it reply.
class Board
{
public:
    explicit Board(const QString &dir) : m_peer(dir, Com)
    {
        m_peer.cutFrames(10, [this](const QByteArray &frame) { onFrame(frame); });
    }
    bool isValid() const { return m_peer.isValid(); }

    void enterBootLoader(Loader loader)
    {
        m_loader = loader;
        m_booting = true;
        m_goSent = false;
        heard.clear();
    }
    void reply()
    {
        m_booting = false; // a silent boot loader was left by a restart
        m_peer.write(Reply);
    }

    QByteArray heard; // what the firmware heard since the last boot

private:
    void onFrame(const QByteArray &frame)
    {
        if (!m_booting) {
            heard += frame;
            return;
        }
        if (m_loader == Loader::Silent)
            return;
        if (m_loader == Loader::Refuses && frame == hex("43 BC")) {
            m_peer.write(hex("1F"));
            m_booting = false; // it restarts into the firmware
            return;
        }
        m_peer.write(frame == hex("00 FF") ? GetReply : hex("79"));
        // The address after Go starts the new firmware.
        if (m_goSent && frame == GoAddress)
            m_booting = false;
        m_goSent = frame == hex("21 DE");
    }

    PtyPeer m_peer;
    Loader m_loader = Loader::Acks;
    bool m_booting = false;
    bool m_goSent = false;
};

// The operator reads the closing box while the new firmware already replies.
class SlowOperator : public ScriptedDialogs
{
public:
    std::function<void()> whileFinishedBoxOpen;
    void message(const QString &text) override
    {
        ScriptedDialogs::message(text);
        if (text == FinishedText && whileFinishedBoxOpen)
            whileFinishedBoxOpen();
    }
};

QLabel *linkLabel(tuv &w)
{
    return w.statusBar()->findChildren<QLabel *>().last();
}

} // namespace

Q_DECLARE_METATYPE(Loader)

class TestFlashRelink : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_oldDir;
    SlowOperator m_dialogs;
    StationSettingsRecord m_settings;

private slots:
    void initTestCase()
    {
        m_oldDir = QDir::currentPath();
        QDir::setCurrent(m_dir.path());
        platform::setDialogs(&m_dialogs);
        m_settings.reset();
        QByteArray ini = exampleSettingsText();
        ini.replace("Port\r\n1\r\n", "Port\r\n" + QByteArray::number(Com) + "\r\n");
        ini.replace("Demodulator\r\nenable", "Demodulator\r\ndisable");
        ini.replace("TimeCorr\r\nenable", "TimeCorr\r\ndisable");
        QCOMPARE(loadSettingsFromBytes(m_settings, ini), quint8(0));
    }
    void cleanupTestCase()
    {
        platform::setDialogs(nullptr);
        QDir::setCurrent(m_oldDir);
    }

    void linkComesBackAfterEveryEnd_data()
    {
        QTest::addColumn<Loader>("loader");
        QTest::addColumn<bool>("takeAtOnce");
        QTest::addColumn<int>("runs");
        QTest::newRow("success, answers taken at once") << Loader::Acks << true << 20;
        QTest::newRow("success, answers judged after silence") << Loader::Acks << false << 1;
        QTest::newRow("refused, answers taken at once") << Loader::Refuses << true << 1;
        QTest::newRow("refused, answers judged after silence") << Loader::Refuses << false << 1;
        QTest::newRow("timeout") << Loader::Silent << true << 1;
    }
    void linkComesBackAfterEveryEnd()
    {
        QFETCH(Loader, loader);
        QFETCH(bool, takeAtOnce);
        QFETCH(int, runs);
        PortFolder ports;
        Board board(ports.path());
        QVERIFY2(board.isValid(), "no pseudo-terminal");
        tuv w(m_settings, true);
        LinkState &linkState = w.state().linkState;
        FlashWorkflowState &flashWorkflow = w.state().flashWorkflow;
        const auto controllerPort = [&w] { return qobject_cast<rs *>(w.link().transport()); };
        QTRY_VERIFY_WITH_TIMEOUT(controllerPort()->isOpened(), 5000);

        // The console frames a reception after line silence counted in its
        // own 10 ms ticks: 3, or 10 once replies have run together, until a
        // good reply. The firmware replies about once a second, far apart for
        // the console; a fixed quicker pace merges replies on a loaded machine,
        // and after one overrun the console never sees the silence again. So
        // the board replies only once the console has taken in the last one:
        // nothing on the line or in the port, no reception being collected.
        const auto consoleIdle = [&] {
            int onLine = 0;
            if (::ioctl(int(controllerPort()->port()->handle()), FIONREAD, &onLine) != 0)
                return false;
            return onLine == 0 && controllerPort()->bytesAvailable() == 0 && linkState.replyCountdown == 0;
        };
        // Each 60 ms until `enough` holds; the last reply is then taken in, so
        // none is left on the line.
        std::function<bool()> enough;
        QTimer replies;
        replies.setInterval(60);
        auto step = [&] {
            if (enough())
                replies.stop();
            else if (consoleIdle())
                board.reply();
        };
        QObject::connect(&replies, &QTimer::timeout, step);
        auto replyUntil = [&](std::function<bool()> condition, int timeoutMs) {
            enough = std::move(condition);
            replies.start();
            step();
            const bool met = QTest::qWaitFor([&] { return !replies.isActive(); }, timeoutMs);
            replies.stop();
            return met;
        };
        const auto asked = [&] { return board.heard.contains(StatusRequest); };
        // The box stays open until the window has read a reply and asked for
        // the status, or for 3 s. The station is to work on while the box
        // waits for the operator.
        bool backWithBoxOpen = false;
        m_dialogs.whileFinishedBoxOpen = [&] {
            replyUntil(asked, 3000);
            backWithBoxOpen = asked() && linkState.flashDelay == 0;
        };

        for (int run = 1; run <= runs; ++run) {
            // The countdown has run out on a silent controller: the window
            // hands the port over.
            board.enterBootLoader(loader);
            linkState.linkWatchdog = 0;
            linkState.flashDelay = 1;
            flashWorkflow.programRequest = false;
            flashWorkflow.firmwareImage = QByteArray(700, '\x5A');
            if (loader == Loader::Acks)
                m_dialogs.expectMessage(FinishedText);
            QVERIFY(QMetaObject::invokeMethod(&w, "dalshe"));
            QVERIFY(flashWorkflow.run);
            flashWorkflow.run->setTakeAtOnce(takeAtOnce);

            backWithBoxOpen = false;
            QTRY_VERIFY_WITH_TIMEOUT(linkState.flashDelay == 0 && m_dialogs.scriptDone(), 5000);
            QVERIFY2(m_dialogs.unexpected().isEmpty(), qPrintable(m_dialogs.unexpected().join('|')));
            QCOMPARE(backWithBoxOpen, loader == Loader::Acks);
            // A status request follows the first reply (at the latest) and the
            // link label comes back.
            const bool back = replyUntil(
                [&] { return asked() && linkLabel(w)->text() == QLatin1String("Ver. 2.7  "); }, 2000);
            QVERIFY2(back, qPrintable(QStringLiteral("run %1: heard %2, label \"%3\", %4 bytes unread")
                                          .arg(run)
                                          .arg(QString::fromLatin1(board.heard.toHex(' ')), linkLabel(w)->text())
                                          .arg(controllerPort()->bytesAvailable())
                                          + QStringLiteral(", silence %1 ticks").arg(linkState.quietTicks)));
            QTRY_VERIFY(linkState.replyCountdown == 0 && controllerPort()->bytesAvailable() == 0);
        }
        m_dialogs.whileFinishedBoxOpen = nullptr;
    }
};

QTEST_MAIN(TestFlashRelink)
#include "tst_flashrelink.moc"
