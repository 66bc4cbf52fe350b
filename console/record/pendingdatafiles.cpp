#include "pendingdatafiles.h"

#include "wholefile.h"

#include <QDir>
#include <QFileInfo>

QString PendingDataFiles::add(const QString &path, const QByteArray &dataText,
                              const QByteArray &companionText)
{
    QString dropped;
    if (m_passes.size() >= MaxKept)
        dropped = m_passes.takeFirst().path;
    m_passes.append({path, dataText, companionText});
    return dropped;
}

QStringList PendingDataFiles::retry(QString *lastError)
{
    QStringList written;
    QString firstError;
    for (int i = 0; i < m_passes.size();) {
        Pass &p = m_passes[i];
        QString error;
        if (!QDir().mkpath(QFileInfo(p.path).path()))
            error = QStringLiteral("cannot create folder %1").arg(QFileInfo(p.path).path());
        if (error.isEmpty() && !p.dataText.isEmpty() && writeWholeFile(p.path, p.dataText, &error))
            p.dataText.clear();
        const QString companion = p.path + QStringLiteral(".ai");
        if (error.isEmpty() && !p.companionText.isEmpty()
            && writeWholeFile(companion, p.companionText, &error))
            p.companionText.clear();
        if (p.dataText.isEmpty() && p.companionText.isEmpty()) {
            written.append(p.path);
            m_passes.removeAt(i);
            continue;
        }
        if (firstError.isEmpty())
            firstError = error;
        ++i;
    }
    if (lastError)
        *lastError = firstError;
    return written;
}

QStringList PendingDataFiles::paths() const
{
    QStringList out;
    for (const Pass &p : m_passes)
        out.append(p.path);
    return out;
}
