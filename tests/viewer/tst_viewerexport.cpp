// Export of the chosen pass from the viewer: the picture is the panel as shown,
// the CSV the rows; a file that fails its checks exports nothing.
#include "dialogs.h"
#include "mainwindow.h"
#include "passcsv.h"
#include "screenmetrics.h"
#include "viewertestfiles.h"

#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {
const QVector<TestPoint> Pass = {{10.0, 500, 2, -3, {-80, -78}, {5, 7}},
                                 {45.0, 600, -1, 4, {-70, -72, -71}, {8, 6, 7}},
                                 {-20.0, 700, 0, 0, {-75}, {6}}};
}

class TestViewerExport : public QObject
{
    Q_OBJECT

    FixedScreenMetrics m_screen{QSize(1280, 1000), 1024};
    ScriptedDialogs m_dialogs;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<MainWindow> m_window;
    QString m_oldDir = QDir::currentPath();

    QImage panel() { return m_window->findChild<QLabel *>("PPanel")->pixmap(Qt::ReturnByValue).toImage(); }
    void press(int key)
    {
        QTest::keyClick(m_window.get(), Qt::Key(key), Qt::ControlModifier);
    }

private slots:
    void init()
    {
        platform::setScreenMetrics(&m_screen);
        m_dialogs = ScriptedDialogs();
        platform::setDialogs(&m_dialogs);
        m_dir = std::make_unique<QTemporaryDir>();
        QDir::setCurrent(m_dir->path());
        QVERIFY(writeTestFile("data", "bad.dat", Pass, -95.5f, "junk\n"));
        QVERIFY(writeTestFile("data", "good.dat", Pass, -95.5f));
        QFile bad("data/bad.dat");
        QVERIFY(bad.open(QIODevice::Append));
        QVERIFY(bad.setFileTime(QDateTime::currentDateTime().addSecs(-100), QFileDevice::FileModificationTime));
        bad.close();
        m_window = std::make_unique<MainWindow>();
        m_window->show();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        QCOMPARE(m_window->findChild<QListWidget *>("filelist")->currentItem()->text(), QStringLiteral("good.dat"));
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

    void pictureIsThePanelAsShown()
    {
        const QString target = m_dir->filePath("pass.png");
        m_dialogs.expectSaveFile("Export picture", target);
        press(Qt::Key_S);
        QVERIFY(m_dialogs.scriptDone());
        QCOMPARE(m_dialogs.lastDir(), QStringLiteral("good.png"));
        const QImage shown = panel();
        const QImage saved(target);
        QCOMPARE(saved.size(), shown.size());
        // Below the two texts every pixel is the panel's: the same drawing code.
        int differing = 0;
        for (int y = 150; y < shown.height(); ++y)
            for (int x = 0; x < shown.width(); ++x)
                differing += saved.pixel(x, y) != shown.pixel(x, y) ? 1 : 0;
        QCOMPARE(differing, 0);
        // The pass summary is on the picture where the label lies on screen.
        bool text = false;
        for (int y = 10; y < 30 && !text; ++y)
            for (int x = 10; x < 60 && !text; ++x)
                text = saved.pixelColor(x, y) == QColor(Qt::black);
        QVERIFY(text);
    }

    void csvIsTheRows()
    {
        const QString target = m_dir->filePath("pass.csv");
        m_dialogs.expectSaveFile("Export CSV", target);
        press(Qt::Key_E);
        QFile f(target);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray csv = f.readAll();
        QCOMPARE(csv.count('\n'), 4);
        QVERIFY(csv.startsWith("point,fi_deg,r_mm,korr,korr0,samples,power_db,snr_db,power_above_noise_db,utc,azimuth_deg,elevation_deg\n"));
        // Azimuth and elevation from the companion; no "Start at" in this summary: no time.
        QVERIFY2(csv.contains("\n1,45.0,600.0,-1,4,3,-71.00,7.00,24.50,,45.0,45.0\n"), csv.constData());
    }

    void badFileExportsNothing_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("caption");
        QTest::newRow("picture") << int(Qt::Key_S) << "Export picture";
        QTest::newRow("csv") << int(Qt::Key_E) << "Export CSV";
    }

    void badFileExportsNothing()
    {
        QFETCH(int, key);
        QFETCH(QString, caption);
        m_window->findChild<QListWidget *>("filelist")->setCurrentRow(1);
        const QString target = m_dir->filePath("out");
        m_dialogs.expectSaveFile(caption, target);
        m_dialogs.expectMessage("Error in .dat file\ntitle bad");
        press(key);
        QVERIFY(m_dialogs.scriptDone());
        QVERIFY(!QFile::exists(target));
    }

    void cancelWritesNothing()
    {
        m_dialogs.expectSaveFile("Export picture", QString());
        press(Qt::Key_S);
        QVERIFY(m_dialogs.scriptDone());
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList());
    }

    void panelOffersBothInItsMenu()
    {
        QWidget *panel = m_window->findChild<QLabel *>("PPanel");
        QCOMPARE(panel->contextMenuPolicy(), Qt::ActionsContextMenu);
        QStringList texts;
        for (const QAction *a : panel->actions())
            texts << a->text();
        QCOMPARE(texts, QStringList({"Export picture...", "Export CSV..."}));
        // The menu bar stays empty.
        QVERIFY(m_window->menuBar()->actions().isEmpty());
    }
};

QTEST_MAIN(TestViewerExport)
#include "tst_viewerexport.moc"
