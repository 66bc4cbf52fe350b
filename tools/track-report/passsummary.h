#pragma once
#include "datafilereader.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>

// The index line of one data file: what the station recorded and the viewer's
// verdict on the file.
struct PassSummary
{
    QString fileName;     // as in data/
    QString pageBase;     // safe base name of its page, picture and CSV
    QString satellite;
    QString orbit;
    QString start;        // the start as the pass summary gives it
    QDateTime writtenAt;  // from the file name (station local time); else the file's time
    QDateTime startUtc;   // row 0 of the pass, from the summary; invalid when not named
    QString station;      // "Station name" of the configuration
    int recorded = 0;     // rows of the table
    int uploaded = -1;    // reachable points of the pass summary; -1 unknown
    double noise = 0;
    double peakAbove = 0; // highest point mean power above the noise level, dB
    double meanAbove = 0; // mean of the point means above the noise level, dB
    double peakSnr = 0;   // highest point mean SNR, dB
    QString error;        // empty: the file passed the viewer's checks
    bool dataDownload = false; // a copy of the data file is offered
    QString configText;
    QString trackText;

    bool ok() const { return error.isEmpty(); }
    // When the pass was: its start, else the time of writing.
    QDateTime whenUtc() const { return startUtc.isValid() ? startUtc : writtenAt.toUTC(); }
    QString month() const { return whenUtc().toString(QStringLiteral("yyyy-MM")); }
    // Without the two texts: they are most of the bytes and are read again
    // from the data file when its page is made again.
    QJsonObject toJson() const;
    static PassSummary fromJson(const QJsonObject &o);
};

// Satellite, orbit and write time from a data-file name
// "SAT (orbit)_ddMMyy_hhmmss.dat"; false when the name has another form.
bool splitDataFileName(const QString &name, QString *satellite, QString *orbit, QDateTime *written);

// The summary of a file: `file` as read, `data` loaded from it when it passed.
PassSummary summarise(const QString &fileName, const DataFileContent &file, const ViewerData *data);

// A file-name part that is safe in any file system and URL: letters, digits and
// "._-()+" stay, everything else becomes '_'. A name that had to change gets a
// short hash of the original so two names never meet.
QString safePageBase(const QString &dataFileName);
