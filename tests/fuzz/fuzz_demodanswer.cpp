// Demodulator answers: each input is a run of TCP blocks, decoded into
// samples of a store that is then written out as the data file text.
#include "demodlink.h"
#include "passdatastore.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 8 * 1024)
        return 0;
    static PassDataStore store;
    if (!store.isAllocated())
        store.allocate(1000, 20);
    store.start();
    store.setNoiseLevel(-90);
    // Each block is preceded by one byte giving its length.
    size_t at = 0;
    int blocks = 0;
    while (at < size) {
        const size_t length = std::min<size_t>(data[at], size - at - 1);
        const QByteArray block(reinterpret_cast<const char *>(data + at + 1), int(length));
        at += length + 1;
        float power = 0;
        float snr = 0;
        if (DemodLink::decodeAnswer(block, &power, &snr))
            store.addSample(power, snr);
        // A correction request closes the point every few answers.
        if (++blocks % 3 == 0) {
            store.closePoint();
            store.addPoint(qint8(blocks), qint8(-blocks), blocks, 1);
        }
    }
    store.closePoint();
    store.addPoint(0, 0, 0, 1);
    const QVector<double> radius(int(store.recordedPoints()), 250.0);
    store.dataFileText(QStringLiteral("fuzz"), radius, radius);
    return 0;
}
