#pragma once
#include <QString>
#include <QVector>
#include <QtGlobal>
#include <functional>

struct LinkState;
struct StationSettingsRecord;

// The correction replies with which the console steers the feed across the
// track while a pass is recorded: the forward-back flags, the left-right sweep
// and the feedback search.

// Feed radius of point a shifted k mm across the track from the direction of
// point b (offsetAcrossTrack of the pointing model, not remembered). It may
// return NaN for indices outside the plan: the Radius limit then does not act.
using OffsetAcrossTrackFn = std::function<float(int a, int b, int k)>;

struct CorrectionState
{
    qint8 scanOffset = 0;
    qint8 scanStep = 0;
    quint8 holdCount = 2;
    quint8 repeatCount = 0;
    quint8 sideToggle = 0;
    qint16 pointsRecorded = 0; // as returned by the store's addPoint
    qint16 xValue = 1;
    float noiseLevel = 0;
    float previousLevel = 0;   // power of the last request (noise level at first)

    void reset() { *this = CorrectionState(); }
};


// At recording start (recordState 1 -> 2): scanStep 0, 10 with ScanModeRL,
// DeviationStep with Feedback (which wins); negated when the first step would
// take point 1 beyond its radius, so the sweep starts towards the smaller one.
// The direction test needs feedRadius[1]; with fewer points it is skipped.
void initCorrection(CorrectionState &correctionState, const StationSettingsRecord &settings,
                    const OffsetAcrossTrackFn &offsetAcrossTrack,
                    const QVector<float> &feedRadius);
// The noise level (recordState 2 -> 3), also the previous level of the first request.
void setCorrectionNoiseLevel(CorrectionState &correctionState, float level);

// True when a correction request is to be answered: recordState 5 and fewer
// points recorded than uploaded.
bool correctionWanted(const LinkState &linkState, const CorrectionState &correctionState,
                      int uploadPointCount);
// RealTime label: P minus the noise level, one decimal.
QString realTimeText(const CorrectionState &correctionState, float power);
// The next correction reply for mean power P of the closed point and the
// point index of the last tracking reply. Keeps P as the previous level.
qint8 nextCorrection(CorrectionState &correctionState, const StationSettingsRecord &settings, float power,
                     int pointIndex, const OffsetAcrossTrackFn &offsetAcrossTrack);

// The Left and Right buttons: move the offset by DeviationStep, held within
// +-MaxDeviation. Nothing is sent.
void correctionLeft(CorrectionState &correctionState, const StationSettingsRecord &settings);
void correctionRight(CorrectionState &correctionState, const StationSettingsRecord &settings);
