// The command run after each data file: argument, exit code, time limit, and
// never a wait for it.
#include "passhook.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {
// Ended, or a zombie waiting for a parent that never reaps it.
bool gone(qint64 pid)
{
    if (pid <= 0 || ::kill(pid_t(pid), 0) != 0)
        return true;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray text = stat.readAll();
    const int close = text.lastIndexOf(')');
    return close > 0 && text.mid(close + 2, 1) == "Z";
}

qint64 readPid(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed().toLongLong() : 0;
}
}

class TestPassHook : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QStringList m_log;

    QString script(const QString &name, const QByteArray &body)
    {
        const QString path = m_dir.filePath(name);
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write("#!/bin/sh\n" + body);
        f.close();
        f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
        return path;
    }
    PassHook::Log collect()
    {
        return [this](const QString &line) { m_log << line; };
    }

private slots:
    void init() { m_log.clear(); }
    void exitCodeAndArgument_data();
    void exitCodeAndArgument();
    void hangingCommandIsKilled();
    void missingCommandIsReported();
    void filesWaitTheirTurn();
    void consoleDescriptorsStayHome();
    void leftoversEndWithTheGroup_data();
    void leftoversEndWithTheGroup();
};

void TestPassHook::exitCodeAndArgument_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("logStart");
    QTest::addColumn<bool>("ok");
    QTest::newRow("success") << QByteArray("printf '%s' \"$2\" > \"$1.seen\"\n") << "hook exit code 0 after " << true;
    QTest::newRow("failure") << QByteArray("printf '%s' \"$2\" > \"$1.seen\"\nexit 3\n") << "hook exit code 3 after " << false;
}

void TestPassHook::exitCodeAndArgument()
{
    QFETCH(QByteArray, body);
    const QString cmd = script(QStringLiteral("hook.sh"), body);
    const QString out = m_dir.filePath(QStringLiteral("out"));
    // Arguments of the configured line come first, the data file last.
    PassHook hook(QStringLiteral("\"%1\" \"%2\"").arg(cmd, out), 10, collect());
    QSignalSpy done(&hook, &PassHook::done);
    const QString dataFile = m_dir.filePath(QStringLiteral("SAT 1 (4711)_071226_040509.dat"));
    hook.run(dataFile);
    QVERIFY(done.wait(5000));
    QTEST(done.first().first().toBool(), "ok");
    QCOMPARE(m_log.size(), 1);
    QFETCH(QString, logStart);
    QVERIFY2(m_log.first().startsWith(logStart) && m_log.first().endsWith(QLatin1String(" s")), qPrintable(m_log.first()));
    QFile seen(out + QStringLiteral(".seen"));
    QVERIFY(seen.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(seen.readAll()), dataFile);
}

void TestPassHook::hangingCommandIsKilled()
{
    const QString cmd = script(QStringLiteral("hang.sh"), "exec sleep 60\n");
    PassHook hook(cmd, 1, collect());
    QSignalSpy done(&hook, &PassHook::done);
    QElapsedTimer t;
    t.start();
    hook.run(QStringLiteral("/tmp/x.dat"));
    QVERIFY2(t.elapsed() < 500, "run() waited for the command");
    QVERIFY(hook.busy());
    QVERIFY(done.wait(6000));
    QVERIFY(t.elapsed() >= 1000);
    QCOMPARE(done.first().first().toBool(), false);
    QVERIFY2(m_log.value(0).startsWith(QLatin1String("hook killed after 1.")), qPrintable(m_log.value(0)));
    QVERIFY(!hook.busy());
}

void TestPassHook::missingCommandIsReported()
{
    PassHook hook(m_dir.filePath(QStringLiteral("no-such-command")), 5, collect());
    QSignalSpy done(&hook, &PassHook::done);
    hook.run(QStringLiteral("/tmp/x.dat"));
    QVERIFY(done.count() == 1 || done.wait(3000));
    QVERIFY2(m_log.value(0).startsWith(QLatin1String("hook not started: ")), qPrintable(m_log.value(0)));
    QVERIFY(!hook.busy());
}

