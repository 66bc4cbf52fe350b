#pragma once
#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// A port folder for one test; sets TUVARN_PORT_DIR for its lifetime.
class PortFolder
{
public:
    PortFolder();
    ~PortFolder();
    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QByteArray m_previous;
    bool m_hadPrevious = false;
};
