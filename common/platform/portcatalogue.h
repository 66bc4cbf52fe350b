#pragma once
#include <QString>
#include <QStringList>

// Serial ports by the names the settings use ("COM3"). On Windows the system's
// list is taken as it is; elsewhere a port "COM<n>" is the entry of that name in
// the port folder ($TUVARN_PORT_DIR, default /dev), usually a udev symlink or the
// station stand-in's pseudo-terminal link.
struct PortEntry
{
    QString name;     // "COM3"
    QString location; // what QSerialPort opens
};

namespace platform {
QString portFolder();
QList<PortEntry> availablePorts();
}
