#include "correction.h"

#include "linkstate.h"
#include "settings.h"

#include <cmath>

CorrectionState correctionState;

namespace {
// The offset is one signed byte on the wire; intermediate sums are kept wide
// so that a sum beyond 127 cannot wrap round to the other side.
qint8 toByte(int value)
{
    return static_cast<qint8>(qBound(-128, value, 127));
}
} // namespace

void initCorrection(const OffsetAcrossTrackFn &offsetAcrossTrack, const QVector<float> &feedRadius)
{
    CorrectionState &c = correctionState;
    c.reset();
    if (StationSettings.ScanModeRL)
        c.scanStep = 10;
    if (StationSettings.Feedback)
        c.scanStep = StationSettings.DeviationStep;
    if (offsetAcrossTrack && feedRadius.size() > 1
        && offsetAcrossTrack(1, 0, c.scanStep) > feedRadius.at(1))
        c.scanStep = toByte(-c.scanStep);
}

void setCorrectionNoiseLevel(float level)
{
    correctionState.noiseLevel = level;
    correctionState.previousLevel = level;
}

bool correctionWanted(int uploadPointCount)
{
    return linkState.recordState == 5 && correctionState.pointsRecorded < uploadPointCount;
}

QString realTimeText(float power)
{
    return QString::number(double(power - correctionState.noiseLevel), 'f', 1);
}

qint8 nextCorrection(float power, int pointIndex, const OffsetAcrossTrackFn &offsetAcrossTrack)
{
    CorrectionState &c = correctionState;
    const StationSettingsRecord &st = StationSettings;
    const float previous = c.previousLevel;
    c.previousLevel = power;

    if (st.ScanModeFB) {
        // Each side twice, every flag followed by two zero replies.
        if (c.scanOffset != 0) {
            c.scanOffset = 0;
            c.holdCount = 2;
        } else {
            if (c.holdCount != 0)
                --c.holdCount;
            if (c.holdCount == 0) {
                c.scanOffset = static_cast<qint8>(0x40 << c.sideToggle);
                if (c.repeatCount != 0)
                    --c.repeatCount;
                if (c.repeatCount == 0) {
                    c.repeatCount = 2;
                    c.sideToggle ^= 1;
                }
            }
        }
    } else {
        if (st.Feedback && !(power - previous > st.DeviationPorog))
            c.scanStep = toByte(-c.scanStep);
        const int maxDev = st.MaxDeviation;
        const int next = c.scanOffset + c.scanStep;
        if (next > maxDev) {
            c.scanStep = toByte(-c.scanStep);
            c.scanOffset = toByte(maxDev + c.scanStep);
        } else if (next < -maxDev) {
            c.scanStep = toByte(-c.scanStep);
            c.scanOffset = toByte(c.scanStep - maxDev);
        } else {
            c.scanOffset = toByte(next);
        }
    }

    if (pointIndex > 0 && offsetAcrossTrack) {
        const float radius = offsetAcrossTrack(pointIndex, pointIndex - 1, c.scanOffset);
        if (radius > float(st.Radius)) {
            const int oldStep = c.scanStep;
            c.scanStep = toByte(-oldStep);
            c.scanOffset = toByte(c.scanOffset - oldStep);
        }
    }
    return c.scanOffset;
}

void correctionLeft()
{
    CorrectionState &c = correctionState;
    const int maxDev = StationSettings.MaxDeviation;
    int next = c.scanOffset - StationSettings.DeviationStep;
    if (next < -maxDev)
        next = -maxDev;
    c.scanOffset = toByte(next);
}

void correctionRight()
{
    CorrectionState &c = correctionState;
    const int maxDev = StationSettings.MaxDeviation;
    int next = c.scanOffset + StationSettings.DeviationStep;
    if (next > maxDev)
        next = maxDev;
    c.scanOffset = toByte(next);
}
