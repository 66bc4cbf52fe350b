#include "passdatastore.h"

#include <QtTest>

class TestPassDataStore : public QObject
{
    Q_OBJECT

private slots:
    void allocateRefusalsKeepEarlierAllocation_data();
    void allocateRefusalsKeepEarlierAllocation();
    void allocateZeroFillsAndKeepsCounters();
    void unallocatedStoreRefusesEverything();
    void ringKeepsLastDepthSamples();
    void closePointWithoutSamples();
    void closePointMeansAndExtremes();
    void addPointStoresPointingValues();
    void fullStoreDropsSamplesAndPoints();
    void startAndClearReset();
    void shrunkRingIsNotReadPastItsEnd();
};

void TestPassDataStore::allocateRefusalsKeepEarlierAllocation_data()
{
    QTest::addColumn<quint32>("capacity");
    QTest::addColumn<quint32>("depth");
    QTest::addColumn<int>("result");

    QTest::newRow("capacity 0") << 0u << 20u << -1;
    QTest::newRow("both 0: capacity first") << 0u << 0u << -1;
    QTest::newRow("depth 0") << 1000u << 0u << -2;
    QTest::newRow("product past 32 bits") << 65536u << 65536u << -3;
    QTest::newRow("largest sizes") << 0xFFFFFFFFu << 0xFFFFFFFFu << -3;
    QTest::newRow("huge capacity, depth 1") << 0xFFFFFFFFu << 1u << -3;
    QTest::newRow("one slot over the limit")
        << quint32(PassDataStore::MaxSampleSlots / 2) << 3u << -3;
}

void TestPassDataStore::allocateRefusalsKeepEarlierAllocation()
{
    QFETCH(quint32, capacity);
    QFETCH(quint32, depth);
    QFETCH(int, result);

    PassDataStore store;
    QCOMPARE(store.allocate(3, 2), 0);
    QCOMPARE(store.start(), 0);
    store.addSample(7.5f, 1.5f);
    store.closePoint();
    QCOMPARE(store.addPoint(-4, 9, 33, 1), 1);
    store.addSample(2.0f, 3.0f);

    QCOMPARE(store.allocate(capacity, depth), result);

    QVERIFY(store.isAllocated());
    QCOMPARE(store.capacity(), 3u);
    QCOMPARE(store.depth(), 2u);
    QCOMPARE(store.recordedPoints(), 1u);
    QCOMPARE(store.meanPowerAt(0), 7.5f);
    QCOMPARE(store.korr0At(0), -4);
    QCOMPARE(store.korrAt(0), 9);
    QCOMPARE(store.powerSampleAt(1, 0), 2.0f);
    QCOMPARE(store.openSampleCount(), 1u);
}

void TestPassDataStore::allocateZeroFillsAndKeepsCounters()
{
    PassDataStore store;
    QCOMPARE(store.allocate(4, 3), 0);
    store.start();
    store.addSample(5.0f, 6.0f);
    store.closePoint();
    store.addPoint(1, 1, 1, 1);
    store.addSample(8.0f, 8.0f);
    store.setNoiseLevel(-40.0f);

    // A re-allocation brings fresh zeroed arrays but leaves the recording counters.
    QCOMPARE(store.allocate(5, 2), 0);
    QCOMPARE(store.capacity(), 5u);
    QCOMPARE(store.depth(), 2u);
    QCOMPARE(store.recordedPoints(), 1u);
    QCOMPARE(store.openSampleCount(), 1u);
    QCOMPARE(store.ringIndex(), 1u);
    QCOMPARE(store.maxPower(), 5.0f);
    QCOMPARE(store.noiseLevel(), -40.0f);
    for (quint32 i = 0; i < 5; ++i) {
        QCOMPARE(store.meanPowerAt(i), 0.0f);
        QCOMPARE(store.sampleCountAt(i), 0u);
        QCOMPARE(store.korr0At(i), 0);
        QCOMPARE(store.powerSampleAt(i, 1), 0.0f);
    }
    QCOMPARE(store.errCountAt(5), quint8(0));
}

