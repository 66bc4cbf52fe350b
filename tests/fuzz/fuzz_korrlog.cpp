// The correction log tuvarn.korr is written from what the operator types: the
// field texts go through the same readers as in the window, then into the
// record. Input: fields separated by line feeds (parallel, north, azimuth,
// lat1, lon1, lat2, lon2).
#include "manual.h"

#include <QDateTime>
#include <QStringList>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 16 * 1024)
        return 0;
    const QStringList f = QString::fromUtf8(reinterpret_cast<const char *>(data), int(size))
                              .split(QLatin1Char('\n'));
    const QString parall = f.value(0);
    const QString north = f.value(1);
    const QString azimuth = f.value(2);

    qint16 total = 0;
    for (const QString &text : {parall, north}) {
        double v = 0;
        qint16 steps = 0;
        if (readNumber(text, &v) && correctionSteps(v, total, &steps)) {
            total = qint16(total + steps);
            degreesText(steps * CorrectionStepDegrees);
        }
    }
    double az = 0;
    if (readAzimuth(azimuth, &az) == AzimuthEntry::Value)
        azimuthName(az);
    storeArgument(azimuth);

    double ref[4] = {0, 0, 0, 0};
    bool all = true;
    for (int i = 0; i < 4; ++i)
        all = readNumber(f.value(3 + i), &ref[i]) && all;
    if (all) {
        const double r = referenceAzimuth(ref[0] * DegreesToRadians, ref[1] * DegreesToRadians,
                                          ref[2] * DegreesToRadians, ref[3] * DegreesToRadians);
        if (r == r) {
            const QString text = degreesText(r);
            readAzimuth(text);
            storeArgument(text);
        }
    }
    korrRecord(QDateTime(QDate(2026, 5, 17), QTime(12, 0), Qt::UTC), parall, north, azimuth);
    return 0;
}
