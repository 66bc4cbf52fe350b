#include "pointingpage.h"

#include "calibraterun.h"
#include "reportpages.h"

#include <QDataStream>
#include <QJsonArray>
#include <QMap>

#include <algorithm>
#include <cmath>

using reportpages::esc;
using reportpages::href;

namespace pointingpage {
namespace {

// The sweeps are kept packed (single precision: a few hundredths of a micrometre
// at the edge of the feed plane), so that ten thousand passes load fast.
constexpr int SweepBytes = 2 * 4 + 5 * 4;

QString mm(double v, int decimals = 1)
{
    return QString::number(v, 'f', decimals);
}

QString signedMm(double v, int decimals = 1)
{
    return (v >= 0 ? QStringLiteral("+") : QString()) + mm(v, decimals);
}

QString term(const calibration::FitTerm &t, int decimals, bool sign = true)
{
    return (sign ? signedMm(t.value, decimals) : mm(t.value, decimals)) + QStringLiteral(" ± ") + mm(t.sigma, decimals);
}

// The chart: each sweep's error at its row, the mean and the band of one spread.
QString chart(const calibration::PassAcrossTrack &a)
{
    constexpr double W = 600, H = 180, L = 48, R = 10, T = 10, B = 30;
    int lastRow = 1;
    double span = 5;
    for (const calibration::SweepEstimate &e : a.found) {
        lastRow = std::max(lastRow, e.firstRow + e.rows);
        span = std::max(span, std::fabs(e.acrossMm));
    }
    span = std::max(span, std::fabs(a.meanMm) + a.spreadMm);
    span = std::ceil(span / 5) * 5; // whole 5 mm on both sides of zero
    const auto x = [&](double row) { return L + (W - L - R) * row / lastRow; };
    const auto y = [&](double v) { return T + (H - T - B) * (span - v) / (2 * span); };
    const auto num = [](double v) { return QString::number(v, 'f', 1); };
    QString s = QStringLiteral("<svg class=\"across\" viewBox=\"0 0 %1 %2\" role=\"img\" aria-label=\"Across-track error along the pass\">\n")
                    .arg(W).arg(H);
    s += QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" class=\"spread\"/>\n")
             .arg(num(L), num(y(a.meanMm + a.spreadMm)), num(W - L - R), num(y(a.meanMm - a.spreadMm) - y(a.meanMm + a.spreadMm)));
    s += QStringLiteral("<line x1=\"%1\" x2=\"%2\" y1=\"%3\" y2=\"%3\" class=\"zero\"/>\n").arg(num(L), num(W - R), num(y(0)));
    s += QStringLiteral("<line x1=\"%1\" x2=\"%2\" y1=\"%3\" y2=\"%3\" class=\"mean\"/>\n").arg(num(L), num(W - R), num(y(a.meanMm)));
    for (const calibration::SweepEstimate &e : a.found)
        s += QStringLiteral("<circle cx=\"%1\" cy=\"%2\" r=\"3\"/>\n").arg(num(x(e.firstRow + e.rows / 2.0)), num(y(e.acrossMm)));
    for (const double v : {span, 0.0, -span})
        s += QStringLiteral("<text x=\"%1\" y=\"%2\" text-anchor=\"end\">%3</text>\n").arg(num(L - 4), num(y(v) + 4), v == 0 ? QStringLiteral("0") : signedMm(v, 0));
    s += QStringLiteral("<text x=\"%1\" y=\"%2\">row 0</text><text x=\"%3\" y=\"%2\" text-anchor=\"end\">row %4</text>\n")
             .arg(num(L), num(H - 8), num(W - R)).arg(lastRow);
    s += QStringLiteral("<text x=\"12\" y=\"%1\" transform=\"rotate(-90 12 %1)\" text-anchor=\"middle\">mm</text>\n").arg(num(y(0)));
    return s + QStringLiteral("</svg>\n");
}

QString weekOf(const QDate &d)
{
    int year = 0;
    const int week = d.weekNumber(&year);
    return QStringLiteral("%1-W%2").arg(year).arg(week, 2, 10, QLatin1Char('0'));
}

QVector<calibration::PassResult> results(const QList<Pass> &passes)
{
    QVector<calibration::PassResult> r;
    for (const Pass &p : passes)
        r.append({p.file, p.across});
    return r;
}

QString fitTable(const calibration::Run &run)
{
    const calibration::PointingFit &f = run.fit;
    const calibration::Advice &a = run.advice;
    QString h = QStringLiteral("<div class=\"scroll\"><table class=\"status\">\n");
    const auto row = [&h](const QString &key, const QString &value) {
        h += QStringLiteral("<tr><th>") + esc(key) + QStringLiteral("</th><td>") + esc(value) + QStringLiteral("</td></tr>\n");
    };
    row(QStringLiteral("Scale"), term(f.scale, 4, false));
    row(QStringLiteral("Rotation"), term(f.rotationDeg, 3) + QStringLiteral("°"));
    row(QStringLiteral("Offset x"), term(f.offsetXmm, 2) + QStringLiteral(" mm"));
    row(QStringLiteral("Offset y"), term(f.offsetYmm, 2) + QStringLiteral(" mm"));
    row(QStringLiteral("Rms across the track"), mm(f.rmsBeforeMm, 2) + QStringLiteral(" mm as measured, ") + mm(f.rmsAfterMm, 2)
                                                    + QStringLiteral(" mm after the fit"));
    row(QStringLiteral("Suggested korr"), a.changeKorr ? mm(a.korrNow, 4) + QStringLiteral(" → ") + mm(a.korr, 4)
                                                       : mm(a.korrNow, 4) + QStringLiteral(" (keep)"));
    row(QStringLiteral("North correction"), a.changeNorth ? signedMm(a.northCorrSteps, 0) + QStringLiteral(" steps of 0.1125°")
                                                          : QStringLiteral("none"));
    row(QStringLiteral("Feed origin"), a.moveFeed ? QStringLiteral("move (a mechanical adjustment)") : QStringLiteral("leave"));
    row(QStringLiteral("Passes, sweeps"), QStringLiteral("%1, %2").arg(run.used.size()).arg(f.points));
    return h + QStringLiteral("</table></div>\n");
}

QString passList(const QList<Pass> &window)
{
    QString h = QStringLiteral("<div class=\"scroll\"><table class=\"passes\">\n<thead><tr><th>Start</th><th>Pass</th>"
                               "<th>Across mm</th><th>Spread mm</th><th>Sweeps</th><th>Beam mm</th><th>Power dB</th></tr></thead>\n<tbody>\n");
    for (auto it = window.crbegin(); it != window.crend(); ++it) { // newest first, as on the other pages
        const Pass &p = *it;
        h += QStringLiteral("<tr><td>") + esc(reportpages::utcText(p.whenUtc)) + QStringLiteral("</td><td><a href=\"") + href(p.page)
             + QStringLiteral("\">") + esc(p.file) + QStringLiteral("</a></td>");
        const calibration::PassAcrossTrack &a = p.across;
        if (a.error.isEmpty())
            h += QStringLiteral("<td class=\"num\">%1</td><td class=\"num\">%2</td><td class=\"num\">%3 of %4</td>"
                                "<td class=\"num\">%5</td><td class=\"num\">%6</td>")
                     .arg(signedMm(a.meanMm), mm(a.spreadMm)).arg(a.found.size()).arg(a.sweeps).arg(mm(a.widthMm, 0), mm(a.meanPowerDb));
        else
            h += QStringLiteral("<td colspan=\"5\">left out: ") + esc(a.error) + QStringLiteral("</td>");
        h += QStringLiteral("</tr>\n");
    }
    return h + QStringLiteral("</tbody>\n</table></div>\n");
}

QString trend(const QList<Pass> &passes, const QDate &newest)
{
    const QDate firstMonday = newest.addDays(1 - newest.dayOfWeek()).addDays(-7 * (TrendWeeks - 1));
    QMap<QString, QList<Pass>> weeks;
    for (const Pass &p : passes)
        if (p.whenUtc.date() >= firstMonday)
            weeks[weekOf(p.whenUtc.date())].append(p);
    QString h = QStringLiteral("<div class=\"scroll\"><table class=\"passes trend\">\n<thead><tr><th>Week</th><th>Passes</th>"
                               "<th>Rms mm</th><th>After fit mm</th><th>Scale</th><th>Rotation °</th><th>Offset x mm</th>"
                               "<th>Offset y mm</th></tr></thead>\n<tbody>\n");
    for (auto it = weeks.constEnd(); it != weeks.constBegin();) {
        --it;
        const calibration::Run run = calibration::fitResults(results(it.value()));
        h += QStringLiteral("<tr><td>") + esc(it.key()) + QStringLiteral("</td><td class=\"num\">%1 of %2</td>")
                                                              .arg(run.used.size()).arg(it->size());
        const calibration::PointingFit &f = run.fit;
        if (run.hasResult())
            h += QStringLiteral("<td class=\"num\">%1</td><td class=\"num\">%2</td><td class=\"num\">%3</td><td class=\"num\">%4</td>"
                                "<td class=\"num\">%5</td><td class=\"num\">%6</td>")
                     .arg(mm(f.rmsBeforeMm, 2), mm(f.rmsAfterMm, 2), esc(term(f.scale, 4, false)), esc(term(f.rotationDeg, 3)),
                          esc(term(f.offsetXmm, 2)), esc(term(f.offsetYmm, 2)));
        else
            h += QStringLiteral("<td colspan=\"6\">") + esc(calibration::verdictLine(run).trimmed()) + QStringLiteral("</td>");
        h += QStringLiteral("</tr>\n");
    }
    return h + QStringLiteral("</tbody>\n</table></div>\n");
}

} // namespace

