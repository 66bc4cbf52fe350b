#pragma once
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// The files of passes that could not be written at the finish (the data
// folder read-only or full for a while). They are kept in memory and tried
// again until they are written, so a pass is not lost to a passing trouble.
class PendingDataFiles
{
public:
    // Passes kept at most; the oldest goes when another comes.
    static constexpr int MaxKept = 16;

    // The data file at `path` and its companion at path + ".ai"; a text that
    // is empty was written already. Returns the path of a pass dropped to
    // make room, or an empty string.
    QString add(const QString &path, const QByteArray &dataText, const QByteArray &companionText);

    // Tries every kept pass once. Returns the paths of the passes now whole
    // on disk; *lastError says why the first one still waiting failed.
    QStringList retry(QString *lastError = nullptr);

    bool isEmpty() const { return m_passes.isEmpty(); }
    int size() const { return int(m_passes.size()); }
    QStringList paths() const;

private:
    struct Pass
    {
        QString path;
        QByteArray dataText;      // empty once written
        QByteArray companionText; // empty once written
    };
    QList<Pass> m_passes;
};
