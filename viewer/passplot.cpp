// The plot panel: the feed's path on the sky circle with every power sample,
// and below it the mean power, mean SNR and Korr0 of every point.
#include "passplot.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

// Truncation towards zero into a pixel coordinate; values no screen can show are
// held at a distance instead of overflowing the integer.
int toPixel(double v)
{
    if (std::isnan(v))
        return 0;
    return int(std::trunc(std::clamp(v, -1.0e8, 1.0e8)));
}

QPen widePen(const QColor &colour)
{
    return QPen(QBrush(colour), 2, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin);
}

} // namespace

QPointF PassPlot::skyPoint(double angle, double radius) const
{
    return {m_skyCentreX + m_skyScale * radius * std::sin(angle),
            m_skyCentreY - m_skyScale * radius * std::cos(angle)};
}

const QColor PassPlot::Background(212, 208, 200);

void PassPlot::setPanelSize(int width, int height)
{
    m_plotWidth = int(0.99 * width);
    m_plotHeight = int(0.99 * height);
    m_skyDiameter = 0.95 * (m_plotHeight - StripHeight);
}

void PassPlot::clear(QPainter &p) const
{
    p.setPen(QColor(Qt::lightGray));
    p.drawRect(1, 1, m_plotWidth, m_plotHeight);
}

void PassPlot::draw(QPainter &p, const ViewerData &d)
{
    if (d.rowCount == 0)
        return;
    const PassDataStore &store = d.store;

    // A file without a usable Radius gets no sky circle and no path, only the strip.
    const bool sky = d.viewRadius > 0;
    m_skyScale = sky ? m_skyDiameter / (2.0 * double(d.viewRadius)) : 0.0;
    m_skyCentreX = m_plotWidth / 2;
    m_skyCentreY = (m_plotHeight - StripHeight) / 2;

    const int xStep = m_plotWidth / int(d.rowCount);
    auto xAt = [&](int k) { return toPixel(k * 0.95 * xStep + 50); };
    const double powerScaleY = 0.95 * StripHeight / double(d.powerMax - d.powerMin);
    auto yP = [&](double v) { return toPixel(m_plotHeight - 1 - (v - d.powerMin) * powerScaleY); };
    const double snrScaleY = StripHeight / double(d.snrMax - d.snrMin);
    auto yS = [&](double v) { return toPixel(m_plotHeight - 1 - (v - d.snrMin) * snrScaleY); };
    const double korrScaleY = d.korr0Max == d.korr0Min
        ? 0.0
        : (StripHeight / (d.korr0Max - d.korr0Min)) * 0.3;
    auto yK = [&](double v) { return toPixel(m_plotHeight - 1 - (v - d.korr0Min) * korrScaleY); };

    clear(p);
    p.setPen(QColor(Qt::lightGray));
    p.drawLine(40, m_plotHeight, 40, m_plotHeight - StripHeight);

    // Power scale every 5 dB, labelled as power above the noise level. A range
    // that would need more ticks than the strip has pixels gets none.
    const qint64 first = qint64(std::trunc(std::clamp(double(d.powerMin), -1e12, 1e12)));
    const qint64 last = qint64(std::trunc(std::clamp(double(d.powerMax), -1e12, 1e12))) - 1;
    if (last - first <= 5 * StripHeight) {
        for (qint64 i = first; i <= last; ++i) {
            if (i % 5 != 0)
                continue;
            const int y = toPixel(m_plotHeight - (double(i) - d.powerMin) * powerScaleY);
            p.setPen(QColor(Qt::black));
            p.drawLine(40, y, 45, y);
            p.drawText(QPointF(20.0, y), QString::asprintf("%g", double(float(i) - d.viewNoise)));
            p.setPen(QPen(Qt::DotLine));
            p.drawLine(40, y, m_plotWidth - 25, y);
        }
    }

    if (sky) {
        const double r = m_skyScale * double(d.viewRadius);
        p.setPen(QColor(Qt::blue));
        p.drawEllipse(QRectF(m_skyCentreX - r, m_skyCentreY - r, 2 * r, 2 * r));
    }

    // The path starts at point 0 of this file, whatever was drawn before.
    markPosition(d, 0);
    for (int j = 1; j < int(d.rowCount); ++j) {
        if (store.meanPowerAt(quint32(j)) == 0.0f)
            continue;
        const quint32 a = quint32(j - 1);
        const quint32 b = quint32(j);
        p.setPen(widePen(Qt::green));
        p.drawLine(xAt(j - 1), yS(store.meanSnrAt(a)), xAt(j), yS(store.meanSnrAt(b)));
        p.setPen(widePen(Qt::blue));
        p.drawLine(xAt(j - 1), yP(store.meanPowerAt(a)), xAt(j), yP(store.meanPowerAt(b)));
        p.setPen(QColor(Qt::red));
        p.drawLine(xAt(j - 1), yP(store.meanPowerAt(b)), xAt(j), yP(store.meanPowerAt(b)));
        p.setPen(QColor(Qt::magenta));
        const int k0 = yK(store.korr0At(a));
        p.drawLine(xAt(j - 1), k0, xAt(j), k0);
        p.drawLine(xAt(j), k0, xAt(j), yK(store.korr0At(b)));
        p.setPen(QPen(Qt::DotLine));
        p.drawLine(xAt(j - 1), m_plotHeight, xAt(j - 1), m_plotHeight - StripHeight);
        if (sky)
            drawPathPoint(p, d, j);
    }

    if (sky) {
        p.setPen(widePen(Qt::black));
        const QPointF mark = skyPoint(m_markAngle, m_markRadius);
        p.drawEllipse(toPixel(mark.x() - 4), toPixel(mark.y() - 4), 8, 8);
    }
}

