// The data file of a pass and its .ai companion, as PassDataStore writes them.
#include "passdatastore.h"
#include "wholefile.h"

#include <QDir>

#include <algorithm>

namespace {

const char TableHeader[] =
    "\n Fi       R     Korr    Korr0     P      SNR     N      X      step    err\n";
const char CompanionHeader[] = "\n Azim    Elev    SNR    P\n";

constexpr double DegreesPerRadian = 180.0 / 3.14159265358979323846;

// A cell: the text, a suffix of spaces, then spaces up to the width (none when
// text and suffix already reach it).
QString cell(const QString &text, int suffix, int width = 0)
{
    return (text + QString(suffix, QLatin1Char(' '))).leftJustified(width, QLatin1Char(' '));
}

QString f1(double v) { return QString::number(v, 'f', 1); }
QString f2(double v) { return QString::number(v, 'f', 2); }

double entry(const QVector<double> &values, quint32 i)
{
    return i < quint32(values.size()) ? values.at(int(i)) : 0.0;
}

bool plainFileName(const QString &name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..")
        && !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\'));
}

} // namespace

QByteArray PassDataStore::dataFileText(const QString &title, const QVector<double> &feedRadius,
                                       const QVector<double> &feedAngle) const
{
    const quint32 points = m_allocated ? std::min(m_recordedPoints, m_capacity) : 0;
    QString text = title;
    text += QLatin1String(TableHeader);
    for (quint32 i = 0; i < points; ++i) {
        text += cell(f1(entry(feedAngle, i) * DegreesPerRadian), 3, 8);
        text += cell(f1(entry(feedRadius, i)), 2, 8);
        text += cell(QString::number(m_korrValue[i]), 2, 8);
        text += cell(QString::number(m_korr0[i]), 2, 8);
        text += cell(f1(double(m_meanPower[i])), 2, 8);
        text += cell(f1(double(m_meanSnr[i])), 2, 8);
        text += cell(QString::number(m_samplesPerPoint[i]), 2, 8);
        text += cell(QString::number(m_xValue[i]), 2, 10);
        text += cell(QString::number(quint32(m_step[i])), 0, 8);
        text += cell(QString::number(m_errCount[i]), 2);
        text += QLatin1Char('\n');
    }
    text += QStringLiteral("Noise level ") + QString::asprintf("%g", double(m_noiseLevel))
        + QLatin1Char('\n');
    text += QLatin1String("RealTime section\n");
    text += QLatin1String("Power level\n");
    for (int section = 0; section < 2; ++section) {
        if (section == 1)
            text += QLatin1String("SNR\n");
        const std::vector<float> &samples = section == 0 ? m_powerSamples : m_snrSamples;
        for (quint32 i = 0; i < points; ++i) {
            const size_t base = size_t(i) * m_depth;
            const quint32 count = storedSamples(i);
            for (quint32 j = 0; j < count; ++j) {
                text += f2(double(samples[base + j]));
                text += QLatin1Char(' ');
            }
            text += QLatin1Char('\n');
        }
    }
    text += QLatin1String("end\n");
    return text.toUtf8();
}

QByteArray PassDataStore::companionFileText(const QVector<double> &azimuth,
                                            const QVector<double> &elevation) const
{
    const quint32 points = m_allocated ? std::min(m_recordedPoints, m_capacity) : 0;
    QString text = QLatin1String(CompanionHeader);
    for (quint32 i = 0; i < points; ++i) {
        text += cell(f1(entry(azimuth, i) * DegreesPerRadian), 3, 8);
        text += cell(f1(entry(elevation, i) * DegreesPerRadian), 3, 8);
        text += cell(f1(double(m_meanSnr[i])), 3, 8);
        text += cell(f1(double(m_meanPower[i])), 2, 8);
        text += QLatin1Char('\n');
    }
    return text.toUtf8();
}

int PassDataStore::writeDataFile(const QString &folder, const QString &fileName,
                                 const QString &title, const QVector<double> &feedRadius,
                                 const QVector<double> &feedAngle, const QVector<double> &azimuth,
                                 const QVector<double> &elevation, QString *error) const
{
    QString ignored;
    QString &message = error ? *error : ignored;
    message.clear();
    if (!m_allocated)
        return WriteNotAllocated;
    if (!plainFileName(fileName)) {
        message = QStringLiteral("bad data file name \"%1\"").arg(fileName);
        return WriteFailed;
    }

    const QString dir = folder.isEmpty() ? QStringLiteral(".") : folder;
    if (!QDir().mkpath(dir)) {
        message = QStringLiteral("cannot create folder %1").arg(dir);
        return WriteFailed;
    }
    const QString path = dir + QDir::separator() + fileName;

    QStringList failures;
    QString failure;
    if (!writeWholeFile(path, dataFileText(title, feedRadius, feedAngle), &failure))
        failures << failure;
    if (!writeWholeFile(path + QStringLiteral(".ai"), companionFileText(azimuth, elevation), &failure))
        failures << failure;
    if (!failures.isEmpty()) {
        message = failures.join(QStringLiteral("; "));
        return WriteFailed;
    }
    return WriteOk;
}
