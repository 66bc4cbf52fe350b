#include "passdatastore.h"
#include "passtestsupport.h"
#include "upload.h"

using namespace passtest;

namespace {
const QColor Background(212, 208, 200);

// Rasterisation may put a line a pixel to either side: look at the 3x3 block.
bool colourNear(const QImage &image, const QPointF &at, const QColor &colour, int reach = 1)
{
    for (int dx = -reach; dx <= reach; ++dx)
        for (int dy = -reach; dy <= reach; ++dy) {
            const QPoint p(int(at.x()) + dx, int(at.y()) + dy);
            if (image.rect().contains(p) && QColor(image.pixel(p)) == colour)
                return true;
        }
    return false;
}

QColor at(const QImage &image, int x, int y)
{
    return QColor(image.pixel(x, y));
}

// Panel 1200 x 1000 at Radius 500: D 900, 0.9 px/mm, margin 50, centre 500.
QPointF screen(double radius, double angleDeg)
{
    return QPointF(500 + 0.9 * radius * std::sin(angleDeg * Deg), 500 - 0.9 * radius * std::cos(angleDeg * Deg));
}

void setFeed(PassPlanRecord &plan, const QVector<double> &radii, const QVector<double> &anglesDeg)
{
    plan.feedRadius = radii;
    plan.feedAngle.clear();
    for (double a : anglesDeg)
        plan.feedAngle.append(a * Deg);
    plan.reachableCount = radii.size();
}
}

class TestSkyPanel : public QObject
{
    Q_OBJECT

    Harness m_h;
    SkyPanel *m_panel = nullptr;

private slots:
    void init()
    {
        m_h.install();
        m_panel = new SkyPanel(QSize(1200, 1000), m_h.plan, m_h.settings, m_h.sky);
        setSkyPanel(m_panel);
    }
    void cleanup()
    {
        m_h.uninstall();
        delete m_panel;
        m_panel = nullptr;
    }

    void geometry_data()
    {
        QTest::addColumn<int>("height");
        QTest::addColumn<QList<double>>("values"); // D, p, margin, centre
        QTest::newRow("1000") << 1000 << QList<double>{900, 0.9, 50, 500};
        QTest::newRow("1020") << 1020 << QList<double>{918, 0.918, 51, 510};
    }
    void geometry()
    {
        QFETCH(int, height);
        QFETCH(QList<double>, values);
        const SkyGeometry g = SkyGeometry::fromHeight(height, 500);
        QCOMPARE(g.diameter, values[0]);
        QVERIFY(qAbs(g.pixelsPerMm - values[1]) < 1e-12);
        QCOMPARE(g.margin, values[2]);
        QCOMPARE(g.centre, values[3]);
    }

    void startingSurface()
    {
        const QImage image = m_panel->image();
        QCOMPARE(image.size(), QSize(1200, 1000));
        QCOMPARE(at(image, 3, 3), Background);
        QCOMPARE(at(image, 500, 500), Background);
        QCOMPARE(at(image, 1100, 500), Background);
        QVERIFY(colourNear(image, {500, 50}, Qt::blue));  // top of the reach circle
        QVERIFY(colourNear(image, {50, 500}, Qt::blue));  // left
        QVERIFY(colourNear(image, {949, 500}, Qt::blue)); // right
        QCOMPARE(m_h.view.pixmapShows, 1);
    }

    void previewPath()
    {
        setFeed(m_h.plan, {300, 300, 300}, {45, 135, 225});
        m_panel->setTrackingPen();
        drawSegment(0); // left over from an earlier pass
        drawPassPreview(3);
        const QImage image = m_panel->image();
        QVERIFY(!colourNear(image, {690, 400}, Qt::yellow, 2)); // filled again
        QVERIFY(colourNear(image, {690.9, 400}, QColor(0, 0, 0)));      // first segment black
        QVERIFY(colourNear(image, {400, 690.9}, QColor(0, 0x4E, 0x20))); // then RGB 20000
        QVERIFY(colourNear(image, screen(300, 225), Qt::red, 3));       // end mark
        QVERIFY(!colourNear(image, screen(300, 45), Qt::red, 3));
        QVERIFY(colourNear(image, {500, 50}, Qt::blue));
        // The cross is dotted: blue and background alternate along it.
        int blue = 0, plain = 0;
        for (int x = 100; x < 300; ++x) {
            const QColor c = at(image, x, 500);
            blue += c == QColor(Qt::blue);
            plain += c == Background;
        }
        QVERIFY(blue > 40 && plain > 40);
        QCOMPARE(m_h.view.lastPixmap.toImage().pixel(690, 400), image.pixel(690, 400));
    }

