#include "ptylink.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Output nobody has read for this long is thrown away, so a console that opens
// the port later starts with fresh replies instead of a backlog.
constexpr qint64 StaleOutputMs = 2000;

void makeRaw(int fd)
{
    termios tio {};
    if (::tcgetattr(fd, &tio) != 0)
        return;
    ::cfmakeraw(&tio);
    ::cfsetispeed(&tio, B9600);
    ::cfsetospeed(&tio, B9600);
    tio.c_cflag |= CLOCAL | CREAD;
    ::tcsetattr(fd, TCSANOW, &tio);
}

} // namespace

PtyLink::PtyLink(QObject *parent) : QObject(parent)
{
    m_staleTimer = new QTimer(this);
    m_staleTimer->setInterval(500);
    connect(m_staleTimer, &QTimer::timeout, this, &PtyLink::dropStaleOutput);
}

PtyLink::~PtyLink()
{
    close();
}

bool PtyLink::open(const QString &folder, int number)
{
    close();
    m_error.clear();
    const QString link = QDir(folder).filePath(QStringLiteral("COM%1").arg(number));
    const QFileInfo existing(link);
    if (existing.isSymLink()) {
        const QString target = existing.symLinkTarget();
        if (QFileInfo::exists(link) && !target.startsWith(QLatin1String("/dev/pts/"))) {
            m_error = QStringLiteral("%1 already links to %2; not replacing it").arg(link, target);
            return false;
        }
    } else if (existing.exists()) {
        m_error = QStringLiteral("%1 exists and is not a link; not replacing it").arg(link);
        return false;
    }
    if (!QFileInfo(folder).isDir()) {
        m_error = QStringLiteral("port folder %1 does not exist").arg(folder);
        return false;
    }

    m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
        m_error = QStringLiteral("cannot create a pseudo-terminal: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        close();
        return false;
    }
    const char *name = ::ptsname(m_master);
    m_slavePath = name ? QString::fromLocal8Bit(name) : QString();
    m_slave = m_slavePath.isEmpty() ? -1 : ::open(name, O_RDWR | O_NOCTTY);
    if (m_slave < 0) {
        m_error = QStringLiteral("cannot open %1: %2").arg(m_slavePath, QString::fromLocal8Bit(std::strerror(errno)));
        close();
        return false;
    }
    makeRaw(m_slave);
    makeRaw(m_master);
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);

    // Replace the link in one step: a new link under a temporary name, renamed over.
    const QByteArray linkBytes = QFile::encodeName(link);
    const QByteArray temp = linkBytes + ".sim-" + QByteArray::number(qint64(::getpid()));
    ::unlink(temp.constData());
    if (::symlink(name, temp.constData()) != 0 || ::rename(temp.constData(), linkBytes.constData()) != 0) {
        m_error = QStringLiteral("cannot create the link %1: %2").arg(link, QString::fromLocal8Bit(std::strerror(errno)));
        ::unlink(temp.constData());
        close();
        return false;
    }
    m_linkPath = link;

    m_notifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &PtyLink::onReadable);
    m_pendingSinceMs = -1;
    m_staleTimer->start();
    return true;
}

void PtyLink::close()
{
    m_staleTimer->stop();
    if (m_notifier) {
        m_notifier->setEnabled(false);
        delete m_notifier;
        m_notifier = nullptr;
    }
    if (!m_linkPath.isEmpty()) {
        const QFileInfo info(m_linkPath);
        if (info.isSymLink() && info.symLinkTarget() == m_slavePath)
            ::unlink(QFile::encodeName(m_linkPath).constData());
        m_linkPath.clear();
    }
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
    m_slave = m_master = -1;
    m_slavePath.clear();
}

qint64 PtyLink::write(const QByteArray &bytes)
{
    if (m_master < 0)
        return -1;
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            break; // buffer full: nobody reads, the rest is lost as on a real line
        }
        done += n;
    }
    return done;
}

void PtyLink::onReadable()
{
    char buf[4096];
    QByteArray got;
    for (;;) {
        const ssize_t n = ::read(m_master, buf, sizeof buf);
        if (n > 0) {
            got.append(buf, int(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break;
    }
    if (!got.isEmpty())
        emit received(got);
}

void PtyLink::dropStaleOutput()
{
    if (m_slave < 0)
        return;
    int pending = 0;
    if (::ioctl(m_slave, FIONREAD, &pending) != 0 || pending <= 0) {
        m_pendingSinceMs = -1;
        return;
    }
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (m_pendingSinceMs < 0) {
        m_pendingSinceMs = now;
    } else if (now - m_pendingSinceMs > StaleOutputMs) {
        ::tcflush(m_slave, TCIFLUSH);
        m_pendingSinceMs = -1;
    }
}
