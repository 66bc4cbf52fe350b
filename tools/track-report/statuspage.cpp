#include "statuspage.h"

#include "reportpages.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QUrl>

namespace statuspage {
namespace {

using reportpages::esc;

QString str(const QJsonObject &o, const char *key)
{
    return o.value(QLatin1String(key)).toString();
}

QString row(const QString &key, const QString &valueHtml, const QString &cls = {})
{
    return QStringLiteral("<tr") + (cls.isEmpty() ? QString() : QStringLiteral(" class=\"") + cls + QLatin1Char('"'))
           + QStringLiteral("><th>") + esc(key) + QStringLiteral("</th><td>") + valueHtml + QStringLiteral("</td></tr>\n");
}

QDateTime isoTime(const QString &s)
{
    QDateTime t = QDateTime::fromString(s, Qt::ISODate);
    return t.isValid() ? t.toUTC() : t;
}

void copy(QJsonObject &to, const QJsonObject &from, std::initializer_list<const char *> keys)
{
    for (const char *k : keys) {
        const QJsonValue v = from.value(QLatin1String(k));
        if (v.isString())
            to.insert(QLatin1String(k), v.toString().left(200));
        else if (v.isDouble() || v.isBool())
            to.insert(QLatin1String(k), v);
    }
}

} // namespace

QString ageText(qint64 s)
{
    if (s < 0)
        s = 0;
    if (s < 120)
        return QStringLiteral("%1 s").arg(s);
    if (s < 3600)
        return QStringLiteral("%1 min").arg(s / 60);
    if (s < 86400)
        return QStringLiteral("%1 h %2 min").arg(s / 3600).arg(s / 60 % 60);
    return QStringLiteral("%1 d %2 h").arg(s / 86400).arg(s / 3600 % 24);
}

Input parse(const QByteArray &bytes, const QString &readProblem)
{
    Input in;
    if (bytes.isEmpty()) {
        in.problem = QStringLiteral("No live status: ") + (readProblem.isEmpty() ? QStringLiteral("the file is empty") : readProblem)
                     + QStringLiteral(". Is StatusFile enabled in extras.ini?");
        return in;
    }
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        in.problem = QStringLiteral("No live status: status.json is not a complete status (half-written or not JSON).");
        return in;
    }
    in.status = published(doc.object());
    if (!isoTime(str(in.status, "time")).isValid()) {
        in.problem = QStringLiteral("No live status: status.json names no time of writing.");
        return in;
    }
    in.valid = true;
    return in;
}

QJsonObject published(const QJsonObject &s)
{
    QJsonObject o;
    copy(o, s, {"time", "station", "mode", "errors"});
    for (const char *part : {"link", "gps", "controller", "recording", "pass", "lastEvent"}) {
        const QJsonObject from = s.value(QLatin1String(part)).toObject();
        QJsonObject to;
        copy(to, from, {"alive", "text", "firmware", "state", "time", "word", "error", "points", "satellite", "orbit",
                        "start", "reachablePoints", "uploadPoints", "message"});
        if (!to.isEmpty())
            o.insert(QLatin1String(part), to);
    }
    const QString last = str(s, "lastDataFile");
    if (!last.isEmpty())
        o.insert(QStringLiteral("lastDataFile"), QFileInfo(last).fileName().left(250));
    return o;
}

bool isStale(const Input &in, const QDateTime &now, int staleSeconds)
{
    const QDateTime at = isoTime(str(in.status, "time"));
    return in.valid && str(in.status, "mode") != QLatin1String("stopped") && at.isValid() && at.secsTo(now) > staleSeconds;
}

