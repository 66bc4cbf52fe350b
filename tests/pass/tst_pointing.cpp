#include "passtestsupport.h"
#include "pointing.h"

using namespace passtest;

namespace {
double deg(double rad)
{
    return rad / Deg;
}

// Angle difference in degrees, modulo a full turn.
double turnDiff(double aDeg, double bDeg)
{
    return std::remainder(aDeg - bDeg, 360.0);
}
}

class TestPointing : public QObject
{
    Q_OBJECT

    Harness m_h;

private slots:
    void init() { m_h.install(); }
    void cleanup() { m_h.uninstall(); }

    void minimumElevation()
    {
        QCOMPARE(minElevationText(m_h.settings), QStringLiteral("mm (min elev.= 70.3)"));
        QVERIFY(qAbs(minElevation(m_h.settings) - 70.3462f) < 1e-3f);
        m_h.settings.Focus = 500;
        QCOMPARE(minElevationText(m_h.settings), QStringLiteral("mm (min elev.= 45.0)"));
        m_h.settings.korr = 2.0; // korr does not enter it
        QCOMPARE(minElevationText(m_h.settings), QStringLiteral("mm (min elev.= 45.0)"));
    }

    void feedPosition_data()
    {
        QTest::addColumn<double>("radius");
        QTest::addColumn<double>("korr");
        QTest::addColumn<double>("elevation");
        QTest::addColumn<QString>("shownRadius");
        QTest::addColumn<bool>("reachable");

        QTest::newRow("80 deg") << 500.0 << 1.0 << 80.0 << "246.9" << true;
        QTest::newRow("70 deg") << 500.0 << 1.0 << 70.0 << "509.6" << false;
        QTest::newRow("korr scales") << 500.0 << 1.1 << 80.0 << "271.5" << true;
        QTest::newRow("zenith") << 500.0 << 1.0 << 90.0 << "0.0" << true;
        QTest::newRow("horizon") << 500.0 << 1.0 << 0.0 << "inf" << false;
        QTest::newRow("below the horizon") << 500.0 << 1.0 << -80.0 << "-246.9" << false;
        QTest::newRow("past the zenith") << 500.0 << 1.0 << 100.0 << "-246.9" << false;
        // Reach is the whole-millimetre part of Radius.
        QTest::newRow("within Radius, beyond its whole mm") << 500.9 << 1.0 << 70.33 << "500.4" << false;
        QTest::newRow("within the whole mm") << 500.0 << 1.0 << 70.35 << "499.9" << true;
    }
    void feedPosition()
    {
        QFETCH(double, radius);
        QFETCH(double, korr);
        QFETCH(double, elevation);
        QFETCH(QString, shownRadius);
        QFETCH(bool, reachable);
        m_h.settings.Radius = radius;
        m_h.settings.korr = korr;
        const FeedPosition p = ::feedPosition(m_h.settings, 10 * Deg, elevation * Deg);
        QCOMPARE(QString::number(p.radius, 'f', 1), shownRadius);
        QCOMPARE(p.reachable, reachable);
    }

    void feedAngle_data()
    {
        QTest::addColumn<double>("azimuth");
        QTest::addColumn<double>("angle");
        QTest::newRow("north looks from the south") << 0.0 << 180.0;
        QTest::newRow("200 wraps to 20") << 200.0 << 20.0;
        QTest::newRow("180 stays at a full turn") << 180.0 << 360.0;
        QTest::newRow("359") << 359.0 << 179.0;
        QTest::newRow("-90") << -90.0 << 90.0;
        QTest::newRow("-630 comes back") << -630.0 << -90.0;
    }
    void feedAngle()
    {
        QFETCH(double, azimuth);
        QFETCH(double, angle);
        QVERIFY(qAbs(deg(::feedPosition(m_h.settings, azimuth * Deg, 80 * Deg).angle) - angle) < 1e-9);
    }

