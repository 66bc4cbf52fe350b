// A .dat file as the viewer reads it: the checks, then the load into the store
// and the plot ranges.
#include "datafilereader.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 1024 * 1024)
        return 0;
    static ViewerData viewer; // kept across inputs, as the viewer keeps its last file
    const DataFileContent file =
        parseDataFile(QByteArray(reinterpret_cast<const char *>(data), int(size)));
    if (file.error.isEmpty())
        viewer.load(file);
    return 0;
}
