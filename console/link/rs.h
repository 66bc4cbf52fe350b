#pragma once
#include "controllertransport.h"

#include <QSerialPort>

// The serial-port wrapper of the controller link. Every sender and receiver of
// the link goes through it; write and read are no-ops (-1) while not opened, so
// the callers need no checks of their own.
class rs : public ControllerTransport
{
    Q_OBJECT
public:
    rs(quint16 readBufferSize, quint16 portNumber);
    ~rs() override;

    // 0 open (newly or already), 1 port absent, 2 present but not opened.
    quint8 open() override;
    // -1 and nothing sent/read when not opened.
    qint64 write(const QByteArray &bytes) override;
    qint64 read(char *buffer, qint64 maxLength) override;
    qint64 bytesAvailable() const override;
    void clearInput() override;
    void flushOutput();
    void setParity(QSerialPort::Parity parity);
    QSerialPort::Parity parity() const;

    // The other end hung up (the device went away, perhaps to come back).
    bool hungUp() const;
    // Closes a hung-up port; true when it did.
    bool dropIfHungUp() override;

    QSerialPort *port() const { return m_port; }
    bool isOpened() const override { return opened; }
    // The system's reason of the last failed open (result 2).
    QString openError() const override { return m_openError; }
    // "COM" + portNumber, the name the port list is searched for.
    QString wantedName() const;

    quint16 readBufferSize;
    quint16 portNumber;
    bool opened = false;

private:
    QSerialPort *m_port;
    QString m_openError;
};