    void armSolutions_data()
    {
        QTest::addColumn<double>("radius");
        QTest::addColumn<double>("fi");
        QTest::addColumn<QList<double>>("a"); // u1, u2 in degrees
        QTest::addColumn<QList<double>>("b");
        QTest::newRow("half reach") << 250.0 << 200.0 << QList<double>{140, 300} << QList<double>{260, 60};
        QTest::newRow("stretched") << 500.0 << 75.0 << QList<double>{75, 180} << QList<double>{75, 180};
        QTest::newRow("on the axis") << 0.0 << 75.0 << QList<double>{-15, 360} << QList<double>{165, 0};
        QTest::newRow("u1 above a turn wraps") << 250.0 << 350.0 << QList<double>{290, 300} << QList<double>{50, 60};
    }
    void armSolutions()
    {
        QFETCH(double, radius);
        QFETCH(double, fi);
        QFETCH(QList<double>, a);
        QFETCH(QList<double>, b);
        const ArmAngles sa = armSolutionA(m_h.settings.Radius, radius, fi * Deg);
        const ArmAngles sb = armSolutionB(m_h.settings.Radius, radius, fi * Deg);
        QVERIFY2(qAbs(deg(sa.u1) - a[0]) < 1e-9 && qAbs(deg(sa.u2) - a[1]) < 1e-9,
                 qPrintable(QStringLiteral("A %1 %2").arg(deg(sa.u1)).arg(deg(sa.u2))));
        QVERIFY2(qAbs(deg(sb.u1) - b[0]) < 1e-9 && qAbs(deg(sb.u2) - b[1]) < 1e-9,
                 qPrintable(QStringLiteral("B %1 %2").arg(deg(sb.u1)).arg(deg(sb.u2))));
        // Both solutions put the end of link 2 on the feed position.
        for (const ArmAngles &s : {sa, sb}) {
            const double t = s.u1 - M_PI + s.u2;
            const double x = 250 * std::sin(s.u1) + 250 * std::sin(t);
            const double y = 250 * std::cos(s.u1) + 250 * std::cos(t);
            QVERIFY(qAbs(x - radius * std::sin(fi * Deg)) < 1e-9);
            QVERIFY(qAbs(y - radius * std::cos(fi * Deg)) < 1e-9);
        }
    }

    void armChoice_data()
    {
        QTest::addColumn<double>("radius");
        QTest::addColumn<double>("fi");
        QTest::addColumn<double>("reference");
        QTest::addColumn<double>("u1");
        QTest::newRow("B nearer after wrapping") << 250.0 << 200.0 << 0.0 << 260.0;
        QTest::newRow("A nearer") << 250.0 << 330.0 << 260.0 << 270.0;
        QTest::newRow("tie goes to B") << 0.0 << 0.0 << 0.0 << 90.0;
        QTest::newRow("stretched tie") << 500.0 << 40.0 << 0.0 << 40.0;
    }
    void armChoice()
    {
        QFETCH(double, radius);
        QFETCH(double, fi);
        QFETCH(double, reference);
        QFETCH(double, u1);
        const ArmAngles chosen = chooseArmAngles(m_h.settings.Radius, radius, fi * Deg, reference * Deg);
        QVERIFY(qAbs(turnDiff(deg(chosen.u1), u1)) < 1e-9);
    }

    void armSequenceFollowsThePreviousPoint()
    {
        const QVector<double> r{250, 250, 0};
        const QVector<double> fi{200 * Deg, 330 * Deg, 0};
        QVector<double> u1, u2;
        computeArmAngles(m_h.settings.Radius, r, fi, 3, u1, u2);
        QCOMPARE(u1.size(), 3);
        QVERIFY(qAbs(deg(u1[0]) - 260) < 1e-9); // B against 0
        QVERIFY(qAbs(deg(u2[0]) - 60) < 1e-9);
        QVERIFY(qAbs(deg(u1[1]) - 270) < 1e-9); // A against 260
        QVERIFY(qAbs(deg(u2[1]) - 300) < 1e-9);
        // On the axis: A (-90) is 0 away from 270 after wrapping, B (90) is 180.
        QVERIFY(qAbs(deg(u1[2]) + 90) < 1e-9);
        computeArmAngles(m_h.settings.Radius, r, fi, 10, u1, u2); // never past the points there are
        QCOMPARE(u1.size(), 3);
    }

