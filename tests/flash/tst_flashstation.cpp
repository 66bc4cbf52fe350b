// Programming the stand-in's controller from the window: command 10 on a
// running board, the flash switch on a silent one, and a board that keeps
// running. The flash is read back and compared with the images written.
#include "appstate.h"
#include "controllerlink.h"
#include "dialogs.h"
#include "flashprg.h"
#include "flashworkflow.h"
#include "frames.h"
#include "linkstate.h"
#include "rs.h"
#include "settings.h"
#include "tuv.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

class TestFlashStation : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    StationSettingsRecord m_settings;
    bool m_serviceMode = true;
    QString m_oldDir;
    QProcess m_sim;
    QByteArray m_out;
    ScriptedDialogs m_dialogs;

    // One control command, waited for until the stand-in has answered it.
    bool control(const QString &command)
    {
        m_sim.write((command + QLatin1Char('\n')).toUtf8());
        const QByteArray answer = QStringLiteral("ok %1\n").arg(command).toUtf8();
        const bool answered = QTest::qWaitFor([&] { return m_out.contains(answer); }, 5000);
        m_out.clear();
        return answered;
    }

    int commandTens()
    {
        int n = 0;
        QFile f(m_dir.filePath(QStringLiteral("sim.jsonl")));
        if (f.open(QIODevice::ReadOnly)) {
            for (const QByteArray &line : f.readAll().split('\n')) {
                const QJsonObject o = QJsonDocument::fromJson(line).object();
                n += o.value(QStringLiteral("kind")).toString() == QLatin1String("command")
                     && o.value(QStringLiteral("code")).toInt() == 10;
            }
        }
        return n;
    }
    QByteArray writeImage(const QString &name, int size)
    {
        QByteArray image(size, '\0');
        QRandomGenerator gen{quint32(size)};
        for (char &c : image)
            c = char(gen.bounded(256));
        QFile f(m_dir.filePath(name));
        return f.open(QIODevice::WriteOnly) && f.write(image) == size ? image : QByteArray();
    }
    QByteArray flashDump()
    {
        const QString path = m_dir.filePath(QStringLiteral("dump.bin"));
        QFile::remove(path);
        QFile f(path);
        return control(QStringLiteral("flash-dump ") + path) && f.open(QIODevice::ReadOnly) ? f.readAll()
                                                                                        : QByteArray();
    }
    void startRun(tuv &w, const QString &file)
    {
        const LinkState &linkState = w.state().linkState;
        m_dialogs.expectQuestion(QStringLiteral("Programm device"), true);
        m_dialogs.expectOpenFile(QStringLiteral("Open Code"), m_dir.filePath(file));
        m_dialogs.expectMessage(QStringLiteral("turn flash switch on"));
        auto *button = w.findChild<QPushButton *>(QStringLiteral("FlashProg"));
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(m_dialogs.lastFilter(), QStringLiteral("bin. Files (*.bin)"));
        QCOMPARE(progress(w)->text(), QStringLiteral("Connecting.."));
        QVERIFY(progress(w)->isVisible());
        QCOMPARE(linkState.flashDelay, quint8(4));
        // A second press while preparing asks nothing.
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(m_dialogs.scriptDone());
    }
    static QLabel *progress(tuv &w) { return w.findChild<QLabel *>(QStringLiteral("ProgProgress")); }
    static QLabel *linkLabel(tuv &w) { return w.statusBar()->findChildren<QLabel *>().last(); }
    static QString finishedText() { return QStringLiteral("Programming finished.\nTurn flash switch off\nand reboot"); }

