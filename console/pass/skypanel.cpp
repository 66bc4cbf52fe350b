#include "skypanel.h"

#include "passdatastore.h"
#include "passplan.h"
#include "passview.h"
#include "pointing.h"
#include "settings.h"

#include <QLineF>
#include <QPainter>
#include <cmath>

namespace {
SkyPanel *g_panel = nullptr;

// Truncation toward zero, kept finite: a zero Radius or a wild point must not
// turn into undefined integer conversion.
int px(double v)
{
    if (!std::isfinite(v))
        return 0;
    return static_cast<int>(qBound(-1.0e7, v, 1.0e7));
}

QLine truncated(const QPointF &a, const QPointF &b)
{
    return QLine(px(a.x()), px(a.y()), px(b.x()), px(b.y()));
}
}

bool drawOffsetInUse(qint8 offset)
{
    return offset != 0 && offset >= -64 && offset <= 63;
}

SkyGeometry SkyGeometry::fromHeight(int height, double radius)
{
    SkyGeometry g;
    g.diameter = 0.9 * height;
    g.pixelsPerMm = g.diameter / (2 * radius);
    g.margin = g.diameter / 18;
    g.centre = g.diameter / 2 + g.diameter / 18;
    return g;
}

QPointF SkyGeometry::screenPosition(double angle, double radius) const
{
    return QPointF(centre + pixelsPerMm * radius * std::sin(angle),
                   centre - pixelsPerMm * radius * std::cos(angle));
}

QColor powerColour(double t)
{
    // The strongest sample gives t = 256; keep it the darkest colour, not the lightest.
    const int level = std::isfinite(t) ? qBound(0, static_cast<int>(t), 255) : 0;
    return QColor(QRgb(127 * 65536 + (255 - level) * 257));
}

SkyPanel::SkyPanel(const QSize &size, const PassPlanRecord &plan, const StationSettingsRecord &settings,
                   SkyDrawState &sky)
    : m_pixmap(size),
      m_pen(Qt::blue, 1, Qt::SolidLine),
      m_brush(QColor(212, 208, 200), Qt::SolidPattern),
      m_geometry(SkyGeometry::fromHeight(size.height(), settings.Radius)),
      m_plan(plan), m_settings(settings), m_sky(sky)
{
    fillAndCircle();
    show();
}

void SkyPanel::fillAndCircle()
{
    QPainter painter(&m_pixmap);
    painter.setBrush(m_brush);
    painter.setPen(m_pen);
    painter.fillRect(m_pixmap.rect(), m_brush);
    const int m = px(m_geometry.margin);
    const int d = px(2 * m_geometry.pixelsPerMm * m_settings.Radius);
    painter.drawEllipse(QRect(m, m, d, d));
}

QPointF SkyPanel::reachablePoint(int i) const
{
    return m_geometry.screenPosition(m_plan.feedAngle.at(i), m_plan.feedRadius.at(i));
}

void SkyPanel::show()
{
    pass::view().showSkyPixmap(m_pixmap);
}

void SkyPanel::drawPassPreview(quint16 count)
{
    m_pen.setWidth(1);
    m_pen.setStyle(Qt::SolidLine);
    m_pen.setColor(Qt::blue);
    fillAndCircle();

    const double c0 = m_geometry.centre;
    const double reach = m_geometry.pixelsPerMm * m_settings.Radius;
    m_pen.setStyle(Qt::DotLine);
    {
        QPainter painter(&m_pixmap);
        painter.setBrush(m_brush);
        painter.setPen(m_pen);
        painter.drawLine(truncated({c0 - reach, c0}, {c0 + reach, c0}));
        painter.drawLine(truncated({c0, c0 - reach}, {c0, c0 + reach}));
    }

    m_pen.setStyle(Qt::SolidLine);
    m_pen.setWidth(2);
    const int available = qMin(m_plan.feedRadius.size(), m_plan.feedAngle.size());
    for (int i = 0; i + 1 < count; ++i) {
        m_pen.setColor(QColor(QRgb(20000u * static_cast<quint32>(i)) & 0xFFFFFFu));
        drawSegment(static_cast<quint16>(i));
    }

    m_pen.setColor(Qt::red);
    const int last = count > 1 ? count - 1 : 0;
    if (last < available) {
        const QPointF p = reachablePoint(last);
        const int x = px(p.x() - 3);
        const int y = px(p.y() - 3);
        QPainter painter(&m_pixmap);
        painter.setBrush(m_brush);
        painter.setPen(m_pen);
        painter.drawEllipse(QRect(QPoint(x, y), QPoint(x + 5, y + 5)));
    }
    show();
}

