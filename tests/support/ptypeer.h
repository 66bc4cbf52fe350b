#pragma once
#include "ptylink.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

// The far end of a serial line for tests: the stand-in's pseudo-terminal,
// its slave side linked as COM<n> in a port folder where the console (or
// anything opening "COM<n>") finds it. Bytes arrive through the event loop.
class PtyPeer : public QObject
{
public:
    PtyPeer(const QString &portDir, int comNumber, QObject *parent = nullptr);

    bool isValid() const { return m_link.isOpen(); }
    QString linkPath() const { return m_link.linkPath(); }
    QString errorString() const { return m_link.errorString(); }

    void write(const QByteArray &bytes);
    // What the other side wrote since the last read: runs the event loop
    // until at least `count` bytes are there or `timeoutMs` has passed.
    QByteArray read(int count, int timeoutMs = 2000);
    // From now on, what arrives is cut into frames at `silenceMs` of quiet,
    // as a device framing by silence does; each goes to `onFrame` (which may
    // write an answer) instead of to read(); `onFirstByte`, when given, runs
    // as the first bytes of each frame arrive.
    void cutFrames(int silenceMs, std::function<void(const QByteArray &)> onFrame,
                   std::function<void()> onFirstByte = {});

    // The name goes (an adapter pulled) while the terminal stays.
    void unlinkName();

private:
    void onReceived(const QByteArray &bytes);

    PtyLink m_link;
    QByteArray m_received;
    QTimer m_silence;
    std::function<void(const QByteArray &)> m_onFrame;
    std::function<void()> m_onFirstByte;
};
