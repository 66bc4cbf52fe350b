#pragma once
#include "acrosstrack.h"
#include "passsummary.h"
#include "reportfiles.h"

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
    int staleSeconds = 90;                // status older than this shows red
    int threads = 0;                      // pictures drawn at once; 0: one per core
};

// What one update did.
struct ReportRun
{
    int passes = 0;
    int rebuilt = 0;  // passes whose files were made anew (new or changed data files)
    int estimated = 0; // unchanged passes whose across-track error was not yet known
    int removed = 0;  // passes of data files that are gone
    int bad = 0;      // files that failed the viewer's checks
    int skipped = 0;  // entries of data/ left out, each named on the index
    bool indexWritten = false;
    bool statusWritten = false;
    QStringList failures; // outputs that could not be written, with the reason
};

// Turns the data folder into the report folder, redoing only what changed: a
// pass's files are made again only when its data file's size or time changed,
// a pass page also when its neighbours changed, the index and the month pages
// only when a pass came, changed or went, the status page only when
// status.json changed. What was done is remembered in the report folder, so a
// later run (or a run after a restart) starts from there. Nothing is written
// or removed outside the report folder, and nothing through a link.
class ReportBuilder
{
public:
    explicit ReportBuilder(const ReportOptions &options);
    ReportRun update();

    static constexpr const char StateFileName[] = ".track-report.json";
    // Data files with more lines than this are refused before they are read
    // (a full pass has three lines per point and 65535 points at most).
    static constexpr qint64 MaxDataFileLines = 3 * 65535 + 200;

    // The entries of a state file that can be trusted: each one's page name is
    // the one its data file name gives, so nothing it names lies outside passes/.
    struct Entry
    {
        qint64 size = -1;
        qint64 modifiedMs = 0;
        bool companion = false;
        bool texts = false;   // the summary holds the data file's texts (not kept in the state)
        QString older, newer; // page names of the neighbours the page links to
        PassSummary summary;
        calibration::PassAcrossTrack across; // the sweeps' answer, kept so a rerun need not read the file
        bool acrossKnown = false;
    };
    // `skipped`: how many entries of data/ the index named as left out (-1: unknown).
    static QMap<QString, Entry> parseState(const QByteArray &json, int *skipped = nullptr);

private:
    struct Built
    {
        Entry entry;
        QStringList failures;
    };
    void loadState();
    void saveState(ReportRun &run);
    Built buildPass(const reportfiles::DataEntry &file) const;
    calibration::PassAcrossTrack estimatePass(const QString &name) const;
    DataFileContent readDataFile(const QString &path, qint64 *lines, QByteArray *bytes, QString *reason) const;
    void removePass(const PassSummary &pass);
    bool write(const QString &relative, const QByteArray &bytes, ReportRun &run) const;
    bool write(const QString &relative, const QByteArray &bytes, QStringList &failures) const;
    QString out(const QString &relative) const;
    void copyChartLibrary(ReportRun &run);
    void readTexts(Entry &e) const;
    void updateStatus(ReportRun &run, bool passesChanged);

    ReportOptions m_options;
    QMap<QString, Entry> m_entries;
    bool m_stateLoaded = false;
    QByteArray m_lastStatus;
    bool m_statusSeen = false;
    bool m_lastStale = false;
    int m_lastSkipped = -1;
};