    void previewOfOnePoint()
    {
        setFeed(m_h.plan, {300, 300, 300}, {45, 135, 225});
        drawPassPreview(1);
        const QImage image = m_panel->image();
        QVERIFY(!colourNear(image, {690.9, 400}, QColor(0, 0, 0), 2));
        QVERIFY(colourNear(image, screen(300, 45), Qt::red, 3));
    }

    void previewWithoutPointsDrawsNoMark()
    {
        setFeed(m_h.plan, {}, {});
        drawPassPreview(0);
        const QImage image = m_panel->image();
        for (int x = 0; x < 1200; x += 7)
            for (int y = 0; y < 1000; y += 7)
                QVERIFY(at(image, x, y) != QColor(Qt::red));
    }

    void lastPointDrawsNothing()
    {
        setFeed(m_h.plan, {300, 300, 300}, {45, 135, 225});
        drawPassPreview(3);
        m_h.sky.currentDrawPoint = {1.0, 2.0};
        const QImage before = m_panel->image();
        drawSegment(2);
        drawSegment(40);
        QCOMPARE(m_panel->image(), before);
        QCOMPARE(m_h.sky.currentDrawPoint.radius, 2.0);
    }

    void trackedOffset_data()
    {
        QTest::addColumn<int>("offset");
        QTest::addColumn<double>("endX"); // screen x of the segment's end
        // The chord from point 1 back to point 0 runs along the feed plane's x;
        // the offset moves the end along its y, which is the screen's x.
        QTest::newRow("0") << 0 << 500 + 0.9 * 212.132;
        QTest::newRow("64 not in use") << 64 << 500 + 0.9 * 212.132;
        QTest::newRow("-65 not in use") << -65 << 500 + 0.9 * 212.132;
        QTest::newRow("10") << 10 << 500 + 0.9 * 222.132;
        QTest::newRow("-10") << -10 << 500 + 0.9 * 202.132;
        QTest::newRow("63") << 63 << 500 + 0.9 * 275.132;
        QTest::newRow("-64") << -64 << 500 + 0.9 * 148.132;
    }
    void trackedOffset()
    {
        QFETCH(int, offset);
        QFETCH(double, endX);
        setFeed(m_h.plan, {300, 300, 300}, {45, 135, 225});
        setTrackingPen();
        m_h.sky.drawOffset = static_cast<qint8>(offset);
        drawSegment(0);
        const SkyGeometry &g = m_panel->geometry();
        const QPointF end = g.screenPosition(m_h.sky.currentDrawPoint.angle, m_h.sky.currentDrawPoint.radius);
        QVERIFY2(qAbs(end.x() - endX) < 1e-2 && qAbs(end.y() - 690.919) < 1e-2,
                 qPrintable(QStringLiteral("%1 %2").arg(end.x()).arg(end.y())));
        const QImage image = m_panel->image();
        QVERIFY(colourNear(image, {endX, 688}, Qt::yellow));
        QVERIFY(colourNear(image, screen(300, 45) + QPointF(0, 2), Qt::yellow));
        if (offset == 10)
            QVERIFY(!colourNear(image, {690.9, 688}, Qt::yellow));
        // A repeated index starts from where the path ended: a zero-length line.
        const DrawPoint kept = m_h.sky.currentDrawPoint;
        m_h.sky.drawOffset = 0;
        drawSegment(1);
        QCOMPARE(m_h.sky.previousDrawPoint.radius, kept.radius);
    }

