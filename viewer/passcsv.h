#pragma once
#include "datafilereader.h"

#include <QByteArray>

// The rows of a loaded pass as CSV (C locale, LF line ends, header first):
// point, Fi in degrees, R, Korr, Korr0, samples, mean power and mean SNR as the
// viewer recomputes them from the samples, and the power above the noise level.
QByteArray passCsv(const ViewerData &d);
