#include "extrassettings.h"

#include <QFile>
#include <QRegularExpression>

namespace {

bool readSeconds(const QString &text, int low, int high, int *out)
{
    bool ok = false;
    const int v = text.toInt(&ok, 10);
    if (!ok || v < low || v > high)
        return false;
    *out = v;
    return true;
}

} // namespace

ExtrasSettings parseExtrasSettings(const QByteArray &bytes)
{
    ExtrasSettings s;
    s.present = true;
    const QStringList lines = QString::fromUtf8(bytes).split(QLatin1Char('\n'));
    for (int n = 0; n < lines.size(); ++n) {
        const QString line = lines.at(n).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const int blank = line.indexOf(QRegularExpression(QStringLiteral("\\s")));
        const QString key = blank < 0 ? line : line.left(blank);
        const QString value = blank < 0 ? QString() : line.mid(blank + 1).trimmed();
        bool ok = true;
        if (key == QLatin1String("StatusFile")) {
            ok = value == QLatin1String("enable") || value == QLatin1String("disable");
            s.statusFile = value == QLatin1String("enable");
        } else if (key == QLatin1String("PassHook")) {
            s.passHook = value;
        } else if (key == QLatin1String("PassHookTimeout")) {
            ok = readSeconds(value, 1, 86400, &s.passHookTimeout);
        } else if (key == QLatin1String("ParkAfter")) {
            ok = value == QLatin1String("disable") || readSeconds(value, 0, 86400, &s.parkAfter);
            if (value == QLatin1String("disable"))
                s.parkAfter = -1;
        } else if (key == QLatin1String("ParkUnlessPassWithin")) {
            ok = readSeconds(value, 0, 86400, &s.parkUnlessPassWithin);
        } else {
            ok = false;
        }
        if (!ok)
            s.problems << QStringLiteral("%1 line %2 not understood: %3")
                              .arg(QLatin1String(ExtrasFileName)).arg(n + 1).arg(line);
    }
    return s;
}

ExtrasSettings loadExtrasSettings(const QString &path)
{
    QFile file(path);
    if (!file.exists())
        return {};
    if (!file.open(QIODevice::ReadOnly)) {
        ExtrasSettings s;
        s.problems << QStringLiteral("%1 not read: %2").arg(path, file.errorString());
        return s;
    }
    return parseExtrasSettings(file.read(64 * 1024));
}
