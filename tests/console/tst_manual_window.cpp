#include "appstate.h"
#include "frames.h"
#include "linkstate.h"
#include "manual.h"
#include "tuv.h"
#include "windowfixture.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

// The manual panel as the operator uses it: corrections, store, reference
// points, modes and the u-blox switch.
class TestManualWindow : public QObject, private WindowFixture
{
    Q_OBJECT

    static void enter(QWidget *w, const char *name, const QString &text)
    {
        auto *edit = child<QLineEdit>(w, name);
        edit->setText(text);
        QTest::keyClick(edit, Qt::Key_Return);
    }
    static QString look(QWidget *w, const char *name)
    {
        const QPalette p = child<QLineEdit>(w, name)->palette();
        return p.color(QPalette::Active, QPalette::Text).name() + '/'
               + p.color(QPalette::Inactive, QPalette::Base).name();
    }
    static bool saveEnabled(QWidget *w) { return child<QPushButton>(w, "SaveOrig")->isEnabled(); }

private slots:
    void initTestCase() { setUpWindowTests(); }
    void cleanupTestCase() { tearDownWindowTests(); }
    void init()
    {
        QFile::remove(QStringLiteral("tuvarn.korr"));
        m_serviceMode = true;
        m_settings.reset(); // no demodulator, no clock setting
        m_dialogs = ScriptedDialogs();
    }
    void cleanup() { checkPrompts(); }

    void correctionsStoredAfterAllThree()
    {
        tuv w(m_settings, m_serviceMode);
        child<QPushButton>(&w, "GoToOrig")->click();
        QCOMPARE(w.state().txBytes, QByteArray::fromHex("01000000"));

        enter(&w, "NorthCorr", QStringLiteral("1"));
        QCOMPARE(w.state().txBytes, QByteArray::fromHex("030000000900"));
        enter(&w, "NorthCorr", QStringLiteral("1"));
        QCOMPARE(child<QLineEdit>(&w, "NorthCorr")->text(), QStringLiteral("1.0125"));
        QCOMPARE(child<QLabel>(&w, "NorthCorrZ")->text(), QStringLiteral("2.025"));
        QCOMPARE(look(&w, "NorthCorr"), QStringLiteral("#ff0000/#ffff00"));

        enter(&w, "ParallCorr", QStringLiteral("-0.05"));
        QCOMPARE(w.state().txBytes, QByteArray::fromHex("040000000000"));
        QCOMPARE(child<QLineEdit>(&w, "ParallCorr")->text(), QStringLiteral("0"));
        QVERIFY(!saveEnabled(&w));
        enter(&w, "Azimuth", QStringLiteral("No change"));
        QVERIFY(saveEnabled(&w));

        // Typing again gives the normal look back.
        QTest::keyClick(child<QLineEdit>(&w, "NorthCorr"), Qt::Key_Home);
        QCOMPARE(look(&w, "NorthCorr"), QStringLiteral("#000000/#ffffff"));

        child<QPushButton>(&w, "SaveOrig")->click();
        QCOMPARE(w.state().txBytes, QByteArray::fromHex("050000000F27"));
        QFile korr(QStringLiteral("tuvarn.korr"));
        QVERIFY(korr.open(QIODevice::ReadOnly));
        QCOMPARE(korr.readAll(), QByteArray("\n07-12-26 04:12:42\nParall_corr=0\nOrig_corr=1.0125\nAzimuth=0\n***"));
        QVERIFY(!saveEnabled(&w));
        for (const char *name : {"NorthCorr", "Lon2"}) {
            QVERIFY2(!child<QLineEdit>(&w, name)->isEnabled(), name);
            QCOMPARE(look(&w, name), QStringLiteral("#000000/#c0c0c0"));
        }

        // GoToCorr opens them again, with the totals kept.
        child<QPushButton>(&w, "GoToCorr")->click();
        QCOMPARE(w.state().txBytes, QByteArray::fromHex("02000000"));
        QVERIFY(child<QLineEdit>(&w, "Azimuth")->isEnabled());
        QCOMPARE(child<QLabel>(&w, "NorthCorrZ")->text(), QStringLiteral("2.025"));
        QCOMPARE(w.state().linkState.northCorrSteps, qint16(18));
    }

