#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// Resets every process-wide record the link core touches and collects the
// event sink, so each test starts from the state of a fresh console.
void resetLinkWorld();

// A pseudo-terminal whose slave side is linked as COM<n> in a temporary port
// folder (TUVARN_PORT_DIR), standing in for the controller's serial line.
class PtyLink
{
public:
    explicit PtyLink(const QString &portDir, int comNumber);
    ~PtyLink();
    bool isValid() const { return m_master >= 0 && m_linked; }
    // Bytes the console wrote, waiting up to timeoutMs for at least count.
    QByteArray readFromConsole(int count, int timeoutMs = 2000);
    void writeToConsole(const QByteArray &bytes);
    void unlinkName();

private:
    int m_master = -1;
    bool m_linked = false;
    QString m_linkPath;
};

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

QByteArray hex(const char *text);
