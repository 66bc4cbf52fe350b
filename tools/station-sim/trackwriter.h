#pragma once
#include "beammodel.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVector>

// A synthetic pass over the station and the track file that announces it.
namespace trackwriter {

struct PassShape
{
    int points = 40;
    double minElevationDeg = 75.0; // at both ends
    double maxElevationDeg = 86.0; // at the middle
    double headingDeg = 0.0;       // turns the ground track from pass to pass
    double focusMm = 1400.0;       // the dish the pass is laid out for
};

struct Pass
{
    QString satellite;
    QString orbit;
    QDateTime startUtc; // first point, whole second
    // Directions one second apart, already rounded to whole minutes of arc as
    // they stand in the file.
    QVector<int> azimuthMinutes;   // 0 .. 21599
    QVector<int> elevationMinutes;
    double azimuthDeg(int i) const { return azimuthMinutes[i] / 60.0; }
    double elevationDeg(int i) const { return elevationMinutes[i] / 60.0; }
    int size() const { return int(azimuthMinutes.size()); }
};

// A straight ground track through the sky near the zenith: the feed runs along a
// chord of the feed plane whose ends lie at the lowest elevation.
Pass makePass(const QString &satellite, const QString &orbit, const QDateTime &startUtc,
              const PassShape &shape);

// The shape of pass number `count` when passes differ in their closest approach:
// the highest elevation changes so that the chord's nearest point lies at a
// fraction of the lowest elevation's radius that cycles through six values,
// and the headings start 20 degrees off the x axis.
PassShape withApproach(const PassShape &shape, int count);

// The pass as feed positions of a dish with this focus (R = focus / tan(el),
// Fi = azimuth + 180 degrees), the way the console turns it into its table.
beam::TablePath feedPath(const Pass &pass, double focusMm);

// The track file text: three header lines, three title lines, one line per
// point, then the empty line that ends the list (the text ends with "\n").
QByteArray trackFileText(const Pass &pass);

} // namespace trackwriter
