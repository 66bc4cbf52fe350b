#pragma once
#include "acrosstrack.h"
#include "passsummary.h"
#include "reportfiles.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QMap>

// The static pages of the pass archive: plain HTML, one style sheet and one
// small script (filters, ages, charts); everything works from a plain folder
// with no server. Every text taken from files is escaped.
namespace reportpages {

// One date format on every page.
QString utcText(const QDateTime &t);
QString esc(const QString &s);
// A link to a file of the report: the name percent-encoded, then escaped.
QString href(const QString &relative);
// The page's head; `root` leads from the page to the report folder.
QString head(const QString &title, const QString &root, int refreshSeconds = 0);

struct MonthCount
{
    int passes = 0;
    int bad = 0;
};

constexpr int FrontPageRows = 100;

// The front page: live status, the newest passes, the months with their counts,
// and what in data/ was left out. `newest` is sorted newest first.
QByteArray index(const QString &station, const QList<PassSummary> &newest, int total,
                 const QMap<QString, MonthCount> &months, const QList<reportfiles::SkippedEntry> &skipped,
                 const QDateTime &generatedUtc);
// All passes of one month ("yyyy-MM"), newest first.
QByteArray monthPage(const QString &station, const QString &month, const QList<PassSummary> &passes,
                     const QMap<QString, MonthCount> &months);
// One pass; `older`/`newer` its neighbours in the archive (null at the ends).
// `across`: the pass's across-track error, shown when the file passed.
QByteArray passPage(const PassSummary &pass, const PassSummary *older, const PassSummary *newer, bool hasCompanion,
                    const calibration::PassAcrossTrack &across);

// Paths inside the report folder.
QString pagePath(const PassSummary &pass);    // passes/<base>.html
QString picturePath(const PassSummary &pass); // passes/<base>.png
QString csvPath(const PassSummary &pass);     // passes/<base>.csv
QString monthPath(const QString &month);      // months/<yyyy-MM>.html
// Everything kept in passes/ for one pass.
QStringList passFiles(const PassSummary &pass);

} // namespace reportpages
