#include "dialogs.h"
#include "mainwindow.h"
#include "screenmetrics.h"
#include "viewertestfiles.h"

#include <QLabel>
#include <QListWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <memory>

namespace {
const QVector<TestPoint> Pass = {{10.0, 500, 2, -3, {-80, -78}, {5, 7}},
                                 {45.0, 600, -1, 4, {-70, -72, -71}, {8, 6, 7}},
                                 {-20.0, 700, 0, 0, {-75}, {6}}};

void age(const QString &path, int seconds)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::Append));
    QVERIFY(f.setFileTime(QDateTime::currentDateTime().addSecs(-seconds), QFileDevice::FileModificationTime));
}

// Whether some pixel within `reach` of `at` has exactly this colour.
bool colourNear(const QImage &image, QPoint at, int reach, QColor colour)
{
    for (int y = at.y() - reach; y <= at.y() + reach; ++y)
        for (int x = at.x() - reach; x <= at.x() + reach; ++x)
            if (image.valid(x, y) && image.pixelColor(x, y) == colour)
                return true;
    return false;
}
}

class TestViewerWindow : public QObject
{
    Q_OBJECT

    FixedScreenMetrics m_screen{QSize(1920, 1040), 1080};
    ScriptedDialogs m_dialogs;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<MainWindow> m_window;
    QString m_oldDir = QDir::currentPath();

