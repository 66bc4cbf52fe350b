#include "beammodel.h"

#include "angles.h"

#include <QStringList>

#include <cmath>

namespace beam {

namespace {
using sim::Pi;

double length(const QPointF &p)
{
    return std::hypot(p.x(), p.y());
}
} // namespace

QPointF feedPoint(double radius, double angle)
{
    return {radius * std::cos(angle), radius * std::sin(angle)};
}

QPointF acrossNormal(const QPointF &a, const QPointF &b)
{
    const QPointF d = a - b;
    const double len = length(d);
    if (!(len > 1e-9))
        return {0.0, 0.0};
    QPointF n(-d.y() / len, d.x() / len);
    if (n.y() < 0.0 || (n.y() == 0.0 && n.x() < 0.0))
        n = -n;
    return n;
}

QPointF directionToFeed(double azimuthDeg, double elevationDeg, double focusMm)
{
    const double el = elevationDeg * Pi / 180.0;
    const double radius = focusMm / std::tan(el);
    double fi = azimuthDeg * Pi / 180.0 + Pi;
    if (fi > 2 * Pi)
        fi -= 2 * Pi;
    return {radius, fi};
}

TablePath::TablePath(const QVector<float> &radii, const QVector<float> &angles, double reachMm)
    : m_reach(reachMm)
{
    const int n = int(qMin(radii.size(), angles.size()));
    m_points.reserve(n);
    for (int i = 0; i < n; ++i)
        m_points.append(feedPoint(radii[i], angles[i]));
}

QPointF TablePath::point(int index) const
{
    if (m_points.isEmpty())
        return {};
    return m_points[qBound(0, index, int(m_points.size()) - 1)];
}

QPointF TablePath::normal(int index) const
{
    if (m_points.size() < 2)
        return {};
    const int a = qBound(0, index, int(m_points.size()) - 1);
    const int b = a > 0 ? a - 1 : 1;
    return acrossNormal(m_points[a], m_points[b]);
}

QPointF TablePath::tangent(int index) const
{
    if (m_points.size() < 2)
        return {};
    const int a = qBound(0, index, int(m_points.size()) - 2);
    const QPointF d = m_points[a + 1] - m_points[a];
    const double len = length(d);
    return len > 1e-9 ? d / len : QPointF();
}

QPointF TablePath::feedAt(int index, double acrossMm, double alongMm) const
{
    QPointF p = point(index) + normal(index) * acrossMm + tangent(index) * alongMm;
    const double r = length(p);
    if (m_reach > 0.0 && r > m_reach)
        p *= m_reach / r;
    return p;
}

QPointF trueImage(const TablePath &path, int index, double acrossMm, double alongMm)
{
    return path.point(index) + path.normal(index) * acrossMm + path.tangent(index) * alongMm;
}

double pointingError(const TablePath &table, int index, double acrossMm, double alongMm,
                     const QPointF &image)
{
    return length(table.feedAt(index, acrossMm, alongMm) - image);
}

bool parsePointingError(const QString &text, PointingError *out, QString *error)
{
    PointingError e;
    const QStringList parts = text.split(QLatin1Char(','), Qt::SkipEmptyParts);
    if (parts.isEmpty()) {
        *error = QStringLiteral("empty");
        return false;
    }
    for (const QString &part : parts) {
        const int eq = part.indexOf(QLatin1Char('='));
        const QString key = part.left(eq).trimmed();
        bool ok = false;
        const double v = eq < 0 ? 0.0 : part.mid(eq + 1).trimmed().toDouble(&ok);
        if (!ok || !std::isfinite(v)) {
            *error = QStringLiteral("\"%1\" is not key=number").arg(part.trimmed());
            return false;
        }
        // Limits keep the image within a plausible dish: a few per cent, a few degrees, 100 mm.
        if (key == QLatin1String("scale") && v >= 0.5 && v <= 2.0)
            e.scale = v;
        else if (key == QLatin1String("rot") && std::fabs(v) <= 45.0)
            e.rotationDeg = v;
        else if (key == QLatin1String("x") && std::fabs(v) <= 100.0)
            e.xMm = v;
        else if (key == QLatin1String("y") && std::fabs(v) <= 100.0)
            e.yMm = v;
        else {
            *error = QStringLiteral("\"%1\": keys scale (0.5..2), rot (degrees, |rot| <= 45), "
                                    "x, y (mm, |v| <= 100)").arg(part.trimmed());
            return false;
        }
    }
    *out = e;
    return true;
}

QPointF rotated(const QPointF &p, double degrees)
{
    const double a = degrees * Pi / 180.0;
    const double c = std::cos(a), s = std::sin(a);
    return {c * p.x() - s * p.y(), s * p.x() + c * p.y()};
}

QPointF imageOf(const PointingError &e, const QPointF &commanded)
{
    return rotated(commanded, e.rotationDeg) * e.scale + QPointF(e.xMm, e.yMm);
}

double Model::gain(double errorMm) const
{
    if (errorMm < 0.0)
        return 0.0;
    const double w = m_params.halfPowerWidthMm > 0.0 ? m_params.halfPowerWidthMm : 1.0;
    const double x = errorMm / w;
    return std::exp(-4.0 * std::log(2.0) * x * x);
}

double Model::snrDb(double errorMm) const
{
    const double s = std::pow(10.0, m_params.peakSnrDb / 10.0) * gain(errorMm);
    return 10.0 * std::log10(1.0 + s);
}

double Model::powerDb(double errorMm) const
{
    return m_params.noiseFloorDb + snrDb(errorMm);
}

Sample Model::sample(double errorMm, std::mt19937 &rng) const
{
    std::normal_distribution<double> noise(0.0, m_params.jitterDb > 0.0 ? m_params.jitterDb : 1e-12);
    Sample s;
    s.powerTenths = qint32(std::lround((powerDb(errorMm) + noise(rng)) * 10.0));
    s.snrTenths = qint32(std::lround((snrDb(errorMm) + noise(rng)) * 10.0));
    return s;
}

} // namespace beam
