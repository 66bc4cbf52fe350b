#pragma once
#include <QBrush>
#include <QImage>
#include <QPen>
#include <QPixmap>
#include <QPointF>
#include <QSize>
#include <QVector>
#include <QtGlobal>

class PassDataStore;
struct PassPlanRecord;
struct StationSettingsRecord;

// A point of the feed plane as the sky panel draws it.
struct DrawPoint
{
    double angle = 0;  // radians, 0 up, clockwise
    double radius = 0; // mm
};

// Drawing state shared by the sky panel and the pointing model.
struct SkyDrawState
{
    DrawPoint currentDrawPoint;  // end of the last segment drawn
    DrawPoint previousDrawPoint; // start of the segment being drawn
    qint8 drawOffset = 0;        // across-track offset of the point being drawn, mm
    bool redrawing = false;      // set while the recorded pass is redrawn
    float colourScale = 0;       // the store's powerScale at the start of a redraw

    void reset() { *this = SkyDrawState(); }
};

// The offset is used only when it is not 0 and lies in -64..63.
bool drawOffsetInUse(qint8 offset);

// Panel geometry from the height of PaintPanel and the arm's reach.
struct SkyGeometry
{
    double diameter = 0;    // D = 0.9 h
    double pixelsPerMm = 0; // D / (2 Radius)
    double margin = 0;      // D / 18
    double centre = 0;      // D / 2 + D / 18, for x and y

    static SkyGeometry fromHeight(int height, double radius);
    // Screen position of a feed point (floats).
    QPointF screenPosition(double angle, double radius) const;
};

// Colour of the redrawn power: 127 red, green and blue 255 - t (t limited to 0..255).
QColor powerColour(double t);

// The sky panel: a pixmap of PaintPanel's size, one shared pen and brush. All
// drawing of the pass goes through here and is shown through the PassView.
class SkyPanel
{
public:
    // Creates the pixmap, fills it and draws the reach circle (window set-up).
    // The plan, settings and drawing state are the window's.
    SkyPanel(const QSize &size, const PassPlanRecord &plan, const StationSettingsRecord &settings,
             SkyDrawState &sky);

    const SkyGeometry &geometry() const { return m_geometry; }
    const QPixmap &pixmap() const { return m_pixmap; }
    QImage image() const { return m_pixmap.toImage(); }
    QPen &pen() { return m_pen; }
    QBrush &brush() { return m_brush; }

    void drawPassPreview(quint16 count);
    void drawSegment(quint16 i);
    void redrawRecordedPass(const PassDataStore &store);
    // The arm of every upload point: link 1 blue, link 2 red.
    void drawArms(const QVector<double> &u1, const QVector<double> &u2);
    // Solid, width 2, yellow: the controller's progress while it tracks.
    void setTrackingPen();
    void show();

private:
    void fillAndCircle();
    QPointF reachablePoint(int i) const;

    QPixmap m_pixmap;
    QPen m_pen;
    QBrush m_brush;
    SkyGeometry m_geometry;
    const PassPlanRecord &m_plan;
    const StationSettingsRecord &m_settings;
    SkyDrawState &m_sky;
    const PassDataStore *m_store = nullptr; // during a redraw only
};

// The panel of the window (not owned); drawing calls do nothing without one.
void setSkyPanel(SkyPanel *panel);
SkyPanel *skyPanel();

void drawPassPreview(quint16 count);
void drawSegment(quint16 i);
void redrawRecordedPass(const PassDataStore &store);
void setTrackingPen();
