// The viewer's file list without a window: the order (as QDir::Time lists the
// same folder) and the edits that follow the folder's changes.
#include "passlist.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

const qint64 BaseSeconds = QDateTime::currentSecsSinceEpoch() - 86400;

// Writes the file and gives it a time of BaseSeconds + ms/1000, to the nanosecond.
bool put(const QString &folder, const QString &name, qint64 ms, long extraNs = 0, qint64 base = BaseSeconds)
{
    QFile f(folder + QLatin1Char('/') + name);
    if (!f.open(QIODevice::WriteOnly) || f.write("x") != 1)
        return false;
    f.close();
    const qint64 ns = ms * 1000000 + extraNs;
    const timespec times[2] = {{time_t(base + ns / 1000000000), long(ns % 1000000000)},
                               {time_t(base + ns / 1000000000), long(ns % 1000000000)}};
    return ::utimensat(AT_FDCWD, QFile::encodeName(f.fileName()).constData(), times, 0) == 0;
}

// "name@ms" entries, ms after BaseSeconds.
bool putAll(const QString &folder, const QStringList &files)
{
    for (const QString &file : files) {
        const QStringList parts = file.split(QLatin1Char('@'));
        if (!put(folder, parts.at(0), parts.at(1).toLongLong()))
            return false;
    }
    return true;
}

QStringList qdirOrder(const QString &folder)
{
    return QDir(folder, QStringLiteral("*.dat"), QDir::Time, QDir::Files).entryList();
}

// What a view of the list shows after the edits.
QStringList applied(QStringList rows, const QVector<PassList::Edit> &edits, const PassList &list)
{
    for (const PassList::Edit &e : edits) {
        if (e.kind == PassList::Edit::Remove) {
            if (rows.value(e.row) != e.name)
                return {QStringLiteral("removed a row that does not hold ") + e.name};
            rows.removeAt(e.row);
        } else if (e.kind == PassList::Edit::Insert) {
            rows.insert(e.row, e.name);
        } else {
            rows = list.names();
        }
    }
    return rows;
}

} // namespace

