#pragma once
#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>

// What status.json tells about the station: a plain record filled by the
// console, turned into JSON here. Keys are documented in the README.
struct StationStatus
{
    QString station;
    bool serviceMode = false;

    bool linkAlive = false;     // a reply came within the last three seconds
    QString linkText;           // the link label as shown
    QString firmware;           // "major.minor" of the last reply, empty before one

    quint16 replyWord = 0;      // status word of the last reply as received
    bool gpsKnown = false;      // a reply has been received
    qint32 gpsTimeWord = -1;    // seconds after UTC midnight, -1 unknown

    bool stateKnown = false;    // a state change has been shown
    quint16 stateWord = 0;      // the word the state line was made from
    QString stateText;          // the state line, trimmed
    bool stateError = false;    // shown in red

    bool stopped = false;       // the console has ended: "mode" reads "stopped"
    bool passLoaded = false;
    QString satellite;
    QString orbit;
    QDateTime passStartUtc;     // first reachable point
    int reachablePoints = 0;
    int uploadPoints = 0;

    int recordState = 0;        // 0..5
    quint32 recordedPoints = 0;

    QString lastDataFile;       // path of the last data file written
    QDateTime lastEventUtc;
    QString lastEvent;
    int errors = 0;             // error events since start

    // Everything but the time of writing.
    QJsonObject toJson() const;
};

// Text of the GPS bits 13..12.
QString gpsStateName(quint16 statusWord);
QString recordStateName(int recordState);

// Writes status.json whole or not at all (temporary file, then rename), and only
// when its content other than the time has changed.
class StatusFile
{
public:
    explicit StatusFile(const QString &path) : m_path(path) {}

    enum Result { Unchanged, Written, Failed };
    // On Failed the reason is in *error; the next call tries again.
    // The "time" of a document is when its content last changed; a reader
    // compares it with its own clock to tell a live console from a stale file.
    Result update(const QJsonObject &content, const QDateTime &nowUtc, QString *error = nullptr);
    // The bytes as written: the content with "time" added.
    static QByteArray document(const QJsonObject &content, const QDateTime &nowUtc);

private:
    QString m_path;
    QJsonObject m_written;
    bool m_any = false;
};
