// track-report's state file (.track-report.json in the report folder): anyone
// who can write there controls it, so what it names must never lead outside.
#include "reportbuilder.h"
#include "reportpages.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 1024 * 1024)
        return 0;
    const auto entries = ReportBuilder::parseState(QByteArray(reinterpret_cast<const char *>(data), int(size)));
    for (const ReportBuilder::Entry &e : entries) {
        // Every file a kept entry may write or remove stays in passes/.
        for (const QString &path : reportpages::passFiles(e.summary))
            if (!path.startsWith(QLatin1String("passes/")) || path.contains(QLatin1String("..")) || path.count(QLatin1Char('/')) != 1)
                std::abort();
        reportpages::passPage(e.summary, nullptr, &e.summary, e.companion);
    }
    return 0;
}
