#include "linktestutil.h"

#include "appstate.h"
#include "clock.h"
#include "correction.h"
#include "eventsink.h"
#include "frames.h"
#include "gps.h"
#include "linkstate.h"
#include "settings.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

namespace {
// Nothing in these tests may reach the machine's clock.
FakeClock g_clock(QDateTime(QDate(2024, 3, 1), QTime(12, 0, 0), Qt::UTC));
}

void resetLinkWorld()
{
    linkState.reset();
    correctionState.reset();
    resetFrames();
    resetClockCorrection();
    StationSettings.reset();
    serviceMode = false;
    utcOffsetHours = 0;
    eventsink::set(nullptr);
    g_clock.setNowUtc(QDateTime(QDate(2024, 3, 1), QTime(12, 0, 0), Qt::UTC));
    platform::setClock(&g_clock);
}

PtyLink::PtyLink(const QString &portDir, int comNumber)
{
    m_master = posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0)
        return;
    if (grantpt(m_master) != 0 || unlockpt(m_master) != 0)
        return;
    const char *slave = ptsname(m_master);
    if (!slave)
        return;
    fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
    m_linkPath = portDir + QStringLiteral("/COM") + QString::number(comNumber);
    m_linked = QFile::link(QString::fromLocal8Bit(slave), m_linkPath);
}

PtyLink::~PtyLink()
{
    unlinkName();
    if (m_master >= 0)
        ::close(m_master);
}

void PtyLink::unlinkName()
{
    if (m_linked)
        QFile::remove(m_linkPath);
    m_linked = false;
}

QByteArray PtyLink::readFromConsole(int count, int timeoutMs)
{
    QByteArray out;
    QElapsedTimer timer;
    timer.start();
    while (out.size() < count && timer.elapsed() < timeoutMs) {
        // The port writes from the event loop.
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        pollfd p{m_master, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0)
            continue;
        char buf[256];
        const ssize_t n = ::read(m_master, buf, sizeof buf);
        if (n > 0)
            out.append(buf, int(n));
    }
    return out;
}

void PtyLink::writeToConsole(const QByteArray &bytes)
{
    const ssize_t n = ::write(m_master, bytes.constData(), size_t(bytes.size()));
    Q_UNUSED(n)
}

PortFolder::PortFolder()
{
    m_hadPrevious = qEnvironmentVariableIsSet("TUVARN_PORT_DIR");
    m_previous = qgetenv("TUVARN_PORT_DIR");
    qputenv("TUVARN_PORT_DIR", m_dir.path().toLocal8Bit());
}

PortFolder::~PortFolder()
{
    if (m_hadPrevious)
        qputenv("TUVARN_PORT_DIR", m_previous);
    else
        qunsetenv("TUVARN_PORT_DIR");
}

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text));
}
