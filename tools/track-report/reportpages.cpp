#include "reportpages.h"

#include "pointingpage.h"

#include <QUrl>

namespace reportpages {
namespace {

QString dB(double v)
{
    return QString::number(v, 'f', 1);
}

QString pointsText(const PassSummary &p)
{
    return QString::number(p.recorded) + QStringLiteral(" of ")
           + (p.uploaded >= 0 ? QString::number(p.uploaded) : QStringLiteral("?"));
}

QString row(const QString &key, const QString &valueHtml)
{
    return QStringLiteral("<tr><th>") + esc(key) + QStringLiteral("</th><td>") + valueHtml + QStringLiteral("</td></tr>\n");
}

QString satelliteOf(const PassSummary &p)
{
    return p.satellite.isEmpty() ? p.fileName : p.satellite;
}

// The pass table with its filter; `root` leads from the page to the report folder.
QString passTable(const QList<PassSummary> &passes, const QString &root)
{
    QString h = QStringLiteral("<form class=\"filter\" hidden><label>Satellite <select name=\"sat\"><option value=\"\">all</option></select></label> "
                               "<label><input type=\"checkbox\" name=\"errors\"> errors only</label> <output></output></form>\n"
                               "<div class=\"scroll\"><table class=\"passes\">\n<thead><tr><th>Start</th><th>Satellite</th><th>Orbit</th>"
                               "<th>Points</th><th>Noise dB</th><th>Peak dB</th><th>Mean dB</th><th>Peak SNR dB</th>"
                               "<th>Verdict</th></tr></thead>\n<tbody>\n");
    for (const PassSummary &p : passes) {
        h += QStringLiteral("<tr data-sat=\"") + esc(satelliteOf(p)) + (p.ok() ? QStringLiteral("\">") : QStringLiteral("\" class=\"bad\">"));
        h += QStringLiteral("<td>") + esc(utcText(p.whenUtc())) + QStringLiteral("</td><td><a href=\"") + href(root + pagePath(p))
             + QStringLiteral("\">") + esc(satelliteOf(p)) + QStringLiteral("</a></td><td>") + esc(p.orbit) + QStringLiteral("</td>");
        if (p.ok())
            h += QStringLiteral("<td class=\"num\">%1</td><td class=\"num\">%2</td><td class=\"num\">%3</td><td class=\"num\">%4</td>"
                                "<td class=\"num\">%5</td><td class=\"ok\">ok</td>")
                     .arg(pointsText(p), dB(p.noise), dB(p.peakAbove), dB(p.meanAbove), dB(p.peakSnr));
        else
            h += QStringLiteral("<td></td><td></td><td></td><td></td><td></td><td>") + esc(p.error) + QStringLiteral("</td>");
        h += QStringLiteral("</tr>\n");
    }
    return h + QStringLiteral("</tbody>\n</table></div>\n");
}

// The months, newest first; with their counts on the front page only, so that
// a new pass changes no other month's page.
QString monthList(const QMap<QString, MonthCount> &months, const QString &root, const QString &current = {})
{
    QString h = QStringLiteral("<ul class=\"months\">\n");
    for (auto it = months.constEnd(); it != months.constBegin();) {
        --it;
        const QString label = current.isNull() ? esc(it.key()) + QStringLiteral(": %1").arg(it->passes)
                                                     + (it->bad > 0 ? QStringLiteral(", <span class=\"err\">%1 with errors</span>").arg(it->bad) : QString())
                                               : esc(it.key());
        h += it.key() == current ? QStringLiteral("<li><b>") + label + QStringLiteral("</b></li>\n")
                                 : QStringLiteral("<li><a href=\"") + href(root + monthPath(it.key())) + QStringLiteral("\">")
                                       + label + QStringLiteral("</a></li>\n");
    }
    return h + QStringLiteral("</ul>\n");
}

QString heading(const QString &station)
{
    return station.isEmpty() ? QStringLiteral("Station") : station;
}

} // namespace

QString esc(const QString &s)
{
    return s.toHtmlEscaped();
}

QString href(const QString &relative)
{
    return esc(QString::fromLatin1(QUrl::toPercentEncoding(relative, "/()+-._~")));
}

QString head(const QString &title, const QString &root, int refreshSeconds)
{
    QString h = QStringLiteral("<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                               "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n");
    if (refreshSeconds > 0)
        h += QStringLiteral("<meta http-equiv=\"refresh\" content=\"%1\">\n").arg(refreshSeconds);
    h += QStringLiteral("<title>") + esc(title) + QStringLiteral("</title>\n<link rel=\"stylesheet\" href=\"") + root
         + QStringLiteral("style.css\">\n<script src=\"") + root + QStringLiteral("report.js\" defer></script>\n</head>\n");
    return h;
}


QString utcText(const QDateTime &t)
{
    return t.isValid() ? t.toUTC().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss 'UTC'")) : QString();
}

QString pagePath(const PassSummary &p) { return QStringLiteral("passes/") + p.pageBase + QStringLiteral(".html"); }
QString picturePath(const PassSummary &p) { return QStringLiteral("passes/") + p.pageBase + QStringLiteral(".png"); }
QString csvPath(const PassSummary &p) { return QStringLiteral("passes/") + p.pageBase + QStringLiteral(".csv"); }
QString monthPath(const QString &month) { return QStringLiteral("months/") + month + QStringLiteral(".html"); }

QStringList passFiles(const PassSummary &p)
{
    const QString b = QStringLiteral("passes/") + p.pageBase;
    return {b + QStringLiteral(".html"), b + QStringLiteral(".png"), b + QStringLiteral(".csv"), b + QStringLiteral(".svg"),
            b + QStringLiteral(".js"), b + QStringLiteral(".dat"), b + QStringLiteral(".dat.ai")};
}

QByteArray index(const QString &station, const QList<PassSummary> &newest, int total,
                 const QMap<QString, MonthCount> &months, const QList<reportfiles::SkippedEntry> &skipped,
                 const QDateTime &generatedUtc)
{
    QString h = head(heading(station) + QStringLiteral(": passes"), QString());
    h += QStringLiteral("<body>\n<h1>") + esc(heading(station)) + QStringLiteral("</h1>\n"
                        "<nav><a href=\"pointing.html\">Pointing</a>: the across-track error and the pointing model's fit</nav>\n"
                        "<iframe class=\"status\" src=\"status.html\" title=\"Live status\"></iframe>\n");
    int bad = 0;
    for (const MonthCount &m : months)
        bad += m.bad;
    h += QStringLiteral("<h2>Passes: %1").arg(total);
    if (bad > 0)
        h += QStringLiteral(", <span class=\"err\">%1 with errors</span>").arg(bad);
    h += QStringLiteral("</h2>\n");
    if (total > newest.size())
        h += QStringLiteral("<p>The newest %1 below; every pass in the months:</p>\n").arg(newest.size());
    if (!months.isEmpty())
        h += monthList(months, QString());
    h += passTable(newest, QString());
    if (!skipped.isEmpty()) {
        h += QStringLiteral("<h2>Left out of data/: %1</h2>\n<ul class=\"skipped\">\n").arg(skipped.size());
        for (const reportfiles::SkippedEntry &s : skipped)
            h += QStringLiteral("<li>") + esc(s.name) + QStringLiteral(": ") + esc(s.reason) + QStringLiteral("</li>\n");
        h += QStringLiteral("</ul>\n");
    }
    h += QStringLiteral("<p class=\"meta\">Times in UTC. Peak and mean: point mean power above the noise level. "
                        "Points: recorded of uploaded. Made ")
         + esc(utcText(generatedUtc)) + QStringLiteral(" by track-report.</p>\n</body>\n</html>\n");
    return h.toUtf8();
}

QByteArray monthPage(const QString &station, const QString &month, const QList<PassSummary> &passes,
                     const QMap<QString, MonthCount> &months)
{
    QString h = head(heading(station) + QStringLiteral(": passes of ") + month, QStringLiteral("../"));
    h += QStringLiteral("<body>\n<p><a href=\"../index.html\">Newest passes and live status</a></p>\n<h1>") + esc(heading(station))
         + QStringLiteral(": ") + esc(month) + QStringLiteral("</h1>\n");
    h += monthList(months, QStringLiteral("../"), month.isNull() ? QStringLiteral("") : month);
    h += QStringLiteral("<h2>Passes: %1</h2>\n").arg(passes.size());
    h += passTable(passes, QStringLiteral("../"));
    h += QStringLiteral("<p class=\"meta\">Times in UTC.</p>\n</body>\n</html>\n");
    return h.toUtf8();
}

QByteArray passPage(const PassSummary &p, const PassSummary *older, const PassSummary *newer, bool hasCompanion,
                    const calibration::PassAcrossTrack &across)
{
    const QString title = satelliteOf(p) + (p.orbit.isEmpty() ? QString() : QStringLiteral(" (") + p.orbit + QLatin1Char(')'));
    QString h = head(title, QStringLiteral("../"));
    if (p.ok())
        h.replace(QStringLiteral("</head>"), QStringLiteral("<link rel=\"stylesheet\" href=\"../dygraph.min.css\">\n"
                                                            "<script src=\"../dygraph.min.js\" defer></script>\n</head>"));
    h += QStringLiteral("<body>\n<nav><a href=\"../index.html\">All passes</a> &middot; <a href=\"")
         + href(QStringLiteral("../") + monthPath(p.month())) + QStringLiteral("\">") + esc(p.month()) + QStringLiteral("</a> &middot; ");
    h += older ? QStringLiteral("<a rel=\"prev\" href=\"") + href(older->pageBase + QStringLiteral(".html")) + QStringLiteral("\">&larr; older</a>")
               : QStringLiteral("<span>&larr; older</span>");
    h += QStringLiteral(" &middot; ");
    h += newer ? QStringLiteral("<a rel=\"next\" href=\"") + href(newer->pageBase + QStringLiteral(".html")) + QStringLiteral("\">newer &rarr;</a>")
               : QStringLiteral("<span>newer &rarr;</span>");
    h += QStringLiteral("</nav>\n<h1>") + esc(title) + QStringLiteral("</h1>\n<div class=\"scroll\"><table class=\"status\">\n");
    h += row(QStringLiteral("File"), esc(p.fileName));
    h += row(QStringLiteral("Start"), esc(utcText(p.startUtc)));
    h += row(QStringLiteral("Written"), esc(utcText(p.writtenAt)));
    QStringList links;
    if (p.dataDownload)
        links << QStringLiteral("<a href=\"") + href(p.pageBase + QStringLiteral(".dat")) + QStringLiteral("\" download>.dat</a>");
    if (hasCompanion)
        links << QStringLiteral("<a href=\"") + href(p.pageBase + QStringLiteral(".dat.ai")) + QStringLiteral("\" download>.ai</a>");
    if (p.ok()) {
        h += row(QStringLiteral("Points"), pointsText(p) + QStringLiteral(" (recorded of uploaded)"));
        h += row(QStringLiteral("Noise level"), dB(p.noise) + QStringLiteral(" dB"));
        h += row(QStringLiteral("Peak above noise"), dB(p.peakAbove) + QStringLiteral(" dB"));
        h += row(QStringLiteral("Mean above noise"), dB(p.meanAbove) + QStringLiteral(" dB"));
        h += row(QStringLiteral("Peak SNR"), dB(p.peakSnr) + QStringLiteral(" dB"));
        links << QStringLiteral("<a href=\"") + href(p.pageBase + QStringLiteral(".png")) + QStringLiteral("\" download>PNG</a>")
              << QStringLiteral("<a href=\"") + href(p.pageBase + QStringLiteral(".csv")) + QStringLiteral("\" download>CSV</a>");
    } else {
        h += row(QStringLiteral("Verdict"), QStringLiteral("<span class=\"err\">Error in .dat file: ") + esc(p.error) + QStringLiteral("</span>"));
    }
    if (!links.isEmpty())
        h += row(QStringLiteral("Downloads"), links.join(QStringLiteral(" &middot; ")));
    h += QStringLiteral("</table></div>\n");
    if (p.ok()) {
        h += pointingpage::passSection(across);
        h += QStringLiteral("<div class=\"charts\"><div><h2>Signal</h2><div class=\"chart\" id=\"signal\"></div></div>\n"
                            "<div><h2>Pointing corrections</h2><div class=\"chart\" id=\"offsets\"></div></div>\n"
                            "<div><h2>On the sky</h2><object class=\"sky\" type=\"image/svg+xml\" data=\"")
             + href(p.pageBase + QStringLiteral(".svg")) + QStringLiteral("\">Sky plot</object></div></div>\n");
        h += QStringLiteral("<noscript><p>The charts need JavaScript; the picture below does not.</p></noscript>\n");
        h += QStringLiteral("<h2>As the viewer draws it</h2>\n<p><img class=\"pass\" src=\"") + href(p.pageBase + QStringLiteral(".png"))
             + QStringLiteral("\" alt=\"Sky path and plots of the pass\"></p>\n");
        h += QStringLiteral("<script src=\"") + href(p.pageBase + QStringLiteral(".js")) + QStringLiteral("\" defer></script>\n");
    }
    if (!p.trackText.isEmpty() || !p.configText.isEmpty())
        h += QStringLiteral("<h2>Pass summary and configuration</h2>\n<div class=\"scroll\"><pre>") + esc(p.trackText)
             + QStringLiteral("</pre><pre>") + esc(p.configText) + QStringLiteral("</pre></div>\n");
    h += QStringLiteral("</body>\n</html>\n");
    return h.toUtf8();
}

} // namespace reportpages
