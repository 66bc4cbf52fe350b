// extras.ini, the optional settings beside tuvarn.ini.
#include "extrassettings.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The console reads at most 64 KiB of the file.
    if (size > 64 * 1024)
        return 0;
    parseExtrasSettings(QByteArray(reinterpret_cast<const char *>(data), int(size)));
    return 0;
}