    void offsetAcrossTrack_data()
    {
        QTest::addColumn<QVector<double>>("radii");
        QTest::addColumn<QVector<double>>("angles"); // degrees
        QTest::addColumn<int>("k");
        QTest::newRow("quarter chord, +10") << QVector<double>{100, 100} << QVector<double>{0, 90} << 10;
        QTest::newRow("quarter chord, -10") << QVector<double>{100, 100} << QVector<double>{0, 90} << -10;
        QTest::newRow("along a radius") << QVector<double>{300, 100} << QVector<double>{200, 200} << 40;
        QTest::newRow("third quadrant") << QVector<double>{250, 260} << QVector<double>{200, 205} << -64;
        QTest::newRow("no offset") << QVector<double>{250, 260} << QVector<double>{20, 25} << 0;
    }
    void offsetAcrossTrack()
    {
        QFETCH(QVector<double>, radii);
        QFETCH(QVector<double>, angles);
        QFETCH(int, k);
        m_h.plan.feedRadius = radii;
        m_h.plan.feedAngle.clear();
        for (double a : angles)
            m_h.plan.feedAngle.append(a * Deg);
        m_h.plan.reachableCount = radii.size();

        const float r = ::offsetAcrossTrack(m_h.plan, 0, 1, static_cast<qint8>(k), &m_h.sky);
        const DrawPoint p = m_h.sky.currentDrawPoint;
        QVERIFY(qAbs(p.radius - r) < 1e-3);
        QVERIFY(p.angle >= 0 && p.angle < 2 * M_PI);
        // The point lies |k| from A, square to the chord A-B, on the side of the
        // normal whose y is not negative.
        const double xA = radii[0] * std::cos(angles[0] * Deg), yA = radii[0] * std::sin(angles[0] * Deg);
        const double xB = radii[1] * std::cos(angles[1] * Deg), yB = radii[1] * std::sin(angles[1] * Deg);
        const double xP = p.radius * std::cos(p.angle), yP = p.radius * std::sin(p.angle);
        QVERIFY(qAbs(std::hypot(xP - xA, yP - yA) - std::abs(k)) < 1e-6);
        QVERIFY(qAbs((xP - xA) * (xB - xA) + (yP - yA) * (yB - yA)) < 1e-6);
        if (k != 0)
            QVERIFY((yP - yA) * k >= 0);

        // Not remembered: the drawing point stays.
        m_h.sky.currentDrawPoint = {1.0, 2.0};
        QCOMPARE(::offsetAcrossTrack(m_h.plan, 0, 1, static_cast<qint8>(k)), r);
        QCOMPARE(m_h.sky.currentDrawPoint.angle, 1.0);
        QCOMPARE(m_h.sky.currentDrawPoint.radius, 2.0);
    }

    void offsetAcrossTrackDegenerate()
    {
        // Two equal points have no chord; a point on the x axis divides 0 by 0
        // in the polar formula; indices past the points give 0.
        m_h.plan.feedRadius = {120, 120, 80};
        m_h.plan.feedAngle = {0.0, 0.0, M_PI};
        m_h.plan.reachableCount = 3;
        QCOMPARE(::offsetAcrossTrack(m_h.plan, 0, 1, 20, &m_h.sky), 120.0f);
        QCOMPARE(m_h.sky.currentDrawPoint.angle, 0.0);
        QCOMPARE(::offsetAcrossTrack(m_h.plan, 0, 2, 0, &m_h.sky), 120.0f);
        m_h.sky.currentDrawPoint = {1.0, 2.0};
        QCOMPARE(::offsetAcrossTrack(m_h.plan, 3, 0, 10, &m_h.sky), 0.0f);
        QCOMPARE(::offsetAcrossTrack(m_h.plan, 0, 7, 10, &m_h.sky), 0.0f);
        QCOMPARE(m_h.sky.currentDrawPoint.radius, 2.0);
    }
};

QTEST_MAIN(TestPointing)
#include "tst_pointing.moc"
