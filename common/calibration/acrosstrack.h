#pragma once
#include "datafilereader.h"

#include <QString>
#include <QVector>

// Where the power peaked across the track, from the sweeps the console makes
// while it tracks (ScanModeRL, Feedback). A row's power was received before the
// row's own Korr was sent, so it belongs to the offset of the row before it,
// with the feed between the two table points.
namespace calibration {

// One sweep across the track that found the peak.
struct SweepEstimate
{
    double acrossMm = 0;  // peak's offset along the normal from the commanded point
    double xMm = 0;       // commanded point (table point, no offsets) at the sweep
    double yMm = 0;
    double nx = 0;        // across-track normal there (y never negative)
    double ny = 0;
    double peakDb = 0;    // peak power above the noise level
    double widthMm = 0;   // full width at half power of the fitted beam
    int firstRow = 0;
    int rows = 0;
};

struct PassAcrossTrack
{
    QString error;         // empty when the pass gave an answer; otherwise why not
    int sweeps = 0;        // sweeps tried
    QVector<SweepEstimate> found;
    double meanMm = 0;     // across-track error, mean over the found sweeps
    double spreadMm = 0;   // their standard deviation
    double widthMm = 0;    // median beam width
    double meanPowerDb = 0; // mean power above the noise level over the pass
    double korr = 1.0;     // the korr the pass was recorded with
};

// Fewer found sweeps than this leave a pass out.
constexpr int MinSweepsPerPass = 3;

// The estimate for a file already read; a file that failed the reader gives
// its error back.
PassAcrossTrack estimateAcrossTrack(const DataFileContent &file);
// Reads the file first.
PassAcrossTrack estimateAcrossTrackOfFile(const QString &path);

} // namespace calibration
