#pragma once
#include <QPointF>
#include <QString>
#include <QVector>
#include <QtGlobal>
#include <random>

// The physics shared by the controller and the demodulator: where the feed is in
// its plane, where the satellite's image is, and how much signal a feed that far
// off the image receives.
namespace beam {

// Feed-plane point of a polar feed position (mm, radians).
QPointF feedPoint(double radius, double angle);
// Unit normal of the chord a-b, turned so that its y component is not negative
// (the console's sense of "across the track"); (0, 0) when a and b coincide.
QPointF acrossNormal(const QPointF &a, const QPointF &b);
// Feed position (R, Fi) that looks at a direction, before any correction.
QPointF directionToFeed(double azimuthDeg, double elevationDeg, double focusMm);

// The uploaded table seen as a path in the feed plane.
class TablePath
{
public:
    TablePath() = default;
    TablePath(const QVector<float> &radii, const QVector<float> &angles, double reachMm);
    int size() const { return int(m_points.size()); }
    QPointF point(int index) const;
    QPointF normal(int index) const;  // across the track at that point
    QPointF tangent(int index) const; // along the motion
    // The feed at a table point moved across and along the track, kept within
    // the arm's reach.
    QPointF feedAt(int index, double acrossMm, double alongMm) const;

private:
    QVector<QPointF> m_points;
    double m_reach = 0.0;
};

// Where the satellite's image really is at a point of a path: the path moved
// across and along the track.
QPointF trueImage(const TablePath &path, int index, double acrossMm, double alongMm);
// Distance from the feed at table point `index` (moved across and along) to an image.
double pointingError(const TablePath &table, int index, double acrossMm, double alongMm,
                     const QPointF &image);

// The pointing model's error: the satellite's image lies at
// scale * Rot(rotation) * p + (x, y) for the commanded feed point p.
struct PointingError
{
    double scale = 1.0;
    double rotationDeg = 0.0; // anticlockwise
    double xMm = 0.0;
    double yMm = 0.0;
};
// "scale=1.015,rot=0.4,x=3,y=-2" (any subset, any order); false with the reason.
bool parsePointingError(const QString &text, PointingError *out, QString *error);
QPointF imageOf(const PointingError &e, const QPointF &commanded);
// A feed-plane point turned anticlockwise about the axis.
QPointF rotated(const QPointF &p, double degrees);
// One step of the controller's north correction, degrees.
constexpr double NorthStepDeg = 0.1125;

struct Params
{
    double noiseFloorDb = 20.0;   // power with no signal
    double peakSnrDb = 25.0;      // SNR with the feed on the image
    double halfPowerWidthMm = 30.0; // full width of the beam at half power
    double jitterDb = 0.3;        // standard deviation of the noise on both values
};

struct Sample
{
    qint32 powerTenths = 0;
    qint32 snrTenths = 0;
};

class Model
{
public:
    explicit Model(const Params &params = Params()) : m_params(params) {}
    const Params &params() const { return m_params; }
    // Relative gain (1 on the image, 0.5 at half the half-power width off it).
    double gain(double errorMm) const;
    // Power and SNR without noise, dB; a negative error means no signal at all.
    double powerDb(double errorMm) const;
    double snrDb(double errorMm) const;
    Sample sample(double errorMm, std::mt19937 &rng) const;

private:
    Params m_params;
};

} // namespace beam
