#include "datafilereader.h"

#include <QFile>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace {

constexpr double RadiansPerDegree = 3.14159265358979323846 / 180.0;

// A number of the file; text that is not a finite number reads as 0, so one
// bad cell cannot push the plot scales to infinity.
float number(const QString &text)
{
    bool ok = false;
    const float v = text.toFloat(&ok);
    return ok && std::isfinite(v) ? v : 0.0f;
}

int integer(const QString &text)
{
    bool ok = false;
    const int v = text.toInt(&ok, 10);
    return ok ? v : 0;
}

QStringList fields(const QString &line)
{
    return line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

QVector<float> numbers(const QStringList &parts)
{
    QVector<float> values;
    values.reserve(parts.size());
    for (const QString &part : parts)
        values.append(number(part));
    return values;
}

// The first line at or after `from` that contains `word`; -1 when none does.
int findLine(const QStringList &lines, int from, const char *word)
{
    const QLatin1String w(word);
    for (int k = from; k < lines.size(); ++k)
        if (lines.at(k).contains(w))
            return k;
    return -1;
}

// The header line as the station writes it; a CR left by a file read in
// binary is not part of it.
bool isTableHeader(QString line)
{
    if (line.endsWith(QLatin1Char('\r')))
        line.chop(1);
    return line == QLatin1String(DataFileTableHeader);
}

float afterFirstSpace(const QString &line)
{
    const int space = line.indexOf(QLatin1Char(' '));
    return space < 0 ? 0.0f : number(line.mid(space + 1));
}

DataFileContent failed(DataFileContent content, const char *message)
{
    content.error = QString::fromLatin1(message);
    content.rows.clear();
    content.powerLines.clear();
    content.snrLines.clear();
    return content;
}

} // namespace

DataFileContent readDataFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return failed({}, datafileerror::NotOpened);
    if (file.size() > MaxDataFileBytes)
        return failed({}, datafileerror::FileBad);
    // Text mode reads CR LF as LF.
    const QByteArray bytes = file.read(MaxDataFileBytes + 1);
    file.close();
    if (bytes.size() > MaxDataFileBytes)
        return failed({}, datafileerror::FileBad);
    return parseDataFile(bytes);
}

DataFileContent parseDataFile(const QByteArray &bytes)
{
    using namespace datafileerror;
    DataFileContent c;

    const int nul = bytes.indexOf('\0');
    const QString text = QString::fromUtf8(nul < 0 ? bytes : bytes.left(nul));
    const QStringList lines = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const int n = lines.size();

    if (n == 0 || !lines.at(0).contains(QLatin1String("TuVaRN data file")))
        return failed(c, TitleBad);

    // The table header is the writer's own header line. A satellite or station
    // name may contain "Fi" too, so the older rule (the first line containing
    // "Fi") is used only when no line is the whole header.
    int h = -1;
    for (int k = 1; k < n && h < 0; ++k)
        if (isTableHeader(lines.at(k)))
            h = k;
    if (h < 0)
        h = findLine(lines, 1, "Fi");

    // Radius and Focus may come anywhere before the header, the last one wins.
    // Without a header every line is looked at, as before.
    int trackInfo = -1;
    const int last = h >= 0 ? h : n - 1;
    for (int k = 1; k <= last; ++k) {
        const QString &line = lines.at(k);
        if (line.contains(QLatin1String("Radius")))
            c.radius = afterFirstSpace(line);
        if (line.contains(QLatin1String("Focus")))
            c.focus = afterFirstSpace(line);
        if (line.contains(QLatin1String("TrackInfo:"))) {
            trackInfo = k;
            for (int i = 2; i < k; ++i)
                c.configText += lines.at(i) + QLatin1Char('\n');
        }
        if (k == h && trackInfo >= 0)
            for (int i = trackInfo + 1; i < h; ++i)
                c.trackText += lines.at(i) + QLatin1Char('\n');
    }
    if (h < 0) {
        c.configText.clear();
        return failed(c, FileBad);
    }
    c.textsRead = true;

    const int j = findLine(lines, h + 1, "Noise level");
    if (j < 0)
        return failed(c, NoNoiseLevel);
    const QString &noiseLine = lines.at(j);
    c.noise = number(noiseLine.mid(noiseLine.indexOf(QLatin1String("el")) + 3));

    const int rowCount = j - (h + 1);
    if (rowCount == 0)
        return failed(c, ZeroTrack);
    if (rowCount > MaxDataFileRows)
        return failed(c, FileBad);

    const int p = findLine(lines, j + 1, "Power level");
    if (p < 0)
        return failed(c, RealSectionBad);

    int s = -1;
    for (int q = p + 1; q < n; ++q) {
        if (lines.at(q).contains(QLatin1String("SNR"))) {
            s = q;
            break;
        }
        c.maxSamples = std::max(c.maxSamples, quint32(fields(lines.at(q)).size()));
    }
    if (s < 0)
        return failed(c, PowerSectionBad);
    if (rowCount != s - (p + 1))
        return failed(c, PowerCount);

    const int e = findLine(lines, s + 1, "end");
    if (e < 0)
        return failed(c, SnrSectionBad);
    if (rowCount != e - (s + 1))
        return failed(c, SnrCount);

    // Beyond the section counts: every row must have its columns and every
    // power line its SNR partners, and there must be samples at all.
    if (c.maxSamples == 0 || quint64(rowCount) * c.maxSamples > MaxViewerSampleSlots)
        return failed(c, FileBad);
    c.rows.reserve(rowCount);
    c.powerLines.reserve(rowCount);
    c.snrLines.reserve(rowCount);
    for (int i = 0; i < rowCount; ++i) {
        const QStringList row = fields(lines.at(h + 1 + i));
        if (row.size() < 8)
            return failed(c, FileBad);
        c.rows.append({number(row.at(0)), number(row.at(1)), integer(row.at(2)),
                       integer(row.at(3))});
        const QStringList power = fields(lines.at(p + 1 + i));
        const QStringList snr = fields(lines.at(s + 1 + i));
        if (power.size() != snr.size())
            return failed(c, FileBad);
        c.powerLines.append(numbers(power));
        c.snrLines.append(numbers(snr));
    }
    return c;
}

