#include "passcsv.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr double DegreesPerRadian = 180.0 / 3.14159265358979323846;

QByteArray fixed(double v, int decimals)
{
    return QByteArray::number(std::isfinite(v) ? v : 0.0, 'f', decimals);
}
}

QByteArray passCsv(const ViewerData &d)
{
    QByteArray out = "point,fi_deg,r_mm,korr,korr0,samples,power_db,snr_db,power_above_noise_db\n";
    const int rows = std::min({int(d.rowCount), int(d.viewFeedAngle.size()), int(d.viewFeedRadius.size())});
    for (int i = 0; i < rows; ++i) {
        const quint32 k = quint32(i);
        const bool sampled = d.store.sampleCountAt(k) > 0;
        out += QByteArray::number(i) + ',' + fixed(double(d.viewFeedAngle.at(i)) * DegreesPerRadian, 1) + ','
               + fixed(double(d.viewFeedRadius.at(i)), 1) + ',' + QByteArray::number(d.store.korrAt(k)) + ','
               + QByteArray::number(d.store.korr0At(k)) + ',' + QByteArray::number(d.store.sampleCountAt(k)) + ','
               + (sampled ? fixed(double(d.store.meanPowerAt(k)), 2) : QByteArray()) + ','
               + (sampled ? fixed(double(d.store.meanSnrAt(k)), 2) : QByteArray()) + ','
               + (sampled ? fixed(double(d.store.meanPowerAt(k)) - double(d.viewNoise), 2) : QByteArray())
               + '\n';
    }
    return out;
}
