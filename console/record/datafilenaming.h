#pragma once
#include <QDateTime>
#include <QString>

struct StationSettingsRecord;

// Name of a pass's data file: satellite " (" orbit ")_" ddMMyy_hhmmss ".dat",
// made safe as a whole so that track content can never lead out of the data folder,
// and with the satellite part shortened so that the companion ".ai" and the
// writer's temporary file still fit the file system's name limit.
QString dataFileName(const QString &satellite, const QString &orbit, const QDateTime &local);
// The same at the platform's local time now.
QString dataFileName(const QString &satellite, const QString &orbit);

// The title block of a data file from the station settings; it ends with
// "TrackInfo:\n", after which the caller appends the pass summary.
QString dataFileTitle(const StationSettingsRecord &settings);
