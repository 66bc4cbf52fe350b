#pragma once
#include "datafilereader.h"
#include "passcsv.h"

#include <QByteArray>

// The browser's views of one pass, written beside its page.
namespace passgraphics {

// The pass on the sky (azimuth around, elevation inwards) as SVG: N/E/S/W,
// rings at 0, 30 and 60 degrees, every point coloured by its power above the
// noise level with a colour bar in dB, start and end marked, hover values.
QByteArray skySvg(const ViewerData &data, const PassTrack &track);

// The rows for the charts: a script that hands them to the page's drawing code.
QByteArray chartScript(const ViewerData &data, const PassTrack &track);

} // namespace passgraphics
