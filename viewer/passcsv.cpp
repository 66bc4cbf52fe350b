#include "passcsv.h"

#include <QFile>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace {
constexpr double DegreesPerRadian = 180.0 / 3.14159265358979323846;

QByteArray fixed(double v, int decimals)
{
    return QByteArray::number(std::isfinite(v) ? v : 0.0, 'f', decimals);
}
}

QDateTime passStartUtc(const QString &trackText)
{
    static const QRegularExpression start(QStringLiteral("^(?:Actual )?[Ss]tart at (\\d\\d\\.\\d\\d\\.\\d{4}  ?\\d\\d:\\d\\d:\\d\\d)"));
    QDateTime found;
    for (const QString &line : trackText.split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch m = start.match(line.trimmed());
        if (!m.hasMatch())
            continue;
        QString text = m.captured(1);
        text.replace(QStringLiteral("  "), QStringLiteral(" "));
        const QDateTime local = QDateTime::fromString(text, QStringLiteral("dd.MM.yyyy hh:mm:ss"));
        // The actual start (service mode) is the first reachable point: row 0.
        if (local.isValid() && (!found.isValid() || line.trimmed().startsWith(QLatin1String("Actual"))))
            found = local.toUTC();
    }
    return found;
}

PassTrack parseCompanion(const QByteArray &bytes)
{
    PassTrack t;
    const QList<QByteArray> lines = bytes.split('\n');
    bool header = false;
    for (const QByteArray &line : lines) {
        const QByteArray s = line.simplified();
        if (s.isEmpty())
            continue;
        if (!header) {
            if (!s.startsWith("Azim"))
                return {};
            header = true;
            continue;
        }
        const QList<QByteArray> f = s.split(' ');
        bool okA = false, okE = false;
        const float a = f.value(0).toFloat(&okA), e = f.value(1).toFloat(&okE);
        if (!okA || !okE || !std::isfinite(a) || !std::isfinite(e))
            break; // a damaged row ends what is known
        t.azimuth.append(a);
        t.elevation.append(e);
    }
    return t;
}

PassTrack readPassTrack(const QString &dataFilePath, const QString &trackText)
{
    PassTrack t;
    QFile f(dataFilePath + QStringLiteral(".ai"));
    if (f.open(QIODevice::ReadOnly) && !f.isSequential() && f.size() <= MaxCompanionBytes)
        t = parseCompanion(f.read(MaxCompanionBytes));
    t.startUtc = passStartUtc(trackText);
    return t;
}

QByteArray passCsv(const ViewerData &d, const PassTrack &track)
{
    QByteArray out = "point,fi_deg,r_mm,korr,korr0,samples,power_db,snr_db,power_above_noise_db,utc,azimuth_deg,elevation_deg\n";
    const int rows = std::min({int(d.rowCount), int(d.viewFeedAngle.size()), int(d.viewFeedRadius.size())});
    for (int i = 0; i < rows; ++i) {
        const quint32 k = quint32(i);
        const bool sampled = d.store.sampleCountAt(k) > 0;
        const QDateTime at = track.rowUtc(i);
        const bool pointed = i < track.azimuth.size();
        out += QByteArray::number(i) + ',' + fixed(double(d.viewFeedAngle.at(i)) * DegreesPerRadian, 1) + ','
               + fixed(double(d.viewFeedRadius.at(i)), 1) + ',' + QByteArray::number(d.store.korrAt(k)) + ','
               + QByteArray::number(d.store.korr0At(k)) + ',' + QByteArray::number(d.store.sampleCountAt(k)) + ','
               + (sampled ? fixed(double(d.store.meanPowerAt(k)), 2) : QByteArray()) + ','
               + (sampled ? fixed(double(d.store.meanSnrAt(k)), 2) : QByteArray()) + ','
               + (sampled ? fixed(double(d.store.meanPowerAt(k)) - double(d.viewNoise), 2) : QByteArray()) + ','
               + (at.isValid() ? at.toString(Qt::ISODate).toLatin1() : QByteArray()) + ','
               + (pointed ? fixed(double(track.azimuth.at(i)), 1) : QByteArray()) + ','
               + (pointed ? fixed(double(track.elevation.at(i)), 1) : QByteArray()) + '\n';
    }
    return out;
}
