#include "rs.h"

#include "portcatalogue.h"
#include "serialline.h"

rs::rs(quint16 readBufferSize_, quint16 portNumber_)
    : ControllerTransport(nullptr), readBufferSize(readBufferSize_), portNumber(portNumber_),
      m_port(new QSerialPort())
{
    connect(m_port, &QSerialPort::readyRead, this, &ControllerTransport::readyRead);
}

rs::~rs()
{
    if (m_port->isOpen())
        m_port->close();
    delete m_port;
}

QString rs::wantedName() const
{
    return QStringLiteral("COM") + QString::number(portNumber);
}

quint8 rs::open()
{
    const QString wanted = wantedName();
    const QList<PortEntry> ports = platform::availablePorts();
    for (const PortEntry &entry : ports) {
        if (entry.name != wanted)
            continue;
        // A terminal that hung up (adapter pulled and plugged in again, the
        // stand-in re-created) is dead even though its name is back: reopen.
        dropIfHungUp();
        if (m_port->isOpen()) {
            m_port->setParity(QSerialPort::NoParity);
            return 0;
        }
        m_port->setPortName(entry.location);
        if (!m_port->open(QIODevice::ReadWrite)) {
            m_openError = m_port->errorString();
            opened = false;
            return 2;
        }
        m_port->setBaudRate(QSerialPort::Baud9600, QSerialPort::AllDirections);
        m_port->setParity(QSerialPort::NoParity);
        m_port->setDataBits(QSerialPort::Data8);
        m_port->setStopBits(QSerialPort::OneStop);
        m_port->setFlowControl(QSerialPort::NoFlowControl);
        m_port->setReadBufferSize(readBufferSize);
        opened = true;
        m_port->setParity(QSerialPort::NoParity);
        return 0;
    }
    // Not listed (never plugged in, or pulled while open).
    if (m_port->isOpen())
        m_port->close();
    opened = false;
    return 1;
}

bool rs::hungUp() const
{
    return platform::serialHungUp(*m_port);
}

bool rs::dropIfHungUp()
{
    if (!hungUp())
        return false;
    // The toolkit keeps polling a hung-up terminal (end of file is no error to
    // it), which spins the processor; close it and let the link supervision
    // reopen it.
    m_port->close();
    opened = false;
    return true;
}

qint64 rs::write(const QByteArray &bytes)
{
    if (!opened)
        return -1;
    return m_port->write(bytes);
}

qint64 rs::read(char *buffer, qint64 maxLength)
{
    if (!opened)
        return -1;
    return m_port->read(buffer, maxLength);
}

qint64 rs::bytesAvailable() const
{
    return m_port->bytesAvailable();
}

void rs::clearInput()
{
    m_port->clear(QSerialPort::Input);
    // A full read buffer (an overrun) switches the port's read notifier off and
    // clear() does not switch it on again; a read of the now empty buffer does.
    // Without it the console would go deaf after the first overrun.
    if (m_port->isOpen())
        m_port->readAll();
}

void rs::flushOutput()
{
    m_port->waitForBytesWritten(1000);
    m_port->clear(QSerialPort::Output);
}

void rs::setParity(QSerialPort::Parity parity)
{
    m_port->setParity(parity);
}

QSerialPort::Parity rs::parity() const
{
    return m_port->parity();
}