    void badEntriesSendNothing()
    {
        tuv w(m_settings, m_serviceMode);
        child<QPushButton>(&w, "GoToOrig")->click();
        enter(&w, "NorthCorr", QStringLiteral("2"));
        enter(&w, "ParallCorr", QStringLiteral("1"));
        enter(&w, "Azimuth", QStringLiteral("90"));
        enter(&w, "NorthCorr", QStringLiteral("two"));
        QVERIFY(!saveEnabled(&w));
        QCOMPARE(w.state().txBytes, QByteArray::fromHex("040000000900"));
        // An azimuth edited after acceptance is not stored as 0 (north).
        enter(&w, "NorthCorr", QStringLiteral("2"));
        QVERIFY(saveEnabled(&w));
        child<QLineEdit>(&w, "Azimuth")->setText(QStringLiteral("east"));
        child<QPushButton>(&w, "SaveOrig")->click();
        QCOMPARE(w.state().txBytes, QByteArray::fromHex("030000001200"));
        QVERIFY(!QFile::exists(QStringLiteral("tuvarn.korr")));
        QVERIFY(!saveEnabled(&w));
    }

    void referencePointsGiveTheAzimuth()
    {
        tuv w(m_settings, m_serviceMode);
        child<QPushButton>(&w, "GoToOrig")->click();
        enter(&w, "Lat1", QStringLiteral("55.0"));
        enter(&w, "Lon1", QStringLiteral("37.0"));
        enter(&w, "Lat2", QStringLiteral("55.01"));
        QVERIFY(child<QLineEdit>(&w, "Azimuth")->text().isEmpty());
        enter(&w, "Lon2", QStringLiteral("37.0"));
        QCOMPARE(child<QLineEdit>(&w, "Azimuth")->text(), QStringLiteral("0"));
        QCOMPARE(child<QLabel>(&w, "Azim_name")->text(), QStringLiteral("(North)"));
        QCOMPARE(look(&w, "Azimuth"), QStringLiteral("#ff0000/#ffff00"));

        // Points kept: a second longitude recomputes.
        enter(&w, "Lon2", QStringLiteral("36.99"));
        const double theta = child<QLineEdit>(&w, "Azimuth")->text().toDouble();
        QVERIFY2(theta > 270 && theta < 360, qPrintable(QString::number(theta)));
        QVERIFY(child<QLabel>(&w, "Azim_name")->text().isEmpty());

        // A typed azimuth replaces the points.
        enter(&w, "Azimuth", QStringLiteral("270"));
        QCOMPARE(child<QLabel>(&w, "Azim_name")->text(), QStringLiteral("(West)"));
        QVERIFY(child<QLineEdit>(&w, "Lat1")->text().isEmpty());
        QCOMPARE(w.state().manualState.editFlags & ReferenceFlags, 0);

        for (const char *name : {"Lat1", "Lat2", "Lon1", "Lon2"})
            enter(&w, name, QStringLiteral("10"));
        QCOMPARE(child<QLineEdit>(&w, "Azimuth")->text(), QStringLiteral("xxx"));
    }

    void modeBoxesExcludeEachOther()
    {
        tuv w(m_settings, m_serviceMode);
        auto *fb = child<QCheckBox>(&w, "ScanModeFB");
        auto *feedback = child<QCheckBox>(&w, "Feedback");
        feedback->setEnabled(true); // as with a demodulator
        child<QCheckBox>(&w, "ScanMode")->click();
        fb->click();
        QVERIFY(fb->isChecked() && w.state().StationSettings.ScanModeFB && !w.state().StationSettings.ScanModeRL);
        feedback->click();
        QVERIFY(w.state().StationSettings.Feedback && !w.state().StationSettings.ScanModeFB && !fb->isChecked());
    }

    void ubloxAsksThenQuits()
    {
        tuv w(m_settings, m_serviceMode);
        m_dialogs.expectQuestion(QStringLiteral("Switch to Ublox mode?"), false);
        child<QPushButton>(&w, "ublox")->click();
        QVERIFY(!w.state().linkState.ubloxMode);
        QVERIFY(w.state().txBytes.isEmpty());

        m_dialogs.expectQuestion(QStringLiteral("Switch to Ublox mode?"), true);
        m_dialogs.expectMessage(QStringLiteral("UBLOX mode is on.\r\n Run u-center\r\nto set up GPS module"));
        QTimer::singleShot(0, child<QPushButton>(&w, "ublox"), &QPushButton::click);
        QTimer guard;
        guard.setSingleShot(true);
        connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(1); });
        guard.start(5000);
        QCOMPARE(QCoreApplication::exec(), 0);
        QVERIFY(w.state().linkState.ubloxMode);
        QCOMPARE(w.state().txBytes, QByteArray::fromHex("09000000"));
        QVERIFY(m_dialogs.scriptDone());
    }
};

QTEST_MAIN(TestManualWindow)
#include "tst_manual_window.moc"