    void redrawColoursByPower()
    {
        // Screen (600,300) -> (900,300) -> (900,600) -> (600,600).
        setFeed(m_h.plan, {std::hypot(100, 200) / 0.9, std::hypot(400, 200) / 0.9, std::hypot(400, 100) / 0.9,
                 std::hypot(100, 100) / 0.9},
                {std::atan2(100, 200) / Deg, std::atan2(400, 200) / Deg, std::atan2(400, -100) / Deg,
                 std::atan2(100, -100) / Deg});
        PassDataStore store;
        QCOMPARE(store.allocate(10, 20), 0);
        QCOMPARE(store.start(), 0);
        for (float p : {10.0f, 20.0f, 30.0f, 40.0f})
            store.addSample(p, 1);
        store.closePoint();
        store.addPoint(0, 0, 0, 1);
        store.addSample(25, 1);
        store.closePoint();
        store.addPoint(100, 0, 1, 1); // outside -64..63: drawn unshifted
        store.closePoint();
        store.addPoint(0, 0, 2, 1); // no samples
        QCOMPARE(store.recordedPoints(), 3u);

        redrawRecordedPass(store);
        const QImage image = m_panel->image();
        QCOMPARE(at(image, 637, 300), QColor(127, 255, 255)); // weakest
        QCOMPARE(at(image, 712, 300), QColor(127, 170, 170));
        QCOMPARE(at(image, 787, 300), QColor(127, 85, 85));
        QCOMPARE(at(image, 862, 300), QColor(127, 0, 0)); // strongest, t limited to 255
        QCOMPARE(at(image, 900, 450), QColor(127, 127, 127)); // a single sample colours its segment
        QCOMPARE(at(image, 750, 600), Background);             // no samples: nothing
        QCOMPARE(m_panel->pen().width(), 0);
        QVERIFY(!m_h.sky.redrawing);
        QCOMPARE(m_h.sky.colourScale, 256.0f / 30.0f);
    }

    void powerColour_data()
    {
        QTest::addColumn<double>("t");
        QTest::addColumn<QColor>("colour");
        QTest::newRow("0") << 0.0 << QColor(127, 255, 255);
        QTest::newRow("255") << 255.0 << QColor(127, 0, 0);
        QTest::newRow("256") << 256.0 << QColor(127, 0, 0);
        QTest::newRow("-3") << -3.0 << QColor(127, 255, 255);
        QTest::newRow("not a number") << std::nan("") << QColor(127, 255, 255);
        QTest::newRow("100.9 truncated") << 100.9 << QColor(127, 155, 155);
    }
    void powerColour()
    {
        QFETCH(double, t);
        QFETCH(QColor, colour);
        QCOMPARE(::powerColour(t), colour);
    }

    void armOfTheUploadPoint()
    {
        // R = 250 at 90 degrees: solution A, u1 = 30, u2 = 300.
        setFeed(m_h.plan, {250}, {90});
        m_h.plan.firstReachable = 0;
        setTrack(m_h.plan, {270}, {80});
        m_h.plan.singlePointTrack = true;
        m_h.plan.startMode = StartImmediate;
        QCOMPARE(prepareTrackUpload(m_h.plan, *m_h.link, m_h.env()), int(UploadDone));
        const QImage image = m_panel->image();
        const QPointF joint(500 + 225 * 0.5, 500 - 225 * std::sqrt(3.0) / 2);
        const QPointF feed = screen(250, 90);
        QVERIFY(colourNear(image, (QPointF(500, 500) + joint) / 2, Qt::blue));
        QVERIFY(colourNear(image, (joint + feed) / 2, Qt::red));
        QVERIFY(colourNear(image, feed - QPointF(2, 1), Qt::red));
        QVERIFY(!colourNear(image, feed + QPointF(10, 0), Qt::red, 3)); // link 2 ends at the feed
        QCOMPARE(m_h.view.lastPixmap.toImage(), image);
    }
};

QTEST_MAIN(TestSkyPanel)
#include "tst_skypanel.moc"
