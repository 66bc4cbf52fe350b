#include "extrassettings.h"

#include "regularfile.h"

#include <QFile>
#include <QRegularExpression>

#include <cstring>

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

namespace {

// The whole file, or an empty array with *reason set. Opened without blocking
// so that a FIFO cannot hold the console at its start.
QByteArray readWholeSettingsFile(const QString &path, QString *reason)
{
    using platform::RegularFile;
    const RegularFile f = platform::readRegularFile(path, MaxExtrasFileSize);
    switch (f.refusal) {
    case RegularFile::None:
        if (f.bytes.contains('\0'))
            *reason = QStringLiteral("holds a NUL byte");
        break;
    case RegularFile::NotRegular:
    case RegularFile::IsLink:
        *reason = QStringLiteral("not a regular file");
        break;
    case RegularFile::TooLarge:
        *reason = QStringLiteral("larger than %1 bytes").arg(MaxExtrasFileSize);
        break;
    case RegularFile::OpenFailed:
    case RegularFile::ReadFailed:
        *reason = QString::fromLocal8Bit(std::strerror(f.error));
        break;
    }
    return reason->isEmpty() ? f.bytes : QByteArray();
}

} // namespace

ExtrasSettings loadExtrasSettings(const QString &path)
{
    if (!QFile::exists(path))
        return {};
    QString reason;
    const QByteArray bytes = readWholeSettingsFile(path, &reason);
    if (!reason.isEmpty()) {
        ExtrasSettings s;
        s.problems << QStringLiteral("%1 not read: %2; every extra off").arg(path, reason);
        return s;
    }
    return parseExtrasSettings(bytes);
}
