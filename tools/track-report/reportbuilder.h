#pragma once
#include "passsummary.h"

#include <QByteArray>
#include <QMap>
#include <QSize>
#include <QString>
#include <QStringList>

struct ReportOptions
{
    QString dataDir = QStringLiteral("data");
    QString statusFile = QStringLiteral("status.json");
    QString outDir = QStringLiteral("report");
    QSize pictureSize = QSize(1200, 900); // the plot panel the picture shows
};

// What one update did.
struct ReportRun
{
    int passes = 0;
    int rebuilt = 0;  // pass pages made anew (new or changed data files)
    int removed = 0;  // pages of data files that are gone
    int bad = 0;      // files that failed the viewer's checks
    bool indexWritten = false;
    bool statusWritten = false;
    QStringList failures; // outputs that could not be written, with the reason
};

// Turns the data folder into the report folder, redoing only what changed: a
// pass page is made again only when its data file's size or time changed, the
// index only when a pass came, changed or went, the status page only when
// status.json changed. What was done is remembered in the report folder, so a
// later run (or a run after a restart) starts from there.
class ReportBuilder
{
public:
    explicit ReportBuilder(const ReportOptions &options);
    ReportRun update();

    static constexpr const char StateFileName[] = ".track-report.json";

private:
    struct Entry
    {
        qint64 size = -1;
        qint64 modifiedMs = 0;
        PassSummary summary;
    };

    void loadState();
    bool saveState(ReportRun &run);
    PassSummary buildPass(const QString &name, qint64 modifiedMs, ReportRun &run);
    void removePass(const PassSummary &pass);
    bool write(const QString &relative, const QByteArray &bytes, ReportRun &run);
    QString out(const QString &relative) const;

    ReportOptions m_options;
    QMap<QString, Entry> m_entries;
    bool m_stateLoaded = false;
    QByteArray m_lastStatus;
    bool m_statusSeen = false;
};
