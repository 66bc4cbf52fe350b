#include "datafilenaming.h"

#include "appstate.h"
#include "clock.h"
#include "paths.h"
#include "safename.h"
#include "settings.h"

#include <QStringList>

namespace {
QString g6(double v) { return QString::asprintf("%g", v); }
QString onOff(bool on) { return on ? QStringLiteral("enable") : QStringLiteral("disable"); }
}

QString dataFileName(const QString &satellite, const QString &orbit, const QDateTime &local)
{
    const QString safe = safeFileNamePart(satellite + QStringLiteral(" (") + orbit + QStringLiteral(")_")
                                          + local.toString(QStringLiteral("ddMMyy_hhmmss"))
                                          + QStringLiteral(".dat"));
    // name + ".ai" + ".XXXXXX" (QSaveFile) must fit as well.
    return platform::fitFileName(safe.left(satellite.size()), safe.mid(satellite.size()),
                                 platform::MaxFileNameLength - 10);
}

QString dataFileName(const QString &satellite, const QString &orbit)
{
    return dataFileName(satellite, orbit, platform::nowLocal());
}

QString dataFileTitle(const StationSettingsRecord &s)
{
    const QStringList lines = {
        QStringLiteral("TuVaRN data file"),
        QStringLiteral("Configuration:"),
        QStringLiteral("ver ") + QLatin1String(ConsoleVersion),
        QStringLiteral("Station name ") + s.StationName,
        QStringLiteral("Radius ") + g6(s.Radius),
        QStringLiteral("Focus ") + g6(s.Focus),
        QStringLiteral("Deviation threshold ") + g6(double(s.DeviationPorog)),
        QStringLiteral("Deviation step ") + QString::number(s.DeviationStep),
        QStringLiteral("Max. deviation ") + QString::number(s.MaxDeviation),
        QStringLiteral("FeedBack ") + onOff(s.Feedback),
        QStringLiteral("ScanLR ") + onOff(s.ScanModeRL),
        QStringLiteral("ScanFB ") + onOff(s.ScanModeFB),
        QStringLiteral("Korr. koeff.=") + g6(s.korr),
        QStringLiteral("TrackInfo:"),
    };
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}
