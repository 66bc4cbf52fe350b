// The track file from the prediction program: parser, pass analysis, summary,
// arm angles, upload frame and archive name.
#include "frames.h"
#include "fuzzsupport.h"
#include "passenv.h"
#include "passplan.h"
#include "passtiming.h"
#include "pointing.h"
#include "settings.h"
#include "skypanel.h"
#include "trackfile.h"
#include "upload.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 256 * 1024)
        return 0;
    fuzz::setUp();
    StationSettingsRecord settings = fuzz::exampleSettings();
    PassPlanRecord plan;
    SkyDrawState sky;
    const PassEnv env{settings, sky};

    TrackFile track;
    if (track.parse(fuzz::bytes(data, size)) != TrackOk)
        return 0;
    renamedTrackPath(settings.TrackPath, false, QString(), track.satellite(), track.orbit());
    renamedTrackPath(settings.TrackPath, true, QStringLiteral("/tmp"), track.satellite(),
                     track.orbit());
    track.commitTo(plan);
    track.release();
    if (analysePass(plan, env) == 0) {
        passStartState(plan);
        passSummaryText(plan, env, passFileStartUtc(plan));
        const int n = plan.reachableCount;
        QVector<double> u1, u2;
        computeArmAngles(settings.Radius, plan.feedRadius, plan.feedAngle, n, u1, u2);
        uploadTableText(plan, QStringLiteral("fuzz"), n, u1, u2);
        QVector<float> radii, angles;
        for (int k = 0; k < n; ++k) {
            radii.append(float(plan.feedRadius.at(k)));
            angles.append(float(plan.feedAngle.at(k)));
        }
        buildUploadFrame(plan.startSecondOfDay, 0, 0, float(settings.Radius), radii, angles);
    }
    return 0;
}
