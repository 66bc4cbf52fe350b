#pragma once
#include <QString>
#include <functional>

// Where the core writes its event-log lines. The main window installs its
// logEvent here; tests install a collector. Without a sink lines go nowhere.
namespace eventsink {
using Sink = std::function<void(const QString &)>;
void set(Sink sink);
void log(const QString &message);
}
