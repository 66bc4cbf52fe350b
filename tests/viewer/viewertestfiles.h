#pragma once
#include "passdatastore.h"

#include <QVector>

// Data files as the station writes them, for the viewer tests.
struct TestPoint
{
    double angleDegrees;
    double radius;
    qint8 korr;
    qint8 korr0;
    QVector<float> power;
    QVector<float> snr;
};

inline QString testTitle(const char *radius = "1500")
{
    return QStringLiteral("TuVaRN data file\nConfiguration:\nver 3.818d\nStation name Test\nRadius %1\n"
                          "Focus 600\nKorr. koeff.=1\nTrackInfo:\nSAT 1 (4711)\nStart 12:00:00").arg(radius);
}

inline bool writeTestFile(const QString &folder, const QString &name,
                          const QVector<TestPoint> &points, float noise,
                          const QString &title = testTitle())
{
    PassDataStore store;
    store.allocate(quint32(points.size()), 20);
    store.start();
    QVector<double> radius, angle;
    for (const TestPoint &p : points) {
        for (int m = 0; m < p.power.size(); ++m)
            store.addSample(p.power.at(m), p.snr.at(m));
        store.closePoint();
        store.addPoint(p.korr0, p.korr, 7, 1);
        radius.append(p.radius);
        angle.append(p.angleDegrees * 3.14159265358979323846 / 180.0);
    }
    store.setNoiseLevel(noise);
    return store.writeDataFile(folder, name, title, radius, angle, angle, angle) == 0;
}
