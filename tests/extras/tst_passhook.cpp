// The command run after each data file: argument, exit code, time limit, and
// never a wait for it.
#include "passhook.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

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

QTEST_GUILESS_MAIN(TestPassHook)
#include "tst_passhook.moc"
