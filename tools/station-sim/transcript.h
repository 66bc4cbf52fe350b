#pragma once
#include <QFile>
#include <QJsonObject>
#include <QString>

// The JSON-lines record of everything on the wire, one object per line, each
// line flushed as it is written so a reader never sees half a line.
class Transcript
{
public:
    Transcript() = default;
    ~Transcript();
    Transcript(const Transcript &) = delete;
    Transcript &operator=(const Transcript &) = delete;

    // Empty path: nothing is written. False when the file cannot be created.
    bool open(const QString &path);
    bool isOpen() const { return m_file.isOpen(); }
    QString errorString() const { return m_file.errorString(); }

    // Adds "t" (ISO UTC with milliseconds), "dir" and "kind" to the fields.
    void write(const QString &dir, const QString &kind, QJsonObject fields = QJsonObject());
    void close();

private:
    QFile m_file;
};
