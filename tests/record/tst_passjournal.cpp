#include "datafilenaming.h"
#include "passdatastore.h"
#include "passjournal.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// A pass recorded into the store and its journal at once; the journal read
// back after a kill must give the files the finish would have written.
class PassJournalTest : public QObject
{
    Q_OBJECT

    struct Recording
    {
        PassDataStore store;
        JournalPass pass{QStringLiteral("NOAA 19\t*"), QStringLiteral("4711"),
                         {1.5, 2.25, 3.0}, {0.1, 0.2}, {0.5, 0.6, 0.7}, {0.05, 0.06, 0.07}};
        QString title = QStringLiteral("TuVaRN data file\nStation name Home\nTrackInfo:\n");
        QDateTime local{QDate(2026, 12, 8), QTime(4, 5, 6), Qt::LocalTime};
        QStringList expectedData;      // the finish's data file after 0, 1, ... points
        QStringList expectedCompanion; // likewise
        std::unique_ptr<PassJournal> journal;
        QStringList log;

        explicit Recording(const QString &path)
        {
            store.allocate(50, 3);
            store.setNoiseLevel(0.75f); // left from an earlier pass
            journal = std::make_unique<PassJournal>([this](const QString &m) { log << m; }, path);
            store.start();
            journal->begin(pass, store.noiseLevel(), title);
            snapshot();
        }
        void snapshot()
        {
            expectedData << QString::fromUtf8(store.dataFileText(title, pass.feedRadius, pass.feedAngle));
            expectedCompanion << QString::fromUtf8(store.companionFileText(pass.azimuth, pass.elevation));
        }
        // One point of n samples; n 0 keeps the stale means of the slot.
        void point(int n, float base)
        {
            for (int k = 0; k < n; ++k)
                store.addSample(base + 0.1f * float(k), base / 3.0f - float(k));
            store.closePoint();
            const int count = store.addPoint(qint8(n), qint8(-n), n * 7, 1);
            local = local.addSecs(1);
            journal->point(store, quint32(count - 1), title, local);
            snapshot();
        }
    };

    static QByteArray read(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    // A power cut or a crash in mid-write: bytes lost at the end (cut > 0),
    // only the first -cut bytes kept (cut < 0), then the tail.
    static void damage(const QString &path, int cut, const QByteArray &tail)
    {
        QByteArray bytes = read(path);
        bytes = cut < 0 ? bytes.left(-cut) : bytes.left(bytes.size() - cut);
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes + tail);
    }

private slots:
    void recoveryWritesWhatTheFinishWould_data();
    void recoveryWritesWhatTheFinishWould();
    void journalGoesOnlyWhenBothFilesAreWritten_data();
    void journalGoesOnlyWhenBothFilesAreWritten();
};

void PassJournalTest::recoveryWritesWhatTheFinishWould_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("cut");
    QTest::addColumn<QByteArray>("tail");
    QTest::addColumn<int>("points"); // recovered; -1 all, -2 none
    // n<digits>: a point of that many samples; t: the title changes; c: the
    // store is cleared; z: noise level taken; f: finish that could not write.
    QTest::newRow("ring wrapped") << "z c n5 n2 n3" << 0 << QByteArray() << -1;
    QTest::newRow("point without samples keeps stale means") << "n3 c n0 n2" << 0 << QByteArray() << -1;
    QTest::newRow("title changed mid-pass") << "n2 t n3" << 0 << QByteArray() << -1;
    QTest::newRow("kept after a failed finish") << "n1 n2 f" << 0 << QByteArray() << -1;
    QTest::newRow("noise level of an earlier pass") << "c n2" << 0 << QByteArray() << -1;
    QTest::newRow("last record cut short") << "n2 n3 n4 n5" << 7 << QByteArray() << 3;
    QTest::newRow("zeros after a power cut") << "n2 n3 n4 n5" << 0 << QByteArray(4096, '\0') << 4;
    QTest::newRow("garbage record") << "n2 n3 n4 n5" << 0 << QByteArray("P\t4\tjunk*0000\n") << 4;
    QTest::newRow("damaged opening record") << "n2 n3" << -20 << QByteArray() << -2;
}

