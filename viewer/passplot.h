#pragma once
#include "datafilereader.h"

#include <QImage>
#include <QPen>
#include <QPointF>
#include <QSize>

class QPainter;

// The viewer's drawing of one loaded pass: the feed's path with every power
// sample on the sky circle, and below it the mean power, SNR and Korr0 of every
// point. Widget-free, so the viewer window and track-report draw the same
// picture. The end-of-path mark is kept between drawings, as on screen.
class PassPlot
{
public:
    static constexpr int StripHeight = 200;
    static const QColor Background;

    // Sizes from the panel the plot fills.
    void setPanelSize(int width, int height);

    // The frame of an empty panel.
    void clear(QPainter &p) const;
    // The whole plot of the loaded pass (nothing when no rows are loaded).
    void draw(QPainter &p, const ViewerData &d);
    void markPosition(const ViewerData &d, int i);
    void drawPathPoint(QPainter &p, const ViewerData &d, int i);
    QPointF skyPoint(double angle, double radius) const;

    int plotWidth() const { return m_plotWidth; }
    int plotHeight() const { return m_plotHeight; }
    double skyDiameter() const { return m_skyDiameter; }
    double skyScale() const { return m_skyScale; }
    int skyCentreX() const { return m_skyCentreX; }
    int skyCentreY() const { return m_skyCentreY; }
    float markAngle() const { return m_markAngle; }
    float markRadius() const { return m_markRadius; }

private:
    int m_plotWidth = 0;
    int m_plotHeight = 0;
    double m_skyDiameter = 0;
    double m_skyScale = 0;
    int m_skyCentreX = 0;
    int m_skyCentreY = 0;
    float m_markAngle = 0;
    float m_markRadius = 0;
    QPen m_samplePen = QPen(QBrush(Qt::blue), 1, Qt::SolidLine);
};

// A picture of the pass as the viewer shows it: the panel background, the plot,
// the pass summary at the top left and the configuration at the top right.
QImage renderPassImage(const ViewerData &d, const QSize &panelSize);
// The same onto an image of the panel's size that already holds the plot.
void drawPassTexts(QPainter &p, const ViewerData &d, const QSize &panelSize);
