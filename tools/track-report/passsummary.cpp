#include "passsummary.h"

#include "passcsv.h"

#include <QCryptographicHash>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

bool splitDataFileName(const QString &name, QString *satellite, QString *orbit, QDateTime *written)
{
    static const QRegularExpression form(QStringLiteral("^(.*) \\((.*)\\)_(\\d{6}_\\d{6})\\.dat$"));
    const QRegularExpressionMatch m = form.match(name);
    if (!m.hasMatch())
        return false;
    *satellite = m.captured(1);
    *orbit = m.captured(2);
    QDateTime t = QDateTime::fromString(m.captured(3), QStringLiteral("ddMMyy_hhmmss"));
    // Two-digit years are of this century.
    if (t.isValid() && t.date().year() < 2000)
        t = t.addYears(100);
    *written = t;
    return true;
}

PassSummary summarise(const QString &fileName, const DataFileContent &file, const ViewerData *data)
{
    PassSummary s;
    s.fileName = fileName;
    s.pageBase = safePageBase(fileName);
    QString nameSatellite;
    splitDataFileName(fileName, &nameSatellite, &s.orbit, &s.writtenAt);
    s.configText = file.configText;
    s.trackText = file.trackText;
    s.startUtc = passStartUtc(file.trackText);
    for (const QString &line : file.configText.split(QLatin1Char('\n')))
        if (line.startsWith(QLatin1String("Station name ")))
            s.station = line.mid(13).trimmed();

    // The pass summary: satellite first, then "...; N actual points", "Start at ...".
    const QStringList lines = file.trackText.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    s.satellite = lines.isEmpty() ? nameSatellite : lines.first().trimmed();
    if (!s.orbit.isEmpty() && s.satellite.endsWith(QStringLiteral(" (") + s.orbit + QLatin1Char(')')))
        s.satellite.chop(s.orbit.size() + 3);
    static const QRegularExpression points(QStringLiteral("(\\d+) actual points"));
    for (const QString &line : lines) {
        const QRegularExpressionMatch m = points.match(line);
        if (m.hasMatch())
            s.uploaded = m.captured(1).toInt();
        if (line.startsWith(QLatin1String("Start at ")) && s.start.isEmpty())
            s.start = line.mid(9).trimmed();
        if (line.startsWith(QLatin1String("Actual start at ")))
            s.start = line.mid(16).trimmed();
    }

    if (!file.error.isEmpty() || !data) {
        s.error = file.error.isEmpty() ? QStringLiteral("file bad") : file.error;
        return s;
    }
    s.recorded = data->rowCount;
    s.noise = data->viewNoise;
    double peak = -1e30, sum = 0, snr = -1e30;
    int counted = 0;
    for (quint32 i = 0; i < data->rowCount; ++i) {
        if (data->store.sampleCountAt(i) == 0)
            continue;
        const double p = data->store.meanPowerAt(i);
        peak = std::max(peak, p);
        snr = std::max(snr, double(data->store.meanSnrAt(i)));
        sum += p;
        ++counted;
    }
    if (counted > 0) {
        s.peakAbove = peak - s.noise;
        s.meanAbove = sum / counted - s.noise;
        s.peakSnr = snr;
    }
    return s;
}

QString safePageBase(const QString &dataFileName)
{
    QString base = dataFileName;
    if (base.endsWith(QLatin1String(".dat")))
        base.chop(4);
    QString out;
    out.reserve(base.size());
    for (const QChar c : base) {
        const ushort u = c.unicode();
        const bool keep = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9')
                          || QStringLiteral("._-()+").contains(c);
        out.append(keep ? c : QLatin1Char('_'));
    }
    if (out.startsWith(QLatin1Char('.')) || out.isEmpty())
        out.prepend(QLatin1Char('_'));
    // A name that already ends like a hashed one gets a hash too, so that no
    // file's own name can take the page of another file's made-safe name.
    static const QRegularExpression hashed(QStringLiteral("-[0-9a-f]{8}$"));
    if (out != base || out.size() > 120 || hashed.match(out).hasMatch()) {
        const QByteArray hash = QCryptographicHash::hash(dataFileName.toUtf8(), QCryptographicHash::Sha1).toHex();
        out = out.left(120) + QLatin1Char('-') + QString::fromLatin1(hash.left(8));
    }
    return out;
}

QJsonObject PassSummary::toJson() const
{
    QJsonObject o;
    o.insert(QStringLiteral("fileName"), fileName);
    o.insert(QStringLiteral("pageBase"), pageBase);
    o.insert(QStringLiteral("satellite"), satellite);
    o.insert(QStringLiteral("orbit"), orbit);
    o.insert(QStringLiteral("start"), start);
    o.insert(QStringLiteral("writtenAt"), writtenAt.toString(Qt::ISODate));
    o.insert(QStringLiteral("startUtc"), startUtc.toUTC().toString(Qt::ISODate));
    o.insert(QStringLiteral("station"), station);
    o.insert(QStringLiteral("recorded"), recorded);
    o.insert(QStringLiteral("uploaded"), uploaded);
    o.insert(QStringLiteral("noise"), noise);
    o.insert(QStringLiteral("peakAbove"), peakAbove);
    o.insert(QStringLiteral("meanAbove"), meanAbove);
    o.insert(QStringLiteral("peakSnr"), peakSnr);
    o.insert(QStringLiteral("error"), error);
    o.insert(QStringLiteral("dataDownload"), dataDownload);
    return o;
}

PassSummary PassSummary::fromJson(const QJsonObject &o)
{
    PassSummary s;
    s.fileName = o.value(QStringLiteral("fileName")).toString();
    s.pageBase = o.value(QStringLiteral("pageBase")).toString();
    s.satellite = o.value(QStringLiteral("satellite")).toString();
    s.orbit = o.value(QStringLiteral("orbit")).toString();
    s.start = o.value(QStringLiteral("start")).toString();
    s.writtenAt = QDateTime::fromString(o.value(QStringLiteral("writtenAt")).toString(), Qt::ISODate);
    s.startUtc = QDateTime::fromString(o.value(QStringLiteral("startUtc")).toString(), Qt::ISODate);
    s.station = o.value(QStringLiteral("station")).toString();
    s.recorded = o.value(QStringLiteral("recorded")).toInt();
    s.uploaded = o.value(QStringLiteral("uploaded")).toInt(-1);
    s.noise = o.value(QStringLiteral("noise")).toDouble();
    s.peakAbove = o.value(QStringLiteral("peakAbove")).toDouble();
    s.meanAbove = o.value(QStringLiteral("meanAbove")).toDouble();
    s.peakSnr = o.value(QStringLiteral("peakSnr")).toDouble();
    s.error = o.value(QStringLiteral("error")).toString();
    s.dataDownload = o.value(QStringLiteral("dataDownload")).toBool();
    return s;
}
