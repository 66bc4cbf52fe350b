#pragma once
// Data files of passes recorded by a station whose pointing model is off by a
// known transform, made the way the console records them: a sweep of 10 mm
// steps between +-40 mm, the board's own offset in Korr0, and each row's power
// received with the offset sent one row before.
#include "passdatastore.h"

#include <QPointF>
#include <QString>
#include <QVector>

#include <cmath>
#include <random>

struct Transform
{
    double scale = 1, rotDeg = 0, x = 0, y = 0;
    QPointF apply(const QPointF &p) const
    {
        const double a = rotDeg * M_PI / 180;
        return {scale * (std::cos(a) * p.x() - std::sin(a) * p.y()) + x,
                scale * (std::sin(a) * p.x() + std::cos(a) * p.y()) + y};
    }
};

struct SynthOptions
{
    double headingDeg = 0;
    double nearestMm = 100;   // closest approach to the axis
    double halfChordMm = 300;
    int points = 150;
    double beamMm = 30;
    double peakSnrDb = 25;
    double noiseDb = 20;
    double jitterDb = 0.3;
    int ownOffset = 3;
    int step = 10;            // 0: no scan
    unsigned seed = 1;
};

// Pass k of a set of six that differ in direction and in how near they come
// to the axis, as the fit needs.
inline SynthOptions spreadPass(int k)
{
    static const double Nearest[] = {30, 225, 110, 300, 70, 170};
    SynthOptions o;
    o.headingDeg = 20 + 47.0 * (k % 6);
    o.nearestMm = Nearest[k % 6];
    o.halfChordMm = std::sqrt(375.0 * 375.0 - o.nearestMm * o.nearestMm);
    o.seed = unsigned(k + 1);
    return o;
}

inline QPointF chordPoint(const SynthOptions &o, int i)
{
    const double h = o.headingDeg * M_PI / 180;
    const double t = -o.halfChordMm + 2 * o.halfChordMm * i / (o.points - 1);
    return {o.nearestMm * std::cos(h) - t * std::sin(h), o.nearestMm * std::sin(h) + t * std::cos(h)};
}

inline QPointF chordNormal(const QPointF &a, const QPointF &b)
{
    const QPointF d = a - b;
    const double len = std::hypot(d.x(), d.y());
    QPointF n(-d.y() / len, d.x() / len);
    return n.y() < 0 || (n.y() == 0 && n.x() < 0) ? -n : n;
}

inline bool writeSynthPass(const QString &folder, const QString &name, const SynthOptions &o, const Transform &t,
                           double korr = 1.0)
{
    std::mt19937 rng(o.seed);
    std::normal_distribution<double> jitter(0, o.jitterDb);
    PassDataStore store;
    store.allocate(quint32(o.points), 20);
    store.start();
    QVector<double> radius, angle;
    int offset = 0, step = o.step, sent = 0;
    for (int i = 0; i < o.points; ++i) {
        const QPointF p = chordPoint(o, i), prev = chordPoint(o, qMax(0, i - 1));
        const QPointF mid = i == 0 ? p : (p + prev) / 2;
        const QPointF n = chordNormal(i == 0 ? chordPoint(o, 1) : p, i == 0 ? p : prev);
        const int own = int(std::lround(o.ownOffset * std::sin(2 * M_PI * (i % 24) / 24)));
        const int ownBefore = int(std::lround(o.ownOffset * std::sin(2 * M_PI * (qMax(0, i - 1) % 24) / 24)));
        const QPointF feed = mid + n * (sent + (own + ownBefore) / 2.0);
        const QPointF miss = feed - t.apply(mid);
        const double r = std::hypot(miss.x(), miss.y()) / o.beamMm;
        const double snr = std::pow(10, o.peakSnrDb / 10) * std::exp(-4 * std::log(2.0) * r * r);
        for (int k = 0; k < 8; ++k) {
            const float power = float(o.noiseDb + 10 * std::log10(1 + snr) + jitter(rng));
            store.addSample(power, power - float(o.noiseDb));
        }
        store.closePoint();
        offset += step;
        if (offset > 40 || offset < -40) {
            step = -step;
            offset = (offset > 0 ? 40 : -40) + step;
        }
        sent = offset;
        store.addPoint(qint8(own), qint8(offset), i, 1);
        radius.append(std::hypot(p.x(), p.y()));
        angle.append(std::atan2(p.y(), p.x()));
    }
    store.setNoiseLevel(float(o.noiseDb));
    const QString title = QStringLiteral("TuVaRN data file\nConfiguration:\nver 3.818d\nStation name Test\n"
                                         "Radius 500\nFocus 1400\nKorr. koeff.=%1\nTrackInfo:\nSAT\n"
                                         "Start 12:00:00").arg(korr);
    return store.writeDataFile(folder, name, title, radius, angle, angle, angle) == 0;
}
