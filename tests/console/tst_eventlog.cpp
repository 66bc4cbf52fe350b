#include "appstate.h"
#include "eventlog.h"
#include "safename.h"

#include <QtTest>

class TestEventLog : public QObject
{
    Q_OBJECT
private slots:
    void prefixMarker_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("prefix");
        const QString t = QStringLiteral("07-12-26 04:12:42  ");
        QTest::newRow("0") << 0 << "\r\n  " + t;
        QTest::newRow("time failed") << 0x1000 << "\r\n  *" + t;
        QTest::newRow("time ok") << 0x3000 << "\r\n**" + t;
        QTest::newRow("time actual") << 0x2000 << "\r\n  " + t;
        QTest::newRow("other bits ignored") << (0x3000 | 0x0811) << "\r\n**" + t;
    }
    void prefixMarker()
    {
        QFETCH(int, status);
        const QDateTime utc(QDate(2026, 12, 7), QTime(4, 12, 42), Qt::UTC);
        QTEST(logEntryPrefix(quint16(status), utc), "prefix");
    }

    void prefixIsAlwaysUtc()
    {
        const QDateTime local = QDateTime(QDate(2026, 12, 7), QTime(4, 12, 42), Qt::UTC).toOffsetFromUtc(3 * 3600);
        QCOMPARE(logEntryPrefix(0, local), QStringLiteral("\r\n  07-12-26 04:12:42  "));
    }

    void serviceModeWord_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("service");
        QTest::newRow("qzx") << QStringList{"qzx"} << true;
        QTest::newRow("none") << QStringList{} << false;
        QTest::newRow("upper case") << QStringList{"QZX"} << false;
        QTest::newRow("two words") << QStringList{"qzx", "x"} << false;
        QTest::newRow("longer") << QStringList{"qzxx"} << false;
    }
    void serviceModeWord()
    {
        QFETCH(QStringList, args);
        QTEST(isServiceModeCommandLine(args), "service");
    }

    void utcOffsetTruncatesTowardZero()
    {
        const QDateTime base(QDate(2026, 1, 1), QTime(12, 0));
        QCOMPARE(computeUtcOffsetHours(base.toOffsetFromUtc(-(3 * 3600 + 1800))), qint16(-3));
        QCOMPARE(computeUtcOffsetHours(base.toOffsetFromUtc(5 * 3600 + 2700)), qint16(5));
        QCOMPARE(computeUtcOffsetHours(base.toOffsetFromUtc(0)), qint16(0));
    }

    void safeNames_data()
    {
        QTest::addColumn<QString>("in");
        QTest::addColumn<QString>("out");
        QTest::newRow("plain") << "SAT-1(100)" << "SAT-1(100)";
        QTest::newRow("separators") << "../../etc/x" << ".._.._etc_x";
        QTest::newRow("windows set") << "a\\b:c*d?e\"f<g>h|i" << "a_b_c_d_e_f_g_h_i";
        QTest::newRow("control") << QString("a\tb\nc") << "a_b_c";
        QTest::newRow("empty") << "" << "_";
        QTest::newRow("dots only") << ".." << "_";
        QTest::newRow("blanks kept") << "SAT 1 (4711)" << "SAT 1 (4711)";
    }
    void safeNames()
    {
        QFETCH(QString, in);
        QTEST(safeFileNamePart(in), "out");
    }
};

QTEST_GUILESS_MAIN(TestEventLog)
#include "tst_eventlog.moc"
