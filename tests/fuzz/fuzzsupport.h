#pragma once
// Shared set-up of the fuzz targets: no prompt may block, no run may touch the
// machine's clock, and every process-wide record starts from the same state.
#include "clock.h"
#include "dialogs.h"
#include "settings.h"

#include <QByteArray>
#include <QString>

namespace fuzz {

// Installs the platform's silent dialogs and a fake clock standing at a fixed moment
// (once per process; the clock goes back there before every input).
inline FakeClock &setUp()
{
    static FakeClock clock(QDateTime(QDate(2026, 5, 17), QTime(11, 58, 30, 250), Qt::UTC));
    static bool installed = false;
    if (!installed) {
        platform::setDialogs(nullptr); // every prompt answered No / cancel
        platform::setClock(&clock);
        installed = true;
    }
    clock.setNowUtc(QDateTime(QDate(2026, 5, 17), QTime(11, 58, 30, 250), Qt::UTC));
    return clock;
}

// The example station's settings, as the example file gives them.
inline void exampleSettings()
{
    StationSettings.reset();
    StationSettings.StationName = QStringLiteral("Fuzz");
    StationSettings.TrackPath = QStringLiteral("track/Track.txt");
    StationSettings.Focus = 1400;
    StationSettings.Radius = 500;
    StationSettings.HalfRadius = 250;
    StationSettings.Port = 3;
    StationSettings.MaxDeviation = 40;
    StationSettings.DeviationStep = 4;
    StationSettings.DeviationPorog = 0.2f;
    StationSettings.Demodulator = true;
}

inline QByteArray bytes(const uint8_t *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), int(size));
}

} // namespace fuzz
