#include "settings.h"

#include "dialogs.h"
#include "paths.h"

#include <QDir>
#include <QFile>
#include <QStringList>

#include <cmath>


namespace {

const char *const KeyNames[] = {"TrackPath",      "Focus",       "Radius",     "Port",
                                "TimeCorr",       "MaxDeviation", "DeviationStep",
                                "DeviationPorog", "Demodulator", "Feedback",   "ScanModeRL",
                                "ScanModeFB",     "korr"};
constexpr int KeyCount = 13;

float toFloatOrZero(const QString &line)
{
    bool ok = false;
    const float v = line.trimmed().toFloat(&ok); // QString numbers use the C locale
    return ok ? v : 0.0f;
}

int toIntOrZero(const QString &line)
{
    bool ok = false;
    const int v = line.trimmed().toInt(&ok, 10);
    return ok ? v : 0;
}

QStringList splitLines(const QByteArray &raw)
{
    QByteArray bytes = raw;
    const int nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    bytes.replace('\r', QByteArray());
    return QString::fromUtf8(bytes).split(QLatin1Char('\n'));
}

// Lengths in mm and the two factors must be finite and within what a dish
// can be: the pointing model turns them into whole millimetres, and NaN or a
// value beyond the int range there is undefined. The bounds are far outside
// any real station; zero (an empty or non-numeric value) stays accepted.
constexpr float MaxLengthMm = 1.0e7f;
constexpr float MaxKorr = 100.0f;
constexpr float MaxPorogDb = 1000.0f;

bool within(float v, float lo, float hi)
{
    return std::isfinite(v) && v >= lo && v <= hi;
}

// Stores one value; returns false when it is out of range (the value is
// stored first, as for Port).
bool storeValue(StationSettingsRecord &s, int key, const QString &value)
{
    switch (key) {
    case 0: s.TrackPath = value; break;
    case 1: {
        const float v = toFloatOrZero(value);
        s.Focus = v;
        return within(v, 0.0f, MaxLengthMm);
    }
    case 2: {
        const float v = toFloatOrZero(value);
        s.Radius = v;
        s.HalfRadius = s.Radius * 0.5;
        return within(v, 0.0f, MaxLengthMm);
    }
    case 3:
        s.Port = toIntOrZero(value);
        // Compared as it is: Port - 1 would overflow for the smallest int.
        if (s.Port < 1 || s.Port > 50)
            return false;
        break;
    case 4: s.TimeCorr = value.contains(QLatin1String("disable")) ? 0 : 1; break;
    case 5: s.MaxDeviation = static_cast<qint8>(toIntOrZero(value) & 0xFF); break;
    case 6: s.DeviationStep = static_cast<qint8>(toIntOrZero(value) & 0xFF); break;
    case 7:
        s.DeviationPorog = toFloatOrZero(value);
        return within(s.DeviationPorog, -MaxPorogDb, MaxPorogDb);
    case 8: s.Demodulator = value.contains(QLatin1String("enable")); break;
    case 9: s.Feedback = value.contains(QLatin1String("enable")); break;
    case 10: s.ScanModeRL = value.contains(QLatin1String("enable")); break;
    case 11: s.ScanModeFB = value.contains(QLatin1String("enable")); break;
    case 12: {
        const float v = toFloatOrZero(value);
        s.korr = v;
        return within(v, 0.0f, MaxKorr);
    }
    }
    return true;
}

} // namespace

QString trackDirectoryOf(const QString &trackPath)
{
    const QChar sep = platform::pathSeparator();
    const int cut = trackPath.lastIndexOf(sep);
    return (cut < 0 ? QString() : trackPath.left(cut)) + sep;
}

quint8 loadSettingsFromBytes(StationSettingsRecord &settings, const QByteArray &bytes)
{
    const QStringList lines = splitLines(bytes);
    const int count = lines.size();

    if (!lines.value(0).contains(QLatin1String("Tuvarn_ini_file")))
        return 1;
    if (count < 2 || !lines.at(1).contains(QLatin1String("StationName")))
        return 2;
    if (count < 3)
        return 3;
    settings.StationName = lines.at(2);
    if (count <= 3)
        return 3;

    quint16 seen = 0;
    int i = 3;
    while (i < count) {
        int key = -1;
        for (int k = 0; k < KeyCount; ++k) {
            if (lines.at(i).contains(QLatin1String(KeyNames[k]))) {
                key = k;
                break;
            }
        }
        if (key < 0) {
            ++i;
            continue;
        }
        // A key on the last line has no value: it counts as missing.
        if (i + 1 >= count)
            break;
        if (!storeValue(settings, key, lines.at(i + 1)))
            return 1;
        seen |= static_cast<quint16>(1u << key);
        i += 2;
    }
    if (seen != AllKeys)
        return 3;

    if (!QDir(trackDirectoryOf(settings.TrackPath)).exists()) {
        platform::dialogs().message(QStringLiteral("bad track path"));
        return 4;
    }
    return 0;
}

quint8 loadSettings(StationSettingsRecord &settings)
{
    QFile file(QStringLiteral("tuvarn.ini"));
    if (!file.open(QIODevice::ReadOnly))
        return 1;
    const QByteArray bytes = file.readAll();
    file.close();
    return loadSettingsFromBytes(settings, bytes);
}

QByteArray exampleSettingsText()
{
    static const char *const lines[] = {
        "Tuvarn_ini_file", "StationName",  "Name",          "TrackPath",
        "C:\\Tuvarn\\Track\\Track.txt",     "Focus",         "1400",
        "Radius",          "500",          "Port",          "1",
        "TimeCorr",        "enable",       "MaxDeviation",  "40",
        "DeviationStep",   "4",            "DeviationPorog", "0.2",
        "Demodulator",     "enable",       "Feedback",      "disable",
        "ScanModeRL",      "disable",      "ScanModeFB",    "disable",
        "korr",            "1.0"};
    QByteArray text;
    for (const char *line : lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

void writeExampleSettings()
{
    QFile file(QStringLiteral("tuvarn.xmp"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    file.write(exampleSettingsText());
    file.close();
}
