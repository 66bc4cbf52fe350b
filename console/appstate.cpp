#include "appstate.h"
#include "eventsink.h"
#include "safename.h"

bool isServiceModeCommandLine(const QStringList &args)
{
    return args.size() == 1 && args.first() == QLatin1String("qzx");
}

namespace {
eventsink::Sink g_sink;
}

namespace eventsink {
void set(Sink sink) { g_sink = std::move(sink); }
void log(const QString &message)
{
    if (g_sink)
        g_sink(message);
}
}

QString safeFileNamePart(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const ushort u = c.unicode();
        if (u < 0x20 || u == 0x7F || QStringLiteral("\\/:*?\"<>|").contains(c))
            out.append(QLatin1Char('_'));
        else
            out.append(c);
    }
    bool onlyDots = true;
    for (const QChar c : out)
        if (c != QLatin1Char('.')) {
            onlyDots = false;
            break;
        }
    if (out.isEmpty() || onlyDots)
        return QStringLiteral("_");
    return out;
}

qint16 computeUtcOffsetHours(const QDateTime &localNow)
{
    return static_cast<qint16>(localNow.offsetFromUtc() / 3600);
}
