#include "portcatalogue.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSerialPortInfo>

namespace platform {

QString portFolder()
{
    const QString dir = qEnvironmentVariable("TUVARN_PORT_DIR");
    return dir.isEmpty() ? QStringLiteral("/dev") : dir;
}

QList<PortEntry> availablePorts()
{
    QList<PortEntry> ports;
#if defined(Q_OS_WIN)
    const auto infos = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : infos)
        ports.append({info.portName(), info.portName()});
#else
    static const QRegularExpression comName(QStringLiteral("^COM[0-9]+$"));
    QDir dir(portFolder());
    const QStringList names = dir.entryList(QDir::System | QDir::Files | QDir::NoDotAndDotDot,
                                            QDir::Name);
    for (const QString &name : names) {
        if (!comName.match(name).hasMatch())
            continue;
        const QString path = dir.filePath(name);
        // A dangling link (the stand-in went away) is no port.
        if (!QFileInfo::exists(path))
            continue;
        ports.append({name, path});
    }
#endif
    return ports;
}

} // namespace platform
