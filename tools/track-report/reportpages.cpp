#include "reportpages.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

namespace reportpages {
namespace {

QString esc(const QString &s)
{
    return s.toHtmlEscaped();
}

// A link to a file of the report: the name percent-encoded, then escaped.
QString href(const QString &relative)
{
    return esc(QString::fromLatin1(QUrl::toPercentEncoding(relative, "/()+-._~")));
}

QString dB(double v)
{
    return QString::number(v, 'f', 1);
}

QString head(const QString &title, const QString &css, int refreshSeconds = 0)
{
    QString h = QStringLiteral("<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n");
    if (refreshSeconds > 0)
        h += QStringLiteral("<meta http-equiv=\"refresh\" content=\"%1\">\n").arg(refreshSeconds);
    h += QStringLiteral("<title>") + esc(title) + QStringLiteral("</title>\n<link rel=\"stylesheet\" href=\"")
         + css + QStringLiteral("\">\n</head>\n");
    return h;
}

QString pointsText(const PassSummary &p)
{
    return QString::number(p.recorded) + QStringLiteral(" / ")
           + (p.uploaded >= 0 ? QString::number(p.uploaded) : QStringLiteral("?"));
}

QString row(const QString &key, const QString &valueHtml)
{
    return QStringLiteral("<tr><th>") + esc(key) + QStringLiteral("</th><td>") + valueHtml
           + QStringLiteral("</td></tr>\n");
}

QString text(const QJsonValue &v)
{
    if (v.isNull() || v.isUndefined())
        return QStringLiteral("&ndash;");
    if (v.isBool())
        return v.toBool() ? QStringLiteral("yes") : QStringLiteral("no");
    if (v.isDouble())
        return QString::number(v.toDouble());
    return esc(v.toString());
}

} // namespace

QString pagePath(const PassSummary &p) { return QStringLiteral("passes/") + p.pageBase + QStringLiteral(".html"); }
QString picturePath(const PassSummary &p) { return QStringLiteral("passes/") + p.pageBase + QStringLiteral(".png"); }
QString csvPath(const PassSummary &p) { return QStringLiteral("passes/") + p.pageBase + QStringLiteral(".csv"); }

QByteArray styleSheet()
{
    return R"(body { font-family: sans-serif; margin: 1em 2em; color: #222; background: #f7f6f2; }
h1 { font-size: 1.4em; margin: 0.2em 0 0.6em; }
h2 { font-size: 1.1em; margin: 1.2em 0 0.4em; }
table { border-collapse: collapse; background: #fff; }
th, td { padding: 0.2em 0.6em; border-bottom: 1px solid #ddd; text-align: left; white-space: nowrap; }
thead th { position: sticky; top: 0; background: #d4d0c8; }
td.num { text-align: right; font-variant-numeric: tabular-nums; }
tr.bad td { color: #b00; }
td.ok { color: #070; }
iframe.status { border: 1px solid #bbb; width: 100%; height: 17em; background: #fff; }
.status th { width: 10em; }
.err { color: #b00; font-weight: bold; }
pre { background: #fff; padding: 0.5em; border: 1px solid #ddd; display: inline-block; margin: 0 1em 0 0; vertical-align: top; }
img.pass { max-width: 100%; border: 1px solid #bbb; }
p.meta { color: #666; font-size: 0.9em; }
)";
}

QByteArray index(const QList<PassSummary> &passes, const QDateTime &generatedUtc)
{
    QString h = head(QStringLiteral("Passes"), QStringLiteral("style.css"), 120);
    h += QStringLiteral("<body>\n<h1>Station</h1>\n<iframe class=\"status\" src=\"status.html\" title=\"Live status\"></iframe>\n");
    int bad = 0;
    for (const PassSummary &p : passes)
        bad += p.ok() ? 0 : 1;
    h += QStringLiteral("<h2>Passes: %1").arg(passes.size());
    if (bad > 0)
        h += QStringLiteral(", <span class=\"err\">%1 with errors</span>").arg(bad);
    h += QStringLiteral("</h2>\n<table>\n<thead><tr><th>Written</th><th>Satellite</th><th>Orbit</th><th>Start</th>"
                        "<th>Points</th><th>Noise dB</th><th>Peak dB</th><th>Mean dB</th><th>Peak SNR dB</th>"
                        "<th>Verdict</th></tr></thead>\n<tbody>\n");
    for (const PassSummary &p : passes) {
        h += p.ok() ? QStringLiteral("<tr>") : QStringLiteral("<tr class=\"bad\">");
        h += QStringLiteral("<td>") + esc(p.writtenAt.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")))
             + QStringLiteral("</td><td><a href=\"") + href(pagePath(p)) + QStringLiteral("\">")
             + esc(p.satellite.isEmpty() ? p.fileName : p.satellite) + QStringLiteral("</a></td><td>")
             + esc(p.orbit) + QStringLiteral("</td><td>") + esc(p.start) + QStringLiteral("</td>");
        if (p.ok()) {
            h += QStringLiteral("<td class=\"num\">") + pointsText(p) + QStringLiteral("</td><td class=\"num\">")
                 + dB(p.noise) + QStringLiteral("</td><td class=\"num\">") + dB(p.peakAbove)
                 + QStringLiteral("</td><td class=\"num\">") + dB(p.meanAbove)
                 + QStringLiteral("</td><td class=\"num\">") + dB(p.peakSnr)
                 + QStringLiteral("</td><td class=\"ok\">ok</td>");
        } else {
            h += QStringLiteral("<td></td><td></td><td></td><td></td><td></td><td>") + esc(p.error)
                 + QStringLiteral("</td>");
        }
        h += QStringLiteral("</tr>\n");
    }
    h += QStringLiteral("</tbody>\n</table>\n<p class=\"meta\">Peak and mean: point mean power above the noise level. "
                        "Points: recorded / uploaded. Made ")
         + esc(generatedUtc.toUTC().toString(Qt::ISODate)) + QStringLiteral(" by track-report.</p>\n</body>\n</html>\n");
    return h.toUtf8();
}

QByteArray passPage(const PassSummary &p)
{
    const QString title = p.satellite + (p.orbit.isEmpty() ? QString() : QStringLiteral(" (") + p.orbit + QLatin1Char(')'));
    QString h = head(title, QStringLiteral("../style.css"));
    h += QStringLiteral("<body>\n<p><a href=\"../index.html\">All passes</a></p>\n<h1>") + esc(title)
         + QStringLiteral("</h1>\n<table class=\"status\">\n");
    h += row(QStringLiteral("File"), esc(p.fileName));
    h += row(QStringLiteral("Start"), esc(p.start));
    if (p.ok()) {
        h += row(QStringLiteral("Points"), pointsText(p) + QStringLiteral(" (recorded / uploaded)"));
        h += row(QStringLiteral("Noise level"), dB(p.noise) + QStringLiteral(" dB"));
        h += row(QStringLiteral("Peak above noise"), dB(p.peakAbove) + QStringLiteral(" dB"));
        h += row(QStringLiteral("Mean above noise"), dB(p.meanAbove) + QStringLiteral(" dB"));
        h += row(QStringLiteral("Peak SNR"), dB(p.peakSnr) + QStringLiteral(" dB"));
        h += row(QStringLiteral("Rows"), QStringLiteral("<a href=\"") + href(p.pageBase + QStringLiteral(".csv"))
                                             + QStringLiteral("\">CSV</a>"));
    } else {
        h += row(QStringLiteral("Verdict"), QStringLiteral("<span class=\"err\">Error in .dat file: ") + esc(p.error)
                                                + QStringLiteral("</span>"));
    }
    h += QStringLiteral("</table>\n");
    if (p.ok())
        h += QStringLiteral("<p><img class=\"pass\" src=\"") + href(p.pageBase + QStringLiteral(".png"))
             + QStringLiteral("\" alt=\"Sky path and plots of the pass\"></p>\n");
    if (!p.trackText.isEmpty() || !p.configText.isEmpty())
        h += QStringLiteral("<h2>Pass summary and configuration</h2>\n<pre>") + esc(p.trackText)
             + QStringLiteral("</pre><pre>") + esc(p.configText) + QStringLiteral("</pre>\n");
    h += QStringLiteral("</body>\n</html>\n");
    return h.toUtf8();
}

QByteArray statusPage(const QByteArray &json, const QString &reason)
{
    QString h = head(QStringLiteral("Status"), QStringLiteral("style.css"), 5);
    h += QStringLiteral("<body style=\"margin:0.3em\">\n");
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (json.isEmpty() || !doc.isObject()) {
        h += QStringLiteral("<p class=\"err\">No live status: ")
             + esc(json.isEmpty() ? reason : parseError.errorString()) + QStringLiteral("</p>\n</body>\n</html>\n");
        return h.toUtf8();
    }
    const QJsonObject o = doc.object();
    const QJsonObject link = o.value(QStringLiteral("link")).toObject();
    const QJsonObject gps = o.value(QStringLiteral("gps")).toObject();
    const QJsonObject ctl = o.value(QStringLiteral("controller")).toObject();
    const QJsonObject rec = o.value(QStringLiteral("recording")).toObject();
    const QJsonValue pass = o.value(QStringLiteral("pass"));
    const QJsonValue event = o.value(QStringLiteral("lastEvent"));

    h += QStringLiteral("<table class=\"status\">\n");
    h += row(QStringLiteral("Station"), text(o.value(QStringLiteral("station"))) + QStringLiteral(" (")
                                            + text(o.value(QStringLiteral("mode"))) + QStringLiteral(" mode)"));
    h += row(QStringLiteral("Status time"), text(o.value(QStringLiteral("time"))));
    const bool alive = link.value(QStringLiteral("alive")).toBool();
    h += row(QStringLiteral("Link"), (alive ? QStringLiteral("up") : QStringLiteral("<span class=\"err\">down</span>"))
                                         + QStringLiteral(" &ndash; ") + text(link.value(QStringLiteral("text"))));
    h += row(QStringLiteral("GPS"), text(gps.value(QStringLiteral("state"))) + QStringLiteral(", ")
                                        + text(gps.value(QStringLiteral("time"))) + QStringLiteral(" UTC"));
    const QString state = text(ctl.value(QStringLiteral("text"))) + QStringLiteral(" (")
                          + text(ctl.value(QStringLiteral("word"))) + QStringLiteral(")");
    h += row(QStringLiteral("Controller"), ctl.value(QStringLiteral("error")).toBool()
                                               ? QStringLiteral("<span class=\"err\">") + state + QStringLiteral("</span>")
                                               : state);
    if (pass.isObject()) {
        const QJsonObject p = pass.toObject();
        h += row(QStringLiteral("Pass"), text(p.value(QStringLiteral("satellite"))) + QStringLiteral(" (")
                                             + text(p.value(QStringLiteral("orbit"))) + QStringLiteral("), start ")
                                             + text(p.value(QStringLiteral("start"))) + QStringLiteral(", ")
                                             + text(p.value(QStringLiteral("reachablePoints")))
                                             + QStringLiteral(" reachable points"));
    } else {
        h += row(QStringLiteral("Pass"), QStringLiteral("none loaded"));
    }
    h += row(QStringLiteral("Recording"), text(rec.value(QStringLiteral("text"))) + QStringLiteral(", ")
                                              + text(rec.value(QStringLiteral("points"))) + QStringLiteral(" points"));
    h += row(QStringLiteral("Last data file"), text(o.value(QStringLiteral("lastDataFile"))));
    h += row(QStringLiteral("Last event"), event.isObject()
                                               ? text(event.toObject().value(QStringLiteral("time"))) + QStringLiteral(" ")
                                                     + text(event.toObject().value(QStringLiteral("message")))
                                               : QStringLiteral("&ndash;"));
    const int errors = o.value(QStringLiteral("errors")).toInt();
    h += row(QStringLiteral("Errors since start"),
             errors > 0 ? QStringLiteral("<span class=\"err\">%1</span>").arg(errors) : QStringLiteral("0"));
    h += QStringLiteral("</table>\n</body>\n</html>\n");
    return h.toUtf8();
}

} // namespace reportpages