    QListWidget *list() { return m_window->findChild<QListWidget *>("filelist"); }
    QLabel *label(const char *name) { return m_window->findChild<QLabel *>(name); }
    QImage panel() { return label("PPanel")->pixmap(Qt::ReturnByValue).toImage(); }
    QPoint sky(int row)
    {
        const ViewerData &d = m_window->data();
        const double s = m_window->skyScale() * d.viewFeedRadius.at(row);
        return QPoint(int(m_window->skyCentreX() + s * std::sin(d.viewFeedAngle.at(row))),
                      int(m_window->skyCentreY() - s * std::cos(d.viewFeedAngle.at(row))));
    }
    void wheel(int delta)
    {
        QWheelEvent e(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(m_window.get(), &e);
    }

private slots:
    void init()
    {
        platform::setScreenMetrics(&m_screen);
        m_dialogs = ScriptedDialogs();
        platform::setDialogs(&m_dialogs);
        m_dir = std::make_unique<QTemporaryDir>();
        QDir::setCurrent(m_dir->path());
        QVERIFY(writeTestFile("data", "a.dat", Pass, -95.5f, testTitle("0")));
        QVERIFY(writeTestFile("data", "b.dat", Pass, -95.5f, "junk\n"));
        QVERIFY(writeTestFile("data", "c.dat", Pass, -95.5f));
        age("data/a.dat", 300);
        age("data/b.dat", 200);
        age("data/c.dat", 100);
        m_window = std::make_unique<MainWindow>();
    }

    void cleanup()
    {
        m_window.reset();
        QDir::setCurrent(m_oldDir);
        m_dir.reset();
        QVERIFY2(m_dialogs.unexpected().isEmpty(), qPrintable(m_dialogs.unexpected().join('\n')));
        platform::setDialogs(nullptr);
        platform::setScreenMetrics(nullptr);
    }

    void layout()
    {
        MainWindow &w = *m_window;
        QCOMPARE(w.windowTitle(), "TuVaRN Track Viewer. ver 1.27");
        const QMetaObject *mo = w.metaObject();
        QCOMPARE(mo->method(mo->methodOffset()).methodSignature(), "on_filelist_currentRowChanged(int)");
        QCOMPARE(mo->method(mo->methodOffset() + 1).methodSignature(), "if_dir_changed()");
        QVERIFY(w.findChild<QWidget *>("centralWidget") && w.findChild<QWidget *>("menuBar"));
        QCOMPARE(list()->geometry(), QRect(1620, 0, 300, 1080));
        QCOMPARE(label("PPanel")->geometry(), QRect(0, 0, 1620, 1080));
        QCOMPARE(label("TrackInfo")->pos(), QPoint(10, 10));
        QCOMPARE(label("ConfigInfo")->geometry().right(), 1619);
        QCOMPARE(QVector<double>({double(w.plotWidth()), double(w.plotHeight()), w.skyDiameter(),
                                  double(w.skyCentreX()), double(w.skyCentreY())}),
                 QVector<double>({1603, 1069, 0.95 * 869, 801, 434}));
        for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
            QCOMPARE(list()->palette().color(group, QPalette::Base), QColor(212, 208, 200));
        // Newest first, and the newest is loaded.
        QCOMPARE(QStringList({list()->item(0)->text(), list()->item(1)->text(), list()->item(2)->text()}),
                 QStringList({"c.dat", "b.dat", "a.dat"}));
        QCOMPARE(list()->currentRow(), 0);
        QCOMPARE(w.data().rowCount, quint16(3));
    }

    void drawing()
    {
        QImage image = panel();
        QCOMPARE(image.pixelColor(0, 0), QColor(212, 208, 200));
        QCOMPARE(image.pixelColor(1, 1), QColor(Qt::lightGray));
        const int top = 434 - int(0.95 * 869 / 2);
        QVERIFY(colourNear(image, QPoint(801, top), 1, Qt::blue));
        QVERIFY(colourNear(image, sky(2), 5, Qt::black)); // end marker ring around the last point
        QVERIFY(image.pixelColor(sky(2)) != Qt::black);
        // Sample 1 of point 1: -72 dB on a -95.5..-70 scale is shade 235.
        QVERIFY(colourNear(image, (sky(0) + sky(1)) / 2, 120, QColor(255, 21, 21)));
        QCOMPARE(label("TrackInfo")->text(), "SAT 1 (4711)\nStart 12:00:00\n");

        list()->setCurrentRow(2); // Radius 0: strip plots only, no sky circle
        QCOMPARE(m_window->data().viewRadius, 0.0f);
        image = panel();
        QVERIFY(!colourNear(image, QPoint(801, top), 1, Qt::blue));
        QVERIFY(colourNear(image, QPoint(300, 1040), 30, QColor(Qt::magenta)));

        const QString config = label("ConfigInfo")->text();
        list()->setCurrentRow(1);
        QCOMPARE(label("TrackInfo")->text(), "Error in .dat file\ntitle bad");
        QCOMPARE(label("TrackInfo")->styleSheet(), "color: Red");
        QCOMPARE(label("ConfigInfo")->text(), config);
        QVERIFY(!colourNear(panel(), QPoint(300, 1040), 30, QColor(Qt::magenta)));
    }

    void wheelClamps()
    {
        wheel(-120);
        QCOMPARE(list()->currentRow(), 0);
        for (int i = 0; i < 3; ++i)
            wheel(120);
        QCOMPARE(list()->currentRow(), 2);
        wheel(-120);
        QCOMPARE(list()->currentRow(), 1);
    }

    void newFileComesOnTop()
    {
        list()->setCurrentRow(2);
        QVERIFY(writeTestFile("data", "d.dat", Pass.mid(0, 2), -90));
        QTRY_COMPARE_WITH_TIMEOUT(list()->count(), 4, 5000);
        QCOMPARE(list()->item(0)->text(), "d.dat");
        QCOMPARE(list()->currentRow(), 0);
        QCOMPARE(m_window->data().rowCount, quint16(2));
    }

    // The list follows removals, and a file whose time moves in place (not
    // a new name, nor a new file) also moves, once the folder is quiet.
    void removedAndTouchedFiles()
    {
        QVERIFY(QFile::remove("data/c.dat"));
        QTRY_COMPARE_WITH_TIMEOUT(list()->count(), 2, 5000);
        QCOMPARE(list()->item(0)->text(), "b.dat");
        QCOMPARE(list()->currentRow(), 0);
        QCOMPARE(label("TrackInfo")->styleSheet(), "color: Red"); // b.dat is the bad one

        age("data/a.dat", 10);
        QTRY_COMPARE_WITH_TIMEOUT(list()->item(0)->text(), "a.dat", 5000);
        QCOMPARE(list()->item(1)->text(), "b.dat");
        QCOMPARE(list()->currentRow(), 0);
        QCOMPARE(m_window->data().rowCount, quint16(3));
    }

    void folderCreatedLater()
    {
        QVERIFY(QDir("data").removeRecursively());
        QTRY_COMPARE_WITH_TIMEOUT(list()->count(), 0, 5000);
        QVERIFY(writeTestFile("data", "e.dat", Pass, -90));
        QTRY_COMPARE_WITH_TIMEOUT(list()->count(), 1, 5000);
        QCOMPARE(m_window->data().rowCount, quint16(3));
    }

    void openTrackKey()
    {
        QVERIFY(writeTestFile("other", "x.dat", Pass.mid(1), -90));
        QVERIFY(writeTestFile("other", "y.dat", Pass, -90));
        age("other/x.dat", 100);
        m_dialogs.expectOpenFile("Open Track", QString()); // cancelled: nothing changes
        m_dialogs.expectOpenFile("Open Track", m_dir->filePath("other/x.dat"));
        QTest::keyClick(m_window.get(), Qt::Key_F3);
        QCOMPARE(m_window->dataFolder(), "data");
        QTest::keyClick(m_window.get(), Qt::Key_F3);
        QCOMPARE(m_dialogs.lastFilter(), "Track Files (*.dat)");
        QCOMPARE(m_window->dataFolder(), m_dir->filePath("other"));
        QCOMPARE(list()->count(), 2);
        QCOMPARE(list()->currentItem()->text(), "y.dat"); // the folder's newest file
        QCOMPARE(m_window->data().rowCount, quint16(3));
    }
};

QTEST_MAIN(TestViewerWindow)
#include "tst_viewerwindow.moc"