void TestPassDataStore::unallocatedStoreRefusesEverything()
{
    PassDataStore store;
    QVERIFY(!store.isAllocated());
    QCOMPARE(store.start(), -1);
    QCOMPARE(store.addSample(1, 1), -1);
    QCOMPARE(store.closePoint(), -1.0f);
    QCOMPARE(store.addPoint(1, 1, 1, 1), -1);
    store.clear();
    QCOMPARE(store.recordedPoints(), 0u);
    // Getters outside any allocation answer 0 instead of reading nowhere.
    QCOMPARE(store.meanPowerAt(0), 0.0f);
    QCOMPARE(store.powerSampleAt(0, 0), 0.0f);

    QCOMPARE(store.allocate(2, 2), 0);
    store.release();
    QVERIFY(!store.isAllocated());
    QCOMPARE(store.addSample(1, 1), -1);
}

void TestPassDataStore::ringKeepsLastDepthSamples()
{
    PassDataStore store;
    QCOMPARE(store.allocate(1000, 20), 0);
    store.start();
    for (int n = 1; n <= 25; ++n) {
        QCOMPARE(store.addSample(float(n), float(-n)), 0);
        QCOMPARE(store.ringIndex(), quint32((n - 1) % 20 + 1));
        QCOMPARE(store.openSampleCount(), quint32(qMin(n, 20)));
    }
    for (quint32 slot = 0; slot < 5; ++slot) {
        QCOMPARE(store.powerSampleAt(0, slot), float(21 + slot));
        QCOMPARE(store.snrSampleAt(0, slot), -float(21 + slot));
    }
    QCOMPARE(store.powerSampleAt(0, 5), 6.0f);
    // Samples 6 to 25.
    QCOMPARE(store.closePoint(), 15.5f);
    QCOMPARE(store.meanSnrAt(0), -15.5f);
    QCOMPARE(store.minPower(), 6.0f);
    QCOMPARE(store.maxPower(), 25.0f);
    QCOMPARE(store.addPoint(0, 0, 0, 1), 1);
    QCOMPARE(store.sampleCountAt(0), 20u);
}

void TestPassDataStore::closePointWithoutSamples()
{
    PassDataStore store;
    store.allocate(3, 4);
    store.start();
    QCOMPARE(store.closePoint(), -1.0f);
    QCOMPARE(store.maxPower(), -1000.0f);
    QCOMPARE(store.minPower(), 1000.0f);
    QCOMPARE(store.maxSnr(), -1000.0f);
    QCOMPARE(store.minSnr(), 1000.0f);
    QCOMPARE(store.powerScale(), 256.0f / -2000.0f);

    store.addSample(3.0f, 4.0f);
    store.closePoint();
    store.addPoint(0, 0, 0, 1);
    QCOMPARE(store.closePoint(), -1.0f);
    QCOMPARE(store.maxPower(), 3.0f);
    QCOMPARE(store.minPower(), 3.0f);
    QCOMPARE(store.meanPowerAt(1), 0.0f);
}

void TestPassDataStore::closePointMeansAndExtremes()
{
    PassDataStore store;
    store.allocate(3, 4);
    store.start();
    store.addSample(1.0f, -3.0f);
    store.addSample(3.0f, 5.0f);
    store.addSample(-1.0f, 1.0f);
    QCOMPARE(store.closePoint(), 1.0f);
    QCOMPARE(store.meanSnrAt(0), 1.0f);
    // Closing does not advance; a second close of the same point gives the same.
    QCOMPARE(store.recordedPoints(), 0u);
    QCOMPARE(store.closePoint(), 1.0f);
    store.addPoint(0, 0, 0, 1);

    store.addSample(10.0f, -7.0f);
    QCOMPARE(store.closePoint(), 10.0f);
    QCOMPARE(store.minPower(), -1.0f);
    QCOMPARE(store.maxPower(), 10.0f);
    QCOMPARE(store.minSnr(), -7.0f);
    QCOMPARE(store.maxSnr(), 5.0f);
    QCOMPARE(store.powerScale(), 256.0f / 11.0f);

    // The sum is kept in single precision, as the viewer recomputes it.
    store.addPoint(0, 0, 0, 1);
    store.addSample(16777216.0f, 0);
    store.addSample(1.0f, 0);
    store.addSample(1.0f, 0);
    const float mean = store.closePoint();
    QVERIFY2(mean == 16777216.0f / 3.0f, qPrintable(QString::number(mean, 'f', 2)));
}

