#pragma once
#include <QByteArray>
#include <QObject>
#include <QString>

// The controller's end of the wire as the link sees it: the serial port on the
// station, an in-process stand-in in tests. Writes and reads are no-ops (-1)
// while not opened, so callers need no checks of their own.
class ControllerTransport : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~ControllerTransport() override = default;

    // 0 open (newly or already), 1 port absent, 2 present but not opened.
    virtual quint8 open() = 0;
    // The system's reason of the last failed open (result 2).
    virtual QString openError() const = 0;
    virtual bool isOpened() const = 0;
    virtual qint64 write(const QByteArray &bytes) = 0;
    virtual qint64 read(char *buffer, qint64 maxLength) = 0;
    virtual qint64 bytesAvailable() const = 0;
    // Discards what is waiting to be read.
    virtual void clearInput() = 0;
    // Closes a line whose other end hung up; true when it did.
    virtual bool dropIfHungUp() = 0;

signals:
    // Bytes arrived (emitted again for every later arrival).
    void readyRead();
};