void PassPlot::markPosition(const ViewerData &d, int i)
{
    const QVector<float> &angle = d.viewFeedAngle;
    const QVector<float> &radius = d.viewFeedRadius;
    if (i < 0 || i >= angle.size() || i >= radius.size())
        return;
    m_markAngle = angle.at(i);
    m_markRadius = radius.at(i);
    const int k = qint8(d.store.korr0At(quint32(i)));
    if ((k >= -1 && k <= 1) || i == 0)
        return;

    const double x1 = double(radius.at(i)) * std::cos(angle.at(i));
    const double y1 = double(radius.at(i)) * std::sin(angle.at(i));
    const double x0 = double(radius.at(i - 1)) * std::cos(angle.at(i - 1));
    const double y0 = double(radius.at(i - 1)) * std::sin(angle.at(i - 1));
    // Two points in the same place give no chord to step across: stay on the path.
    if (x1 == x0 && y1 == y0)
        return;
    // A chord parallel to an axis divides by zero; IEEE infinities give the
    // right perpendicular there.
    const double a = std::atan(-1.0 / ((x1 - x0) / (y1 - y0)));
    const double x2 = x1 + k * std::sin(a);
    const double y2 = y1 + k * std::cos(a);
    if (x2 == 0.0 && y2 == 0.0) {
        m_markAngle = 0;
        m_markRadius = 0;
        return;
    }
    m_markAngle = float(std::atan(y2 / x2));
    const double s = std::sin(double(m_markAngle));
    // Straight up or down (sine 0) the radius is x2 itself.
    m_markRadius = float(s != 0.0 ? y2 / s : x2 / std::cos(double(m_markAngle)));
}

void PassPlot::drawPathPoint(QPainter &p, const ViewerData &d, int i)
{
    if (i < 1 || i >= d.viewFeedAngle.size())
        return;

    const QPointF from = i == 1 ? skyPoint(d.viewFeedAngle.at(0), d.viewFeedRadius.at(0))
                                : skyPoint(m_markAngle, m_markRadius);
    markPosition(d, i);
    const QPointF to = skyPoint(m_markAngle, m_markRadius);
    p.setPen(QColor(Qt::red));
    p.drawLine(toPixel(from.x()), toPixel(from.y()), toPixel(to.x()), toPixel(to.y()));

    const quint32 n = d.store.sampleCountAt(quint32(i));
    if (n == 0)
        return;
    const double dx = (to.x() - from.x()) / n;
    const double dy = (to.y() - from.y()) / n;
    for (quint32 m = 1; m < n; ++m) {
        const float sample = d.store.powerSampleAt(quint32(i), m);
        // 1 is white, 256 pure red; the file's lowest sample would otherwise wrap to black.
        const int v = std::clamp(toPixel((double(sample) - d.powerMin) * d.viewColourScale), 1, 256);
        m_samplePen.setColor(QColor(QRgb(0xFF0000 + (256 - v) * 257)));
        m_samplePen.setWidth(sample < d.powerThreshold ? 2 : 4);
        p.setPen(m_samplePen);
        p.drawLine(toPixel(from.x() + (m - 1) * dx), toPixel(from.y() + (m - 1) * dy),
                   toPixel(from.x() + m * dx), toPixel(from.y() + m * dy));
    }
    m_samplePen.setWidth(0);
}

void drawPassTexts(QPainter &p, const ViewerData &d, const QSize &panelSize)
{
    // Where the viewer's two labels lie on the panel: the summary at (10, 10),
    // the configuration against the right edge.
    p.setPen(QColor(Qt::black));
    const QFontMetrics fm(p.font());
    const QRect area(0, 10, panelSize.width(), panelSize.height() - 10);
    p.drawText(area.adjusted(10, 0, 0, 0), Qt::AlignLeft | Qt::AlignTop, d.trackText);
    int width = 0;
    for (const QString &line : d.configText.split(QLatin1Char('\n')))
        width = std::max(width, fm.horizontalAdvance(line));
    p.drawText(area.adjusted(std::max(0, panelSize.width() - width - 6), 0, 0, 0), Qt::AlignLeft | Qt::AlignTop,
               d.configText);
}

QImage renderPassImage(const ViewerData &d, const QSize &panelSize)
{
    QImage image(panelSize, QImage::Format_RGB32);
    image.fill(PassPlot::Background);
    QPainter p(&image);
    p.setBrush(QBrush(PassPlot::Background, Qt::SolidPattern));
    PassPlot plot;
    plot.setPanelSize(panelSize.width(), panelSize.height());
    plot.clear(p);
    plot.draw(p, d);
    drawPassTexts(p, d, panelSize);
    p.end();
    return image;
}
