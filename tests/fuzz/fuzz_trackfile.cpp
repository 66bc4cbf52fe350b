// The track file from the prediction program: parser, pass analysis, summary,
// arm angles, upload frame and archive name.
#include "frames.h"
#include "fuzzsupport.h"
#include "passplan.h"
#include "passtiming.h"
#include "pointing.h"
#include "trackfile.h"
#include "upload.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 256 * 1024)
        return 0;
    fuzz::setUp();
    fuzz::exampleSettings();
    PassPlan.reset();

    TrackFile track;
    if (track.parse(fuzz::bytes(data, size)) != TrackOk)
        return 0;
    renamedTrackPath(StationSettings.TrackPath, false, QString(), track.satellite(), track.orbit());
    renamedTrackPath(StationSettings.TrackPath, true, QStringLiteral("/tmp"), track.satellite(),
                     track.orbit());
    track.commitTo(PassPlan);
    track.release();
    if (analysePass() == 0) {
        passStartState();
        passSummaryText(passFileStartUtc());
        const int n = PassPlan.reachableCount;
        QVector<double> u1, u2;
        computeArmAngles(PassPlan.feedRadius, PassPlan.feedAngle, n, u1, u2);
        uploadTableText(QStringLiteral("fuzz"), n, u1, u2);
        QVector<float> radii, angles;
        for (int k = 0; k < n; ++k) {
            radii.append(float(PassPlan.feedRadius.at(k)));
            angles.append(float(PassPlan.feedAngle.at(k)));
        }
        buildUploadFrame(PassPlan.startSecondOfDay, 0, 0, float(StationSettings.Radius), radii, angles);
    }
    PassPlan.reset();
    return 0;
}
