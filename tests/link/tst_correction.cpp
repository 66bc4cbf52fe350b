#include "correction.h"
#include "linkstate.h"
#include "linkworld.h"
#include "settings.h"

#include <QtTest>
#include <cmath>

// Correction replies: forward-back flags, sweep, feedback, radius limit,
// Left and Right.
class CorrectionTest : public QObject
{
    Q_OBJECT
private slots:
    void init() { resetLinkWorld(); }

    void forwardBackPattern();
    void sweepTurnsAtMaxDeviation_data();
    void sweepTurnsAtMaxDeviation();
    void feedbackTurnsWhenPowerStopsRising();
    void radiusLimitStepsBack();
    void initialStep_data();
    void initialStep();
    void leftAndRightClamp();
    void answeredOnlyWhileRecording();
};

namespace {
const OffsetAcrossTrackFn noLimit = [](int, int, int) { return std::nanf(""); };
}

void CorrectionTest::forwardBackPattern()
{
    StationSettings.ScanModeFB = true;
    StationSettings.MaxDeviation = 10; // does not limit the flags
    initCorrection(noLimit, {100.0f, 100.0f});
    const QList<int> expected{0, 0x40, 0, 0, 0x80, 0, 0, 0x80, 0, 0,
                              0x40, 0, 0, 0x40, 0, 0, 0x80, 0, 0, 0x80};
    QList<int> got;
    for (int i = 0; i < expected.size(); ++i)
        got << int(quint8(nextCorrection(1.0f, i, noLimit)));
    QCOMPARE(got, expected);
}

void CorrectionTest::sweepTurnsAtMaxDeviation_data()
{
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("nextOffset");
    QTest::addColumn<int>("nextStep");
    QTest::newRow("top turn") << 38 << 4 << 36 << -4;
    QTest::newRow("reaches the top exactly") << 36 << 4 << 40 << 4;
    QTest::newRow("bottom turn") << -38 << -4 << -36 << 4;
    QTest::newRow("inside") << 0 << -4 << -4 << -4;
    QTest::newRow("no step repeats the offset") << 12 << 0 << 12 << 0;
}

void CorrectionTest::sweepTurnsAtMaxDeviation()
{
    QFETCH(int, offset);
    QFETCH(int, step);
    QFETCH(int, nextOffset);
    QFETCH(int, nextStep);
    StationSettings.MaxDeviation = 40;
    correctionState.scanOffset = qint8(offset);
    correctionState.scanStep = qint8(step);
    QCOMPARE(int(nextCorrection(5.0f, 3, noLimit)), nextOffset);
    QCOMPARE(int(correctionState.scanStep), nextStep);
    QCOMPARE(correctionState.previousLevel, 5.0f);
}

void CorrectionTest::feedbackTurnsWhenPowerStopsRising()
{
    StationSettings.Feedback = true;
    StationSettings.MaxDeviation = 40;
    StationSettings.DeviationStep = 4;
    StationSettings.DeviationPorog = 0.5f;
    initCorrection(noLimit, {100.0f, 100.0f});
    setCorrectionNoiseLevel(10.0f);
    QCOMPARE(int(nextCorrection(11.0f, 0, noLimit)), 4);  // rose by 1.0: keep going
    QCOMPARE(int(nextCorrection(11.5f, 1, noLimit)), 0);  // rose by exactly the threshold: turn
    QCOMPARE(int(nextCorrection(11.0f, 2, noLimit)), 4);  // fell: turn again
    QCOMPARE(int(nextCorrection(12.0f, 3, noLimit)), 8);
    QCOMPARE(realTimeText(12.04f), QStringLiteral("2.0"));
}

void CorrectionTest::radiusLimitStepsBack()
{
    StationSettings.ScanModeRL = true;
    StationSettings.MaxDeviation = 40;
    StationSettings.Radius = 500;
    QList<QVector<int>> calls;
    const OffsetAcrossTrackFn fn = [&](int a, int b, int k) {
        calls << QVector<int>{a, b, k};
        return 480.0f + k; // beyond Radius once the offset passes 20
    };
    correctionState.scanOffset = 12;
    correctionState.scanStep = 10;
    QCOMPARE(int(nextCorrection(1.0f, 6, fn)), 12); // 22 is too far: back by the old step
    QCOMPARE(int(correctionState.scanStep), -10);
    QCOMPARE(calls.last(), (QVector<int>{6, 5, 22}));
    // Point 0 has no predecessor: no limit.
    correctionState.scanOffset = 30;
    correctionState.scanStep = 5;
    const int before = calls.size();
    QCOMPARE(int(nextCorrection(1.0f, 0, fn)), 35);
    QCOMPARE(calls.size(), before);
}

void CorrectionTest::initialStep_data()
{
    QTest::addColumn<bool>("rl");
    QTest::addColumn<bool>("feedback");
    QTest::addColumn<float>("radiusAtStep");
    QTest::addColumn<int>("step");
    QTest::newRow("no mode") << false << false << 100.0f << 0;
    QTest::newRow("scan RL") << true << false << 100.0f << 10;
    QTest::newRow("feedback wins") << true << true << 100.0f << 7;
    QTest::newRow("towards the smaller radius") << true << false << 300.0f << -10;
}

void CorrectionTest::initialStep()
{
    QFETCH(bool, rl);
    QFETCH(bool, feedback);
    QFETCH(float, radiusAtStep);
    QFETCH(int, step);
    StationSettings.ScanModeRL = rl;
    StationSettings.Feedback = feedback;
    StationSettings.DeviationStep = 7;
    correctionState.scanOffset = 9;
    correctionState.pointsRecorded = 17;
    int seenK = -1;
    initCorrection([&](int a, int b, int k) {
        seenK = k;
        return (a == 1 && b == 0) ? radiusAtStep : -1.0f;
    }, {200.0f, 200.0f});
    QCOMPARE(int(correctionState.scanStep), step);
    QCOMPARE(seenK, qAbs(step));
    QCOMPARE(int(correctionState.scanOffset), 0);
    QCOMPARE(int(correctionState.pointsRecorded), 0);
    QCOMPARE(int(correctionState.xValue), 1);
    // A single-point plan has no point 1 to test against.
    bool called = false;
    initCorrection([&](int, int, int) { called = true; return 0.0f; }, {200.0f});
    QVERIFY(!called);
}

void CorrectionTest::leftAndRightClamp()
{
    StationSettings.MaxDeviation = 40;
    StationSettings.DeviationStep = 15;
    correctionRight();
    correctionRight();
    QCOMPARE(int(correctionState.scanOffset), 30);
    correctionRight();
    QCOMPARE(int(correctionState.scanOffset), 40);
    for (int i = 0; i < 6; ++i)
        correctionLeft();
    QCOMPARE(int(correctionState.scanOffset), -40);
    // Near the end of the byte the sum must not wrap to the other side.
    StationSettings.MaxDeviation = 127;
    correctionState.scanOffset = 120;
    correctionRight();
    QCOMPARE(int(correctionState.scanOffset), 127);
    correctionState.scanOffset = -120;
    correctionLeft();
    QCOMPARE(int(correctionState.scanOffset), -127);
}

void CorrectionTest::answeredOnlyWhileRecording()
{
    linkState.recordState = 4;
    QVERIFY(!correctionWanted(10));
    linkState.recordState = 5;
    QVERIFY(correctionWanted(10));
    correctionState.pointsRecorded = 10;
    QVERIFY(!correctionWanted(10));
}

int runCorrectionTest(int argc, char **argv)
{
    CorrectionTest t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_correction.moc"
