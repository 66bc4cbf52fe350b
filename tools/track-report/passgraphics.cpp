#include "passgraphics.h"

#include <QColor>
#include <QPointF>
#include <QString>

#include <algorithm>
#include <cmath>

namespace passgraphics {
namespace {

constexpr double Pi = 3.14159265358979323846;
constexpr int Size = 420, Cx = 200, Cy = 210, R = 170;

QString num(double v, int decimals = 1)
{
    return QString::number(std::isfinite(v) ? v : 0.0, 'f', decimals);
}

// Blue (weak) through green and yellow to red (strong).
QString colour(double t)
{
    t = std::clamp(std::isfinite(t) ? t : 0.0, 0.0, 1.0);
    return QColor::fromHsvF((1.0 - t) * 240.0 / 360.0, 0.9, 0.9).name();
}

QPointF toSky(double azDeg, double elDeg)
{
    const double r = R * (90.0 - std::clamp(elDeg, 0.0, 90.0)) / 90.0;
    const double a = azDeg * Pi / 180.0;
    return {Cx + r * std::sin(a), Cy - r * std::cos(a)};
}

} // namespace

QByteArray skySvg(const ViewerData &d, const PassTrack &track)
{
    const int rows = std::min(int(d.rowCount), track.azimuth.size());
    double lo = 1e30, hi = -1e30;
    for (int i = 0; i < rows; ++i)
        if (d.store.sampleCountAt(quint32(i)) > 0) {
            const double p = double(d.store.meanPowerAt(quint32(i))) - double(d.viewNoise);
            lo = std::min(lo, p);
            hi = std::max(hi, p);
        }
    if (lo > hi)
        lo = hi = 0;
    if (hi - lo < 1)
        hi = lo + 1;

    QString s = QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 %1 %2\" width=\"%1\" height=\"%2\" "
                               "font-family=\"sans-serif\" font-size=\"12\">\n<title>Pass on the sky</title>\n")
                    .arg(Size + 80).arg(Size);
    s += QStringLiteral("<rect width=\"100%\" height=\"100%\" fill=\"#fff\"/>\n");
    for (int el : {0, 30, 60}) {
        const double r = R * (90.0 - el) / 90.0;
        s += QStringLiteral("<circle cx=\"%1\" cy=\"%2\" r=\"%3\" fill=\"none\" stroke=\"#bbb\"/>"
                            "<text x=\"%4\" y=\"%5\" fill=\"#777\">%6\u00b0</text>\n")
                 .arg(Cx).arg(Cy).arg(num(r)).arg(Cx + 3).arg(num(Cy - r + 13)).arg(el);
    }
    s += QStringLiteral("<line x1=\"%1\" y1=\"%2\" x2=\"%1\" y2=\"%3\" stroke=\"#ddd\"/><line x1=\"%4\" y1=\"%5\" x2=\"%6\" y2=\"%5\" stroke=\"#ddd\"/>\n")
             .arg(Cx).arg(Cy - R).arg(Cy + R).arg(Cx - R).arg(Cy).arg(Cx + R);
    s += QStringLiteral("<g font-weight=\"bold\" text-anchor=\"middle\"><text x=\"%1\" y=\"%2\">N</text><text x=\"%1\" y=\"%3\">S</text>"
                        "<text x=\"%4\" y=\"%5\">E</text><text x=\"%6\" y=\"%5\">W</text></g>\n")
             .arg(Cx).arg(Cy - R - 6).arg(Cy + R + 16).arg(Cx + R + 12).arg(Cy + 4).arg(Cx - R - 12);

