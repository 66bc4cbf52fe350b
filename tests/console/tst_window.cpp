#include "appstate.h"
#include "tuv.h"
#include "windowfixture.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>

class TestWindow : public QObject, private WindowFixture
{
    Q_OBJECT

    static QByteArray readLog()
    {
        QFile f(QStringLiteral("tuvarn.log"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // The example settings with the track beside us and, if named, one value changed.
    void loadExample(const QByteArray &key = {}, const QByteArray &value = {})
    {
        QList<QPair<QByteArray, QByteArray>> changes{{"TrackPath", QDir::currentPath().toUtf8() + "/Track.txt"}};
        if (!key.isEmpty())
            changes.append({key, value});
        loadExampleSettings(m_settings, changes);
    }

private slots:
    void initTestCase() { setUpWindowTests(); }
    void cleanupTestCase() { tearDownWindowTests(); }
    void init()
    {
        QFile::remove(QStringLiteral("tuvarn.log"));
        m_serviceMode = false;
        loadExample();
    }
    void cleanup() { checkPrompts(); }

    void rightQuarterAndSkyPanelGeometry()
    {
        tuv w(m_settings, m_serviceMode);
        const int bar = w.statusBar()->sizeHint().height();
        auto *panel = child<QFrame>(&w, "panelka");
        QCOMPARE(panel->geometry(), QRect(1440, 0, 480, 1040 - 2 * bar));
        QCOMPARE(child<QScrollArea>(&w, "LogscrollArea")->geometry(), panel->geometry());
        QCOMPARE(child<QLabel>(&w, "PaintPanel")->geometry(), QRect(0, 0, 1440, 1040 - bar));
        QCOMPARE(child<QLabel>(&w, "RealTime")->geometry(), QRect(1340, 40, 100, 35));
        QCOMPARE(child<QLabel>(&w, "ProgProgress")->geometry(), QRect(670, (1040 - bar) / 2, 100, 50));
        QCOMPARE(child<QLabel>(&w, "vexa41")->geometry(), QRect(1270, 10, 150, 10));
        QCOMPARE(child<QLabel>(&w, "TrackInfo")->pos(), QPoint(10, 10));
        QCOMPARE(w.statusBar()->width(), 1920);
        QCOMPARE(w.windowTitle(), QStringLiteral("TuVaRN Antenna ver. 3.818d"));
    }

    void modeSwitchesSettle_data()
    {
        QTest::addColumn<QByteArray>("demod");
        QTest::addColumn<QByteArray>("feedback");
        QTest::addColumn<QByteArray>("rl");
        QTest::addColumn<QByteArray>("fb");
        QTest::addColumn<bool>("feedbackOn");
        QTest::addColumn<bool>("feedbackEnabled");
        QTest::addColumn<bool>("rlOn");
        QTest::addColumn<bool>("fbOn");
        QTest::newRow("feedback needs the demodulator")
            << QByteArray("disable") << QByteArray("enable") << QByteArray("disable") << QByteArray("disable")
            << false << false << false << false;
        QTest::newRow("feedback alone") << QByteArray("enable") << QByteArray("enable") << QByteArray("disable")
                                        << QByteArray("disable") << true << true << false << false;
        QTest::newRow("RL wins over FB and feedback")
            << QByteArray("enable") << QByteArray("enable") << QByteArray("enable") << QByteArray("enable")
            << false << true << true << false;
        QTest::newRow("FB wins over feedback") << QByteArray("enable") << QByteArray("enable")
                                               << QByteArray("disable") << QByteArray("enable") << false
                                               << true << false << true;
    }
    void modeSwitchesSettle()
    {
        QFETCH(QByteArray, demod);
        QFETCH(QByteArray, feedback);
        QFETCH(QByteArray, rl);
        QFETCH(QByteArray, fb);
        loadExample("Demodulator", demod);
        m_settings.Feedback = feedback == "enable";
        m_settings.ScanModeRL = rl == "enable";
        m_settings.ScanModeFB = fb == "enable";
        tuv w(m_settings, m_serviceMode);
        const StationSettingsRecord &settled = w.state().StationSettings;
        QTEST(settled.Feedback, "feedbackOn");
        QTEST(settled.ScanModeRL, "rlOn");
        QTEST(settled.ScanModeFB, "fbOn");
        QTEST(child<QCheckBox>(&w, "Feedback")->isChecked(), "feedbackOn");
        QTEST(child<QCheckBox>(&w, "Feedback")->isEnabled(), "feedbackEnabled");
        QTEST(child<QCheckBox>(&w, "ScanMode")->isChecked(), "rlOn");
        QTEST(child<QCheckBox>(&w, "ScanModeFB")->isChecked(), "fbOn");
    }

    void focusEditAndStatusTexts()
    {
        loadExample("Demodulator", "disable");
        tuv w(m_settings, m_serviceMode);
        QCOMPARE(child<QLineEdit>(&w, "Focus")->text(), QStringLiteral("1400"));
        QCOMPARE(child<QLabel>(&w, "label_3")->text(), QStringLiteral("mm (min elev.= 70.3)"));
        QCOMPARE(child<QLineEdit>(&w, "korrEdit")->text(), QStringLiteral("1"));
        QVERIFY(child<QLineEdit>(&w, "korrEdit")->isHidden());
        QCOMPARE(child<QLineEdit>(&w, "Azimuth")->text(), QStringLiteral("No change"));
        // The first demodulator check names the time zone and the disabled link.
        const QList<QLabel *> labels = w.statusBar()->findChildren<QLabel *>();
        bool found = false;
        for (QLabel *l : labels)
            found = found || l->text() == QStringLiteral(" Focus 1400mm, Time zone 0, Demod. disabled  ");
        QVERIFY(found);
    }

    void operatorModeShowsLogAndWritesBanner()
    {
        {
            tuv w(m_settings, m_serviceMode);
            w.show();
            QVERIFY(child<QScrollArea>(&w, "LogscrollArea")->isVisible());
            QVERIFY(!child<QFrame>(&w, "panelka")->isVisible());
            QVERIFY(!child<QPushButton>(&w, "UpLoad")->isEnabled());
            QVERIFY(!child<QPushButton>(&w, "about")->isVisible());
        }
        const QByteArray log = readLog();
        const QByteArray expected =
            "\r\n***********"
            "\r\n  07-12-26 04:12:42  *** TuVaRN log started ***"
            "\r\n===\r\nTuVaRN ini file loaded:\r\n\r\n StationName Name"
            "\r\n TrackPath " + QDir::currentPath().toUtf8() + "/Track.txt"
            "\r\n Focus 1400\r\n Radius 500\r\n Port 1\r\n TimeCorr disable\r\n===";
        QVERIFY2(log.startsWith(expected), log.constData());
        QVERIFY(log.endsWith("\r\n  07-12-26 04:12:42  The end\r\n"));
    }

    void unopenedLogIsShown()
    {
        QVERIFY(QDir().mkdir(QStringLiteral("tuvarn.log"))); // a folder cannot be opened as the log
        {
            tuv w(m_settings, m_serviceMode);
            w.show();
            auto *view = qobject_cast<QLabel *>(child<QScrollArea>(&w, "LogscrollArea")->widget());
            QVERIFY(view);
            QVERIFY2(view->text().contains(QStringLiteral("07-12-26 04:12:42  tuvarn.log not opened: ")),
                     qPrintable(view->text()));
            bool inStatusBar = false;
            for (QLabel *label : w.statusBar()->findChildren<QLabel *>())
                inStatusBar = inStatusBar || label->text().startsWith(QStringLiteral("tuvarn.log not opened: "));
            QVERIFY(inStatusBar);
        }
        QVERIFY(QDir().rmdir(QStringLiteral("tuvarn.log")));
    }

    void failedProgrammingRunSaysWhyInTheLog()
    {
        tuv w(m_settings, m_serviceMode);
        auto *progress = child<QLabel>(&w, "ProgProgress");
        progress->setText(QStringLiteral("\nbootloader ok\nLoaded 2048 bytes\nprogramming mode ok\nmemory erased ok\n...."));
        QVERIFY(QMetaObject::invokeMethod(&w, "FlashPrFinish", Q_ARG(char, 1)));
        auto *view = qobject_cast<QLabel *>(child<QScrollArea>(&w, "LogscrollArea")->widget());
        QVERIFY2(view->text().endsWith(
                     QStringLiteral("Error programming: no answer from the boot loader after \"memory erased ok\"")),
                 qPrintable(view->text()));
        bool inStatusBar = false;
        for (QLabel *label : w.statusBar()->findChildren<QLabel *>())
            inStatusBar = inStatusBar || label->text() == QStringLiteral("Error programming");
        QVERIFY(inStatusBar);
    }

    void serviceModeShowsPanelAndKeepsNoLog()
    {
        m_serviceMode = true;
        {
            tuv w(m_settings, m_serviceMode);
            w.show();
            QVERIFY(child<QFrame>(&w, "panelka")->isVisible());
            QVERIFY(!child<QScrollArea>(&w, "LogscrollArea")->isVisible());
            w.logEvent(QStringLiteral("nothing"));
        }
        QVERIFY(!QFile::exists(QStringLiteral("tuvarn.log")));
        m_serviceMode = false;
    }

    void logPaneIsCappedAndFollowsNewest()
    {
        tuv w(m_settings, m_serviceMode);
        w.show();
        auto *pane = child<QScrollArea>(&w, "LogscrollArea");
        auto *view = qobject_cast<QLabel *>(pane->widget());
        QVERIFY(view);
        const QString body(80, QLatin1Char('x'));
        for (int i = 0; i < 500; ++i)
            w.logEvent(body + QString::number(i));
        QVERIFY(view->text().size() <= 10000);
        QVERIFY(view->text().endsWith(body + QStringLiteral("499")));
        QTRY_VERIFY(pane->verticalScrollBar()->maximum() > 0);
        QTRY_COMPARE(pane->verticalScrollBar()->value(), pane->verticalScrollBar()->maximum());
    }

    void exitEndsTheEventLoop()
    {
        tuv w(m_settings, m_serviceMode);
        w.show();
        QTimer::singleShot(0, child<QPushButton>(&w, "exit"), &QPushButton::click);
        QTimer failsafe;
        failsafe.setSingleShot(true);
        QSignalSpy timedOut(&failsafe, &QTimer::timeout);
        connect(&failsafe, &QTimer::timeout, qApp, &QCoreApplication::quit);
        failsafe.start(5000);
        QCoreApplication::exec();
        QCOMPARE(timedOut.count(), 0);
    }
};

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
