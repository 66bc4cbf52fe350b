#include "serialline.h"

#include <QSerialPort>

#if defined(Q_OS_UNIX)
#include <poll.h>
#endif

namespace platform {

bool serialHungUp(const QSerialPort &port)
{
    if (!port.isOpen())
        return false;
#if defined(Q_OS_UNIX)
    pollfd p{};
    p.fd = int(port.handle());
    p.events = POLLIN;
    if (::poll(&p, 1, 0) <= 0)
        return false;
    return (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
#else
    return port.error() == QSerialPort::ResourceError;
#endif
}

} // namespace platform
