#pragma once
#include "acrosstrack.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>

// How well the station points, read from the sweeps across the track: a
// section on each pass page, and a station page with the fit of the pointing
// model (as track-calibrate words it) and its trend per week.
namespace pointingpage {

constexpr int WindowDays = 30; // the fit on the page: passes this close to the newest
constexpr int TrendWeeks = 26; // weeks shown in the trend, back from the newest pass

QString pagePath(); // pointing.html

// The per-pass estimate as kept in the report's state.
QJsonObject toJson(const calibration::PassAcrossTrack &a);
// False when the entry is not one toJson wrote: the estimate is made again.
bool fromJson(const QJsonObject &o, calibration::PassAcrossTrack *a);
// The estimate as a later run reads it back, so that a pass shows the same
// numbers whether it was just read or kept.
calibration::PassAcrossTrack asKept(const calibration::PassAcrossTrack &a);

// The pass page's section: a sentence and a small chart of the error along the
// pass, or a sentence why there is none.
QString passSection(const calibration::PassAcrossTrack &a);

struct Pass
{
    QString file;     // data file name
    QString page;     // pass page, relative to the report folder
    QDateTime whenUtc;
    calibration::PassAcrossTrack across;
};

// The station page; `passes` in any order.
QByteArray page(const QString &station, QList<Pass> passes, const QDateTime &generatedUtc);

} // namespace pointingpage