void SkyPanel::drawSegment(quint16 i)
{
    const int available = qMin(m_plan.feedRadius.size(), m_plan.feedAngle.size());
    if (i + 1 >= m_plan.reachableCount || i + 1 >= available)
        return;
    if (i == 0)
        m_sky.previousDrawPoint = {m_plan.feedAngle.at(0), m_plan.feedRadius.at(0)};
    else
        m_sky.previousDrawPoint = m_sky.currentDrawPoint;
    if (drawOffsetInUse(m_sky.drawOffset))
        offsetAcrossTrack(m_plan, i + 1, i, m_sky.drawOffset, &m_sky);
    else
        m_sky.currentDrawPoint = {m_plan.feedAngle.at(i + 1), m_plan.feedRadius.at(i + 1)};

    const QPointF q = m_geometry.screenPosition(m_sky.previousDrawPoint.angle,
                                                m_sky.previousDrawPoint.radius);
    const QPointF p = m_geometry.screenPosition(m_sky.currentDrawPoint.angle,
                                                m_sky.currentDrawPoint.radius);
    QPainter painter(&m_pixmap);
    painter.setBrush(m_brush);
    if (!m_sky.redrawing || !m_store) {
        painter.setPen(m_pen);
        painter.drawLine(truncated(q, p));
    } else {
        // Every sample of the point colours its own m-th of the segment.
        m_pen.setWidth(4);
        const quint32 m = qMin(m_store->sampleCountAt(i), m_store->depth());
        if (m >= 1) {
            const QPointF d = (p - q) / m;
            for (quint32 j = 0; j < m; ++j) {
                const double t = (double(m_store->powerSampleAt(i, j)) - m_store->minPower())
                    * m_sky.colourScale;
                m_pen.setColor(powerColour(t));
                painter.setPen(m_pen);
                painter.drawLine(truncated(q + d * j, q + d * (j + 1)));
            }
        }
    }
    painter.end();
    show();
}

void SkyPanel::redrawRecordedPass(const PassDataStore &store)
{
    m_sky.redrawing = true;
    m_sky.colourScale = store.powerScale();
    m_store = &store;
    const quint32 points = qMin<quint32>(store.recordedPoints(), 65535u);
    for (quint32 i = 0; i < points; ++i) {
        m_sky.drawOffset = static_cast<qint8>(store.korr0At(i) & 0xFF);
        drawSegment(static_cast<quint16>(i));
    }
    m_store = nullptr;
    m_pen.setWidth(0);
    m_sky.redrawing = false;
    show();
}

void SkyPanel::drawArms(const QVector<double> &u1, const QVector<double> &u2)
{
    const double c0 = m_geometry.centre;
    const double s = m_geometry.pixelsPerMm * m_settings.HalfRadius;
    m_pen.setWidth(1);
    m_pen.setStyle(Qt::SolidLine);
    QPainter painter(&m_pixmap);
    painter.setBrush(m_brush);
    const int n = qMin(u1.size(), u2.size());
    for (int i = 0; i < n; ++i) {
        const QPointF joint(c0 + s * std::sin(u1.at(i)), c0 - s * std::cos(u1.at(i)));
        const double t = u1.at(i) - M_PI + u2.at(i);
        const QPointF feed(joint.x() + s * std::sin(t), joint.y() - s * std::cos(t));
        m_pen.setColor(Qt::blue);
        painter.setPen(m_pen);
        painter.drawLine(truncated({c0, c0}, joint));
        m_pen.setColor(Qt::red);
        painter.setPen(m_pen);
        painter.drawLine(truncated(joint, feed));
    }
    painter.end();
    show();
}

void SkyPanel::setTrackingPen()
{
    m_pen.setStyle(Qt::SolidLine);
    m_pen.setWidth(2);
    m_pen.setColor(Qt::yellow);
}

void setSkyPanel(SkyPanel *panel) { g_panel = panel; }
SkyPanel *skyPanel() { return g_panel; }

void drawPassPreview(quint16 count)
{
    if (g_panel)
        g_panel->drawPassPreview(count);
}

void drawSegment(quint16 i)
{
    if (g_panel)
        g_panel->drawSegment(i);
}

void redrawRecordedPass(const PassDataStore &store)
{
    if (g_panel)
        g_panel->redrawRecordedPass(store);
}

void setTrackingPen()
{
    if (g_panel)
        g_panel->setTrackingPen();
}