    if (rows > 0) {
        s += QStringLiteral("<polyline fill=\"none\" stroke=\"#888\" stroke-width=\"1\" points=\"");
        for (int i = 0; i < rows; ++i) {
            const QPointF p = toSky(double(track.azimuth.at(i)), double(track.elevation.at(i)));
            s += num(p.x()) + QLatin1Char(',') + num(p.y()) + QLatin1Char(' ');
        }
        s += QStringLiteral("\"/>\n<g stroke=\"#333\" stroke-width=\"0.4\">\n");
        for (int i = 0; i < rows; ++i) {
            const quint32 k = quint32(i);
            const QPointF p = toSky(double(track.azimuth.at(i)), double(track.elevation.at(i)));
            const bool sampled = d.store.sampleCountAt(k) > 0;
            const double above = sampled ? double(d.store.meanPowerAt(k)) - double(d.viewNoise) : 0;
            const QDateTime at = track.rowUtc(i);
            QString tip = QStringLiteral("point %1").arg(i);
            if (at.isValid())
                tip += at.toString(QStringLiteral(", hh:mm:ss 'UTC'"));
            tip += QStringLiteral("\naz %1\u00b0, el %2\u00b0").arg(num(double(track.azimuth.at(i)))).arg(num(double(track.elevation.at(i))));
            tip += sampled ? QStringLiteral("\npower %1 dB above noise, SNR %2 dB").arg(num(above)).arg(num(double(d.store.meanSnrAt(k))))
                           : QStringLiteral("\nno samples");
            s += QStringLiteral("<circle cx=\"%1\" cy=\"%2\" r=\"4\" fill=\"%3\"><title>%4</title></circle>\n")
                     .arg(num(p.x())).arg(num(p.y())).arg(sampled ? colour((above - lo) / (hi - lo)) : QStringLiteral("#fff"))
                     .arg(tip.toHtmlEscaped());
        }
        s += QStringLiteral("</g>\n");
        const QPointF a = toSky(double(track.azimuth.first()), double(track.elevation.first()));
        const QPointF b = toSky(double(track.azimuth.last()), double(track.elevation.last()));
        s += QStringLiteral("<g font-size=\"11\"><circle cx=\"%1\" cy=\"%2\" r=\"8\" fill=\"none\" stroke=\"#070\" stroke-width=\"2\"/>"
                            "<text x=\"%3\" y=\"%4\" fill=\"#070\">start</text>"
                            "<rect x=\"%5\" y=\"%6\" width=\"14\" height=\"14\" fill=\"none\" stroke=\"#000\" stroke-width=\"2\"/>"
                            "<text x=\"%7\" y=\"%8\">end</text></g>\n")
                 .arg(num(a.x())).arg(num(a.y())).arg(num(a.x() + 10)).arg(num(a.y() - 8))
                 .arg(num(b.x() - 7)).arg(num(b.y() - 7)).arg(num(b.x() + 10)).arg(num(b.y() - 8));
    } else {
        s += QStringLiteral("<text x=\"%1\" y=\"%2\" text-anchor=\"middle\">no pointing data (.ai file missing)</text>\n").arg(Cx).arg(Cy);
    }

    // Colour bar: power above the noise level.
    const int bx = Size + 10, by = 40, bh = Size - 100;
    s += QStringLiteral("<defs><linearGradient id=\"bar\" x1=\"0\" y1=\"1\" x2=\"0\" y2=\"0\">");
    for (int k = 0; k <= 4; ++k)
        s += QStringLiteral("<stop offset=\"%1\" stop-color=\"%2\"/>").arg(num(k / 4.0, 2)).arg(colour(k / 4.0));
    s += QStringLiteral("</linearGradient></defs>\n<rect x=\"%1\" y=\"%2\" width=\"16\" height=\"%3\" fill=\"url(#bar)\" stroke=\"#333\"/>\n")
             .arg(bx).arg(by).arg(bh);
    s += QStringLiteral("<text x=\"%1\" y=\"%2\" font-size=\"11\">dB</text><text x=\"%3\" y=\"%4\" font-size=\"11\">%5</text>"
                        "<text x=\"%3\" y=\"%6\" font-size=\"11\">%7</text><text x=\"%1\" y=\"%8\" font-size=\"10\">above</text>"
                        "<text x=\"%1\" y=\"%9\" font-size=\"10\">noise</text>\n")
             .arg(bx).arg(by - 8).arg(bx + 19).arg(by + 4).arg(num(hi)).arg(by + bh + 4).arg(num(lo))
             .arg(by + bh + 20).arg(by + bh + 32);
    s += QStringLiteral("</svg>\n");
    return s.toUtf8();
}

QByteArray chartScript(const ViewerData &d, const PassTrack &track)
{
    // Rows: [time ms or point number, power dB, SNR dB, Korr, Korr0]; null where unsampled.
    QByteArray out = "tuvarnPass({timed:";
    out += track.startUtc.isValid() ? "true" : "false";
    out += ",noise:" + num(double(d.viewNoise), 2).toLatin1() + ",rows:[\n";
    for (int i = 0; i < int(d.rowCount); ++i) {
        const quint32 k = quint32(i);
        const bool sampled = d.store.sampleCountAt(k) > 0;
        out += '[' + (track.startUtc.isValid() ? QByteArray::number(track.rowUtc(i).toMSecsSinceEpoch()) : QByteArray::number(i))
               + ',' + (sampled ? num(double(d.store.meanPowerAt(k)), 2).toLatin1() : QByteArray("null")) + ','
               + (sampled ? num(double(d.store.meanSnrAt(k)), 2).toLatin1() : QByteArray("null")) + ','
               + QByteArray::number(d.store.korrAt(k)) + ',' + QByteArray::number(d.store.korr0At(k)) + "],\n";
    }
    out += "]});\n";
    return out;
}

} // namespace passgraphics
