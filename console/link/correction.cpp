#include "correction.h"

#include "linkstate.h"
#include "settings.h"

#include <cmath>

namespace {
// The offset is one signed byte on the wire; intermediate sums are kept wide
// so that a sum beyond 127 cannot wrap round to the other side.
qint8 toByte(int value)
{
    return static_cast<qint8>(qBound(-128, value, 127));
}
} // namespace

void initCorrection(CorrectionState &c, const StationSettingsRecord &settings,
                    const OffsetAcrossTrackFn &offsetAcrossTrack, const QVector<float> &feedRadius)
{
    c.reset();
    if (settings.ScanModeRL)
        c.scanStep = 10;
    if (settings.Feedback)
        c.scanStep = settings.DeviationStep;
    if (offsetAcrossTrack && feedRadius.size() > 1
        && offsetAcrossTrack(1, 0, c.scanStep) > feedRadius.at(1))
        c.scanStep = toByte(-c.scanStep);
}

void setCorrectionNoiseLevel(CorrectionState &c, float level)
{
    c.noiseLevel = level;
    c.previousLevel = level;
}

bool correctionWanted(const LinkState &linkState, const CorrectionState &c, int uploadPointCount)
{
    return linkState.recordState == 5 && c.pointsRecorded < uploadPointCount;
}

QString realTimeText(const CorrectionState &c, float power)
{
    return QString::number(double(power - c.noiseLevel), 'f', 1);
}

qint8 nextCorrection(CorrectionState &c, const StationSettingsRecord &st, float power, int pointIndex,
                     const OffsetAcrossTrackFn &offsetAcrossTrack)
{
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

void correctionLeft(CorrectionState &c, const StationSettingsRecord &settings)
{
    const int maxDev = settings.MaxDeviation;
    int next = c.scanOffset - settings.DeviationStep;
    if (next < -maxDev)
        next = -maxDev;
    c.scanOffset = toByte(next);
}

void correctionRight(CorrectionState &c, const StationSettingsRecord &settings)
{
    const int maxDev = settings.MaxDeviation;
    int next = c.scanOffset + settings.DeviationStep;
    if (next > maxDev)
        next = maxDev;
    c.scanOffset = toByte(next);
}