private slots:
    void initTestCase()
    {
        m_oldDir = QDir::currentPath();
        QDir::setCurrent(m_dir.path());
        QDir().mkpath(QStringLiteral("ports"));
        qputenv("TUVARN_PORT_DIR", m_dir.filePath(QStringLiteral("ports")).toUtf8());
        platform::setDialogs(&m_dialogs);
        m_sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        connect(&m_sim, &QProcess::readyReadStandardOutput, this, [this] { m_out += m_sim.readAllStandardOutput(); });
        m_sim.start(QStringLiteral(TUVARN_BIN_DIR "/station-sim"),
                    {QStringLiteral("--port-dir"), m_dir.filePath(QStringLiteral("ports")), QStringLiteral("--port"),
                     QStringLiteral("6"), QStringLiteral("--demod-port"), QStringLiteral("0"),
                     QStringLiteral("--transcript"), m_dir.filePath(QStringLiteral("sim.jsonl"))});
        QVERIFY(m_sim.waitForStarted(5000));
        QTRY_VERIFY_WITH_TIMEOUT(m_out.contains("ready port="), 10000);
        m_out.clear();

        m_settings.reset();
        QByteArray ini = exampleSettingsText();
        ini.replace("Port\r\n1\r\n", "Port\r\n6\r\n");
        ini.replace("Demodulator\r\nenable", "Demodulator\r\ndisable");
        ini.replace("TimeCorr\r\nenable", "TimeCorr\r\ndisable");
        QCOMPARE(loadSettingsFromBytes(m_settings, ini), quint8(0));
    }
    void cleanupTestCase()
    {
        m_sim.write("quit\n");
        if (!m_sim.waitForFinished(5000))
            m_sim.kill();
        platform::setDialogs(nullptr);
        QDir::setCurrent(m_oldDir);
    }
    void cleanup() { QVERIFY2(m_dialogs.unexpected().isEmpty(), qPrintable(m_dialogs.unexpected().join('|'))); }

    void refusedFiles()
    {
        QFile(m_dir.filePath(QStringLiteral("empty.bin"))).open(QIODevice::WriteOnly);
        tuv w(m_settings, m_serviceMode);
        [[maybe_unused]] LinkState &linkState = w.state().linkState;
        [[maybe_unused]] FlashWorkflowState &flashWorkflow = w.state().flashWorkflow;
        [[maybe_unused]] const auto controllerPort = [&w] { return qobject_cast<rs *>(w.link().transport()); };
        const QStringList answers = {m_dir.filePath(QStringLiteral("missing.bin")), m_dir.filePath(QStringLiteral("empty.bin"))};
        const QStringList messages = {QStringLiteral("Error opening ") + answers[0], QStringLiteral("Firmware image is empty")};
        for (int i = 0; i < answers.size(); ++i) {
            m_dialogs.expectQuestion(QStringLiteral("Programm device"), true);
            m_dialogs.expectOpenFile(QStringLiteral("Open Code"), answers[i]);
            m_dialogs.expectMessage(messages[i]);
            QTest::mouseClick(w.findChild<QPushButton *>(QStringLiteral("FlashProg")), Qt::LeftButton);
            QVERIFY(m_dialogs.scriptDone());
            QCOMPARE(linkState.flashDelay, quint8(0));
            QVERIFY(!progress(w)->isVisible());
        }
    }

    void commandTenOnARunningBoard()
    {
        const QByteArray image = writeImage(QStringLiteral("fw.bin"), 4196); // 16 blocks and a tail
        QVERIFY(!image.isEmpty());
        tuv w(m_settings, m_serviceMode);
        [[maybe_unused]] LinkState &linkState = w.state().linkState;
        [[maybe_unused]] FlashWorkflowState &flashWorkflow = w.state().flashWorkflow;
        [[maybe_unused]] const auto controllerPort = [&w] { return qobject_cast<rs *>(w.link().transport()); };
        w.show();
        QTRY_VERIFY_WITH_TIMEOUT(linkLabel(w)->text().startsWith(QStringLiteral("Ver. ")), 10000);
        // Someone else listening to the port keeps listening through a run.
        QSignalSpy otherListener(controllerPort()->port(), &QSerialPort::readyRead);
        startRun(w, QStringLiteral("fw.bin"));
        m_dialogs.expectMessage(finishedText());

        QTRY_COMPARE_WITH_TIMEOUT(commandTens(), 1, 6000);
        QTRY_VERIFY_WITH_TIMEOUT(flashWorkflow.run != nullptr, 6000);
        // The run outlives the window's handling of its own finish signal.
        QPointer<flashprg> run = flashWorkflow.run;
        bool aliveAfterHandler = false;
        connect(run.data(), &flashprg::finish, this, [&] { aliveAfterHandler = !run.isNull(); });
        QTRY_VERIFY_WITH_TIMEOUT(m_dialogs.scriptDone(), 30000);
        QVERIFY(aliveAfterHandler);
        QTRY_VERIFY(run.isNull());
        const int heardBefore = otherListener.size();
        QVERIFY(!progress(w)->isVisible());
        QCOMPARE(progress(w)->text(), QStringLiteral("Loaded 4196 bytes\nprogramming mode ok\nbootloader ok\n"
                                                     "memory erased ok\n")
                                          + QString(17, QLatin1Char('.')) + QStringLiteral("\nMemory programmed ok"));
        QCOMPARE(linkState.flashDelay, quint8(0));
        // The new firmware runs and the link comes back by itself.
        QTRY_VERIFY_WITH_TIMEOUT(linkLabel(w)->text().startsWith(QStringLiteral("Ver. ")), 10000);
        QTRY_VERIFY(otherListener.size() > heardBefore);

        const QByteArray flash = flashDump();
        QCOMPARE(flash.left(image.size()), image);
        QCOMPARE(flash.mid(image.size(), 5 * 1024 - image.size()), QByteArray(5 * 1024 - image.size(), '\xFF'));
    }

    void boardThatKeepsRunning()
    {
        writeImage(QStringLiteral("fw2.bin"), 700);
        tuv w(m_settings, m_serviceMode);
        [[maybe_unused]] LinkState &linkState = w.state().linkState;
        [[maybe_unused]] FlashWorkflowState &flashWorkflow = w.state().flashWorkflow;
        [[maybe_unused]] const auto controllerPort = [&w] { return qobject_cast<rs *>(w.link().transport()); };
        w.show();
        QTRY_VERIFY_WITH_TIMEOUT(linkLabel(w)->text().startsWith(QStringLiteral("Ver. ")), 10000);
        const int before = commandTens();
        startRun(w, QStringLiteral("fw2.bin"));
        m_dialogs.expectMessage(QStringLiteral("Fail to enter programming mode"));
        // The board restarts into its firmware right after command 10.
        QTRY_COMPARE_WITH_TIMEOUT(commandTens(), before + 1, 6000);
        QVERIFY(control(QStringLiteral("reset")));
        QTRY_VERIFY_WITH_TIMEOUT(m_dialogs.scriptDone(), 8000);
        QCOMPARE(linkState.flashDelay, quint8(0));
        QVERIFY(!progress(w)->isVisible());
        QVERIFY(flashWorkflow.firmwareImage.isEmpty());
    }

    void flashSwitchOnASilentBoard()
    {
        const QByteArray first = flashDump();
        const QByteArray image = writeImage(QStringLiteral("fw3.bin"), 700);
        QVERIFY(control(QStringLiteral("flash-switch on")));
        tuv w(m_settings, m_serviceMode);
        [[maybe_unused]] LinkState &linkState = w.state().linkState;
        [[maybe_unused]] FlashWorkflowState &flashWorkflow = w.state().flashWorkflow;
        [[maybe_unused]] const auto controllerPort = [&w] { return qobject_cast<rs *>(w.link().transport()); };
        w.show();
        QTRY_VERIFY_WITH_TIMEOUT(linkLabel(w)->text().startsWith(QStringLiteral("Disconnected")), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(linkState.linkWatchdog, quint8(0), 5000);
        const int before = commandTens();
        startRun(w, QStringLiteral("fw3.bin"));
        m_dialogs.expectMessage(finishedText());
        QTRY_VERIFY_WITH_TIMEOUT(m_dialogs.scriptDone(), 20000);
        QCOMPARE(commandTens(), before);
        QTRY_VERIFY_WITH_TIMEOUT(linkLabel(w)->text().startsWith(QStringLiteral("Ver. ")), 10000);
        QVERIFY(control(QStringLiteral("flash-switch off")));

        // Page 0 erased and rewritten, pages 1 to 4 as the first run left them.
        const QByteArray flash = flashDump();
        QCOMPARE(flash.left(700), image);
        QCOMPARE(flash.mid(700, 324), QByteArray(324, '\xFF'));
        QCOMPARE(flash.mid(1024), first.mid(1024));
    }

    void failedRunSaysWhyInTheLog()
    {
        // Operator mode keeps the event log; the boot loader hears but never answers.
        m_serviceMode = false;
        QFile::remove(QStringLiteral("tuvarn.log"));
        writeImage(QStringLiteral("fw4.bin"), 300);
        QVERIFY(control(QStringLiteral("flash-switch on")));
        QVERIFY(control(QStringLiteral("silent 60")));
        {
            tuv w(m_settings, m_serviceMode);
            [[maybe_unused]] LinkState &linkState = w.state().linkState;
            [[maybe_unused]] FlashWorkflowState &flashWorkflow = w.state().flashWorkflow;
            [[maybe_unused]] const auto controllerPort = [&w] { return qobject_cast<rs *>(w.link().transport()); };
            w.show();
            QTRY_VERIFY_WITH_TIMEOUT(linkLabel(w)->text().startsWith(QStringLiteral("Disconnected")), 10000);
            QVERIFY(controllerPort()->isOpened());
            QTRY_COMPARE_WITH_TIMEOUT(linkState.linkWatchdog, quint8(0), 5000);
            m_dialogs.expectQuestion(QStringLiteral("Programm device"), true);
            m_dialogs.expectOpenFile(QStringLiteral("Open Code"), m_dir.filePath(QStringLiteral("fw4.bin")));
            m_dialogs.expectMessage(QStringLiteral("turn flash switch on"));
            QVERIFY(QMetaObject::invokeMethod(&w, "on_FlashProg_clicked"));
            QVERIFY(m_dialogs.scriptDone());
            auto errorShown = [&] {
                for (QLabel *label : w.statusBar()->findChildren<QLabel *>())
                    if (label->text() == QLatin1String("Error programming"))
                        return true;
                return false;
            };
            QTRY_VERIFY_WITH_TIMEOUT(errorShown(), 12000);
            QCOMPARE(linkState.flashDelay, quint8(0));
        }
        m_serviceMode = true;
        QVERIFY(control(QStringLiteral("silent 0")));
        QVERIFY(control(QStringLiteral("flash-switch off")));
        QFile log(QStringLiteral("tuvarn.log"));
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QByteArray text = log.readAll();
        QVERIFY2(text.contains("  Error programming: no answer to the start byte\r\n"), text.constData());
        QCOMPARE(text.count("Error programming"), 1);
    }
};

QTEST_MAIN(TestFlashStation)
#include "tst_flashstation.moc"
