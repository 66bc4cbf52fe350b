#pragma once
#include <QByteArray>
#include <QObject>
#include <QString>

class QSocketNotifier;
class QTimer;

// The controller's end of the serial line: a pseudo-terminal whose slave side
// is linked as COM<n> in the port folder, where the console looks for ports.
// The slave side is kept open here too, so the line stays up (no hang-up on the
// master) while no console has the port open.
class PtyLink : public QObject
{
    Q_OBJECT
public:
    explicit PtyLink(QObject *parent = nullptr);
    ~PtyLink() override;

    // Creates the pseudo-terminal and the link folder/COM<number>. An existing
    // symlink that is dangling or points at a pseudo-terminal is replaced;
    // anything else is left alone and the call fails.
    bool open(const QString &folder, int number);
    // Removes the link (only when it still points at our terminal) and closes.
    void close();
    bool isOpen() const { return m_master >= 0; }

    QString linkPath() const { return m_linkPath; }
    QString slavePath() const { return m_slavePath; }
    QString errorString() const { return m_error; }

    // Writes all bytes now (non-blocking); returns the number written, -1 when
    // the link is closed.
    qint64 write(const QByteArray &bytes);

signals:
    void received(const QByteArray &bytes);

private:
    void onReadable();
    void dropStaleOutput();

    int m_master = -1;
    int m_slave = -1;
    QSocketNotifier *m_notifier = nullptr;
    QTimer *m_staleTimer = nullptr;
    qint64 m_pendingSinceMs = -1;
    QString m_linkPath;
    QString m_slavePath;
    QString m_error;
};
