#pragma once
#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <functional>

// The live status page, from the console's status.json.
namespace statuspage {

// status.json files larger than this are refused (a real one is under 2 kB).
constexpr qint64 MaxStatusBytes = 64 * 1024;

struct Input
{
    bool valid = false;      // `status` holds a parsed status.json
    QJsonObject status;      // as published: only what the page shows
    QString problem;         // a plain sentence when not valid; never a path or the file's bytes
};

// Parses the bytes of status.json (empty with `readProblem` when they could not be read).
Input parse(const QByteArray &bytes, const QString &readProblem);

// The fields the page shows, nothing else; the last data file by its name only.
QJsonObject published(const QJsonObject &status);

// The page. `now` is the time it is made: the age shown until the browser's
// script takes over with its own clock. Past `staleSeconds` the whole status
// turns red with "no news for N min". `pageOfDataFile` gives the report page of
// a data file name, empty when there is none.
QByteArray page(const Input &in, const QDateTime &now, int staleSeconds,
                const std::function<QString(const QString &)> &pageOfDataFile);

// True when a live (not stopped) status is older than `staleSeconds` at `now`.
bool isStale(const Input &in, const QDateTime &now, int staleSeconds);

// "12 s", "4 min", "3 h 5 min", "2 d 4 h".
QString ageText(qint64 seconds);

} // namespace statuspage
