#include "correction.h"
#include "linkstate.h"
#include "linkworld.h"
#include "settings.h"

#include <QtTest>
#include <memory>
#include <cmath>

// Correction replies: forward-back flags, sweep, feedback, radius limit,
// Left and Right.
class CorrectionTest : public QObject
{
    Q_OBJECT
private slots:
    void init() { w = std::make_unique<LinkWorld>(); }

    void forwardBackPattern();
    void sweepTurnsAtMaxDeviation_data();
    void sweepTurnsAtMaxDeviation();
    void feedbackTurnsWhenPowerStopsRising();
    void radiusLimitStepsBack();
    void initialStep_data();
    void initialStep();
    void leftAndRightClamp();
    void answeredOnlyWhileRecording();

private:
    // The next correction reply on this test's records.
    qint8 next(float power, int pointIndex, const OffsetAcrossTrackFn &fn)
    {
        return nextCorrection(w->correctionState, w->StationSettings, power, pointIndex, fn);
    }

    std::unique_ptr<LinkWorld> w;
};

namespace {
const OffsetAcrossTrackFn noLimit = [](int, int, int) { return std::nanf(""); };
}

void CorrectionTest::forwardBackPattern()
{
    w->StationSettings.ScanModeFB = true;
    w->StationSettings.MaxDeviation = 10; // does not limit the flags
    initCorrection(w->correctionState, w->StationSettings, noLimit, {100.0f, 100.0f});
    const QList<int> expected{0, 0x40, 0, 0, 0x80, 0, 0, 0x80, 0, 0,
                              0x40, 0, 0, 0x40, 0, 0, 0x80, 0, 0, 0x80};
    QList<int> got;
    for (int i = 0; i < expected.size(); ++i)
        got << int(quint8(next(1.0f, i, noLimit)));
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
    w->StationSettings.MaxDeviation = 40;
    w->correctionState.scanOffset = qint8(offset);
    w->correctionState.scanStep = qint8(step);
    QCOMPARE(int(next(5.0f, 3, noLimit)), nextOffset);
    QCOMPARE(int(w->correctionState.scanStep), nextStep);
    QCOMPARE(w->correctionState.previousLevel, 5.0f);
}

void CorrectionTest::feedbackTurnsWhenPowerStopsRising()
{
    w->StationSettings.Feedback = true;
    w->StationSettings.MaxDeviation = 40;
    w->StationSettings.DeviationStep = 4;
    w->StationSettings.DeviationPorog = 0.5f;
    initCorrection(w->correctionState, w->StationSettings, noLimit, {100.0f, 100.0f});
    setCorrectionNoiseLevel(w->correctionState, 10.0f);
    QCOMPARE(int(next(11.0f, 0, noLimit)), 4);  // rose by 1.0: keep going
    QCOMPARE(int(next(11.5f, 1, noLimit)), 0);  // rose by exactly the threshold: turn
    QCOMPARE(int(next(11.0f, 2, noLimit)), 4);  // fell: turn again
    QCOMPARE(int(next(12.0f, 3, noLimit)), 8);
    QCOMPARE(realTimeText(w->correctionState, 12.04f), QStringLiteral("2.0"));
}

void CorrectionTest::radiusLimitStepsBack()
{
    w->StationSettings.ScanModeRL = true;
    w->StationSettings.MaxDeviation = 40;
    w->StationSettings.Radius = 500;
    QList<QVector<int>> calls;
    const OffsetAcrossTrackFn fn = [&](int a, int b, int k) {
        calls << QVector<int>{a, b, k};
        return 480.0f + k; // beyond Radius once the offset passes 20
    };
    w->correctionState.scanOffset = 12;
    w->correctionState.scanStep = 10;
    QCOMPARE(int(next(1.0f, 6, fn)), 12); // 22 is too far: back by the old step
    QCOMPARE(int(w->correctionState.scanStep), -10);
    QCOMPARE(calls.last(), (QVector<int>{6, 5, 22}));
    // Point 0 has no predecessor: no limit.
    w->correctionState.scanOffset = 30;
    w->correctionState.scanStep = 5;
    const int before = calls.size();
    QCOMPARE(int(next(1.0f, 0, fn)), 35);
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
    w->StationSettings.ScanModeRL = rl;
    w->StationSettings.Feedback = feedback;
    w->StationSettings.DeviationStep = 7;
    w->correctionState.scanOffset = 9;
    w->correctionState.pointsRecorded = 17;
    int seenK = -1;
    initCorrection(w->correctionState, w->StationSettings, [&](int a, int b, int k) {
        seenK = k;
        return (a == 1 && b == 0) ? radiusAtStep : -1.0f;
    }, {200.0f, 200.0f});
    QCOMPARE(int(w->correctionState.scanStep), step);
    QCOMPARE(seenK, qAbs(step));
    QCOMPARE(int(w->correctionState.scanOffset), 0);
    QCOMPARE(int(w->correctionState.pointsRecorded), 0);
    QCOMPARE(int(w->correctionState.xValue), 1);
    // A single-point plan has no point 1 to test against.
    bool called = false;
    initCorrection(w->correctionState, w->StationSettings,
                   [&](int, int, int) { called = true; return 0.0f; }, {200.0f});
    QVERIFY(!called);
}

void CorrectionTest::leftAndRightClamp()
{
    w->StationSettings.MaxDeviation = 40;
    w->StationSettings.DeviationStep = 15;
    correctionRight(w->correctionState, w->StationSettings);
    correctionRight(w->correctionState, w->StationSettings);
    QCOMPARE(int(w->correctionState.scanOffset), 30);
    correctionRight(w->correctionState, w->StationSettings);
    QCOMPARE(int(w->correctionState.scanOffset), 40);
    for (int i = 0; i < 6; ++i)
        correctionLeft(w->correctionState, w->StationSettings);
    QCOMPARE(int(w->correctionState.scanOffset), -40);
    // Near the end of the byte the sum must not wrap to the other side.
    w->StationSettings.MaxDeviation = 127;
    w->correctionState.scanOffset = 120;
    correctionRight(w->correctionState, w->StationSettings);
    QCOMPARE(int(w->correctionState.scanOffset), 127);
    w->correctionState.scanOffset = -120;
    correctionLeft(w->correctionState, w->StationSettings);
    QCOMPARE(int(w->correctionState.scanOffset), -127);
}

void CorrectionTest::answeredOnlyWhileRecording()
{
    w->linkState.recordState = 4;
    QVERIFY(!correctionWanted(w->linkState, w->correctionState, 10));
    w->linkState.recordState = 5;
    QVERIFY(correctionWanted(w->linkState, w->correctionState, 10));
    w->correctionState.pointsRecorded = 10;
    QVERIFY(!correctionWanted(w->linkState, w->correctionState, 10));
}

int runCorrectionTest(int argc, char **argv)
{
    CorrectionTest t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_correction.moc"
