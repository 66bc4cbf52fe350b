// Service-mode pointing against the station stand-in: GoToPos uploads a
// single-point table, Shift+GoToPos writes the table only, bad input sends nothing.
#include "appstate.h"
#include "controllerlink.h"
#include "frames.h"
#include "rs.h"
#include "tuv.h"
#include "windowfixture.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSerialPort>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

class TestGoTo : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_oldDir;
    QProcess m_sim;
    ScriptedDialogs m_dialogs;
    StationSettingsRecord m_settings;

    // The stand-in's transcript entries of one direction and kind (any kind when empty).
    QList<QJsonObject> transcript(const char *dir, const char *kind = "")
    {
        QList<QJsonObject> out;
        QFile f(m_dir.filePath(QStringLiteral("sim.jsonl")));
        if (!f.open(QIODevice::ReadOnly))
            return out;
        for (const QByteArray &line : f.readAll().split('\n')) {
            const QJsonObject o = QJsonDocument::fromJson(line).object();
            if (o.value(QStringLiteral("dir")).toString() == QLatin1String(dir)
                && (!*kind || o.value(QStringLiteral("kind")).toString() == QLatin1String(kind)))
                out.append(o);
        }
        return out;
    }
    QList<QJsonObject> uploads() { return transcript("rx", "upload"); }
    qint64 lastReplyMs()
    {
        const QList<QJsonObject> sent = transcript("tx", "status");
        return sent.isEmpty() ? 0
                              : QDateTime::fromString(sent.last().value(QStringLiteral("t")).toString(),
                                                      Qt::ISODateWithMs).toMSecsSinceEpoch();
    }
    // Whatever a click sent has reached the stand-in's transcript once the
    // console's port has written it all and the stand-in has since sent a
    // reply of its own: it takes its input in order, long before its next
    // second's reply. No fixed wait, however busy the machine.
    void waitUntilLineSettled(tuv &w)
    {
        auto *port = qobject_cast<rs *>(w.link().transport());
        QVERIFY(port && port->port());
        QTRY_COMPARE_WITH_TIMEOUT(port->port()->bytesToWrite(), qint64(0), 5000);
        const qint64 written = QDateTime::currentMSecsSinceEpoch();
        QTRY_VERIFY_WITH_TIMEOUT(lastReplyMs() > written + 100, 10000);
    }
    static QLabel *linkLabel(tuv &w)
    {
        const QList<QLabel *> labels = w.statusBar()->findChildren<QLabel *>();
        return labels.isEmpty() ? nullptr : labels.last();
    }

private slots:
    void initTestCase()
    {
        m_oldDir = QDir::currentPath();
        QDir::setCurrent(m_dir.path());
        QDir().mkpath(QStringLiteral("ports"));
        QDir().mkpath(QStringLiteral("track"));
        qputenv("TUVARN_PORT_DIR", m_dir.filePath(QStringLiteral("ports")).toUtf8());
        platform::setDialogs(&m_dialogs);

        m_sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_sim.start(QStringLiteral(TUVARN_BIN_DIR "/station-sim"),
                    {QStringLiteral("--port-dir"), m_dir.filePath(QStringLiteral("ports")),
                     QStringLiteral("--port"), QStringLiteral("5"), QStringLiteral("--demod-port"),
                     QStringLiteral("0"), QStringLiteral("--transcript"),
                     m_dir.filePath(QStringLiteral("sim.jsonl")), QStringLiteral("--no-control")});
        QVERIFY(m_sim.waitForStarted(5000));
        QByteArray out;
        QTRY_VERIFY_WITH_TIMEOUT((out += m_sim.readAllStandardOutput()).contains("ready port="), 10000);

        loadExampleSettings(m_settings, {{"TrackPath", "track/Track.txt"}, {"Port", "5"}, {"Demodulator", "disable"}});
    }
    void cleanupTestCase()
    {
        if (m_sim.state() != QProcess::NotRunning) {
            m_sim.terminate();
            m_sim.waitForFinished(5000);
        }
        platform::setDialogs(nullptr);
        QDir::setCurrent(m_oldDir);
    }

    void pointingFromThePanel()
    {
        tuv w(m_settings, true);
        w.show();
        auto *azim = w.findChild<QLineEdit *>(QStringLiteral("Azim"));
        auto *elev = w.findChild<QLineEdit *>(QStringLiteral("Elev"));
        auto *go = w.findChild<QPushButton *>(QStringLiteral("GoTo"));
        QVERIFY(azim && elev && go);
        QTRY_VERIFY_WITH_TIMEOUT(linkLabel(w)->text().startsWith(QStringLiteral("Ver. ")), 10000);

        // A reachable direction: one 34-byte single-point upload that the board takes.
        azim->setText(QStringLiteral("120"));
        elev->setText(QStringLiteral("80"));
        QTest::mouseClick(go, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(uploads().size(), 1, 5000);
        const QJsonObject up = uploads().first();
        QCOMPARE(up.value(QStringLiteral("length")).toInt(), 34);
        QCOMPARE(up.value(QStringLiteral("uploadMode")).toInt(), 2);
        QCOMPARE(up.value(QStringLiteral("n")).toInt(), 1);
        QVERIFY(up.value(QStringLiteral("checksumOk")).toBool());
        QVERIFY(up.value(QStringLiteral("accepted")).toBool());
        QCOMPARE(azim->palette().color(QPalette::Base), QColor(Qt::white));
        QCOMPARE(azim->palette().color(QPalette::Text), QColor(Qt::black));

        // Shift: the table file only.
        QDir data(QStringLiteral("data"));
        const int tablesBefore = data.entryList({QStringLiteral("*.uu")}).size();
        azim->setText(QStringLiteral("130"));
        QTest::mouseClick(go, Qt::LeftButton, Qt::ShiftModifier);
        waitUntilLineSettled(w);
        QCOMPARE(uploads().size(), 1);
        QCOMPARE(data.entryList({QStringLiteral("*.uu")}).size(), tablesBefore + 1);

        // Below the reach or not a number: red edits, nothing sent.
        const QStringList bad[] = {{QStringLiteral("120"), QStringLiteral("60")},
                                   {QStringLiteral("abc"), QStringLiteral("80")},
                                   {QStringLiteral("120"), QString()}};
        for (const QStringList &input : bad) {
            azim->setText(input.at(0));
            elev->setText(input.at(1));
            QTest::mouseClick(go, Qt::LeftButton);
            QCOMPARE(azim->palette().color(QPalette::Base), QColor(Qt::red));
            QCOMPARE(elev->palette().color(QPalette::Text), QColor(Qt::blue));
        }
        waitUntilLineSettled(w);
        QCOMPARE(uploads().size(), 1);
        QVERIFY2(m_dialogs.unexpected().isEmpty(), qPrintable(m_dialogs.unexpected().join('|')));
    }
};

QTEST_MAIN(TestGoTo)
#include "tst_goto.moc"