class TestPassList : public QObject
{
    Q_OBJECT

private slots:
    void order_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("newest first") << QStringList{"a.dat@1000", "b.dat@3000", "c.dat@2000"}
                                      << QStringList{"b.dat", "c.dat", "a.dat"};
        QTest::newRow("same millisecond by name")
            << QStringList{"b.dat@5000", "a.dat@5000", "c.dat@4000", "B.dat@5000"}
            << QStringList{"B.dat", "a.dat", "b.dat", "c.dat"};
        QTest::newRow("a millisecond apart")
            << QStringList{"a.dat@7000", "b.dat@7001"} << QStringList{"b.dat", "a.dat"};
        QTest::newRow("any case of the suffix, other names left out")
            << QStringList{"x.DAT@1", "y.dat@2", "notes.txt@3", "y.dat.Ab12Cd@4", ".hidden.dat@5"}
            << QStringList{"y.dat", "x.DAT"};
        QTest::newRow("within one second")
            << QStringList{"late.dat@999", "early.dat@0", "mid.dat@500"}
            << QStringList{"late.dat", "mid.dat", "early.dat"};
    }
    void order()
    {
        QFETCH(QStringList, files);
        QFETCH(QStringList, expected);
        QTemporaryDir dir;
        QVERIFY(putAll(dir.path(), files));
        PassList list;
        list.load(dir.path());
        QCOMPARE(list.names(), expected);
        QCOMPARE(list.names(), qdirOrder(dir.path()));
    }

    // Times a fraction of a millisecond apart are the same millisecond, as
    // QFileInfo reports them: the name decides.
    void partsOfAMillisecond()
    {
        QTemporaryDir dir;
        QVERIFY(put(dir.path(), QStringLiteral("b.dat"), 2000, 900000));
        QVERIFY(put(dir.path(), QStringLiteral("a.dat"), 2000, 100000));
        QVERIFY(put(dir.path(), QStringLiteral("c.dat"), 1999, 999999));
        PassList list;
        list.load(dir.path());
        QCOMPARE(list.names(), QStringList({"a.dat", "b.dat", "c.dat"}));
        QCOMPARE(list.names(), qdirOrder(dir.path()));
    }

    // In the hour that the clocks go back, local wall-clock times run
    // backwards; the order goes by the moment, not by the local time.
    void orderAcrossClocksGoingBack()
    {
        if (!QFile::exists(QStringLiteral("/usr/share/zoneinfo/Europe/Berlin")))
            QSKIP("no time zone data");
        const QByteArray oldTz = qgetenv("TZ");
        qputenv("TZ", "Europe/Berlin");
        ::tzset();
        QTemporaryDir dir;
        // 00:45 UTC is 02:45 summer time, 01:15 UTC is 02:15 winter time.
        const qint64 fallBack = QDateTime(QDate(2026, 10, 25), QTime(1, 0), Qt::UTC).toSecsSinceEpoch();
        QVERIFY(put(dir.path(), QStringLiteral("earlier.dat"), -15 * 60 * 1000, 0, fallBack));
        QVERIFY(put(dir.path(), QStringLiteral("later.dat"), 15 * 60 * 1000, 0, fallBack));
        PassList list;
        list.load(dir.path());
        qputenv("TZ", oldTz);
        ::tzset();
        QCOMPARE(list.names(), QStringList({"later.dat", "earlier.dat"}));
    }

    void notFiles()
    {
        QTemporaryDir dir;
        QVERIFY(putAll(dir.path(), {"a.dat@1000", "b.dat@2000"}));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder.dat")));
        QVERIFY(QFile::link(dir.path() + "/a.dat", dir.path() + "/link.dat"));
        QVERIFY(QFile::link(dir.path() + "/gone", dir.path() + "/dangling.dat"));
        PassList list;
        list.load(dir.path());
        QCOMPARE(list.names(), qdirOrder(dir.path()));
        QCOMPARE(list.count(), 3); // b, then a and the link to it (same time, by name)
        QVERIFY(list.update().isEmpty());
        QCOMPARE(list.count(), 3);
    }

    void update_data()
    {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QStringList>("written");  // name@ms, written in place of any old one
        QTest::addColumn<QStringList>("removed");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<int>("editCount");
        const QStringList three{"a.dat@1000", "b.dat@2000", "c.dat@3000"};
        QTest::newRow("nothing changed") << three << QStringList() << QStringList()
                                         << QStringList{"c.dat", "b.dat", "a.dat"} << 0;
        QTest::newRow("newest added on top") << three << QStringList{"d.dat@4000"} << QStringList()
                                             << QStringList{"d.dat", "c.dat", "b.dat", "a.dat"} << 1;
        QTest::newRow("older added in between") << three << QStringList{"d.dat@1500"} << QStringList()
                                                << QStringList{"c.dat", "b.dat", "d.dat", "a.dat"} << 1;
        QTest::newRow("tie with a listed file") << three << QStringList{"0.dat@2000", "bb.dat@2000"}
                                                << QStringList()
                                                << QStringList{"c.dat", "0.dat", "b.dat", "bb.dat", "a.dat"} << 2;
        QTest::newRow("removed") << three << QStringList() << QStringList{"c.dat", "a.dat"}
                                 << QStringList{"b.dat"} << 2;
        QTest::newRow("all removed") << three << QStringList() << QStringList{"a.dat", "b.dat", "c.dat"}
                                     << QStringList() << 3;
        QTest::newRow("replaced by a newer file") << three << QStringList{"a.dat@5000"} << QStringList()
                                                  << QStringList{"a.dat", "c.dat", "b.dat"} << 2;
        QTest::newRow("replaced by an older file") << three << QStringList{"c.dat@500"} << QStringList()
                                                   << QStringList{"b.dat", "a.dat", "c.dat"} << 2;
        QTest::newRow("added, removed and replaced at once")
            << three << QStringList{"d.dat@2500", "b.dat@100"} << QStringList{"c.dat"}
            << QStringList{"d.dat", "a.dat", "b.dat"} << 4;
        QTest::newRow("into an empty folder") << QStringList() << QStringList{"a.dat@1"} << QStringList()
                                              << QStringList{"a.dat"} << 1;
    }
    void update()
    {
        QFETCH(QStringList, before);
        QFETCH(QStringList, written);
        QFETCH(QStringList, removed);
        QFETCH(QStringList, expected);
        QFETCH(int, editCount);
        QTemporaryDir dir;
        QVERIFY(putAll(dir.path(), before));
        PassList list;
        list.load(dir.path());
        const QStringList shown = list.names();

        // Written whole under another name and renamed over, as the station writes.
        QTemporaryDir staging(dir.path() + QStringLiteral("/.staging"));
        for (const QString &file : written) {
            const QStringList parts = file.split(QLatin1Char('@'));
            QVERIFY(put(staging.path(), parts.at(0), parts.at(1).toLongLong()));
            QVERIFY(::rename(QFile::encodeName(staging.path() + "/" + parts.at(0)).constData(),
                             QFile::encodeName(dir.path() + "/" + parts.at(0)).constData()) == 0);
        }
        for (const QString &name : removed)
            QVERIFY(QFile::remove(dir.path() + QLatin1Char('/') + name));

        const QVector<PassList::Edit> edits = list.update();
        QCOMPARE(list.names(), expected);
        QCOMPARE(list.names(), qdirOrder(dir.path()));
        QCOMPARE(applied(shown, edits, list), expected);
        QCOMPARE(edits.size(), editCount);
        QVERIFY(list.recheck().isEmpty());
    }

    // A time changed in place (same file): the quick look keeps the old time,
    // reading all times again moves the file.
    void touchedInPlace()
    {
        QTemporaryDir dir;
        QVERIFY(putAll(dir.path(), {"a.dat@1000", "b.dat@2000", "c.dat@3000"}));
        PassList list;
        list.load(dir.path());
        const QStringList shown = list.names();
        QVERIFY(put(dir.path(), QStringLiteral("a.dat"), 9000));
        QVERIFY(list.update().isEmpty());
        const QVector<PassList::Edit> edits = list.recheck();
        QCOMPARE(list.names(), QStringList({"a.dat", "c.dat", "b.dat"}));
        QCOMPARE(applied(shown, edits, list), list.names());
        QCOMPARE(edits.size(), 2);
    }

    // Most of the folder changed: one new listing instead of thousands of edits.
    void manyChangesReset()
    {
        QTemporaryDir dir;
        QStringList files;
        for (int i = 0; i < 200; ++i)
            files.append(QStringLiteral("f%1.dat@%2").arg(i).arg(i * 10));
        QVERIFY(putAll(dir.path(), files));
        PassList list;
        list.load(dir.path());
        for (int i = 0; i < 180; ++i)
            QVERIFY(QFile::remove(dir.path() + QStringLiteral("/f%1.dat").arg(i)));
        const QVector<PassList::Edit> edits = list.update();
        QCOMPARE(edits.size(), 1);
        QCOMPARE(edits.first().kind, PassList::Edit::Reset);
        QCOMPARE(list.names(), qdirOrder(dir.path()));
        QCOMPARE(list.count(), 20);
    }

    void missingFolder()
    {
        PassList list;
        list.load(QStringLiteral("/nonexistent/folder"));
        QCOMPARE(list.count(), 0);
        QVERIFY(list.update().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestPassList)
#include "tst_passlist.moc"