void TestPassHook::filesWaitTheirTurn()
{
    const QString cmd = script(QStringLiteral("append.sh"), "echo \"$2\" >> \"$1\"\n");
    const QString out = m_dir.filePath(QStringLiteral("order"));
    PassHook hook(QStringLiteral("\"%1\" \"%2\"").arg(cmd, out), 10, collect());
    QSignalSpy done(&hook, &PassHook::done);
    hook.run(QStringLiteral("a.dat"));
    hook.run(QStringLiteral("b.dat"));
    QCOMPARE(hook.waiting(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 2, 5000);
    QFile f(out);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("a.dat\nb.dat\n"));
}

void TestPassHook::consoleDescriptorsStayHome()
{
    // A descriptor the console forgot to mark, as the signal pair once was.
    int leaked[2];
    QCOMPARE(::pipe(leaked), 0);
    QVERIFY(!(::fcntl(leaked[1], F_GETFD) & FD_CLOEXEC));
    const QString cmd = script(QStringLiteral("fds.sh"),
                               "for fd in \"$1\" \"$2\"; do [ -e /proc/self/fd/$fd ] && exit 7; done\nexit 0\n");
    PassHook hook(QStringLiteral("\"%1\" %2 %3").arg(cmd).arg(leaked[0]).arg(leaked[1]), 10, collect());
    QSignalSpy done(&hook, &PassHook::done);
    hook.run(QStringLiteral("/tmp/x.dat"));
    QVERIFY(done.wait(5000));
    ::close(leaked[0]);
    ::close(leaked[1]);
    QVERIFY2(done.first().first().toBool(), qPrintable(m_log.value(0)));
}

void TestPassHook::leftoversEndWithTheGroup_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("timeout");
    QTest::addColumn<bool>("consoleExits");
    QTest::addColumn<int>("goneWithinMs");
    QTest::addColumn<QString>("logged");
    QTest::newRow("child outlives the command")
        << QByteArray("sleep 60 & echo $! > \"$1\"\n") << 1 << false << 4000 << "time limit";
    QTest::newRow("command and child hang")
        << QByteArray("sleep 60 & echo $! > \"$1\"\nexec sleep 60\n") << 1 << false << 4000 << "time limit";
    QTest::newRow("child ignores SIGTERM")
        << QByteArray("(trap '' TERM; exec sleep 60) & echo $! > \"$1\"\n") << 1 << false << 6000 << "time limit";
    QTest::newRow("console ends first")
        << QByteArray("sleep 60 & echo $! > \"$1\"\n") << 60 << true << 1000 << "console exit";
}

void TestPassHook::leftoversEndWithTheGroup()
{
    QFETCH(QByteArray, body);
    QFETCH(int, timeout);
    QFETCH(bool, consoleExits);
    QFETCH(int, goneWithinMs);
    QFETCH(QString, logged);
    const QString pidFile = m_dir.filePath(QStringLiteral("child.pid"));
    QFile::remove(pidFile);
    const QString cmd = script(QStringLiteral("spawn.sh"), body);
    PassHook hook(QStringLiteral("\"%1\" \"%2\"").arg(cmd, pidFile), timeout, collect());
    hook.run(QStringLiteral("/tmp/x.dat"));
    qint64 child = 0;
    QTRY_VERIFY_WITH_TIMEOUT((child = readPid(pidFile)) > 0, 5000);
    QVERIFY(!gone(child));
    if (consoleExits) {
        QTRY_VERIFY_WITH_TIMEOUT(!hook.busy(), 5000);
        QVERIFY(!gone(child));
        hook.shutdown();
    }
    QTRY_VERIFY_WITH_TIMEOUT(gone(child), goneWithinMs);
    const QString line = QStringLiteral("hook process group ");
    QVERIFY2(m_log.filter(line).filter(logged).size() == 1, qPrintable(m_log.join(QLatin1Char('|'))));
}

QTEST_GUILESS_MAIN(TestPassHook)
#include "tst_passhook.moc"
