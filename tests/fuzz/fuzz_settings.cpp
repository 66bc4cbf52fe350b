// tuvarn.ini: the loader, then everything that turns the accepted numbers
// into whole millimetres, angles and frames.
#include "frames.h"
#include "fuzzsupport.h"
#include "passplan.h"
#include "passtiming.h"
#include "pointing.h"
#include "correction.h"

#include <cmath>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 64 * 1024)
        return 0;
    fuzz::setUp();
    StationSettings.reset();
    if (loadSettingsFromBytes(fuzz::bytes(data, size)) != 0)
        return 0;

    minElevationText();
    PassPlan.reset();
    // A pass from the horizon to the zenith and down again, every 5 degrees.
    for (int i = 0; i <= 36; ++i) {
        PassPlan.azimuth.append(i * 10 * M_PI / 180.0);
        PassPlan.elevation.append((i <= 18 ? i : 36 - i) * 5 * M_PI / 180.0);
    }
    PassPlan.pointCount = PassPlan.azimuth.size();
    PassPlan.startYear = 2026;
    PassPlan.startMonth = 5;
    PassPlan.startDay = 17;
    PassPlan.startHour = 12;
    if (analysePass() == 0) {
        QVector<double> u1, u2;
        computeArmAngles(PassPlan.feedRadius, PassPlan.feedAngle, PassPlan.reachableCount, u1, u2);
        QVector<float> radii, angles;
        for (int k = 0; k < PassPlan.reachableCount; ++k) {
            radii.append(float(PassPlan.feedRadius.at(k)));
            angles.append(float(PassPlan.feedAngle.at(k)));
        }
        buildUploadFrame(PassPlan.startSecondOfDay, 0, 0, float(StationSettings.Radius), radii, angles);

        // A feedback sweep over the pass with a rising and falling signal.
        const OffsetAcrossTrackFn across = [](int a, int b, int k) {
            return offsetAcrossTrack(quint16(a), quint16(b), qint8(k), false);
        };
        const bool feedback = StationSettings.Feedback;
        StationSettings.Feedback = true;
        initCorrection(across, radii);
        setCorrectionNoiseLevel(-90);
        for (int i = 0; i < PassPlan.reachableCount; ++i)
            nextCorrection(-80.0f + float((i * 7) % 11), i, across);
        StationSettings.Feedback = feedback;
    }
    // The offset buttons run against the deviation limits.
    correctionState.reset();
    for (int i = 0; i < 70; ++i)
        correctionLeft();
    for (int i = 0; i < 140; ++i)
        correctionRight();
    PassPlan.reset();
    return 0;
}