QString pagePath()
{
    return QStringLiteral("pointing.html");
}

QJsonObject toJson(const calibration::PassAcrossTrack &a)
{
    if (!a.error.isEmpty())
        return {{QStringLiteral("error"), a.error}, {QStringLiteral("sweeps"), a.sweeps}};
    QByteArray packed;
    QDataStream out(&packed, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out.setFloatingPointPrecision(QDataStream::SinglePrecision);
    for (const calibration::SweepEstimate &e : a.found)
        out << qint32(e.firstRow) << qint32(e.rows) << e.xMm << e.yMm << e.nx << e.ny << e.acrossMm;
    return {{QStringLiteral("sweeps"), a.sweeps}, {QStringLiteral("found"), QString::fromLatin1(packed.toBase64())},
            {QStringLiteral("meanMm"), a.meanMm}, {QStringLiteral("spreadMm"), a.spreadMm},
            {QStringLiteral("widthMm"), a.widthMm}, {QStringLiteral("meanPowerDb"), a.meanPowerDb},
            {QStringLiteral("korr"), a.korr}};
}

bool fromJson(const QJsonObject &o, calibration::PassAcrossTrack *a)
{
    *a = calibration::PassAcrossTrack();
    a->error = o.value(QStringLiteral("error")).toString();
    a->sweeps = o.value(QStringLiteral("sweeps")).toInt();
    if (!a->error.isEmpty())
        return true;
    a->meanMm = o.value(QStringLiteral("meanMm")).toDouble();
    a->spreadMm = o.value(QStringLiteral("spreadMm")).toDouble();
    a->widthMm = o.value(QStringLiteral("widthMm")).toDouble();
    a->meanPowerDb = o.value(QStringLiteral("meanPowerDb")).toDouble();
    a->korr = o.value(QStringLiteral("korr")).toDouble(1.0);
    const QByteArray packed = QByteArray::fromBase64(o.value(QStringLiteral("found")).toString().toLatin1());
    const int n = packed.size() / SweepBytes;
    // Anything else is not what was written: the estimate is made again.
    if (packed.size() % SweepBytes != 0 || n < calibration::MinSweepsPerPass || n > a->sweeps)
        return false;
    QDataStream in(packed);
    in.setByteOrder(QDataStream::LittleEndian);
    in.setFloatingPointPrecision(QDataStream::SinglePrecision);
    a->found.resize(n);
    for (calibration::SweepEstimate &e : a->found) {
        qint32 first = 0, rows = 0;
        in >> first >> rows >> e.xMm >> e.yMm >> e.nx >> e.ny >> e.acrossMm;
        e.firstRow = first;
        e.rows = rows;
    }
    return in.status() == QDataStream::Ok;
}

calibration::PassAcrossTrack asKept(const calibration::PassAcrossTrack &a)
{
    calibration::PassAcrossTrack k;
    return fromJson(toJson(a), &k) ? k : a;
}

QString passSection(const calibration::PassAcrossTrack &a)
{
    QString h = QStringLiteral("<h2 id=\"across\">Across the track</h2>\n");
    if (!a.error.isEmpty())
        return h + QStringLiteral("<p>No across-track error for this pass: ") + esc(a.error) + QStringLiteral(".</p>\n");
    h += QStringLiteral("<p>Mean %1 mm, spread %2 mm, from %3 of %4 sweeps; beam %5 mm wide, power %6 dB above noise. "
                        "Positive: the beam's best point lay along the normal of the track.</p>\n")
             .arg(esc(signedMm(a.meanMm)), mm(a.spreadMm)).arg(a.found.size()).arg(a.sweeps).arg(mm(a.widthMm, 0), mm(a.meanPowerDb));
    return h + QStringLiteral("<div class=\"scroll\">") + chart(a) + QStringLiteral("</div>\n");
}

QByteArray page(const QString &station, QList<Pass> passes, const QDateTime &generatedUtc)
{
    const QString name = station.isEmpty() ? QStringLiteral("Station") : station;
    passes.erase(std::remove_if(passes.begin(), passes.end(), [](const Pass &p) { return !p.whenUtc.isValid(); }), passes.end());
    std::sort(passes.begin(), passes.end(), [](const Pass &a, const Pass &b) {
        return a.whenUtc != b.whenUtc ? a.whenUtc < b.whenUtc : a.file < b.file;
    });
    QString h = reportpages::head(name + QStringLiteral(": pointing"), QString());
    h += QStringLiteral("<body>\n<nav><a href=\"index.html\">All passes</a></nav>\n<h1>") + esc(name) + QStringLiteral(": pointing</h1>\n");
    if (passes.isEmpty()) {
        h += QStringLiteral("<p>No passes yet.</p>\n");
    } else {
        const QDateTime newest = passes.last().whenUtc.toUTC();
        const QDateTime from = newest.addDays(-WindowDays);
        QList<Pass> window;
        for (const Pass &p : qAsConst(passes))
            if (p.whenUtc > from)
                window.append(p);
        const calibration::Run run = calibration::fitResults(results(window));
        h += QStringLiteral("<h2>The %1 days to %2</h2>\n").arg(WindowDays).arg(esc(reportpages::utcText(newest)));
        h += QStringLiteral("<p class=\"verdict\"><b>") + esc(calibration::verdictLine(run).trimmed()) + QStringLiteral("</b></p>\n");
        if (run.hasResult()) {
            h += QStringLiteral("<p>") + esc(calibration::fitLines(run).trimmed()).replace(QLatin1Char('\n'), QStringLiteral("<br>\n"))
                 + QStringLiteral("</p>\n");
            h += fitTable(run);
        }
        h += QStringLiteral("<h2>Trend per week</h2>\n") + trend(passes, newest.date());
        h += QStringLiteral("<h2>Passes of the %1 days: %2</h2>\n").arg(WindowDays).arg(window.size()) + passList(window);
    }
    h += QStringLiteral("<p class=\"meta\">Across the track: where the beam's best point lay from the track, from the sweeps the "
                        "console makes with ScanModeRL or Feedback on. Weeks run Monday to Sunday (UTC). Made ")
         + esc(reportpages::utcText(generatedUtc)) + QStringLiteral(" by track-report.</p>\n</body>\n</html>\n");
    return h.toUtf8();
}

} // namespace pointingpage