QByteArray page(const Input &in, const QDateTime &now, int staleSeconds,
                const std::function<QString(const QString &)> &pageOfDataFile)
{
    const QJsonObject &o = in.status;
    const QDateTime at = isoTime(str(o, "time"));
    const bool stopped = in.valid && str(o, "mode") == QLatin1String("stopped");
    const qint64 age = at.isValid() ? at.secsTo(now) : 0;
    const bool stale = isStale(in, now, staleSeconds);

    QString h = QStringLiteral("<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                               "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
                               "<meta http-equiv=\"refresh\" content=\"10\">\n<title>Status</title>\n"
                               "<link rel=\"stylesheet\" href=\"style.css\">\n<script src=\"report.js\" defer></script>\n</head>\n");
    h += QStringLiteral("<body class=\"statuspage\">\n");
    if (!in.valid) {
        h += QStringLiteral("<p class=\"err\">") + esc(in.problem) + QStringLiteral("</p>\n</body>\n</html>\n");
        return h.toUtf8();
    }
    const QJsonObject link = o.value(QStringLiteral("link")).toObject();
    const QJsonObject gps = o.value(QStringLiteral("gps")).toObject();
    const QJsonObject ctl = o.value(QStringLiteral("controller")).toObject();
    const QJsonObject rec = o.value(QStringLiteral("recording")).toObject();
    const QJsonObject pass = o.value(QStringLiteral("pass")).toObject();
    const QJsonObject event = o.value(QStringLiteral("lastEvent")).toObject();
    const QString station = str(o, "station");

    h += QStringLiteral("<div id=\"live\" class=\"live%1\" data-time=\"%2\" data-stale=\"%3\" data-stopped=\"%4\">\n")
             .arg(stale ? QStringLiteral(" stale") : stopped ? QStringLiteral(" stopped") : QString())
             .arg(esc(at.toString(Qt::ISODate))).arg(staleSeconds).arg(stopped ? 1 : 0);
    h += QStringLiteral("<h1>") + esc(station.isEmpty() ? QStringLiteral("Station") : station) + QStringLiteral("</h1>\n");
    if (stopped)
        h += QStringLiteral("<p class=\"banner\">console stopped at ") + esc(reportpages::utcText(at)) + QStringLiteral("</p>\n");
    else
        h += QStringLiteral("<p class=\"banner\" id=\"age\">") + (stale ? QStringLiteral("no news for ") : QStringLiteral("updated "))
             + esc(ageText(age)) + (stale ? QString() : QStringLiteral(" ago")) + QStringLiteral("</p>\n");
    h += QStringLiteral("<table class=\"status\">\n");
    h += row(QStringLiteral("Status time"), esc(reportpages::utcText(at))
                                                + (stopped ? QString() : QStringLiteral(" (") + esc(str(o, "mode")) + QStringLiteral(" mode)")));
    const bool alive = link.value(QStringLiteral("alive")).toBool() && !stopped;
    // A stopped console's link label is its last, not the link's state now.
    h += row(QStringLiteral("Link"), stopped ? QStringLiteral("<span class=\"err\">down</span> &ndash; console not running")
                                             : (alive ? QStringLiteral("up") : QStringLiteral("<span class=\"err\">down</span>"))
                                                   + (str(link, "text").isEmpty() ? QString() : QStringLiteral(" &ndash; ") + esc(str(link, "text"))));
    // Without a link the last reply's GPS bits tell nothing about now.
    const QString gpsState = str(gps, "state");
    h += row(QStringLiteral("GPS"), !alive || gpsState.isEmpty()
                                        ? QStringLiteral("unknown")
                                        : esc(gpsState) + (str(gps, "time").isEmpty() ? QString() : QStringLiteral(", ") + esc(str(gps, "time")) + QStringLiteral(" UTC")));
    QString state = str(ctl, "text");
    if (state.endsWith(QLatin1Char('.')))
        state.chop(1);
    const QDateTime start = isoTime(str(pass, "start"));
    // The status word stays at hand for the engineer, under the words.
    QString stateHtml = state.isEmpty() ? QStringLiteral("unknown")
                                        : QStringLiteral("<span title=\"status word %1\">").arg(esc(str(ctl, "word"))) + esc(state)
                                              + QStringLiteral("</span>");
    if (!state.isEmpty() && start.isValid() && state.contains(QLatin1String("start position"), Qt::CaseInsensitive) && now < start)
        stateHtml += QStringLiteral(", <span class=\"countdown\" data-start=\"%1\">starts in %2</span>")
                         .arg(esc(start.toString(Qt::ISODate)), esc(ageText(now.secsTo(start))));
    h += row(QStringLiteral("Controller"), ctl.value(QStringLiteral("error")).toBool() ? QStringLiteral("<span class=\"err\">") + stateHtml + QStringLiteral("</span>") : stateHtml);
    const int planned = pass.value(QStringLiteral("uploadPoints")).toInt() > 0 ? pass.value(QStringLiteral("uploadPoints")).toInt()
                                                                              : pass.value(QStringLiteral("reachablePoints")).toInt();
    if (!pass.isEmpty())
        h += row(QStringLiteral("Pass"), esc(str(pass, "satellite")) + QStringLiteral(" (") + esc(str(pass, "orbit"))
                                             + QStringLiteral("), start ") + esc(reportpages::utcText(start)));
    else
        h += row(QStringLiteral("Pass"), QStringLiteral("none loaded"));
    const int points = rec.value(QStringLiteral("points")).toInt();
    QString recording = esc(str(rec, "text").isEmpty() ? QStringLiteral("unknown") : str(rec, "text"));
    if (points > 0 || str(rec, "text") == QLatin1String("recording"))
        recording += QStringLiteral(", %1 of %2 points").arg(points).arg(planned > 0 ? QString::number(planned) : QStringLiteral("?"));
    h += row(QStringLiteral("Recording"), recording);
    const QString last = str(o, "lastDataFile");
    const QString lastPage = last.isEmpty() ? QString() : pageOfDataFile(last);
    h += row(QStringLiteral("Last data file"), last.isEmpty() ? QStringLiteral("&ndash;")
                                               : lastPage.isEmpty() ? esc(last)
                                                                    : QStringLiteral("<a target=\"_top\" href=\"")
                                                                          + esc(QString::fromLatin1(QUrl::toPercentEncoding(lastPage, "/()+-._~")))
                                                                          + QStringLiteral("\">") + esc(last) + QStringLiteral("</a>"));
    h += row(QStringLiteral("Last event"), event.isEmpty() ? QStringLiteral("&ndash;")
                                                           : esc(reportpages::utcText(isoTime(str(event, "time")))) + QLatin1Char(' ')
                                                                 + esc(str(event, "message")));
    const int errors = o.value(QStringLiteral("errors")).toInt();
    h += row(QStringLiteral("Errors since start"), errors > 0 ? QStringLiteral("<span class=\"err\">%1</span>").arg(errors) : QStringLiteral("0"));
    h += QStringLiteral("</table>\n</div>\n</body>\n</html>\n");
    return h.toUtf8();
}

} // namespace statuspage