QString ViewerData::load(const DataFileContent &file)
{
    const int rows = file.rows.size();
    if (!file.error.isEmpty() || rows == 0 || rows > MaxDataFileRows
        || file.powerLines.size() != rows || file.snrLines.size() != rows
        || file.maxSamples == 0 || quint64(rows) * file.maxSamples > MaxViewerSampleSlots)
        return QString::fromLatin1(datafileerror::FileBad);
    // Never two stores at once: the old one goes before the new one is built.
    store.release();
    if (store.allocate(quint32(rows), file.maxSamples) != PassDataStore::AllocOk) {
        rowCount = 0;
        viewFeedAngle.clear();
        viewFeedRadius.clear();
        return QString::fromLatin1(datafileerror::FileBad);
    }
    store.clear();

    configText = file.configText;
    trackText = file.trackText;
    viewRadius = file.radius;
    viewFocus = file.focus;
    viewNoise = file.noise;
    rowCount = quint16(rows);
    viewFeedAngle.fill(0.0f, rows);
    viewFeedRadius.fill(0.0f, rows);
    korr0Max = -1000;
    korr0Min = 1000;
    powerMin = 1000;
    powerMax = -1000;

    for (int i = 0; i < rows; ++i) {
        const QVector<float> &power = file.powerLines.at(i);
        const QVector<float> &snr = file.snrLines.at(i);
        const int pairs = std::min(power.size(), snr.size());
        for (int m = 0; m < pairs; ++m)
            store.addSample(power.at(m), snr.at(m));
        store.closePoint();

        const DataFileRow &row = file.rows.at(i);
        viewFeedAngle[i] = float(double(row.feedAngleDegrees) * RadiansPerDegree);
        viewFeedRadius[i] = row.feedRadius;
        store.addPoint(qint8(row.korr0), qint8(row.korr), 0, 0);
        const qint32 k = store.korr0At(quint32(i));
        if (k > korr0Max)
            korr0Max = qint16(k);
        if (k < korr0Min)
            korr0Min = qint16(k);
    }

    if (store.minPower() < powerMin)
        powerMin = store.minPower();
    if (store.maxPower() > powerMax)
        powerMax = store.maxPower();
    if (store.minSnr() < snrMin)
        snrMin = store.minSnr();
    if (store.maxSnr() > snrMax)
        snrMax = store.maxSnr();
    powerThreshold = powerMax - 3;
    if (powerMin > viewNoise)
        powerMin = viewNoise;
    if (powerMax - powerMin < 5)
        powerMax = powerMin + 10;
    if (snrMax - snrMin < 1)
        snrMax = snrMin + 1;
    viewColourScale = 256 / (powerMax - powerMin);
    return {};
}