void PassJournalTest::recoveryWritesWhatTheFinishWould()
{
    QFETCH(QString, script);
    QFETCH(int, points);
    QTemporaryDir dir;
    const QString journalPath = dir.filePath(QLatin1String(PassJournalFileName));
    const QString data = dir.filePath(QStringLiteral("data"));
    QString keptName;
    QStringList expected; // data file, companion, name
    {
        Recording r(journalPath);
        for (const QString &step : script.split(QLatin1Char(' '))) {
            if (step.startsWith(QLatin1Char('n'))) {
                r.point(step.mid(1).toInt(), 10.0f * float(r.store.recordedPoints() + 1));
            } else if (step == QLatin1String("t")) {
                r.title += QStringLiteral("Satellite changed\n");
            } else if (step == QLatin1String("c")) {
                r.store.clear();
                r.journal->cleared();
                r.expectedData.clear();
                r.expectedCompanion.clear();
                r.snapshot();
            } else if (step == QLatin1String("z")) {
                r.store.addSample(-90.5f, 1.25f);
                const float noise = r.store.closePoint();
                r.store.setNoiseLevel(noise);
                r.journal->noiseLevel(noise);
            } else if (step == QLatin1String("f")) {
                keptName = QStringLiteral("kept at the finish.dat");
                r.journal->finished(keptName);
            }
        }
        // The console dies here: the journal object goes without a finish.
        const int n = points == -1 ? int(r.expectedData.size()) - 1 : qMax(0, points);
        expected = QStringList{r.expectedData.at(n), r.expectedCompanion.at(n),
                               dataFileName(r.pass.satellite, r.pass.orbit, r.local.addSecs(n - int(r.store.recordedPoints())))};
    }
    QFETCH(int, cut);
    QFETCH(QByteArray, tail);
    damage(journalPath, cut, tail);
    QStringList log;
    const JournalRecovery rec = recoverPassJournal(journalPath, data, [&](const QString &m) { log << m; });
    QVERIFY(!QFile::exists(journalPath));
    if (points == -2) {
        QVERIFY(!rec.written);
        QVERIFY(QFile::exists(journalPath + QStringLiteral(".damaged")));
        QVERIFY2(log.value(0).startsWith(QLatin1String("pass journal not recovered: ")), qPrintable(log.join('|')));
        QVERIFY(QDir(data).entryList(QDir::Files).isEmpty());
        return;
    }
    const QString name = keptName.isEmpty() ? expected.at(2) : keptName;
    QVERIFY(rec.written);
    QCOMPARE(rec.fileName, name);
    QCOMPARE(QDir(data).entryList(QDir::Files), QStringList({name, name + QStringLiteral(".ai")}));
    QCOMPARE(QString::fromUtf8(read(data + QLatin1Char('/') + name)), expected.at(0));
    QCOMPARE(QString::fromUtf8(read(data + QLatin1Char('/') + name + QStringLiteral(".ai"))), expected.at(1));
    QCOMPARE(log, QStringList{QStringLiteral("pass recovered after restart: %1 points").arg(rec.points)});
}

void PassJournalTest::journalGoesOnlyWhenBothFilesAreWritten_data()
{
    QTest::addColumn<QString>("end");
    QTest::addColumn<bool>("journalLeft");
    QTest::addColumn<QString>("logged"); // at the restart
    QTest::newRow("finished") << "finish" << false << "";
    QTest::newRow("kept at the finish") << "keep" << true << "";
    QTest::newRow("kept, then written") << "keep written" << false << "";
    QTest::newRow("data folder blocked at the restart") << "blocked" << true << "data file not written: ";
    QTest::newRow("header only at the restart") << "empty" << false << "pass journal without recorded points removed";
    QTest::newRow("nothing written yet at the restart") << "zero" << false << "pass journal without recorded points removed";
}

void PassJournalTest::journalGoesOnlyWhenBothFilesAreWritten()
{
    QFETCH(QString, end);
    QFETCH(bool, journalLeft);
    QFETCH(QString, logged);
    QTemporaryDir dir;
    const QString journalPath = dir.filePath(QLatin1String(PassJournalFileName));
    const QString data = dir.filePath(QStringLiteral("data"));
    {
        Recording r(journalPath);
        if (end != QLatin1String("empty") && end != QLatin1String("zero"))
            r.point(2, 1.0f);
        const QString name = dataFileName(r.pass.satellite, r.pass.orbit, r.local);
        if (end == QLatin1String("finish"))
            r.journal->finished();
        if (end.startsWith(QLatin1String("keep")))
            r.journal->finished(name);
        if (end.endsWith(QLatin1String("written")))
            r.journal->written(data + QLatin1Char('/') + name);
        QVERIFY(r.log.isEmpty());
    }
    if (logged.isEmpty()) {
        QCOMPARE(QFile::exists(journalPath), journalLeft);
        return;
    }
    if (end == QLatin1String("zero"))
        QVERIFY(QFile(journalPath).resize(0));
    QFile block(data); // a plain file where the folder should be
    if (end == QLatin1String("blocked"))
        QVERIFY(block.open(QIODevice::WriteOnly));
    QStringList log;
    const JournalRecovery rec = recoverPassJournal(journalPath, data, [&](const QString &m) { log << m; });
    QVERIFY(rec.found && !rec.written);
    // What could not be written goes on waiting in memory, as after a finish.
    QCOMPARE(rec.dataText.isEmpty(), end != QLatin1String("blocked"));
    QCOMPARE(QFile::exists(journalPath), journalLeft);
    QVERIFY2(log.size() == 1 && log.first().startsWith(logged), qPrintable(log.join('|')));
}

QTEST_GUILESS_MAIN(PassJournalTest)
#include "tst_passjournal.moc"
