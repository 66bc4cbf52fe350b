// tuvarn.ini: the loader, then everything that turns the accepted numbers
// into whole millimetres, angles and frames.
#include "frames.h"
#include "fuzzsupport.h"
#include "passenv.h"
#include "passplan.h"
#include "passtiming.h"
#include "pointing.h"
#include "correction.h"
#include "settings.h"
#include "skypanel.h"

#include <cmath>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 64 * 1024)
        return 0;
    fuzz::setUp();
    StationSettingsRecord settings;
    if (loadSettingsFromBytes(settings, fuzz::bytes(data, size)) != 0)
        return 0;

    minElevationText(settings);
    PassPlanRecord plan;
    SkyDrawState sky;
    const PassEnv env{settings, sky};
    // A pass from the horizon to the zenith and down again, every 5 degrees.
    for (int i = 0; i <= 36; ++i) {
        plan.azimuth.append(i * 10 * M_PI / 180.0);
        plan.elevation.append((i <= 18 ? i : 36 - i) * 5 * M_PI / 180.0);
    }
    plan.pointCount = plan.azimuth.size();
    plan.startYear = 2026;
    plan.startMonth = 5;
    plan.startDay = 17;
    plan.startHour = 12;
    CorrectionState correction;
    if (analysePass(plan, env) == 0) {
        QVector<double> u1, u2;
        computeArmAngles(settings.Radius, plan.feedRadius, plan.feedAngle, plan.reachableCount, u1, u2);
        QVector<float> radii, angles;
        for (int k = 0; k < plan.reachableCount; ++k) {
            radii.append(float(plan.feedRadius.at(k)));
            angles.append(float(plan.feedAngle.at(k)));
        }
        buildUploadFrame(plan.startSecondOfDay, 0, 0, float(settings.Radius), radii, angles);

        // A feedback sweep over the pass with a rising and falling signal.
        const OffsetAcrossTrackFn across = [&plan](int a, int b, int k) {
            return offsetAcrossTrack(plan, quint16(a), quint16(b), qint8(k));
        };
        const bool feedback = settings.Feedback;
        settings.Feedback = true;
        initCorrection(correction, settings, across, radii);
        setCorrectionNoiseLevel(correction, -90);
        for (int i = 0; i < plan.reachableCount; ++i)
            nextCorrection(correction, settings, -80.0f + float((i * 7) % 11), i, across);
        settings.Feedback = feedback;
    }
    // The offset buttons run against the deviation limits.
    correction.reset();
    for (int i = 0; i < 70; ++i)
        correctionLeft(correction, settings);
    for (int i = 0; i < 140; ++i)
        correctionRight(correction, settings);
    return 0;
}
