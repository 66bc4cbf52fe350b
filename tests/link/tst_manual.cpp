#include "frames.h"
#include "linkworld.h"
#include "manual.h"
#include "statusreply.h"

#include <QtTest>

// Correction entries, the reference azimuth, the store record.
class ManualTest : public QObject
{
    Q_OBJECT
private slots:
    void correctionSteps_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("total");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<int>("steps");
        QTest::addColumn<QString>("fieldText");
        QTest::addColumn<QString>("totalText");
        QTest::newRow("1 rounds up to 9 steps") << "1" << 0 << true << 9 << "1.0125" << "1.0125";
        QTest::newRow("again: total 2.025") << "1" << 9 << true << 9 << "1.0125" << "2.025";
        QTest::newRow("-0.05 is no step") << "-0.05" << 0 << true << 0 << "0" << "0";
        QTest::newRow("-1 is -9 steps") << " -1 " << 0 << true << -9 << "-1.0125" << "-1.0125";
        QTest::newRow("half a step less rounds down") << "0.05" << 3 << true << 0 << "0" << "0.3375";
        QTest::newRow("wider than the wire field") << "4000" << 0 << false << 0 << "" << "";
        QTest::newRow("total would wrap") << "1" << 32760 << false << 0 << "" << "";
        QTest::newRow("not a number") << "1,5" << 0 << false << 0 << "" << "";
        QTest::newRow("infinity") << "inf" << 0 << false << 0 << "" << "";
    }
    void correctionSteps()
    {
        QFETCH(QString, typed);
        QFETCH(int, total);
        QFETCH(bool, accepted);
        double degrees = 0;
        qint16 steps = 0;
        const bool ok = readNumber(typed, &degrees) && ::correctionSteps(degrees, qint16(total), &steps);
        QCOMPARE(ok, accepted);
        if (!ok)
            return;
        QTEST(int(steps), "steps");
        QTEST(degreesText(steps * CorrectionStepDegrees), "fieldText");
        QTEST(correctionDegreesText(qint16(total + steps)), "totalText");
    }

    void referenceAzimuth_data()
    {
        QTest::addColumn<double>("lat1");
        QTest::addColumn<double>("lon1");
        QTest::addColumn<double>("lat2");
        QTest::addColumn<double>("lon2");
        QTest::addColumn<double>("low");  // inclusive bounds in degrees
        QTest::addColumn<double>("high");
        QTest::addColumn<QString>("name");
        QTest::newRow("due north") << 55.0 << 37.0 << 55.01 << 37.0 << 0.0 << 0.0 << "(North)";
        QTest::newRow("north-west") << 55.0 << 37.0 << 55.01 << 36.99 << 270.001 << 359.999 << "";
        QTest::newRow("due south") << 55.0 << 37.0 << 54.99 << 37.0 << 179.9999 << 180.0001 << "(South)";
        QTest::newRow("east along the parallel") << 0.0 << 37.0 << 0.0 << 37.01 << 89.9999 << 90.0001 << "(East)";
        QTest::newRow("west across 180") << 0.0 << -179.99 << 0.0 << 179.99 << 269.9999 << 270.0001 << "(West)";
    }
    void referenceAzimuth()
    {
        QFETCH(double, lat1);
        QFETCH(double, lon1);
        QFETCH(double, lat2);
        QFETCH(double, lon2);
        QFETCH(double, low);
        QFETCH(double, high);
        const double theta = ::referenceAzimuth(lat1 * DegreesToRadians, lon1 * DegreesToRadians,
                                                lat2 * DegreesToRadians, lon2 * DegreesToRadians);
        QVERIFY2(theta >= low && theta <= high, qPrintable(QString::number(theta, 'g', 17)));
        // The field shows 6 digits and is read back for the name.
        QTEST(azimuthName(degreesText(theta).toDouble()), "name");
    }

    void azimuthEntry_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("entry");
        QTest::addColumn<int>("argument");
        QTest::addColumn<QString>("fileValue");
        const int invalid = int(AzimuthEntry::Invalid);
        const int value = int(AzimuthEntry::Value);
        QTest::newRow("no change") << "No change" << int(AzimuthEntry::NoChange) << 9999 << "0";
        QTest::newRow("case matters") << "no change" << invalid << 0 << "0";
        QTest::newRow("tenths truncated") << "270.56" << value << 2705 << "2705";
        QTest::newRow("toward zero") << "-12.34" << value << -123 << "-123";
        QTest::newRow("beyond a turn") << "999.9" << invalid << 9999 << "9999";
        QTest::newRow("computed failure") << "xxx" << invalid << 0 << "0";
    }
    void azimuthEntry()
    {
        QFETCH(QString, text);
        QTEST(int(readAzimuth(text)), "entry");
        QTEST(int(storeArgument(text)), "argument");
        QFETCH(QString, fileValue);
        const QString record = korrRecord(QDateTime(QDate(2026, 12, 7), QTime(4, 12, 42), Qt::UTC),
                                          QStringLiteral("-0.225"), QStringLiteral("1.0125"), text);
        QCOMPARE(record, QStringLiteral("\n07-12-26 04:12:42\nParall_corr=-0.225\nOrig_corr=1.0125\nAzimuth=")
                             + fileValue + QStringLiteral("\n***"));
    }

    void forwardBackSendNothing()
    {
        LinkWorld w;
        w.txBytes = QByteArray::fromHex("01000000");
        w.link.markCommandWord(BackWord);
        QCOMPARE(w.txFrame.left(6), QByteArray::fromHex("FFFFFFFE0000"));
        w.link.markCommandWord(ForwardWord);
        QCOMPARE(w.txFrame.left(4), QByteArray::fromHex("010000FF"));
        QCOMPARE(w.txBytes, QByteArray::fromHex("01000000"));
    }
};

QTEST_GUILESS_MAIN(ManualTest)
#include "tst_manual.moc"
