#pragma once
// Shared set-up of the fuzz targets: no prompt may block, no run may touch the
// machine's clock, and every input starts from the same records.
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

// The example station's settings, as the example file gives them, into a
// record of the caller's (all other fields back to their defaults).
inline void exampleSettings(StationSettingsRecord &settings)
{
    settings.reset();
    settings.StationName = QStringLiteral("Fuzz");
    settings.TrackPath = QStringLiteral("track/Track.txt");
    settings.Focus = 1400;
    settings.Radius = 500;
    settings.HalfRadius = 250;
    settings.Port = 3;
    settings.MaxDeviation = 40;
    settings.DeviationStep = 4;
    settings.DeviationPorog = 0.2f;
    settings.Demodulator = true;
}

[[nodiscard]] inline StationSettingsRecord exampleSettings()
{
    StationSettingsRecord settings;
    exampleSettings(settings);
    return settings;
}

inline QByteArray bytes(const uint8_t *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), int(size));
}

} // namespace fuzz
