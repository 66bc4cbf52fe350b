#pragma once
#include "beammodel.h"
#include "trackwriter.h"

#include <QObject>
#include <QVector>

class QTimer;
class Transcript;

// The pass-prediction program's stand-in: writes a track file for a pass a
// little ahead, once or again and again, and remembers where each pass really
// runs so the demodulator can measure against it.
class PassSource : public QObject
{
    Q_OBJECT
public:
    struct Options
    {
        QString trackPath;
        int leadSeconds = 60;
        int everySeconds = 0; // 0: one pass only
        trackwriter::PassShape shape;
        QString satellite = QStringLiteral("SIMSAT");
        int firstOrbit = 1;
        // Passes come nearer to the axis or stay farther from it, pass by pass.
        bool varyApproach = false;
    };

    PassSource(const Options &options, Transcript *transcript, QObject *parent = nullptr);

    // Writes the first file now and starts the repeat.
    bool start(QString *error);
    void stop();
    // Writes one more pass now; false (with the reason) when the file cannot be written.
    bool writePass(QString *error = nullptr);

    // The generated path covering a moment, and the point of it then.
    const beam::TablePath *pathAt(qint64 ms, int *index) const;

signals:
    void passWritten(const QString &path, const QString &satellite, const QString &orbit,
                     const QDateTime &startUtc, int points);

private:
    struct Generated
    {
        qint64 startMs = 0;
        beam::TablePath path;
    };

    Options m_options;
    Transcript *m_transcript = nullptr;
    QTimer *m_timer = nullptr;
    int m_orbit = 0;
    int m_count = 0;
    QVector<Generated> m_passes;
};
