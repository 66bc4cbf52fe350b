#pragma once
#include "passdatastore.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QString>
#include <QVector>

#include <functional>
#include <vector>

// The open pass, journalled as it is recorded, so that a power cut, a kill or
// a crash mid-pass loses nothing: the next start writes its data file from the
// journal. Lives beside data/, never inside it, so data/ only ever holds data
// files.
inline constexpr const char PassJournalFileName[] = "pass.journal";

// What the finish takes from the pass plan, fixed when the recording starts.
struct JournalPass
{
    QString satellite;
    QString orbit;
    QVector<double> feedRadius;
    QVector<double> feedAngle;
    QVector<double> azimuth;   // from the first reachable point on, as written
    QVector<double> elevation; // likewise
};

// Append-only: one line a record, each with its own checksum, each point
// flushed to the disk before the next. The reason a write failed reaches the
// log once per change.
class PassJournal
{
public:
    using Log = std::function<void(const QString &)>;
    explicit PassJournal(Log log, const QString &path = QLatin1String(PassJournalFileName));

    // A recording starts: replaces any earlier journal.
    void begin(const JournalPass &pass, float noiseLevel, const QString &title);
    void noiseLevel(float level);
    // The store was cleared: the points so far do not count.
    void cleared();
    // Point `index` of the store was just closed; title is the data file's
    // title as the finish would write it now, local the time now.
    void point(const PassDataStore &store, quint32 index, const QString &title, const QDateTime &local);
    // The pass finished: the journal goes. When its data file could not be
    // written and waits in memory for a retry (keptFileName), the name is
    // journalled instead and the journal stays until written(keptFileName).
    void finished(const QString &keptFileName = QString());
    // A data file kept after a failed finish is now on disk.
    void written(const QString &fileName);
    // The journal on disk belongs to keptFileName, waiting in memory for a
    // retry (a recovery at start that could not write).
    void keepFor(const QString &keptFileName) { m_keptFor = keptFileName; }

    bool isOpen() const { return m_file.isOpen(); }
    QString path() const { return m_path; }

private:
    void append(const QByteArray &body, bool sync);
    void remove();

    Log m_log;
    QString m_path;
    QFile m_file;
    QString m_title;
    QString m_keptFor;    // the data file a kept journal belongs to
    QString m_lastError;
};

// A journal read back: everything before the first damaged record.
struct JournalContents
{
    bool readable = false; // the opening record was whole
    QString reason;        // why not readable
    bool damaged = false;  // records after the last good one were dropped
    quint32 depth = 0;
    JournalPass pass;
    QString title;
    float noiseLevel = 0;
    std::vector<PassDataStore::RecordedPoint> points;
    QDateTime lastLocal;   // time of the last point
    QString finishName;    // the name given at a finish that could not write
};

JournalContents readPassJournal(const QByteArray &bytes);

struct JournalRecovery
{
    bool found = false;    // there was a journal
    bool written = false;  // its data file and companion are on disk
    int points = 0;
    QString fileName;      // in the data folder
    // When not written: the two files' texts, for writing later.
    QByteArray dataText;
    QByteArray companionText;
};

// At start: a journal left by a pass that never finished becomes its data file
// and companion in dataFolder (as the finish would have named and written
// them); the journal is removed only once both are written. Logs what it did.
// When the files cannot be written, the journal stays and the result carries
// their texts.
JournalRecovery recoverPassJournal(const QString &journalPath, const QString &dataFolder,
                                   const PassJournal::Log &log);