void TestPassDataStore::addPointStoresPointingValues()
{
    PassDataStore store;
    store.allocate(4, 5);
    store.start();
    store.addSample(1, 1);
    store.addSample(2, 2);
    store.closePoint();
    QCOMPARE(store.addPoint(-128, 127, -70000, 1), 1);
    QCOMPARE(store.korr0At(0), -128);
    QCOMPARE(store.korrAt(0), 127);
    QCOMPARE(store.stepAt(0), -70000);
    QCOMPARE(store.xAt(0), 1);
    QCOMPARE(store.sampleCountAt(0), 2u);
    QCOMPARE(store.errCountAt(0), quint8(0));
    QCOMPARE(store.errCountAt(1), quint8(0));
    QCOMPARE(store.ringIndex(), 0u);
    QCOMPARE(store.openSampleCount(), 0u);
    // A point without samples counts 0.
    QCOMPARE(store.addPoint(5, 6, 7, 1), 2);
    QCOMPARE(store.sampleCountAt(1), 0u);
}

void TestPassDataStore::fullStoreDropsSamplesAndPoints()
{
    PassDataStore store;
    store.allocate(2, 3);
    store.start();
    QCOMPARE(store.addPoint(1, 1, 1, 1), 1);
    QCOMPARE(store.addSample(4, 4), 0);
    QCOMPARE(store.addPoint(2, 2, 2, 1), 2);
    QCOMPARE(store.errCountAt(2), quint8(0));

    QCOMPARE(store.addSample(9, 9), -2);
    QCOMPARE(store.openSampleCount(), 0u);
    QCOMPARE(store.addPoint(3, 3, 3, 1), -2);
    QCOMPARE(store.recordedPoints(), 2u);
    QCOMPARE(store.closePoint(), -1.0f);
    QCOMPARE(store.korr0At(1), 2);
    QCOMPARE(store.powerSampleAt(1, 0), 4.0f);
}

void TestPassDataStore::startAndClearReset()
{
    PassDataStore store;
    store.allocate(3, 3);
    store.start();
    store.addSample(2, 2);
    store.closePoint();
    store.addPoint(1, 1, 1, 1);
    store.addSample(8, 8);
    store.setNoiseLevel(-30);

    store.clear();
    QCOMPARE(store.recordedPoints(), 0u);
    QCOMPARE(store.ringIndex(), 0u);
    QCOMPARE(store.openSampleCount(), 0u);
    QCOMPARE(store.maxPower(), -1000.0f);
    QCOMPARE(store.minSnr(), 1000.0f);
    QCOMPARE(store.noiseLevel(), -30.0f);

    store.addSample(5, 5);
    store.closePoint();
    QCOMPARE(store.start(), 0);
    QCOMPARE(store.recordedPoints(), 0u);
    QCOMPARE(store.openSampleCount(), 0u);
    QCOMPARE(store.minPower(), 1000.0f);
    QCOMPARE(store.maxSnr(), -1000.0f);
    QCOMPARE(store.noiseLevel(), -30.0f);
}

void TestPassDataStore::shrunkRingIsNotReadPastItsEnd()
{
    PassDataStore store;
    store.allocate(1, 20);
    store.start();
    for (int n = 0; n < 15; ++n)
        store.addSample(50.0f, 50.0f);
    QCOMPARE(store.allocate(1, 4), 0);
    // The open count still says 15; only the 4 fresh zeroed slots are averaged.
    QCOMPARE(store.openSampleCount(), 15u);
    QCOMPARE(store.closePoint(), 0.0f);
    QCOMPARE(store.addPoint(0, 0, 0, 1), 1);
    QCOMPARE(store.sampleCountAt(0), 4u);
}

QTEST_GUILESS_MAIN(TestPassDataStore)
#include "tst_passdatastore.moc"
