#include "transcript.h"

#include <QDateTime>
#include <QJsonDocument>

Transcript::~Transcript()
{
    close();
}

bool Transcript::open(const QString &path)
{
    close();
    if (path.isEmpty())
        return true;
    m_file.setFileName(path);
    return m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered);
}

void Transcript::write(const QString &dir, const QString &kind, QJsonObject fields)
{
    if (!m_file.isOpen())
        return;
    fields.insert(QStringLiteral("t"),
                  QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs));
    fields.insert(QStringLiteral("dir"), dir);
    fields.insert(QStringLiteral("kind"), kind);
    QByteArray line = QJsonDocument(fields).toJson(QJsonDocument::Compact);
    line.append('\n');
    m_file.write(line);
}

void Transcript::close()
{
    if (m_file.isOpen())
        m_file.close();
}
