#include "settings.h"
StationSettingsRecord StationSettings;
quint8 loadSettings() { return 1; }
