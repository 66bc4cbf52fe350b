#pragma once

class QSerialPort;

namespace platform {
// The other end of an open serial line hung up (the device went away, perhaps
// to come back under the same name). False for a closed port.
bool serialHungUp(const QSerialPort &port);
}
