// track-report's state file (.track-report.json in the report folder): anyone
// who can write there controls it, so what it names must never lead outside.
#include "fuzzsupport.h"
#include "reportbuilder.h"
#include "reportpages.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#include <sanitizer/lsan_interface.h>
#define TUVARN_LSAN 1
#endif
#endif

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 1024 * 1024)
        return 0;
#ifdef TUVARN_LSAN
    // Qt 5.15's JSON parser leaks the first value of a key that an object
    // repeats, when that value is an object or an array ({"a":{},"a":{}}). The
    // leak is Qt's and small, once per run of the report; what follows the
    // parse stays under the leak check.
    __lsan_disable();
#endif
    const auto entries = ReportBuilder::parseState(fuzz::bytes(data, size));
#ifdef TUVARN_LSAN
    __lsan_enable();
#endif
    for (const ReportBuilder::Entry &e : entries) {
        // Every file a kept entry may write or remove stays in passes/.
        for (const QString &path : reportpages::passFiles(e.summary))
            if (!path.startsWith(QLatin1String("passes/")) || path.contains(QLatin1String("..")) || path.count(QLatin1Char('/')) != 1)
                std::abort();
        reportpages::passPage(e.summary, nullptr, &e.summary, e.companion, e.across);
    }
    return 0;
}
