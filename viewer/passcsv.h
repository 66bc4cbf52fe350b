#pragma once
#include "datafilereader.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVector>

// Where the antenna pointed for each row, from the data file's ".ai" companion,
// and when: the rows follow the track's one-second points from the pass start.
struct PassTrack
{
    QDateTime startUtc;          // time of row 0; invalid when the summary names none
    QVector<float> azimuth;      // degrees, one per companion row
    QVector<float> elevation;    // degrees
    QDateTime rowUtc(int row) const { return startUtc.isValid() ? startUtc.addSecs(row) : QDateTime(); }
};

// Companions larger than this are not read (a real one is a few hundred kB).
constexpr qint64 MaxCompanionBytes = 8 * 1024 * 1024;

// The start from the pass summary ("Start at" or, in service mode, "Actual start
// at", both in the station's local time) as UTC; invalid when there is none.
QDateTime passStartUtc(const QString &trackText);
// The companion's rows; empty when it is missing, too large or not a companion.
PassTrack parseCompanion(const QByteArray &bytes);
PassTrack readPassTrack(const QString &dataFilePath, const QString &trackText);

// The rows of a loaded pass as CSV (C locale, LF line ends, header first):
// point, Fi in degrees, R, Korr, Korr0, samples, mean power and mean SNR as the
// viewer recomputes them from the samples, the power above the noise level,
// then the row's UTC time, azimuth and elevation (empty where not known).
QByteArray passCsv(const ViewerData &d, const PassTrack &track = PassTrack());
